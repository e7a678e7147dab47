// One instance used from three threads at once, as hosts do: the audio thread processes
// without pause, the host's UI thread automates every parameter and switches and renames
// programs, and the editor's thread opens, ticks and closes the editor and moves parameters as
// gestures would. Run under the thread sanitizer this shows the shared state is race-free;
// afterwards every value is in range and every sample the audio thread wrote was finite.
#include "HostLog.h"
#include "PluginLibrary.h"
#include "RecordingHost.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

using qltest::TPluginLibrary;
using qltest::TRecord;
using qltest::TRecordingHost;

namespace {

constexpr VstInt32 kParameters = 5;
constexpr VstInt32 kPrograms = 2;

TEST(Concurrency, AudioUiAndEditorThreadsAtOnce) {
  static TPluginLibrary library(qltest::PluginPath());
  ASSERT_TRUE(library.Loaded()) << qltest::PluginPath();
  TRecordingHost host;
  TRecord fx{library.Entry("main")(TRecordingHost::Callback())};
  ASSERT_NE(fx.E, nullptr);
  fx.Dispatch(effOpen);
  fx.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  fx.Dispatch(effSetBlockSize, 0, 256);
  fx.Dispatch(effMainsChanged, 0, 1);

  std::atomic<bool> stop{false};
  std::atomic<long> nonFinite{0}, blocks{0};

  std::thread audio([&] {
    std::vector<float> i0(256), i1(256), o0(256), o1(256);
    float* ins[] = {i0.data(), i1.data()};
    float* outs[] = {o0.data(), o1.data()};
    std::minstd_rand rng(1);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    while (!stop.load(std::memory_order_relaxed)) {
      for (size_t i = 0; i < i0.size(); ++i) {
        i0[i] = sample(rng);
        i1[i] = sample(rng);
      }
      const VstInt32 frames = 1 + static_cast<VstInt32>(rng() % 256);
      if (rng() % 4 == 0)
        fx.Accumulate(ins, outs, frames);
      else
        fx.Replace(ins, outs, frames);
      for (VstInt32 i = 0; i < frames; ++i)
        if (!std::isfinite(o0[i]) || !std::isfinite(o1[i])) nonFinite.fetch_add(1);
      blocks.fetch_add(1, std::memory_order_relaxed);
    }
  });

  std::thread ui([&] {
    std::minstd_rand rng(2);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    char text[kVstMaxProgNameLen + 1];
    for (long n = 0; !stop.load(std::memory_order_relaxed); ++n) {
      for (VstInt32 i = 0; i < kParameters; ++i)
        fx.Set(i, value(rng));
      if (n % 16 == 0) fx.Dispatch(effSetProgram, 0, static_cast<VstIntPtr>(rng() % kPrograms));
      if (n % 8 == 0) {
        std::snprintf(text, sizeof(text), "Prog %ld", n);
        fx.Dispatch(effSetProgramName, 0, 0, text);
      }
      char display[64];
      fx.Dispatch(effGetParamDisplay, static_cast<VstInt32>(n % kParameters), 0, display);
      fx.Dispatch(effGetProgramName, 0, 0, text);
    }
  });

  std::thread editor([&] {
    std::minstd_rand rng(3);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    for (long n = 0; !stop.load(std::memory_order_relaxed); ++n) {
      if (n % 200 == 0) fx.Dispatch(effEditOpen, 0, 0, nullptr);
      // A gesture: a drag moves one parameter through several values.
      const VstInt32 index = static_cast<VstInt32>(rng() % kParameters);
      for (int step = 0; step < 4; ++step)
        fx.Set(index, value(rng));
      fx.Dispatch(effEditIdle); // the timer tick
      for (VstInt32 i = 0; i < kParameters; ++i)
        (void)fx.Get(i);
      if (n % 200 == 199) fx.Dispatch(effEditClose);
    }
    fx.Dispatch(effEditClose);
  });

  std::this_thread::sleep_for(std::chrono::seconds(2));
  stop.store(true);
  audio.join();
  ui.join();
  editor.join();

  EXPECT_GT(blocks.load(), 0);
  EXPECT_EQ(nonFinite.load(), 0);
  for (VstInt32 i = 0; i < kParameters; ++i) {
    const float v = fx.Get(i);
    EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i << " " << v;
  }
  const VstIntPtr program = fx.Dispatch(effGetProgram);
  EXPECT_TRUE(program >= 0 && program < kPrograms) << program;
  char name[kVstMaxProgNameLen + 1];
  std::memset(name, 0x55, sizeof(name));
  fx.Dispatch(effGetProgramName, 0, 0, name);
  EXPECT_LE(std::strlen(name), static_cast<size_t>(kVstMaxProgNameLen));
  fx.Dispatch(effMainsChanged, 0, 0);
  fx.Close();
}

} // namespace
