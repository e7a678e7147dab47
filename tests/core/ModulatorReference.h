// The modulator written the plain way: one generator draw at a time, one quantiser call per
// sub-sample, every formula in its natural order, in double. The production kernel must give
// exactly these bits.
#pragma once

#include "core/uModulator.h"

#include <cmath>
#include <cstdint>

namespace ref {

inline double DitherRandom() {
  const uint32_t seed = DitherSeed.load() * 134775813u + 1u;
  DitherSeed.store(seed);
  return static_cast<int32_t>(seed) * 2.3283064365386963e-10;
}

inline void Quantize(double u0, double u1, double levels, double invLevels, double ditherAmount,
                     double out[2]) {
  const double a0 = (u0 + 1) * 0.5 * levels;
  const double a1 = (u1 + 1) * 0.5 * levels;
  const double r1 = DitherRandom();
  const double r2 = DitherRandom();
  out[1] = std::rint(a1 + r1 * ditherAmount) * invLevels * 2 - 1;
  out[0] = std::rint(a0 + r2 * ditherAmount) * invLevels * 2 - 1;
}

inline double Sane(double x) {
  return std::isfinite(x) ? x : 0.0;
}

inline void ModulateBlock(const float* const* inputs, float* const* outputs, int32_t frames,
                          int subSamples, bool feedback, const TModulatorCoefficients& c,
                          TModulatorState& s) {
  for (int32_t i = 0; i < frames; ++i) {
    for (int k = 0; k < subSamples; ++k) {
      for (int ch = 0; ch < 2; ++ch)
        s.QuantizerIn[ch] = Sane(inputs[ch][i]) - s.Error[ch];
      Quantize(s.QuantizerIn[0], s.QuantizerIn[1], c.Levels, c.InvLevels, c.DitherAmount,
               s.QuantizerOut);
      for (int ch = 0; ch < 2; ++ch) {
        s.Error[ch] = feedback ? Sane(s.QuantizerOut[ch] - s.QuantizerIn[ch]) : 0.0;
        s.Sum[ch] = s.Sum[ch] + s.QuantizerOut[ch];
      }
    }
    for (int ch = 0; ch < 2; ++ch) {
      const float out = static_cast<float>(c.Gain * s.Sum[ch]);
      outputs[ch][i] = std::isfinite(out) ? out : 0.0f;
      s.Sum[ch] = 0;
    }
  }
}

} // namespace ref
