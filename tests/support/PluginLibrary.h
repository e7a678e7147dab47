// Loads the built plug-in library the way a host does and finds its entry.
#pragma once

#include "vst2/interface/DAEffect.h"

#include <string>

namespace qltest {

using TPluginEntry = AEffect*(VSTCALLBACK*)(audioMasterCallback);

class TPluginLibrary {
public:
  // Loads `path`; with `freshCopy` a private copy of the file is loaded instead, so that the
  // library's process-wide state starts as it does in a newly started host.
  explicit TPluginLibrary(const std::string& path, bool freshCopy = false);
  ~TPluginLibrary();
  TPluginLibrary(const TPluginLibrary&) = delete;
  TPluginLibrary& operator=(const TPluginLibrary&) = delete;

  // The named export, or null: as a plug-in entry, or as any symbol.
  TPluginEntry Entry(const char* name) const;
  void* Symbol(const char* name) const;
  bool Loaded() const { return Handle != nullptr; }

private:
  void* Handle = nullptr;
  std::string CopyPath;
};

} // namespace qltest
