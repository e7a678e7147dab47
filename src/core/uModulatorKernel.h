// Internals shared by the modulator's exact loop and its vectorised loops.
#pragma once

#include "core/uModulator.h"

#include <cmath>
#include <cstdint>

inline constexpr uint32_t kDitherStart = 17011980u;
inline constexpr uint32_t kDitherMul = 134775813u;
inline constexpr uint32_t kDitherAdd = 1u;
inline constexpr double kDitherScale = 1.0 / 4294967296.0; // 2^-32

// A draw of the generator from its new state.
inline double DitherValue(uint32_t seed) {
  return static_cast<double>(static_cast<int32_t>(seed)) * kDitherScale;
}

// The generator advanced by k steps is again an affine map: seed * Mul + Add (mod 2^32).
struct TDitherJump {
  uint32_t Mul, Add;
};
constexpr TDitherJump DitherJumpFor(uint32_t steps) {
  // Powers of one affine map commute, so square-and-multiply composes them in any order.
  TDitherJump result{1, 0};
  TDitherJump power{kDitherMul, kDitherAdd};
  while (steps != 0) {
    if (steps & 1u) result = {power.Mul * result.Mul, power.Mul * result.Add + power.Add};
    power = {power.Mul * power.Mul, power.Mul * power.Add + power.Add};
    steps >>= 1;
  }
  return result;
}

inline double FiniteOrZero(double x) {
  return std::isfinite(x) ? x : 0.0;
}
inline float FiniteOrZero(float x) {
  return std::isfinite(x) ? x : 0.0f;
}

// The quantiser with its two draws given: r1 belongs to channel 1, r2 to channel 0.
inline void QuantizeWithDraws(double u0, double u1, double levels, double invLevels,
                              double ditherAmount, double r1, double r2, double out[2]) {
  const double a0 = (u0 + 1.0) * 0.5 * levels;
  const double a1 = (u1 + 1.0) * 0.5 * levels;
  out[1] = std::rint(a1 + r1 * ditherAmount) * invLevels * 2.0 - 1.0;
  out[0] = std::rint(a0 + r2 * ditherAmount) * invLevels * 2.0 - 1.0;
}

// The two channels of one block.
struct TFrameSpan {
  const float* In0;
  const float* In1;
  float* Out0;
  float* Out1;
};

// Frames begin..end-1 one sub-sample at a time in the plain order of operations; `seed` is the
// generator state before the first draw and is advanced past the last one. Every other loop
// must give exactly what this one gives.
void ModulateFramesExact(const TFrameSpan& f, int32_t begin, int32_t end, int subSamples,
                         bool feedback, const TModulatorCoefficients& c, TModulatorState& s,
                         uint32_t& seed);

// The loops of the kernel. Best picks the fastest one this processor runs; the others exist so
// that every loop can be checked against the reference on a processor that has it.
enum class TModulatorVariant { Best, Exact, Sse2, Avx2 };
bool ModulatorVariantSupported(TModulatorVariant v);

// ModulateBlock through the given loop (which must be supported).
void ModulateBlockWith(TModulatorVariant v, const float* const* inputs, float* const* outputs,
                       int32_t frames, int subSamples, bool feedback,
                       const TModulatorCoefficients& c, TModulatorState& s);

// All frames of a block (subSamples >= 1) through the vectorised loops of one instruction set
// (uModulatorSimd.h).
void ModulateFramesSse2(const TFrameSpan& f, int32_t frames, int subSamples, bool feedback,
                        const TModulatorCoefficients& c, TModulatorState& s, uint32_t& seed);
void ModulateFramesAvx2(const TFrameSpan& f, int32_t frames, int subSamples, bool feedback,
                        const TModulatorCoefficients& c, TModulatorState& s, uint32_t& seed);
