// Speed of the VST 3 bundle's process() against the VST 2 library's processReplacing, both loaded
// from the files this build ships, with the same settings and block. The VST 3 side runs as a
// host drives it: an empty parameter change list and empty event lists in and out with every
// block. Arguments: the setting (see kSettings). After the usual table the run prints the ratio
// vst3/vst2 of the median CPU times per setting.
#include "MedianReporter.h"
#include "core/uParameters.h"
#include "vst2/interface/DAEffectX.h"
#include "vst3/host/Vst3Host.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int32_t kFrames = 512;

struct TSetting {
  const char* Name;
  float Real[ppCount]; // oversampling, quantizer, dither, noise_shaper, error_filter
};
constexpr TSetting kSettings[] = {
    {"defaults", {1, 24, 0, 0, 0}},
    {"oversampling 8, feedback, dither", {8, 16, 1, 1, 0}},
};

struct TBlock {
  std::vector<float> In0, In1, Out0, Out1;
  TBlock() : In0(kFrames), In1(kFrames), Out0(kFrames), Out1(kFrames) {
    for (int32_t i = 0; i < kFrames; ++i) {
      In0[i] = static_cast<float>(0.7 * std::sin(0.031 * i));
      In1[i] = static_cast<float>(0.5 * std::sin(0.0071 * i + 1.0));
    }
  }
};

void BM_Vst3(benchmark::State& state) {
  static vst3host::TModule module(QL_VST3_BUNDLE);
  vst3host::TInstance fx(module);
  if (!fx.Valid() || !fx.Start(kFrames)) {
    state.SkipWithError(("no VST 3 instance: " + module.Error()).c_str());
    return;
  }
  TBlock b;
  float* ins[] = {b.In0.data(), b.In1.data()};
  float* outs[] = {b.Out0.data(), b.Out1.data()};
  vst3host::TParamChanges first;
  for (int32_t i = 0; i < ppCount; ++i)
    first.Add(static_cast<vst3::ParamID>(i), 0,
              kSettings[state.range(0)].Real[i] / kParameters[i].Max);
  fx.Process(ins, outs, kFrames, &first);
  vst3host::TParamChanges none;
  vst3host::TEventList in, out;
  for (auto _ : state) {
    fx.Process(ins, outs, kFrames, &none, &in, &out);
    benchmark::DoNotOptimize(b.Out0.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames);
}

VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

void BM_Vst2(benchmark::State& state) {
  static void* library = dlopen(QL_VST_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  using TEntry = AEffect* (*)(audioMasterCallback);
  const auto entry = library ? reinterpret_cast<TEntry>(dlsym(library, "main")) : nullptr;
  AEffect* e = entry ? entry(QuietHost) : nullptr;
  if (!e) {
    state.SkipWithError("no VST 2 effect");
    return;
  }
  for (int32_t i = 0; i < ppCount; ++i)
    e->setParameter(e, i, kSettings[state.range(0)].Real[i] / kParameters[i].Max);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  TBlock b;
  float* ins[] = {b.In0.data(), b.In1.data()};
  float* outs[] = {b.Out0.data(), b.Out1.data()};
  for (auto _ : state) {
    e->processReplacing(e, ins, outs, kFrames);
    benchmark::DoNotOptimize(b.Out0.data());
    benchmark::ClobberMemory();
  }
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames);
}

// The console table, then vst3/vst2 of the median CPU times per setting.
class TRatioReporter : public TMedianReporter {
public:
  void Finalize() override {
    std::printf("\nvst3/vst2, median CPU time per block of %d frames\n", kFrames);
    for (size_t s = 0; s < std::size(kSettings); ++s) {
      const std::string setting = "setting:" + std::to_string(s);
      const double v3 = MedianOf(setting, "BM_Vst3"), v2 = MedianOf(setting, "BM_Vst2");
      if (v3 > 0.0 && v2 > 0.0)
        std::printf("  %-36s vst3 %10.1f ns  vst2 %10.1f ns  ratio %.3f\n", kSettings[s].Name, v3,
                    v2, v3 / v2);
    }
    std::fflush(stdout);
  }
};

} // namespace

int main(int argc, char** argv) {
  // The two formats take turns per setting, so that both meet the machine in the same state.
  for (int64_t s = 0; s < static_cast<int64_t>(std::size(kSettings)); ++s) {
    benchmark::RegisterBenchmark("BM_Vst3", BM_Vst3)->ArgName("setting")->Arg(s);
    benchmark::RegisterBenchmark("BM_Vst2", BM_Vst2)->ArgName("setting")->Arg(s);
  }
  return RunBenchmarksReportedBy<TRatioReporter>(argc, argv);
}
