#include "ModulatorReference.h"
#include "core/uModulator.h"
#include "core/uModulatorKernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

namespace {

// DitherSeed is constant-initialised, so this sees its value from before any code ran.
const uint32_t kSeedAtLoad = DitherSeed.load();

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

uint64_t Bits(double x) {
  uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}
uint32_t Bits(float x) {
  uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}
bool SameDouble(double a, double b) {
  return Bits(a) == Bits(b) || (a != a && b != b);
}

// --- Generator -----------------------------------------------------------------------------

TEST(DitherGenerator, StartsAtItsLoadValueWithTheKnownDraws) {
  EXPECT_EQ(kSeedAtLoad, 17011980u);
  DitherSeed = kSeedAtLoad;
  const double expected[] = {-0.10040132771246135, 0.4312735912390053, -0.11533337947912514,
                             0.014663392677903175};
  for (double e : expected)
    EXPECT_EQ(DitherRandom(), e);
}

TEST(DitherGenerator, ReserveAndJumpMatchSingleDraws) {
  for (uint32_t k : {0u, 1u, 2u, 3u, 255u, 1000u, 65536u}) {
    DitherSeed = 12345u + k;
    uint32_t expected = DitherSeed;
    for (uint32_t i = 0; i < k; ++i)
      expected = expected * 134775813u + 1u;
    EXPECT_EQ(DitherJump(12345u + k, k), expected) << k;
    EXPECT_EQ(DitherReserve(k), 12345u + k) << k;
    EXPECT_EQ(DitherSeed.load(), expected) << k;
  }
  // The period is 2^32: a full turn comes back, one step short of it goes back by one.
  const uint32_t s = 987654321u;
  EXPECT_EQ(DitherJump(DitherJump(s, 0x80000000u), 0x80000000u), s);
  EXPECT_EQ(DitherJump(DitherJump(s, 0xFFFFFFFFu), 1u), s);
}

TEST(DitherGenerator, ConcurrentDrawsLoseNoStep) {
  constexpr int kThreads = 4, kRounds = 2000;
  DitherSeed = 1u;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kRounds; ++i) {
        if (t % 2)
          DitherReserve(7);
        else
          DitherRandom();
      }
    });
  for (auto& t : threads)
    t.join();
  const uint32_t steps = (kThreads / 2) * kRounds * 7 + (kThreads / 2) * kRounds;
  EXPECT_EQ(DitherSeed.load(), DitherJump(1u, steps));
}

// --- Coefficient helpers -------------------------------------------------------------------

TEST(ModulatorCoefficients, LevelsForWordLength) {
  const struct {
    int64_t b;
    double levels;
  } cases[] = {{0, -1},
               {1, 1},
               {2, 3},
               {16, 65535},
               {24, 16777215},
               {30, 1073741823},
               {31, 2147483647},
               {32, -1},
               {33, 1},
               {-1, 2147483647},
               {std::numeric_limits<int64_t>::min(), -1},
               {std::numeric_limits<int64_t>::max(), 2147483647}};
  for (const auto& c : cases)
    EXPECT_EQ(LevelsForWordLength(c.b), c.levels) << c.b;
}

TEST(ModulatorCoefficients, GainIsZeroWhereTheFormulaHasNoFiniteValue) {
  const struct {
    int64_t bq, oq;
    double gain;
  } cases[] = {{24, 1, 47.0 / 48.0}, {16, 64, 0.01513671875},
               {1, 1, 0.5},          {1, 4, 0.125},
               {0, 1, 0.0},          {24, 0, 0.0},
               {0, 0, 0.0},          {-2, 2, 0.625}};
  for (const auto& c : cases)
    EXPECT_EQ(GainFor(c.bq, c.oq), c.gain) << c.bq << " " << c.oq;
}

TEST(ModulatorCoefficients, RoundHalfEven) {
  const struct {
    double x;
    int64_t n;
  } cases[] = {{2.5, 2},
               {3.5, 4},
               {-2.5, -2},
               {-3.5, -4},
               {-0.5, 0},
               {0.49999999999999994, 0},
               {127.5, 128},
               {24.4999, 24},
               {4503599627370497.0, 4503599627370497},
               {kNaN, 0},
               {1e300, std::numeric_limits<int64_t>::max()},
               {kInf, std::numeric_limits<int64_t>::max()},
               {-1e300, std::numeric_limits<int64_t>::min()},
               {-9223372036854775808.0, std::numeric_limits<int64_t>::min()}};
  for (const auto& c : cases)
    EXPECT_EQ(RoundHalfEven(c.x), c.n) << c.x;
}

// --- Quantiser and block values ------------------------------------------------------------

TEST(ModulatorQuantize, TwoBitWordGivesFourSteps) {
  const double invThree = 1.0 / 3.0;
  const struct {
    double u, out;
  } cases[] = {{-1.0, -1.0}, {-0.4, 1 * invThree * 2 - 1}, {0.4, 2 * invThree * 2 - 1}, {1.0, 1.0}};
  for (const auto& c : cases) {
    double out[2];
    Quantize(c.u, c.u, 3, invThree, 0, out);
    EXPECT_EQ(out[0], c.out) << c.u;
    EXPECT_EQ(out[1], c.out) << c.u;
  }
}

// Runs one block of constant inputs on each channel and returns the outputs.
struct TStereo {
  std::vector<float> Left, Right;
};
TStereo RunConstant(float in0, float in1, int32_t frames, int m, bool feedback,
                    const TModulatorCoefficients& c, TModulatorState& s) {
  std::vector<float> i0(frames, in0), i1(frames, in1);
  TStereo out{std::vector<float>(frames), std::vector<float>(frames)};
  const float* in[2] = {i0.data(), i1.data()};
  float* o[2] = {out.Left.data(), out.Right.data()};
  ModulateBlock(in, o, frames, m, feedback, c, s);
  return out;
}

TEST(ModulatorBlock, KnownSampleValues) {
  const TModulatorCoefficients defaults{16777215, 1.0 / 16777215, 0, 47.0 / 48.0};
  const TModulatorCoefficients oneBit{1, 1, 0, 0.5};
  const TModulatorCoefficients oneBitBy4{1, 1, 0, 0.125};
  const struct {
    const char* name;
    TModulatorCoefficients c;
    int m;
    bool feedback;
    float in0, in1;
    std::vector<float> out0, out1;
  } cases[] = {
      {"defaults on silence",
       defaults,
       1,
       false,
       0.0f,
       0.0f,
       {5.836288607952156e-08f},
       {5.836288607952156e-08f}},
      {"one bit, 0.3 and -0.3", oneBit, 1, false, 0.3f, -0.3f, {0.5f}, {-0.5f}},
      {"one bit, halfway goes to the even step", oneBit, 1, false, 0.0f, 0.0f, {-0.5f}, {-0.5f}},
      {"one bit with feedback",
       oneBit,
       1,
       true,
       0.5f,
       0.0f,
       {0.5f, -0.5f, 0.5f, 0.5f, 0.5f, -0.5f, 0.5f, 0.5f},
       {-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f}},
      {"one bit with feedback, four sub-samples",
       oneBitBy4,
       4,
       true,
       0.5f,
       0.0f,
       {0.25f, 0.25f, 0.25f, 0.25f},
       {0.0f, 0.0f, 0.0f, 0.0f}},
  };
  for (const auto& k : cases) {
    TModulatorState s{};
    const int32_t frames = static_cast<int32_t>(k.out0.size());
    const TStereo out = RunConstant(k.in0, k.in1, frames, k.m, k.feedback, k.c, s);
    EXPECT_EQ(out.Left, k.out0) << k.name;
    EXPECT_EQ(out.Right, k.out1) << k.name;
  }
}

TEST(ModulatorBlock, FirstDitheredSubSampleInAFreshGenerator) {
  DitherSeed = kSeedAtLoad;
  TModulatorState s{};
  const TStereo out = RunConstant(0.0f, 0.0f, 1, 1, false, {1, 1, 1, 0.5}, s);
  EXPECT_EQ(out.Left[0], 0.5f);
  EXPECT_EQ(out.Right[0], -0.5f);
  EXPECT_EQ(DitherSeed.load(), DitherJump(kSeedAtLoad, 2));
}

TEST(ModulatorBlock, NoSubSamplesOrNoFramesLeaveMemoriesAndGenerator) {
  const TModulatorState before{{0.1, 0.2}, {0.3, 0.4}, {0.01, -0.02}, {0, 0}};
  for (int m : {0, -3}) {
    DitherSeed = 42u;
    TModulatorState s = before;
    const TStereo out = RunConstant(0.7f, -0.7f, 5, m, true, {255, 1.0 / 255, 1, -0.75}, s);
    EXPECT_EQ(out.Left, std::vector<float>(5, -0.0f));
    EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
    EXPECT_EQ(DitherSeed.load(), 42u);
  }
  float guard[2] = {9.0f, 9.0f};
  const float in0 = 0.5f;
  const float* in[2] = {&in0, &in0};
  float* out[2] = {&guard[0], &guard[1]};
  TModulatorState s = before;
  for (int32_t frames : {0, -1, std::numeric_limits<int32_t>::min()})
    ModulateBlock(in, out, frames, 4, true, {255, 1.0 / 255, 1, 1}, s);
  EXPECT_EQ(guard[0], 9.0f);
  EXPECT_EQ(guard[1], 9.0f);
  EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
  EXPECT_EQ(DitherSeed.load(), 42u);
}

// A non-finite sample must not poison the loop: it counts as silence, and the error memory and
// the outputs stay finite, also where huge coefficients overflow inside the quantiser.
TEST(ModulatorBlock, NonFiniteValuesNeverReachMemoryOrOutput) {
  const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity()};
  const TModulatorCoefficients c{65535, 1.0 / 65535, 1, GainFor(16, 2)};
  for (float b : bad) {
    DitherSeed = 7u;
    TModulatorState s{};
    const TStereo got = RunConstant(b, 0.25f, 16, 2, true, c, s);
    DitherSeed = 7u;
    TModulatorState z{};
    const TStereo zero = RunConstant(0.0f, 0.25f, 16, 2, true, c, z);
    EXPECT_EQ(got.Left, zero.Left);
    EXPECT_EQ(got.Right, zero.Right);
    EXPECT_EQ(std::memcmp(&s, &z, sizeof s), 0);
  }
  const struct {
    const char* name;
    TModulatorCoefficients c;
    float in;
  } overflow[] = {{"huge levels", {1e300, 1e-300, 0, 0.5}, 3e38f},
                  {"huge dither", {1, 1, 1e308, 0.5}, 0.1f},
                  {"huge gain", {65535, 1.0 / 65535, 0, 1e300}, 0.5f}};
  for (const auto& k : overflow) {
    TModulatorState s{};
    const TStereo got = RunConstant(k.in, -k.in, 32, 3, true, k.c, s);
    for (int32_t i = 0; i < 32; ++i) {
      EXPECT_TRUE(std::isfinite(got.Left[i]) && std::isfinite(got.Right[i])) << k.name << i;
    }
    EXPECT_TRUE(std::isfinite(s.Error[0]) && std::isfinite(s.Error[1])) << k.name;
  }
}

// --- Bit identity with the plain reference --------------------------------------------------

// Input values that stress the rounding: ordinary, halfway, outside the range, near the limits
// of exact rounding for the widest words, denormal, huge and non-finite.
float PickInput(std::mt19937& rng) {
  static const float special[] = {0.0f,
                                  -0.0f,
                                  1.0f,
                                  -1.0f,
                                  0.5f,
                                  -0.5f,
                                  1e-40f,
                                  -1e-45f,
                                  std::numeric_limits<float>::min(),
                                  3.0f,
                                  -7.5f,
                                  1e5f,
                                  1048576.0f,
                                  -2097152.0f,
                                  2097151.5f,
                                  4194304.0f,
                                  -8388607.0f,
                                  1e7f,
                                  3e38f,
                                  -3.4e38f,
                                  std::numeric_limits<float>::infinity(),
                                  -std::numeric_limits<float>::infinity(),
                                  std::numeric_limits<float>::quiet_NaN()};
  const uint32_t kind = rng() % 16;
  if (kind == 0) return special[rng() % (sizeof special / sizeof special[0])];
  std::uniform_real_distribution<float> u(kind == 1 ? -4.0f : -1.0f, kind == 1 ? 4.0f : 1.0f);
  return u(rng);
}

struct TBlockCase {
  TModulatorCoefficients C;
  int M;
  bool Feedback;
};

TBlockCase PickCase(std::mt19937& rng) {
  const int64_t b = rng() % 33;
  static const int ms[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 16, 31, 64, 127, 128};
  const int m = rng() % 3 ? ms[rng() % (sizeof ms / sizeof ms[0])] : static_cast<int>(rng() % 129);
  static const double dithers[] = {0.0, 1.0, 0.5, 0.25, 1.0 / 3.0, 0.999, 1.5, -0.7, 3.0};
  const double d =
      rng() % 2 ? dithers[rng() % (sizeof dithers / sizeof dithers[0])] : (rng() % 1000) / 999.0;
  const double levels = LevelsForWordLength(b);
  return {{levels, 1.0 / levels, d, GainFor(b, m)}, m, rng() % 2 == 0};
}

// Buffers with a misaligned start and a guard zone after each output.
struct TBlockBuffers {
  static constexpr int kGuard = 16;
  static constexpr float kGuardValue = 12345.0f;
  std::vector<float> In0, In1, Out0, Out1;
  int Offset;
  TBlockBuffers(int32_t frames, int offset)
      : In0(frames + offset), In1(frames + offset), Out0(frames + offset + kGuard, kGuardValue),
        Out1(frames + offset + kGuard, kGuardValue), Offset(offset) {}
  const float* In(int ch) const { return (ch ? In1 : In0).data() + Offset; }
  float* Out(int ch) { return (ch ? Out1 : Out0).data() + Offset; }
  bool GuardsIntact(int32_t frames) const {
    for (int g = 0; g < kGuard; ++g)
      if (Out0[Offset + frames + g] != kGuardValue || Out1[Offset + frames + g] != kGuardValue)
        return false;
    return true;
  }
};

// Runs the reference and `kernel` from the same generator state and memories over the same
// block and expects the same output bits, memories and generator state.
template <class TKernel>
void ExpectSameAsReference(const TBlockCase& k, const std::vector<float>& in0,
                           const std::vector<float>& in1, int offset, bool inPlace,
                           TModulatorState& refState, TModulatorState& state, TKernel kernel,
                           const std::string& what) {
  const int32_t frames = static_cast<int32_t>(in0.size());
  TBlockBuffers r(frames, offset), p(frames, offset);
  std::copy(in0.begin(), in0.end(), r.In0.begin() + offset);
  std::copy(in1.begin(), in1.end(), r.In1.begin() + offset);
  std::copy(in0.begin(), in0.end(), p.In0.begin() + offset);
  std::copy(in1.begin(), in1.end(), p.In1.begin() + offset);
  if (inPlace) {
    std::copy(in0.begin(), in0.end(), p.Out0.begin() + offset);
    std::copy(in1.begin(), in1.end(), p.Out1.begin() + offset);
  }
  const uint32_t seed = DitherSeed.load();
  const float* ri[2] = {r.In(0), r.In(1)};
  float* ro[2] = {r.Out(0), r.Out(1)};
  ref::ModulateBlock(ri, ro, frames, k.M, k.Feedback, k.C, refState);
  const uint32_t refSeed = DitherSeed.load();
  DitherSeed = seed;
  const float* pi[2] = {p.In(0), p.In(1)};
  if (inPlace) {
    pi[0] = p.Out(0);
    pi[1] = p.Out(1);
  }
  float* po[2] = {p.Out(0), p.Out(1)};
  kernel(pi, po, frames, k.M, k.Feedback, k.C, state);
  ASSERT_EQ(DitherSeed.load(), refSeed) << what;
  for (int32_t i = 0; i < frames; ++i) {
    ASSERT_EQ(Bits(po[0][i]), Bits(ro[0][i])) << what << " frame " << i;
    ASSERT_EQ(Bits(po[1][i]), Bits(ro[1][i])) << what << " frame " << i;
  }
  ASSERT_TRUE(p.GuardsIntact(frames)) << what;
  for (int ch = 0; ch < 2; ++ch) {
    ASSERT_TRUE(SameDouble(state.QuantizerIn[ch], refState.QuantizerIn[ch])) << what;
    ASSERT_TRUE(SameDouble(state.QuantizerOut[ch], refState.QuantizerOut[ch])) << what;
    ASSERT_EQ(Bits(state.Error[ch]), Bits(refState.Error[ch])) << what;
    ASSERT_EQ(Bits(state.Sum[ch]), Bits(refState.Sum[ch])) << what;
  }
}

const int32_t kBlockSizes[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   9,   10,  11,  12,
                               13, 14, 15, 16, 32, 63, 64, 65, 100, 512, 999, 1024};

// Every loop of the kernel this processor can run, and the dispatching entry.
struct TVariant {
  const char* Name;
  TModulatorVariant Variant;
};
const TVariant kVariants[] = {{"dispatch", TModulatorVariant::Best},
                              {"exact", TModulatorVariant::Exact},
                              {"sse2", TModulatorVariant::Sse2},
                              {"avx2", TModulatorVariant::Avx2}};

class ModulatorIdentity : public ::testing::TestWithParam<TVariant> {
protected:
  void SetUp() override {
    if (!ModulatorVariantSupported(GetParam().Variant)) GTEST_SKIP() << "not on this processor";
  }
  void Run(const TBlockCase& k, const std::vector<float>& in0, const std::vector<float>& in1,
           int offset, bool inPlace, TModulatorState& refState, TModulatorState& state,
           const std::string& what) {
    const TModulatorVariant v = GetParam().Variant;
    ExpectSameAsReference(
        k, in0, in1, offset, inPlace, refState, state,
        [v](const float* const* i, float* const* o, int32_t n, int m, bool fb,
            const TModulatorCoefficients& c,
            TModulatorState& s) { ModulateBlockWith(v, i, o, n, m, fb, c, s); },
        what);
  }
};

TEST_P(ModulatorIdentity, RandomisedBlocksMatchTheReference) {
  std::mt19937 rng(20261210u);
  for (int round = 0; round < 3; ++round) {
    TModulatorState refState{}, state{};
    for (int32_t frames : kBlockSizes) {
      // Keep the sub-sample count moderate on the long blocks so the run stays short.
      TBlockCase k = PickCase(rng);
      if (frames >= 512 && k.M > 16) k.M = 1 + k.M % 16;
      std::vector<float> in0(frames), in1(frames);
      for (int32_t i = 0; i < frames; ++i) {
        in0[i] = PickInput(rng);
        in1[i] = PickInput(rng);
      }
      DitherSeed = rng();
      Run(k, in0, in1, static_cast<int>(rng() % 4), rng() % 4 == 0, refState, state,
          "round " + std::to_string(round) + " frames " + std::to_string(frames) + " m " +
              std::to_string(k.M) + " feedback " + std::to_string(k.Feedback));
      if (HasFatalFailure()) return;
    }
  }
}

// Coefficients no parameter produces, to drive the rare paths: huge and tiny steps and dither,
// steps so coarse that rounding happens beyond 2^51, and non-finite values.
TEST_P(ModulatorIdentity, OddCoefficientsMatchTheReference) {
  const double tiny = 4.9406564584124654e-324;
  const TModulatorCoefficients odd[] = {
      {2147483647, 1.0 / 2147483647, 1, 0.5}, // widest word, inputs up to 2^23 reach 2^53
      {2147483647, 1.0 / 2147483647, 0, 1.0},
      {-1, -1, 0.5, 0.5},
      {1e300, 1e-300, 1, 0.5},
      {tiny, 1e300, 1, 0.5},
      {255, tiny, 1, 0.5},
      {255, 1e308, 1, 0.5},
      {255, 1.0 / 255, tiny, 0.5},
      {255, 1.0 / 255, 1e300, 0.5},
      {255, 1.0 / 255, 1e15, 0.5},
      {255, 1.0 / 255, 1e17, 0.5},
      {0, 0, 1, 0.5},
      {kNaN, 1.0 / 255, 1, 0.5},
      {255, kInf, 1, 0.5},
      {255, 1.0 / 255, kInf, 0.5},
      {255, 1.0 / 255, 1, kNaN},
  };
  std::mt19937 rng(77u);
  int n = 0;
  for (const auto& c : odd) {
    for (bool feedback : {false, true}) {
      for (int m : {1, 3, 8}) {
        TModulatorState refState{}, state{};
        // Short blocks expose the memories often; float outputs hide low bits of large values.
        for (int32_t frames : {1, 2, 1, 3, 7, 1, 64, 1}) {
          std::vector<float> in0(frames), in1(frames);
          for (int32_t i = 0; i < frames; ++i) {
            static const float scales[] = {1.0f, 4194304.0f, 1e30f};
            in0[i] = PickInput(rng) * scales[rng() % 3];
            in1[i] = PickInput(rng);
          }
          DitherSeed = rng();
          Run({c, m, feedback}, in0, in1, 1, false, refState, state,
              "odd case " + std::to_string(n) + " feedback " + std::to_string(feedback) + " m " +
                  std::to_string(m) + " frames " + std::to_string(frames));
          if (HasFatalFailure()) return;
        }
      }
    }
    ++n;
  }
}

// With the widest word the quantiser's values reach 2^51..2^54, where rounding to an integer
// needs care on both signs. Float outputs hide the low bits of such values, so every block is two
// frames long and the memories after it show the last frame's quantiser values.
TEST_P(ModulatorIdentity, RoundingFarFromZeroMatchesTheReference) {
  std::vector<float> values;
  for (int e = 19; e <= 23; ++e)
    for (int k = 0; k < 16; ++k)
      for (float sign : {1.0f, -1.0f})
        values.push_back(sign * std::ldexp(1.0f + k / 16.0f, e));
  for (double d : {0.0, 1.0}) {
    const TModulatorCoefficients c{2147483647, 1.0 / 2147483647, d, 0.5};
    for (bool feedback : {false, true}) {
      for (int m : {1, 2, 3}) {
        TModulatorState refState{}, state{};
        DitherSeed = 3u;
        for (size_t v = 1; v < values.size(); ++v) {
          Run({c, m, feedback}, {values[v - 1], values[v]}, {-values[v], values[v - 1]}, 0, false,
              refState, state,
              "value " + std::to_string(values[v]) + " dither " + std::to_string(d) + " feedback " +
                  std::to_string(feedback) + " m " + std::to_string(m));
          if (HasFatalFailure()) return;
        }
      }
    }
  }
}

// Feedback switched between blocks: the first sub-sample after switching off still subtracts the
// error left behind, and memories from an earlier block carry into the next one.
TEST_P(ModulatorIdentity, StateCarriesAcrossBlocksAndSwitching) {
  std::mt19937 rng(5u);
  TModulatorState refState{}, state{};
  DitherSeed = 99u;
  for (int block = 0; block < 24; ++block) {
    TBlockCase k = PickCase(rng);
    k.Feedback = (block / 2) % 2 == 0;
    const int32_t frames = 1 + static_cast<int32_t>(rng() % 40);
    std::vector<float> in0(frames), in1(frames);
    for (int32_t i = 0; i < frames; ++i) {
      in0[i] = PickInput(rng);
      in1[i] = PickInput(rng);
    }
    Run(k, in0, in1, 0, block % 3 == 0, refState, state, "block " + std::to_string(block));
    if (HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Loops, ModulatorIdentity, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
