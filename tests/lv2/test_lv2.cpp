// The LV2 bundle as a host sees it: found and described through lilv, instantiated in-process,
// and held sample for sample against the VST 2 library of the same build.
#include "EffectRecord.h"
#include "PluginLibrary.h"
#include "RecordingHost.h"
#include "TestPaths.h"
#include "core/uPrograms.h"
#include "lv2/Lv2Description.h"

#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/presets/presets.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

using namespace lv2q;
using qltest::TPluginLibrary;
using qltest::TRecord;

namespace {

namespace fs = std::filesystem;

constexpr double kRate = 48000.0;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A urid:map of the test's own: URIs numbered from 1 in the order they are first asked for.
class TUridMap {
public:
  TUridMap() : Map{this, &TUridMap::MapUri}, Feature{LV2_URID__map, &Map} {}
  TUridMap(const TUridMap&) = delete;
  TUridMap& operator=(const TUridMap&) = delete;

  LV2_URID Of(const char* uri) {
    for (size_t i = 0; i < Uris.size(); ++i)
      if (Uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    Uris.emplace_back(uri);
    return static_cast<LV2_URID>(Uris.size());
  }

  LV2_URID_Map Map;
  LV2_Feature Feature;

private:
  static LV2_URID MapUri(LV2_URID_Map_Handle handle, const char* uri) {
    return static_cast<TUridMap*>(handle)->Of(uri);
  }
  std::vector<std::string> Uris;
};

// A lilv world that knows one bundle folder and nothing else.
class TBundle {
public:
  explicit TBundle(const std::string& dir) : Dir(dir), World(lilv_world_new()) {
    LilvNode* bundle = lilv_new_file_uri(World, nullptr, (dir + "/").c_str());
    lilv_world_load_bundle(World, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = Uri(kPluginUri);
    Plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(World), uri);
    lilv_node_free(uri);
  }
  ~TBundle() { lilv_world_free(World); }
  TBundle(const TBundle&) = delete;
  TBundle& operator=(const TBundle&) = delete;

  LilvNode* Uri(const char* uri) const { return lilv_new_uri(World, uri); }

  std::string Dir;
  LilvWorld* World;
  const LilvPlugin* Plugin = nullptr;
};

TBundle& BuiltBundle() {
  static TBundle bundle(QL_LV2_BUNDLE);
  return bundle;
}

// A private copy of the bundle in a world of its own: its DSP library loads anew, so its
// process-wide dither generator starts at the seed, as in a newly started host.
class TFreshBundle {
public:
  TFreshBundle() {
    static std::atomic<int> serial{0};
    Dir = fs::temp_directory_path() /
          ("ql-lv2-" + std::to_string(getpid()) + "-" + std::to_string(serial++)) / kBundleName;
    std::error_code ec;
    fs::create_directories(Dir, ec);
    for (const char* file : {kDspBinary, "manifest.ttl", "quantaloop.ttl", "presets.ttl"})
      fs::copy_file(fs::path(QL_LV2_BUNDLE) / file, Dir / file, ec);
    Bundle = std::make_unique<TBundle>(Dir.string());
  }
  ~TFreshBundle() {
    Bundle.reset();
    std::error_code ec;
    fs::remove_all(Dir.parent_path(), ec);
  }
  TFreshBundle(const TFreshBundle&) = delete;
  TFreshBundle& operator=(const TFreshBundle&) = delete;

  fs::path Dir;
  std::unique_ptr<TBundle> Bundle;
};

// One LV2 instance with its control ports connected to values of its own, at the defaults.
struct TLv2 {
  TLv2(const TBundle& bundle, const LV2_Feature* const* features) {
    Instance = lilv_plugin_instantiate(bundle.Plugin, kRate, features);
    if (!Instance) return;
    for (int32_t i = 0; i < ppCount; ++i) {
      Control[i] = DefaultReal(i);
      lilv_instance_connect_port(Instance, ControlPortOf(i), &Control[i]);
    }
    lilv_instance_activate(Instance);
  }
  ~TLv2() {
    if (!Instance) return;
    lilv_instance_deactivate(Instance);
    lilv_instance_free(Instance);
  }
  TLv2(const TLv2&) = delete;
  TLv2& operator=(const TLv2&) = delete;

  void Set(const float (&real)[ppCount]) { std::memcpy(Control, real, sizeof(Control)); }
  void Run(const float* const* in, float* const* out, uint32_t frames) {
    lilv_instance_connect_port(Instance, kAudioIn0, const_cast<float*>(in[0]));
    lilv_instance_connect_port(Instance, kAudioIn0 + 1, const_cast<float*>(in[1]));
    lilv_instance_connect_port(Instance, kAudioOut0, out[0]);
    lilv_instance_connect_port(Instance, kAudioOut0 + 1, out[1]);
    lilv_instance_run(Instance, frames);
  }

  LilvInstance* Instance = nullptr;
  float Control[ppCount];
};

VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// One VST 2 instance, switched on as a host does before it processes.
struct TVst : TRecord {
  explicit TVst(const TPluginLibrary& library, audioMasterCallback host = QuietHost)
      : TRecord{library.Entry("main") ? library.Entry("main")(host) : nullptr} {
    if (E) Dispatch(effMainsChanged, 0, 1);
  }
  ~TVst() {
    if (!E) return;
    Dispatch(effMainsChanged, 0, 0);
    Close();
  }
  TVst(const TVst&) = delete;
  TVst& operator=(const TVst&) = delete;

  // Real values as a host writes them: real / maximum, which the effect limits to 0..1.
  void Set(const float (&real)[ppCount]) const {
    for (int32_t i = 0; i < ppCount; ++i)
      TRecord::Set(i, real[i] / kParameters[i].Max);
  }
  float Real(int32_t i) const { return Get(i) * kParameters[i].Max; }
  void Run(float** in, float** out, uint32_t frames) const {
    Replace(in, out, static_cast<VstInt32>(frames));
  }
};

TPluginLibrary& VstLibrary() {
  static TPluginLibrary library(qltest::PluginPath());
  return library;
}

// Two channels of a deterministic test signal: tones of unrelated frequencies, a little
// pseudo-random noise, a stretch past full scale, and now and then a sample that is not finite
// or is subnormal.
const std::vector<float>& Signal(int channel) {
  static const auto signal = [] {
    constexpr size_t kFrames = size_t{1} << 16;
    std::array<std::vector<float>, 2> s{std::vector<float>(kFrames), std::vector<float>(kFrames)};
    uint32_t noise = 12345;
    for (size_t i = 0; i < kFrames; ++i) {
      const double t = static_cast<double>(i) / kRate;
      noise = noise * 1664525u + 1013904223u;
      const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.02;
      const double level = (i / 4096) % 5 == 3 ? 1.3 : 0.6;
      s[0][i] = static_cast<float>(level * std::sin(2 * M_PI * 441.3 * t) + n);
      s[1][i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 97.1 * t) +
                                   0.3 * std::sin(2 * M_PI * 3001.7 * t) - n);
    }
    for (size_t i = 777; i < kFrames; i += 9973) {
      s[0][i] = kNaN;
      s[1][i] = (i / 9973) % 2 ? kInf : -kInf;
      s[0][i + 1] = 1e-40f;
      s[1][i + 1] = -1e-41f;
    }
    return s;
  }();
  return signal[channel];
}

// The index of the first sample whose bits differ, or -1.
long FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::bit_cast<uint32_t>(a[i]) != std::bit_cast<uint32_t>(b[i])) return static_cast<long>(i);
  return -1;
}

// ---------------------------------------------------------------------------------------------
// What the bundle describes

struct Lv2Description : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(BuiltBundle().Plugin, nullptr) << "no " << kPluginUri << " in " << QL_LV2_BUNDLE;
    ASSERT_TRUE(VstLibrary().Loaded()) << qltest::PluginPath();
  }
  LilvNode* Node(const char* uri) {
    Nodes.emplace_back(BuiltBundle().Uri(uri), &lilv_node_free);
    return Nodes.back().get();
  }
  std::vector<std::unique_ptr<LilvNode, void (*)(LilvNode*)>> Nodes;
};

TEST_F(Lv2Description, PortsAgreeWithTheParametersAndTheVstBuild) {
  const LilvPlugin* plugin = BuiltBundle().Plugin;
  LilvWorld* world = BuiltBundle().World;
  TVst vst(VstLibrary());
  ASSERT_NE(vst.E, nullptr);
  ASSERT_EQ(lilv_plugin_get_num_ports(plugin), kPortCount);
  EXPECT_EQ(lilv_plugin_get_num_ports(plugin), 4u + ppCount + 2u);
  LilvNode* input = Node(LV2_CORE__InputPort);
  LilvNode* output = Node(LV2_CORE__OutputPort);
  LilvNode* audio = Node(LV2_CORE__AudioPort);
  LilvNode* control = Node(LV2_CORE__ControlPort);
  LilvNode* atomPort = Node(LV2_ATOM__AtomPort);
  LilvNode* optional = Node(LV2_CORE__connectionOptional);
  LilvNode* integer = Node(LV2_CORE__integer);
  LilvNode* toggled = Node(LV2_CORE__toggled);
  LilvNode* unit = Node(LV2_UNITS__unit);
  LilvNode* unitSymbol = Node(LV2_UNITS__symbol);
  for (uint32_t i = 0; i < kPortCount; ++i) {
    SCOPED_TRACE(kPorts[i].Symbol);
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    ASSERT_NE(port, nullptr);
    EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)), kPorts[i].Symbol);
    const TPortKind k = kPorts[i].Kind;
    const bool in = k == TPortKind::AudioIn || k == TPortKind::Control || k == TPortKind::MidiIn;
    EXPECT_TRUE(lilv_port_is_a(plugin, port, in ? input : output));
    EXPECT_FALSE(lilv_port_is_a(plugin, port, in ? output : input));
    const bool midi = k == TPortKind::MidiIn || k == TPortKind::MidiOut;
    const LilvNode* type = k == TPortKind::Control ? control : midi ? atomPort : audio;
    for (const LilvNode* t : {audio, control, atomPort})
      EXPECT_EQ(lilv_port_is_a(plugin, port, t), t == type);
    // Hosts without MIDI leave the sequences unconnected.
    EXPECT_EQ(lilv_port_has_property(plugin, port, optional), midi);
    if (k != TPortKind::Control) continue;

    const int32_t p = kPorts[i].Parameter;
    const TParameterDescription& d = kParameters[p];
    EXPECT_EQ(i, ControlPortOf(p));
    EXPECT_STREQ(kPorts[i].Symbol, d.Symbol);
    EXPECT_EQ(vst.Text(effGetParamName, p), d.Name);
    LilvNode* name = lilv_port_get_name(plugin, port);
    EXPECT_STREQ(lilv_node_as_string(name), d.Name);
    lilv_node_free(name);
    LilvNode *dn = nullptr, *mn = nullptr, *xn = nullptr;
    lilv_port_get_range(plugin, port, &dn, &mn, &xn);
    ASSERT_TRUE(dn && mn && xn);
    const float def = lilv_node_as_float(dn), min = lilv_node_as_float(mn),
                max = lilv_node_as_float(xn);
    lilv_node_free(dn);
    lilv_node_free(mn);
    lilv_node_free(xn);
    EXPECT_EQ(min, 0.0f);
    EXPECT_EQ(max, d.Max);
    // The default is what a newly made VST 2 instance shows: its stored value in real units.
    EXPECT_EQ(def, vst.Real(p));
    EXPECT_EQ(def, DefaultReal(p));
    EXPECT_EQ(lilv_port_has_property(plugin, port, integer), d.Kind == TParameterKind::Number);
    EXPECT_EQ(lilv_port_has_property(plugin, port, toggled), d.Kind == TParameterKind::Switch);
    // The unit's symbol is the label the VST 2 build puts after the value.
    std::string label;
    if (LilvNodes* units = lilv_port_get_value(plugin, port, unit)) {
      if (LilvNode* s = lilv_world_get(world, lilv_nodes_get_first(units), unitSymbol, nullptr)) {
        label = lilv_node_as_string(s);
        lilv_node_free(s);
      }
      lilv_nodes_free(units);
    }
    EXPECT_EQ(label, vst.Text(effGetParamLabel, p));
  }
}

// The port values a preset gives, written into the instance's control values as a host does.
struct TRestore {
  TUridMap& Map;
  float* Control;
  int Written = 0;
  bool Malformed = false;
};

void SetPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
  auto& r = *static_cast<TRestore*>(user);
  if (size != sizeof(float) || type != r.Map.Of(LV2_ATOM__Float)) {
    r.Malformed = true;
    return;
  }
  for (int32_t i = 0; i < ppCount; ++i)
    if (std::strcmp(symbol, kParameters[i].Symbol) == 0) {
      std::memcpy(&r.Control[i], value, sizeof(float));
      ++r.Written;
      return;
    }
  r.Malformed = true;
}

template <class Plugin>
std::array<std::vector<float>, 2>
Render(Plugin& fx, const float (&first)[ppCount], const float (&then)[ppCount],
       const std::vector<uint32_t>& sizes, bool inPlace, size_t frames = Signal(0).size());

TEST_F(Lv2Description, PresetsAreTheProgramsOfTheVstBuild) {
  TBundle& bundle = BuiltBundle();
  TVst vst(VstLibrary());
  ASSERT_NE(vst.E, nullptr);
  TUridMap map;
  const LV2_Feature* features[] = {&map.Feature, nullptr};
  LilvNodes* presets = lilv_plugin_get_related(bundle.Plugin, Node(LV2_PRESETS__Preset));
  ASSERT_NE(presets, nullptr);
  EXPECT_EQ(lilv_nodes_size(presets), static_cast<unsigned>(vst.E->numPrograms));
  for (VstInt32 p = 0; p < vst.E->numPrograms; ++p) {
    SCOPED_TRACE(p);
    const std::string uri = std::string(kPluginUri) + kPresetFragment + std::to_string(p + 1);
    LilvNode* preset = Node(uri.c_str());
    EXPECT_TRUE(lilv_nodes_contains(presets, preset)) << uri;
    lilv_world_load_resource(bundle.World, preset);
    char name[64] = {};
    vst.Dispatch(effGetProgramNameIndexed, p, 0, name);
    LilvNode* label = lilv_world_get(bundle.World, preset,
                                     Node("http://www.w3.org/2000/01/rdf-schema#label"), nullptr);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(std::string(lilv_node_as_string(label)).rfind(name, 0), 0u)
        << lilv_node_as_string(label) << " for " << name;
    lilv_node_free(label);

    // Applied to an instance, the preset gives the program's values and its sound.
    TLv2 lv2(bundle, features);
    ASSERT_NE(lv2.Instance, nullptr);
    for (float& c : lv2.Control)
      c = -1.0f;
    LilvState* state = lilv_state_new_from_world(bundle.World, &map.Map, preset);
    ASSERT_NE(state, nullptr);
    TRestore restore{map, lv2.Control};
    lilv_state_restore(state, lv2.Instance, SetPortValue, &restore, 0, features);
    lilv_state_free(state);
    EXPECT_EQ(restore.Written, ppCount);
    EXPECT_FALSE(restore.Malformed);
    vst.Dispatch(effSetProgram, 0, p);
    float program[ppCount];
    for (int32_t i = 0; i < ppCount; ++i) {
      program[i] = vst.Real(i);
      EXPECT_EQ(lv2.Control[i], program[i]) << kParameters[i].Symbol;
    }
    float restored[ppCount];
    std::memcpy(restored, lv2.Control, sizeof(restored));
    auto a = Render(lv2, restored, restored, {512}, false, 4096);
    auto r = Render(vst, program, program, {512}, false, 4096);
    EXPECT_EQ(FirstDifference(a[0], r[0]), -1);
    EXPECT_EQ(FirstDifference(a[1], r[1]), -1);
  }
  lilv_nodes_free(presets);
}

// ---------------------------------------------------------------------------------------------
// Sound

// Renders the first `frames` of the test signal in blocks whose sizes cycle through `sizes`,
// with the `first` settings and, from the first block that starts at or after the middle, the
// `then` settings. In place the input buffers are the output buffers, as Ardour runs plug-ins.
template <class Plugin>
std::array<std::vector<float>, 2>
Render(Plugin& fx, const float (&first)[ppCount], const float (&then)[ppCount],
       const std::vector<uint32_t>& sizes, bool inPlace, size_t frames) {
  std::array<std::vector<float>, 2> in, out;
  for (int ch = 0; ch < 2; ++ch) {
    in[ch].assign(Signal(ch).begin(), Signal(ch).begin() + static_cast<long>(frames));
    out[ch] = inPlace ? in[ch] : std::vector<float>(frames, -7.0f);
  }
  auto& source = inPlace ? out : in;
  fx.Set(first);
  bool changed = false;
  for (size_t at = 0, b = 0; at < frames; ++b) {
    const uint32_t n =
        static_cast<uint32_t>(std::min<size_t>(sizes[b % sizes.size()], frames - at));
    if (!changed && at >= frames / 2) {
      fx.Set(then);
      changed = true;
    }
    float* ins[] = {source[0].data() + at, source[1].data() + at};
    float* outs[] = {out[0].data() + at, out[1].data() + at};
    fx.Run(ins, outs, n);
    at += n;
  }
  if (!inPlace) {
    for (int ch = 0; ch < 2; ++ch) {
      const std::vector<float> original(Signal(ch).begin(),
                                        Signal(ch).begin() + static_cast<long>(frames));
      EXPECT_EQ(FirstDifference(in[ch], original), -1) << "input " << ch << " was written";
    }
  }
  return out;
}

bool Sounds(const std::vector<float>& v, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    if (v[i] != 0.0f) return true;
  return false;
}

struct TSetting {
  const char* Name;
  float First[ppCount]; // oversampling, quantizer, dither, noise_shaper, error_filter
  float Then[ppCount];
  bool Sounds[2]; // whether each half has a sample other than zero
};

// Port values as hosts may send them, also outside the ranges: the VST 2 build gets each as
// real / maximum, which it limits to 0..1 (not a number as 0).
const TSetting kSettings[] = {
    {"defaults", {1, 24, 0, 0, 0}, {1, 24, 0, 0, 0}, {true, true}},
    {"oversampling 8, 4 bits, dither, feedback", {8, 4, 1, 1, 0}, {8, 4, 1, 1, 0}, {true, true}},
    {"one bit, feedback from the middle", {1, 1, 0, 0, 0}, {1, 1, 0, 1, 0}, {true, true}},
    {"feedback, error filter moved", {1, 24, 0, 1, 1}, {1, 24, 0, 1, 0.37f}, {true, true}},
    {"partial dither, switch at its threshold",
     {2, 12, 0.25f, 0.5f, 0.5f},
     {3, 12, 0.8f, 0.49f, 0},
     {true, true}},
    {"above the ranges", {300, 99, 5, 7, 2}, {1e9f, 25, 1.5f, 100, 1e30f}, {true, true}},
    {"below the ranges", {-1, -3, -0.5f, -2, -1}, {4, 6, -1, -0.0f, -1}, {false, true}},
    {"not a number", {kNaN, 6, 1, 1, kNaN}, {8, 6, kNaN, kNaN, kNaN}, {false, true}},
    {"infinities", {kInf, 6, kInf, kInf, -kInf}, {4, 6, -kInf, kInf, kInf}, {true, true}},
    {"ratio and word length 0, then the defaults",
     {0, 0, 0, 0, 0},
     {1, 24, 0, 0, 0},
     {false, true}},
};

struct TBlocks {
  const char* Name;
  std::vector<uint32_t> Sizes; // cycled
};
const TBlocks kBlocks[] = {{"1", {1}},       {"7", {7}},       {"64", {64}},
                           {"1000", {1000}}, {"8192", {8192}}, {"mixed", {3, 8192, 1, 500, 64, 7}}};

// Fresh libraries on both sides, so that both dither generators start at the seed; they stay in
// step because every run is made on both with the same blocks.
TEST(Lv2Sound, EverySampleIsTheVstBuildsForTheSameSettingsAndBlocks) {
  TFreshBundle fresh;
  ASSERT_NE(fresh.Bundle->Plugin, nullptr) << fresh.Dir;
  TPluginLibrary vstLibrary(qltest::PluginPath(), true);
  ASSERT_TRUE(vstLibrary.Loaded());
  TUridMap map;
  const LV2_Feature* features[] = {&map.Feature, nullptr};
  // lilv unloads the library with its last instance, which would restart its generator.
  TLv2 keeper(*fresh.Bundle, features);
  ASSERT_NE(keeper.Instance, nullptr);
  const size_t half = Signal(0).size() / 2;
  for (const TSetting& s : kSettings)
    for (const TBlocks& b : kBlocks)
      for (bool inPlace : {true, false}) {
        SCOPED_TRACE(std::string(s.Name) + ", blocks of " + b.Name +
                     (inPlace ? ", in place" : ", separate buffers"));
        TLv2 lv2(*fresh.Bundle, features);
        TVst vst(vstLibrary);
        ASSERT_NE(lv2.Instance, nullptr);
        ASSERT_NE(vst.E, nullptr);
        const auto a = Render(lv2, s.First, s.Then, b.Sizes, inPlace);
        const auto r = Render(vst, s.First, s.Then, b.Sizes, inPlace);
        for (int ch = 0; ch < 2; ++ch) {
          const long d = FirstDifference(a[ch], r[ch]);
          ASSERT_EQ(d, -1) << "channel " << ch << ": lv2 " << a[ch][d] << ", vst " << r[ch][d];
          EXPECT_EQ(Sounds(a[ch], 0, half), s.Sounds[0]) << "channel " << ch;
          EXPECT_EQ(Sounds(a[ch], half + 8192, a[ch].size()), s.Sounds[1]) << "channel " << ch;
        }
      }
}

// A new activation forgets the loop's memories: the instance then renders as a new one does.
TEST(Lv2Sound, ReactivationRendersLikeANewInstance) {
  TUridMap map;
  const LV2_Feature* features[] = {&map.Feature, nullptr};
  const float s[ppCount] = {8, 3, 0, 1, 0};
  const std::vector<uint32_t> blocks = {333};
  TLv2 used(BuiltBundle(), features), carried(BuiltBundle(), features),
      fresh(BuiltBundle(), features);
  ASSERT_TRUE(used.Instance && carried.Instance && fresh.Instance);
  Render(used, s, s, blocks, true, 1001);
  Render(carried, s, s, blocks, true, 1001);
  lilv_instance_deactivate(used.Instance);
  lilv_instance_activate(used.Instance);
  const auto again = Render(used, s, s, blocks, true, 4096);
  const auto unreset = Render(carried, s, s, blocks, true, 4096);
  const auto first = Render(fresh, s, s, blocks, true, 4096);
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_EQ(FirstDifference(again[ch], first[ch]), -1) << ch;
    // Without the new activation the memories carry on and the sound differs.
    EXPECT_NE(FirstDifference(unreset[ch], first[ch]), -1) << ch;
  }
}

// ---------------------------------------------------------------------------------------------
// MIDI

// An atom sequence buffer with room for `capacity` bytes behind its atom header, and guard
// bytes behind that which nothing may write.
class TSequence {
public:
  static constexpr uint8_t kGuard = 0xA5;
  explicit TSequence(uint32_t capacity)
      : Capacity(capacity), Bytes(sizeof(LV2_Atom) + capacity + 64, kGuard) {}

  LV2_Atom_Sequence* Seq() { return reinterpret_cast<LV2_Atom_Sequence*>(Bytes.data()); }
  // An input sequence without events.
  void Clear(LV2_URID sequence) {
    Seq()->atom = {sizeof(LV2_Atom_Sequence_Body), sequence};
    Seq()->body = {0, 0};
  }
  void Append(int64_t frames, LV2_URID type, const std::vector<uint8_t>& data) {
    struct {
      LV2_Atom_Event Head;
      uint8_t Data[16];
    } e{};
    e.Head.time.frames = frames;
    e.Head.body = {static_cast<uint32_t>(data.size()), type};
    std::memcpy(e.Data, data.data(), data.size());
    ASSERT_NE(lv2_atom_sequence_append_event(Seq(), Capacity, &e.Head), nullptr);
  }
  // An output buffer as a host hands it to every run: a chunk of the space it has.
  void Offer(LV2_URID chunk) { Seq()->atom = {Capacity, chunk}; }

  bool GuardIntact() const {
    for (size_t i = sizeof(LV2_Atom) + Capacity; i < Bytes.size(); ++i)
      if (Bytes[i] != kGuard) return false;
    return true;
  }
  // The events as (frame, data bytes...).
  std::vector<std::vector<int64_t>> Events(LV2_URID midi, bool& onlyMidi) {
    std::vector<std::vector<int64_t>> events;
    onlyMidi = true;
    LV2_ATOM_SEQUENCE_FOREACH(Seq(), ev) {
      onlyMidi = onlyMidi && ev->body.type == midi;
      std::vector<int64_t> e{ev->time.frames};
      const auto* data = reinterpret_cast<const uint8_t*>(ev + 1);
      for (uint32_t i = 0; i < ev->body.size; ++i)
        e.push_back(data[i]);
      events.push_back(e);
    }
    return events;
  }

  const uint32_t Capacity;

private:
  std::vector<uint8_t> Bytes; // allocated storage: aligned for the 64-bit fields of events
};

// Without features, as lv2apply instantiates: the plug-in is made, the audio runs as with
// urid:map, and whatever the MIDI ports were given stays untouched.
TEST(Lv2Midi, WithoutFeaturesTheAudioRunsAndTheMidiPortsStayIdle) {
  TBundle& bundle = BuiltBundle();
  ASSERT_NE(bundle.Plugin, nullptr);
  const float s[ppCount] = {4, 6, 0, 1, 0};
  const std::vector<uint32_t> blocks = {512};
  TUridMap map;
  const LV2_Feature* features[] = {&map.Feature, nullptr};
  TLv2 mapped(bundle, features);
  ASSERT_NE(mapped.Instance, nullptr);
  const auto reference = Render(mapped, s, s, blocks, false, 8192);

  // lilv hands the plug-in an empty list; the MIDI ports stay unconnected.
  TLv2 plain(bundle, nullptr);
  ASSERT_NE(plain.Instance, nullptr);
  const auto unconnected = Render(plain, s, s, blocks, false, 8192);

  // The descriptor called with no list at all, its MIDI ports given a number's storage.
  struct TRaw {
    const LV2_Descriptor* D;
    LV2_Handle H;
    float Control[ppCount];
    void Set(const float (&real)[ppCount]) { std::memcpy(Control, real, sizeof(Control)); }
    void Run(float** in, float** out, uint32_t frames) {
      for (uint32_t c = 0; c < 2; ++c) {
        D->connect_port(H, kAudioIn0 + c, in[c]);
        D->connect_port(H, kAudioOut0 + c, out[c]);
      }
      D->run(H, frames);
    }
  } raw{lilv_instance_get_descriptor(plain.Instance), nullptr, {}};
  raw.H = raw.D->instantiate(raw.D, kRate, bundle.Dir.c_str(), nullptr);
  ASSERT_NE(raw.H, nullptr);
  for (int32_t i = 0; i < ppCount; ++i)
    raw.D->connect_port(raw.H, ControlPortOf(i), &raw.Control[i]);
  float midiIn = 0.25f, midiOut = 0.75f;
  raw.D->connect_port(raw.H, kMidiIn, &midiIn);
  raw.D->connect_port(raw.H, kMidiOut, &midiOut);
  raw.D->activate(raw.H);
  const auto bare = Render(raw, s, s, blocks, false, 8192);
  raw.D->deactivate(raw.H);
  raw.D->cleanup(raw.H);
  EXPECT_EQ(midiIn, 0.25f);
  EXPECT_EQ(midiOut, 0.75f);

  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_TRUE(Sounds(reference[ch], 0, 8192));
    EXPECT_EQ(FirstDifference(unconnected[ch], reference[ch]), -1) << ch;
    EXPECT_EQ(FirstDifference(bare[ch], reference[ch]), -1) << ch;
  }
}

// The echo of a sequence of blocks, compared with what the VST 2 build sends its host for the
// same messages at the same frames: notes answered at their frames, everything else dropped.
TEST(Lv2Midi, NotesComeBackAtTheirFramesAsTheVstBuildSendsThem) {
  struct TIn {
    uint32_t Block;
    int64_t Frame;
    bool Midi; // a midi:MidiEvent; otherwise an atom:Float whose bytes look like a note
    std::vector<uint8_t> Data;
  };
  const TIn input[] = {
      {0, 0, true, {0x90, 60, 100}},
      {0, 5, false, {0x90, 60, 100, 0}},
      {0, 17, true, {0x95, 61, 0}}, // velocity 0: answered as a note-off
      {0, 17, true, {0xB0, 7, 100}},
      {0, 63, true, {0x80, 62, 64}},
      {1, 0, true, {0xC0, 5}},
      {1, 1, true, {0x9F, 0xC5, 0xFF}}, // data bytes lose their top bit
      {1, 2, true, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
      {1, 40, true, {0x90, 60, 0}},
      {3, 0, true, {0x8A, 16, 32}},
      {3, 63, true, {0x9A, 17, 33}},
      {3, 63, true, {0xE0, 0, 64}},
  };
  const size_t expectedCounts[] = {3, 2, 0, 2};
  constexpr uint32_t kBlock = 64;

  TUridMap map;
  const LV2_Feature* features[] = {&map.Feature, nullptr};
  const LV2_URID midi = map.Of(LV2_MIDI__MidiEvent), sequence = map.Of(LV2_ATOM__Sequence),
                 chunk = map.Of(LV2_ATOM__Chunk), number = map.Of(LV2_ATOM__Float);
  TLv2 lv2(BuiltBundle(), features);
  ASSERT_NE(lv2.Instance, nullptr);
  TSequence in(4096), out(4096);
  lilv_instance_connect_port(lv2.Instance, kMidiIn, in.Seq());
  lilv_instance_connect_port(lv2.Instance, kMidiOut, out.Seq());

  qltest::TRecordingHost host;
  host.RecordMidi();
  TVst vst(VstLibrary(), qltest::TRecordingHost::Callback());
  ASSERT_NE(vst.E, nullptr);

  std::vector<float> i0(kBlock, 0.1f), i1(kBlock, -0.1f), o0(kBlock), o1(kBlock);
  float* ins[] = {i0.data(), i1.data()};
  float* outs[] = {o0.data(), o1.data()};
  for (uint32_t block = 0; block < std::size(expectedCounts); ++block) {
    SCOPED_TRACE(block);
    in.Clear(sequence);
    std::vector<VstMidiEvent> notes;
    for (const TIn& e : input) {
      if (e.Block != block) continue;
      in.Append(e.Frame, e.Midi ? midi : number, e.Data);
      if (!e.Midi || e.Data.size() > 3) continue;
      VstMidiEvent v{};
      v.type = kVstMidiType;
      v.byteSize = sizeof(VstMidiEvent);
      v.deltaFrames = static_cast<VstInt32>(e.Frame);
      std::memcpy(v.midiData, e.Data.data(), e.Data.size());
      notes.push_back(v);
    }
    out.Offer(chunk);
    lv2.Run(ins, outs, kBlock);
    bool onlyMidi = false;
    const auto echoed = out.Events(midi, onlyMidi);
    EXPECT_EQ(out.Seq()->atom.type, sequence);
    EXPECT_TRUE(onlyMidi);
    EXPECT_TRUE(out.GuardIntact());
    EXPECT_EQ(echoed.size(), expectedCounts[block]);

    struct {
      VstInt32 numEvents;
      VstIntPtr reserved;
      VstEvent* events[16];
    } list{static_cast<VstInt32>(notes.size()), 0, {}};
    for (size_t i = 0; i < notes.size(); ++i)
      list.events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
    host.Clear();
    vst.Dispatch(effProcessEvents, 0, 0, &list);
    vst.Run(ins, outs, kBlock);
    std::vector<std::vector<int64_t>> sent;
    for (const qltest::THostRequest& c : host.RequestsOf(audioMasterProcessEvents))
      for (const std::vector<int>& m : c.Midi)
        sent.push_back({m[3], m[0], m[1], m[2]});
    EXPECT_EQ(echoed, sent);
  }
}

// An output with too little room takes the echoes that fit and writes nothing beyond the space
// the host offered; with no room for a sequence at all the plug-in leaves an empty atom.
TEST(Lv2Midi, AFullOutputTakesWhatFitsAndWritesNothingBeyondIt) {
  TUridMap map;
  const LV2_Feature* features[] = {&map.Feature, nullptr};
  const LV2_URID midi = map.Of(LV2_MIDI__MidiEvent), sequence = map.Of(LV2_ATOM__Sequence),
                 chunk = map.Of(LV2_ATOM__Chunk);
  TLv2 lv2(BuiltBundle(), features);
  ASSERT_NE(lv2.Instance, nullptr);
  TSequence in(4096);
  in.Clear(sequence);
  for (uint8_t note = 60; note < 65; ++note)
    in.Append(note - 60, midi, {0x90, note, 100});
  lilv_instance_connect_port(lv2.Instance, kMidiIn, in.Seq());

  // An event of three bytes takes 16 + 3 bytes, padded to 24; the sequence's body header 8.
  const struct {
    uint32_t Capacity;
    int Echoes; // -1: no room for a sequence
  } cases[] = {{0, -1}, {4, -1}, {7, -1}, {8, 0}, {31, 0}, {32, 1}, {55, 1}, {56, 2}, {4096, 5}};
  float i0[16] = {}, i1[16] = {}, o0[16], o1[16];
  float* ins[] = {i0, i1};
  float* outs[] = {o0, o1};
  for (auto c : cases) {
    SCOPED_TRACE(c.Capacity);
    TSequence out(c.Capacity);
    out.Offer(chunk);
    lilv_instance_connect_port(lv2.Instance, kMidiOut, out.Seq());
    lv2.Run(ins, outs, 16);
    EXPECT_TRUE(out.GuardIntact());
    EXPECT_LE(out.Seq()->atom.size, c.Capacity);
    if (c.Echoes < 0) {
      EXPECT_EQ(out.Seq()->atom.size, 0u);
      continue;
    }
    EXPECT_EQ(out.Seq()->atom.type, sequence);
    bool onlyMidi = false;
    const auto echoed = out.Events(midi, onlyMidi);
    ASSERT_EQ(echoed.size(), static_cast<size_t>(c.Echoes));
    for (int e = 0; e < c.Echoes; ++e)
      EXPECT_EQ(echoed[e], (std::vector<int64_t>{e, 0x90, 60 + e, 100}));
  }
}

} // namespace
