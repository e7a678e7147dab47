// What a Linux test process holds at the moment: open file descriptors and System V
// shared-memory segments, counted before and after work that must give them all back.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace qltest {

// System V shared-memory segments this process created that still exist.
inline int OwnSharedMemorySegments() {
  FILE* f = std::fopen("/proc/sysvipc/shm", "r");
  if (!f) return 0;
  char line[512];
  int n = 0;
  if (std::fgets(line, sizeof line, f)) // the heading
    while (std::fgets(line, sizeof line, f)) {
      long key = 0, id = 0, perms = 0, size = 0, cpid = 0;
      if (std::sscanf(line, "%ld %ld %lo %ld %ld", &key, &id, &perms, &size, &cpid) == 5 &&
          cpid == getpid())
        ++n;
    }
  std::fclose(f);
  return n;
}

inline int OpenFileCount() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++n;
  return n;
}

} // namespace qltest
