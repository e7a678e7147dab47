// The vectorised loops of the modulator, written once for every instruction set. Each
// instruction set's file (uModulatorSse2.cpp, uModulatorAvx2.cpp) defines a lane type, below
// called L, and runs ModulateFramesWith<L>; the AVX2 file includes this header after switching
// the compiler to AVX2 code.
//
// So that no copy compiled for one instruction set can stand in for another's, everything here
// has internal linkage (each file gets its own), and this header includes nothing beyond what
// that file includes before it switches: uModulatorKernel.h and the SSE2 intrinsics.
//
// What a lane type provides:
//   TWide, kFrames     a vector of doubles holding kFrames frames of both channels, in memory
//                      order [frame 0 channel 0, frame 0 channel 1, frame 1 channel 0, ...];
//   Splat(x)           x in every element;
//   Rint(t)            nearest integer, ties to even, of a frame (__m128d) and of a TWide;
//   kRoundsEveryValue  whether Rint is rint for every double; where it is not, it is for
//                      |t| <= kRoundLimit, Within(limit, a[, b]) tells whether every element of
//                      a (and b) lies within +-limit, and the loops check that range;
//   LoadFrames(f, i, n)           frames i..i+n-1 (n <= kFrames), widened, non-finite as 0.0;
//   LoadFrames(f, i, x0, x1)      frames i..i+2*kFrames-1 into two TWides;
//   StoreFrames(f, i, n, y)       y rounded to float, non-finite as 0.0, into frames i..i+n-1;
//   StoreFrames(f, i, y0, y1)     the same for 2*kFrames frames;
//   LastFrame(x, n), FirstFrame(x)  frame n-1 of a TWide; a TWide with x as frame 0, 0.0 after;
//   TDraws, TJumps     generator states for the draws of two TWides, and jumps to apply to them:
//                      Jumps(TDrawLanes<kFrames>) one per draw, Jumps(TDitherJump) one for all;
//                      Draws(seed, jumps) the states `jumps` after seed, Step(draws, jumps) them
//                      advanced; First and Second(draws, scale) the two TWides of draws, scaled.
#pragma once

#include "core/uModulatorKernel.h"

#include <emmintrin.h>

namespace {

// The loops fold the constant factors of the quantiser: (u + 1) * 0.5 * L equals
// (u + 1) * (0.5 * L) and k * R * 2 equals k * (2 * R) bit for bit as long as halving L and
// doubling R are exact and k * R cannot be subnormal, and r * D, with r = seed * 2^-32, equals
// seed * (D * 2^-32) as long as that product is exact. Where the coefficients allow this,
// PrepareFolded fills the folded factors and answers true; otherwise the block runs the exact loop.
struct TFoldedCoefficients {
  double HalfLevels, TwiceInvLevels, ScaledDither;
};
inline bool PrepareFolded(const TModulatorCoefficients& c, TFoldedCoefficients& k) {
  k.HalfLevels = 0.5 * c.Levels;
  k.TwiceInvLevels = 2.0 * c.InvLevels;
  k.ScaledDither = c.DitherAmount * kDitherScale;
  return std::isfinite(c.Levels) && std::isfinite(c.InvLevels) && std::isfinite(c.DitherAmount) &&
         k.HalfLevels * 2.0 == c.Levels && k.TwiceInvLevels * 0.5 == c.InvLevels &&
         (c.InvLevels == 0.0 || std::fabs(c.InvLevels) >= 2.2250738585072014e-308) &&
         k.ScaledDither * 4294967296.0 == c.DitherAmount;
}

// The jumps from a start state to the draws of two wide vectors of W frames, in register order
// (vector, frame, channel): the sub-sample of frame w in vector v comes
// v * vectorStride + w * frameStride sub-samples after the start, and within a sub-sample
// channel 0 takes the second draw.
template <int W> struct TDrawLanes {
  uint32_t Mul[4 * W]{}, Add[4 * W]{};
  constexpr TDrawLanes(int vectorStride, int frameStride) {
    for (int v = 0; v < 2; ++v)
      for (int w = 0; w < W; ++w)
        for (int ch = 0; ch < 2; ++ch) {
          const int before = v * vectorStride + w * frameStride;
          const TDitherJump j = DitherJumpFor(static_cast<uint32_t>(2 * before + 2 - ch));
          Mul[(v * W + w) * 2 + ch] = j.Mul;
          Add[(v * W + w) * 2 + ch] = j.Add;
        }
  }
};

inline __m128d AbsMask() {
  return _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
}

// All ones in the lanes whose magnitude is at most `limit` (never for NaN).
inline __m128d WithinMask(__m128d limit, __m128d x) {
  return _mm_cmple_pd(_mm_and_pd(x, AbsMask()), limit);
}

// Lanes that are not finite (exponent all ones) become 0.0.
inline __m128 ZeroNonFinite(__m128 x) {
  const __m128i exponent = _mm_set1_epi32(0x7F800000);
  const __m128i special = _mm_cmpeq_epi32(_mm_and_si128(_mm_castps_si128(x), exponent), exponent);
  return _mm_andnot_ps(_mm_castsi128_ps(special), x);
}

// Both input samples of frame i, widened; a sample that is not finite becomes 0.0.
inline __m128d LoadFrame(const TFrameSpan& f, int32_t i) {
  return _mm_cvtps_pd(
      ZeroNonFinite(_mm_unpacklo_ps(_mm_load_ss(f.In0 + i), _mm_load_ss(f.In1 + i))));
}

// Both output samples of frame i, rounded to float; a result that is not finite becomes 0.0.
inline void StoreFrame(const TFrameSpan& f, int32_t i, __m128d y) {
  const __m128 y32 = ZeroNonFinite(_mm_cvtpd_ps(y));
  _mm_store_ss(f.Out0 + i, y32);
  _mm_store_ss(f.Out1 + i, _mm_shuffle_ps(y32, y32, _MM_SHUFFLE(1, 1, 1, 1)));
}

// A generator pair: the states of one sub-sample's two draws in the low halves of the 64-bit
// lanes (all that SSE2 multiplies), the second draw (channel 0) in lane 0. `second` and `first`
// are the jumps from `seed` to each draw.
inline __m128i DrawPair(uint32_t seed, TDitherJump second, TDitherJump first) {
  return _mm_add_epi32(
      _mm_mul_epu32(
          _mm_set1_epi32(static_cast<int>(seed)),
          _mm_setr_epi32(static_cast<int>(second.Mul), 0, static_cast<int>(first.Mul), 0)),
      _mm_setr_epi32(static_cast<int>(second.Add), 0, static_cast<int>(first.Add), 0));
}

// Both lanes of a pair advanced by one jump (Mul and Add in the low halves of the 64-bit lanes).
inline __m128i StepPair(__m128i pair, __m128i mul, __m128i add) {
  return _mm_add_epi32(_mm_mul_epu32(pair, mul), add);
}

// The pair's draws times a scale, [channel 0, channel 1].
inline __m128d PairDraws(__m128i pair, __m128d scale) {
  return _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(pair, _MM_SHUFFLE(3, 1, 2, 0))), scale);
}

inline void StoreState(TModulatorState& s, __m128d in, __m128d out, __m128d error) {
  _mm_storeu_pd(s.QuantizerIn, in);
  _mm_storeu_pd(s.QuantizerOut, out);
  _mm_storeu_pd(s.Error, error);
  _mm_storeu_pd(s.Sum, _mm_setzero_pd());
}

// Feedback on: the loop error -> quantiser -> error is one dependency chain per channel, so one
// sub-sample at a time with both channels in one register, whatever the width of L. The draws
// come from a generator pair stepping two draws at a time, beside the chain. A frame that left
// the rounding range or whose error memory ended up not finite runs again through the exact
// loop from the memories it started with; that loop restarts a non-finite memory from 0.0.
template <class L>
void FeedbackFrames(const TFrameSpan& f, int32_t frames, int m, const TModulatorCoefficients& c,
                    const TFoldedCoefficients& k, TModulatorState& s, uint32_t& seed) {
  const __m128d halfLevels = _mm_set1_pd(k.HalfLevels);
  const __m128d twiceInv = _mm_set1_pd(k.TwiceInvLevels);
  const __m128d dither = _mm_set1_pd(k.ScaledDither);
  const __m128d gain = _mm_set1_pd(c.Gain);
  const __m128d one = _mm_set1_pd(1.0);
  const __m128d finiteLimit = _mm_set1_pd(1.7976931348623157e308);
  const TDitherJump first = DitherJumpFor(1), second = DitherJumpFor(2);
  const TDitherJump frameStep = DitherJumpFor(static_cast<uint32_t>(2 * m));
  __m128i lanes = DrawPair(seed, second, first);
  const __m128i laneMul = _mm_set1_epi32(static_cast<int>(second.Mul));
  const __m128i laneAdd = _mm_set1_epi32(static_cast<int>(second.Add));

  __m128d error = _mm_loadu_pd(s.Error);
  __m128d sumStart = _mm_loadu_pd(s.Sum);
  __m128d in = _mm_loadu_pd(s.QuantizerIn), out = _mm_loadu_pd(s.QuantizerOut);
  uint32_t frameSeed = seed;
  for (int32_t i = 0; i < frames; ++i) {
    const __m128d x = LoadFrame(f, i);
    const __m128d errorStart = error;
    __m128d sum = sumStart;
    [[maybe_unused]] __m128d inRange = _mm_castsi128_pd(_mm_set1_epi32(-1));
    for (int j = 0; j < m; ++j) {
      const __m128d r = PairDraws(lanes, dither);
      lanes = StepPair(lanes, laneMul, laneAdd);
      in = x - error;
      const __m128d t = (in + one) * halfLevels + r;
      if constexpr (!L::kRoundsEveryValue)
        inRange = _mm_and_pd(inRange, WithinMask(_mm_set1_pd(L::kRoundLimit), t));
      out = L::Rint(t) * twiceInv - one;
      error = out - in;
      sum = sum + out;
    }
    // A non-finite error stays non-finite through the rest of the frame, so checking the last
    // one finds every case.
    __m128d fast = WithinMask(finiteLimit, error);
    if constexpr (!L::kRoundsEveryValue) fast = _mm_and_pd(fast, inRange);
    if (_mm_movemask_pd(fast) != 3) {
      _mm_storeu_pd(s.Error, errorStart);
      _mm_storeu_pd(s.Sum, sumStart);
      uint32_t exactSeed = frameSeed;
      ModulateFramesExact(f, i, i + 1, m, true, c, s, exactSeed);
      error = _mm_loadu_pd(s.Error);
      in = _mm_loadu_pd(s.QuantizerIn);
      out = _mm_loadu_pd(s.QuantizerOut);
    } else {
      StoreFrame(f, i, gain * sum);
    }
    sumStart = _mm_setzero_pd();
    frameSeed = frameSeed * frameStep.Mul + frameStep.Add;
  }
  StoreState(s, in, out, error);
  seed = frameSeed;
}

// Feedback off: the error memory is 0.0 from the second sub-sample of the block on, so the
// quantiser input is the input sample itself, and only the running sum chains the sub-samples of
// a frame. The frames of one wide vector run side by side, two sub-samples per step, so that
// their independent sums share each add. Where L rounds only within a range, it is checked once
// per frame on the undithered value against half the range; ModulateFramesWith keeps the dither
// within a quarter of it, so the dithered value stays inside.
template <class L>
void PlainFrames(const TFrameSpan& f, int32_t frames, int m, const TModulatorCoefficients& c,
                 const TFoldedCoefficients& k, TModulatorState& s, uint32_t& seed) {
  using V = typename L::TWide;
  using TJumps = typename L::TJumps;
  using TDraws = typename L::TDraws;
  constexpr int W = L::kFrames;
  const V halfLevels = L::Splat(k.HalfLevels);
  const V twiceInv = L::Splat(k.TwiceInvLevels);
  const V dither = L::Splat(k.ScaledDither);
  const V gain = L::Splat(c.Gain);
  const V one = L::Splat(1.0);

  __m128d sumStart = _mm_loadu_pd(s.Sum);
  __m128d in = _mm_loadu_pd(s.QuantizerIn), out = _mm_loadu_pd(s.QuantizerOut);
  uint32_t frameSeed = seed;
  int32_t i = 0;
  // The frames need a zero error memory (bit for bit) to take the short form; an error left by
  // feedback in an earlier block makes the first frame run exactly, which clears it.
  if (s.Error[0] != 0.0 || s.Error[1] != 0.0 || std::signbit(s.Error[0]) ||
      std::signbit(s.Error[1])) {
    ModulateFramesExact(f, 0, 1, m, false, c, s, frameSeed);
    in = _mm_loadu_pd(s.QuantizerIn);
    out = _mm_loadu_pd(s.QuantizerOut);
    sumStart = _mm_setzero_pd();
    i = 1;
  }
  if (m == 1 && _mm_movemask_pd(_mm_cmpeq_pd(sumStart, _mm_setzero_pd())) == 3) {
    // One sub-sample per frame: two wide vectors of frames in a row per step, and each sum is
    // 0 + q, which is q itself (q = k * R - 1 is never -0), so nothing chains at all. A step out
    // of the rounding range leaves the rest to the general loop below.
    static constexpr TDrawLanes<W> kRow(W, 1);
    constexpr TDitherJump rowStep = DitherJumpFor(4 * W);
    const TJumps rowJumps = L::Jumps(rowStep);
    TDraws draws = L::Draws(frameSeed, L::Jumps(kRow));
    for (; i + 2 * W <= frames; i += 2 * W) {
      V x0, x1;
      L::LoadFrames(f, i, x0, x1);
      const V a0 = (x0 + one) * halfLevels;
      const V a1 = (x1 + one) * halfLevels;
      if constexpr (!L::kRoundsEveryValue)
        if (!L::Within(L::Splat(0.5 * L::kRoundLimit), a0, a1)) break;
      const V q0 = L::Rint(a0 + L::First(draws, dither)) * twiceInv - one;
      const V q1 = L::Rint(a1 + L::Second(draws, dither)) * twiceInv - one;
      draws = L::Step(draws, rowJumps);
      L::StoreFrames(f, i, gain * q0, gain * q1);
      in = L::LastFrame(x1, W);
      out = L::LastFrame(q1, W);
      sumStart = _mm_setzero_pd();
      frameSeed = frameSeed * rowStep.Mul + rowStep.Add;
    }
  }
  const TJumps groupJumps = L::Jumps(TDrawLanes<W>(1, m));
  const TJumps pairStep = L::Jumps(DitherJumpFor(4));
  const TDitherJump frameStep = DitherJumpFor(static_cast<uint32_t>(2 * m));
  const TDitherJump groupStep = DitherJumpFor(static_cast<uint32_t>(2 * m * W));
  for (int n = W; i < frames; i += n) {
    // A last group of fewer frames runs alone in the low part of the vector.
    if (frames - i < W) n = static_cast<int>(frames - i);
    const V x = L::LoadFrames(f, i, n);
    const V a = (x + one) * halfLevels;
    bool inRange = true;
    if constexpr (!L::kRoundsEveryValue) inRange = L::Within(L::Splat(0.5 * L::kRoundLimit), a);
    if (!inRange) {
      _mm_storeu_pd(s.Sum, sumStart);
      uint32_t exactSeed = frameSeed;
      ModulateFramesExact(f, i, i + n, m, false, c, s, exactSeed);
      in = _mm_loadu_pd(s.QuantizerIn);
      out = _mm_loadu_pd(s.QuantizerOut);
    } else {
      TDraws draws = L::Draws(frameSeed, groupJumps);
      V sum = L::FirstFrame(sumStart);
      V q{};
      int j = 0;
      for (; j + 2 <= m; j += 2) {
        const V r0 = L::First(draws, dither);
        const V r1 = L::Second(draws, dither);
        draws = L::Step(draws, pairStep);
        const V q0 = L::Rint(a + r0) * twiceInv - one;
        q = L::Rint(a + r1) * twiceInv - one;
        sum = sum + q0 + q;
      }
      if (j < m) {
        q = L::Rint(a + L::First(draws, dither)) * twiceInv - one;
        sum = sum + q;
      }
      L::StoreFrames(f, i, n, gain * sum);
      in = L::LastFrame(x, n);
      out = L::LastFrame(q, n);
    }
    sumStart = _mm_setzero_pd();
    const TDitherJump step = n == W ? groupStep : frameStep;
    frameSeed = frameSeed * step.Mul + step.Add;
  }
  StoreState(s, in, out, _mm_setzero_pd());
  seed = frameSeed;
}

// All frames of a block (subSamples >= 1) through the loops of L, or through the exact loop
// where the coefficients do not allow the folded form.
template <class L>
void ModulateFramesWith(const TFrameSpan& f, int32_t frames, int subSamples, bool feedback,
                        const TModulatorCoefficients& c, TModulatorState& s, uint32_t& seed) {
  TFoldedCoefficients k;
  bool folded = PrepareFolded(c, k);
  if constexpr (!L::kRoundsEveryValue)
    folded = folded && (feedback || std::fabs(c.DitherAmount) <= 0.25 * L::kRoundLimit);
  if (!folded)
    ModulateFramesExact(f, 0, frames, subSamples, feedback, c, s, seed);
  else if (feedback)
    FeedbackFrames<L>(f, frames, subSamples, c, k, s, seed);
  else
    PlainFrames<L>(f, frames, subSamples, c, k, s, seed);
}

} // namespace
