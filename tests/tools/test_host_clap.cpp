// quantaloop-host on the CLAP plug-in of this build, side by side with its VST 2 library.

#include "HostTestSupport.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

using namespace qlhosttest;

namespace {

const std::string kClap = BinPath("Quantaloop.clap");

// The files may differ where the WAV writer stamps the time; the samples may not.
::testing::AssertionResult SameSound(const TSound& a, const TSound& b) {
  if (a.Channels != b.Channels || a.SampleRate != b.SampleRate || a.Frames() != b.Frames())
    return ::testing::AssertionFailure() << "formats differ";
  size_t differing = 0;
  for (size_t i = 0; i < a.Samples.size(); ++i)
    differing += std::memcmp(&a.Samples[i], &b.Samples[i], sizeof(float)) != 0;
  if (differing) return ::testing::AssertionFailure() << differing << " samples differ";
  return ::testing::AssertionSuccess();
}

} // namespace

TEST(HostClapInfo, ListsTheDescriptorPortsAndParameters) {
  TRun run = RunHost({"info", kClap});
  ASSERT_EQ(run.Status, 0) << run.Err;
  for (const char* expected :
       {"id               org.quantaloop.quantaloop\n", "name             Quantaloop\n",
        "features         audio-effect, distortion, stereo\n",
        "audio            2 in, 2 out (main ports)\n",
        "note ports       1 in, 1 out; dialects clap midi\n", "latency          0\n",
        "parameters       5\n", "Oversampling  0         128       1         1         1.00 x",
        "NoiseShaper   0         1         0         0         0.00  (stepped)"})
    EXPECT_NE(run.Out.find(expected), std::string::npos) << expected << "\n" << run.Out;
}

// The same command line renders the same sound through both formats: numbers in the real
// units, parameter indices, texts the plug-in parses and normalised values.
TEST(HostClapProcess, RendersAsTheVstBuildWithTheSameSettings) {
  TScratchDir dir;
  ASSERT_EQ(RunHost({"generate", dir / "signal.wav", "--seconds", "2"}).Status, 0);
  const std::vector<std::vector<std::string>> settings = {
      {},
      {"--set", "Quantizer=3", "--set", "oversampling=16", "--set", "NoiseShaper=1"},
      {"--set", "1=5", "--set", "Dither=@0.5", "--block", "1"},
  };
  for (const auto& s : settings) {
    SCOPED_TRACE(::testing::PrintToString(s));
    for (const auto& [plugin, out] :
         {std::pair{BinPath("Quantaloop.so"), "vst.wav"}, std::pair{kClap, "clap.wav"}}) {
      std::vector<std::string> args = {"process", plugin, dir / "signal.wav", dir / out};
      args.insert(args.end(), s.begin(), s.end());
      TRun run = RunHost(args);
      ASSERT_EQ(run.Status, 0) << run.Err;
    }
    EXPECT_TRUE(SameSound(ReadSound(dir / "clap.wav"), ReadSound(dir / "vst.wav")));
  }
  // A text the plug-in shows is taken back.
  ASSERT_EQ(RunHost({"process", kClap, dir / "signal.wav", dir / "text.wav", "--set",
                     "Oversampling=16.00 x", "--set", "Quantizer=3", "--set", "NoiseShaper=1"})
                .Status,
            0);
  ASSERT_EQ(RunHost({"process", kClap, dir / "signal.wav", dir / "number.wav", "--set",
                     "Oversampling=16", "--set", "Quantizer=3", "--set", "NoiseShaper=1"})
                .Status,
            0);
  EXPECT_TRUE(SameSound(ReadSound(dir / "text.wav"), ReadSound(dir / "number.wav")));
}

TEST(HostClapProcess, BadPluginsAndSettingsFailInOneLine) {
  TScratchDir dir;
  WriteSound(dir / "in.wav", TestSignal(2, 4800));
  // A library that is no CLAP plug-in, under a CLAP name.
  std::filesystem::copy_file(BinPath("Quantaloop.so"), dir / "vst.clap");
  WriteText(dir / "text.clap", "not a library");
  struct TCase {
    std::vector<std::string> Args;
    const char* Message;
  };
  const std::string in = dir / "in.wav";
  const TCase cases[] = {
      {{dir / "missing.clap", in}, "cannot load"},
      {{dir / "text.clap", in}, "cannot load"},
      {{dir / "vst.clap", in}, "exports no clap_entry"},
      {{kClap, in, "--set", "Loudness=3"}, "unknown parameter Loudness; the plug-in has"},
      {{kClap, in, "--set", "Quantizer=25"}, "Quantizer runs from 0 to 24"},
      {{kClap, in, "--set", "Dither=lots"}, "lots is not a number nor a text that Dither takes"},
      {{kClap, in, "--set", "Dither=@2"}, "must run from 0 to 1"},
      {{kClap, in, "--program", "0"}, "has no programs"},
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
}
