// The VST 3 bundle as a host sees it, in-process: the module's entries and factory, the buses,
// parameters and their texts, the state and streams that are not a state, the note echo, the
// bypass, the editor's gestures, and every sample held against the VST 2 library of the same
// build, also where the host changes parameters inside a block.
#include "EffectRecord.h"
#include "PluginLibrary.h"
#include "TestPaths.h"
#include "core/uPrograms.h"
#include "core/uState.h"
#include "core/uValueText.h"
#include "vst3/host/Vst3Host.h"
#include "vst3/plugin/Vst3EditorDrive.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <poll.h>

#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

using namespace vst3;
using namespace vst3host;
using qltest::TPluginLibrary;
using qltest::TRecord;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr ParamID kBypass = ppCount;

std::string Bundle() {
  return QL_VST3_BUNDLE;
}

const TModule& Module() {
  static TModule module(Bundle());
  return module;
}

std::string Text(const TChar* s) {
  std::string t;
  for (; *s; ++s)
    t += static_cast<char>(*s);
  return t;
}

std::u16string Wide(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

// The normalised value a host sends for a real value: real / maximum in single precision, as
// a VST 2 host computes it, so that both builds see the same number.
double Normalized(int32_t index, float real) {
  return static_cast<double>(real / kParameters[index].Max);
}

// One VST 3 instance, started; Set() queues the values as changes at the next block's start.
struct TVst3 {
  explicit TVst3(const TModule& module) : Instance(module) {
    if (Instance.Valid()) Instance.Start(8192);
  }
  void Set(const float (&real)[ppCount]) {
    for (int32_t i = 0; i < ppCount; ++i)
      Pending.Add(static_cast<ParamID>(i), 0, Normalized(i, real[i]));
  }
  void Run(float** in, float** out, uint32_t frames) {
    Instance.Process(in, out, static_cast<int32>(frames), &Pending);
    Pending.Clear();
  }
  TInstance Instance;
  TParamChanges Pending;
};

VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// One VST 2 instance, switched on as a host does before it processes.
struct TVst2 : TRecord {
  explicit TVst2(const TPluginLibrary& library)
      : TRecord{library.Entry("main") ? library.Entry("main")(QuietHost) : nullptr} {
    if (E) Dispatch(effMainsChanged, 0, 1);
  }
  ~TVst2() {
    if (!E) return;
    Dispatch(effMainsChanged, 0, 0);
    Close();
  }
  TVst2(const TVst2&) = delete;
  void Set(const float (&real)[ppCount]) const {
    for (int32_t i = 0; i < ppCount; ++i)
      TRecord::Set(i, real[i] / kParameters[i].Max);
  }
  void Run(float** in, float** out, uint32_t frames) const {
    Replace(in, out, static_cast<VstInt32>(frames));
  }
};

// Two channels of a deterministic test signal: tones, a little noise, a stretch past full
// scale, and now and then a sample that is not finite or is subnormal.
const std::vector<float>& Signal(int channel) {
  static const auto signal = [] {
    constexpr size_t kFrames = size_t{1} << 15;
    std::array<std::vector<float>, 2> s{std::vector<float>(kFrames), std::vector<float>(kFrames)};
    uint32_t noise = 12345;
    for (size_t i = 0; i < kFrames; ++i) {
      const double t = static_cast<double>(i) / 48000.0;
      noise = noise * 1664525u + 1013904223u;
      const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.02;
      const double level = (i / 4096) % 5 == 3 ? 1.3 : 0.6;
      s[0][i] = static_cast<float>(level * std::sin(2 * M_PI * 441.3 * t) + n);
      s[1][i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 97.1 * t) - n);
    }
    for (size_t i = 777; i < kFrames; i += 9973) {
      s[0][i] = kNaN;
      s[1][i] = (i / 9973) % 2 ? kInf : -kInf;
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

// The test signal through `fx` in blocks cycling through `sizes`, with `first` set before the
// first block and `then` before the first block from the middle on.
template <class Plugin>
std::array<std::vector<float>, 2> Render(Plugin& fx, const float (&first)[ppCount],
                                         const float (&then)[ppCount],
                                         const std::vector<uint32_t>& sizes, bool inPlace) {
  const size_t frames = Signal(0).size();
  std::array<std::vector<float>, 2> in{Signal(0), Signal(1)}, out;
  for (int ch = 0; ch < 2; ++ch)
    out[ch] = inPlace ? in[ch] : std::vector<float>(frames, -7.0f);
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
    for (int ch = 0; ch < 2; ++ch)
      EXPECT_EQ(FirstDifference(in[ch], Signal(ch)), -1) << "input " << ch << " was written";
  }
  return out;
}

// Fresh libraries on both sides, so that both dither generators start at the seed.
struct TFreshPair {
  TFreshPair() : Vst3(Bundle(), true), Vst2(qltest::PluginPath(), true) {}
  TModule Vst3;
  TPluginLibrary Vst2;
};

// ---------------------------------------------------------------------------------------------
// The module

TEST(Vst3Module, FactoryDescribesTheEffectAndItsController) {
  ASSERT_NE(Module().Factory(), nullptr) << Module().Error();
  IPluginFactory& f = *Module().Factory();
  PFactoryInfo info;
  ASSERT_EQ(f.getFactoryInfo(&info), kResultOk);
  EXPECT_STREQ(info.vendor, "Brennholt");
  ASSERT_EQ(f.countClasses(), 2);

  void* obj = nullptr;
  ASSERT_EQ(f.queryInterface(kIPluginFactory2Iid.Bytes, &obj), kResultOk);
  auto* f2 = static_cast<IPluginFactory2*>(obj);
  PClassInfo2 c;
  ASSERT_EQ(f2->getClassInfo2(0, &c), kResultOk);
  EXPECT_STREQ(c.category, kVstAudioEffectClass);
  EXPECT_STREQ(c.name, "Quantaloop");
  EXPECT_STREQ(c.subCategories, "Fx");
  EXPECT_STREQ(c.version, "1.0.1");
  EXPECT_EQ(c.cardinality, kManyInstances);
  ASSERT_EQ(f2->getClassInfo2(1, &c), kResultOk);
  EXPECT_STREQ(c.category, kVstComponentControllerClass);
  EXPECT_EQ(f2->getClassInfo2(2, &c), kInvalidArgument);

  // An unknown class, or an interface the object does not have, makes nothing.
  const char unknown[16] = {1, 2, 3};
  obj = reinterpret_cast<void*>(1);
  EXPECT_NE(f.createInstance(unknown, kIComponentIid.Bytes, &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
  PClassInfo component;
  ASSERT_TRUE(Module().FindClass(kVstAudioEffectClass, component));
  EXPECT_EQ(f.createInstance(component.cid, kIPlugViewIid.Bytes, &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);

  // The controller the component names is the class the factory lists second.
  TInstance fx(Module());
  ASSERT_TRUE(fx.Valid());
  EXPECT_FALSE(fx.SeparateController);
  PClassInfo controller;
  ASSERT_EQ(f.getClassInfo(1, &controller), kResultOk);
  char cid[16];
  ASSERT_EQ(fx.Component->getControllerClassId(cid), kResultOk);
  EXPECT_EQ(std::memcmp(cid, controller.cid, 16), 0);
}

TEST(Vst3Module, StereoAudioAndOneEventBusEachWayIn32BitSamples) {
  TInstance fx(Module());
  ASSERT_TRUE(fx.Valid());
  IComponent& c = *fx.Component;
  struct TBus {
    MediaType Type;
    BusDirection Dir;
    int32 Channels;
    const char* Name;
  };
  for (const TBus& b :
       {TBus{kAudio, kInput, 2, "Input"}, TBus{kAudio, kOutput, 2, "Output"},
        TBus{kEvent, kInput, 16, "MIDI In"}, TBus{kEvent, kOutput, 16, "MIDI Out"}}) {
    SCOPED_TRACE(b.Name);
    ASSERT_EQ(c.getBusCount(b.Type, b.Dir), 1);
    BusInfo info;
    ASSERT_EQ(c.getBusInfo(b.Type, b.Dir, 0, info), kResultOk);
    EXPECT_EQ(info.channelCount, b.Channels);
    EXPECT_EQ(Text(info.name), b.Name);
    EXPECT_EQ(info.busType, kMain);
    EXPECT_EQ(info.flags, kDefaultActive);
    EXPECT_EQ(c.getBusInfo(b.Type, b.Dir, 1, info), kInvalidArgument);
  }
  EXPECT_EQ(fx.Processor->canProcessSampleSize(kSample32), kResultTrue);
  EXPECT_EQ(fx.Processor->canProcessSampleSize(kSample64), kResultFalse);
  SpeakerArrangement mono = 1, stereo = kSpeakerStereo;
  EXPECT_EQ(fx.Processor->setBusArrangements(&mono, 1, &stereo, 1), kResultFalse);
  EXPECT_EQ(fx.Processor->setBusArrangements(&stereo, 1, &stereo, 1), kResultTrue);
  ProcessSetup doubles{kRealtime, kSample64, 512, 48000.0};
  EXPECT_EQ(fx.Processor->setupProcessing(doubles), kResultFalse);
  // Any block size.
  for (int32 block : {1, 7, 100000}) {
    ProcessSetup setup{kOffline, kSample32, block, 44100.0};
    EXPECT_EQ(fx.Processor->setupProcessing(setup), kResultOk) << block;
  }
}

// ---------------------------------------------------------------------------------------------
// Parameters

TEST(Vst3Parameters, TheFiveAndABypassWithTheCoresTexts) {
  TInstance fx(Module());
  ASSERT_TRUE(fx.Valid());
  IEditController& e = *fx.Controller;
  ASSERT_EQ(e.getParameterCount(), ppCount + 1);
  for (int32_t i = 0; i < ppCount; ++i) {
    const TParameterDescription& d = kParameters[i];
    SCOPED_TRACE(d.Name);
    ParameterInfo info;
    ASSERT_EQ(e.getParameterInfo(i, info), kResultOk);
    EXPECT_EQ(info.id, static_cast<ParamID>(i));
    EXPECT_EQ(Text(info.title), d.Name);
    EXPECT_EQ(Text(info.units), d.Units);
    EXPECT_EQ(info.stepCount, d.Kind == TParameterKind::Number   ? static_cast<int32>(d.Max)
                              : d.Kind == TParameterKind::Switch ? 1
                                                                 : 0);
    EXPECT_EQ(info.defaultNormalizedValue, DefaultReal(i) / d.Max);
    EXPECT_EQ(info.flags, kCanAutomate);
    EXPECT_EQ(e.getParamNormalized(info.id), info.defaultNormalizedValue);
    EXPECT_EQ(e.normalizedParamToPlain(info.id, 0.5), d.Max / 2);
    EXPECT_EQ(e.plainParamToNormalized(info.id, d.Max), 1.0);
  }
  ParameterInfo bypass;
  ASSERT_EQ(e.getParameterInfo(ppCount, bypass), kResultOk);
  EXPECT_EQ(bypass.id, kBypass);
  EXPECT_EQ(bypass.flags, kCanAutomate | kIsBypass);
  EXPECT_EQ(bypass.stepCount, 1);
  EXPECT_EQ(bypass.defaultNormalizedValue, 0.0);
  EXPECT_EQ(e.getParameterInfo(ppCount + 1, bypass), kInvalidArgument);

  // Texts as the core writes them; parsing through the core, out of range to the ends.
  struct TCase {
    ParamID Id;
    double Normalized;
    const char* Shown;
  };
  const TCase shown[] = {
      {ppOversampling, 8.0 / 128, "8.00"}, {ppQuantizer, 0.5, "12.00"}, {ppDither, 0.25, "0.25"},
      {ppNoiseShaper, 1.0, "1.00"},        {kBypass, 1.0, "On"},        {kBypass, 0.2, "Off"}};
  for (const TCase& c : shown) {
    String128 text;
    ASSERT_EQ(e.getParamStringByValue(c.Id, c.Normalized, text), kResultOk);
    EXPECT_EQ(Text(text), c.Shown);
    std::u16string wide = Wide(c.Shown);
    ParamValue back = -1;
    ASSERT_EQ(e.getParamValueByString(c.Id, wide.data(), back), kResultOk) << c.Shown;
    EXPECT_EQ(back, c.Id == kBypass ? (c.Normalized >= 0.5 ? 1.0 : 0.0) : c.Normalized);
  }
  struct TParse {
    ParamID Id;
    const char* Text;
    bool Ok;
    double Normalized;
  };
  const TParse parsed[] = {
      {ppOversampling, " 16 x", true, 16.0 / 128},
      {ppQuantizer, "1e9", true, 1.0},
      {ppDither, "0,5", true, 0.5},
      {ppDither, "-3", true, 0.0},
      {ppDither, "half", false, 0},
      {ppQuantizer, "", false, 0},
      {ppQuantizer, "nan", false, 0},
      {kBypass, "maybe", false, 0},
      {99, "1", false, 0},
  };
  for (const TParse& p : parsed) {
    std::u16string wide = Wide(p.Text);
    ParamValue v = -1;
    EXPECT_EQ(e.getParamValueByString(p.Id, wide.data(), v) == kResultOk, p.Ok) << p.Text;
    if (p.Ok) {
      EXPECT_EQ(v, p.Normalized) << p.Text;
    }
  }
  std::u16string beyondAscii = u"1\u00e9";
  ParamValue v = 0;
  EXPECT_NE(e.getParamValueByString(ppDither, beyondAscii.data(), v), kResultOk);
}

// ---------------------------------------------------------------------------------------------
// State

TEST(Vst3State, RoundTripsAndFollowsIntoTheController) {
  TVst3 a(Module());
  ASSERT_TRUE(a.Instance.Valid());
  const float real[ppCount] = {8, 5, 1, 0.3f, 0.75f};
  a.Set(real);
  std::vector<float> l(16), r(16);
  float* io[] = {l.data(), r.data()};
  a.Run(io, io, 16);
  const std::vector<uint8_t> saved = a.Instance.State();
  TStateValues expected{0, {}};
  std::memcpy(expected.Real, real, sizeof(real));
  EXPECT_EQ(saved, SaveState(expected));

  TInstance b(Module());
  ASSERT_TRUE(b.Valid());
  ASSERT_TRUE(b.Restore(saved));
  EXPECT_EQ(b.State(), saved);
  for (int32_t i = 0; i < ppCount; ++i)
    EXPECT_EQ(b.Controller->getParamNormalized(static_cast<ParamID>(i)),
              static_cast<double>(real[i]) / kParameters[i].Max);
}

TEST(Vst3State, AStreamThatIsNoWholeStateIsRefusedAndChangesNothing) {
  TInstance fx(Module());
  ASSERT_TRUE(fx.Valid());
  TStateValues values{1, {4, 6, 1, 1, 0.5f}};
  const std::vector<uint8_t> good = SaveState(values);
  ASSERT_TRUE(fx.Restore(good));
  const std::vector<uint8_t> before = fx.State();

  struct TCase {
    const char* Name;
    std::vector<uint8_t> Bytes;
    size_t FailAfter = SIZE_MAX;
  };
  std::vector<uint8_t> truncated(good.begin(), good.end() - 1), longer = good, foreign = good,
                                                                nan = good;
  longer.push_back(0);
  foreign[0] = 'X';
  const float bad = kNaN;
  std::memcpy(nan.data() + nan.size() - 4, &bad, 4);
  const TCase cases[] = {
      {"empty", {}},
      {"truncated", truncated},
      {"a byte after the last entry", longer},
      {"foreign magic", foreign},
      {"a value that is not a number", nan},
      {"a stream whose reading fails half way", good, good.size() / 2},
      {"noise", std::vector<uint8_t>(5000, 0xA5)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream s(c.Bytes);
    s.FailReadsAfter = c.FailAfter;
    EXPECT_EQ(fx.Component->setState(&s), kResultFalse);
    TMemoryStream t(c.Bytes);
    t.FailReadsAfter = c.FailAfter;
    EXPECT_EQ(fx.Controller->setComponentState(&t), kResultFalse);
    EXPECT_EQ(fx.State(), before);
    EXPECT_EQ(fx.Controller->getParamNormalized(ppOversampling), 4.0 / 128);
  }
  EXPECT_EQ(fx.Component->setState(nullptr), kResultFalse);
  EXPECT_EQ(fx.Component->getState(nullptr), kInvalidArgument);
}

// ---------------------------------------------------------------------------------------------
// Sound

struct TSetting {
  const char* Name;
  float First[ppCount];
  float Then[ppCount];
};
const TSetting kSettings[] = {
    {"defaults", {1, 24, 0, 0, 0}, {1, 24, 0, 0, 0}},
    {"oversampling 8, 4 bits, dither, feedback", {8, 4, 1, 1, 0}, {8, 4, 1, 1, 0}},
    {"one bit, feedback from the middle", {1, 1, 0, 0, 0}, {1, 1, 0, 1, 0}},
    {"partial dither, switch at its threshold",
     {2, 12, 0.25f, 0.5f, 0.5f},
     {3, 12, 0.8f, 0.49f, 0}},
    {"beyond the ranges and not a number", {300, 99, kNaN, 7, 2}, {-1, 6, 1.5f, kInf, kNaN}},
    {"ratio and word length 0, then the defaults", {0, 0, 0, 0, 0}, {1, 24, 0, 0, 0}},
};
const std::vector<uint32_t> kBlockSizes[] = {{1}, {64}, {1000}, {8192}, {3, 8192, 1, 500, 64, 7}};

TEST(Vst3Sound, EverySampleIsTheVst2BuildsForTheSameSettingsAndBlocks) {
  for (const TSetting& s : kSettings)
    for (const auto& sizes : kBlockSizes)
      for (bool inPlace : {true, false}) {
        SCOPED_TRACE(std::string(s.Name) + ", first block " + std::to_string(sizes[0]) +
                     (inPlace ? ", in place" : ", separate buffers"));
        TFreshPair fresh;
        TVst3 vst3(fresh.Vst3);
        TVst2 vst2(fresh.Vst2);
        ASSERT_TRUE(vst3.Instance.Valid());
        ASSERT_NE(vst2.E, nullptr);
        const auto a = Render(vst3, s.First, s.Then, sizes, inPlace);
        const auto b = Render(vst2, s.First, s.Then, sizes, inPlace);
        for (int ch = 0; ch < 2; ++ch) {
          const long d = FirstDifference(a[ch], b[ch]);
          ASSERT_EQ(d, -1) << "channel " << ch << ": vst3 " << a[ch][d] << ", vst2 " << b[ch][d];
        }
      }
}

// Changes inside a block take effect at their offsets: the block sounds as the VST 2 build's
// blocks split at the same frames.
TEST(Vst3Sound, ChangesInsideABlockApplyAtTheirOffsets) {
  struct TChange {
    int32 Offset;
    int32_t Index;
    float Real;
  };
  const TChange changes[] = {
      {0, ppOversampling, 4},     {0, ppQuantizer, 3},
      {1, ppNoiseShaper, 1},      {333, ppDither, 1},
      {333, ppQuantizer, 8},      {333, ppQuantizer, 2}, // the later one holds
      {700, ppNoiseShaper, 0.2f}, {999, ppOversampling, 16},
  };
  constexpr int32 kBlock = 1000;
  TFreshPair fresh;
  TVst3 vst3(fresh.Vst3);
  TVst2 vst2(fresh.Vst2);
  ASSERT_TRUE(vst3.Instance.Valid());
  std::array<std::vector<float>, 2> a{Signal(0), Signal(1)}, b = a;
  for (int32 block = 0; block < 3; ++block) {
    const size_t at = static_cast<size_t>(block) * kBlock;
    // The host's queues, with the points of one parameter in order.
    for (const TChange& c : changes)
      vst3.Pending.Add(static_cast<ParamID>(c.Index), c.Offset,
                       Normalized(c.Index, c.Real + block));
    float* io3[] = {a[0].data() + at, a[1].data() + at};
    vst3.Run(io3, io3, kBlock);
    int32 done = 0;
    for (const TChange& c : changes) {
      if (c.Offset > done) {
        float* io2[] = {b[0].data() + at + done, b[1].data() + at + done};
        vst2.Run(io2, io2, static_cast<uint32_t>(c.Offset - done));
        done = c.Offset;
      }
      vst2.TRecord::Set(c.Index, (c.Real + block) / kParameters[c.Index].Max);
    }
    float* io2[] = {b[0].data() + at + done, b[1].data() + at + done};
    vst2.Run(io2, io2, static_cast<uint32_t>(kBlock - done));
  }
  for (int ch = 0; ch < 2; ++ch)
    EXPECT_EQ(FirstDifference(a[ch], b[ch]), -1) << ch;
}

TEST(Vst3Sound, BypassGivesTheInputBitForBitFromItsOffset) {
  TVst3 fx(Module());
  ASSERT_TRUE(fx.Instance.Valid());
  const float coarse[ppCount] = {4, 2, 1, 1, 0};
  fx.Set(coarse);
  constexpr int32 kBlock = 512;
  std::array<std::vector<float>, 2> out{std::vector<float>(kBlock), std::vector<float>(kBlock)};
  std::array<std::vector<float>, 2> in{
      std::vector<float>(Signal(0).begin() + 700, Signal(0).begin() + 700 + kBlock),
      std::vector<float>(Signal(1).begin() + 700, Signal(1).begin() + 700 + kBlock)};
  float* ins[] = {in[0].data(), in[1].data()};
  float* outs[] = {out[0].data(), out[1].data()};
  // On from frame 100 to 300 (a value between the states counts from the middle), and a change
  // of the effect's while bypassed, heard once the bypass is off.
  fx.Pending.Add(kBypass, 100, 0.7);
  fx.Pending.Add(kBypass, 300, 0.3);
  fx.Pending.Add(ppQuantizer, 200, Normalized(ppQuantizer, 1));
  fx.Run(ins, outs, kBlock);
  for (int ch = 0; ch < 2; ++ch) {
    for (int32 i = 100; i < 300; ++i)
      ASSERT_EQ(std::bit_cast<uint32_t>(out[ch][i]), std::bit_cast<uint32_t>(in[ch][i])) << i;
    int differ = 0;
    for (int32 i = 0; i < 100; ++i)
      differ += out[ch][i] != in[ch][i];
    EXPECT_GT(differ, 50) << "the effect before the bypass";
    for (int32 i = 300; i < kBlock; ++i)
      ASSERT_LE(std::fabs(out[ch][i]), 2.0f) << i;
  }
  // Whole blocks in place: the buffers stay as they are, the non-finite samples too.
  fx.Pending.Add(kBypass, 0, 1.0);
  std::array<std::vector<float>, 2> io{Signal(0), Signal(1)};
  float* ios[] = {io[0].data(), io[1].data()};
  fx.Run(ios, ios, static_cast<uint32_t>(io[0].size()));
  for (int ch = 0; ch < 2; ++ch)
    EXPECT_EQ(FirstDifference(io[ch], Signal(ch)), -1);
}

// A new activation forgets the loop's memories: the instance then renders as a new one does.
TEST(Vst3Sound, ActivationStartsTheLoopAfresh) {
  const float s[ppCount] = {8, 3, 0, 1, 0};
  auto render = [&s](TVst3& fx) {
    fx.Set(s);
    std::array<std::vector<float>, 2> io{Signal(0), Signal(1)};
    for (size_t at = 0; at < 4096; at += 333) {
      float* p[] = {io[0].data() + at, io[1].data() + at};
      fx.Run(p, p, static_cast<uint32_t>(std::min<size_t>(333, 4096 - at)));
    }
    return io;
  };
  TVst3 used(Module()), fresh(Module());
  ASSERT_TRUE(used.Instance.Valid() && fresh.Instance.Valid());
  render(used);
  used.Instance.Stop();
  used.Instance.Start(333);
  const auto again = render(used), first = render(fresh);
  for (int ch = 0; ch < 2; ++ch)
    EXPECT_EQ(FirstDifference(again[ch], first[ch]), -1) << ch;
}

// A block of no frames (a host's flush of parameters) takes the changes and touches no audio.
TEST(Vst3Sound, AFlushWithoutAudioTakesTheChanges) {
  TVst3 fx(Module());
  ASSERT_TRUE(fx.Instance.Valid());
  fx.Pending.Add(ppOversampling, 0, 2.0 / 128);
  ProcessData data{};
  data.symbolicSampleSize = kSample32;
  data.inputParameterChanges = &fx.Pending;
  EXPECT_EQ(fx.Instance.Processor->process(data), kResultOk);
  TStateValues state{};
  const std::vector<uint8_t> saved = fx.Instance.State();
  ASSERT_TRUE(LoadState(saved.data(), saved.size(), state));
  EXPECT_EQ(state.Real[ppOversampling], 2.0f);
  data.symbolicSampleSize = kSample64;
  EXPECT_EQ(fx.Instance.Processor->process(data), kInvalidArgument);
}

// ---------------------------------------------------------------------------------------------
// Notes

TEST(Vst3Midi, NotesComeBackAtTheirOffsets) {
  TVst3 fx(Module());
  ASSERT_TRUE(fx.Instance.Valid());
  auto on = [](int32 offset, int16 channel, int16 pitch, float velocity) {
    Event e{};
    e.sampleOffset = offset;
    e.type = kNoteOnEvent;
    e.noteOn = {channel, pitch, 0.0f, velocity, 0, -1};
    return e;
  };
  auto off = [](int32 offset, int16 channel, int16 pitch, float velocity) {
    Event e{};
    e.sampleOffset = offset;
    e.type = kNoteOffEvent;
    e.noteOff = {channel, pitch, velocity, -1, 0.0f};
    return e;
  };
  TEventList in, out;
  in.Events = {on(0, 0, 60, 100 / 127.0f), off(17, 5, 61, 0.5f), on(40, 15, 127, 1.0f)};
  Event data{};
  data.type = kDataEvent;
  data.sampleOffset = 3;
  in.Events.push_back(data);
  std::vector<float> l(64), r(64);
  float* io[] = {l.data(), r.data()};
  fx.Instance.Process(io, io, 64, nullptr, &in, &out);
  ASSERT_EQ(out.Events.size(), 3u);
  const Event& a = out.Events[0];
  EXPECT_EQ(a.type, kNoteOnEvent);
  EXPECT_EQ(a.sampleOffset, 0);
  EXPECT_EQ(a.noteOn.pitch, 60);
  EXPECT_EQ(a.noteOn.velocity, 100 / 127.0f);
  const Event& b = out.Events[1];
  EXPECT_EQ(b.type, kNoteOffEvent);
  EXPECT_EQ(b.sampleOffset, 17);
  EXPECT_EQ(b.noteOff.channel, 5);
  EXPECT_EQ(b.noteOff.pitch, 61);
  EXPECT_EQ(b.noteOff.velocity, 64 / 127.0f);
  EXPECT_EQ(out.Events[2].noteOn.channel, 15);
  EXPECT_EQ(out.Events[2].sampleOffset, 40);
  // Without an output list the notes go nowhere, and nothing breaks.
  EXPECT_EQ(fx.Instance.Process(io, io, 64, nullptr, &in, nullptr), kResultOk);
}

// ---------------------------------------------------------------------------------------------
// Threads

// A host's main thread writes the controller and swaps whole states while its audio thread runs
// blocks with changes: the state the component saves right after is the one just set, never
// the one before it nor a mix of the two.
TEST(Vst3Threads, StatesSetWhileAudioRunsArriveWhole) {
  TVst3 fx(Module());
  ASSERT_TRUE(fx.Instance.Valid());
  const std::vector<uint8_t> one = SaveState({0, {2, 2, 0, 0, 0}}),
                             two = SaveState({0, {16, 20, 1, 1, 1}});
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  // Blocks of one frame, each with a change the host already sent: the processing hands its
  // values back after every block.
  std::thread audio([&] {
    float l = 0.25f, r = -0.25f;
    float* io[] = {&l, &r};
    TParamChanges same;
    while (!stop.load()) {
      same.Clear();
      same.Add(ppErrorFilter, 0, 0.0);
      fx.Instance.Process(io, io, 1, &same);
      ++blocks;
    }
  });
  while (blocks.load() == 0)
    std::this_thread::yield();
  int mixed = 0;
  const int started = blocks.load();
  for (int i = 0; i < 20000 || blocks.load() < started + 20000; ++i) {
    ASSERT_TRUE(fx.Instance.Restore(i % 2 ? one : two));
    fx.Instance.Controller->setParamNormalized(ppDither, (i % 7) / 7.0);
    std::vector<uint8_t> now = fx.Instance.State();
    // The error filter the audio thread sets to 0 may have reached the state; nothing else.
    TStateValues v{};
    ASSERT_TRUE(LoadState(now.data(), now.size(), v));
    v.Real[ppErrorFilter] = i % 2 ? 0.0f : 1.0f;
    now = SaveState(v);
    mixed += now != (i % 2 ? one : two);
  }
  stop = true;
  audio.join();
  EXPECT_EQ(mixed, 0) << "states saved other than the one just set";
}

// ---------------------------------------------------------------------------------------------
// The editor

// The host's side of a gesture: the calls as text, in order.
class TRecordingHandler final : public TOwned<IComponentHandler> {
public:
  TRecordingHandler() : TOwned(kIComponentHandlerIid) {}
  tresult QL_VST3_CALL beginEdit(ParamID id) override {
    Calls.push_back("begin " + std::to_string(id));
    return kResultOk;
  }
  tresult QL_VST3_CALL performEdit(ParamID id, ParamValue v) override {
    Calls.push_back("perform " + std::to_string(id) + " " + std::to_string(v * 128));
    return kResultOk;
  }
  tresult QL_VST3_CALL endEdit(ParamID id) override {
    Calls.push_back("end " + std::to_string(id));
    return kResultOk;
  }
  tresult QL_VST3_CALL restartComponent(int32) override { return kResultOk; }
  std::vector<std::string> Calls;
};

// A frame whose run loop records what the view registers.
class TRecordingFrame final : public IPlugFrame, public IRunLoop {
public:
  tresult QL_VST3_CALL queryInterface(const char* iid, void** obj) override {
    *obj = nullptr;
    if (SameUid(iid, kIPlugFrameIid) || SameUid(iid, kFUnknownIid))
      *obj = static_cast<IPlugFrame*>(this);
    else if (SameUid(iid, kIRunLoopIid))
      *obj = static_cast<IRunLoop*>(this);
    else
      return kNoInterface;
    ++Refs;
    return kResultOk;
  }
  uint32 QL_VST3_CALL addRef() override { return ++Refs; }
  uint32 QL_VST3_CALL release() override { return --Refs; }
  tresult QL_VST3_CALL resizeView(IPlugView*, ViewRect*) override { return kResultOk; }
  tresult QL_VST3_CALL registerEventHandler(IEventHandler* h, FileDescriptor fd) override {
    Calls.push_back("register fd");
    Events = h;
    Fd = fd;
    return kResultOk;
  }
  tresult QL_VST3_CALL unregisterEventHandler(IEventHandler*) override {
    Calls.push_back("unregister fd");
    Events = nullptr;
    return kResultOk;
  }
  tresult QL_VST3_CALL registerTimer(ITimerHandler* h, TimerInterval ms) override {
    Calls.push_back("register timer " + std::to_string(ms));
    Timer = h;
    return kResultOk;
  }
  tresult QL_VST3_CALL unregisterTimer(ITimerHandler*) override {
    Calls.push_back("unregister timer");
    Timer = nullptr;
    return kResultOk;
  }
  int Refs = 0;
  std::vector<std::string> Calls;
  ITimerHandler* Timer = nullptr;
  IEventHandler* Events = nullptr;
  FileDescriptor Fd = -1;
};

struct Vst3Editor : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(Fx.Valid());
    void* obj = nullptr;
    ASSERT_EQ(Fx.Component->queryInterface(kIQuantaloopEditorDriveIid.Bytes, &obj), kResultOk);
    Drive = static_cast<IQuantaloopEditorDrive*>(obj);
    TEditorDrive headless{.Command = edcUseHeadless, .Value = 1};
    ASSERT_EQ(Drive->driveEditor(&headless), 1);
    ASSERT_EQ(Fx.Controller->setComponentHandler(&Handler), kResultOk);
  }
  void TearDown() override {
    if (Drive) Drive->release();
  }
  IPlugView* Open() {
    IPlugView* view = Fx.Controller->createView(kEditorViewType);
    EXPECT_NE(view, nullptr);
    if (!view) return nullptr;
    EXPECT_EQ(view->setFrame(&Frame), kResultOk);
    EXPECT_EQ(view->attached(nullptr, kPlatformTypeX11EmbedWindowID), kResultOk);
    Advance(100);
    return view;
  }
  int32 Pointer(TEditorDriveCommand command, int x, int y, uint32_t shift = 0) {
    TEditorDrive d{.Command = command, .X = x, .Y = y, .Shift = shift};
    return Drive->driveEditor(&d);
  }
  void Advance(uint32_t ms) {
    TEditorDrive d{.Command = edcAdvance, .Milliseconds = ms};
    EXPECT_EQ(Drive->driveEditor(&d), 1);
  }
  // The dither block's part of the window, where its switch shows; the logo pulses elsewhere.
  std::vector<uint32_t> DitherBlock() {
    const std::vector<uint32_t> all = Pixels();
    std::vector<uint32_t> block;
    for (int y = 13; y < 148; ++y)
      block.insert(block.end(), all.begin() + y * 1001 + 414, all.begin() + y * 1001 + 640);
    return block;
  }
  std::vector<uint32_t> Pixels() {
    std::vector<uint32_t> pixels(1001 * 579);
    TEditorDrive d{.Command = edcPixels, .Width = 1001, .Height = 579, .Pixels = pixels.data()};
    EXPECT_EQ(Drive->driveEditor(&d), 1);
    EXPECT_EQ(d.Width, 1001);
    EXPECT_EQ(d.Height, 579);
    return pixels;
  }

  // The host's objects outlive the instance, which lets go of them when it goes.
  TRecordingHandler Handler;
  TRecordingFrame Frame;
  TInstance Fx{Module()};
  IQuantaloopEditorDrive* Drive = nullptr;
};

TEST_F(Vst3Editor, AViewOfFixedSizeForThisPlatformsWindows) {
  IPlugView* view = Fx.Controller->createView("other");
  EXPECT_EQ(view, nullptr);
  view = Fx.Controller->createView(kEditorViewType);
  ASSERT_NE(view, nullptr);
#ifdef _WIN32
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
#else
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
#endif
  ViewRect r{};
  ASSERT_EQ(view->getSize(&r), kResultOk);
  EXPECT_EQ(r.right - r.left, 1001);
  EXPECT_EQ(r.bottom - r.top, 579);
  EXPECT_EQ(view->canResize(), kResultFalse);
  ViewRect wish{10, 10, 500, 500};
  EXPECT_EQ(view->checkSizeConstraint(&wish), kResultOk);
  EXPECT_EQ(wish.right - wish.left, 1001);
  EXPECT_EQ(wish.bottom - wish.top, 579);
  // Nothing to remove before it is attached.
  EXPECT_EQ(view->removed(), kResultFalse);
  view->release();
}

// A click on the oversampling number is one gesture: begin, the value, end, as the handler
// hears it; a drag whose release the window never sees still ends its gesture.
TEST_F(Vst3Editor, GesturesReachTheHostAsEdits) {
  IPlugView* view = Open();
  ASSERT_NE(view, nullptr);
  Pointer(edcMove, 150, 190);
  ASSERT_EQ(Pointer(edcPress, 150, 190, edsLeft), 1);
  Pointer(edcRelease, 150, 190);
  Advance(1000);
  const std::vector<std::string> click = {"begin 0", "perform 0 2.000000", "end 0"};
  EXPECT_EQ(Handler.Calls, click);
  EXPECT_EQ(Fx.Controller->getParamNormalized(ppOversampling), 2.0 / 128);

  Handler.Calls.clear();
  Pointer(edcPress, 150, 190, edsLeft);
  Pointer(edcCaptureLost, 0, 0);
  Pointer(edcMove, 150, 150, edsLeft);
  Pointer(edcRelease, 150, 150);
  Advance(1000);
  const std::vector<std::string> lost = {"begin 0", "perform 0 3.000000", "end 0"};
  EXPECT_EQ(Handler.Calls, lost);

  // Closing with a drag under way ends it.
  Handler.Calls.clear();
  Pointer(edcPress, 150, 190, edsLeft);
  EXPECT_EQ(view->removed(), kResultOk);
  ASSERT_FALSE(Handler.Calls.empty());
  EXPECT_EQ(Handler.Calls.back(), "end 0");
  EXPECT_EQ(Pointer(edcPress, 150, 190), 0) << "no window after removed";
  view->release();
}

// What the host sets shows in the window; closed and opened again, it shows the stored values.
TEST_F(Vst3Editor, HostChangesShowAndSurviveReopening) {
  IPlugView* view = Open();
  ASSERT_NE(view, nullptr);
  const std::vector<uint32_t> before = DitherBlock();
  ASSERT_EQ(Fx.Controller->setParamNormalized(ppDither, 1.0), kResultOk);
  Advance(200);
  const std::vector<uint32_t> dither = DitherBlock();
  EXPECT_NE(before, dither);
  view->removed();
  view->release();

  view = Open();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(DitherBlock(), dither) << "the reopened window shows the stored dither";
  EXPECT_TRUE(Handler.Calls.empty()) << "host-side changes are not the user's edits";
  view->removed();
  view->release();
}

// The view takes the run loop from the frame while attached and gives it back when removed.
TEST_F(Vst3Editor, TheRunLoopServesTheWindowWhileItIsAttached) {
  IPlugView* view = Open();
  ASSERT_NE(view, nullptr);
#ifndef _WIN32
  ASSERT_NE(Frame.Timer, nullptr);
  EXPECT_EQ(Frame.Calls.front(), "register timer 20");
  Frame.Timer->onTimer(); // served like an idle call
  EXPECT_GT(Frame.Refs, 0);
#endif
  view->removed();
  EXPECT_EQ(Frame.Timer, nullptr);
  EXPECT_EQ(Frame.Events, nullptr);
  EXPECT_EQ(Frame.Refs, 0) << "the run loop is released";
  view->release();
}

// Named for the x11 stage, which runs it against Xvfb; elsewhere it skips itself. The window
// inside a host's X window is served by the run loop alone: its timer and its X connection's
// descriptor, as a host polls it.
class X11Vst3View : public Vst3Editor {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY") || !(FDisplay = XOpenDisplay(nullptr)))
      GTEST_SKIP() << "no X display";
    Vst3Editor::SetUp();
    TEditorDrive native{.Command = edcUseHeadless, .Value = 0};
    ASSERT_EQ(Drive->driveEditor(&native), 1);
    const int screen = DefaultScreen(FDisplay);
    XTestFakeMotionEvent(FDisplay, screen, DisplayWidth(FDisplay, screen) - 1,
                         DisplayHeight(FDisplay, screen) - 1, CurrentTime);
    FHostWindow = XCreateSimpleWindow(FDisplay, DefaultRootWindow(FDisplay), 0, 0, 1001, 579, 0, 0,
                                      BlackPixel(FDisplay, screen));
    XMapWindow(FDisplay, FHostWindow);
    XSync(FDisplay, False);
  }
  void TearDown() override {
    Vst3Editor::TearDown();
    if (FDisplay) {
      if (FHostWindow) XDestroyWindow(FDisplay, FHostWindow);
      XCloseDisplay(FDisplay);
    }
  }
  // The host's run loop for a while: the timer every 20 ms, the descriptor when it is readable.
  void RunLoopFor(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{Frame.Fd, POLLIN, 0};
      if (Frame.Events && ::poll(&p, 1, 20) > 0 && (p.revents & POLLIN))
        Frame.Events->onFDIsSet(Frame.Fd);
      if (Frame.Timer) Frame.Timer->onTimer();
    }
  }
  Display* FDisplay = nullptr;
  Window FHostWindow = 0;
};

TEST_F(X11Vst3View, TheRunLoopAloneServesTheEmbeddedWindow) {
  IPlugView* view = Fx.Controller->createView(kEditorViewType);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->setFrame(&Frame), kResultOk);
  ASSERT_EQ(view->attached(reinterpret_cast<void*>(FHostWindow), kPlatformTypeX11EmbedWindowID),
            kResultOk);
  const std::vector<std::string> registered = {"register timer 20", "register fd"};
  EXPECT_EQ(Frame.Calls, registered);
  ASSERT_GE(Frame.Fd, 0);
  EXPECT_NE(Frame.Fd, ConnectionNumber(FDisplay)) << "the editor has a connection of its own";
  // The editor's window is the host window's child.
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  ASSERT_TRUE(XQueryTree(FDisplay, FHostWindow, &root, &parent, &children, &count));
  EXPECT_EQ(count, 1u);
  if (children) XFree(children);
  RunLoopFor(300);

  XTestFakeMotionEvent(FDisplay, DefaultScreen(FDisplay), 150, 190, CurrentTime);
  XTestFakeButtonEvent(FDisplay, 1, True, CurrentTime);
  XTestFakeButtonEvent(FDisplay, 1, False, CurrentTime);
  XSync(FDisplay, False);
  RunLoopFor(400);
  const std::vector<std::string> click = {"begin 0", "perform 0 2.000000", "end 0"};
  EXPECT_EQ(Handler.Calls, click);

  Frame.Calls.clear();
  EXPECT_EQ(view->removed(), kResultOk);
  const std::vector<std::string> unregistered = {"unregister fd", "unregister timer"};
  EXPECT_EQ(Frame.Calls, unregistered);
  EXPECT_EQ(Frame.Refs, 0);
  XSync(FDisplay, False);
  ASSERT_TRUE(XQueryTree(FDisplay, FHostWindow, &root, &parent, &children, &count));
  EXPECT_EQ(count, 0u) << "the editor's window is gone";
  if (children) XFree(children);
  view->release();
}

} // namespace
