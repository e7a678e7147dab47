// The CLAP plug-in as a host sees it, in-process: what a scanner reads, its parameters and
// texts, its sound held sample for sample against the VST 2 library of the same build, its
// state, its note echo, and the editor's gestures as the host's events.
#include "ClapHost.h"
#include "EffectRecord.h"
#include "PluginLibrary.h"
#include "TestPaths.h"
#include "clap/ClapDescription.h"
#include "core/uIdentity.h"
#include "core/uPrograms.h"
#include "core/uState.h"
#include "core/uValueText.h"
#include "editor/EditorDrive.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

using namespace qltest;
using clapq::ParamIdOf;

namespace {

constexpr double kRate = 48000.0;

// ---------------------------------------------------------------------------------------------
// What a scanner reads

TEST(ClapScan, DescribesTheEffectAndItsPorts) {
  TClapLibrary library;
  ASSERT_NE(library.Factory, nullptr) << ClapPath();
  EXPECT_GE(library.Entry->clap_version.major, 1u);
  EXPECT_EQ(library.Entry->get_factory("clap.other-factory"), nullptr);
  ASSERT_EQ(library.Factory->get_plugin_count(library.Factory), 1u);
  EXPECT_EQ(library.Factory->get_plugin_descriptor(library.Factory, 1), nullptr);
  const clap::plugin_descriptor* d = library.Factory->get_plugin_descriptor(library.Factory, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->id, kClapId);
  EXPECT_STREQ(d->name, kPluginName);
  EXPECT_STREQ(d->vendor, kVendorName);
  EXPECT_EQ(std::string(d->version_text), std::to_string(kVersion.Major) + "." +
                                              std::to_string(kVersion.Minor) + "." +
                                              std::to_string(kVersion.Micro));
  std::vector<std::string> features;
  for (const char* const* f = d->features; *f; ++f)
    features.emplace_back(*f);
  EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "distortion", "stereo"}));

  TClapHost host;
  EXPECT_EQ(library.Factory->create_plugin(library.Factory, host.Host(), "org.other.plugin"),
            nullptr);
  EXPECT_EQ(library.Factory->create_plugin(library.Factory, nullptr, kClapId), nullptr);
  TClapInstance fx(library, host);
  ASSERT_NE(fx.P, nullptr);
  EXPECT_EQ(fx.P->get_extension(fx.P, "clap.unknown"), nullptr);

  auto* audio = fx.Ext<clap::plugin_audio_ports>(clap::kExtAudioPorts);
  auto* notes = fx.Ext<clap::plugin_note_ports>(clap::kExtNotePorts);
  auto* latency = fx.Ext<clap::plugin_latency>(clap::kExtLatency);
  ASSERT_TRUE(audio && notes && latency && fx.Params && fx.State && fx.Gui);
  EXPECT_EQ(latency->get(fx.P), 0u);
  for (bool input : {true, false}) {
    SCOPED_TRACE(input ? "input" : "output");
    ASSERT_EQ(audio->count(fx.P, input), 1u);
    clap::audio_port_info a{};
    ASSERT_TRUE(audio->get(fx.P, 0, input, &a));
    EXPECT_FALSE(audio->get(fx.P, 1, input, &a));
    EXPECT_EQ(a.channel_count, 2u);
    EXPECT_STREQ(a.port_type, clap::kPortStereo);
    EXPECT_TRUE(a.flags & clap::kAudioPortIsMain);
    EXPECT_EQ(a.in_place_pair, 0u);
    ASSERT_EQ(notes->count(fx.P, input), 1u);
    clap::note_port_info n{};
    ASSERT_TRUE(notes->get(fx.P, 0, input, &n));
    EXPECT_EQ(n.supported_dialects, clap::kNoteDialectClap | clap::kNoteDialectMidi);
    EXPECT_TRUE(n.preferred_dialect & n.supported_dialects);
  }
}

TEST(ClapScan, ParametersAreTheCoresWithItsTexts) {
  TClapLibrary library;
  TClapHost host;
  TClapInstance fx(library, host);
  ASSERT_NE(fx.P, nullptr);
  ASSERT_EQ(fx.Params->count(fx.P), static_cast<uint32_t>(ppCount));
  clap::param_info info{};
  EXPECT_FALSE(fx.Params->get_info(fx.P, ppCount, &info));
  for (int32_t i = 0; i < ppCount; ++i) {
    const TParameterDescription& d = kParameters[i];
    SCOPED_TRACE(d.Name);
    ASSERT_TRUE(fx.Params->get_info(fx.P, i, &info));
    EXPECT_EQ(info.param_id, ParamIdOf(i));
    EXPECT_STREQ(info.name, d.Name);
    EXPECT_EQ(info.min_value, 0.0);
    EXPECT_EQ(info.max_value, d.Max);
    EXPECT_EQ(info.default_value, DefaultReal(i));
    EXPECT_EQ(fx.Value(info.param_id), DefaultReal(i));
    EXPECT_TRUE(info.flags & clap::kParamIsAutomatable);
    EXPECT_EQ((info.flags & clap::kParamIsStepped) != 0, d.Kind != TParameterKind::Amount);
    // Texts are the core's, with the units after them; parsing takes them back.
    for (double v : {0.0, 0.5, 1.0, 3.0, 24.0, 128.0}) {
      char text[64], core[32];
      ASSERT_TRUE(fx.Params->value_to_text(fx.P, info.param_id, v, text, sizeof(text)));
      ParameterText(i, static_cast<float>(v), '.', core, sizeof(core));
      EXPECT_EQ(std::string(text), *d.Units ? std::string(core) + " " + d.Units : core);
      double back = -1.0;
      ASSERT_TRUE(fx.Params->text_to_value(fx.P, info.param_id, text, &back)) << text;
      EXPECT_EQ(back, LimitReal(i, static_cast<float>(v))) << text;
    }
    char small[4];
    ASSERT_TRUE(fx.Params->value_to_text(fx.P, info.param_id, 1.0, small, sizeof(small)));
    EXPECT_EQ(std::strlen(small), 3u);
    double v = 7.0;
    EXPECT_FALSE(fx.Params->text_to_value(fx.P, info.param_id, "loud", &v));
    EXPECT_EQ(v, 7.0);
  }
  char text[16];
  double v;
  EXPECT_FALSE(fx.Params->value_to_text(fx.P, 12345, 1.0, text, sizeof(text)));
  EXPECT_FALSE(fx.Params->text_to_value(fx.P, 12345, "1", &v));
  EXPECT_FALSE(fx.Params->get_value(fx.P, 12345, &v));
}

// A scanner offers no host extensions: the editor is still listed, but a window is refused
// without the timer that would serve it.
TEST(ClapScan, GuiIsListedWithoutHostExtensionsButNotCreatedWithoutATimer) {
  TClapLibrary library;
  TClapHost bare({.Params = false, .Timer = false, .Fd = false, .ThreadCheck = false});
  TClapInstance fx(library, bare);
  ASSERT_NE(fx.P, nullptr);
  EXPECT_TRUE(fx.Gui->is_api_supported(fx.P, clapq::kWindowApi, false));
  EXPECT_FALSE(fx.Gui->is_api_supported(fx.P, clapq::kWindowApi, true));
  EXPECT_FALSE(fx.Gui->is_api_supported(fx.P, "cocoa", false));
  const char* api = nullptr;
  bool floating = true;
  ASSERT_TRUE(fx.Gui->get_preferred_api(fx.P, &api, &floating));
  EXPECT_STREQ(api, clapq::kWindowApi);
  EXPECT_FALSE(floating);
#if !defined(_WIN32)
  EXPECT_FALSE(fx.Gui->create(fx.P, clap::kWindowApiX11, false));
#endif
  EXPECT_FALSE(fx.Gui->create(fx.P, clapq::kWindowApi, true));
  EXPECT_FALSE(fx.Gui->can_resize(fx.P));
  EXPECT_FALSE(fx.Gui->set_scale(fx.P, 2.0));
}

// ---------------------------------------------------------------------------------------------
// Sound

// Two channels of a deterministic test signal: tones, a little noise, a stretch past full
// scale, and now and then a sample that is not finite or is subnormal.
const std::vector<float>& Signal(int channel) {
  static const auto signal = [] {
    constexpr size_t kFrames = size_t{1} << 14;
    std::array<std::vector<float>, 2> s{std::vector<float>(kFrames), std::vector<float>(kFrames)};
    uint32_t noise = 12345;
    for (size_t i = 0; i < kFrames; ++i) {
      const double t = static_cast<double>(i) / kRate;
      noise = noise * 1664525u + 1013904223u;
      const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.02;
      const double level = (i / 2048) % 5 == 3 ? 1.3 : 0.6;
      s[0][i] = static_cast<float>(level * std::sin(2 * std::numbers::pi * 441.3 * t) + n);
      s[1][i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 97.1 * t) - n);
    }
    for (size_t i = 777; i + 1 < kFrames; i += 4973) {
      s[0][i] = std::numeric_limits<float>::quiet_NaN();
      s[1][i] = std::numeric_limits<float>::infinity();
      s[0][i + 1] = 1e-40f;
    }
    return s;
  }();
  return signal[channel];
}

long FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::bit_cast<uint32_t>(a[i]) != std::bit_cast<uint32_t>(b[i])) return static_cast<long>(i);
  return -1;
}

using TSettings = std::array<float, ppCount>;
// A change of parameter `Index` to `Real` at frame `Frame` of the signal.
struct TChange {
  size_t Frame;
  int32_t Index;
  float Real;
};
using TStereo = std::array<std::vector<float>, 2>;

VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// The VST 2 build, fresh from its file: blocks of `sizes` cut also at every change's frame,
// the changes written between blocks.
TStereo RenderVst(const std::vector<TChange>& changes, const std::vector<uint32_t>& sizes,
                  bool inPlace) {
  TPluginLibrary library(PluginPath(), true);
  TRecord fx{library.Entry("main") ? library.Entry("main")(QuietHost) : nullptr};
  if (!fx.E) return {};
  fx.Dispatch(effMainsChanged, 0, 1);
  const size_t frames = Signal(0).size();
  TStereo in{Signal(0), Signal(1)},
      out{std::vector<float>(frames, -7.0f), std::vector<float>(frames, -7.0f)};
  TStereo& source = inPlace ? out : in;
  if (inPlace) out = in;
  size_t next = 0;
  for (size_t at = 0, b = 0; at < frames; ++b) {
    while (next < changes.size() && changes[next].Frame <= at) {
      const TChange& c = changes[next++];
      fx.Set(c.Index, c.Real / kParameters[c.Index].Max);
    }
    size_t n = std::min<size_t>(sizes[b % sizes.size()], frames - at);
    if (next < changes.size()) n = std::min(n, changes[next].Frame - at);
    float* ins[] = {source[0].data() + at, source[1].data() + at};
    float* outs[] = {out[0].data() + at, out[1].data() + at};
    fx.Replace(ins, outs, static_cast<VstInt32>(n));
    at += n;
  }
  fx.Dispatch(effMainsChanged, 0, 0);
  fx.Close();
  return out;
}

// The CLAP build, fresh from its file: blocks of `sizes`, each change an event at its frame
// inside the block that holds it.
TStereo RenderClap(const std::vector<TChange>& changes, const std::vector<uint32_t>& sizes,
                   bool inPlace) {
  TClapLibrary library(true);
  TClapHost host;
  TClapInstance fx(library, host);
  if (!fx.P || !fx.Activate()) return {};
  const size_t frames = Signal(0).size();
  TStereo in{Signal(0), Signal(1)},
      out{std::vector<float>(frames, -7.0f), std::vector<float>(frames, -7.0f)};
  TStereo& source = inPlace ? out : in;
  if (inPlace) out = in;
  size_t next = 0;
  TInputEvents events;
  TOutputEvents outEvents;
  for (size_t at = 0, b = 0; at < frames; ++b) {
    const size_t n = std::min<size_t>(sizes[b % sizes.size()], frames - at);
    events.Clear();
    for (; next < changes.size() && changes[next].Frame < at + n; ++next)
      events.Param(static_cast<uint32_t>(changes[next].Frame - std::min(at, changes[next].Frame)),
                   ParamIdOf(changes[next].Index), changes[next].Real);
    float* ins[] = {source[0].data() + at, source[1].data() + at};
    float* outs[] = {out[0].data() + at, out[1].data() + at};
    if (fx.Process(ins, outs, static_cast<uint32_t>(n), events, outEvents) !=
        clap::kProcessContinue)
      return {};
    at += n;
  }
  return out;
}

std::vector<TChange> At(size_t frame, const TSettings& s) {
  std::vector<TChange> c;
  for (int32_t i = 0; i < ppCount; ++i)
    c.push_back({frame, i, s[i]});
  return c;
}

// Settings a user picks, then a jump in the middle; the defaults are the first program's.
TEST(ClapSound, EqualsTheVstBuildAtBlockBoundaries) {
  const struct {
    const char* Name;
    TSettings First, Then;
  } settings[] = {
      {"defaults to 8 bits", {1, 24, 0, 0, 0}, {1, 8, 0, 0, 0}},
      {"1 bit x64 with feedback, then without", {64, 1, 0, 1, 0}, {64, 1, 0, 0, 0}},
      {"4 bits dithered, then 128 sub-samples", {2, 4, 1, 0.3f, 0}, {128, 4, 0.5f, 0.7f, 1}},
      {"silence from 0 bits and ratio 0", {0, 0, 0, 0, 0}, {3, 12, 0.25f, 0.5f, 0}},
  };
  const std::vector<std::vector<uint32_t>> sizes = {{1}, {7, 64}, {512}, {8192}, {999, 1, 100}};
  for (const auto& s : settings) {
    for (size_t z = 0; z < sizes.size(); ++z) {
      const bool inPlace = z % 2 == 1;
      SCOPED_TRACE(std::string(s.Name) + ", block sizes #" + std::to_string(z) +
                   (inPlace ? ", in place" : ""));
      // The jump at the first block boundary from the middle on, where the VST 2 host writes it.
      size_t middle = 0;
      for (size_t at = 0, b = 0; at < Signal(0).size() / 2; ++b)
        middle = at += sizes[z][b % sizes[z].size()];
      std::vector<TChange> changes = At(0, s.First);
      for (const TChange& c : At(middle, s.Then))
        changes.push_back(c);
      const TStereo clap = RenderClap(changes, sizes[z], inPlace);
      const TStereo vst = RenderVst(changes, sizes[z], inPlace);
      ASSERT_FALSE(clap[0].empty() || vst[0].empty());
      EXPECT_EQ(FirstDifference(clap[0], vst[0]), -1);
      EXPECT_EQ(FirstDifference(clap[1], vst[1]), -1);
    }
  }
}

// Changes inside the host's blocks apply at their frames: the VST 2 build cut there hears the
// same. Includes changes at a block's first and last frame, several at one frame, values
// between a switch's states, and more changes in one block than the plug-in takes in one run.
TEST(ClapSound, ChangesInsideBlocksEqualTheVstBuildCutThere) {
  std::vector<TChange> changes = At(0, {4, 3, 1, 0, 0});
  const TChange some[] = {{1, ppQuantizer, 2},        {100, ppOversampling, 16},
                          {100, ppNoiseShaper, 0.5f}, {100, ppNoiseShaper, 0.49f},
                          {2047, ppDither, 0},        {4095, ppQuantizer, 6},
                          {4096, ppOversampling, 32}, {5000, ppNoiseShaper, 0.51f}};
  changes.insert(changes.end(), std::begin(some), std::end(some));
  // 600 changes in one block of 4096, every fifth frame.
  for (size_t f = 8192; f < 8192 + 3000; f += 5)
    changes.push_back({f, ppQuantizer, static_cast<float>(1 + (f / 5) % 9)});
  for (const std::vector<uint32_t>& sizes :
       std::vector<std::vector<uint32_t>>{{4096}, {8192}, {333, 4096}}) {
    SCOPED_TRACE(sizes.size() == 1 ? std::to_string(sizes[0]) : "333, 4096");
    const TStereo clap = RenderClap(changes, sizes, false);
    const TStereo vst = RenderVst(changes, {8192}, false);
    ASSERT_FALSE(clap[0].empty() || vst[0].empty());
    EXPECT_EQ(FirstDifference(clap[0], vst[0]), -1);
    EXPECT_EQ(FirstDifference(clap[1], vst[1]), -1);
  }
}

// activate and reset start the loop afresh: the same block twice sounds the same.
TEST(ClapSound, ActivateAndResetStartTheLoopAfresh) {
  TClapLibrary library;
  TClapHost host;
  TClapInstance fx(library, host);
  ASSERT_TRUE(fx.Activate());
  EXPECT_FALSE(fx.P->activate(fx.P, kRate, 1, 512)) << "activated twice";
  TInputEvents events;
  events.Param(0, ParamIdOf(ppOversampling), 8);
  events.Param(0, ParamIdOf(ppQuantizer), 2);
  events.Param(0, ParamIdOf(ppNoiseShaper), 1);
  TOutputEvents out;
  auto block = [&] {
    std::vector<float> l(Signal(0).begin(), Signal(0).begin() + 256),
        r(Signal(1).begin(), Signal(1).begin() + 256);
    float* io[] = {l.data(), r.data()};
    EXPECT_EQ(fx.Process(io, io, 256, events, out), clap::kProcessContinue);
    return l;
  };
  const std::vector<float> first = block();
  EXPECT_NE(FirstDifference(block(), first), -1) << "the loop kept no memory";
  fx.P->stop_processing(fx.P);
  fx.P->reset(fx.P);
  fx.P->start_processing(fx.P);
  EXPECT_EQ(FirstDifference(block(), first), -1) << "reset";
  block();
  fx.Deactivate();
  ASSERT_TRUE(fx.Activate());
  EXPECT_EQ(FirstDifference(block(), first), -1) << "activate";
  // A host that hands no audio buffers is told so; its events still count.
  clap::process p{};
  p.frames_count = 16;
  p.in_events = events.List();
  p.out_events = out.List();
  EXPECT_EQ(fx.P->process(fx.P, &p), clap::kProcessError);
}

// ---------------------------------------------------------------------------------------------
// State

TEST(ClapState, RoundTripsAndRefusesWhatTheCoreRefuses) {
  TClapLibrary library;
  TClapHost host;
  TClapInstance fx(library, host);
  ASSERT_NE(fx.P, nullptr);
  // The host sets values outside processing through flush.
  const TSettings set = {5, 7, 0.25f, 0.6f, 0.75f};
  TInputEvents events;
  for (int32_t i = 0; i < ppCount; ++i)
    events.Param(0, ParamIdOf(i), set[i]);
  TOutputEvents out;
  fx.Params->flush(fx.P, events.List(), out.List());
  EXPECT_TRUE(out.Events.empty());
  const std::vector<uint8_t> blob = fx.Save();
  ASSERT_FALSE(blob.empty());

  TClapInstance restored(library, host);
  ASSERT_TRUE(restored.Load(blob));
  for (int32_t i = 0; i < ppCount; ++i)
    EXPECT_EQ(restored.Value(ParamIdOf(i)), set[i]) << kParameters[i].Name;
  EXPECT_EQ(restored.Save(), blob);

  // What the core refuses changes nothing.
  std::vector<std::vector<uint8_t>> bad = {{}, {'Q', 'L', 's', 't'}};
  std::vector<uint8_t> foreign = blob;
  foreign[0] = 'X';
  bad.push_back(foreign);
  std::vector<uint8_t> longer = blob;
  longer.push_back(0);
  bad.push_back(longer);
  for (size_t n = 1; n < blob.size(); n += 3)
    bad.emplace_back(blob.begin(), blob.begin() + static_cast<long>(n));
  std::vector<uint8_t> nan = SaveState({0, {1, 2, 0, 0, 0}});
  const float q = std::numeric_limits<float>::quiet_NaN();
  std::memcpy(nan.data() + nan.size() - sizeof(float), &q, sizeof(q));
  bad.push_back(nan);
  TClapInstance target(library, host);
  ASSERT_TRUE(target.Load(blob));
  for (const auto& b : bad) {
    EXPECT_FALSE(target.Load(b)) << b.size() << " bytes";
    EXPECT_EQ(target.Save(), blob);
  }
  // A stream that fails is refused too.
  clap::istream failing{nullptr,
                        [](const clap::istream*, void*, uint64_t) -> int64_t { return -1; }};
  EXPECT_FALSE(target.State->load(target.P, &failing));
  clap::ostream full{nullptr,
                     [](const clap::ostream*, const void*, uint64_t) -> int64_t { return 0; }};
  EXPECT_FALSE(target.State->save(target.P, &full));
  EXPECT_EQ(target.Save(), blob);
}

// A state loaded while the host processes reaches the next block whole, as the same values
// given as events there do.
TEST(ClapState, ALoadWhileActiveAppliesFromTheNextBlock) {
  TClapLibrary library;
  TClapHost host;
  TClapInstance loaded(library, host), evented(library, host), plain(library, host);
  ASSERT_TRUE(loaded.Activate() && evented.Activate() && plain.Activate());
  const TSettings set = {8, 3, 0, 1, 0};
  auto run = [](TClapInstance& fx, const TInputEvents& events, size_t from) {
    std::vector<float> l(Signal(0).begin() + static_cast<long>(from),
                         Signal(0).begin() + static_cast<long>(from) + 512),
        r(Signal(1).begin() + static_cast<long>(from),
          Signal(1).begin() + static_cast<long>(from) + 512);
    float* io[] = {l.data(), r.data()};
    TOutputEvents out;
    EXPECT_EQ(fx.Process(io, io, 512, events, out), clap::kProcessContinue);
    return l;
  };
  EXPECT_EQ(FirstDifference(run(loaded, {}, 0), run(evented, {}, 0)), -1);
  run(plain, {}, 0);
  ASSERT_TRUE(loaded.Load(SaveState({0, {set[0], set[1], set[2], set[3], set[4]}})));
  TInputEvents events;
  for (int32_t i = 0; i < ppCount; ++i)
    events.Param(0, ParamIdOf(i), set[i]);
  const std::vector<float> a = run(loaded, {}, 512), b = run(evented, events, 512);
  EXPECT_EQ(FirstDifference(a, b), -1);
  EXPECT_NE(FirstDifference(a, run(plain, {}, 512)), -1) << "the loaded values did not sound";
}

// A fresh instance restored from the state sounds as the one that saved it.
TEST(ClapState, ARestoredInstanceRendersIdentically) {
  auto render = [](const std::vector<uint8_t>* load, std::vector<uint8_t>* save) {
    TClapLibrary library(true);
    TClapHost host;
    TClapInstance fx(library, host);
    TInputEvents events;
    if (load)
      EXPECT_TRUE(fx.Load(*load));
    else
      for (auto [i, v] : {std::pair{ppOversampling, 16.0f},
                          {ppQuantizer, 3.0f},
                          {ppDither, 0.5f},
                          {ppNoiseShaper, 1.0f}})
        events.Param(0, ParamIdOf(i), v);
    TOutputEvents out;
    fx.Params->flush(fx.P, events.List(), out.List());
    if (save) *save = fx.Save();
    EXPECT_TRUE(fx.Activate());
    std::vector<float> l(Signal(0)), r(Signal(1));
    float* io[] = {l.data(), r.data()};
    fx.Process(io, io, static_cast<uint32_t>(l.size()), TInputEvents{}, out);
    return l;
  };
  std::vector<uint8_t> blob;
  const std::vector<float> first = render(nullptr, &blob);
  EXPECT_EQ(FirstDifference(render(&blob, nullptr), first), -1);
}

// ---------------------------------------------------------------------------------------------
// Notes

TEST(ClapNotes, EchoesAtTheNotesFramesInTheirDialect) {
  TClapLibrary library;
  TClapHost host;
  TClapInstance fx(library, host);
  ASSERT_TRUE(fx.Activate());
  TInputEvents events;
  events.Midi(0, 0x91, 60, 100);
  events.Param(3, ParamIdOf(ppQuantizer), 8);
  events.Midi(5, 0xB0, 7, 100); // a controller: no echo
  events.Midi(9, 0x92, 62, 0);  // a note-on of velocity 0 is a note-off
  events.Note(12, clap::kEventNoteOn, 3, 64, 0.5, 77);
  events.Note(40, clap::kEventNoteOff, 3, 64, 0.0, 77);
  events.Note(41, clap::kEventNoteOn, -1, -1, 1.0); // a wildcard names no key
  events.Midi(63, 0x80, 60, 64);
  std::vector<float> l(64, 0.25f), r(64, -0.25f);
  float* io[] = {l.data(), r.data()};
  TOutputEvents out;
  ASSERT_EQ(fx.Process(io, io, 64, events, out), clap::kProcessContinue);
  EXPECT_EQ(out.Lines(),
            (std::vector<std::string>{"midi 0 145 60 100", "midi 9 130 62 0", "note on 12 3 64 77",
                                      "note off 40 3 64 77", "midi 63 128 60 64"}));
  EXPECT_EQ(out.As<clap::event_note>(2).velocity, 0.5);
}

// ---------------------------------------------------------------------------------------------
// The editor, in the headless window backend

class ClapEditor : public ::testing::Test {
protected:
  static constexpr int kWidth = 1001, kHeight = 579;
  using TPicture = std::vector<uint32_t>;

  bool Open(TClapInstance& fx) {
    auto* drive = fx.Ext<clapq::TEditorDriveExtension>(clapq::kEditorDriveExtension);
    if (!drive) return false;
    TEditorDrive headless{.Command = edcUseHeadless, .Value = 1};
    if (!drive->drive(fx.P, &headless)) return false;
    if (!fx.Gui->create(fx.P, clapq::kWindowApi, false)) return false;
    uint32_t w = 0, h = 0;
    EXPECT_TRUE(fx.Gui->get_size(fx.P, &w, &h));
    EXPECT_EQ(w, static_cast<uint32_t>(kWidth));
    EXPECT_EQ(h, static_cast<uint32_t>(kHeight));
    clap::window parent{clapq::kWindowApi, {}};
    parent.ptr = nullptr;
    if (!fx.Gui->set_parent(fx.P, &parent) || !fx.Gui->show(fx.P)) return false;
    Drive(fx, {.Command = edcAdvance, .Milliseconds = 200});
    return true;
  }
  static bool Drive(TClapInstance& fx, TEditorDrive d) {
    auto* drive = fx.Ext<clapq::TEditorDriveExtension>(clapq::kEditorDriveExtension);
    return drive->drive(fx.P, &d);
  }
  static void Click(TClapInstance& fx, int x, int y) {
    for (TEditorDriveCommand c : {edcMove, edcPress, edcRelease})
      ASSERT_TRUE(Drive(
          fx, {.Command = c, .X = x, .Y = y, .Shift = c == edcPress ? uint32_t{edsLeft} : 0u}));
    Drive(fx, {.Command = edcAdvance, .Milliseconds = 20});
  }
  static TPicture Pixels(TClapInstance& fx) {
    TPicture p(static_cast<size_t>(kWidth) * kHeight);
    TEditorDrive d{.Command = edcPixels, .Width = kWidth, .Height = kHeight};
    d.Pixels = p.data();
    EXPECT_TRUE(Drive(fx, d));
    return p;
  }
  static std::string Id(int32_t index) { return std::to_string(ParamIdOf(index)); }

  TClapLibrary Library;
  TClapHost Host;
};

// A click outside processing asks for a flush, which carries begin, value and end; while the
// host processes, the next block carries them, and no flush is asked for.
TEST_F(ClapEditor, GesturesReachTheHostThroughFlushOrTheNextBlock) {
  TClapInstance fx(Library, Host);
  ASSERT_TRUE(Open(fx));
  EXPECT_EQ(Host.TimerRegistrations, 1);
  Click(fx, 414 + 113, 13 + 60); // the dither block
  EXPECT_GT(Host.FlushRequests, 0);
  TOutputEvents out;
  fx.Params->flush(fx.P, TInputEvents{}.List(), out.List());
  EXPECT_EQ(out.Lines(),
            (std::vector<std::string>{"begin " + Id(ppDither), "value " + Id(ppDither) + " 1",
                                      "end " + Id(ppDither)}));
  EXPECT_EQ(fx.Value(ParamIdOf(ppDither)), 1.0);

  ASSERT_TRUE(fx.Activate());
  const int requests = Host.FlushRequests;
  // A press on the upper half of the oversampling number, a drag up, the release.
  const int x = 91 + 73, y = 176 + 20;
  ASSERT_TRUE(Drive(fx, {.Command = edcMove, .X = x, .Y = y}));
  ASSERT_TRUE(Drive(fx, {.Command = edcPress, .X = x, .Y = y, .Shift = edsLeft}));
  ASSERT_TRUE(Drive(fx, {.Command = edcMove, .X = x, .Y = y - 10, .Shift = edsLeft}));
  ASSERT_TRUE(Drive(fx, {.Command = edcRelease, .X = x, .Y = y - 10}));
  EXPECT_EQ(Host.FlushRequests, requests);
  std::vector<float> l(64, 0.5f), r(64, 0.5f);
  float* io[] = {l.data(), r.data()};
  TOutputEvents block;
  ASSERT_EQ(fx.Process(io, io, 64, TInputEvents{}, block), clap::kProcessContinue);
  EXPECT_EQ(block.Lines(), (std::vector<std::string>{
                               "begin " + Id(ppOversampling), "value " + Id(ppOversampling) + " 2",
                               "value " + Id(ppOversampling) + " 3", "end " + Id(ppOversampling)}));
  EXPECT_EQ(fx.Value(ParamIdOf(ppOversampling)), 3.0);
  TOutputEvents none;
  ASSERT_EQ(fx.Process(io, io, 64, TInputEvents{}, none), clap::kProcessContinue);
  EXPECT_TRUE(none.Events.empty());
  EXPECT_TRUE(Host.WrongThread.empty());
}

// Closing the window while the user holds a number still ends the gesture, and lets go of the
// host's timer; reopened, the window shows the stored values, also those the host changed.
TEST_F(ClapEditor, ShowsHostValuesAndEndsGesturesWhenClosed) {
  TClapInstance fx(Library, Host);
  ASSERT_TRUE(Open(fx));
  const TPicture before = Pixels(fx);
  ASSERT_TRUE(Drive(fx, {.Command = edcMove, .X = 164, .Y = 196}));
  ASSERT_TRUE(Drive(fx, {.Command = edcPress, .X = 164, .Y = 196, .Shift = edsLeft}));
  fx.Gui->destroy(fx.P);
  EXPECT_EQ(Host.TimerUnregistrations, 1);
  EXPECT_TRUE(Host.Timers.empty());
  TOutputEvents out;
  fx.Params->flush(fx.P, TInputEvents{}.List(), out.List());
  EXPECT_EQ(out.Lines(), (std::vector<std::string>{"begin " + Id(ppOversampling),
                                                   "value " + Id(ppOversampling) + " 2",
                                                   "end " + Id(ppOversampling)}));

  // The host moves the word length while the window is open; the window follows.
  ASSERT_TRUE(Open(fx));
  const TPicture reopened = Pixels(fx);
  EXPECT_NE(reopened, before) << "the reopened window shows the old ratio";
  ASSERT_TRUE(fx.Activate());
  TInputEvents events;
  events.Param(0, ParamIdOf(ppQuantizer), 4);
  events.Param(0, ParamIdOf(ppNoiseShaper), 0.7);
  std::vector<float> l(32), r(32);
  float* io[] = {l.data(), r.data()};
  ASSERT_EQ(fx.Process(io, io, 32, events, out), clap::kProcessContinue);
  Drive(fx, {.Command = edcAdvance, .Milliseconds = 200});
  const TPicture moved = Pixels(fx);

  // Another instance holding the same values, opened afresh, looks the same (the logo's pulse
  // is at the same tick count: both windows ran 400 ms).
  TClapInstance other(Library, Host);
  TInputEvents same;
  same.Param(0, ParamIdOf(ppOversampling), 2);
  same.Param(0, ParamIdOf(ppQuantizer), 4);
  same.Param(0, ParamIdOf(ppNoiseShaper), 0.7);
  TOutputEvents ignored;
  other.Params->flush(other.P, same.List(), ignored.List());
  ASSERT_TRUE(Open(other));
  Drive(other, {.Command = edcAdvance, .Milliseconds = 200});
  EXPECT_TRUE(Pixels(other) == moved) << "the window does not show the host's values";
  EXPECT_FALSE(moved == reopened);
  other.Gui->destroy(other.P);
  fx.Gui->destroy(fx.P);
  EXPECT_TRUE(Host.Timers.empty());
  EXPECT_TRUE(Host.WrongThread.empty());
}

// ---------------------------------------------------------------------------------------------
// Threads

// The host's audio thread runs blocks with automation while the main thread drags in the editor
// and loads states: every block comes from one whole setting, the host's events apply, and the
// plug-in calls the host only from the threads its functions are for.
TEST(ClapThreads, MainThreadWritesWhileAudioRuns) {
  TClapLibrary library;
  TClapHost host;
  TClapInstance fx(library, host);
  ASSERT_TRUE(fx.Activate());
  auto* drive = fx.Ext<clapq::TEditorDriveExtension>(clapq::kEditorDriveExtension);
  TEditorDrive headless{.Command = edcUseHeadless, .Value = 1};
  ASSERT_TRUE(drive->drive(fx.P, &headless));
  ASSERT_TRUE(fx.Gui->create(fx.P, clapq::kWindowApi, false));
  clap::window parent{clapq::kWindowApi, {}};
  ASSERT_TRUE(fx.Gui->set_parent(fx.P, &parent));
  TEditorDrive link{.Command = edcAdvance, .Milliseconds = 20};
  ASSERT_TRUE(drive->drive(fx.P, &link));

  std::atomic<bool> go{false}, stop{false};
  std::atomic<int> blocks{0}, gestureEvents{0};
  std::thread audio([&] {
    while (!go.load())
      std::this_thread::yield();
    std::vector<float> l(128, 0.3f), r(128, -0.3f);
    float* io[] = {l.data(), r.data()};
    TInputEvents events;
    TOutputEvents out;
    out.Events.reserve(4096);
    for (int b = 0; !stop.load() || b < 50; ++b) {
      events.Clear();
      events.Param(b % 128, ParamIdOf(ppQuantizer), 1 + b % 24);
      out.Events.clear();
      if (fx.Process(io, io, 128, events, out) != clap::kProcessContinue) break;
      for (size_t i = 0; i < out.Events.size(); ++i)
        if (out.Type(i) != clap::kEventMidi) gestureEvents++;
      for (float v : l)
        if (!std::isfinite(v)) return;
      blocks++;
    }
  });
  host.AudioThread = audio.get_id();
  go = true;
  const std::vector<uint8_t> blob = SaveState({0, {8, 4, 1, 1, 0}});
  for (int i = 0; i < 40; ++i) {
    TEditorDrive press{.Command = edcPress, .X = 164, .Y = 196, .Shift = edsLeft};
    TEditorDrive release{.Command = edcRelease, .X = 164, .Y = 196};
    drive->drive(fx.P, &press);
    drive->drive(fx.P, &release);
    EXPECT_TRUE(fx.Load(blob));
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  stop = true;
  audio.join();
  EXPECT_GE(blocks.load(), 50);
  EXPECT_GT(gestureEvents.load(), 0);
  fx.Gui->destroy(fx.P);
  EXPECT_TRUE(host.WrongThread.empty()) << host.WrongThread.front();
}

} // namespace
