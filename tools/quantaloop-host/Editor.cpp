// The editor command: opens the plug-in's editor on the off-screen window backend, replays
// scripted gestures and saves what a user would see. This build has no such backend yet, so the
// command checks its arguments and reports that it is not available.

#include "Commands.h"
#include "ToolError.h"

namespace qlhost {

int RunEditor(const std::vector<std::string>& args) {
  TArguments a(args, {"png", "click", "drag"});
  a.ExpectPositional(1, 1, "editor PLUGIN --png FILE");
  if (!a.Has("png")) throw TUsageError("editor needs --png FILE");
  throw TToolError("the editor command is not available in this build");
}

} // namespace qlhost
