// Speed of the LV2 plug-in's run() against the VST 2 library's processReplacing, both loaded from
// the files this build ships, with the same settings and block. The LV2 side runs as a MIDI host
// drives it: with urid:map and empty sequences on its MIDI ports, the output offered anew before
// every block. Arguments: the setting (see kSettings). After the usual table the run prints the
// ratio lv2/vst of the median CPU times per setting.
#include "FormatComparison.h"
#include "lv2/Lv2Description.h"
#include "vst2/interface/DAEffectX.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace lv2q;

using qlbench::kFrames;
using qlbench::TBlock;
constexpr double kRate = 48000.0;

struct TSetting {
  const char* Name;
  float Real[ppCount]; // oversampling, quantizer, dither, noise_shaper, error_filter
};
constexpr TSetting kSettings[] = {
    {"defaults", {1, 24, 0, 0, 0}},
    {"oversampling 8, feedback, dither", {8, 16, 1, 1, 0}},
};

// A urid:map for the LV2 side.
struct TUridMap {
  std::vector<std::string> Uris;
  static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
    auto& m = *static_cast<TUridMap*>(handle);
    const auto it = std::find(m.Uris.begin(), m.Uris.end(), uri);
    if (it != m.Uris.end()) return static_cast<LV2_URID>(it - m.Uris.begin() + 1);
    m.Uris.emplace_back(uri);
    return static_cast<LV2_URID>(m.Uris.size());
  }
};

void BM_Lv2(benchmark::State& state) {
  static void* library = qlbench::OpenLibrary(QL_LV2_DSP);
  using TEntry = const LV2_Descriptor* (*)(uint32_t);
  const auto entry = library ? reinterpret_cast<TEntry>(dlsym(library, "lv2_descriptor")) : nullptr;
  const LV2_Descriptor* d = entry ? entry(0) : nullptr;
  if (!d) {
    state.SkipWithError("no LV2 descriptor");
    return;
  }
  TUridMap uris;
  LV2_URID_Map map{&uris, &TUridMap::Map};
  const LV2_Feature mapFeature{LV2_URID__map, &map};
  const LV2_Feature* features[] = {&mapFeature, nullptr};
  LV2_Handle h = d->instantiate(d, kRate, "", features);
  if (!h) {
    state.SkipWithError("instantiate failed");
    return;
  }
  TBlock b;
  float control[ppCount];
  std::memcpy(control, kSettings[state.range(0)].Real, sizeof(control));
  for (int32_t i = 0; i < ppCount; ++i)
    d->connect_port(h, ControlPortOf(i), &control[i]);
  d->connect_port(h, kAudioIn0, b.In0.data());
  d->connect_port(h, kAudioIn0 + 1, b.In1.data());
  d->connect_port(h, kAudioOut0, b.Out0.data());
  d->connect_port(h, kAudioOut0 + 1, b.Out1.data());
  alignas(8) uint8_t in[64] = {}, out[1024] = {};
  auto* seqIn = reinterpret_cast<LV2_Atom_Sequence*>(in);
  auto* seqOut = reinterpret_cast<LV2_Atom_Sequence*>(out);
  seqIn->atom = {sizeof(LV2_Atom_Sequence_Body), TUridMap::Map(&uris, LV2_ATOM__Sequence)};
  const LV2_URID chunk = TUridMap::Map(&uris, LV2_ATOM__Chunk);
  d->connect_port(h, kMidiIn, seqIn);
  d->connect_port(h, kMidiOut, seqOut);
  d->activate(h);
  for (auto _ : state) {
    seqOut->atom = {sizeof(out) - sizeof(LV2_Atom), chunk};
    d->run(h, kFrames);
    benchmark::DoNotOptimize(b.Out0.data());
    benchmark::ClobberMemory();
  }
  d->deactivate(h);
  d->cleanup(h);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames);
}

void BM_Vst(benchmark::State& state) {
  qlbench::RunVst2Blocks(state, QL_VST_PLUGIN, kSettings[state.range(0)].Real);
}

} // namespace

int main(int argc, char** argv) {
  return qlbench::CompareWithVst2(argc, argv, "lv2", BM_Lv2, BM_Vst, kSettings);
}
