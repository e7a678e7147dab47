// The editor check of the VST 3 test host on Windows (vst3host_editor.cpp): 0 when every check
// passed. `click`: ask the script for a click and the X server's pixels.
#pragma once

int RunVst3EditorCheck(const char* bundle, bool click, int timeoutSeconds);
