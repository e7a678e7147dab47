// The editor check of the Windows test host. It opens the plug-in's editor inside a top-level
// window of ours, runs the message loop a Windows host runs (every message dispatched, an idle
// timer of the host's own window calling effEditIdle), and watches in that loop what reaches the
// editor's window: the posted link message, the editor's timer ticks and the pointer messages.
//
// Clicks come from outside the process: for each one the host prints
//     click SCREEN_X SCREEN_Y
// and waits, dispatching messages, until the parameter it expects has changed (a script answers
// the line with xdotool). The parameter is read back through getParameter, as a host reads it,
// and each click must reach the host as one edit: audioMasterBeginEdit, the value's
// audioMasterAutomate, audioMasterEndEdit.
//
// Then the host stops dispatching the editor's timer, lets every pending paint finish and copies
// the window's pixels, through the window's device context and through the screen's, and asks
// the script for the X server's view of the same rectangle:
//     grab SCREEN_X SCREEN_Y WIDTH HEIGHT FILE
// waiting until FILE (a binary PPM, relative to the host's folder) appears. A second instance of
// the plug-in, in the library's headless backend, replays exactly what the real window received
// (its ticks and pointer messages, in order); every copy must equal its pixels.
//
// Then the host does what Windows does after a restore or an uncovering, and what hosts do to
// refresh: it invalidates its window with every child (RedrawWindow with RDW_ALLCHILDREN) and
// runs its loop for a second, counting the editor's WM_PAINT messages and both timers' ticks.
// The editor paints the invalidated area once and only what its ticks change after that, the
// timers keep their pace, and the pixels equal the headless rendering again.
//
// Without a script (--no-click) the host asks for nothing: no clicks, no X screenshot.
#include "win32host_editor.h"

#include "PointerCases.h"
#include "RecordCheck.h"
#include "editor/EditorDrive.h"
#include "vst2/interface/DAEffectX.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace qlhosts {
namespace {

// Where the host window sits on the screen: away from the corner, so that screen and client
// coordinates differ and a mix-up between them shows.
constexpr int kHostLeft = 40;
constexpr int kHostTop = 30;
constexpr int kDefaultWidth = 1001;
constexpr int kDefaultHeight = 579;

constexpr UINT kLinkMessage = 1985;
// How far into the effect object the link message's reference may point.
constexpr WPARAM kEffectObjectReach = 1 << 20;
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdleMs = 40;
constexpr UINT kEditorTickMs = 100;
// Ticks watched before the clicks: enough to see the interval, few enough for emulation.
constexpr int kTicksWatched = 5;
// The host's loop after it invalidated its window: how long it runs, the ticks of each timer it
// must see in that time (about 10 of the editor's, 25 of its own when nothing holds them up),
// the paints beyond one per editor tick (each tick moves the logo's pulse), and the area they
// may cover in windows: the invalidated window once, and the logo's small changes.
constexpr DWORD kRepaintWatchMs = 1000;
constexpr int kTicksAfterRepaint = 3;
constexpr int kPaintsBeyondTicks = 2;
constexpr int kWindowsPainted = 2;

// The parent handed to the headless editor: any nonzero value, no window behind it.
void* const kHeadlessParent = reinterpret_cast<void*>(uintptr_t{0x5150});

struct TClick {
  const char* Gesture;
  int X, Y; // client coordinates of the editor
  VstInt32 Index;
  float Normalised;
};

constexpr TClick kClicks[] = {
    {"upper half of the oversampling number", 91 + 73, 176 + 20, 0, 2.0f / 128},
    {"dither block", 414 + 113, 13 + 60, 2, 1.0f},
};

// One thing the real editor window received, replayed in the headless one.
struct TStep {
  bool Tick = false;
  TEditorDriveCommand Command = edcMove;
  int X = 0, Y = 0, Button = 0;
};

AEffect* gIdleEffect = nullptr;

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER && wParam == kIdleTimer) {
    if (gIdleEffect) gIdleEffect->dispatcher(gIdleEffect, effEditIdle, 0, 0, nullptr, 0.0f);
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

constexpr const wchar_t* kHostClass = L"QuantaloopTestHost";

struct TPicture {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels; // 0x00RRGGBB, top row first
};

// Reads what WritePpm and the X screenshot helper write; empty on any other content.
TPicture ReadPpm(const std::string& path) {
  TPicture picture;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return picture;
  int w = 0, h = 0, max = 0;
  if (std::fscanf(f, "P6 %d %d %d", &w, &h, &max) == 3 && max == 255 && w > 0 && h > 0 &&
      std::fgetc(f) == '\n') {
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    if (std::fread(rgb.data(), 1, rgb.size(), f) == rgb.size()) {
      picture.Width = w;
      picture.Height = h;
      for (size_t i = 0; i < rgb.size(); i += 3)
        picture.Pixels.push_back(uint32_t{rgb[i]} << 16 | uint32_t{rgb[i + 1]} << 8 | rgb[i + 2]);
    }
  }
  std::fclose(f);
  return picture;
}

bool WritePpm(const std::string& path, const TPicture& picture) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", picture.Width, picture.Height);
  for (uint32_t p : picture.Pixels) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                  static_cast<unsigned char>(p >> 8),
                                  static_cast<unsigned char>(p)};
    std::fwrite(rgb, 1, 3, f);
  }
  return std::fclose(f) == 0;
}

// A rectangle of a device context; no size when the system would not copy it.
TPicture Capture(HDC source, int x, int y, int width, int height) {
  TPicture picture;
  picture.Pixels = DcPixels(source, x, y, width, height);
  if (!picture.Pixels.empty()) {
    picture.Width = width;
    picture.Height = height;
  }
  return picture;
}

// What differs between two pictures, in one line; empty when they are equal.
std::string ComparePictures(const TPicture& expected, const TPicture& actual) {
  char line[256];
  if (expected.Width != actual.Width || expected.Height != actual.Height) {
    std::snprintf(line, sizeof(line), "size %dx%d, expected %dx%d", actual.Width, actual.Height,
                  expected.Width, expected.Height);
    return line;
  }
  long differing = 0;
  int maxDelta = 0, left = expected.Width, top = expected.Height, right = -1, bottom = -1;
  for (int y = 0; y < expected.Height; ++y)
    for (int x = 0; x < expected.Width; ++x) {
      const size_t i = static_cast<size_t>(y) * static_cast<size_t>(expected.Width) + x;
      const uint32_t a = expected.Pixels[i], b = actual.Pixels[i];
      if (a == b) continue;
      ++differing;
      for (int shift = 0; shift < 24; shift += 8)
        maxDelta = std::max(maxDelta, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                               static_cast<int>((b >> shift) & 0xFF)));
      left = std::min(left, x);
      top = std::min(top, y);
      right = std::max(right, x);
      bottom = std::max(bottom, y);
    }
  if (differing == 0) return "";
  std::snprintf(line, sizeof(line),
                "%ld pixels differ (largest channel difference %d) within x %d..%d, y %d..%d",
                differing, maxDelta, left, right, top, bottom);
  return line;
}

class TEditorCheck {
public:
  TEditorCheck(TPluginEntry entry, DWORD timeoutMs, std::string dumpDir)
      : FEntry(entry), FTimeoutMs(timeoutMs), FDumpDir(std::move(dumpDir)) {}

  ~TEditorCheck() {
    gIdleEffect = nullptr;
    if (FHost) {
      KillTimer(FHost, kIdleTimer);
      DestroyWindow(FHost);
    }
    if (FClassRegistered) UnregisterClassW(kHostClass, GetModuleHandleW(nullptr));
    CloseReference();
    if (FEffect) FEffect->dispatcher(FEffect, effClose, 0, 0, nullptr, 0.0f);
  }

  int Run(bool click) {
    if (!OpenEditor()) return 1;
    CheckLinkAndTimer();
    if (click)
      for (const TClick& c : kClicks)
        Click(c);
    CompareWithHeadless(click);
    CheckRepaint();
    CompareWithHeadless(click);
    CloseEditor();
    return FFailed ? 1 : 0;
  }

private:
  void Ok(const std::string& text) { std::printf("ok   %s\n", text.c_str()); }
  void Fail(const std::string& text) {
    std::printf("FAIL %s\n", text.c_str());
    FFailed = true;
  }

  bool OpenEditor() {
    FEffect = FEntry(HostCallback);
    if (!FEffect) {
      Fail("main answered no effect");
      return false;
    }
    Dispatch(FEffect, effOpen);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kHostClass;
    FClassRegistered = RegisterClassExW(&wc) != 0;
    // A popup has no frame, so its client area starts at its screen position; without a
    // window manager nothing moves it.
    FHost =
        CreateWindowExW(0, kHostClass, L"Quantaloop test host",
                        WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, kHostLeft, kHostTop, kDefaultWidth,
                        kDefaultHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!FHost) {
      Fail("cannot create the host window (error " + std::to_string(GetLastError()) + ")");
      return false;
    }
    if (Dispatch(FEffect, effEditOpen, 0, FHost) == 0) {
      Fail("effEditOpen with the host window answered 0");
      return false;
    }
    FEditor = GetWindow(FHost, GW_CHILD);
    ERect* rect = nullptr;
    if (Dispatch(FEffect, effEditGetRect, 0, &rect) == 0 || !rect) {
      Fail("effEditGetRect after opening gave no rectangle");
      return false;
    }
    FWidth = rect->right - rect->left;
    FHeight = rect->bottom - rect->top;
    // As hosts do: the host window takes the editor's size.
    SetWindowPos(FHost, nullptr, 0, 0, FWidth, FHeight, SWP_NOMOVE | SWP_NOZORDER);
    RECT client{};
    if (!FEditor || !GetClientRect(FEditor, &client)) {
      Fail("the editor made no child window in the host window");
      return false;
    }
    POINT origin{0, 0};
    ClientToScreen(FEditor, &origin);
    char line[160];
    std::snprintf(line, sizeof(line), "editor %dx%d, its window %ldx%ld at screen %ld,%ld", FWidth,
                  FHeight, client.right, client.bottom, origin.x, origin.y);
    if (client.right != FWidth || client.bottom != FHeight || origin.x != kHostLeft ||
        origin.y != kHostTop)
      Fail(std::string(line) + ", expected its rectangle at " + std::to_string(kHostLeft) + "," +
           std::to_string(kHostTop));
    else
      Ok(line);
    gIdleEffect = FEffect;
    SetTimer(FHost, kIdleTimer, kIdleMs, nullptr);
    return true;
  }

  void CheckLinkAndTimer() {
    const DWORD start = GetTickCount();
    if (!Pump([&] { return FLinks > 0; }))
      Fail("no link message (" + std::to_string(kLinkMessage) + ") reached the editor's window");
    // The window's view of the effect is part of the effect object: the reference lies just
    // after the record's object pointer.
    else if (FLinkWParam < reinterpret_cast<WPARAM>(FEffect->object) ||
             FLinkWParam - reinterpret_cast<WPARAM>(FEffect->object) > kEffectObjectReach)
      Fail("the link message carries a reference outside the effect");
    else
      Ok("link message " + std::to_string(kLinkMessage) + " with the effect reference after " +
         std::to_string(GetTickCount() - start) + " ms");
    if (!Pump([&] { return FTickTimes.size() >= kTicksWatched; })) {
      Fail("the editor's timer ticked " + std::to_string(FTickTimes.size()) + " times in " +
           std::to_string(FTimeoutMs) + " ms");
      return;
    }
    // A loaded machine stretches intervals but never shortens them much.
    const DWORD spanMs = FTickTimes[kTicksWatched - 1] - FTickTimes[0];
    const std::string seen = std::to_string(kTicksWatched) + " timer ticks, " +
                             std::to_string(spanMs) + " ms from the first to the last";
    if (spanMs * 10 < (kTicksWatched - 1) * kEditorTickMs * 9)
      Fail(seen + ": faster than every " + std::to_string(kEditorTickMs) + " ms");
    else
      Ok(seen);
    if (FLinks != 1) Fail(std::to_string(FLinks) + " link messages, expected one");
  }

  void Click(const TClick& c) {
    POINT p{c.X, c.Y};
    ClientToScreen(FEditor, &p);
    const size_t first = FSteps.size();
    EditsHeard().clear();
    std::printf("click %ld %ld\n", p.x, p.y);
    std::fflush(stdout);
    auto released = [&] {
      for (size_t i = first; i < FSteps.size(); ++i)
        if (!FSteps[i].Tick && FSteps[i].Command == edcRelease) return true;
      return false;
    };
    const bool changed =
        Pump([&] { return released() && FEffect->getParameter(FEffect, c.Index) == c.Normalised; });
    const TStep* press = nullptr;
    for (size_t i = first; i < FSteps.size() && !press; ++i)
      if (!FSteps[i].Tick && FSteps[i].Command == edcPress) press = &FSteps[i];
    char line[200];
    const float value = FEffect->getParameter(FEffect, c.Index);
    if (!press) {
      std::snprintf(line, sizeof(line), "%s: no WM_LBUTTONDOWN reached the editor", c.Gesture);
      Fail(line);
      return;
    }
    std::snprintf(line, sizeof(line),
                  "%s: WM_LBUTTONDOWN at client %d,%d (expected %d,%d), parameter %d reads %g "
                  "(expected %g)",
                  c.Gesture, press->X, press->Y, c.X, c.Y, c.Index, static_cast<double>(value),
                  static_cast<double>(c.Normalised));
    if (!changed || press->X != c.X || press->Y != c.Y)
      Fail(line);
    else
      Ok(line);

    const std::string heard = EditsHeardFrom(FEffect);
    const std::string index = std::to_string(c.Index);
    const std::string expected = "begin " + index + ", automate " + index + ", end " + index;
    if (heard == expected)
      Ok(std::string(c.Gesture) + ": the host heard " + heard);
    else
      Fail(std::string(c.Gesture) + ": the host heard " + heard + ", expected " + expected);
  }

  // The host's loop for a while after invalidating its window with its children. A window that
  // asks for another paint while it paints never lets the loop go idle: WM_PAINT comes before
  // WM_TIMER, so the timers stop, and the loop only ends by its time limit.
  void CheckRepaint() {
    FFrozen = false;
    const int paints = FPaints;
    const int64_t area = FPaintedArea;
    const int ticks = static_cast<int>(FTickTimes.size());
    const int hostTicks = FHostTicks;
    RedrawWindow(FHost, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    const DWORD start = GetTickCount();
    Pump([&] { return GetTickCount() - start >= kRepaintWatchMs; });
    const DWORD spanMs = GetTickCount() - start;
    const int painted = FPaints - paints;
    const int ticked = static_cast<int>(FTickTimes.size()) - ticks;
    const int hostTicked = FHostTicks - hostTicks;
    const double windows = static_cast<double>(FPaintedArea - area) / (FWidth * FHeight);
    char line[280];
    std::snprintf(line, sizeof(line),
                  "after RedrawWindow of the host window with its children: %d paints of the "
                  "editor's window covering %.2f windows, %d editor ticks, %d host idle ticks in "
                  "%lu ms",
                  painted, windows, ticked, hostTicked, static_cast<unsigned long>(spanMs));
    if (painted < 1 || painted > ticked + kPaintsBeyondTicks || windows > kWindowsPainted ||
        ticked < kTicksAfterRepaint || hostTicked < kTicksAfterRepaint)
      Fail(std::string(line) + "; expected at least one paint, at most " +
           std::to_string(kPaintsBeyondTicks) + " more than ticks, covering at most " +
           std::to_string(kWindowsPainted) + " windows, and at least " +
           std::to_string(kTicksAfterRepaint) + " ticks of each timer");
    else
      Ok(line);
  }

  // `outside`: a script serves the host's requests (the X server's screenshot among them).
  void CompareWithHeadless(bool outside) {
    // No more ticks: the picture stays as the ticks seen so far left it. Paints still run.
    FFrozen = true;
    const DWORD frozenAt = GetTickCount();
    Pump([&] {
      return GetTickCount() - frozenAt >= 2 * kIdleMs && !GetUpdateRect(FEditor, nullptr, FALSE);
    });
    HDC dc = GetDC(FEditor);
    const TPicture window = Capture(dc, 0, 0, FWidth, FHeight);
    ReleaseDC(FEditor, dc);
    HDC screen = GetDC(nullptr);
    const TPicture onScreen = Capture(screen, kHostLeft, kHostTop, FWidth, FHeight);
    ReleaseDC(nullptr, screen);

    // What the X server shows: a script answers the request with the file, while the window
    // stays as it is.
    TPicture xServer;
    const char* const xFile = "xserver.ppm";
    if (outside) {
      DeleteFileA(xFile);
      std::printf("grab %d %d %d %d %s\n", kHostLeft, kHostTop, FWidth, FHeight, xFile);
      std::fflush(stdout);
      Pump([&] { return GetFileAttributesA(xFile) != INVALID_FILE_ATTRIBUTES; });
      xServer = ReadPpm(xFile);
    }

    TPicture reference;
    if (!RenderHeadless(reference)) return;
    const auto ticks =
        std::count_if(FSteps.begin(), FSteps.end(), [](const TStep& s) { return s.Tick; });
    const std::string replayed = std::to_string(ticks) + " ticks and " +
                                 std::to_string(FSteps.size() - ticks) + " pointer messages";
    struct TShot {
      const char* Name;
      const TPicture& Picture;
      const char* File;
    };
    const TShot shots[] = {{"the editor window's device context", window, "window.ppm"},
                           {"the screen", onScreen, "screen.ppm"},
                           {"the X server's screenshot", xServer, nullptr}};
    bool dump = !FDumpDir.empty();
    for (const TShot& s : shots) {
      if (!outside && !s.File) continue;
      if (s.Picture.Pixels.empty()) {
        Fail(std::string("cannot copy the pixels of ") + s.Name);
        continue;
      }
      const std::string diff = ComparePictures(reference, s.Picture);
      if (diff.empty()) {
        Ok(std::string("pixels of ") + s.Name + " equal the headless rendering of the same " +
           replayed);
      } else {
        Fail(std::string("pixels of ") + s.Name + " against the headless rendering: " + diff);
        dump = true;
      }
    }
    if (dump) {
      const std::string dir = FDumpDir.empty() ? "." : FDumpDir;
      WritePpm(dir + "/headless.ppm", reference);
      for (const TShot& s : shots)
        if (s.File && !s.Picture.Pixels.empty()) WritePpm(dir + "/" + s.File, s.Picture);
      std::printf("     pictures written to %s\n", dir.c_str());
    }
  }

  // Replays every step so far in a new instance of the plug-in.
  bool RenderHeadless(TPicture& picture) {
    CloseReference();
    FReference = FEntry(HostCallback);
    if (!FReference) {
      Fail("main answered no second effect for the headless rendering");
      return false;
    }
    Dispatch(FReference, effOpen);
    TEditorDrive headless{.Command = edcUseHeadless, .Value = 1};
    const bool asked = Drive(headless);
    // The choice counts when an editor opens; later windows of this process are real again.
    const bool opened = asked && Dispatch(FReference, effEditOpen, 0, kHeadlessParent) != 0;
    headless.Value = 0;
    Drive(headless);
    if (!opened) {
      Fail("the plug-in opens no headless editor for the reference rendering");
      return false;
    }
    Dispatch(FReference, effEditIdle); // the link message
    bool replayed = true;
    for (const TStep& s : FSteps) {
      TEditorDrive d;
      if (s.Tick) {
        d.Command = edcAdvance;
        d.Milliseconds = kEditorTickMs;
      } else {
        d.Command = s.Command;
        d.X = s.X;
        d.Y = s.Y;
        d.Button = s.Button;
      }
      replayed = Drive(d) && replayed;
    }
    picture.Pixels.assign(static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight), 0);
    TEditorDrive pixels{
        .Command = edcPixels, .Width = FWidth, .Height = FHeight, .Pixels = picture.Pixels.data()};
    const bool got = Drive(pixels) && pixels.Width == FWidth && pixels.Height == FHeight;
    picture.Width = FWidth;
    picture.Height = FHeight;
    Dispatch(FReference, effEditClose);
    if (!replayed || !got) {
      Fail("the headless editor refused the replay or gave no picture");
      return false;
    }
    return true;
  }

  void CloseReference() {
    if (FReference) Dispatch(FReference, effClose);
    FReference = nullptr;
  }

  void CloseEditor() {
    KillTimer(FHost, kIdleTimer);
    gIdleEffect = nullptr;
    Dispatch(FEffect, effEditClose);
    if (IsWindow(FEditor))
      Fail("effEditClose left the editor's window in the host window");
    else
      Ok("effEditClose destroyed the editor's window");
  }

  // Dispatches messages until `done` holds, or for the time limit; answers `done`. The limit
  // holds between messages too: a queue that never empties ends the loop as well.
  bool Pump(const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        const bool dropped = Observe(msg);
        if (!dropped) {
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start >= FTimeoutMs) return false;
      }
      if (done()) return true;
      const DWORD elapsed = GetTickCount() - start;
      if (elapsed >= FTimeoutMs) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(FTimeoutMs - elapsed, 50),
                                QS_ALLINPUT);
    }
  }

  // Notes what the editor's window is about to receive; answers whether to drop the message.
  bool Observe(const MSG& msg) {
    if (msg.hwnd == FHost && msg.message == WM_TIMER && msg.wParam == kIdleTimer) ++FHostTicks;
    if (!FEditor || msg.hwnd != FEditor) return false;
    const int x = static_cast<short>(LOWORD(msg.lParam));
    const int y = static_cast<short>(HIWORD(msg.lParam));
    switch (msg.message) {
    case WM_PAINT: {
      ++FPaints;
      RECT r{};
      GetUpdateRect(FEditor, &r, FALSE);
      FPaintedArea += static_cast<int64_t>(r.right - r.left) * (r.bottom - r.top);
      return false;
    }
    case kLinkMessage:
      ++FLinks;
      FLinkWParam = msg.wParam;
      return false;
    case WM_TIMER:
      if (FFrozen) return true;
      FTickTimes.push_back(GetTickCount());
      FSteps.push_back(TStep{.Tick = true});
      return false;
    case WM_MOUSEMOVE:
      FSteps.push_back(TStep{.Command = edcMove, .X = x, .Y = y});
      return false;
    case WM_MOUSELEAVE:
      FSteps.push_back(TStep{.Command = edcLeave});
      return false;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      FSteps.push_back(TStep{.Command = edcPress, .X = x, .Y = y, .Button = ButtonOf(msg.message)});
      return false;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      FSteps.push_back(
          TStep{.Command = edcRelease, .X = x, .Y = y, .Button = ButtonOf(msg.message)});
      return false;
    default:
      return false;
    }
  }

  static int ButtonOf(UINT message) {
    switch (message) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return 1;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      return 2;
    default:
      return 0;
    }
  }

  static VstIntPtr Dispatch(AEffect* e, VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
    return e->dispatcher(e, opcode, 0, value, ptr, 0.0f);
  }
  bool Drive(TEditorDrive& d) {
    return FReference->dispatcher(FReference, effVendorSpecific, kEditorDriveIndex, 0, &d, 0.0f) ==
           1;
  }

  TPluginEntry FEntry;
  DWORD FTimeoutMs;
  std::string FDumpDir;
  AEffect* FEffect = nullptr;
  AEffect* FReference = nullptr;
  bool FClassRegistered = false;
  HWND FHost = nullptr;
  HWND FEditor = nullptr;
  int FWidth = 0, FHeight = 0;
  int FLinks = 0;
  WPARAM FLinkWParam = 0;
  bool FFrozen = false;
  int FPaints = 0;
  int64_t FPaintedArea = 0; // of the paints' update rectangles, in pixels
  int FHostTicks = 0;
  std::vector<DWORD> FTickTimes;
  std::vector<TStep> FSteps;
  bool FFailed = false;
};

} // namespace

int RunEditorCheck(TPluginEntry entry, int argc, char** argv) {
  bool click = true;
  DWORD timeoutMs = 60000;
  std::string dumpDir;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-click") == 0)
      click = false;
    else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc)
      timeoutMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10) * 1000);
    else if (std::strcmp(argv[i], "--dump") == 0 && i + 1 < argc)
      dumpDir = argv[++i];
    else
      return 2;
  }
  if (timeoutMs == 0) return 2;
  TEditorCheck check(entry, timeoutMs, dumpDir);
  return check.Run(click);
}

} // namespace qlhosts
