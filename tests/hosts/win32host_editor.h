// The editor command of the Windows test host: the plug-in's editor in a real host window, its
// link message and timer seen in the host's message loop, clicks from outside the process, and
// the window's pixels against the headless rendering of the same gestures.
#pragma once

#include "RecordCheck.h"

namespace qlhosts {

// win32host editor DLL [--no-click] [--timeout SECONDS] [--dump DIR]
// Runs with the entry of the loaded DLL; answers the exit status: 0 passed, 1 failed, 2 wrong
// arguments.
int RunEditorCheck(TPluginEntry entry, int argc, char** argv);

} // namespace qlhosts
