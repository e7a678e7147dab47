// Four-character codes, fixed-point float text and the speaker-arrangement utilities.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "RecordingEffect.h"
#include "TestPaths.h"
#include "platform/Regional.h"
#include "vst2/base/DVstUtils.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

namespace qltest {
namespace {

TEST(FourCharCode, FirstCharacterInTheTopByte) {
  EXPECT_EQ(0x61626364, makeFourCharCode('a', 'b', 'c', 'd'));
  EXPECT_EQ(0x56737450, makeFourCharCode('V', 's', 't', 'P'));
  EXPECT_EQ(0x4E764566, makeFourCharCode('N', 'v', 'E', 'f'));
  const char ff = static_cast<char>(255); // signed char on these builds: taken as 255
  EXPECT_EQ(static_cast<VstInt32>(0xFFFFFFFFu), makeFourCharCode(ff, ff, ff, ff));
}

class FloatText : public ::testing::Test {
protected:
  void SetUp() override {
    FSaved = DecimalSeparator();
    SetDecimalSeparator('.');
  }
  void TearDown() override { SetDecimalSeparator(FSaved); }
  static std::string Text(float v) {
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    formatFloatFixed(v, buffer);
    return buffer;
  }
  char FSaved = '.';
};

TEST_F(FloatText, Cases) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  constexpr float kMax = std::numeric_limits<float>::max();
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {0.5f, "0.50"},
      {-3.0f, "-3.00"},
      {1234.5f, "1234.50"}, // no grouping
      {0.125f, "0.13"},     // an exact half goes away from zero
      {-0.125f, "-0.13"},
      {0.375f, "0.38"},
      {-0.004f, "0.00"}, // rounds to zero and loses its sign
      {0.0f, "0.00"},
      {-0.0f, "0.00"},
      {1.4e-45f, "0.00"}, // smallest denormal
      {-1.4e-45f, "0.00"},
      // The stored values lie just below the half: 0.004999999888..., 1.004999995...
      {0.005f, "0.00"},
      {1.005f, "1.00"},
      {2.675f, "2.67"},
      {99.995f, "100.00"}, // 99.99500274...: the carry adds a digit
      {-99.995f, "-100.00"},
      {9.995f, "9.99"},
      {123456.789f, "123456.79"},
      {16777216.0f, "16777216.00"},
      {1e18f, "999999984306749440.00"}, // stored just below 10^18: still fixed
      {1e20f, "1.00000002004087734E20"},
      {1152921504606846976.0f, "1.15292150460684698E18"}, // 2^60, rounded up at digit 18
      {kMax, "3.4028234663852886E38"}, // digit 18 rounds up to 0, which is dropped
      {-kMax, "-3.4028234663852886E38"},
      {kInf, "INF"},
      {-kInf, "-INF"},
      {std::numeric_limits<float>::quiet_NaN(), "NAN"},
      {-std::numeric_limits<float>::quiet_NaN(), "NAN"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.text, Text(c.value)) << "value " << c.value;
}

TEST_F(FloatText, UsesTheRegionalSeparator) {
  SetDecimalSeparator(',');
  EXPECT_EQ("-3,00", Text(-3.0f));
  EXPECT_EQ("0,00", Text(-0.0f));
  EXPECT_EQ("1,00000002004087734E20", Text(1e20f));
  EXPECT_EQ("INF", Text(std::numeric_limits<float>::infinity()));
}

// The longest texts stay within the 23 characters callers reserve.
TEST_F(FloatText, NeverLongerThan23Characters) {
  for (float v : {-std::numeric_limits<float>::max(), -9.99999944e17f, -1.17549435e-38f,
                  -8388607.5f, -std::numeric_limits<float>::denorm_min()})
    EXPECT_LE(Text(v).size(), 23u) << v;
}

// Arrangement blocks: 8 + 112 n bytes, zeroed, released with the same allocator.
class Arrangements : public ::testing::Test {
protected:
  void TearDown() override {
    FFx.deallocateArrangement(&FA);
    FFx.deallocateArrangement(&FB);
  }
  static bool AllZero(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
      if (b[i] != 0) return false;
    return true;
  }
  static VstSpeakerProperties* Speaker(VstSpeakerArrangement* a, int i) {
    return reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<char*>(a) + 8 + 112 * i);
  }
  TPlainEffect FFx;
  VstSpeakerArrangement* FA = nullptr;
  VstSpeakerArrangement* FB = nullptr;
};

TEST_F(Arrangements, AllocateGivesAZeroedBlock) {
  ASSERT_TRUE(FFx.allocateArrangement(&FA, 2));
  ASSERT_NE(nullptr, FA);
  EXPECT_EQ(2, FA->numChannels);
  EXPECT_EQ(0, FA->type);
  EXPECT_TRUE(AllZero(Speaker(FA, 0), 2 * 112));
  // Allocating again releases the old block first (the address sanitizer sees a leak if not).
  ASSERT_TRUE(FFx.allocateArrangement(&FA, 0));
  EXPECT_EQ(0, FA->numChannels);
}

TEST_F(Arrangements, ImpossibleSizesAnswerFalseAndLeaveNull) {
  ASSERT_TRUE(FFx.allocateArrangement(&FA, 1));
  EXPECT_FALSE(FFx.allocateArrangement(&FA, -1));
  EXPECT_EQ(nullptr, FA);
  EXPECT_FALSE(FFx.allocateArrangement(nullptr, 2));
}

TEST_F(Arrangements, DeallocateAnswersTrueAlways) {
  ASSERT_TRUE(FFx.allocateArrangement(&FA, 2));
  EXPECT_TRUE(FFx.deallocateArrangement(&FA));
  EXPECT_EQ(nullptr, FA);
  EXPECT_TRUE(FFx.deallocateArrangement(&FA));
  EXPECT_TRUE(FFx.deallocateArrangement(nullptr));
}

TEST_F(Arrangements, CopySpeakerCopiesEveryField) {
  VstSpeakerProperties from;
  std::memset(&from, 0x5A, sizeof from);
  std::strcpy(from.name, "Left");
  from.azimuth = -0.5f;
  from.elevation = 0.25f;
  from.radius = 1.0f;
  from.reserved = 2.0f;
  from.type = 1;
  VstSpeakerProperties to;
  std::memset(&to, 0, sizeof to);
  ASSERT_TRUE(FFx.copySpeaker(&to, &from));
  EXPECT_STREQ("Left", to.name);
  EXPECT_EQ(0, to.name[5]) << "nothing after the terminator is copied";
  EXPECT_EQ(-0.5f, to.azimuth);
  EXPECT_EQ(0.25f, to.elevation);
  EXPECT_EQ(1.0f, to.radius);
  EXPECT_EQ(2.0f, to.reserved);
  EXPECT_EQ(1, to.type);
  EXPECT_EQ(0, std::memcmp(to.future, from.future, sizeof to.future));
  EXPECT_FALSE(FFx.copySpeaker(nullptr, &from));
  EXPECT_FALSE(FFx.copySpeaker(&to, nullptr));
}

TEST_F(Arrangements, CopySpeakerStopsAtTheEndOfAnUnterminatedName) {
  VstSpeakerProperties from;
  std::memset(&from, 'A', sizeof from);
  VstSpeakerProperties to;
  std::memset(&to, 0, sizeof to);
  ASSERT_TRUE(FFx.copySpeaker(&to, &from));
  EXPECT_EQ(63u, std::strlen(to.name));
}

TEST_F(Arrangements, MatchCopiesTypeAndSpeakers) {
  // More channels than the declared speaker array holds.
  ASSERT_TRUE(FFx.allocateArrangement(&FB, 10));
  FB->type = 3;
  for (int i = 0; i < 10; ++i) {
    Speaker(FB, i)->name[0] = static_cast<char>('a' + i);
    Speaker(FB, i)->future[27] = static_cast<char>(i + 1);
  }
  ASSERT_TRUE(FFx.allocateArrangement(&FA, 1)); // replaced by the match
  ASSERT_TRUE(FFx.matchArrangement(&FA, FB));
  ASSERT_NE(nullptr, FA);
  EXPECT_EQ(3, FA->type);
  EXPECT_EQ(10, FA->numChannels);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(std::string(1, static_cast<char>('a' + i)), Speaker(FA, i)->name);
    EXPECT_EQ(i + 1, Speaker(FA, i)->future[27]);
  }
  VstSpeakerArrangement* kept = FA;
  EXPECT_FALSE(FFx.matchArrangement(&FA, nullptr));
  EXPECT_EQ(kept, FA);
}

} // namespace
} // namespace qltest

namespace qltest {
namespace {

#ifndef _WIN32
// The user's settings come from the environment (LC_ALL, LC_NUMERIC, LANG) through a private
// locale object; the process-wide locale stays as it is.
TEST(RegionalSettings, SeparatorFollowsTheUsersEnvironment) {
  // Compiled once into the build folder; later runs reuse it.
  const std::string dir = ExecutableDir() + "ql_locales";
  const std::string make = "test -d " + dir + "/de_DE.UTF-8 || { mkdir -p " + dir +
                           " && localedef -i de_DE -f UTF-8 " + dir +
                           "/de_DE.UTF-8 >/dev/null 2>&1; }";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "cannot build a comma locale here";
  setenv("LOCPATH", dir.c_str(), 1);
#ifdef __SANITIZE_ADDRESS__
  // glibc's newlocale leaks the search list it builds from LOCPATH; the library never sets it.
  __lsan::ScopedDisabler noLeakChecks;
#endif
  const struct {
    const char* lcAll;
    const char* lcNumeric;
    const char* lang;
    char separator;
  } cases[] = {
      {"de_DE.UTF-8", "", "", ','},  {"", "de_DE.UTF-8", "", ','}, {"", "", "de_DE.UTF-8", ','},
      {"", "C", "de_DE.UTF-8", '.'}, {"xx_XX.UTF-8", "", "", '.'}, {"", "", "", '.'},
  };
  for (const auto& c : cases) {
    setenv("LC_ALL", c.lcAll, 1);
    setenv("LC_NUMERIC", c.lcNumeric, 1);
    setenv("LANG", c.lang, 1);
    EXPECT_EQ(c.separator, ReadUserDecimalSeparator())
        << c.lcAll << "/" << c.lcNumeric << "/" << c.lang;
  }
  for (const char* name : {"LOCPATH", "LC_ALL", "LC_NUMERIC", "LANG"})
    unsetenv(name);
  EXPECT_EQ(std::string("."), localeconv()->decimal_point) << "process locale untouched";
}
#endif

} // namespace
} // namespace qltest
