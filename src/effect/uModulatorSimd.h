// SSE2 helpers shared by the vectorised loops of the modulator: frame loads and
// stores with the non-finite guard, the state write-back and the generator
// lanes.
#pragma once

#include "effect/uModulatorKernel.h"

#include <emmintrin.h>

inline __m128d AbsMask() {
  return _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
}

// Lanes that are not finite (exponent all ones) become 0.0.
inline __m128 ZeroNonFinite(__m128 x) {
  const __m128i exponent = _mm_set1_epi32(0x7F800000);
  const __m128i special = _mm_cmpeq_epi32(_mm_and_si128(_mm_castps_si128(x), exponent), exponent);
  return _mm_andnot_ps(_mm_castsi128_ps(special), x);
}

// Both input samples of frame i, widened; a sample that is not finite becomes
// 0.0.
inline __m128d LoadFrame(const TFrameSpan& f, int32_t i) {
  return _mm_cvtps_pd(
      ZeroNonFinite(_mm_unpacklo_ps(_mm_load_ss(f.In0 + i), _mm_load_ss(f.In1 + i))));
}

// Gain * sum rounded to float on both channels; a result that is not finite
// becomes 0.0.
inline void StoreFrame(const TFrameSpan& f, int32_t i, __m128d gain, __m128d sum) {
  const __m128 y = ZeroNonFinite(_mm_cvtpd_ps(_mm_mul_pd(gain, sum)));
  _mm_store_ss(f.Out0 + i, y);
  _mm_store_ss(f.Out1 + i, _mm_shuffle_ps(y, y, _MM_SHUFFLE(1, 1, 1, 1)));
}

// A generator pair: the states of one sub-sample's two draws in the low halves
// of the 64-bit lanes, the second draw (channel 0) in lane 0. `second` and
// `first` are the jumps from `seed` to each draw.
inline __m128i DrawPair(uint32_t seed, TDitherJump second, TDitherJump first) {
  return _mm_add_epi32(
      _mm_mul_epu32(
          _mm_set1_epi32(static_cast<int>(seed)),
          _mm_setr_epi32(static_cast<int>(second.Mul), 0, static_cast<int>(first.Mul), 0)),
      _mm_setr_epi32(static_cast<int>(second.Add), 0, static_cast<int>(first.Add), 0));
}

// Both lanes of a pair advanced by one jump (given as Mul and Add broadcast).
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
