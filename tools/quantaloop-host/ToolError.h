// Errors inside the tool: each one becomes a single line on stderr and a nonzero exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace qlhost {

struct TToolError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Exit statuses: 1 for bad input or a failed run, 2 for a wrong command line.
enum : int { kExitFailure = 1, kExitUsage = 2 };

struct TUsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

} // namespace qlhost
