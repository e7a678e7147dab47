// The one exception type of the skin widgets. It never leaves the editor: the editor adapter
// catches everything before a call returns to the host.
#pragma once

#include <stdexcept>
#include <string>

class EDIBError : public std::runtime_error {
public:
  explicit EDIBError(const std::string& message) : std::runtime_error(message) {}
};
