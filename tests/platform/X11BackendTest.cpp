// The X11 backend against a real X server (the x11 stage runs these under Xvfb; without a
// display they are skipped). The test plays the host: a top-level window of its own
// connection, the backend's child inside it, pointer events from XTest, pixels from XGetImage.
#include "platform/BackendX11.h"
#include "platform/Controls.h"

#include "ProcessResources.h"

// Before the X headers: they define None and Bool as macros.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 1001;
constexpr int kHeight = 579;

struct TRecordingClient : TWindowClient {
  std::vector<TPointerEvent> Pointer;
  std::vector<uint32_t> Posted;
  int Timer = 0;
  int Paints = 0;
  void HandlePointer(const TPointerEvent& e) override { Pointer.push_back(e); }
  void HandlePosted(uint32_t msg, uintptr_t, intptr_t) override { Posted.push_back(msg); }
  void HandleTimer(uintptr_t) override { ++Timer; }
  void HandlePaint(const TRect&) override { ++Paints; }
};

int gHostErrors = 0;
int HostErrorHandler(Display*, XErrorEvent*) {
  ++gHostErrors;
  return 0;
}

using qltest::OpenFileCount;
using qltest::OwnSharedMemorySegments;

class X11Backend : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    FHost = XOpenDisplay(nullptr);
    if (!FHost) GTEST_SKIP() << "the X display does not answer";
    // No window manager under Xvfb: the host window stays where it is put.
    FHostWindow =
        XCreateSimpleWindow(FHost, DefaultRootWindow(FHost), kLeft, kTop, kWidth, kHeight, 0, 0, 0);
    XMapWindow(FHost, FHostWindow);
    XSync(FHost, False);
    gHostErrors = 0;
    FPreviousHandler = XSetErrorHandler(HostErrorHandler);
  }
  void TearDown() override {
    if (!FHost) return;
    for (TWindowHandle w : FOpened)
      Backend().CloseWindow(w);
    XSetErrorHandler(FPreviousHandler);
    XDestroyWindow(FHost, FHostWindow);
    XCloseDisplay(FHost);
  }
  static TX11Backend& Backend() { return TX11Backend::Instance(); }
  TWindowHandle Open(TWindowClient& client) {
    const TWindowHandle w = Backend().OpenWindow(FHostWindow, 0, 0, kWidth, kHeight, &client);
    if (w) FOpened.push_back(w);
    return w;
  }
  // Pumps every `stepMs` for `ms`, as a host's editor idle does.
  void Idle(int ms, int stepMs = 40) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      Backend().Pump();
      std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    Backend().Pump();
  }
  void FakeAt(int x, int y) {
    XTestFakeMotionEvent(FHost, DefaultScreen(FHost), kLeft + x, kTop + y, CurrentTime);
  }
  void FakeButton(bool down) {
    XTestFakeButtonEvent(FHost, 1, down ? True : False, CurrentTime);
    XSync(FHost, False);
  }

  static constexpr int kLeft = 30;
  static constexpr int kTop = 20;
  Display* FHost = nullptr;
  Window FHostWindow = 0;
  std::vector<TWindowHandle> FOpened;
  int (*FPreviousHandler)(Display*, XErrorEvent*) = nullptr;
};

TEST_F(X11Backend, UnusableParentOrDisplayAnswersZeroAndKeepsTheHostsHandler) {
  TRecordingClient client;
  const int files = OpenFileCount();
  // An id no window has, and a window the host has already destroyed.
  Window gone = XCreateSimpleWindow(FHost, FHostWindow, 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(FHost, gone);
  XSync(FHost, False);
  for (uintptr_t parent : {uintptr_t{0x7ffffff0}, static_cast<uintptr_t>(gone)}) {
    EXPECT_EQ(Backend().OpenWindow(parent, 0, 0, kWidth, kHeight, &client), 0u) << parent;
  }
  const std::string display = std::getenv("DISPLAY");
  setenv("DISPLAY", ":987", 1);
  EXPECT_EQ(Backend().OpenWindow(FHostWindow, 0, 0, kWidth, kHeight, &client), 0u);
  setenv("DISPLAY", display.c_str(), 1);

  EXPECT_EQ(Backend().WindowCount(), 0);
  EXPECT_EQ(OpenFileCount(), files) << "a failed open left a connection behind";
  EXPECT_EQ(XSetErrorHandler(HostErrorHandler), &HostErrorHandler);
  EXPECT_EQ(gHostErrors, 0) << "our errors reached the host's handler";
}

// Both transfers: shared memory where the server offers it (Xvfb on this machine does), and the
// plain one that QL_X11_NO_SHM forces when the window opens.
TEST_F(X11Backend, ChildOfTheHostWindowShowsThePresentedPicture) {
  int opcode = 0, event = 0, error = 0;
  const bool serverHasShm = XQueryExtension(FHost, "MIT-SHM", &opcode, &event, &error);
  for (bool plain : {false, true}) {
    SCOPED_TRACE(plain ? "plain" : "shared memory");
    if (plain) setenv("QL_X11_NO_SHM", "1", 1);
    TRecordingClient client;
    // Opened smaller and grown before the picture: the transfer follows the new size.
    const TWindowHandle w = Backend().OpenWindow(FHostWindow, 0, 0, 300, 200, &client);
    unsetenv("QL_X11_NO_SHM");
    ASSERT_NE(w, 0u);
    FOpened.push_back(w);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(FHost, static_cast<Window>(Backend().NativeHandle(w)), &root, &parent, &children,
               &count);
    if (children) XFree(children);
    EXPECT_EQ(parent, FHostWindow);

    Idle(100);
    EXPECT_GT(client.Paints, 0) << "no expose after mapping";
    TBitmap32 small(300, 200, Bgra(9, 9, 9));
    Backend().Present(w, small, TRect{0, 0, 300, 200}, 0, 0);
    Backend().MoveWindow(w, 0, 0, kWidth, kHeight);

    TBitmap32 picture(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        picture.At(x, y) =
            Bgra(static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x ^ y));
    Backend().Present(w, picture, TRect{0, 0, kWidth, kHeight}, 0, 0);
    // A part of it once more, somewhere else: the source rectangle lands at x, y.
    TBitmap32 patch(50, 40, Bgra(255, 0, 255));
    patch.At(0, 0) = Bgra(1, 2, 3);
    Backend().Present(w, patch, TRect{0, 0, 20, 10}, 900, 560);
    // Mostly outside the window: only the part inside is drawn, nothing else is touched.
    Backend().Present(w, patch, TRect{0, 0, 50, 40}, 990, 570);
    EXPECT_EQ(Backend().PresentsThroughSharedMemory(w), serverHasShm && !plain);
    // What the server has drawn once it has answered the backend's connection.
    Idle(40);

    XImage* shot = XGetImage(FHost, static_cast<Window>(Backend().NativeHandle(w)), 0, 0, kWidth,
                             kHeight, AllPlanes, ZPixmap);
    ASSERT_NE(shot, nullptr);
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        uint32_t expected = Rgb24(picture.At(x, y));
        if (x >= 900 && x < 920 && y >= 560 && y < 570)
          expected = Rgb24(patch.At(x - 900, y - 560));
        if (x >= 990 && y >= 570) expected = Rgb24(patch.At(x - 990, y - 570));
        if ((XGetPixel(shot, x, y) & 0xFFFFFF) != expected) ++wrong;
      }
    XDestroyImage(shot);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(gHostErrors, 0);
    Backend().CloseWindow(w);
    FOpened.pop_back();
  }
}

TEST_F(X11Backend, PointerEventsCaptureAndCrossing) {
  TRecordingClient client;
  const TWindowHandle w = Open(client);
  ASSERT_NE(w, 0u);
  Idle(80);
  client.Pointer.clear();

  FakeAt(100, 50);
  FakeButton(true);
  // Held and dragged out of the window: X's implicit grab keeps the events coming.
  FakeAt(kWidth + 40, kHeight + 30);
  FakeButton(false);
  Idle(120);

  auto find = [&](TPointerKind kind) -> const TPointerEvent* {
    for (const TPointerEvent& e : client.Pointer)
      if (e.Kind == kind) return &e;
    return nullptr;
  };
  const TPointerEvent* press = find(TPointerKind::Press);
  const TPointerEvent* release = find(TPointerKind::Release);
  ASSERT_NE(press, nullptr);
  ASSERT_NE(release, nullptr);
  EXPECT_EQ(press->Button, mbLeft);
  // The held buttons as the server reports them: held from the press on, up after the release.
  EXPECT_TRUE(press->Shift.Contains(ssLeft));
  EXPECT_FALSE(release->Shift.Contains(ssLeft));
  for (const TPointerEvent* e = press; e != release; ++e) {
    if (e->Kind == TPointerKind::Move) {
      EXPECT_TRUE(e->Shift.Contains(ssLeft)) << e->X << "," << e->Y;
    }
  }
  EXPECT_EQ(press->X, 100);
  EXPECT_EQ(press->Y, 50);
  EXPECT_EQ(release->X, kWidth + 40) << "the release outside did not reach the window";
  EXPECT_EQ(release->Y, kHeight + 30);
  EXPECT_NE(find(TPointerKind::Leave), nullptr);
  EXPECT_LE(press->TimeMs, release->TimeMs);

  // Back in: the crossing arrives as an entry, then the move, at the entry point.
  client.Pointer.clear();
  FakeAt(300, 200);
  XSync(FHost, False);
  Idle(80);
  ASSERT_EQ(client.Pointer.size(), 2u);
  EXPECT_EQ(client.Pointer[0].Kind, TPointerKind::Enter);
  EXPECT_EQ(client.Pointer.back().Kind, TPointerKind::Move);
  EXPECT_EQ(client.Pointer.back().X, 300);
  EXPECT_EQ(client.Pointer.back().Y, 200);
  EXPECT_TRUE(client.Pointer.back().Shift.Empty());
}

// The window loses the pointer when another client grabs it and when it stops being viewable
// (unmapped itself, or its parent unmapped): a drag's release would not come.
TEST_F(X11Backend, LosingThePointerIsReported) {
  TRecordingClient client;
  const TWindowHandle w = Open(client);
  ASSERT_NE(w, 0u);
  const Window id = static_cast<Window>(Backend().NativeHandle(w));
  FakeAt(100, 50);
  XSync(FHost, False);
  Idle(80);
  struct TCase {
    const char* How;
    std::function<void()> Lose, GiveBack;
  };
  const TCase cases[] = {
      {"another client grabs the pointer",
       [&] {
         XGrabPointer(FHost, FHostWindow, False, PointerMotionMask, GrabModeAsync, GrabModeAsync, 0,
                      0, CurrentTime);
       },
       [&] { XUngrabPointer(FHost, CurrentTime); }},
      {"the window is unmapped", [&] { XUnmapWindow(FHost, id); }, [&] { XMapWindow(FHost, id); }},
      {"its parent is unmapped", [&] { XUnmapWindow(FHost, FHostWindow); },
       [&] { XMapWindow(FHost, FHostWindow); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.How);
    client.Pointer.clear();
    c.Lose();
    XSync(FHost, False);
    Idle(80);
    const auto lost =
        std::count_if(client.Pointer.begin(), client.Pointer.end(),
                      [](const TPointerEvent& e) { return e.Kind == TPointerKind::CaptureLost; });
    EXPECT_GE(lost, 1);
    c.GiveBack();
    XSync(FHost, False);
    Idle(80);
  }
}

// The 100 ms timer by the clock, whether the host idles faster or slower than it.
TEST_F(X11Backend, TimerKeepsToTheClockAtAnyIdleRate) {
  for (int idleMs : {40, 66, 250}) {
    TRecordingClient client;
    const TWindowHandle w = Open(client);
    ASSERT_NE(w, 0u);
    ASSERT_NE(Backend().StartTimer(w, 100), 0u);
    const auto start = std::chrono::steady_clock::now();
    Idle(1000, idleMs);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    EXPECT_NEAR(client.Timer, elapsed / 100, 1) << "idle every " << idleMs << " ms";
    Backend().CloseWindow(w);
    FOpened.pop_back();
  }
}

TEST_F(X11Backend, PostedMessagesArriveOnPumpAndGoWithTheWindow) {
  TRecordingClient a, b;
  const TWindowHandle wa = Open(a);
  const TWindowHandle wb = Open(b);
  ASSERT_TRUE(wa && wb);
  EXPECT_TRUE(Backend().Post(wa, 1985, 0, 0));
  EXPECT_TRUE(Backend().Post(wb, 1985, 0, 0));
  EXPECT_TRUE(Backend().Post(wa, 1986, 0, 0));
  EXPECT_TRUE(a.Posted.empty());
  Backend().CloseWindow(wb);
  FOpened.pop_back();
  EXPECT_FALSE(Backend().Post(wb, 1985, 0, 0));
  Backend().Pump();
  EXPECT_EQ(a.Posted, (std::vector<uint32_t>{1985, 1986}));
  EXPECT_TRUE(b.Posted.empty());
}

// The host destroys its window (and with it ours) before closing the editor.
TEST_F(X11Backend, HostDestroyingTheParentFirstIsSurvived) {
  TRecordingClient client;
  Window parent = XCreateSimpleWindow(FHost, FHostWindow, 0, 0, kWidth, kHeight, 0, 0, 0);
  XMapWindow(FHost, parent);
  XSync(FHost, False);
  const TWindowHandle w = Backend().OpenWindow(parent, 0, 0, kWidth, kHeight, &client);
  ASSERT_NE(w, 0u);
  Idle(40);
  XDestroyWindow(FHost, parent);
  XSync(FHost, False);
  TBitmap32 picture(kWidth, kHeight, Bgra(10, 20, 30));
  Backend().Present(w, picture, TRect{0, 0, kWidth, kHeight}, 0, 0);
  Idle(40);
  Backend().Present(w, picture, TRect{0, 0, kWidth, kHeight}, 0, 0);
  Backend().MoveWindow(w, 5, 5, 100, 100);
  Backend().CloseWindow(w);
  EXPECT_EQ(Backend().WindowCount(), 0);
  EXPECT_EQ(gHostErrors, 0);
}

TEST_F(X11Backend, OpeningAndClosingAHundredTimesLeavesNothing) {
  TRecordingClient client;
  const int files = OpenFileCount();
  TBitmap32 picture(kWidth, kHeight, Bgra(200, 100, 0));
  for (int i = 0; i < 100; ++i) {
    const TWindowHandle w = Backend().OpenWindow(FHostWindow, 0, 0, kWidth, kHeight, &client);
    ASSERT_NE(w, 0u) << i;
    Backend().StartTimer(w, 100);
    Backend().Post(w, 1985, 0, 0);
    Backend().Present(w, picture, TRect{0, 0, kWidth, kHeight}, 0, 0);
    Backend().Pump();
    Backend().CloseWindow(w);
  }
  EXPECT_EQ(Backend().WindowCount(), 0);
  EXPECT_EQ(OpenFileCount(), files);
  EXPECT_EQ(OwnSharedMemorySegments(), 0) << "shared-memory segments left behind";
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  XQueryTree(FHost, FHostWindow, &root, &parent, &children, &count);
  if (children) XFree(children);
  EXPECT_EQ(count, 0u) << "child windows left in the host's window";
}

// Another window mapped over a form's window and unmapped again: the server's Expose brings
// one paint of what was covered (a transfer for the form and one for its windowed child), then
// the window stays quiet, and shows what it showed before.
TEST_F(X11Backend, UncoveredFormPaintsWhatWasCoveredOnce) {
  TForm form(TNativeHandle{FHostWindow}, Backend());
  ASSERT_TRUE(form.HandleAllocated());
  form.SetBounds(0, 0, kWidth, kHeight);
  form.SetColor(clWhite);
  auto* panel = new TWinControl(&form);
  panel->SetParent(&form);
  panel->SetBounds(100, 100, 300, 200);
  panel->SetColor(clBlue);
  Idle(200);
  const int before = Backend().PresentCount(form.Handle());

  Window cover = XCreateSimpleWindow(FHost, DefaultRootWindow(FHost), kLeft + 50, kTop + 50, 500,
                                     300, 0, 0, 0);
  XMapRaised(FHost, cover);
  XSync(FHost, False);
  Idle(120);
  XUnmapWindow(FHost, cover);
  XSync(FHost, False);
  Idle(500);
  const int presents = Backend().PresentCount(form.Handle()) - before;
  EXPECT_GE(presents, 1) << "the uncovered part was not painted";
  EXPECT_LE(presents, 2) << "transfers after one uncovering";
  XDestroyWindow(FHost, cover);

  XImage* shot = XGetImage(FHost, static_cast<Window>(form.NativeHandle()), 0, 0, kWidth, kHeight,
                           AllPlanes, ZPixmap);
  ASSERT_NE(shot, nullptr);
  int wrong = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const bool inPanel = x >= 100 && x < 400 && y >= 100 && y < 300;
      const uint32_t expected = ColorToPixel(inPanel ? clBlue : clWhite);
      if ((XGetPixel(shot, x, y) & 0xFFFFFF) != expected) ++wrong;
    }
  XDestroyImage(shot);
  EXPECT_EQ(wrong, 0);
}

} // namespace
