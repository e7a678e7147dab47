// The effect's programs, spelled out: a name and one real value per parameter, in parameter
// order. A new instance holds them, every format offers them (VST 2 programs, LV2 presets), and
// the first program's values are the parameters' defaults.
#pragma once

#include "core/uParameters.h"

#include <cstdint>
#include <iterator>

struct TProgramDescription {
  const char* Name;
  // As a new instance writes them; each is stored within its parameter's range, so the
  // Quantizer's 32 is stored as its maximum, 24.
  float Values[ppCount];
};

inline constexpr TProgramDescription kPrograms[] = {
    {"Init", {1.0f, 32.0f, 0.0f, 0.0f, 0.0f}},
    {"Init", {0.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
};
inline constexpr int32_t kProgramCount = static_cast<int32_t>(std::size(kPrograms));

// The value program `program` stores for parameter `index`.
constexpr float ProgramReal(int32_t program, int32_t index) {
  return LimitReal(index, kPrograms[program].Values[index]);
}

// What a new instance holds: the first program's stored value.
constexpr float DefaultReal(int32_t index) {
  return ProgramReal(0, index);
}
static_assert(DefaultReal(ppQuantizer) == 24.0f && DefaultReal(ppOversampling) == 1.0f);
