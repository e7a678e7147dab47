// Speed of the CLAP plug-in's process against the VST 2 library's processReplacing, both loaded
// from the files this build ships, with the same settings and block. The CLAP side runs as a
// host drives it: empty event lists in and out, unless the setting asks for a parameter change
// at every 64th frame of the block (the split block then runs in eight parts). Arguments: the
// setting (see kSettings). After the usual table the run prints the ratio clap/vst of the median
// CPU times per setting.
#include "FormatComparison.h"
#include "clap/ClapDescription.h"
#include "clap/ClapInterface.h"
#include "vst2/interface/DAEffectX.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using qlbench::kFrames;
using qlbench::TBlock;
constexpr double kRate = 48000.0;

struct TSetting {
  const char* Name;
  float Real[ppCount]; // oversampling, quantizer, dither, noise_shaper, error_filter
  bool Changes;        // CLAP: the word length written again every 64 frames
};
constexpr TSetting kSettings[] = {
    {"defaults", {1, 24, 0, 0, 0}, false},
    {"oversampling 8, feedback, dither", {8, 16, 1, 1, 0}, false},
    {"the same, 8 changes in each block", {8, 16, 1, 1, 0}, true},
};

struct TEvents {
  std::vector<clap::event_param_value> Items;
  clap::input_events In{this,
                        [](const clap::input_events* l) {
                          return static_cast<uint32_t>(static_cast<TEvents*>(l->ctx)->Items.size());
                        },
                        [](const clap::input_events* l, uint32_t i) -> const clap::event_header* {
                          return &static_cast<TEvents*>(l->ctx)->Items[i].header;
                        }};
  clap::output_events Out{
      this, [](const clap::output_events*, const clap::event_header*) { return true; }};
  void Add(uint32_t time, int32_t index, double value) {
    clap::event_param_value e{};
    e.header = {sizeof(e), time, clap::kCoreEventSpace, clap::kEventParamValue, 0};
    e.param_id = clapq::ParamIdOf(index);
    e.note_id = -1;
    e.port_index = e.channel = e.key = -1;
    e.value = value;
    Items.push_back(e);
  }
};

void BM_Clap(benchmark::State& state) {
  static void* library = qlbench::OpenLibrary(QL_CLAP_PLUGIN);
  const auto* entry =
      library ? static_cast<const clap::plugin_entry*>(dlsym(library, "clap_entry")) : nullptr;
  if (!entry || !entry->init(QL_CLAP_PLUGIN)) {
    state.SkipWithError("no CLAP entry");
    return;
  }
  auto* factory =
      static_cast<const clap::plugin_factory*>(entry->get_factory(clap::kPluginFactoryId));
  clap::host host{clap::kVersion,
                  nullptr,
                  "bench",
                  "",
                  "",
                  "",
                  [](const clap::host*, const char*) -> const void* { return nullptr; },
                  [](const clap::host*) {},
                  [](const clap::host*) {},
                  [](const clap::host*) {}};
  const clap::plugin* p =
      factory
          ? factory->create_plugin(factory, &host, factory->get_plugin_descriptor(factory, 0)->id)
          : nullptr;
  if (!p || !p->init(p)) {
    state.SkipWithError("no CLAP plug-in");
    return;
  }
  const TSetting& setting = kSettings[state.range(0)];
  TEvents start, each;
  for (int32_t i = 0; i < ppCount; ++i)
    start.Add(0, i, setting.Real[i]);
  auto* params = static_cast<const clap::plugin_params*>(p->get_extension(p, clap::kExtParams));
  params->flush(p, &start.In, &start.Out);
  if (setting.Changes)
    for (uint32_t t = 0; t < kFrames; t += 64)
      each.Add(t, ppQuantizer, setting.Real[ppQuantizer]);
  p->activate(p, kRate, 1, kFrames);
  p->start_processing(p);
  TBlock b;
  float* ins[] = {b.In0.data(), b.In1.data()};
  float* outs[] = {b.Out0.data(), b.Out1.data()};
  clap::audio_buffer in{ins, nullptr, 2, 0, 0}, out{outs, nullptr, 2, 0, 0};
  clap::process pr{};
  pr.frames_count = kFrames;
  pr.audio_inputs = &in;
  pr.audio_outputs = &out;
  pr.audio_inputs_count = pr.audio_outputs_count = 1;
  pr.in_events = &each.In;
  pr.out_events = &each.Out;
  for (auto _ : state) {
    p->process(p, &pr);
    benchmark::DoNotOptimize(b.Out0.data());
    benchmark::ClobberMemory();
  }
  p->stop_processing(p);
  p->deactivate(p);
  p->destroy(p);
  entry->deinit();
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames);
}

void BM_Vst(benchmark::State& state) {
  qlbench::RunVst2Blocks(state, QL_VST_PLUGIN, kSettings[state.range(0)].Real);
}

} // namespace

int main(int argc, char** argv) {
  return qlbench::CompareWithVst2(argc, argv, "clap", BM_Clap, BM_Vst, kSettings);
}
