// The plug-in's editor in a real X server: a host window of ours, effEditOpen with its window
// id, effEditIdle every 40 ms, pointer events from XTest, parameters read back as a host does.
#include <gtest/gtest.h>
// After GoogleTest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "TestPaths.h"
#include "host/DAEffectX.h"

namespace {

VstIntPtr VSTCALLBACK Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

class X11Editor : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY") || !(FDisplay = XOpenDisplay(nullptr)))
      GTEST_SKIP() << "no X display";
    FLibrary = dlopen(qltest::PluginPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(FLibrary, nullptr) << dlerror();
    auto entry = reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(FLibrary, "main"));
    ASSERT_NE(entry, nullptr);
    FEffect = entry(Host);
    ASSERT_NE(FEffect, nullptr);
    FHostWindow = XCreateSimpleWindow(FDisplay, DefaultRootWindow(FDisplay), 0, 0, 1001, 579, 0, 0,
                                      BlackPixel(FDisplay, DefaultScreen(FDisplay)));
    XMapWindow(FDisplay, FHostWindow);
    XSync(FDisplay, False);
  }
  void TearDown() override {
    if (FEffect) FEffect->dispatcher(FEffect, effClose, 0, 0, nullptr, 0.0f);
    if (FDisplay) {
      if (FHostWindow) XDestroyWindow(FDisplay, FHostWindow);
      XCloseDisplay(FDisplay);
    }
    if (FLibrary) dlclose(FLibrary);
  }
  VstIntPtr Dispatch(VstInt32 opcode, void* ptr = nullptr) {
    return FEffect->dispatcher(FEffect, opcode, 0, 0, ptr, 0.0f);
  }
  // Host-style idle calls for the given time.
  void IdleFor(int ms) {
    for (int t = 0; t < ms; t += 40) {
      Dispatch(effEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
  }
  void Click(int x, int y) {
    int rx = 0, ry = 0;
    Window child;
    XTranslateCoordinates(FDisplay, FHostWindow, DefaultRootWindow(FDisplay), x, y, &rx, &ry,
                          &child);
    XTestFakeMotionEvent(FDisplay, -1, rx, ry, CurrentTime);
    XTestFakeButtonEvent(FDisplay, 1, True, CurrentTime);
    XTestFakeButtonEvent(FDisplay, 1, False, CurrentTime);
    XSync(FDisplay, False);
    IdleFor(200);
  }
  // Pixels of the host window that are not the key white: the editor has drawn its artwork.
  long DrawnPixels() {
    XImage* image = XGetImage(FDisplay, FHostWindow, 0, 0, 1001, 579, AllPlanes, ZPixmap);
    if (!image) return -1;
    long drawn = 0;
    for (int y = 0; y < 579; ++y)
      for (int x = 0; x < 1001; ++x)
        if ((XGetPixel(image, x, y) & 0xFFFFFF) != 0xFFFFFF) ++drawn;
    XDestroyImage(image);
    return drawn;
  }

  Display* FDisplay = nullptr;
  Window FHostWindow = 0;
  void* FLibrary = nullptr;
  AEffect* FEffect = nullptr;
};

TEST_F(X11Editor, OpensInTheHostWindowAndTurnsClicksIntoParameters) {
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditOpen, reinterpret_cast<void*>(FHostWindow)), 1);
  ASSERT_EQ(Dispatch(effEditGetRect, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, 1001);
  EXPECT_EQ(rect->bottom, 579);
  IdleFor(400); // link message and the first refreshes
  long drawn = DrawnPixels();
  EXPECT_GT(drawn, 20000) << "the artwork should cover the black host window's white editor";
  EXPECT_LT(drawn, 1001L * 579 / 2);

  // The upper half of the oversampling number raises it from 1 to 2.
  Click(91 + 73, 176 + 20);
  EXPECT_FLOAT_EQ(FEffect->getParameter(FEffect, 0), 2.0f / 128.0f);
  // The dither block switches dither on.
  Click(414 + 113, 13 + 60);
  EXPECT_FLOAT_EQ(FEffect->getParameter(FEffect, 2), 1.0f);

  Dispatch(effEditClose);
  IdleFor(80);
}

TEST_F(X11Editor, AnInvalidParentAnswersZero) {
  EXPECT_EQ(Dispatch(effEditOpen, reinterpret_cast<void*>(uintptr_t{0x7ffffff0})), 0);
  EXPECT_EQ(Dispatch(effEditOpen, nullptr), 0);
  Dispatch(effEditClose);
}

} // namespace
