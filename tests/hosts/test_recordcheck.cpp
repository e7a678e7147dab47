// The record check must fail loudly on a plug-in that is not ours, and its sample comparison
// must see every bit: otherwise the cross-build stages would pass whatever the builds compute.
#include "RecordCheck.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <limits>

namespace {

TEST(RecordCheck, ComparisonSeesEveryBit) {
  const float one = 1.0f;
  const struct {
    const char* What;
    std::vector<float> Expected, Actual;
    bool Same;
  } cases[] = {
      {"identical", {0.5f, -0.25f}, {0.5f, -0.25f}, true},
      {"one ulp apart", {one, 2.0f}, {std::nextafter(one, 2.0f), 2.0f}, false},
      {"zero of the other sign", {0.0f}, {-0.0f}, false},
      {"a sample missing", {1.0f, 2.0f}, {1.0f}, false},
      {"NaN against NaN of the same bits",
       {std::numeric_limits<float>::quiet_NaN()},
       {std::numeric_limits<float>::quiet_NaN()},
       true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qlhosts::CompareSamples(c.Expected, c.Actual).empty(), c.Same) << c.What;
}

TEST(RecordCheck, TestSignalIsTheSameEveryTime) {
  EXPECT_EQ(qlhosts::TestSignal(6000), qlhosts::TestSignal(6000));
}

TEST(RecordCheck, ForeignPluginFailsTheCheck) {
  void* library = dlopen((qltest::ExecutableDir() + "FixturePluginGain.so").c_str(), RTLD_NOW);
  if (!library) GTEST_SKIP() << "fixture plug-in not built";
  auto entry = reinterpret_cast<qlhosts::TPluginEntry>(dlsym(library, "main"));
  if (!entry) entry = reinterpret_cast<qlhosts::TPluginEntry>(dlsym(library, "VSTPluginMain"));
  ASSERT_NE(entry, nullptr);
  std::FILE* log = std::tmpfile();
  EXPECT_EQ(qlhosts::RunRecordCheck(entry, "", "", log), 1);
  std::fclose(log);
  dlclose(library);
}

} // namespace
