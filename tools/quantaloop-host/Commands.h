// The commands of quantaloop-host and the small command-line parser they share.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qlhost {

// Positional arguments and --options of one command. Options named in `valued` take the next
// argument as their value and may be repeated; others are switches.
class TArguments {
public:
  TArguments(const std::vector<std::string>& args, const std::vector<std::string>& valued,
             const std::vector<std::string>& switches = {});

  const std::vector<std::string>& Positional() const { return FPositional; }
  // Throws TUsageError unless there are between `min` and `max` positional arguments.
  void ExpectPositional(size_t min, size_t max, const char* what) const;
  bool Has(const std::string& option) const { return FOptions.count(option) != 0; }
  // The last value of a valued option, or `fallback`.
  std::string Value(const std::string& option, const std::string& fallback = {}) const;
  std::vector<std::string> Values(const std::string& option) const;
  // An integer option within [min, max]; throws TUsageError otherwise.
  long Integer(const std::string& option, long fallback, long min, long max) const;

private:
  std::vector<std::string> FPositional;
  std::multimap<std::string, std::string> FOptions;
};

int RunInfo(const std::vector<std::string>& args);
int RunProcess(const std::vector<std::string>& args);
int RunAnalyze(const std::vector<std::string>& args);
int RunGenerate(const std::vector<std::string>& args);
int RunEditor(const std::vector<std::string>& args);

} // namespace qlhost
