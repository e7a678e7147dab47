// SSE2 helpers shared by the vectorised loops of the modulator: frame loads and stores with the
// non-finite guard, the state write-back and the generator lanes.
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

// Both input samples of frame i, widened; a sample that is not finite becomes 0.0.
inline __m128d LoadFrame(const TFrameSpan& f, int32_t i) {
  return _mm_cvtps_pd(
      ZeroNonFinite(_mm_unpacklo_ps(_mm_load_ss(f.In0 + i), _mm_load_ss(f.In1 + i))));
}

// Gain * sum rounded to float on both channels; a result that is not finite becomes 0.0.
inline void StoreFrame(const TFrameSpan& f, int32_t i, __m128d gain, __m128d sum) {
  const __m128 y = ZeroNonFinite(_mm_cvtpd_ps(_mm_mul_pd(gain, sum)));
  _mm_store_ss(f.Out0 + i, y);
  _mm_store_ss(f.Out1 + i, _mm_shuffle_ps(y, y, _MM_SHUFFLE(1, 1, 1, 1)));
}

// The low 32 bits of a * b in each 32-bit lane; bOdd holds b's odd lanes shifted down.
inline __m128i MulLo32(__m128i a, __m128i b, __m128i bOdd) {
  const __m128i even = _mm_mul_epu32(a, b);
  const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), bOdd);
  return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                            _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

inline __m128i Lanes(const uint32_t (&v)[4]) {
  return _mm_setr_epi32(static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                        static_cast<int>(v[3]));
}

inline void StoreState(TModulatorState& s, __m128d in, __m128d out, __m128d error) {
  _mm_storeu_pd(s.QuantizerIn, in);
  _mm_storeu_pd(s.QuantizerOut, out);
  _mm_storeu_pd(s.Error, error);
  _mm_storeu_pd(s.Sum, _mm_setzero_pd());
}
