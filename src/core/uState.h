// The effect's saved state, as every format that stores a blob in the host's project carries
// it: the parameters' real values by symbol and the current program, in a small versioned
// layout.
//
//   "QLst"                        4 bytes
//   version                       uint32, 1
//   program                       int32, 0 .. kProgramCount - 1
//   count                         uint32, the entries that follow
//   entries                       symbol length (uint8, 1..kStateMaxSymbol), the symbol's bytes,
//                                 the real value (float32)
//
// Numbers are little-endian. A later version may add entries; it keeps this layout or raises
// the version.
#pragma once

#include "core/uParameters.h"

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr uint32_t kStateVersion = 1;
inline constexpr size_t kStateMaxSymbol = 64;

struct TStateValues {
  int32_t Program;
  float Real[ppCount];
};

// The blob of `state`, every parameter's value limited to its range as the effect stores it.
std::vector<uint8_t> SaveState(const TStateValues& state);

// Reads a blob into `state` only when all of it can be read: a foreign magic, another version,
// a short or truncated blob, bytes after the last entry, a symbol given twice, a program out of
// range, or any value that is not finite leaves `state` as it was and answers false. An entry
// whose symbol this version does not know (a later version's parameter) is skipped; a parameter
// the blob does not name (an earlier version's blob) takes its default, and every value is
// limited to its parameter's range.
bool LoadState(const uint8_t* data, size_t size, TStateValues& state);
