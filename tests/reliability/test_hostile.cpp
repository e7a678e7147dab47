// Hosts that misbehave: null locations, indices and frame counts out of range, editor calls out
// of order, oversized and foreign event lists, and a host that answers garbage. Every case goes
// through the built library's entry, as a host would call it, and must neither crash nor write
// outside what the host handed over.
#include "EffectRecord.h"
#include "PluginLibrary.h"
#include "RecordingHost.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using qltest::TPluginLibrary;
using qltest::TRecord;
using qltest::TRecordingHost;

namespace {

TPluginLibrary& Library() {
  static TPluginLibrary library(qltest::PluginPath());
  return library;
}

struct HostileTest : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << qltest::PluginPath();
    auto entry = Library().Entry("main");
    ASSERT_NE(entry, nullptr);
    fx.E = entry(TRecordingHost::Callback());
    ASSERT_NE(fx.E, nullptr);
  }
  void TearDown() override {
    if (fx.E) fx.Close();
  }
  // Runs `frames` frames through processReplacing and reports whether every sample is finite.
  bool RunFinite(VstInt32 frames, float input = 0.5f) {
    std::vector<float> i0(frames, input), i1(frames, -input), o0(frames), o1(frames);
    float* ins[] = {i0.data(), i1.data()};
    float* outs[] = {o0.data(), o1.data()};
    fx.Replace(ins, outs, frames);
    for (VstInt32 i = 0; i < frames; ++i)
      if (!std::isfinite(o0[i]) || !std::isfinite(o1[i])) return false;
    return true;
  }
  TRecordingHost host;
  TRecord fx{nullptr};
};

TEST_F(HostileTest, DispatcherCallsOutOfRangeAnswerSafely) {
  const VstIntPtr huge = std::numeric_limits<VstIntPtr>::max();
  struct {
    const char* Name;
    VstInt32 Opcode, Index;
    VstIntPtr Value;
    VstIntPtr Answer;
  } cases[] = {
      // Text and rectangle opcodes with no location to write to. The name strings keep their
      // answer of 1 (the effect has a name), canDo its "don't know" and automation its default.
      {"program name", effGetProgramName, 0, 0, 0},
      {"set program name", effSetProgramName, 0, 0, 0},
      {"param label", effGetParamLabel, 0, 0, 0},
      {"param display", effGetParamDisplay, 0, 0, 0},
      {"param name", effGetParamName, 0, 0, 0},
      {"edit rect", effEditGetRect, 0, 0, 0},
      {"program name indexed", effGetProgramNameIndexed, 0, 0, 0},
      {"effect name", effGetEffectName, 0, 0, 1},
      {"vendor string", effGetVendorString, 0, 0, 1},
      {"product string", effGetProductString, 0, 0, 1},
      {"can do", effCanDo, 0, 0, -1},
      {"string to parameter", effString2Parameter, 0, 0, 0},
      {"parameter properties", effGetParameterProperties, 0, 0, 0},
      {"input properties", effGetInputProperties, 0, 0, 0},
      {"output properties", effGetOutputProperties, 0, 0, 0},
      {"get chunk", effGetChunk, 0, 0, 0},
      {"set chunk", effSetChunk, 0, 16, 0},
      {"process events", effProcessEvents, 0, 0, 1},
      // Negative and huge indices and values.
      {"param name -1", effGetParamName, -1, 0, 0},
      {"param name max", effGetParamName, INT_MAX, 0, 0},
      {"param display min", effGetParamDisplay, INT_MIN, 0, 0},
      {"program -1", effSetProgram, 0, -1, 0},
      {"program huge", effSetProgram, 0, huge, 0},
      {"program min", effSetProgram, 0, std::numeric_limits<VstIntPtr>::min(), 0},
      {"block size -1", effSetBlockSize, 0, -1, 0},
      {"block size min", effSetBlockSize, 0, INT_MIN, 0},
      // An announced block of 2^31 frames must not make the effect zero-fill gigabytes.
      {"block size max", effSetBlockSize, 0, INT_MAX, 0},
      {"resume with block size max", effMainsChanged, 0, 1, 0},
      {"automatable -1", effCanBeAutomated, -1, 0, 1},
      {"automatable max", effCanBeAutomated, INT_MAX, 0, 1},
      {"opcode -1", -1, 0, 0, 0},
      {"opcode max", INT_MAX, INT_MAX, huge, 0},
      {"opcode min", INT_MIN, INT_MIN, -1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fx.Dispatch(c.Opcode, c.Index, c.Value, nullptr), c.Answer) << c.Name;
    EXPECT_EQ(fx.Dispatch(effGetProgram), 0) << c.Name;
  }
  // Indexed texts out of range write nothing past the host's buffer and still answer text.
  for (VstInt32 index : {-1, 5, INT_MAX, INT_MIN}) {
    char text[kVstMaxProgNameLen + 8];
    std::memset(text, 0x55, sizeof(text));
    EXPECT_EQ(fx.Dispatch(effGetProgramNameIndexed, index, 0, text), 0) << index;
    for (char opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
      char param[64];
      std::memset(param, 0x55, sizeof(param));
      fx.Dispatch(opcode, index, 0, param);
      EXPECT_LT(std::strlen(param), sizeof(param)) << index;
    }
  }
  EXPECT_TRUE(RunFinite(64));
}

TEST_F(HostileTest, ParametersOutOfRangeAreIgnoredOrClamped) {
  const float inf = std::numeric_limits<float>::infinity();
  for (VstInt32 index : {-1, 5, INT_MAX, INT_MIN}) {
    fx.Set(index, 0.5f);
    EXPECT_EQ(fx.Get(index), 0.0f) << index;
  }
  const float values[] = {std::nanf(""), inf, -inf, 1e-45f, -1e-45f, 1e30f, -0.0f};
  for (VstInt32 index = 0; index < 5; ++index) {
    for (float v : values) {
      fx.Set(index, v);
      const float got = fx.Get(index);
      EXPECT_TRUE(got >= 0.0f && got <= 1.0f) << index << " " << v << " -> " << got;
      EXPECT_TRUE(RunFinite(32)) << index << " " << v;
    }
  }
}

TEST_F(HostileTest, FrameCountsOutOfRangeWriteNothingOrStayFinite) {
  float in[4] = {1, 1, 1, 1}, out0[4] = {7, 7, 7, 7}, out1[4] = {7, 7, 7, 7};
  float* ins[] = {in, in};
  float* outs[] = {out0, out1};
  for (VstInt32 frames : {0, -1, -4096, INT_MIN}) {
    fx.Replace(ins, outs, frames);
    fx.Accumulate(ins, outs, frames);
    EXPECT_EQ(out0[0], 7.0f) << frames;
    EXPECT_EQ(out1[3], 7.0f) << frames;
  }
  // A block far larger than the announced block size.
  fx.Dispatch(effSetBlockSize, 0, 64);
  EXPECT_TRUE(RunFinite(1 << 20));
  std::vector<float> big(1 << 18, 0.25f), acc0(1 << 18), acc1(1 << 18);
  float* bins[] = {big.data(), big.data()};
  float* bouts[] = {acc0.data(), acc1.data()};
  fx.Accumulate(bins, bouts, 1 << 18);
  EXPECT_TRUE(std::isfinite(acc0.back()) && std::isfinite(acc1.back()));
}

TEST_F(HostileTest, EditorCallsOutOfOrder) {
  // Close and idle without open, twice.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(fx.Dispatch(effEditClose), 0);
    EXPECT_EQ(fx.Dispatch(effEditIdle), 0);
  }
  ERect* rect = nullptr;
  fx.Dispatch(effEditGetRect, 0, 0, &rect);
  fx.Dispatch(effEditOpen, 0, 0, nullptr);
  fx.Dispatch(effEditIdle);
  EXPECT_TRUE(RunFinite(64));
  // effClose with the editor (possibly) open: the teardown closes without effEditClose.
}

TEST_F(HostileTest, EventListsOfAnySizeAndType) {
  // 300 MIDI events of every status, including ones with offsets far outside the block.
  std::vector<VstMidiEvent> midi(300);
  for (size_t i = 0; i < midi.size(); ++i) {
    VstMidiEvent& m = midi[i];
    std::memset(&m, 0, sizeof(m));
    m.type = kVstMidiType;
    m.byteSize = sizeof(VstMidiEvent);
    m.deltaFrames = static_cast<VstInt32>(i * 977) - 1000;
    m.midiData[0] = static_cast<char>(0x80 + (i % 0x80));
    m.midiData[1] = static_cast<char>(i * 7);
    m.midiData[2] = static_cast<char>(i * 13);
  }
  // Unknown event types, including one whose byte size is a lie, and null slots.
  VstEvent foreign[3];
  std::memset(foreign, 0, sizeof(foreign));
  foreign[0].type = 0;
  foreign[1].type = 12345;
  foreign[2].type = -1;
  foreign[2].byteSize = INT_MAX;
  const size_t total = midi.size() + 3 + 1;
  std::vector<char> storage(sizeof(VstEvents) + total * sizeof(VstEvent*));
  auto* list = reinterpret_cast<VstEvents*>(storage.data());
  list->numEvents = static_cast<VstInt32>(total);
  VstEvent** slot = list->events;
  for (VstMidiEvent& m : midi)
    *slot++ = reinterpret_cast<VstEvent*>(&m);
  for (VstEvent& e : foreign)
    *slot++ = &e;
  *slot++ = nullptr;
  EXPECT_EQ(fx.Dispatch(effProcessEvents, 0, 0, list), 1);
  EXPECT_TRUE(RunFinite(512));
  // A list that claims a negative count.
  list->numEvents = -5;
  EXPECT_EQ(fx.Dispatch(effProcessEvents, 0, 0, list), 1);
  EXPECT_TRUE(RunFinite(64));
  for (VstInt32 i = 0; i < 5; ++i) {
    const float v = fx.Get(i);
    EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i;
  }
}

TEST(HostileHost, HostAnsweringGarbageToEveryRequest) {
  ASSERT_TRUE(Library().Loaded()) << qltest::PluginPath();
  TRecordingHost host;
  host.Answer(audioMasterVersion, 2400);
  host.AnswerGarbage();
  TRecord fx{Library().Entry("main")(TRecordingHost::Callback())};
  ASSERT_NE(fx.E, nullptr);
  fx.Dispatch(effOpen);
  fx.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  fx.Dispatch(effSetBlockSize, 0, 256);
  fx.Dispatch(effMainsChanged, 0, 1);
  for (VstInt32 i = 0; i < 5; ++i)
    fx.Set(i, 0.3f * static_cast<float>(i % 4));
  std::vector<float> i0(256, 0.5f), o0(256), o1(256);
  float* ins[] = {i0.data(), i0.data()};
  float* outs[] = {o0.data(), o1.data()};
  for (int block = 0; block < 8; ++block) {
    fx.Replace(ins, outs, 256);
    fx.Accumulate(ins, outs, 256);
    fx.Dispatch(effEditIdle);
  }
  for (float s : o0)
    EXPECT_TRUE(std::isfinite(s));
  fx.Dispatch(effMainsChanged, 0, 0);
  EXPECT_GT(host.Count(), 0u);
  fx.Close();
}

} // namespace
