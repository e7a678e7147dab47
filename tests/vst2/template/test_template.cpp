// The template on its own: a small effect that configures it and records its hooks, driven
// through its record as a host drives it, and through the real-unit operations as the effect
// and the editor use them.
#include "EffectRecord.h"
#include "RecordingHost.h"
#include "vst2/template/DVstTemplate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using qltest::TRecord;
using qltest::TRecordingHost;

namespace {

class TTestEffect : public TVstTemplate {
public:
  TTestEffect(audioMasterCallback cb, TEditorFormClass form) : TVstTemplate(cb, 2, 5, form) {}

  void ProcessAudio(const float* const*, float* const* outputs, int32_t n) override {
    for (int32_t j = 0; j < OutputCount; ++j)
      for (int32_t i = 0; i < n; ++i)
        outputs[j][i] = HookValue;
    for (int k = 0; k < NotesPerBlock; ++k)
      QueueNoteOn(0, static_cast<uint8_t>(k & 0x7F), 100, k);
  }
  void ProcessMidiEvent(const VstMidiEvent& e) override { Received.push_back(e.deltaFrames); }

  float HookValue = 0.25f;
  int NotesPerBlock = 0;
  std::vector<int32_t> Received;
};

// A template effect with 2 programs, 5 parameters, two inputs and outputs; `configure` sets
// further configuration before the template applies it.
template <typename F = void (*)(TTestEffect&)>
TTestEffect* MakeEffect(
    F configure = [](TTestEffect&) {}, TEditorFormClass form = nullptr) {
  auto* fx = new TTestEffect(TRecordingHost::Callback(), form);
  fx->InputCount = 2;
  fx->OutputCount = 2;
  configure(*fx);
  fx->InitializeTemplate();
  return fx;
}

struct TemplateTest : ::testing::Test {
  TRecordingHost Host;
  TTestEffect* Fx = MakeEffect();
  TRecord R{Fx->getAeffect()};
  ~TemplateTest() override { R.Close(); }
};

TEST_F(TemplateTest, FreshTemplateHasDefaultNamesAndZeroValues) {
  EXPECT_EQ(R.Text(effGetProgramName), "Init");
  for (int i = 0; i < 5; ++i) {
    std::string expected = "Parameter ";
    expected += std::to_string(i);
    EXPECT_EQ(R.Text(effGetParamName, i), expected);
    EXPECT_EQ(R.Get(i), 0.0f);
  }
  char name[64] = {};
  EXPECT_EQ(R.Dispatch(effGetProgramNameIndexed, 1, 0, name), 1);
  EXPECT_STREQ(name, "Init");
  EXPECT_TRUE(Fx->NeedsEditorUpdate.load());
}

TEST_F(TemplateTest, ConstructionReportsBothPinCountsToTheHost) {
  EXPECT_EQ(Host.RequestsOf(audioMasterIOChanged).size(), 2u);
  EXPECT_EQ(Fx->getAeffect()->numInputs, 2);
  EXPECT_EQ(Fx->getAeffect()->numOutputs, 2);
}

TEST_F(TemplateTest, SetParameterClampsAndIgnoresIndicesOutOfRange) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct {
    float In, Stored;
  } cases[] = {{1.5f, 1.0f},
               {-0.2f, 0.0f},
               {nan, 0.0f},
               {0.25f, 0.25f},
               {std::numeric_limits<float>::infinity(), 1.0f}};
  for (auto c : cases) {
    R.Set(2, c.In);
    EXPECT_EQ(R.Get(2), c.Stored) << c.In;
  }
  Fx->NeedsEditorUpdate = false;
  for (VstInt32 index : {-1, 5, 1000}) {
    R.Set(index, 0.5f);
    EXPECT_EQ(R.Get(index), 0.0f) << index;
  }
  EXPECT_FALSE(Fx->NeedsEditorUpdate.load());
  R.Set(0, 0.5f);
  EXPECT_TRUE(Fx->NeedsEditorUpdate.load());
}

TEST_F(TemplateTest, ProgramsKeepTheirOwnValues) {
  R.Set(0, 0.75f);
  R.Dispatch(effSetProgram, 0, 2); // out of range: ignored
  EXPECT_EQ(R.Dispatch(effGetProgram), 0);
  Fx->NeedsEditorUpdate = false;
  R.Dispatch(effSetProgram, 0, -1); // reaches setProgram, which ignores it
  EXPECT_FALSE(Fx->NeedsEditorUpdate.load());

  R.Dispatch(effSetProgram, 0, 1);
  EXPECT_TRUE(Fx->NeedsEditorUpdate.load());
  EXPECT_EQ(R.Get(0), 0.0f);
  R.Set(0, 0.5f);
  char renamed[] = "Second";
  R.Dispatch(effSetProgramName, 0, 0, renamed);
  R.Dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(R.Get(0), 0.75f);
  EXPECT_EQ(R.Text(effGetProgramName), "Init");
  R.Dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(R.Get(0), 0.5f);

  char name[64] = "untouched";
  EXPECT_EQ(R.Dispatch(effGetProgramNameIndexed, 1, 77, name), 1);
  EXPECT_STREQ(name, "Second");
  std::strcpy(name, "untouched");
  EXPECT_EQ(R.Dispatch(effGetProgramNameIndexed, 2, 0, name), 0);
  EXPECT_EQ(R.Dispatch(effGetProgramNameIndexed, -1, 0, name), 0);
  EXPECT_STREQ(name, "untouched");
}

TEST_F(TemplateTest, RealValueOutsideTheRangeIsStoredClampedButReportedWhole) {
  TVstParameterProperty& p = *Fx->ParameterProperties[1];
  p.Max = 24.0f;
  std::vector<std::pair<int32_t, float>> changes;
  Fx->OnParameterChange = [&](int32_t i, float v) { changes.emplace_back(i, v); };
  Host.Clear();

  Fx->SetParameterReal(1, 32.0f);
  EXPECT_EQ(R.Get(1), 1.0f);
  ASSERT_EQ(Host.RequestsOf(audioMasterAutomate).size(), 1u);
  EXPECT_EQ(Host.RequestsOf(audioMasterAutomate)[0].Index, 1);
  EXPECT_EQ(Host.RequestsOf(audioMasterAutomate)[0].Opt, 32.0f / 24.0f);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], std::make_pair(1, 32.0f));
  EXPECT_EQ(Fx->GetParameterReal(1), 24.0f);

  // Host writes store without the event.
  R.Set(1, 0.5f);
  EXPECT_EQ(changes.size(), 1u);

  for (float x : {0.0f, 1.0f, 2.5f, 3.5f, 16.0f, 23.999f, 24.0f}) {
    Fx->SetParameterReal(1, x);
    EXPECT_FLOAT_EQ(Fx->GetParameterReal(1), x);
  }
}

TEST_F(TemplateTest, CurvesMapBothWays) {
  TVstParameterProperty& p = *Fx->ParameterProperties[0];
  struct {
    TParameterCurve Curve;
    float Real; // of normalised 0.5
  } cases[] = {{pcLinear, 0.5f},
               {pcExponential, 0.41421357f},
               {pcLogarithmic, 0.5849625f},
               {static_cast<TParameterCurve>(7), 0.5f}};
  for (auto c : cases) {
    p.Curve = c.Curve;
    R.Set(0, 0.5f);
    EXPECT_FLOAT_EQ(Fx->GetParameterReal(0), c.Real) << int(c.Curve);
    Fx->SetParameterReal(0, c.Real);
    EXPECT_NEAR(R.Get(0), 0.5f, 1e-6f) << int(c.Curve);
    for (float ends : {0.0f, 1.0f}) {
      R.Set(0, ends);
      EXPECT_FLOAT_EQ(Fx->GetParameterReal(0), ends);
    }
  }
}

TEST_F(TemplateTest, SmootherAdvancesOncePerRead) {
  TVstParameterProperty& p = *Fx->ParameterProperties[3];
  p.SmoothingFactor = 0.5f;
  R.Set(3, 1.0f);
  std::vector<float> reads;
  for (int i = 0; i < 4; ++i)
    reads.push_back(Fx->GetParameterReal(3));
  EXPECT_EQ(reads, (std::vector<float>{0.25f, 0.5f, 0.6875f, 0.8125f}));
}

TEST_F(TemplateTest, ParameterTextsAndUndefinedIndices) {
  TVstParameterProperty& p = *Fx->ParameterProperties[0];
  p.Max = 24.0f;
  std::strcpy(p.Units, "dB");
  R.Set(0, 1.0f);
  EXPECT_EQ(R.Text(effGetParamDisplay, 0), "24.00");
  EXPECT_EQ(R.Text(effGetParamLabel, 0), "dB");
  for (VstInt32 index : {-1, 5}) {
    EXPECT_EQ(R.Text(effGetParamName, index), "undefined");
    // Label and display answers are limited to the interface's 8 characters.
    EXPECT_EQ(R.Text(effGetParamLabel, index), "undefine");
    EXPECT_EQ(R.Text(effGetParamDisplay, index), "undefine");
  }
  p.Max = 1e30f;
  EXPECT_EQ(R.Text(effGetParamDisplay, 0).size(), 8u);
}

// Each answer written into a buffer filled with a marker: the answer must end where the
// interface's limit says, and the bytes after it stay as the host left them.
TEST(TemplateTexts, AnswersStopAtTheInterfaceLimits) {
  TRecordingHost host;
  const std::string long70(70, 'x');
  TTestEffect* fx = MakeEffect([&](TTestEffect& e) {
    e.EffectName = long70;
    e.VendorName = long70;
    e.ProductName = long70;
    std::strcpy(e.ParameterProperties[0]->Name, "A parameter name of thirty ch");
  });
  TRecord r{fx->getAeffect()};
  char renamed[] = "A program name that is much longer than twenty-four";
  r.Dispatch(effSetProgramName, 0, 0, renamed);

  struct {
    VstInt32 Opcode;
    size_t Chars;
  } cases[] = {{effGetEffectName, 32},
               {effGetVendorString, 64},
               {effGetProductString, 64},
               {effGetProgramName, 24},
               {effGetParamName, 29}};
  for (auto c : cases) {
    char buf[128];
    std::memset(buf, '#', sizeof(buf));
    r.Dispatch(c.Opcode, 0, 0, buf);
    EXPECT_EQ(std::strlen(buf), c.Chars) << c.Opcode;
    EXPECT_EQ(buf[c.Chars + 1], '#') << c.Opcode;
  }
  char indexed[128];
  std::memset(indexed, '#', sizeof(indexed));
  r.Dispatch(effGetProgramNameIndexed, 0, 0, indexed);
  EXPECT_EQ(std::string(indexed), std::string(renamed, 24));
  EXPECT_EQ(indexed[25], '#');
  r.Close();
}

TEST_F(TemplateTest, CanDoAnswersFromTheConfiguredSet) {
  // The fixture configured no capabilities.
  EXPECT_EQ(R.CanDo("receiveVstMidiEvent"), 0);
  R.Close();
  Fx = MakeEffect([](TTestEffect& e) {
    e.CanDos = SetOf<TVstCanDos, TVstCanDo>({vcdReceiveVstMidiEvent, vcdBypass, vcd8in8out});
  });
  R = TRecord{Fx->getAeffect()};
  for (int i = 0; i <= vcdBypass; ++i) {
    const bool set = i == vcdReceiveVstMidiEvent || i == vcdBypass || i == vcd8in8out;
    EXPECT_EQ(R.CanDo(kPlugCanDoStrings[i]), set ? 1 : 0) << kPlugCanDoStrings[i];
  }
  for (const char* s : {"Bypass", "", "2in2out ", "sendVstEvent", "unknown"})
    EXPECT_EQ(R.CanDo(s), -1) << '"' << s << '"';
}

TEST(TemplateIdentity, UniqueIdIsPaddedOrCutToFourCharacters) {
  TRecordingHost host;
  struct {
    const char* Text;
    VstInt32 Id;
  } cases[] = {{"QtLp", kFourCC('Q', 't', 'L', 'p')},
               {"ab", kFourCC('a', 'b', ' ', ' ')},
               {"abcdef", kFourCC('a', 'b', 'c', 'd')},
               {"", kFourCC(' ', ' ', ' ', ' ')}};
  for (auto c : cases) {
    TTestEffect* fx = MakeEffect([&](TTestEffect& e) { e.UniqueIdText = c.Text; });
    EXPECT_EQ(fx->getAeffect()->uniqueID, c.Id) << c.Text;
    TRecord{fx->getAeffect()}.Close();
  }
}

TEST(TemplateIdentity, EachEffectFlagSetsItsRecordBitAndNoOther) {
  TRecordingHost host;
  struct {
    TEffectFlag Element;
    VstInt32 Bit;
  } cases[] = {{efIsSynth, effFlagsIsSynth},
               {efHasVu, effFlagsHasVu},
               {efHasClip, effFlagsHasClip},
               {efCanMono, effFlagsCanMono},
               {efCanReplacing, effFlagsCanReplacing},
               {efProgramChunks, effFlagsProgramChunks},
               {efNoSoundInStop, effFlagsNoSoundInStop},
               {efExtIsAsync, effFlagsExtIsAsync},
               {efExtHasBuffer, effFlagsExtHasBuffer}};
  for (auto c : cases) {
    TTestEffect* fx = MakeEffect(
        [&](TTestEffect& e) { e.EffectFlags = SetOf<TEffectFlags, TEffectFlag>({c.Element}); });
    EXPECT_EQ(fx->getAeffect()->flags, c.Bit) << int(c.Element);
    TRecord{fx->getAeffect()}.Close();
  }
}

TEST_F(TemplateTest, PinsAreNumberedFromOneAndOnlyWithinTheCounts) {
  struct {
    VstInt32 Opcode;
    VstInt32 Index;
    VstIntPtr Answer;
    const char* Label;
  } cases[] = {
      {effGetInputProperties, 0, 1, "Input #1"},   {effGetInputProperties, 1, 1, "Input #2"},
      {effGetInputProperties, 2, 0, "host"},       {effGetInputProperties, -1, 0, "host"},
      {effGetOutputProperties, 1, 1, "Output #2"}, {effGetOutputProperties, 2, 0, "host"}};
  for (auto c : cases) {
    VstPinProperties pin{};
    std::strcpy(pin.label, "host");
    std::strcpy(pin.shortLabel, "short");
    pin.flags = 0x40;
    pin.arrangementType = 7;
    EXPECT_EQ(R.Dispatch(c.Opcode, c.Index, 0, &pin), c.Answer) << c.Label;
    EXPECT_STREQ(pin.label, c.Label);
    EXPECT_EQ(pin.flags, c.Answer ? 3 : 0x40);
    EXPECT_STREQ(pin.shortLabel, "short");
    EXPECT_EQ(pin.arrangementType, 7);
  }
}

struct TStereoBlock {
  explicit TStereoBlock(int n, float fill = 0.0f)
      : In(2, std::vector<float>(n, 0.0f)), Out(2, std::vector<float>(n, fill)) {}
  float** Ins() {
    p[0] = In[0].data();
    p[1] = In[1].data();
    return p;
  }
  float** Outs() {
    q[0] = Out[0].data();
    q[1] = Out[1].data();
    return q;
  }
  std::vector<std::vector<float>> In, Out;
  float* p[2];
  float* q[2];
};

TEST_F(TemplateTest, AccumulatingProcessAddsWhileReplacingOverwrites) {
  for (int n : {1, 64, 1024, 3000}) { // 3000 exceeds the block size and grows the scratch
    TStereoBlock acc(n, 0.5f), rep(n, 0.5f);
    R.Accumulate(acc.Ins(), acc.Outs(), n);
    R.Replace(rep.Ins(), rep.Outs(), n);
    for (int j = 0; j < 2; ++j) {
      EXPECT_EQ(acc.Out[j], std::vector<float>(n, 0.75f)) << n;
      EXPECT_EQ(rep.Out[j], std::vector<float>(n, 0.25f)) << n;
    }
  }
  // A second accumulating block gets a scratch buffer that starts from silence again.
  Fx->HookValue = 0.0f;
  TStereoBlock acc(16, 0.5f);
  R.Accumulate(acc.Ins(), acc.Outs(), 16);
  EXPECT_EQ(acc.Out[0], std::vector<float>(16, 0.5f));
}

TEST_F(TemplateTest, AccumulatingProcessAsksForTheTempo) {
  Host.Answer(audioMasterTempoAt, 1200000);
  TStereoBlock b(8);
  R.Accumulate(b.Ins(), b.Outs(), 8);
  EXPECT_EQ(Fx->Tempo, 120.0f);
  ASSERT_EQ(Host.RequestsOf(audioMasterTempoAt).size(), 1u);
  EXPECT_EQ(Host.RequestsOf(audioMasterTempoAt)[0].Value, 0);
  Host.Clear();
  R.Replace(b.Ins(), b.Outs(), 8);
  EXPECT_TRUE(Host.RequestsOf(audioMasterTempoAt).empty());
}

TEST_F(TemplateTest, AtMost255NotesLeavePerBlockAndTheQueueEmptiesEachTime) {
  Host.RecordMidi();
  Host.Answer(audioMasterProcessEvents, 0); // a rejecting host loses them; the queue resets
  Fx->NotesPerBlock = 300;
  TStereoBlock b(4);
  R.Replace(b.Ins(), b.Outs(), 4);
  Fx->NotesPerBlock = 3;
  R.Accumulate(b.Ins(), b.Outs(), 4);
  Fx->NotesPerBlock = 0;
  R.Replace(b.Ins(), b.Outs(), 4);

  auto sent = Host.RequestsOf(audioMasterProcessEvents);
  ASSERT_EQ(sent.size(), 2u);
  ASSERT_EQ(sent[0].Midi.size(), 255u);
  EXPECT_EQ(sent[0].Midi[254], (std::vector<int>{0x90, 254 & 0x7F, 100, 254}));
  EXPECT_EQ(sent[1].Midi.size(), 3u);
  auto* list = static_cast<VstEvents*>(sent[0].Ptr);
  auto* first = reinterpret_cast<VstMidiEvent*>(list->events[0]);
  EXPECT_EQ(first->type, kVstMidiType);
  EXPECT_EQ(first->byteSize, 24);
  EXPECT_EQ(list->reserved, 0);
}

TEST_F(TemplateTest, ProcessEventsPassesOnlyMidiEventsInOrder) {
  VstMidiEvent a{}, c{};
  a.type = c.type = kVstMidiType;
  a.deltaFrames = 1;
  c.deltaFrames = 3;
  VstEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.deltaFrames = 2;
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[3];
  } list{3, 0, {reinterpret_cast<VstEvent*>(&a), &sysex, reinterpret_cast<VstEvent*>(&c)}};
  EXPECT_EQ(R.Dispatch(effProcessEvents, 0, 0, &list), 1);
  EXPECT_EQ(Fx->Received, (std::vector<int32_t>{1, 3}));
}

TEST_F(TemplateTest, ResumeAsksForMidiAndSuspendAsksNothing) {
  Host.Clear();
  R.Dispatch(effMainsChanged, 0, 0);
  EXPECT_EQ(Host.Count(), 0u);
  R.Dispatch(effMainsChanged, 0, 1);
  ASSERT_EQ(Host.Count(), 1u);
  EXPECT_EQ(Host.Requests()[0].Opcode, audioMasterWantMidi);
  EXPECT_EQ(Host.Requests()[0].Value, 1);
}

// ---------------------------------------------------------------------------------------------
// Editor adapter, with a window class of the test's own.

struct TFakeForms {
  static inline int Alive = 0;
  static inline int Created = 0;
  static inline void* LastParent = nullptr;
  static inline bool Refuse = false;
};

struct TFakeForm : TEditorForm {
  TFakeForm(TVstTemplate& effect, void* parent) : Effect(&effect), Parent(parent) {
    ++TFakeForms::Alive;
    ++TFakeForms::Created;
  }
  ~TFakeForm() override { --TFakeForms::Alive; }
  int ClientWidth() const override { return 1001; }
  int ClientHeight() const override { return 579; }
  void SetBounds(int l, int t, int w, int h) override { Bounds = {l, t, w, h}; }
  void Link() override { ++Links; }
  void Idle() override { ++Idles; }

  TVstTemplate* Effect;
  void* Parent;
  std::vector<int> Bounds;
  int Links = 0;
  int Idles = 0;
};

TEditorForm* MakeFakeForm(TVstTemplate& effect, void* parent, bool /*headless*/) {
  TFakeForms::LastParent = parent;
  return TFakeForms::Refuse ? nullptr : new TFakeForm(effect, parent);
}

struct EditorAdapterTest : ::testing::Test {
  EditorAdapterTest() {
    TFakeForms::Alive = TFakeForms::Created = 0;
    TFakeForms::Refuse = false;
  }
  ~EditorAdapterTest() override {
    if (Fx) R.Close();
  }
  TVstTemplateEditor& Ed() { return *Fx->Editor(); }
  TFakeForm* Form() { return static_cast<TFakeForm*>(Ed().Form.get()); }
  ERect Rect() {
    ERect* r = nullptr;
    EXPECT_EQ(R.Dispatch(effEditGetRect, 0, 0, &r), 1);
    return r ? *r : ERect{-1, -1, -1, -1};
  }

  TRecordingHost Host;
  TTestEffect* Fx = MakeEffect([](TTestEffect&) {}, &MakeFakeForm);
  TRecord R{Fx->getAeffect()};
  int ParentA = 0, ParentB = 0;
};

auto Edges(ERect r) {
  return std::vector<int>{r.top, r.left, r.bottom, r.right};
}

TEST_F(EditorAdapterTest, OpenPlacesTheWindowAndLinksIt) {
  EXPECT_EQ(Fx->getAeffect()->flags & effFlagsHasEditor, effFlagsHasEditor);
  EXPECT_EQ(Edges(Rect()), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(R.Dispatch(effEditOpen, 0, 0, &ParentA), 1);
  ASSERT_NE(Form(), nullptr);
  EXPECT_EQ(Form()->Parent, &ParentA);
  EXPECT_EQ(Form()->Bounds, (std::vector<int>{0, 0, 1001, 579}));
  EXPECT_EQ(Form()->Effect, Fx);
  EXPECT_EQ(Form()->Links, 1);
  EXPECT_EQ(Edges(Rect()), (std::vector<int>{0, 0, 579, 1001}));
  R.Dispatch(effEditIdle);
  EXPECT_EQ(Form()->Idles, 1);

  R.Dispatch(effEditClose);
  EXPECT_EQ(TFakeForms::Alive, 0);
  EXPECT_EQ(Edges(Rect()), (std::vector<int>{0, 0, 579, 1001})); // the last window's size
  R.Dispatch(effEditIdle);                                       // no window: nothing
}

TEST_F(EditorAdapterTest, NestedOpensShareOneWindowInTheFirstParent) {
  R.Dispatch(effEditOpen, 0, 0, &ParentA);
  EXPECT_EQ(R.Dispatch(effEditOpen, 0, 0, &ParentB), 1);
  EXPECT_EQ(TFakeForms::Created, 1);
  EXPECT_EQ(Form()->Parent, &ParentA);
  EXPECT_EQ(Ed().ParentWindow, &ParentB);
  EXPECT_EQ(Ed().OpenCount, 2);
  R.Dispatch(effEditClose);
  EXPECT_EQ(TFakeForms::Alive, 1);
  R.Dispatch(effEditClose);
  EXPECT_EQ(TFakeForms::Alive, 0);
  EXPECT_EQ(Ed().ParentWindow, nullptr);
  R.Dispatch(effEditClose); // unmatched: harmless
  EXPECT_EQ(Ed().OpenCount, 0);

  R.Dispatch(effEditOpen, 0, 0, &ParentB); // a fresh window with a fresh link message
  EXPECT_EQ(TFakeForms::Created, 2);
  EXPECT_EQ(Form()->Links, 1);
}

TEST_F(EditorAdapterTest, RefusedWindowLeavesTheAdapterClosed) {
  TFakeForms::Refuse = true;
  EXPECT_EQ(R.Dispatch(effEditOpen, 0, 0, &ParentA), 0);
  EXPECT_EQ(TFakeForms::LastParent, &ParentA);
  EXPECT_EQ(Ed().OpenCount, 0);
  EXPECT_EQ(Ed().ParentWindow, nullptr);
  EXPECT_EQ(Ed().Form, nullptr);
  TFakeForms::Refuse = false;
  EXPECT_EQ(R.Dispatch(effEditOpen, 0, 0, &ParentB), 1);
  EXPECT_EQ(Ed().OpenCount, 1);
  EXPECT_EQ(Form()->Parent, &ParentB);
}

TEST_F(EditorAdapterTest, ClosingTheEffectDestroysAnOpenWindow) {
  R.Dispatch(effEditOpen, 0, 0, &ParentA);
  EXPECT_EQ(R.Dispatch(effClose), 1);
  Fx = nullptr;
  EXPECT_EQ(TFakeForms::Alive, 0);
}

} // namespace
