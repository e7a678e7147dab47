// Floating-point control of the calling thread: the library sets it once when it is loaded so
// that arithmetic faults give infinities and not-a-number values instead of exceptions.
#pragma once

#include <cstdint>

// x87 control word set at load: all six exceptions masked, 64-bit mantissa, round to nearest.
constexpr uint16_t kLoadX87ControlWord = 0x133F;

// SSE control bits that matter here.
constexpr uint32_t kMxcsrExceptionMasks = 0x1F80; // invalid .. precision, bits 7 to 12
constexpr uint32_t kMxcsrRounding = 0x6000;       // 00 = round to nearest
constexpr uint32_t kMxcsrFlushToZero = 0x8000;
constexpr uint32_t kMxcsrDenormalsAreZero = 0x0040;

// Sets the calling thread's x87 control word to kLoadX87ControlWord and, in the SSE control
// register, masks every exception, selects round to nearest and clears flush-to-zero and
// denormals-are-zero.
void SetUpFloatingPoint();

uint16_t ReadX87ControlWord();
uint32_t ReadMxcsr();
