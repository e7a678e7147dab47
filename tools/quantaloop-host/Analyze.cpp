#include "Commands.h"
#include "ToolError.h"
namespace qlhost {
int RunAnalyze(const std::vector<std::string>&) {
  throw TToolError("not yet");
}
} // namespace qlhost
