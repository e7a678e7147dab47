#include "PluginLibrary.h"

#include <atomic>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace qltest {

namespace {
void* Open(const std::string& path) {
#ifdef _WIN32
  return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

int ProcessId() {
#ifdef _WIN32
  return static_cast<int>(GetCurrentProcessId());
#else
  return static_cast<int>(getpid());
#endif
}
} // namespace

TPluginLibrary::TPluginLibrary(const std::string& path, bool freshCopy) {
  std::string load = path;
  if (freshCopy) {
    static std::atomic<int> serial{0};
    namespace fs = std::filesystem;
    const fs::path source(path);
    const fs::path copy =
        fs::temp_directory_path() / ("ql-fresh-" + std::to_string(ProcessId()) + "-" +
                                     std::to_string(serial++) + source.extension().string());
    std::error_code ec;
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing, ec);
    if (ec) return;
    CopyPath = copy.string();
    load = CopyPath;
  }
  Handle = Open(load);
}

TPluginLibrary::~TPluginLibrary() {
  if (Handle) {
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(Handle));
#else
    dlclose(Handle);
#endif
  }
  if (!CopyPath.empty()) {
    std::error_code ec;
    std::filesystem::remove(CopyPath, ec);
  }
}

void* TPluginLibrary::Symbol(const char* name) const {
  if (!Handle) return nullptr;
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(Handle), name));
#else
  return dlsym(Handle, name);
#endif
}

TPluginEntry TPluginLibrary::Entry(const char* name) const {
  return reinterpret_cast<TPluginEntry>(Symbol(name));
}

} // namespace qltest
