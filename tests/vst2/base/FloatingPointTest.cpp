// The floating-point set-up made when the library is loaded, checked on the thread that loaded
// it: the test runner's main thread for the layer linked into this program, and a thread of
// the test's own for a library loaded at run time.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <thread>
#include <xmmintrin.h>

#include "PluginLibrary.h"
#include "TestPaths.h"
#include "platform/FloatingPoint.h"
#include "vst2/base/DAudioEffect.h"

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

namespace {

// Loading on a thread whose control state is something else: the library's set-up must run
// on that thread, during the load.
TEST(FloatingPoint, LoadingSetsTheLoadingThread) {
#ifdef _WIN32
  const std::string path = qltest::ExecutableDir() + "ql_host_fixture.dll";
#else
  const std::string path = qltest::ExecutableDir() + "ql_host_fixture.so";
#endif
  uint16_t x87 = 0;
  uint32_t csr = 0;
  bool loaded = false;
  VstIntPtr closed = 0;
  std::thread loader([&] {
    // 53-bit precision, round up; SSE: round toward zero, flush-to-zero, denormals-are-zero.
    const uint16_t otherWord = 0x0A7F;
    __asm__ volatile("fldcw %0" : : "m"(otherWord));
    _mm_setcsr(kMxcsrExceptionMasks | 0x6000 | kMxcsrFlushToZero | kMxcsrDenormalsAreZero);
    auto library = std::make_unique<qltest::TPluginLibrary>(path);
    auto create = library->Entry("qlFixtureCreate");
    x87 = ReadX87ControlWord();
    csr = ReadMxcsr();
    loaded = create != nullptr;
    if (create != nullptr) {
      AEffect* e = create(nullptr);
      closed = e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    }
    library.reset();
  });
  loader.join();
  ASSERT_TRUE(loaded) << path;
  EXPECT_EQ(1, closed);
  EXPECT_EQ(0x133F, x87 & 0x1F3F) << std::hex << x87;
  EXPECT_EQ(kMxcsrExceptionMasks, csr & kMxcsrExceptionMasks) << std::hex << csr;
  EXPECT_EQ(0u, csr & (kMxcsrRounding | kMxcsrFlushToZero | kMxcsrDenormalsAreZero))
      << std::hex << csr;
}

} // namespace
