// The Win32 backend inside a window of a test host that runs its own message loop, as a host
// does. Without a window system (wine without a display) the tests skip themselves.
#include "platform/BackendWin32.h"
#include "platform/Controls.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <functional>
#include <ostream>
#include <vector>

// For the failure messages.
void PrintTo(const TRect& r, std::ostream* os) {
  *os << "{" << r.Left << ", " << r.Top << ", " << r.Right << ", " << r.Bottom << "}";
}

namespace {

struct TRecordingClient : TWindowClient {
  std::vector<TPointerEvent> Pointer;
  std::vector<uint32_t> Posted;
  int Timer = 0;
  std::vector<TRect> Paints; // the exposed rectangle of each
  void HandlePointer(const TPointerEvent& e) override { Pointer.push_back(e); }
  void HandlePosted(uint32_t msg, uintptr_t, intptr_t) override { Posted.push_back(msg); }
  void HandleTimer(uintptr_t) override { ++Timer; }
  void HandlePaint(const TRect& exposed) override { Paints.push_back(exposed); }
};

class Win32Backend : public ::testing::Test {
protected:
  void SetUp() override {
    FHost = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 1001, 579, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!FHost) GTEST_SKIP() << "no window system";
  }
  void TearDown() override {
    if (FHost) DestroyWindow(FHost);
  }
  static TWin32Backend& Backend() { return TWin32Backend::Instance(); }
  // The host's message loop for `ms` milliseconds, also when its queue never empties.
  static void Loop(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
      MSG msg;
      while (static_cast<LONG>(end - GetTickCount()) > 0 &&
             PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      Sleep(10);
    }
  }
  HWND FHost = nullptr;
};

TEST_F(Win32Backend, ChildGetsPostedMessagesTimerAndPaintThroughTheHostsLoop) {
  TRecordingClient client;
  const TWindowHandle w =
      Backend().OpenWindow(reinterpret_cast<uintptr_t>(FHost), 0, 0, 1001, 579, &client);
  ASSERT_NE(w, 0u);
  EXPECT_EQ(GetParent(reinterpret_cast<HWND>(w)), FHost);
  EXPECT_TRUE(Backend().Post(w, 1985, 7, 8));
  ASSERT_NE(Backend().StartTimer(w, 100), 0u);
  Loop(650);
  EXPECT_EQ(client.Posted, std::vector<uint32_t>{1985});
  EXPECT_GE(client.Timer, 3);
  EXPECT_LE(client.Timer, 7);
  EXPECT_FALSE(client.Paints.empty()) << "no paint of the new window";

  // A paint asked for comes once, with the area asked for as its exposed rectangle.
  client.Paints.clear();
  Backend().RequestPaint(w, TRect{10, 20, 30, 40});
  Loop(100);
  EXPECT_EQ(client.Paints, std::vector<TRect>{(TRect{10, 20, 30, 40})});

  TBitmap32 picture(1001, 579, Bgra(10, 200, 30));
  picture.At(5, 3) = Bgra(250, 1, 2);
  Backend().Present(w, picture, TRect{0, 0, 1001, 579}, 0, 0);
  HDC dc = GetDC(reinterpret_cast<HWND>(w));
  EXPECT_EQ(GetPixel(dc, 5, 3), RGB(250, 1, 2));
  EXPECT_EQ(GetPixel(dc, 500, 300), RGB(10, 200, 30));
  ReleaseDC(reinterpret_cast<HWND>(w), dc);
  Backend().CloseWindow(w);
}

TEST_F(Win32Backend, ClassGoesWithTheLastWindowAndAnUnusableParentOpensNothing) {
  TRecordingClient a, b;
  EXPECT_EQ(Backend().OpenWindow(uintptr_t{0x7ff0}, 0, 0, 100, 100, &a), 0u);
  EXPECT_FALSE(Backend().ClassRegistered());
  const TWindowHandle wa =
      Backend().OpenWindow(reinterpret_cast<uintptr_t>(FHost), 0, 0, 100, 100, &a);
  const TWindowHandle wb =
      Backend().OpenWindow(reinterpret_cast<uintptr_t>(FHost), 0, 0, 100, 100, &b);
  ASSERT_TRUE(wa && wb);
  Backend().Post(wa, 1985, 0, 0);
  Backend().CloseWindow(wa);
  EXPECT_TRUE(Backend().ClassRegistered());
  EXPECT_FALSE(Backend().Post(wa, 1985, 0, 0));
  Backend().CloseWindow(wb);
  EXPECT_FALSE(Backend().ClassRegistered());
  EXPECT_EQ(Backend().WindowCount(), 0);
  Loop(50);
  EXPECT_TRUE(a.Posted.empty()) << "a message reached a closed window's client";
}

// The host validates the editor's window while a paint of it is pending (RedrawWindow with
// RDW_VALIDATE, as a host may do for its own window and every child): that paint never comes,
// and the form's next change must still ask for and get its own.
TEST_F(Win32Backend, AFormWhosePendingPaintTheHostValidatedPaintsItsNextChange) {
  TForm form(TNativeHandle{reinterpret_cast<uintptr_t>(FHost)}, Backend());
  ASSERT_TRUE(form.HandleAllocated());
  form.SetBounds(0, 0, 200, 100);
  form.SetColor(clWhite);
  Loop(100);
  const HWND hwnd = reinterpret_cast<HWND>(form.NativeHandle());
  auto pixel = [&] {
    HDC dc = GetDC(hwnd);
    const COLORREF p = GetPixel(dc, 50, 50);
    ReleaseDC(hwnd, dc);
    return p;
  };
  ASSERT_EQ(pixel(), RGB(255, 255, 255));

  form.SetColor(clBlue);
  RedrawWindow(FHost, nullptr, nullptr, RDW_VALIDATE | RDW_ALLCHILDREN);
  Loop(100);
  form.SetColor(clLime);
  Loop(100);
  EXPECT_EQ(pixel(), RGB(0, 255, 0));
}

} // namespace

namespace {

// What the mouse messages carry into the pointer events: the buttons of their MK_ flags, and
// the capture lost when another window takes it or a mode is cancelled; the backend's own
// release of the capture is no loss.
TEST_F(Win32Backend, PointerEventsCarryTheMessagesButtonsAndLostCapture) {
  TRecordingClient client;
  const TWindowHandle w =
      Backend().OpenWindow(reinterpret_cast<uintptr_t>(FHost), 0, 0, 300, 200, &client);
  ASSERT_NE(w, 0u);
  HWND hwnd = reinterpret_cast<HWND>(w);
  struct TCase {
    const char* What;
    std::function<void()> Do;
    std::vector<TPointerKind> Kinds;
    TShiftState Shift; // of the last event
  };
  const LPARAM at = MAKELPARAM(20, 30);
  const TCase cases[] = {
      {"left press with shift",
       [&] { SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, at); },
       {TPointerKind::Press},
       {ssLeft, ssShift}},
      {"move with the left button",
       [&] { SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, at); },
       {TPointerKind::Move},
       {ssLeft}},
      {"move that holds nothing",
       [&] { SendMessageW(hwnd, WM_MOUSEMOVE, 0, at); },
       {TPointerKind::Move},
       {}},
      {"right release with the middle button held",
       [&] { SendMessageW(hwnd, WM_RBUTTONUP, MK_MBUTTON | MK_CONTROL, at); },
       {TPointerKind::Release},
       {ssMiddle, ssCtrl}},
      {"our own capture and release",
       [&] {
         Backend().CapturePointer(w);
         Backend().ReleasePointer(w);
       },
       {},
       {}},
      {"another window takes the capture",
       [&] {
         Backend().CapturePointer(w);
         SetCapture(FHost);
         ReleaseCapture();
       },
       {TPointerKind::CaptureLost},
       {}},
      {"a cancelled mode",
       [&] { SendMessageW(hwnd, WM_CANCELMODE, 0, 0); },
       {TPointerKind::CaptureLost},
       {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    client.Pointer.clear();
    c.Do();
    std::vector<TPointerKind> kinds;
    for (const TPointerEvent& e : client.Pointer)
      kinds.push_back(e.Kind);
    EXPECT_EQ(kinds, c.Kinds);
    if (!client.Pointer.empty()) {
      EXPECT_EQ(client.Pointer.back().Shift.Bits(), c.Shift.Bits());
    }
  }
  Backend().CloseWindow(w);
}

} // namespace
