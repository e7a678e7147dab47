// One instance used from several threads at once, as hosts do: the audio thread processes
// without pause while the host's UI or automation thread writes parameters and switches and
// renames programs, and the editor's thread opens, ticks and closes the editor and moves
// parameters by gestures. Run under the thread sanitizer this shows the shared state is
// race-free; the tests check that every value stays in range and that every block sounds as one
// setting does.
#include "EffectRecord.h"
#include "PluginLibrary.h"
#include "RecordingHost.h"
#include "TestPaths.h"
#include "core/uParameters.h"
#include "editor/EditorDrive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
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
      for (VstInt32 i = 0; i < ppCount; ++i)
        fx.Set(i, value(rng));
      if (n % 16 == 0) fx.Dispatch(effSetProgram, 0, static_cast<VstIntPtr>(rng() % kPrograms));
      if (n % 8 == 0) {
        std::snprintf(text, sizeof(text), "Prog %ld", n);
        fx.Dispatch(effSetProgramName, 0, 0, text);
      }
      char display[64];
      fx.Dispatch(effGetParamDisplay, static_cast<VstInt32>(n % ppCount), 0, display);
      fx.Dispatch(effGetProgramName, 0, 0, text);
    }
  });

  std::thread editor([&] {
    std::minstd_rand rng(3);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    for (long n = 0; !stop.load(std::memory_order_relaxed); ++n) {
      if (n % 200 == 0) fx.Dispatch(effEditOpen, 0, 0, nullptr);
      // A gesture: a drag moves one parameter through several values.
      const VstInt32 index = static_cast<VstInt32>(rng() % ppCount);
      for (int step = 0; step < 4; ++step)
        fx.Set(index, value(rng));
      fx.Dispatch(effEditIdle); // the timer tick
      for (VstInt32 i = 0; i < ppCount; ++i)
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
  for (VstInt32 i = 0; i < ppCount; ++i) {
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

// Normalised value of a parameter's real value, as a host writes it.
float Normalised(TPluginParameter index, float real) {
  return real / kParameters[index].Max;
}

// The outputs a constant input of 0.5 gives at every setting the writers below can leave behind,
// each setting alone and steady: ratios 0 to 64 (0 is what program 1 starts with, the editor
// offers 1 to 64, the host writes 1 and 64) and word lengths 0 to 24, dither and error feedback
// off. As bit patterns, sorted.
std::vector<uint32_t> OutputsOfEachSettingAlone(TRecord& fx) {
  constexpr VstInt32 kFrames = 8;
  std::vector<float> i0(kFrames, 0.5f), i1(kFrames, 0.5f), o0(kFrames), o1(kFrames);
  float* ins[] = {i0.data(), i1.data()};
  float* outs[] = {o0.data(), o1.data()};
  std::vector<uint32_t> outputs;
  for (int ratio = 0; ratio <= 64; ++ratio)
    for (int bits = 0; bits <= 24; ++bits) {
      fx.Set(ppOversampling, Normalised(ppOversampling, static_cast<float>(ratio)));
      fx.Set(ppQuantizer, Normalised(ppQuantizer, static_cast<float>(bits)));
      fx.Replace(ins, outs, kFrames);
      for (VstInt32 i = 0; i < kFrames; ++i) {
        outputs.push_back(std::bit_cast<uint32_t>(o0[i]));
        outputs.push_back(std::bit_cast<uint32_t>(o1[i]));
      }
    }
  std::sort(outputs.begin(), outputs.end());
  outputs.erase(std::unique(outputs.begin(), outputs.end()), outputs.end());
  return outputs;
}

// Where the editor's two numbers sit in its window.
struct TNumberArea {
  int Left, Top, Width, Height;
};
constexpr TNumberArea kOversamplingNumber{91, 176, 147, 89};
constexpr TNumberArea kWordLengthNumber{784, 175, 117, 69};
void* const kParent = reinterpret_cast<void*>(uintptr_t{0x5150});

// A host thread automates the oversampling ratio (1 or 64) and the word length (24 or 2 bits),
// another switches between the two programs, and the editor's thread drags both numbers up and
// down and lets its timer show what the others stored, while the audio thread processes a
// constant 0.5 in blocks of 64 frames. Nobody touches dither or error feedback, so each
// setting alone gives one constant output; a block computed from parts of different settings
// (a ratio with the gain of another, the levels of one word length with the inverse of another)
// gives something else, as loud as +180 dB.
TEST(Concurrency, EveryBlockSoundsAsOneSettingAlone) {
  static TPluginLibrary library(qltest::PluginPath());
  ASSERT_TRUE(library.Loaded()) << qltest::PluginPath();
  TRecordingHost host;
  TRecord reference{library.Entry("main")(TRecordingHost::Callback())};
  ASSERT_NE(reference.E, nullptr);
  const std::vector<uint32_t> alone = OutputsOfEachSettingAlone(reference);
  reference.Close();
  // The settings the host writes: 24 bits give 47/48 of the step below 0.5, 2 bits give 1/3
  // scaled by 3/4.
  for (float v : {static_cast<float>(47.0 / 48 * (2.0 * 12582911 / 16777215 - 1)), 0.25f})
    EXPECT_TRUE(std::binary_search(alone.begin(), alone.end(), std::bit_cast<uint32_t>(v))) << v;

  TRecord fx{library.Entry("main")(TRecordingHost::Callback())};
  ASSERT_NE(fx.E, nullptr);
  fx.Dispatch(effOpen);
  fx.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  fx.Dispatch(effSetBlockSize, 0, 64);
  fx.Dispatch(effMainsChanged, 0, 1);

  std::atomic<bool> stop{false}, editorOpen{false};
  std::atomic<long> automations{0}, switches{0};
  host.Clear(); // from here on only the editor's steps report automation

  std::thread automation([&] {
    std::minstd_rand rng(1);
    while (!stop.load(std::memory_order_relaxed)) {
      fx.Set(ppOversampling, Normalised(ppOversampling, rng() & 1 ? 64.0f : 1.0f));
      fx.Set(ppQuantizer, Normalised(ppQuantizer, rng() & 1 ? 2.0f : 24.0f));
      automations.fetch_add(1, std::memory_order_relaxed);
    }
  });

  std::thread programs([&] {
    for (VstIntPtr n = 0; !stop.load(std::memory_order_relaxed); ++n) {
      fx.Dispatch(effSetProgram, 0, n & 1);
      switches.fetch_add(1, std::memory_order_relaxed);
    }
  });

  std::thread editor([&] {
    auto drive = [&](TEditorDrive d) {
      return fx.Dispatch(effVendorSpecific, kEditorDriveIndex, 0, &d);
    };
    drive({.Command = edcUseHeadless, .Value = 1});
    const bool opened = fx.Dispatch(effEditOpen, 0, 0, kParent) == 1;
    drive({.Command = edcUseHeadless, .Value = 0});
    editorOpen.store(true);
    std::minstd_rand rng(2);
    for (int n = 0; opened && !stop.load(std::memory_order_relaxed); ++n) {
      // A press on the upper half raises the number, on the lower half lowers it; each move
      // the same way is one more step.
      const TNumberArea& a = rng() & 1 ? kOversamplingNumber : kWordLengthNumber;
      const bool up = rng() & 1;
      const int x = a.Left + a.Width / 2;
      int y = a.Top + (up ? a.Height / 4 : 3 * a.Height / 4);
      drive({.Command = edcPress, .X = x, .Y = y});
      for (int k = 0; k < 3; ++k) {
        y += up ? -4 : 4;
        drive({.Command = edcMove, .X = x, .Y = y, .Shift = edsLeft});
      }
      drive({.Command = edcRelease, .X = x, .Y = y});
      // Now and then a timer tick, which shows what the others stored.
      if (n % 4 == 3) drive({.Command = edcAdvance, .Milliseconds = 100});
    }
    if (opened) fx.Dispatch(effEditClose);
  });

  constexpr VstInt32 kFrames = 64;
  std::vector<float> i0(kFrames, 0.5f), i1(kFrames, 0.5f), o0(kFrames), o1(kFrames);
  float* ins[] = {i0.data(), i1.data()};
  float* outs[] = {o0.data(), o1.data()};
  long blocks = 0, mixed = 0;
  float largest = 0.0f;
  while (!editorOpen.load()) // opening takes a while under the thread sanitizer
    std::this_thread::yield();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  while (std::chrono::steady_clock::now() < end) {
    fx.Replace(ins, outs, kFrames);
    bool asAlone = true;
    for (const std::vector<float>* channel : {&o0, &o1})
      for (float v : *channel) {
        asAlone =
            asAlone && std::binary_search(alone.begin(), alone.end(), std::bit_cast<uint32_t>(v));
        largest = std::max(largest, std::fabs(v));
      }
    ++blocks;
    mixed += asAlone ? 0 : 1;
  }
  stop.store(true);
  automation.join();
  programs.join();
  editor.join();
  const size_t editorSteps = host.RequestsOf(audioMasterAutomate).size();
  std::printf("%ld of %ld blocks (%.1f %%) held outputs of no setting alone; largest |sample| "
              "%g; %ld host writes, %ld program switches, %zu editor steps\n",
              mixed, blocks, 100.0 * static_cast<double>(mixed) / static_cast<double>(blocks),
              static_cast<double>(largest), automations.load(), switches.load(), editorSteps);

  EXPECT_GT(automations.load(), 0);
  EXPECT_GT(switches.load(), 0);
  EXPECT_GT(editorSteps, 0u);
  EXPECT_EQ(mixed, 0) << "of " << blocks << " blocks; largest |sample| " << largest;
  fx.Dispatch(effMainsChanged, 0, 0);
  fx.Close();
}

} // namespace
