// Speed of the modulator kernel against its plain reference and against the dependency chain
// that bit identity leaves in each mode, measured alone:
//   feedback on:  error -> quantiser -> error, one sub-sample after the other;
//   feedback off: the running sum of a frame's sub-samples, one dependent add per sub-sample.
// The effect's whole block (the host's processing call with the parameter reads and everything
// derived from them before the kernel runs) against the kernel alone shows what a block costs
// beyond the kernel.
// Arguments of every benchmark: feedback (0/1), sub-samples per frame. After the usual table the
// run prints, for every setting, the kernel's median time over its chain's and over the
// reference's, all medians of the same run.
#include "MedianReporter.h"
#include "ModulatorReference.h"
#include "core/uModulator.h"
#include "core/uModulatorKernel.h"
#include "vst2/plugin/uPlugin.h"

#include <benchmark/benchmark.h>

#include <immintrin.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t kFrames = 256; // a typical host block
constexpr int kRing = 1024;      // precomputed values for the chains, in the first-level cache

struct TFixture {
  std::vector<float> In0, In1, Out0, Out1;
  TModulatorCoefficients C;
  explicit TFixture(int m) : In0(kFrames), In1(kFrames), Out0(kFrames), Out1(kFrames) {
    std::mt19937 rng(1u);
    std::uniform_real_distribution<float> u(-0.9f, 0.9f);
    for (int32_t i = 0; i < kFrames; ++i) {
      In0[i] = u(rng);
      In1[i] = u(rng);
    }
    const double levels = LevelsForWordLength(16);
    C = {levels, 1.0 / levels, 1.0, GainFor(16, m)};
  }
};

void SetCounters(benchmark::State& state, int m) {
  const double subSamples = static_cast<double>(kFrames) * m;
  state.counters["ns_per_sub"] =
      benchmark::Counter(subSamples * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                benchmark::Counter::kInvert);
  for (int rate : {48000, 96000, 192000})
    state.counters["rtf_" + std::to_string(rate / 1000) + "k"] = benchmark::Counter(
        static_cast<double>(kFrames) / rate, benchmark::Counter::kIsIterationInvariantRate);
}

template <class TRun> void RunBlocks(benchmark::State& state, TRun run) {
  const bool feedback = state.range(0) != 0;
  const int m = static_cast<int>(state.range(1));
  TFixture fx(m);
  TModulatorState s{};
  const float* in[2] = {fx.In0.data(), fx.In1.data()};
  float* out[2] = {fx.Out0.data(), fx.Out1.data()};
  for (auto _ : state) {
    run(in, out, kFrames, m, feedback, fx.C, s);
    benchmark::DoNotOptimize(fx.Out0.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state, m);
}

void BM_Kernel(benchmark::State& state) {
  RunBlocks(state, [](const float* const* i, float* const* o, int32_t n, int m, bool fb,
                      const TModulatorCoefficients& c,
                      TModulatorState& s) { ModulateBlock(i, o, n, m, fb, c, s); });
}

void BM_KernelSse2(benchmark::State& state) {
  RunBlocks(state, [](const float* const* i, float* const* o, int32_t n, int m, bool fb,
                      const TModulatorCoefficients& c, TModulatorState& s) {
    ModulateBlockWith(TModulatorVariant::Sse2, i, o, n, m, fb, c, s);
  });
}

void BM_Reference(benchmark::State& state) {
  RunBlocks(state, [](const float* const* i, float* const* o, int32_t n, int m, bool fb,
                      const TModulatorCoefficients& c,
                      TModulatorState& s) { ref::ModulateBlock(i, o, n, m, fb, c, s); });
}

VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// The effect's block with the settings of TFixture, written as a host writes them.
void BM_Effect(benchmark::State& state) {
  const bool feedback = state.range(0) != 0;
  const int m = static_cast<int>(state.range(1));
  TFixture fx(m);
  AEffect* e = CreateQuantaloop(&QuietHost);
  e->setParameter(e, ppOversampling, static_cast<float>(m) / kParameters[ppOversampling].Max);
  e->setParameter(e, ppQuantizer, 16.0f / kParameters[ppQuantizer].Max);
  e->setParameter(e, ppDither, 1.0f);
  e->setParameter(e, ppNoiseShaper, feedback ? 1.0f : 0.0f);
  e->dispatcher(e, effSetBlockSize, 0, kFrames, nullptr, 0.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  float* in[2] = {fx.In0.data(), fx.In1.data()};
  float* out[2] = {fx.Out0.data(), fx.Out1.data()};
  for (auto _ : state) {
    e->processReplacing(e, in, out, kFrames);
    benchmark::DoNotOptimize(fx.Out0.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state, m);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

// Dither values (already scaled) or quantiser outputs for the chains, both channels per entry.
std::vector<double> RingValues(double scale) {
  std::mt19937 rng(2u);
  std::uniform_real_distribution<double> u(-0.5, 0.5);
  std::vector<double> v(2 * kRing);
  for (double& x : v)
    x = u(rng) * scale;
  return v;
}

// The feedback chain alone: exactly the operations between one error value and the next, with
// the dither precomputed. rint is the processor's rounding instruction (AVX2 loop) or the
// magic-number form (SSE2 loop).
template <bool kRoundInstruction>
__attribute__((target("avx2"))) void FeedbackChain(benchmark::State& state) {
  const int m = static_cast<int>(state.range(1));
  TFixture fx(m);
  const std::vector<double> ring = RingValues(1.0);
  const __m128d halfLevels = _mm_set1_pd(0.5 * fx.C.Levels);
  const __m128d twiceInv = _mm_set1_pd(2.0 * fx.C.InvLevels);
  const __m128d one = _mm_set1_pd(1.0);
  const __m128d magic = _mm_set1_pd(6755399441055744.0);
  __m128d error = _mm_setzero_pd();
  for (auto _ : state) {
    int r = 0;
    for (int32_t i = 0; i < kFrames; ++i) {
      const __m128d x =
          _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(&fx.In0[i]), _mm_load_ss(&fx.In1[i])));
      for (int j = 0; j < m; ++j, r = (r + 1) & (kRing - 1)) {
        const __m128d in = _mm_sub_pd(x, error);
        const __m128d t =
            _mm_add_pd(_mm_mul_pd(_mm_add_pd(in, one), halfLevels), _mm_loadu_pd(&ring[2 * r]));
        __m128d k;
        if constexpr (kRoundInstruction)
          k = _mm_round_pd(t, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        else
          k = _mm_sub_pd(_mm_add_pd(t, magic), magic);
        error = _mm_sub_pd(_mm_sub_pd(_mm_mul_pd(k, twiceInv), one), in);
      }
    }
    benchmark::DoNotOptimize(error);
  }
  SetCounters(state, m);
}

// The running-sum chain alone: m dependent adds per frame over precomputed quantiser outputs.
void SumChain(benchmark::State& state) {
  const int m = static_cast<int>(state.range(1));
  const std::vector<double> ring = RingValues(2.0);
  std::vector<double> sums(2 * kFrames);
  for (auto _ : state) {
    int r = 0;
    for (int32_t i = 0; i < kFrames; ++i) {
      __m128d sum = _mm_setzero_pd();
      for (int j = 0; j < m; ++j, r = (r + 1) & (kRing - 1))
        sum = _mm_add_pd(sum, _mm_loadu_pd(&ring[2 * r]));
      _mm_storeu_pd(&sums[2 * i], sum);
    }
    benchmark::DoNotOptimize(sums.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state, m);
}

bool BestIsAvx2() {
  return ModulatorVariantSupported(TModulatorVariant::Avx2);
}

// The chain of the loop that ModulateBlock picks on this processor.
void BM_Chain(benchmark::State& state) {
  if (state.range(0) == 0)
    SumChain(state);
  else if (BestIsAvx2())
    FeedbackChain<true>(state);
  else
    FeedbackChain<false>(state);
}

void BM_ChainSse2(benchmark::State& state) {
  if (state.range(0) != 0)
    FeedbackChain<false>(state);
  else
    SumChain(state);
}

void Cases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"fb", "m"});
  for (int fb : {0, 1})
    for (int m : {1, 8, 64, 128})
      b->Args({fb, m});
}

BENCHMARK(BM_Kernel)->Apply(Cases);
BENCHMARK(BM_Effect)->Apply(Cases);
BENCHMARK(BM_Chain)->Apply(Cases);
BENCHMARK(BM_KernelSse2)->Apply(Cases);
BENCHMARK(BM_ChainSse2)->Apply(Cases);
BENCHMARK(BM_Reference)->Apply(Cases);

// The console table, then the ratios of the medians per setting.
class TRatioReporter : public TMedianReporter {
public:
  void Finalize() override {
    // Columns: numerator and denominator benchmark of each ratio.
    struct TColumn {
      const char* Title;
      const char* Kernel;
      const char* Base;
    };
    static constexpr TColumn kColumns[] = {
        {"kernel/chain", "BM_Kernel", "BM_Chain"},
        {"kernel/reference", "BM_Kernel", "BM_Reference"},
        {"sse2/chain", "BM_KernelSse2", "BM_ChainSse2"},
        {"sse2/reference", "BM_KernelSse2", "BM_Reference"},
        {"effect/kernel", "BM_Effect", "BM_Kernel"},
    };
    std::FILE* out = stdout;
    std::fprintf(out,
                 "\nRatios of median CPU times (kernel: the loop ModulateBlock picks, %s here)\n",
                 BestIsAvx2() ? "AVX2" : "SSE2");
    std::fprintf(out, "%-12s", "setting");
    for (const TColumn& c : kColumns)
      std::fprintf(out, " %17s", c.Title);
    std::fprintf(out, "\n");
    for (const std::string& setting : Settings()) {
      std::fprintf(out, "%-12s", setting.c_str());
      for (const TColumn& c : kColumns) {
        const double k = MedianOf(setting, c.Kernel), b = MedianOf(setting, c.Base);
        if (k > 0.0 && b > 0.0)
          std::fprintf(out, " %17.3f", k / b);
        else
          std::fprintf(out, " %17s", "-");
      }
      std::fprintf(out, "\n");
    }
    std::fflush(out);
  }
};

} // namespace

int main(int argc, char** argv) {
  return RunBenchmarksReportedBy<TRatioReporter>(argc, argv);
}
