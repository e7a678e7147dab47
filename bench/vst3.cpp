// Speed of the VST 3 bundle's process() against the VST 2 library's processReplacing, both loaded
// from the files this build ships, with the same settings and block. The VST 3 side runs as a
// host drives it: an empty parameter change list and empty event lists in and out with every
// block. Arguments: the setting (see kSettings). After the usual table the run prints the ratio
// vst3/vst2 of the median CPU times per setting.
#include "FormatComparison.h"
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

using qlbench::kFrames;
using qlbench::TBlock;

struct TSetting {
  const char* Name;
  float Real[ppCount]; // oversampling, quantizer, dither, noise_shaper, error_filter
};
constexpr TSetting kSettings[] = {
    {"defaults", {1, 24, 0, 0, 0}},
    {"oversampling 8, feedback, dither", {8, 16, 1, 1, 0}},
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

void BM_Vst(benchmark::State& state) {
  qlbench::RunVst2Blocks(state, QL_VST_PLUGIN, kSettings[state.range(0)].Real);
}

} // namespace

int main(int argc, char** argv) {
  return qlbench::CompareWithVst2(argc, argv, "vst3", BM_Vst3, BM_Vst, kSettings);
}
