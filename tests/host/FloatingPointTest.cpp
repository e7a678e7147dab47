// The floating-point set-up made when the library is loaded, checked on the thread that loaded
// it: the test runner's main thread, which runs every test.
#include <gtest/gtest.h>

#include <cmath>

#include "host/DAudioEffect.h"
#include "platform/FloatingPoint.h"

namespace {

TEST(FloatingPoint, ControlStateAfterLoad) {
  EXPECT_EQ(0x133F, ReadX87ControlWord() & 0x1F3F);
  const uint32_t csr = ReadMxcsr();
  EXPECT_EQ(kMxcsrExceptionMasks, csr & kMxcsrExceptionMasks) << std::hex << csr;
  EXPECT_EQ(0u, csr & (kMxcsrRounding | kMxcsrFlushToZero | kMxcsrDenormalsAreZero))
      << std::hex << csr;
}

TEST(FloatingPoint, FaultsGiveSpecialValues) {
  volatile float zero = 0.0f;
  volatile float big = 3e38f;
  volatile float tiny = 1e-38f;
  EXPECT_TRUE(std::isinf(1.0f / zero));
  EXPECT_TRUE(std::isnan(zero / zero));
  EXPECT_TRUE(std::isinf(big * big));
  EXPECT_GT(tiny / 1e4f, 0.0f) << "denormals are kept, not flushed to zero";
  volatile long double x87 = 0.0L;
  EXPECT_TRUE(std::isinf(1.0L / x87));
}

} // namespace
