// The effect linked into the test: its coefficients as the parameters move, and a count of every
// allocation made while it processes (this executable replaces operator new).
#include "EffectRecord.h"
#include "RecordingHost.h"
#include "core/uParameters.h"
#include "vst2/plugin/uPlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

// The replacements below pair malloc with free; GCC cannot see that through inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<bool> Counting{false};
std::atomic<int> Allocations{0};
} // namespace

void* operator new(std::size_t n) {
  if (Counting.load(std::memory_order_relaxed)) Allocations.fetch_add(1);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  return operator new(n);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

using qltest::TRecord;
using qltest::TRecordingHost;

namespace {

struct InProcessTest : ::testing::Test {
  InProcessTest() : R{CreateQuantaloop(TRecordingHost::Callback())} {}
  ~InProcessTest() override {
    if (R.E) R.Close();
  }
  APlugin& Fx() { return *static_cast<APlugin*>(R.E->object); }

  struct TCoefficients {
    double Levels, InvLevels, Gain, Dither;
    bool operator==(const TCoefficients&) const = default;
  };
  TCoefficients Now() {
    const TModulatorCoefficients c = BlockSettingsFor(Fx().BlockValues().Real).Coefficients;
    return {c.Levels, c.InvLevels, c.Gain, c.DitherAmount};
  }

  TRecordingHost Host;
  TRecord R;
};

TEST_F(InProcessTest, CoefficientsAfterConstruction) {
  ASSERT_NE(R.E, nullptr);
  EXPECT_EQ(Now(), (TCoefficients{16777215.0, 1.0 / 16777215.0, 47.0 / 48.0, 0.0}));
  const float reals[] = {1.0f, 24.0f, 0.0f, 0.0f, 0.0f};
  for (int i = 0; i < ppCount; ++i)
    EXPECT_EQ(Fx().GetParameterReal(i), reals[i]);
  EXPECT_EQ(Fx().FProcessor.State().Error[0], 0.0);
  EXPECT_EQ(Fx().FProcessor.State().Sum[1], 0.0);
}

// Editor writes (SetParameterReal) and host writes alike leave the coefficients computed from
// the stored values.
TEST_F(InProcessTest, CoefficientsFollowEveryStoredValue) {
  struct {
    const char* Name;
    int Index;
    float Real;
    bool FromHost;
    TCoefficients Expected;
  } steps[] = {
      {"word length 1", ppQuantizer, 1.0f, false, {1.0, 1.0, 0.5, 0.0}},
      {"word length 16", ppQuantizer, 16.0f, false, {65535.0, 1.0 / 65535.0, 31.0 / 32.0, 0.0}},
      {"ratio 64", ppOversampling, 64.0f, false, {65535.0, 1.0 / 65535.0, 0.01513671875, 0.0}},
      {"ErrorFilter changes nothing",
       ppErrorFilter,
       1.0f,
       false,
       {65535.0, 1.0 / 65535.0, 0.01513671875, 0.0}},
      {"2.5 rounds to 2", ppQuantizer, 2.5f, false, {3.0, 1.0 / 3.0, 0.75 / 64, 0.0}},
      {"3.5 rounds to 4", ppQuantizer, 3.5f, false, {15.0, 1.0 / 15.0, 0.875 / 64, 0.0}},
      {"30 is stored and sounds as 24",
       ppQuantizer,
       30.0f,
       false,
       {16777215.0, 1.0 / 16777215.0, (1.0 - 0.5 / 24) / 64, 0.0}},
      {"host word length 8",
       ppQuantizer,
       8.0f,
       true,
       {255.0, 1.0 / 255.0, (1.0 - 0.5 / 8) / 64, 0.0}},
      {"host ratio 0.5 of 128",
       ppOversampling,
       64.0f,
       true,
       {255.0, 1.0 / 255.0, (1.0 - 0.5 / 8) / 64, 0.0}},
      {"host ratio 2", ppOversampling, 2.0f, true, {255.0, 1.0 / 255.0, (1.0 - 0.5 / 8) / 2, 0.0}},
      {"dither", ppDither, 0.25f, false, {255.0, 1.0 / 255.0, (1.0 - 0.5 / 8) / 2, 0.25}},
      {"host dither", ppDither, 1.0f, true, {255.0, 1.0 / 255.0, (1.0 - 0.5 / 8) / 2, 1.0}},
      {"ratio 0: no finite gain", ppOversampling, 0.0f, true, {255.0, 1.0 / 255.0, 0.0, 1.0}},
      {"word length 0: two-valued, no finite gain",
       ppQuantizer,
       0.0f,
       false,
       {-1.0, -1.0, 0.0, 1.0}},
  };
  for (auto& s : steps) {
    if (s.FromHost)
      R.Set(s.Index, s.Real / kParameters[s.Index].Max);
    else
      Fx().SetParameterReal(s.Index, s.Real);
    EXPECT_EQ(Now(), s.Expected) << s.Name;
  }
}

TEST_F(InProcessTest, ProgramSwitchRecomputesTheCoefficients) {
  R.Dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(Now(), (TCoefficients{-1.0, -1.0, 0.0, 0.0}));
  R.Dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(Now(), (TCoefficients{16777215.0, 1.0 / 16777215.0, 47.0 / 48.0, 0.0}));
}

// A host that allocates nothing itself, so that every counted allocation is the effect's.
std::atomic<int> HandOvers{0};
VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterProcessEvents) HandOvers.fetch_add(1);
  return opcode == audioMasterVersion ? 2400 : opcode == audioMasterProcessEvents ? 1 : 0;
}

TEST(EffectAllocations, ProcessingAllocatesNothing) {
  TRecord R{CreateQuantaloop(&QuietHost)};
  ASSERT_NE(R.E, nullptr);
  APlugin& fx = *static_cast<APlugin*>(R.E->object);
  fx.SetParameterReal(ppOversampling, 8.0f);
  fx.SetParameterReal(ppNoiseShaper, 1.0f);
  fx.SetParameterReal(ppDither, 1.0f);
  R.Dispatch(effSetBlockSize, 0, 512);
  R.Dispatch(effMainsChanged, 0, 1);
  std::vector<float> in0(512, 0.25f), in1(512, -0.25f), out0(512), out1(512);
  float* ins[] = {in0.data(), in1.data()};
  float* outs[] = {out0.data(), out1.data()};
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.midiData[0] = static_cast<char>(0x90);
  note.midiData[1] = 60;
  note.midiData[2] = 90;
  VstEvents list{1, 0, {reinterpret_cast<VstEvent*>(&note), nullptr}};

  HandOvers = 0;
  Allocations = 0;
  Counting = true;
  for (int n : {0, 1, 17, 256, 512}) {
    R.Dispatch(effProcessEvents, 0, 0, &list);
    R.Replace(ins, outs, n);
    R.Dispatch(effProcessEvents, 0, 0, &list);
    R.Accumulate(ins, outs, n);
  }
  Counting = false;
  EXPECT_EQ(Allocations.load(), 0);
  EXPECT_EQ(HandOvers.load(), 10);
  R.Close();
}

} // namespace

namespace {

// Parameter traffic from a second thread while the audio thread processes: values,
// coefficients, the smoother and the change flag are shared without locks.
TEST(EffectThreads, ParameterWritesDuringProcessing) {
  TRecord R{CreateQuantaloop(&QuietHost)};
  ASSERT_NE(R.E, nullptr);
  APlugin& fx = *static_cast<APlugin*>(R.E->object);
  std::atomic<bool> done{false};
  std::thread control([&] {
    char text[64];
    for (int k = 0; !done.load(); ++k) {
      fx.SetParameterReal(ppQuantizer, static_cast<float>(1 + k % 24));
      R.Set(ppOversampling, static_cast<float>(k % 9) / 128.0f);
      R.Set(ppNoiseShaper, static_cast<float>(k & 1));
      R.Dispatch(effGetParamDisplay, ppDither, 0, text);
      fx.NeedsEditorUpdate.store(false, std::memory_order_relaxed);
    }
  });
  std::vector<float> in0(64, 0.3f), in1(64, -0.3f), out0(64), out1(64);
  float* ins[] = {in0.data(), in1.data()};
  float* outs[] = {out0.data(), out1.data()};
  bool finite = true;
  for (int block = 0; block < 2000; ++block) {
    R.Replace(ins, outs, 64);
    for (int i = 0; i < 64; ++i)
      finite = finite && std::isfinite(out0[i]) && std::isfinite(out1[i]);
  }
  done = true;
  control.join();
  EXPECT_TRUE(finite);
  R.Close();
}

} // namespace
