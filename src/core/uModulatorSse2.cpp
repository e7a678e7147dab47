// The modulator on plain SSE2, the baseline of every x86 build: a wide vector is one frame.
//
// Rounding to an integer uses (t + 1.5 * 2^52) - 1.5 * 2^52, which is rint(t) for |t| <= 2^51
// under round-to-nearest (apart from the sign of a zero result, which the following k * R - 1
// cannot show). The loops check that range, and a frame that left it runs again through the
// exact loop from the memories it started with.
#include "core/uModulatorSimd.h"

namespace {

struct TSse2Lanes {
  using TWide = __m128d;
  static constexpr int kFrames = 1;
  static constexpr bool kRoundsEveryValue = false;
  static constexpr double kRoundLimit = 2251799813685248.0; // 2^51

  static __m128d Splat(double x) { return _mm_set1_pd(x); }
  static __m128d Rint(__m128d t) {
    const __m128d magic = _mm_set1_pd(6755399441055744.0); // 1.5 * 2^52
    return _mm_sub_pd(_mm_add_pd(t, magic), magic);
  }
  static bool Within(__m128d limit, __m128d a) {
    return _mm_movemask_pd(WithinMask(limit, a)) == 3;
  }
  static bool Within(__m128d limit, __m128d a, __m128d b) {
    return _mm_movemask_pd(_mm_and_pd(WithinMask(limit, a), WithinMask(limit, b))) == 3;
  }

  static __m128d LoadFrames(const TFrameSpan& f, int32_t i, int) { return LoadFrame(f, i); }
  static void LoadFrames(const TFrameSpan& f, int32_t i, __m128d& x0, __m128d& x1) {
    x0 = LoadFrame(f, i);
    x1 = LoadFrame(f, i + 1);
  }
  static void StoreFrames(const TFrameSpan& f, int32_t i, int, __m128d y) { StoreFrame(f, i, y); }
  static void StoreFrames(const TFrameSpan& f, int32_t i, __m128d y0, __m128d y1) {
    // [frame i ch 0, ch 1, frame i + 1 ch 0, ch 1] -> [i ch 0, i + 1 ch 0, i ch 1, i + 1 ch 1]
    __m128 y = ZeroNonFinite(_mm_movelh_ps(_mm_cvtpd_ps(y0), _mm_cvtpd_ps(y1)));
    y = _mm_shuffle_ps(y, y, _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storel_pi(reinterpret_cast<__m64*>(f.Out0 + i), y);
    _mm_storeh_pi(reinterpret_cast<__m64*>(f.Out1 + i), y);
  }
  static __m128d LastFrame(__m128d x, int) { return x; }
  static __m128d FirstFrame(__m128d x) { return x; }

  // One generator pair (see DrawPair) for each wide vector.
  struct TDraws {
    __m128i First, Second;
  };
  struct TJumps {
    TDraws Mul, Add;
  };
  static TJumps Jumps(const TDrawLanes<1>& l) {
    const auto pair = [](uint32_t a, uint32_t b) {
      return _mm_setr_epi32(static_cast<int>(a), 0, static_cast<int>(b), 0);
    };
    return {{pair(l.Mul[0], l.Mul[1]), pair(l.Mul[2], l.Mul[3])},
            {pair(l.Add[0], l.Add[1]), pair(l.Add[2], l.Add[3])}};
  }
  static TJumps Jumps(TDitherJump j) {
    const __m128i mul = _mm_set1_epi32(static_cast<int>(j.Mul));
    const __m128i add = _mm_set1_epi32(static_cast<int>(j.Add));
    return {{mul, mul}, {add, add}};
  }
  static TDraws Step(TDraws d, const TJumps& j) {
    return {StepPair(d.First, j.Mul.First, j.Add.First),
            StepPair(d.Second, j.Mul.Second, j.Add.Second)};
  }
  static TDraws Draws(uint32_t seed, const TJumps& j) {
    const __m128i s = _mm_set1_epi32(static_cast<int>(seed));
    return Step({s, s}, j);
  }
  static __m128d First(TDraws d, __m128d scale) { return PairDraws(d.First, scale); }
  static __m128d Second(TDraws d, __m128d scale) { return PairDraws(d.Second, scale); }
};

} // namespace

void ModulateFramesSse2(const TFrameSpan& f, int32_t frames, int subSamples, bool feedback,
                        const TModulatorCoefficients& c, TModulatorState& s, uint32_t& seed) {
  ModulateFramesWith<TSse2Lanes>(f, frames, subSamples, feedback, c, s, seed);
}
