#include "core/uModulator.h"

#include "core/uModulatorKernel.h"

#include <cmath>
#include <limits>

std::atomic<uint32_t> DitherSeed{kDitherStart};

double DitherRandom() {
  uint32_t old = DitherSeed.load(std::memory_order_relaxed);
  uint32_t next;
  do {
    next = old * kDitherMul + kDitherAdd;
  } while (!DitherSeed.compare_exchange_weak(old, next, std::memory_order_relaxed));
  return DitherValue(next);
}

uint32_t DitherJump(uint32_t seed, uint32_t steps) {
  const TDitherJump j = DitherJumpFor(steps);
  return seed * j.Mul + j.Add;
}

uint32_t DitherReserve(uint32_t draws) {
  const TDitherJump j = DitherJumpFor(draws);
  uint32_t old = DitherSeed.load(std::memory_order_relaxed);
  while (!DitherSeed.compare_exchange_weak(old, old * j.Mul + j.Add, std::memory_order_relaxed)) {
  }
  return old;
}

void Quantize(double u0, double u1, double levels, double invLevels, double ditherAmount,
              double out[2]) {
  const double r1 = DitherRandom();
  const double r2 = DitherRandom();
  QuantizeWithDraws(u0, u1, levels, invLevels, ditherAmount, r1, r2, out);
}

void ModulateFramesExact(const TFrameSpan& f, int32_t begin, int32_t end, int subSamples,
                         bool feedback, const TModulatorCoefficients& c, TModulatorState& s,
                         uint32_t& seed) {
  for (int32_t i = begin; i < end; ++i) {
    const double x0 = FiniteOrZero(f.In0[i]);
    const double x1 = FiniteOrZero(f.In1[i]);
    for (int j = 0; j < subSamples; ++j) {
      s.QuantizerIn[0] = x0 - s.Error[0];
      s.QuantizerIn[1] = x1 - s.Error[1];
      seed = seed * kDitherMul + kDitherAdd;
      const double r1 = DitherValue(seed);
      seed = seed * kDitherMul + kDitherAdd;
      const double r2 = DitherValue(seed);
      QuantizeWithDraws(s.QuantizerIn[0], s.QuantizerIn[1], c.Levels, c.InvLevels, c.DitherAmount,
                        r1, r2, s.QuantizerOut);
      for (int ch = 0; ch < 2; ++ch) {
        s.Error[ch] = feedback ? FiniteOrZero(s.QuantizerOut[ch] - s.QuantizerIn[ch]) : 0.0;
        s.Sum[ch] = s.Sum[ch] + s.QuantizerOut[ch];
      }
    }
    f.Out0[i] = FiniteOrZero(static_cast<float>(c.Gain * s.Sum[0]));
    f.Out1[i] = FiniteOrZero(static_cast<float>(c.Gain * s.Sum[1]));
    s.Sum[0] = 0.0;
    s.Sum[1] = 0.0;
  }
}

bool ModulatorVariantSupported(TModulatorVariant v) {
  switch (v) {
  case TModulatorVariant::Avx2:
    return __builtin_cpu_supports("avx2");
  default:
    return true;
  }
}

namespace {
TModulatorVariant BestVariant() {
  static const TModulatorVariant best = ModulatorVariantSupported(TModulatorVariant::Avx2)
                                            ? TModulatorVariant::Avx2
                                            : TModulatorVariant::Sse2;
  return best;
}
} // namespace

void ModulateBlock(const float* const* inputs, float* const* outputs, int32_t frames,
                   int subSamples, bool feedback, const TModulatorCoefficients& c,
                   TModulatorState& s) {
  ModulateBlockWith(TModulatorVariant::Best, inputs, outputs, frames, subSamples, feedback, c, s);
}

void ModulateBlockWith(TModulatorVariant v, const float* const* inputs, float* const* outputs,
                       int32_t frames, int subSamples, bool feedback,
                       const TModulatorCoefficients& c, TModulatorState& s) {
  if (frames <= 0) return;
  const TFrameSpan f{inputs[0], inputs[1], outputs[0], outputs[1]};
  if (subSamples <= 0) {
    // No sub-samples: the memories and the generator stay where they are.
    const float silence = FiniteOrZero(static_cast<float>(c.Gain * 0.0));
    for (int32_t i = 0; i < frames; ++i) {
      f.Out0[i] = silence;
      f.Out1[i] = silence;
    }
    return;
  }
  // The generator's period is 2^32, so reserving the draw count modulo 2^32 leaves it exactly
  // where the full count would.
  const uint64_t draws = 2ull * static_cast<uint64_t>(subSamples) * static_cast<uint64_t>(frames);
  uint32_t seed = DitherReserve(static_cast<uint32_t>(draws));
  if (v == TModulatorVariant::Best) v = BestVariant();
  switch (v) {
  case TModulatorVariant::Avx2:
    ModulateFramesAvx2(f, frames, subSamples, feedback, c, s, seed);
    break;
  case TModulatorVariant::Sse2:
    ModulateFramesSse2(f, frames, subSamples, feedback, c, s, seed);
    break;
  default:
    ModulateFramesExact(f, 0, frames, subSamples, feedback, c, s, seed);
    break;
  }
}

double LevelsForWordLength(int64_t b) {
  const uint32_t shift = static_cast<uint32_t>((static_cast<uint64_t>(b) - 1u) & 31u);
  return static_cast<double>(static_cast<int32_t>((2u << shift) - 1u));
}

double GainFor(int64_t bq, int64_t oq) {
  const double gain = (1.0 - 0.5 / static_cast<double>(bq)) / static_cast<double>(oq);
  return std::isfinite(gain) ? gain : 0.0;
}

int64_t RoundHalfEven(double x) {
  if (std::isnan(x)) return 0;
  constexpr double kLimit = 9223372036854775808.0; // 2^63
  if (x >= kLimit) return std::numeric_limits<int64_t>::max();
  if (x < -kLimit) return std::numeric_limits<int64_t>::min();
  // floor and the difference are exact for every double; beyond 2^52 x is already whole.
  double r = std::floor(x);
  const double frac = x - r;
  if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
  return static_cast<int64_t>(r);
}
