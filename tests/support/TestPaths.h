// Where a test finds the binaries of its own build: every build puts its executables and the
// plug-in side by side in one folder.
#pragma once

#include <string>

namespace qltest {

// Folder of the running test executable, with a trailing separator.
std::string ExecutableDir();

// Full path of the built plug-in library (Quantaloop.so or Quantaloop.dll) of this build.
std::string PluginPath();

} // namespace qltest
