#include "TestPaths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <unistd.h>
#endif

namespace qltest {

std::string ExecutableDir() {
#ifdef _WIN32
  char buf[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  std::string path(buf, n);
  auto cut = path.find_last_of("\\/");
#else
  char buf[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
  auto cut = path.find_last_of('/');
#endif
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string PluginPath() {
#ifdef _WIN32
  return ExecutableDir() + "Quantaloop.dll";
#else
  return ExecutableDir() + "Quantaloop.so";
#endif
}

} // namespace qltest
