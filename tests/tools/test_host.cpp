// quantaloop-host driven as a program, against the fixture plug-ins and files written here.

#include "HostTestSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>

using namespace qlhosttest;

namespace {

const std::string kGain = BinPath("FixturePluginGain.so");

// Output sample expected from the fixture for an input sample.
float Expected(float in, float gain, float offset) {
  return in * gain + offset;
}

// Bit-exact unless a tolerance is given (a curved display only pins a value to its resolution).
void ExpectProcessed(const TSound& in, const TSound& out, float gain, float offset,
                     float tolerance = 0.0f) {
  ASSERT_EQ(out.Channels, 2);
  ASSERT_EQ(out.Frames(), in.Frames());
  EXPECT_EQ(out.SampleRate, in.SampleRate);
  for (size_t i = 0; i < in.Frames(); ++i)
    for (int c = 0; c < 2; ++c) {
      const float v = in.At(i, in.Channels == 1 ? 0 : c);
      if (tolerance == 0.0f)
        ASSERT_EQ(out.At(i, c), Expected(v, gain, offset)) << "frame " << i << " channel " << c;
      else
        ASSERT_NEAR(out.At(i, c), Expected(v, gain, offset), tolerance) << "frame " << i;
    }
}

} // namespace

TEST(HostInfo, ReportsWhatThePluginTells) {
  struct TCase {
    const char* Library;
    const char* Entry;
  };
  for (const TCase& c : {TCase{"FixturePluginGain.so", "VSTPluginMain"},
                         TCase{"FixturePluginMainOnly.so", "main"}}) {
    SCOPED_TRACE(c.Library);
    TRun run = RunHost({"info", BinPath(c.Library)});
    ASSERT_EQ(run.Status, 0) << run.Err;
    for (const char* expected :
         {"effect name      Fixture Gain", "vendor           Test Bench",
          "product          Gain Fixture", "vendor version   7", "'FxGn' (0x4678476E)",
          "version          3", "flags            0x", "inputs           2", "outputs          2",
          "programs         2 (current 0)", "\"Unity\"", "\"Double\"", "parameters       3",
          "Gain    0.25        1.00        x", "Offset  0", "Mode    0           Off",
          "plugAsChannelInsert    yes", "offline                no",
          "bypass                 don't know"})
      EXPECT_NE(run.Out.find(expected), std::string::npos) << expected << "\n" << run.Out;
    EXPECT_NE(run.Out.find(std::string("(entry ") + c.Entry + ")"), std::string::npos);
  }
}

TEST(HostProcess, SettingsReachThePlugin) {
  TScratchDir dir;
  const TSound in = TestSignal(2, 3000);
  WriteSound(dir / "in.wav", in);
  struct TCase {
    std::vector<std::string> Options;
    float Gain, Offset;
  };
  const TCase cases[] = {
      {{}, 1.0f, 0.0f},
      {{"--set", "Gain=2"}, 2.0f, 0.0f},
      {{"--set", "gain=2.5"}, 2.5f, 0.0f},                   // names ignore case
      {{"--set", "0=3"}, 3.0f, 0.0f},                        // by index
      {{"--set", "Gain=@0.75"}, 3.0f, 0.0f},                 // normalised
      {{"--set=Gain=0,5"}, 0.5f, 0.0f},                      // decimal comma
      {{"--program", "1"}, 2.0f, 0.0f},                      // program "Double"
      {{"--program", "1", "--set", "Gain=0.5"}, 0.5f, 0.0f}, // settings after the program
      {{"--set", "Offset=25"}, 1.0f, 0.25f}, // curved display: 100 n^2 = 25 at n = 0.5
      {{"--set", "Offset=@0.5", "--set", "Gain=4"}, 4.0f, 0.25f},
      {{"--set", "Gain=1", "--set", "Gain=2"}, 2.0f, 0.0f}, // the last one wins
      {{"--set", "Mode=on"}, -1.0f, 0.0f},                  // a worded display; On inverts
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {"process", kGain, dir / "in.wav", dir / "out.wav"};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    SCOPED_TRACE(::testing::PrintToString(c.Options));
    TRun run = RunHost(args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    // Offset's display shows one decimal of 100 n^2: 25.0 pins the offset to 0.25 +- 0.0005.
    ExpectProcessed(in, ReadSound(dir / "out.wav"), c.Gain, c.Offset,
                    c.Offset != 0.0f ? 5e-4f : 0.0f);
  }
}

TEST(HostProcess, BlocksChannelsFormatsAndEntries) {
  TScratchDir dir;
  const TSound stereo = TestSignal(2, 2500, 44100);
  const TSound mono = TestSignal(1, 2500, 96000);
  WriteSound(dir / "stereo.wav", stereo);
  WriteSound(dir / "mono.flac", mono, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  const TSound monoRead = ReadSound(dir / "mono.flac");
  struct TCase {
    const char* Library;
    const char* In;
    const char* Out;
    std::vector<std::string> Options;
    float Tolerance; // 0: bit-exact
  };
  const TCase cases[] = {
      {"FixturePluginGain.so", "stereo.wav", "a.wav", {"--block", "1"}, 0},
      {"FixturePluginGain.so", "stereo.wav", "a.wav", {"--block", "7"}, 0},
      {"FixturePluginGain.so", "stereo.wav", "a.wav", {"--block", "65536"}, 0},
      {"FixturePluginAccumulate.so", "stereo.wav", "a.wav", {"--block", "100"}, 0},
      {"FixturePluginMainOnly.so", "stereo.wav", "a.wav", {}, 0},
      {"FixturePluginGain.so", "mono.flac", "a.wav", {}, 0}, // mono feeds both inputs
      {"FixturePluginGain.so", "stereo.wav", "a.AIFF", {}, 0},
      {"FixturePluginGain.so", "stereo.wav", "a.flac", {}, 1.0f / (1 << 23)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Library) + " " + c.In + " -> " + c.Out);
    std::vector<std::string> args = {"process", BinPath(c.Library), dir / c.In, dir / c.Out};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    TRun run = RunHost(args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TSound& in = std::string(c.In) == "mono.flac" ? monoRead : stereo;
    const TSound out = ReadSound(dir / c.Out);
    if (c.Tolerance == 0) {
      ExpectProcessed(in, out, 1.0f, 0.0f);
      continue;
    }
    ASSERT_EQ(out.Frames(), in.Frames());
    for (size_t i = 0; i < in.Frames(); ++i)
      for (int ch = 0; ch < 2; ++ch)
        ASSERT_NEAR(out.At(i, ch), in.At(i, ch), c.Tolerance);
  }
  // Integer formats clip what lies beyond full scale rather than wrapping it around.
  ASSERT_EQ(
      RunHost({"process", kGain, dir / "stereo.wav", dir / "loud.flac", "--set", "Gain=4"}).Status,
      0);
  const TSound loud = ReadSound(dir / "loud.flac");
  for (size_t i = 0; i < stereo.Frames(); ++i)
    if (stereo.At(i, 0) * 4.0f > 1.0f) {
      ASSERT_GT(loud.At(i, 0), 0.99f) << i;
    }
}

TEST(HostProcess, BadInputFailsInOneLineAndLeavesNoOutput) {
  TScratchDir dir;
  WriteSound(dir / "in.wav", TestSignal(2, 500));
  WriteSound(dir / "three.wav", TestSignal(3, 500));
  WriteSound(dir / "fast.wav", TestSignal(2, 500, 2000000));
  WriteText(dir / "text.so", "not a library\n");
  WriteText(dir / "text.wav", "RIFF? no, just text\n");
  const std::string in = dir / "in.wav";
  struct TCase {
    std::vector<std::string> Args;
    const char* Message;
  };
  const TCase cases[] = {
      {{kGain + ".missing", in}, "cannot open plug-in"},
      {{dir / "text.so", in}, "is not a loadable plug-in library"},
      {{BinPath("FixturePluginNoEntry.so"), in}, "exports neither VSTPluginMain nor main"},
      {{BinPath("FixturePluginNullEntry.so"), in}, "returned no effect"},
      {{kGain, dir / "missing.wav"}, "cannot open"},
      {{kGain, dir / "text.wav"}, "as a sound file"},
      {{kGain, dir / "three.wav"}, "has 3 channels but the plug-in has 2 inputs"},
      {{kGain, in, "--set", "Volume=1"},
       "unknown parameter 'Volume'; the plug-in has Gain, "
       "Offset, Mode"},
      {{kGain, in, "--set", "7=1"}, "parameter index 7 is out of range"},
      {{kGain, in, "--set", "Gain=5"}, "value 5 is out of range: Gain runs from 0.00 to 4.00 x"},
      {{kGain, in, "--set", "Gain=-0.1"}, "out of range"},
      {{kGain, in, "--set", "Gain=@1.5"}, "normalised values run from 0 to 1"},
      {{kGain, in, "--set", "Gain=loud"}, "'loud' is not a number nor a text that Gain shows"},
      {{kGain, in, "--set", "Mode=Maybe"}, "'Maybe' is not a number nor a text that Mode shows"},
      {{kGain, in, "--set", "Gain=nan"}, "is not a number"},
      {{kGain, in, "--set", "Mode=1"}, "shows 'Off', not a number"},
      {{kGain, in, "--set", "Gain"}, "--set takes NAME=VALUE"},
      {{kGain, in, "--program", "2"}, "--program takes a whole number from 0 to 1"},
      {{kGain, in, "--block", "0"}, "--block takes a whole number"},
      {{kGain, in, "--bogus"}, "unknown option --bogus"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Args));
    std::vector<std::string> args = {"process"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    args.push_back(dir / "out.wav");
    TRun run = RunHost(args);
    EXPECT_NE(run.Status, 0);
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
  }
  // Output problems, and a failure over an existing file, which must stay as it was.
  WriteText(dir / "keep.wav", "earlier result");
  const TCase outputCases[] = {
      {{kGain, dir / "fast.wav", dir / "out.flac"}, "at 2000000 Hz"},
      {{kGain, in, dir / "out.mp3"}, "give it the extension .wav, .flac or .aiff"},
      {{kGain, in, dir / "no-such-folder/out.wav"}, "cannot create"},
      {{kGain, in, dir / "keep.wav", "--set", "Gain=9"}, "out of range"},
  };
  for (const TCase& c : outputCases) {
    SCOPED_TRACE(::testing::PrintToString(c.Args));
    std::vector<std::string> args = {"process"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    TRun run = RunHost(args);
    EXPECT_NE(run.Status, 0);
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
  }
  EXPECT_EQ(ReadText(dir / "keep.wav"), "earlier result");
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"fast.wav", "in.wav", "keep.wav", "text.so",
                                                   "text.wav", "three.wav"}));
}

TEST(HostCommandLine, UsageErrors) {
  struct TCase {
    std::vector<std::string> Args;
    int Status;
    const char* Message;
  };
  const TCase cases[] = {
      {{}, 2, "usage: quantaloop-host COMMAND"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"process", kGain}, 2, "expected process PLUGIN IN OUT"},
      {{"info"}, 2, "expected info PLUGIN"},
      {{"editor", kGain, "--png", "x.png"}, 1, "not available in this build"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Args));
    TRun run = RunHost(c.Args);
    EXPECT_EQ(run.Status, c.Status);
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
  }
  TRun help = RunHost({"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_NE(help.Out.find("@ and a normalised"), std::string::npos);
}

TEST(HostGenerate, WritesTheDemoSignal) {
  TScratchDir dir;
  TRun run = RunHost({"generate", dir / "signal.wav"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const TSound s = ReadSound(dir / "signal.wav");
  EXPECT_EQ(s.Channels, 2);
  EXPECT_EQ(s.SampleRate, 48000);
  EXPECT_EQ(s.Frames(), 4u * 48000u);
  float sinePeak = 0, chordPeak = 0;
  for (size_t i = 0; i < s.Frames(); ++i) {
    ASSERT_EQ(s.At(i, 0), s.At(i, 1));
    float& peak = i < 26 * 4800 ? sinePeak : chordPeak; // the chord starts at 2.6 s
    peak = std::max(peak, std::fabs(s.At(i, 0)));
  }
  EXPECT_NEAR(sinePeak, 0.5f, 1e-4f); // -6 dBFS
  EXPECT_GT(chordPeak, 0.1f);
  EXPECT_LT(chordPeak, 0.5f);
  ASSERT_EQ(RunHost({"generate", dir / "slow.wav", "--rate", "44100"}).Status, 0);
  EXPECT_EQ(ReadSound(dir / "slow.wav").SampleRate, 44100);
}
