// The pointer command of the Windows test host: lost button releases, lost capture and two
// editors at once, with the window system's own input (win32host_pointer.cpp).
#pragma once

#include "RecordCheck.h"

namespace qlhosts {

// win32host pointer DLL
// Runs with the entry of the loaded DLL; answers the exit status: 0 passed, 1 failed, 2 wrong
// arguments.
int RunPointerCheck(TPluginEntry entry, int argc, char** argv);

} // namespace qlhosts
