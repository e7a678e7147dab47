// The CLAP editor embedded in a host window of a real X server (the x11 stage runs it against
// Xvfb; elsewhere it skips itself). The host serves it as desktop hosts do: a timer at the
// period the plug-in asked for and the descriptor it registered, watched with poll. A second
// instance's editor in the headless backend gets the same values and clicks and is the
// reference for every picture.
#include "ClapHost.h"
#include "clap/ClapDescription.h"
#include "editor/EditorDrive.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>

using namespace qltest;
using clapq::ParamIdOf;

namespace {

using TPicture = std::vector<uint32_t>;
using TClock = std::chrono::steady_clock;

class X11Clap : public ::testing::Test {
protected:
  static constexpr int kWidth = 1001, kHeight = 579;
  static constexpr uint32_t kTickMs = 100; // the editor's own timer

  void SetUp() override {
    if (!std::getenv("DISPLAY") || !(FDisplay = XOpenDisplay(nullptr)))
      GTEST_SKIP() << "no X display";
    const int screen = DefaultScreen(FDisplay);
    XTestFakeMotionEvent(FDisplay, screen, DisplayWidth(FDisplay, screen) - 1,
                         DisplayHeight(FDisplay, screen) - 1, CurrentTime);
    FHostWindow = XCreateSimpleWindow(FDisplay, DefaultRootWindow(FDisplay), 0, 0, kWidth, kHeight,
                                      0, 0, BlackPixel(FDisplay, screen));
    XMapWindow(FDisplay, FHostWindow);
    XSync(FDisplay, False);
    Fx = std::make_unique<TClapInstance>(Library, Host);
    Mirror = std::make_unique<TClapInstance>(Library, MirrorHost);
    ASSERT_TRUE(Fx->P && Mirror->P);
    auto* drive = Mirror->Ext<clapq::TEditorDriveExtension>(clapq::kEditorDriveExtension);
    TEditorDrive headless{.Command = edcUseHeadless, .Value = 1};
    ASSERT_TRUE(drive->drive(Mirror->P, &headless));
  }
  void TearDown() override {
    if (Fx) Fx->Gui->destroy(Fx->P);
    if (Mirror) Mirror->Gui->destroy(Mirror->P);
    Fx.reset();
    Mirror.reset();
    if (FDisplay) {
      if (FHostWindow) XDestroyWindow(FDisplay, FHostWindow);
      XCloseDisplay(FDisplay);
    }
  }

  void Open() {
    ASSERT_TRUE(Fx->Gui->create(Fx->P, clap::kWindowApiX11, false));
    clap::window parent{clap::kWindowApiX11, {}};
    parent.x11 = FHostWindow;
    ASSERT_TRUE(Fx->Gui->set_parent(Fx->P, &parent));
    ASSERT_TRUE(Fx->Gui->show(Fx->P));
    ASSERT_EQ(Host.Timers.size(), 1u);
    ASSERT_EQ(Host.Fds.size(), 1u);
    EXPECT_EQ(Host.Timers[0].Period, clapq::kEditorTimerMs);
    FOpened = TClock::now();

    ASSERT_TRUE(Mirror->Gui->create(Mirror->P, clap::kWindowApiX11, false));
    clap::window none{clap::kWindowApiX11, {}};
    ASSERT_TRUE(Mirror->Gui->set_parent(Mirror->P, &none));
    FMirrorMs = 0;
    Serve(300);
  }

  // The host's loop for `ms`: the timer at its period, the descriptor whenever it is readable.
  void Serve(int ms) {
    auto* timer = Fx->Ext<clap::plugin_timer_support>(clap::kExtTimerSupport);
    auto* fd = Fx->Ext<clap::plugin_posix_fd_support>(clap::kExtPosixFdSupport);
    const auto end = TClock::now() + std::chrono::milliseconds(ms);
    auto nextTick = TClock::now();
    while (TClock::now() < end) {
      if (!Host.Fds.empty()) {
        pollfd p{Host.Fds[0], POLLIN, 0};
        if (poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) {
          fd->on_fd(Fx->P, Host.Fds[0], clap::kFdRead);
          ++FdCalls;
        }
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      if (TClock::now() >= nextTick && !Host.Timers.empty()) {
        timer->on_timer(Fx->P, Host.Timers[0].Id);
        nextTick += std::chrono::milliseconds(Host.Timers[0].Period);
      }
    }
  }

  void Click(int x, int y) {
    XTestFakeMotionEvent(FDisplay, DefaultScreen(FDisplay), x, y, CurrentTime);
    XTestFakeButtonEvent(FDisplay, 1, True, CurrentTime);
    XTestFakeButtonEvent(FDisplay, 1, False, CurrentTime);
    XSync(FDisplay, False);
    Serve(200);
    for (TEditorDriveCommand c : {edcMove, edcPress, edcRelease})
      ASSERT_TRUE(DriveMirror(
          {.Command = c, .X = x, .Y = y, .Shift = c == edcPress ? uint32_t{edsLeft} : 0u}));
  }

  bool DriveMirror(TEditorDrive d) {
    auto* drive = Mirror->Ext<clapq::TEditorDriveExtension>(clapq::kEditorDriveExtension);
    return drive->drive(Mirror->P, &d);
  }

  TPicture Screenshot() {
    TPicture picture(static_cast<size_t>(kWidth) * kHeight, 0xFF000000u);
    XImage* image = XGetImage(FDisplay, FHostWindow, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (!image) return picture;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        picture[static_cast<size_t>(y) * kWidth + x] =
            static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    return picture;
  }

  TPicture MirrorPixels() {
    TPicture picture(static_cast<size_t>(kWidth) * kHeight);
    TEditorDrive d{.Command = edcPixels, .Width = kWidth, .Height = kHeight};
    d.Pixels = picture.data();
    EXPECT_TRUE(DriveMirror(d));
    return picture;
  }

  // The window's timer ticks by the clock; the mirror's moves only when told to. Moves the
  // mirror on a tick of the editor's timer at a time, never past what the time since opening
  // allows, until it shows what the window shows.
  void ExpectWindowShowsMirror(const char* state) {
    SCOPED_TRACE(state);
    Serve(100);
    const TPicture shot = Screenshot();
    const long elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - FOpened).count();
    while (FMirrorMs <= elapsed + 100) {
      if (MirrorPixels() == shot) return;
      DriveMirror({.Command = edcAdvance, .Milliseconds = kTickMs});
      FMirrorMs += kTickMs;
    }
    ADD_FAILURE() << "the window never showed what the headless editor shows";
  }

  TClapLibrary Library;
  TClapHost Host;
  TClapHost MirrorHost;
  std::unique_ptr<TClapInstance> Fx, Mirror;
  Display* FDisplay = nullptr;
  Window FHostWindow = 0;
  TClock::time_point FOpened;
  long FMirrorMs = 0;
  int FdCalls = 0;
};

// The window sits at the screen's top left, so window and screen coordinates agree.
TEST_F(X11Clap, EmbedsServedByTheHostsTimerAndDescriptor) {
  Open();
  ExpectWindowShowsMirror("opened");

  Click(414 + 113, 13 + 60); // the dither block
  EXPECT_GT(FdCalls, 0) << "the X connection's descriptor never became readable";
  TOutputEvents out;
  Fx->Params->flush(Fx->P, TInputEvents{}.List(), out.List());
  const std::string dither = std::to_string(ParamIdOf(ppDither));
  EXPECT_EQ(out.Lines(), (std::vector<std::string>{"begin " + dither, "value " + dither + " 1",
                                                   "end " + dither}));
  ExpectWindowShowsMirror("dither clicked");

  // The host changes the word length and the feedback; the window follows.
  TInputEvents events;
  events.Param(0, ParamIdOf(ppQuantizer), 5);
  events.Param(0, ParamIdOf(ppNoiseShaper), 1);
  TOutputEvents ignored;
  Fx->Params->flush(Fx->P, events.List(), ignored.List());
  Mirror->Params->flush(Mirror->P, events.List(), ignored.List());
  ExpectWindowShowsMirror("host values");

  // Closed and reopened, the window shows the stored values.
  Fx->Gui->destroy(Fx->P);
  Mirror->Gui->destroy(Mirror->P);
  EXPECT_TRUE(Host.Timers.empty());
  EXPECT_TRUE(Host.Fds.empty());
  EXPECT_EQ(Host.TimerUnregistrations, 1);
  EXPECT_EQ(Host.FdUnregistrations, 1);
  // The pointer leaves, so that the new window shows no hint the mirror does not.
  XTestFakeMotionEvent(FDisplay, DefaultScreen(FDisplay), 1200, 700, CurrentTime);
  XSync(FDisplay, False);
  Open();
  ExpectWindowShowsMirror("reopened");
  EXPECT_TRUE(Host.WrongThread.empty());
}

} // namespace
