// quantaloop-host on the LV2 bundle of this build, side by side with its VST 2 library.

#include "HostTestSupport.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

using namespace qlhosttest;

namespace {

const std::string kBundle = QL_LV2_BUNDLE;
const std::string kUri = "urn:quantaloop:plugin";

// LV2_PATH holding only the folder of this build's bundle, so that lookups by URI find it and
// nothing installed on the machine.
std::string BuildLv2Path() {
  return "LV2_PATH=" + std::filesystem::path(kBundle).parent_path().string();
}

// Whether two renders carry the same sound to the last bit. The files themselves may differ: the
// WAV writer stamps the second it wrote the peak chunk.
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

TEST(HostLv2Info, ListsPortsAndPresetsByBundleAndByUri) {
  TRun byBundle = RunHost({"info", kBundle});
  ASSERT_EQ(byBundle.Status, 0) << byBundle.Err;
  EXPECT_EQ(byBundle.Err, "");
  for (const char* expected :
       {"name             Quantaloop", "uri              urn:quantaloop:plugin",
        "inputs           2", "outputs          2", "presets          2",
        "\"Init (program 1)\"  urn:quantaloop:plugin#program-1",
        "\"Init (program 2)\"  urn:quantaloop:plugin#program-2", "controls         5",
        // index, symbol, name, minimum, maximum, default, unit and properties
        "  4   oversampling  Oversampling  0         128       1         x, integer\n",
        "  5   quantizer     Quantizer     0         24        24        integer\n",
        "  6   dither        Dither        0         1         0\n",
        "  7   noise_shaper  NoiseShaper   0         1         0         toggled\n",
        "  8   error_filter  ErrorFilter   0         1         0\n",
        "  9   midi_in      \"MIDI In\" (atom input, optional)"})
    EXPECT_NE(byBundle.Out.find(expected), std::string::npos) << expected << "\n" << byBundle.Out;

  // By URI the same plug-in is found through LV2_PATH and told alike, apart from how it was named.
  TRun byUri = RunHost({"info", kUri}, {BuildLv2Path()});
  ASSERT_EQ(byUri.Status, 0) << byUri.Err;
  auto body = [](const std::string& out) { return out.substr(out.find('\n')); };
  EXPECT_EQ(body(byUri.Out), body(byBundle.Out));
}

// One command line renders the same, to the last bit, through both builds of the effect: names
// and values of --set mean the same parameter at the same real value in either format.
TEST(HostLv2Process, RendersExactlyAsTheVstBuild) {
  TScratchDir dir;
  ASSERT_EQ(RunHost({"generate", dir / "signal.wav", "--seconds", "2"}).Status, 0);
  const std::string vst = qltest::PluginPath();
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--set", "Quantizer=4", "--set", "Dither=1", "--set", "Oversampling=8", "--set",
       "NoiseShaper=1"},
      {"--set", "Oversampling=64", "--set", "quantizer=1", "--set", "NoiseShaper=1"},
      // Between two integers: the effect rounds half to even in either format.
      {"--set", "Quantizer=4.5", "--set", "Dither=0.3", "--block", "100"},
      {"--program", "1", "--set", "Quantizer=@0.25", "--set", "Oversampling=@0.0625"},
  };
  for (const auto& options : cases) {
    SCOPED_TRACE(::testing::PrintToString(options));
    struct TTarget {
      std::string Plugin, Out;
      std::vector<std::string> Env;
    };
    const TTarget targets[] = {
        {vst, "vst.wav", {}}, {kBundle, "bundle.wav", {}}, {kUri, "uri.wav", {BuildLv2Path()}}};
    for (const TTarget& t : targets) {
      std::vector<std::string> args = {"process", t.Plugin, dir / "signal.wav", dir / t.Out};
      args.insert(args.end(), options.begin(), options.end());
      TRun run = RunHost(args, t.Env);
      ASSERT_EQ(run.Status, 0) << t.Plugin << ": " << run.Err;
    }
    const TSound rendered = ReadSound(dir / "vst.wav");
    EXPECT_TRUE(SameSound(ReadSound(dir / "bundle.wav"), rendered));
    EXPECT_TRUE(SameSound(ReadSound(dir / "uri.wav"), rendered));
    EXPECT_NE(rendered.Samples, ReadSound(dir / "signal.wav").Samples);
  }
}

TEST(HostLv2Process, BadPluginsAndSettingsFailInOneLine) {
  TScratchDir dir;
  WriteSound(dir / "in.wav", TestSignal(2, 4800));
  std::filesystem::create_directory(dir / "empty.lv2");
  std::filesystem::create_directory(dir / "broken.lv2");
  WriteText(dir / "broken.lv2/manifest.ttl", "<urn:x> a <<\n");
  // A bundle whose description is whole but whose library is missing.
  std::filesystem::create_directory(dir / "nolib.lv2");
  for (const char* file : {"manifest.ttl", "quantaloop.ttl", "presets.ttl"})
    std::filesystem::copy_file(kBundle + "/" + file, dir / "nolib.lv2/" + file);
  struct TCase {
    std::vector<std::string> Args;
    const char* Message;
  };
  const std::string in = dir / "in.wav";
  const TCase cases[] = {
      {{dir / "missing.lv2", in}, "cannot open LV2 bundle"},
      {{dir / "empty.lv2", in}, "has no manifest.ttl"},
      {{dir / "broken.lv2", in}, "describes no plug-in"},
      {{"urn:quantaloop:nothing", in}, "no LV2 plug-in has the URI urn:quantaloop:nothing"},
      {{dir / "nolib.lv2", in}, "failed to instantiate"},
      {{kBundle, in, "--set", "Loudness=3"}, "unknown control 'Loudness'; the plug-in has"},
      {{kBundle, in, "--set", "Quantizer=25"}, "Quantizer runs from 0 to 24"},
      {{kBundle, in, "--set", "Dither=-0.5"}, "Dither runs from 0 to 1"},
      {{kBundle, in, "--set", "Dither=lots"}, "'lots' is not a number nor a label of Dither"},
      {{kBundle, in, "--set", "Dither=@2"}, "normalised values run from 0 to 1"},
      {{kBundle, in, "--program", "2"}, "--program takes a whole number from 0 to 1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Args));
    std::vector<std::string> args = {"process"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    args.push_back(dir / "out.wav");
    TRun run = RunHost(args, {BuildLv2Path()});
    EXPECT_NE(run.Status, 0);
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
  }
  // info fails alike on what it cannot read.
  for (const std::string& plugin : {dir / "broken.lv2", std::string("urn:quantaloop:nothing")}) {
    TRun run = RunHost({"info", plugin}, {BuildLv2Path()});
    EXPECT_EQ(run.Status, 1) << plugin;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
  }
}
