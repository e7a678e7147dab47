// The built plug-in library as a host sees it: loaded from disk, created through its exported
// entry and driven only through the record's entries.
#include "EffectRecord.h"
#include "PluginLibrary.h"
#include "RecordingHost.h"
#include "TestPaths.h"
#include "core/uParameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using qltest::THostRequest;
using qltest::TPluginLibrary;
using qltest::TRecord;
using qltest::TRecordingHost;

namespace {

TPluginLibrary& Library() {
  static TPluginLibrary library(qltest::PluginPath());
  return library;
}

// One instance created through `main`, closed through effClose.
struct TInstance : TRecord {
  explicit TInstance(qltest::TPluginEntry entry = Library().Entry("main"))
      : TRecord{entry ? entry(TRecordingHost::Callback()) : nullptr} {}
  ~TInstance() {
    if (E) Close();
  }
  TInstance(const TInstance&) = delete;
  TInstance& operator=(const TInstance&) = delete;

  // Runs `frames` frames of constant input per channel through processReplacing.
  std::vector<std::vector<float>> Run(float in0, float in1, int frames) const {
    std::vector<float> i0(frames, in0), i1(frames, in1), o0(frames, -9.0f), o1(frames, -9.0f);
    float* ins[] = {i0.data(), i1.data()};
    float* outs[] = {o0.data(), o1.data()};
    Replace(ins, outs, frames);
    return {o0, o1};
  }
  // Parameter values as the host writes them: real value / maximum.
  void SetReal(VstInt32 index, float real) const { Set(index, real / kParameters[index].Max); }
};

struct EffectTest : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(Library().Loaded()) << qltest::PluginPath(); }
  TRecordingHost Host;
};

TEST_F(EffectTest, HostOfVersionZeroGetsNothing) {
  Host.Answer(audioMasterVersion, 0);
  TInstance fx;
  EXPECT_EQ(fx.E, nullptr);
  ASSERT_EQ(Host.Count(), 1u);
  EXPECT_EQ(Host.Requests()[0].Opcode, audioMasterVersion);
  EXPECT_EQ(Host.Requests()[0].Effect, nullptr);
}

TEST_F(EffectTest, ConstructionTalksToTheHostInThisOrder) {
  TInstance fx;
  ASSERT_NE(fx.E, nullptr);
  struct {
    VstInt32 Opcode, Index;
    float Opt;
  } expected[] = {{audioMasterVersion, 0, 0.0f},           {audioMasterIOChanged, 0, 0.0f},
                  {audioMasterIOChanged, 0, 0.0f},         {audioMasterAutomate, 0, 0.0078125f},
                  {audioMasterAutomate, 1, 32.0f / 24.0f}, {audioMasterAutomate, 2, 0.0f},
                  {audioMasterAutomate, 3, 0.0f},          {audioMasterAutomate, 4, 0.0f}};
  const std::vector<THostRequest> requests = Host.Requests();
  ASSERT_EQ(requests.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const THostRequest& c = requests[i];
    EXPECT_EQ(c.Opcode, expected[i].Opcode) << i;
    EXPECT_EQ(c.Index, expected[i].Index) << i;
    EXPECT_EQ(c.Opt, expected[i].Opt) << i;
    EXPECT_EQ(c.Effect, i == 0 ? nullptr : fx.E) << i;
  }
  EXPECT_EQ(Host.Requests()[4].Opt, 1.3333334f);
}

TEST_F(EffectTest, RecordDescribesTheEffect) {
  TInstance fx;
  const AEffect& e = *fx.E;
  EXPECT_EQ(e.magic, kEffectMagic);
  EXPECT_EQ(e.flags, 0x19);
  EXPECT_EQ(e.numInputs, 2);
  EXPECT_EQ(e.numOutputs, 2);
  EXPECT_EQ(e.numPrograms, 2);
  EXPECT_EQ(e.numParams, 5);
  EXPECT_EQ(e.uniqueID, kFourCC('Q', 't', 'L', 'p'));
  EXPECT_EQ(e.version, 1);
  EXPECT_EQ(fx.Text(effGetEffectName), "Quantaloop");
  EXPECT_EQ(fx.Text(effGetProductString), "Quantaloop");
  EXPECT_EQ(fx.Text(effGetVendorString), "Brennholt");
  EXPECT_EQ(fx.Dispatch(effGetVendorVersion), 1);
}

TEST_F(EffectTest, BothExportedNamesMakeIndependentInstances) {
  TInstance a;
  TInstance b(Library().Entry("main"));
#ifndef _WIN32
  TInstance c(Library().Entry("VSTPluginMain"));
  ASSERT_NE(c.E, nullptr);
  EXPECT_EQ(c.E->flags, 0x19);
#endif
  ASSERT_NE(a.E, nullptr);
  ASSERT_NE(b.E, nullptr);
  EXPECT_NE(a.E, b.E);
  a.Set(0, 0.5f);
  EXPECT_EQ(a.Get(0), 0.5f);
  EXPECT_EQ(b.Get(0), 0.0078125f);
}

TEST_F(EffectTest, ParametersProgramsAndTextsAfterConstruction) {
  TInstance fx;
  struct {
    const char* Name;
    const char* Label;
    float Stored;
    const char* Display;
  } cases[] = {{"Oversampling", "x", 0.0078125f, "1.00"},
               {"Quantizer", "", 1.0f, "24.00"},
               {"Dither", "", 0.0f, "0.00"},
               {"NoiseShaper", "", 0.0f, "0.00"},
               {"ErrorFilter", "", 0.0f, "0.00"}};
  for (VstInt32 i = 0; i < 5; ++i) {
    EXPECT_EQ(fx.Text(effGetParamName, i), cases[i].Name);
    EXPECT_EQ(fx.Text(effGetParamLabel, i), cases[i].Label);
    EXPECT_EQ(fx.Get(i), cases[i].Stored);
    EXPECT_EQ(fx.Text(effGetParamDisplay, i), cases[i].Display);
  }
  EXPECT_EQ(fx.Text(effGetParamName, 5), "undefined");
  // The defaults land in program 0 only.
  fx.Dispatch(effSetProgram, 0, 1);
  for (VstInt32 i = 0; i < 5; ++i)
    EXPECT_EQ(fx.Get(i), 0.0f) << i;
  for (VstInt32 p = 0; p < 2; ++p) {
    char name[64] = {};
    EXPECT_EQ(fx.Dispatch(effGetProgramNameIndexed, p, 0, name), 1);
    EXPECT_STREQ(name, "Init");
  }
  char renamed[] = "This program name runs past twenty-four characters";
  fx.Dispatch(effSetProgramName, 0, 0, renamed);
  EXPECT_EQ(fx.Text(effGetProgramName), std::string(renamed, 24));
}

TEST_F(EffectTest, CapabilitiesOfTheEffect) {
  TInstance fx;
  struct {
    const char* Text;
    VstIntPtr Answer;
  } cases[] = {{"sendVstEvents", 1},
               {"sendVstMidiEvent", 1},
               {"receiveVstEvents", 1},
               {"receiveVstMidiEvent", 1},
               {"plugAsChannelInsert", 1},
               {"sendVstTimeInfo", 0},
               {"2in2out", 0},
               {"bypass", 0},
               {"offline", 0},
               {"Bypass", -1},
               {"", -1},
               {"receiveVstMidi", -1}};
  for (auto c : cases)
    EXPECT_EQ(fx.CanDo(c.Text), c.Answer) << '"' << c.Text << '"';
}

// Opening the editor itself is tested with the editor (tests/editor).
TEST_F(EffectTest, EditorRectIsEmptyBeforeTheFirstOpen) {
  TInstance fx;
  ERect* rect = nullptr;
  EXPECT_EQ(fx.Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->bottom, 0);
  EXPECT_EQ(rect->right, 0);
  fx.Dispatch(effEditClose); // without an open: harmless
  EXPECT_EQ(fx.E->flags, 0x19);
}

// ---------------------------------------------------------------------------------------------
// MIDI note echo

TEST_F(EffectTest, NotesComeBackAndEverythingElseIsDropped) {
  struct {
    unsigned char In[3];
    std::vector<int> Out; // status, note, velocity; empty: nothing comes back
  } cases[] = {
      {{0x93, 60, 100}, {0x93, 60, 100}},
      {{0x95, 61, 0}, {0x85, 61, 0}}, // note-on with velocity 0 is a note-off
      {{0x80, 62, 64}, {0x80, 62, 64}},
      {{0x9F, 0xC5, 0xFF}, {0x9F, 0x45, 0x7F}}, // data bytes lose their top bit
      {{0xB0, 7, 100}, {}},
      {{0xE0, 0, 64}, {}},
      {{0xF0, 1, 2}, {}},
  };
  for (auto& c : cases) {
    TInstance fx;
    VstMidiEvent e{};
    e.type = kVstMidiType;
    e.byteSize = 24;
    e.deltaFrames = 7;
    std::memcpy(e.midiData, c.In, 3);
    VstEvents list{1, 0, {reinterpret_cast<VstEvent*>(&e), nullptr}};
    EXPECT_EQ(fx.Dispatch(effProcessEvents, 0, 0, &list), 1);
    Host.Clear();
    Host.RecordMidi();
    fx.Run(0.0f, 0.0f, 16);
    auto sent = Host.RequestsOf(audioMasterProcessEvents);
    if (c.Out.empty()) {
      EXPECT_TRUE(sent.empty()) << int(c.In[0]);
      continue;
    }
    ASSERT_EQ(sent.size(), 1u) << int(c.In[0]);
    ASSERT_EQ(sent[0].Midi.size(), 1u);
    std::vector<int> expect = c.Out;
    expect.push_back(7);
    EXPECT_EQ(sent[0].Midi[0], expect);
    Host.Clear();
    Host.RecordMidi();
    fx.Run(0.0f, 0.0f, 16); // the queue was emptied by the hand-over
    EXPECT_TRUE(Host.RequestsOf(audioMasterProcessEvents).empty());
  }
}

TEST_F(EffectTest, A300NoteListLeavesAs255Events) {
  TInstance fx;
  std::vector<VstMidiEvent> notes(300);
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[300];
  } list{300, 0, {}};
  for (int i = 0; i < 300; ++i) {
    notes[i].type = kVstMidiType;
    notes[i].deltaFrames = i;
    notes[i].midiData[0] = static_cast<char>(0x90);
    notes[i].midiData[1] = static_cast<char>(i & 0x7F);
    notes[i].midiData[2] = 1;
    list.events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
  }
  fx.Dispatch(effProcessEvents, 0, 0, &list);
  Host.Clear();
  Host.RecordMidi();
  fx.Run(0.0f, 0.0f, 4);
  auto sent = Host.RequestsOf(audioMasterProcessEvents);
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(sent[0].Midi.size(), 255u);
  EXPECT_EQ(sent[0].Midi[254][3], 254);
}

// ---------------------------------------------------------------------------------------------
// Sound

TEST_F(EffectTest, DefaultsTurnSilenceIntoTheSmallestStep) {
  TInstance fx;
  auto out = fx.Run(0.0f, 0.0f, 8);
  for (auto& ch : out)
    EXPECT_EQ(ch, std::vector<float>(8, 5.836288607952156e-08f));
}

// One-bit quantiser, one sub-sample, no dither: the values follow the parameters the host
// wrote, so the coefficients follow host writes.
TEST_F(EffectTest, OneBitQuantiserSequences) {
  struct {
    const char* Name;
    float Oversampling, NoiseShaper, In0, In1;
    std::vector<float> Out0, Out1;
  } cases[] = {
      {"off +0.3/-0.3", 1, 0.0f, 0.3f, -0.3f, {0.5f, 0.5f}, {-0.5f, -0.5f}},
      {"off 0.0 goes to the even step", 1, 0.0f, 0.0f, 0.0f, {-0.5f, -0.5f}, {-0.5f, -0.5f}},
      {"feedback",
       1,
       1.0f,
       0.5f,
       0.0f,
       {0.5f, -0.5f, 0.5f, 0.5f, 0.5f, -0.5f, 0.5f, 0.5f},
       {-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f}},
      {"feedback from a switch at 0.5",
       1,
       0.5f,
       0.5f,
       0.0f,
       {0.5f, -0.5f, 0.5f, 0.5f},
       {-0.5f, 0.5f, -0.5f, 0.5f}},
      {"a switch below 0.5 is off",
       1,
       0.499f,
       0.5f,
       0.0f,
       {0.5f, 0.5f, 0.5f},
       {-0.5f, -0.5f, -0.5f}},
      {"feedback, 4 sub-samples",
       4,
       1.0f,
       0.5f,
       0.0f,
       {0.25f, 0.25f, 0.25f, 0.25f},
       {0.0f, 0.0f, 0.0f, 0.0f}},
  };
  for (auto& c : cases) {
    TInstance fx;
    fx.SetReal(1, 1.0f);
    fx.SetReal(0, c.Oversampling);
    fx.Set(3, c.NoiseShaper);
    auto out = fx.Run(c.In0, c.In1, static_cast<int>(c.Out0.size()));
    EXPECT_EQ(out[0], c.Out0) << c.Name;
    EXPECT_EQ(out[1], c.Out1) << c.Name;
  }
}

TEST_F(EffectTest, ProgramSwitchesChangeTheSoundAndProgramOneIsSilent) {
  TInstance fx;
  fx.Dispatch(effSetProgram, 0, 1);
  // Word length and ratio 0: no sub-samples and a gain of 0, so exact silence.
  for (auto& ch : fx.Run(0.7f, -0.7f, 8))
    EXPECT_EQ(ch, std::vector<float>(8, 0.0f));
  fx.SetReal(0, 1.0f); // ratio 1 with a word length still 0: the gain has no value, silence
  for (auto& ch : fx.Run(0.7f, -0.7f, 8))
    EXPECT_EQ(ch, std::vector<float>(8, 0.0f));
  fx.Dispatch(effSetProgram, 0, 0);
  for (auto& ch : fx.Run(0.0f, 0.0f, 8))
    EXPECT_EQ(ch, std::vector<float>(8, 5.836288607952156e-08f));
}

TEST_F(EffectTest, NonFiniteInputIsProcessedAsSilence) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  TInstance fx, reference;
  for (const TInstance* f : {&fx, &reference}) {
    f->SetReal(1, 1.0f);
    f->Set(3, 1.0f);
  }
  float i0[] = {0.5f, nan, inf, -inf, 0.5f, 0.5f};
  float i1[] = {nan, 0.0f, 0.0f, nan, 0.0f, 0.0f};
  float r0[] = {0.5f, 0.0f, 0.0f, 0.0f, 0.5f, 0.5f};
  float r1[] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  float o0[6], o1[6], q0[6], q1[6];
  float* ins[] = {i0, i1};
  float* outs[] = {o0, o1};
  float* rins[] = {r0, r1};
  float* routs[] = {q0, q1};
  fx.Replace(ins, outs, 6);
  reference.Replace(rins, routs, 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(o0[i], q0[i]) << i;
    EXPECT_EQ(o1[i], q1[i]) << i;
  }
}

TEST_F(EffectTest, AccumulatingProcessAddsTheSameSound) {
  TInstance acc, rep;
  for (const TInstance* f : {&acc, &rep}) {
    f->SetReal(1, 1.0f);
    f->Set(3, 1.0f);
  }
  std::vector<float> in0(300, 0.5f), in1(300, 0.0f), a0(300, 1.0f), a1(300, 1.0f), b0(300), b1(300);
  float* ins[] = {in0.data(), in1.data()};
  float* aouts[] = {a0.data(), a1.data()};
  float* bouts[] = {b0.data(), b1.data()};
  acc.Accumulate(ins, aouts, 300);
  rep.Replace(ins, bouts, 300);
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(a0[i], 1.0f + b0[i]) << i;
    EXPECT_EQ(a1[i], 1.0f + b1[i]) << i;
  }
}

TEST_F(EffectTest, ResumeCarriesTheErrorFeedbackOnAndAsksTheHostNothing) {
  TInstance paused, straight;
  for (const TInstance* f : {&paused, &straight}) {
    f->SetReal(1, 1.0f);
    f->Set(3, 1.0f);
  }
  auto first = paused.Run(0.5f, 0.0f, 3);
  Host.Clear();
  paused.Dispatch(effMainsChanged, 0, 0);
  paused.Dispatch(effMainsChanged, 0, 1);
  EXPECT_EQ(Host.Count(), 0u);
  auto second = paused.Run(0.5f, 0.0f, 5);
  auto whole = straight.Run(0.5f, 0.0f, 8);
  first[0].insert(first[0].end(), second[0].begin(), second[0].end());
  EXPECT_EQ(first[0], whole[0]);
}

TEST_F(EffectTest, FreshLibraryStartsTheDitherSequenceAtItsSeed) {
  TPluginLibrary fresh(qltest::PluginPath(), true);
  ASSERT_TRUE(fresh.Loaded());
  TInstance fx(fresh.Entry("main"));
  ASSERT_NE(fx.E, nullptr);
  fx.SetReal(1, 1.0f);
  fx.Set(2, 1.0f);
  auto out = fx.Run(0.0f, 0.0f, 1);
  EXPECT_EQ(out[0][0], 0.5f);
  EXPECT_EQ(out[1][0], -0.5f);
}

} // namespace
