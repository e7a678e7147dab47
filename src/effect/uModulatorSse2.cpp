// The modulator on plain SSE2, the baseline of every x86 build. Both channels
// travel together in one register, channel 0 in the low lane.
//
// Rounding to an integer uses (t + 1.5 * 2^52) - 1.5 * 2^52, which is rint(t)
// for |t| <= 2^51 under round-to-nearest (apart from the sign of a zero result,
// which the following k * R - 1 cannot show). Every frame checks that its
// values stayed inside that range, and a frame that left it runs again through
// the exact loop from the memories it started with.
#include "effect/uModulatorSimd.h"

namespace {

inline __m128d Rint(__m128d t) {
  const __m128d magic = _mm_set1_pd(6755399441055744.0); // 1.5 * 2^52
  return _mm_sub_pd(_mm_add_pd(t, magic), magic);
}

// Feedback on: the loop error -> quantiser -> error is one dependency chain per
// channel, so one sub-sample at a time with both channels in one register. The
// draws come from two generator lanes (the 64-bit halves of a register, state
// in their low 32 bits) stepping two draws at a time, beside the chain.
void FeedbackFrames(const TFrameSpan& f, int32_t frames, int m, const TModulatorCoefficients& c,
                    const TFoldedCoefficients& k, TModulatorState& s, uint32_t& seed) {
  const __m128d halfLevels = _mm_set1_pd(k.HalfLevels);
  const __m128d twiceInv = _mm_set1_pd(k.TwiceInvLevels);
  const __m128d dither = _mm_set1_pd(k.ScaledDither);
  const __m128d gain = _mm_set1_pd(c.Gain);
  const __m128d one = _mm_set1_pd(1.0);
  const __m128d roundLimit = _mm_set1_pd(2251799813685248.0); // 2^51
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
    __m128d inRange = _mm_castsi128_pd(_mm_set1_epi32(-1));
    for (int j = 0; j < m; ++j) {
      const __m128d r = PairDraws(lanes, dither);
      lanes = StepPair(lanes, laneMul, laneAdd);
      in = _mm_sub_pd(x, error);
      const __m128d t = _mm_add_pd(_mm_mul_pd(_mm_add_pd(in, one), halfLevels), r);
      inRange = _mm_and_pd(inRange, _mm_cmple_pd(_mm_and_pd(t, AbsMask()), roundLimit));
      out = _mm_sub_pd(_mm_mul_pd(Rint(t), twiceInv), one);
      error = _mm_sub_pd(out, in);
      sum = _mm_add_pd(sum, out);
    }
    inRange = _mm_and_pd(inRange, _mm_cmple_pd(_mm_and_pd(error, AbsMask()), finiteLimit));
    if (_mm_movemask_pd(inRange) != 3) {
      // Out of the fast range or not finite: redo the frame exactly from where
      // it started.
      _mm_storeu_pd(s.Error, errorStart);
      _mm_storeu_pd(s.Sum, sumStart);
      uint32_t exactSeed = frameSeed;
      ModulateFramesExact(f, i, i + 1, m, true, c, s, exactSeed);
      error = _mm_loadu_pd(s.Error);
      in = _mm_loadu_pd(s.QuantizerIn);
      out = _mm_loadu_pd(s.QuantizerOut);
    } else {
      StoreFrame(f, i, gain, sum);
    }
    sumStart = _mm_setzero_pd();
    frameSeed = frameSeed * frameStep.Mul + frameStep.Add;
  }
  StoreState(s, in, out, error);
  seed = frameSeed;
}

// Feedback off: the error memory is 0.0 from the second sub-sample of the block
// on, so the quantiser input is the input sample itself, and only the running
// sum chains the sub-samples of a frame. Two sub-samples at a time: four
// generator lanes hold their draws.
void PlainFrames(const TFrameSpan& f, int32_t frames, int m, const TModulatorCoefficients& c,
                 const TFoldedCoefficients& k, TModulatorState& s, uint32_t& seed) {
  const __m128d halfLevels = _mm_set1_pd(k.HalfLevels);
  const __m128d twiceInv = _mm_set1_pd(k.TwiceInvLevels);
  const __m128d dither = _mm_set1_pd(k.ScaledDither);
  const __m128d gain = _mm_set1_pd(c.Gain);
  const __m128d one = _mm_set1_pd(1.0);
  const __m128d aLimit = _mm_set1_pd(1125899906842624.0); // 2^50
  // Two generator pairs, for even and odd sub-samples, each stepping four
  // draws: their two multiply-add chains run side by side.
  const TDitherJump d1 = DitherJumpFor(1), d2 = DitherJumpFor(2), d3 = DitherJumpFor(3),
                    d4 = DitherJumpFor(4);
  const __m128i stepMul = _mm_set1_epi32(static_cast<int>(d4.Mul));
  const __m128i stepAdd = _mm_set1_epi32(static_cast<int>(d4.Add));
  const TDitherJump frameStep = DitherJumpFor(static_cast<uint32_t>(2 * m));

  __m128d sumStart = _mm_loadu_pd(s.Sum);
  __m128d in = _mm_loadu_pd(s.QuantizerIn), out = _mm_loadu_pd(s.QuantizerOut);
  uint32_t frameSeed = seed;
  int32_t i = 0;
  // Frames need a zero error memory (bit for bit) to take the short form;
  // otherwise the first frame runs exactly and clears it.
  if (s.Error[0] != 0.0 || s.Error[1] != 0.0 || std::signbit(s.Error[0]) ||
      std::signbit(s.Error[1])) {
    ModulateFramesExact(f, 0, 1, m, false, c, s, frameSeed);
    in = _mm_loadu_pd(s.QuantizerIn);
    out = _mm_loadu_pd(s.QuantizerOut);
    sumStart = _mm_setzero_pd();
    i = 1;
  }
  if (m == 1 && _mm_movemask_pd(_mm_cmpeq_pd(sumStart, _mm_setzero_pd())) == 3) {
    // One sub-sample per frame: two frames per step with their four draws in a
    // row, and each sum is 0 + q, which is q itself (q = k * R - 1 is never
    // -0). A pair out of the rounding range leaves the rest to the general loop
    // below.
    __m128i even = DrawPair(frameSeed, d2, d1), odd = DrawPair(frameSeed, d4, d3);
    for (; i + 2 <= frames; i += 2) {
      const __m128d x0 = LoadFrame(f, i), x1 = LoadFrame(f, i + 1);
      const __m128d a0 = _mm_mul_pd(_mm_add_pd(x0, one), halfLevels);
      const __m128d a1 = _mm_mul_pd(_mm_add_pd(x1, one), halfLevels);
      const __m128d inRange = _mm_and_pd(_mm_cmple_pd(_mm_and_pd(a0, AbsMask()), aLimit),
                                         _mm_cmple_pd(_mm_and_pd(a1, AbsMask()), aLimit));
      if (_mm_movemask_pd(inRange) != 3) break;
      const __m128d q0 =
          _mm_sub_pd(_mm_mul_pd(Rint(_mm_add_pd(a0, PairDraws(even, dither))), twiceInv), one);
      out = _mm_sub_pd(_mm_mul_pd(Rint(_mm_add_pd(a1, PairDraws(odd, dither))), twiceInv), one);
      even = StepPair(even, stepMul, stepAdd);
      odd = StepPair(odd, stepMul, stepAdd);
      // [frame i ch 0, ch 1, frame i + 1 ch 0, ch 1] -> [i ch 0, i + 1 ch 0, i
      // ch 1, i + 1 ch 1]
      __m128 y = ZeroNonFinite(
          _mm_movelh_ps(_mm_cvtpd_ps(_mm_mul_pd(gain, q0)), _mm_cvtpd_ps(_mm_mul_pd(gain, out))));
      y = _mm_shuffle_ps(y, y, _MM_SHUFFLE(3, 1, 2, 0));
      _mm_storel_pi(reinterpret_cast<__m64*>(f.Out0 + i), y);
      _mm_storeh_pi(reinterpret_cast<__m64*>(f.Out1 + i), y);
      in = x1;
      sumStart = _mm_setzero_pd();
      frameSeed = frameSeed * d4.Mul + d4.Add;
    }
  }
  for (; i < frames; ++i) {
    const __m128d x = LoadFrame(f, i);
    const __m128d a = _mm_mul_pd(_mm_add_pd(x, one), halfLevels);
    if (_mm_movemask_pd(_mm_cmple_pd(_mm_and_pd(a, AbsMask()), aLimit)) != 3) {
      _mm_storeu_pd(s.Sum, sumStart);
      uint32_t exactSeed = frameSeed;
      ModulateFramesExact(f, i, i + 1, m, false, c, s, exactSeed);
      in = _mm_loadu_pd(s.QuantizerIn);
      out = _mm_loadu_pd(s.QuantizerOut);
    } else {
      __m128i even = DrawPair(frameSeed, d2, d1), odd = DrawPair(frameSeed, d4, d3);
      __m128d sum = sumStart;
      int j = 0;
      for (; j + 2 <= m; j += 2) {
        const __m128d r0 = PairDraws(even, dither);
        const __m128d r1 = PairDraws(odd, dither);
        even = StepPair(even, stepMul, stepAdd);
        odd = StepPair(odd, stepMul, stepAdd);
        const __m128d q0 = _mm_sub_pd(_mm_mul_pd(Rint(_mm_add_pd(a, r0)), twiceInv), one);
        const __m128d q1 = _mm_sub_pd(_mm_mul_pd(Rint(_mm_add_pd(a, r1)), twiceInv), one);
        sum = _mm_add_pd(_mm_add_pd(sum, q0), q1);
        out = q1;
      }
      if (j < m) {
        const __m128d r0 = PairDraws(even, dither);
        out = _mm_sub_pd(_mm_mul_pd(Rint(_mm_add_pd(a, r0)), twiceInv), one);
        sum = _mm_add_pd(sum, out);
      }
      in = x;
      StoreFrame(f, i, gain, sum);
    }
    sumStart = _mm_setzero_pd();
    frameSeed = frameSeed * frameStep.Mul + frameStep.Add;
  }
  StoreState(s, in, out, _mm_setzero_pd());
  seed = frameSeed;
}

} // namespace

void ModulateFramesSse2(const TFrameSpan& f, int32_t frames, int subSamples, bool feedback,
                        const TModulatorCoefficients& c, TModulatorState& s, uint32_t& seed) {
  TFoldedCoefficients k;
  // Without feedback the rounding range is checked once per frame on the
  // undithered value, which needs the dither to stay far inside it.
  if (!PrepareFolded(c, k) || (!feedback && !(std::fabs(c.DitherAmount) <= 562949953421312.0))) {
    ModulateFramesExact(f, 0, frames, subSamples, feedback, c, s, seed);
  } else if (feedback) {
    FeedbackFrames(f, frames, subSamples, c, k, s, seed);
  } else {
    PlainFrames(f, frames, subSamples, c, k, s, seed);
  }
}
