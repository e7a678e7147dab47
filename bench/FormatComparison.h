// What the benchmarks that compare a plug-in format with the VST 2 build share: the block both
// process, the VST 2 side of the comparison, the turns the two take per setting and the ratio of
// their median CPU times printed after the usual table.
#pragma once

#include "MedianReporter.h"
#include "core/uParameters.h"
#include "vst2/interface/DAEffectX.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace qlbench {

inline constexpr int32_t kFrames = 512;

// One stereo block of a fixed signal and room for the output.
struct TBlock {
  std::vector<float> In0, In1, Out0, Out1;
  TBlock() : In0(kFrames), In1(kFrames), Out0(kFrames), Out1(kFrames) {
    for (int32_t i = 0; i < kFrames; ++i) {
      In0[i] = static_cast<float>(0.7 * std::sin(0.031 * i));
      In1[i] = static_cast<float>(0.5 * std::sin(0.0071 * i + 1.0));
    }
  }
  float* Ins[2] = {In0.data(), In1.data()};
  float* Outs[2] = {Out0.data(), Out1.data()};
};

inline void* OpenLibrary(const char* path) {
  void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!h) std::fprintf(stderr, "benchmark: %s\n", dlerror());
  return h;
}

inline VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*,
                                       float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// The VST 2 library at `path` processing blocks at the real values `real`, as a host runs it.
inline void RunVst2Blocks(benchmark::State& state, const char* path, const float (&real)[ppCount]) {
  static void* library = OpenLibrary(path);
  using TEntry = AEffect* (*)(audioMasterCallback);
  const auto entry = library ? reinterpret_cast<TEntry>(dlsym(library, "main")) : nullptr;
  AEffect* e = entry ? entry(QuietHost) : nullptr;
  if (!e) {
    state.SkipWithError("no VST 2 effect");
    return;
  }
  for (int32_t i = 0; i < ppCount; ++i)
    e->setParameter(e, i, real[i] / kParameters[i].Max);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  TBlock b;
  for (auto _ : state) {
    e->processReplacing(e, b.Ins, b.Outs, kFrames);
    benchmark::DoNotOptimize(b.Out0.data());
    benchmark::ClobberMemory();
  }
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames);
}

// Registers the format's benchmark and the VST 2 one for every setting (an array of rows with
// a Name), taking turns so that both meet the machine in the same state, runs them and prints
// FORMAT/vst of the median CPU times per setting.
template <class TSetting, size_t N>
int CompareWithVst2(int argc, char** argv, const char* format,
                    void (*formatBenchmark)(benchmark::State&),
                    void (*vst2Benchmark)(benchmark::State&), const TSetting (&settings)[N]) {
  static const std::string formatName = std::string("BM_") + format;
  static const char* label = format;
  static const TSetting* rows = settings;
  for (int64_t s = 0; s < static_cast<int64_t>(N); ++s) {
    benchmark::RegisterBenchmark(formatName.c_str(), formatBenchmark)->ArgName("setting")->Arg(s);
    benchmark::RegisterBenchmark("BM_Vst", vst2Benchmark)->ArgName("setting")->Arg(s);
  }
  class TRatioReporter : public TMedianReporter {
  public:
    void Finalize() override {
      std::printf("\n%s/vst, median CPU time per block of %d frames\n", label, kFrames);
      for (size_t s = 0; s < N; ++s) {
        const std::string setting = "setting:" + std::to_string(s);
        const double a = MedianOf(setting, formatName.c_str()), v = MedianOf(setting, "BM_Vst");
        if (a > 0.0 && v > 0.0)
          std::printf("  %-36s %s %10.1f ns  vst %10.1f ns  ratio %.3f\n", rows[s].Name, label, a,
                      v, a / v);
      }
      std::fflush(stdout);
    }
  };
  return RunBenchmarksReportedBy<TRatioReporter>(argc, argv);
}

} // namespace qlbench
