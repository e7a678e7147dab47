// quantaloop-host driven as a program, against the fixture plug-ins and files written here.

#include "HostTestSupport.h"
#include "PluginLibrary.h"
#include "TestPaths.h"
#include "vst2/interface/DAEffect.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

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
    std::vector<std::string> Env = {};
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
      {{"--set", "Gain=1", "--set", "Gain=2"}, 2.0f, 0.0f},        // the last one wins
      {{"--set", "Mode=on"}, -1.0f, 0.0f},                         // a worded display; On inverts
      {{"--set", "Gain=1.5"}, 1.5f, 0.0f, {"QL_FIXTURE_COMMA=1"}}, // the plug-in shows "1,50"
      {{"--set", "Gain=2,5"}, 2.5f, 0.0f, {"QL_FIXTURE_COMMA=1"}},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {"process", kGain, dir / "in.wav", dir / "out.wav"};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    SCOPED_TRACE(::testing::PrintToString(c.Options));
    TRun run = RunHost(args, c.Env);
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

TEST(HostProcess, InterruptedRunLeavesNoFile) {
  TScratchDir dir;
  WriteSound(dir / "in.wav", TestSignal(2, 48000));
  const int pid = StartHost({"process", kGain, dir / "in.wav", dir / "out.wav", "--block", "64"},
                            {"QL_FIXTURE_SLOW=1"});
  // Wait until the temporary output exists, then interrupt.
  bool started = false;
  for (int i = 0; i < 500 && !started; ++i) {
    for (const auto& f : dir.Files())
      started |= f.rfind("out.wav.part-", 0) == 0;
    if (!started) ::usleep(10000);
  }
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(started);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"in.wav"});
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
      {{"editor", kGain, "--png", "x.png"}, 1, "the plug-in has no editor"},
      {{"editor", kGain, "--png", "x.png", "--click", "5"}, 2, "--click needs X,Y"},
      {{"editor", kGain, "--png", "x.png", "--drag", "5,5"}, 2, "--drag needs X,Y:DX,DY"},
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
  ASSERT_EQ(RunHost({"generate", dir / "long.wav", "--rate", "44100", "--seconds", "9"}).Status, 0);
  const TSound other = ReadSound(dir / "long.wav");
  EXPECT_EQ(other.SampleRate, 44100);
  EXPECT_EQ(other.Frames(), 9u * 44100u);
  EXPECT_EQ(RunHost({"generate", dir / "x.wav", "--seconds", "1"}).Status, 2);
}

namespace {

// A sine of `cycles` whole periods over `frames` frames, optionally plus an orthogonal one.
TSound Tones(int channels, size_t frames, double amplitude, int cycles, double extraAmplitude = 0,
             int extraCycles = 0) {
  TSound s;
  s.Channels = channels;
  s.SampleRate = 48000;
  const double w = 2.0 * M_PI / static_cast<double>(frames);
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      s.Samples.push_back(
          static_cast<float>(amplitude * std::sin(w * cycles * static_cast<double>(i)) +
                             extraAmplitude * std::cos(w * extraCycles * static_cast<double>(i))));
  return s;
}

// Width and height from a PNG's header chunk.
std::pair<uint32_t, uint32_t> PngSize(const std::string& path) {
  const std::string bytes = ReadText(path);
  if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
  auto word = [&](size_t at) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
  };
  return {word(16), word(20)};
}

// The columns of the analyze table row that starts with `name`.
std::vector<std::string> RowOf(const std::string& table, const std::string& name) {
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::vector<std::string> row;
    for (std::string w; words >> w;)
      row.push_back(w);
    if (!row.empty() && row[0] == name) return row;
  }
  return {};
}

} // namespace

TEST(HostAnalyze, LevelsGainAndSnr) {
  TScratchDir dir;
  const size_t n = 48000;
  WriteSound(dir / "ref.wav", Tones(2, n, 0.5, 997));
  WriteSound(dir / "half.wav", Tones(2, n, 0.25, 997));
  WriteSound(dir / "noisy.wav", Tones(2, n, 0.5, 997, 0.005, 3001)); // 40 dB below the sine
  WriteSound(dir / "mono-ref.wav", Tones(1, n, 0.5, 997));
  TRun run = RunHost({"analyze", dir / "ref.wav", dir / "half.wav", dir / "noisy.wav", "--ref",
                      dir / "mono-ref.wav", "--png", dir / "plot.png"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  struct TRow {
    const char* Name;
    const char *Peak, *Rms, *Gain, *Snr;
  };
  for (const TRow& r : {TRow{"ref", "-6.02", "-9.03", "0.00", "inf"},
                        TRow{"half", "-12.04", "-15.05", "-6.02", "inf"},
                        TRow{"noisy", "-5.93", "-9.03", "0.00", "40.00"}}) {
    SCOPED_TRACE(r.Name);
    EXPECT_EQ(RowOf(run.Out, r.Name),
              (std::vector<std::string>{r.Name, r.Peak, r.Rms, r.Gain, r.Snr}))
        << run.Out;
  }
  EXPECT_EQ(PngSize(dir / "plot.png"), (std::pair<uint32_t, uint32_t>{1400, 760}));

  // Without a reference: levels only, and the spectrum of the file itself.
  run = RunHost({"analyze", dir / "half.wav", "--png", dir / "alone.png", "--fft", "1024"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(RowOf(run.Out, "half"), (std::vector<std::string>{"half", "-12.04", "-15.05"}));
  EXPECT_EQ(PngSize(dir / "alone.png").first, 1400u);
}

TEST(HostAnalyze, BadInputFailsInOneLineAndLeavesNoPlot) {
  TScratchDir dir;
  WriteSound(dir / "ref.wav", Tones(2, 4800, 0.5, 99));
  WriteSound(dir / "short.wav", Tones(2, 4000, 0.5, 99));
  WriteSound(dir / "three.wav", Tones(3, 4800, 0.5, 99));
  WriteSound(dir / "silent.wav", Tones(2, 4800, 0.0, 99));
  WriteSound(dir / "tiny.wav", Tones(2, 32, 0.5, 1));
  TSound fast = Tones(2, 4800, 0.5, 99);
  fast.SampleRate = 96000;
  WriteSound(dir / "fast.wav", fast);
  const std::string png = dir / "plot.png";
  struct TCase {
    std::vector<std::string> Args;
    const char* Message;
  };
  const TCase cases[] = {
      {{dir / "missing.wav"}, "cannot open"},
      {{dir / "ref.wav", "--ref", dir / "missing.wav"}, "cannot open"},
      {{dir / "short.wav", "--ref", dir / "ref.wav"}, "has 4000 frames but the reference 4800"},
      {{dir / "three.wav", "--ref", dir / "ref.wav"}, "has 3 channels but the reference 2"},
      {{dir / "fast.wav", "--ref", dir / "ref.wav"}, "runs at 96000 Hz but the reference"},
      {{dir / "ref.wav", dir / "fast.wav"}, "runs at 96000 Hz but"},
      {{dir / "ref.wav", "--ref", dir / "silent.wav"}, "is silent"},
      {{dir / "tiny.wav"}, "too short for a spectrum"},
      {{dir / "ref.wav", "--fft", "1000"}, "--fft takes a power of two"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Args));
    std::vector<std::string> args = {"analyze"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    args.insert(args.end(), {"--png", png});
    TRun run = RunHost(args);
    EXPECT_NE(run.Status, 0);
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(png));
  }
  EXPECT_EQ(dir.Files().size(), 6u);
}

namespace {

VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Drives the plug-in through its record the way the host does, and returns the interleaved
// stereo output for `in`, after writing the given normalised parameter values.
std::vector<float> ProcessDirectly(const TSound& in,
                                   const std::vector<std::pair<int, float>>& values, int block) {
  qltest::TPluginLibrary library(qltest::PluginPath());
  EXPECT_TRUE(library.Loaded());
  if (!library.Loaded()) return {};
  auto entry = library.Entry("VSTPluginMain");
  AEffect* e = entry(&QuietHost);
  EXPECT_NE(e, nullptr);
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(in.SampleRate));
  e->dispatcher(e, effSetBlockSize, 0, block, nullptr, 0.0f);
  for (auto [index, value] : values)
    e->setParameter(e, index, value);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  const size_t frames = in.Frames();
  std::vector<float> left(frames), right(frames), outLeft(frames), outRight(frames);
  for (size_t i = 0; i < frames; ++i) {
    left[i] = in.At(i, 0);
    right[i] = in.At(i, 1);
  }
  for (size_t at = 0; at < frames; at += static_cast<size_t>(block)) {
    float* ins[] = {left.data() + at, right.data() + at};
    float* outs[] = {outLeft.data() + at, outRight.data() + at};
    const auto n = static_cast<VstInt32>(std::min<size_t>(static_cast<size_t>(block), frames - at));
    e->processReplacing(e, ins, outs, n);
  }
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  std::vector<float> out;
  for (size_t i = 0; i < frames; ++i) {
    out.push_back(outLeft[i]);
    out.push_back(outRight[i]);
  }
  return out;
}

} // namespace

// The host adds nothing of its own: its output is what the plug-in computes when driven directly
// with the same normalised values, to the last bit.
TEST(HostRoundTrip, ProcessGivesExactlyThePluginsOwnOutput) {
  TScratchDir dir;
  ASSERT_EQ(RunHost({"generate", dir / "signal.wav"}).Status, 0);
  const TSound in = ReadSound(dir / "signal.wav");
  struct TCase {
    std::vector<std::string> Options;
    std::vector<std::pair<int, float>> Values; // index, normalised
    int Block;
  };
  // Dither draws from a generator shared by the process; the dithered case comes first, while
  // this test process has drawn nothing yet, as the host's fresh process has not.
  const TCase cases[] = {
      {{"--set", "Quantizer=4", "--set", "Dither=1"}, {{1, 4.0f / 24.0f}, {2, 1.0f}}, 512},
      {{}, {}, 512},
      {{"--set", "Oversampling=64", "--set", "Quantizer=1", "--set", "NoiseShaper=1"},
       {{0, 0.5f}, {1, 1.0f / 24.0f}, {3, 1.0f}},
       512},
      {{"--set", "Quantizer=@0.25", "--block", "100"}, {{1, 0.25f}}, 100},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Options));
    std::vector<std::string> args = {"process", qltest::PluginPath(), dir / "signal.wav",
                                     dir / "out.wav"};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    TRun run = RunHost(args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TSound out = ReadSound(dir / "out.wav");
    const std::vector<float> direct = ProcessDirectly(in, c.Values, c.Block);
    ASSERT_EQ(out.Samples.size(), direct.size());
    size_t differing = 0;
    for (size_t i = 0; i < direct.size(); ++i)
      differing += std::memcmp(&out.Samples[i], &direct[i], sizeof(float)) != 0;
    EXPECT_EQ(differing, 0u);
    EXPECT_NE(out.Samples, in.Samples); // the plug-in did something
  }
}

// The editor as a user sees it after two gestures: the dither block clicked on, the oversampling
// number dragged up by 60 pixels (a press in its lower half, then twelve steps).
TEST(HostEditor, RendersTheEditorAfterGestures) {
  TScratchDir dir;
  const std::string png = dir / "editor.png";
  TRun run = RunHost({"editor", BinPath("Quantaloop.so"), "--png", png, "--click", "500,60",
                      "--drag", "160,230:0,-60"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("Oversampling   13.00"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("Dither         1.00"), std::string::npos) << run.Out;
  std::FILE* f = std::fopen(png.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char signature[8] = {};
  EXPECT_EQ(std::fread(signature, 1, 8, f), 8u);
  std::fclose(f);
  EXPECT_EQ(std::memcmp(signature, "\x89PNG\r\n\x1a\n", 8), 0);
}
