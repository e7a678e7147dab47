// The modulator for processors with AVX2, chosen at run time: a wide vector holds two frames.
// Rounding uses the processor's own round-to-nearest-even instruction, which is rint for every
// double, so the loops check no range.
#include "core/uModulatorKernel.h"

#include <emmintrin.h>
#include <immintrin.h>

// From here on the compiler writes AVX2 code. The headers above stay outside: what they define
// inline is shared with the files for processors without AVX2.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "core/uModulatorSimd.h"

namespace {

struct TAvx2Lanes {
  using TWide = __m256d;
  static constexpr int kFrames = 2;
  static constexpr bool kRoundsEveryValue = true;

  static __m256d Splat(double x) { return _mm256_set1_pd(x); }
  static __m128d Rint(__m128d t) {
    return _mm_round_pd(t, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  }
  static __m256d Rint(__m256d t) {
    return _mm256_round_pd(t, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  }

  static __m256d LoadFrames(const TFrameSpan& f, int32_t i, int n) {
    if (n == 1) {
      const __m128d x = LoadFrame(f, i);
      return _mm256_set_m128d(x, x);
    }
    const __m128 x0 =
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(f.In0 + i)));
    const __m128 x1 =
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(f.In1 + i)));
    return _mm256_cvtps_pd(ZeroNonFinite(_mm_unpacklo_ps(x0, x1)));
  }
  static void LoadFrames(const TFrameSpan& f, int32_t i, __m256d& x01, __m256d& x23) {
    const __m128 x0 = ZeroNonFinite(_mm_loadu_ps(f.In0 + i));
    const __m128 x1 = ZeroNonFinite(_mm_loadu_ps(f.In1 + i));
    x01 = _mm256_cvtps_pd(_mm_unpacklo_ps(x0, x1));
    x23 = _mm256_cvtps_pd(_mm_unpackhi_ps(x0, x1));
  }
  static void StoreFrames(const TFrameSpan& f, int32_t i, int n, __m256d y) {
    if (n == 1) {
      StoreFrame(f, i, _mm256_castpd256_pd128(y));
      return;
    }
    // [frame i ch 0, ch 1, frame i + 1 ch 0, ch 1] -> [i ch 0, i + 1 ch 0, i ch 1, i + 1 ch 1]
    __m128 y32 = ZeroNonFinite(_mm256_cvtpd_ps(y));
    y32 = _mm_shuffle_ps(y32, y32, _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storel_pi(reinterpret_cast<__m64*>(f.Out0 + i), y32);
    _mm_storeh_pi(reinterpret_cast<__m64*>(f.Out1 + i), y32);
  }
  static void StoreFrames(const TFrameSpan& f, int32_t i, __m256d y01, __m256d y23) {
    const __m128 a = _mm256_cvtpd_ps(y01), b = _mm256_cvtpd_ps(y23);
    _mm_storeu_ps(f.Out0 + i, ZeroNonFinite(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))));
    _mm_storeu_ps(f.Out1 + i, ZeroNonFinite(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
  }
  static __m128d LastFrame(__m256d x, int n) {
    return n == 1 ? _mm256_castpd256_pd128(x) : _mm256_extractf128_pd(x, 1);
  }
  static __m256d FirstFrame(__m128d x) { return _mm256_set_m128d(_mm_setzero_pd(), x); }

  // Eight generator states in one register: the low half for the first wide vector, the high
  // half for the second.
  using TDraws = __m256i;
  struct TJumps {
    __m256i Mul, Add;
  };
  static TJumps Jumps(const TDrawLanes<2>& l) {
    return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(l.Mul)),
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(l.Add))};
  }
  static TJumps Jumps(TDitherJump j) {
    return {_mm256_set1_epi32(static_cast<int>(j.Mul)), _mm256_set1_epi32(static_cast<int>(j.Add))};
  }
  static __m256i Step(__m256i d, const TJumps& j) {
    return _mm256_add_epi32(_mm256_mullo_epi32(d, j.Mul), j.Add);
  }
  static __m256i Draws(uint32_t seed, const TJumps& j) {
    return Step(_mm256_set1_epi32(static_cast<int>(seed)), j);
  }
  static __m256d First(__m256i d, __m256d scale) {
    return _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(d)), scale);
  }
  static __m256d Second(__m256i d, __m256d scale) {
    return _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(d, 1)), scale);
  }
};

} // namespace

void ModulateFramesAvx2(const TFrameSpan& f, int32_t frames, int subSamples, bool feedback,
                        const TModulatorCoefficients& c, TModulatorState& s, uint32_t& seed) {
  ModulateFramesWith<TAvx2Lanes>(f, frames, subSamples, feedback, c, s, seed);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
