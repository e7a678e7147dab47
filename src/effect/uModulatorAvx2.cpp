// The modulator for processors with AVX2, chosen at run time. Rounding uses the
// processor's own round-to-nearest-even instruction, which is rint for every
// double, so no range checks are needed; without feedback two sub-samples of
// both channels share one 256-bit register and eight generator lanes hold the
// draws of four sub-samples.
#include "effect/uModulatorSimd.h"

#include <immintrin.h>

#define QL_AVX2 __attribute__((target("avx2")))

namespace {

QL_AVX2 inline __m128d Rint(__m128d t) {
  return _mm_round_pd(t, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}

QL_AVX2 inline __m256d Rint(__m256d t) {
  return _mm256_round_pd(t, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}

// Feedback on: one sub-sample at a time along the chain error -> quantiser ->
// error, both channels in one register; two generator lanes step beside it. A
// frame whose error memory ended up not finite runs again through the exact
// loop, which restarts the memory from 0.0.
QL_AVX2 void FeedbackFrames(const TFrameSpan& f, int32_t frames, int m,
                            const TModulatorCoefficients& c, const TFoldedCoefficients& k,
                            TModulatorState& s, uint32_t& seed) {
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
    for (int j = 0; j < m; ++j) {
      const __m128d r = PairDraws(lanes, dither);
      lanes = StepPair(lanes, laneMul, laneAdd);
      in = _mm_sub_pd(x, error);
      const __m128d t = _mm_add_pd(_mm_mul_pd(_mm_add_pd(in, one), halfLevels), r);
      out = _mm_sub_pd(_mm_mul_pd(Rint(t), twiceInv), one);
      error = _mm_sub_pd(out, in);
      sum = _mm_add_pd(sum, out);
    }
    // A non-finite error stays non-finite through the rest of the frame, so
    // checking the last one finds every case.
    if (_mm_movemask_pd(_mm_cmple_pd(_mm_and_pd(error, AbsMask()), finiteLimit)) != 3) {
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

// Feedback off: the quantiser input is the input sample itself from the second
// sub-sample of the block on, and only the running sum chains a frame's
// sub-samples. Two frames run side by side in one 256-bit register (frame i in
// the low half, i + 1 in the high half), so two independent sums share each
// add; eight generator lanes hold the draws of two sub-samples of both frames.
QL_AVX2 void PlainFrames(const TFrameSpan& f, int32_t frames, int m,
                         const TModulatorCoefficients& c, const TFoldedCoefficients& k,
                         TModulatorState& s, uint32_t& seed) {
  const __m256d halfLevels = _mm256_set1_pd(k.HalfLevels);
  const __m256d twiceInv = _mm256_set1_pd(k.TwiceInvLevels);
  const __m256d dither = _mm256_set1_pd(k.ScaledDither);
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256d gain = _mm256_set1_pd(c.Gain);
  // Draw offsets from the start of a frame pair: sub-sample j of frame i, then
  // of frame i + 1, then sub-sample j + 1 of both; within a sub-sample channel
  // 0 takes the second draw.
  const TDitherLanes<8> lanesOfPair({2, 1, 2 * m + 2, 2 * m + 1, 4, 3, 2 * m + 4, 2 * m + 3});
  const __m256i laneMul = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanesOfPair.Mul));
  const __m256i laneAdd = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanesOfPair.Add));
  const TDitherJump step = DitherJumpFor(4);
  const __m256i stepMul = _mm256_set1_epi32(static_cast<int>(step.Mul));
  const __m256i stepAdd = _mm256_set1_epi32(static_cast<int>(step.Add));
  const TDitherJump frameStep = DitherJumpFor(static_cast<uint32_t>(2 * m));
  const TDitherJump pairStep = DitherJumpFor(static_cast<uint32_t>(4 * m));

  __m128d sumStart = _mm_loadu_pd(s.Sum);
  __m128d in = _mm_loadu_pd(s.QuantizerIn), out = _mm_loadu_pd(s.QuantizerOut);
  uint32_t frameSeed = seed;
  int32_t i = 0;
  if (s.Error[0] != 0.0 || s.Error[1] != 0.0 || std::signbit(s.Error[0]) ||
      std::signbit(s.Error[1])) {
    // The error left by feedback in an earlier block: the first frame runs
    // exactly and clears it.
    ModulateFramesExact(f, 0, 1, m, false, c, s, frameSeed);
    in = _mm_loadu_pd(s.QuantizerIn);
    out = _mm_loadu_pd(s.QuantizerOut);
    sumStart = _mm_setzero_pd();
    i = 1;
  }
  if (m == 1 && _mm_movemask_pd(_mm_cmpeq_pd(sumStart, _mm_setzero_pd())) == 3) {
    // One sub-sample per frame: four frames per step with their eight draws in
    // a row, and each sum is 0 + q, which is q itself (q = k * R - 1 is never
    // -0), so nothing chains at all.
    static const TDitherLanes<8> kLanesOfFour({2, 1, 4, 3, 6, 5, 8, 7});
    const TDitherJump eight = DitherJumpFor(8);
    const __m256i eightMul = _mm256_set1_epi32(static_cast<int>(eight.Mul));
    const __m256i eightAdd = _mm256_set1_epi32(static_cast<int>(eight.Add));
    __m256i lanes = _mm256_add_epi32(
        _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(frameSeed)),
                           _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kLanesOfFour.Mul))),
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kLanesOfFour.Add)));
    for (; i + 4 <= frames; i += 4) {
      const __m128 x0 = ZeroNonFinite(_mm_loadu_ps(f.In0 + i));
      const __m128 x1 = ZeroNonFinite(_mm_loadu_ps(f.In1 + i));
      const __m256d x01 = _mm256_cvtps_pd(_mm_unpacklo_ps(x0, x1));
      const __m256d x23 = _mm256_cvtps_pd(_mm_unpackhi_ps(x0, x1));
      const __m256d r01 = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(lanes)), dither);
      const __m256d r23 =
          _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(lanes, 1)), dither);
      lanes = _mm256_add_epi32(_mm256_mullo_epi32(lanes, eightMul), eightAdd);
      const __m256d a01 = _mm256_mul_pd(_mm256_add_pd(x01, one), halfLevels);
      const __m256d a23 = _mm256_mul_pd(_mm256_add_pd(x23, one), halfLevels);
      const __m256d q01 =
          _mm256_sub_pd(_mm256_mul_pd(Rint(_mm256_add_pd(a01, r01)), twiceInv), one);
      const __m256d q23 =
          _mm256_sub_pd(_mm256_mul_pd(Rint(_mm256_add_pd(a23, r23)), twiceInv), one);
      const __m128 y01 = _mm256_cvtpd_ps(_mm256_mul_pd(gain, q01));
      const __m128 y23 = _mm256_cvtpd_ps(_mm256_mul_pd(gain, q23));
      _mm_storeu_ps(f.Out0 + i, ZeroNonFinite(_mm_shuffle_ps(y01, y23, _MM_SHUFFLE(2, 0, 2, 0))));
      _mm_storeu_ps(f.Out1 + i, ZeroNonFinite(_mm_shuffle_ps(y01, y23, _MM_SHUFFLE(3, 1, 3, 1))));
      in = _mm256_extractf128_pd(x23, 1);
      out = _mm256_extractf128_pd(q23, 1);
      sumStart = _mm_setzero_pd();
      frameSeed = frameSeed * eight.Mul + eight.Add;
    }
  }
  for (; i + 2 <= frames; i += 2) {
    // Both frames are read before either is written, so in-place buffers work.
    const __m128 x0 =
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(f.In0 + i)));
    const __m128 x1 =
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(f.In1 + i)));
    const __m256d x = _mm256_cvtps_pd(ZeroNonFinite(_mm_unpacklo_ps(x0, x1)));
    const __m256d a = _mm256_mul_pd(_mm256_add_pd(x, one), halfLevels);
    __m256i lanes = _mm256_add_epi32(
        _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(frameSeed)), laneMul), laneAdd);
    __m256d sum = _mm256_set_m128d(_mm_setzero_pd(), sumStart);
    __m256d q = _mm256_setzero_pd();
    int j = 0;
    for (; j + 2 <= m; j += 2) {
      const __m256d r0 = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(lanes)), dither);
      const __m256d r1 =
          _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(lanes, 1)), dither);
      lanes = _mm256_add_epi32(_mm256_mullo_epi32(lanes, stepMul), stepAdd);
      const __m256d q0 = _mm256_sub_pd(_mm256_mul_pd(Rint(_mm256_add_pd(a, r0)), twiceInv), one);
      q = _mm256_sub_pd(_mm256_mul_pd(Rint(_mm256_add_pd(a, r1)), twiceInv), one);
      sum = _mm256_add_pd(_mm256_add_pd(sum, q0), q);
    }
    if (j < m) {
      const __m256d r0 = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(lanes)), dither);
      q = _mm256_sub_pd(_mm256_mul_pd(Rint(_mm256_add_pd(a, r0)), twiceInv), one);
      sum = _mm256_add_pd(sum, q);
    }
    // [frame i ch 0, ch 1, frame i + 1 ch 0, ch 1] -> [i ch 0, i + 1 ch 0, i ch
    // 1, i + 1 ch 1]
    __m128 y = ZeroNonFinite(_mm256_cvtpd_ps(_mm256_mul_pd(gain, sum)));
    y = _mm_shuffle_ps(y, y, _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storel_pi(reinterpret_cast<__m64*>(f.Out0 + i), y);
    _mm_storeh_pi(reinterpret_cast<__m64*>(f.Out1 + i), y);
    in = _mm256_extractf128_pd(x, 1);
    out = _mm256_extractf128_pd(q, 1);
    sumStart = _mm_setzero_pd();
    frameSeed = frameSeed * pairStep.Mul + pairStep.Add;
  }
  if (i < frames) {
    // The last frame of an odd count, alone in the low half, one sub-sample per
    // step.
    const TDitherJump two = DitherJumpFor(2);
    const __m256i oneMul = _mm256_set1_epi32(static_cast<int>(two.Mul));
    const __m256i oneAdd = _mm256_set1_epi32(static_cast<int>(two.Add));
    const __m128d x = LoadFrame(f, i);
    const __m256d a = _mm256_mul_pd(_mm256_add_pd(_mm256_set_m128d(x, x), one), halfLevels);
    __m256i lanes = _mm256_add_epi32(
        _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(frameSeed)), laneMul), laneAdd);
    __m128d sum = sumStart;
    for (int j = 0; j < m; ++j) {
      const __m256d r0 = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(lanes)), dither);
      lanes = _mm256_add_epi32(_mm256_mullo_epi32(lanes, oneMul), oneAdd);
      out = _mm256_castpd256_pd128(
          _mm256_sub_pd(_mm256_mul_pd(Rint(_mm256_add_pd(a, r0)), twiceInv), one));
      sum = _mm_add_pd(sum, out);
    }
    in = x;
    StoreFrame(f, i, _mm256_castpd256_pd128(gain), sum);
    frameSeed = frameSeed * frameStep.Mul + frameStep.Add;
  }
  StoreState(s, in, out, _mm_setzero_pd());
  seed = frameSeed;
}

} // namespace

void ModulateFramesAvx2(const TFrameSpan& f, int32_t frames, int subSamples, bool feedback,
                        const TModulatorCoefficients& c, TModulatorState& s, uint32_t& seed) {
  TFoldedCoefficients k;
  if (!PrepareFolded(c, k))
    ModulateFramesExact(f, 0, frames, subSamples, feedback, c, s, seed);
  else if (feedback)
    FeedbackFrames(f, frames, subSamples, c, k, s, seed);
  else
    PlainFrames(f, frames, subSamples, c, k, s, seed);
}
