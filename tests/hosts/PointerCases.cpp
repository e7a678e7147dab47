#include "PointerCases.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace qlhosts {
namespace {

// Points of the editor, in its client coordinates.
constexpr POINT kOversamplingUpper{150, 200}; // upper half of the oversampling number
constexpr POINT kWordLength{840, 178};
constexpr POINT kLogo{800, 60};
constexpr POINT kBackground{5, 5};
constexpr POINT kAway{1278, 798}; // on the screen, outside every host window used here

// The ways a drag is lost without its release, told to the editor's window by messages of its
// own, and the MK_ flags of the moves that follow.
struct TDragLoss {
  const char* How;
  WPARAM MoveFlags;
  void (*Lose)(HWND editor, HWND host);
};
constexpr TDragLoss kDragLosses[] = {
    {"moves whose flags hold no button", 0, [](HWND, HWND) {}},
    {"WM_CAPTURECHANGED (the host took the capture and let go), then moves with MK_LBUTTON",
     MK_LBUTTON,
     [](HWND, HWND host) {
       SetCapture(host);
       ReleaseCapture();
     }},
    {"WM_CANCELMODE, then moves with MK_LBUTTON", MK_LBUTTON,
     [](HWND editor, HWND) { SendMessageW(editor, WM_CANCELMODE, 0, 0); }},
};

LPARAM At(POINT p) {
  return MAKELPARAM(p.x, p.y);
}

class TPointerCases {
public:
  explicit TPointerCases(TPointerHost& host) : FHost(host) {}

  int Run() {
    CaptureTakenByTheHost();
    DragLostByMessages();
    for (size_t closing : {0u, 1u})
      TwoEditors(closing);
    return FFailures;
  }

private:
  void Check(bool good, const std::string& text) {
    std::printf("%s %s\n", good ? "ok  " : "FAIL", text.c_str());
    FFailures += good ? 0 : 1;
  }

  bool Open(int left, int top) {
    if (!FHost.Open(left, top)) {
      Check(false, "the editor opened no window in the host window");
      return false;
    }
    Loop(400); // the first refreshes
    return true;
  }
  POINT Screen(size_t slot, POINT client) const {
    ClientToScreen(FHost.Host(slot), &client);
    return client;
  }

  // Our message loop for `ms` milliseconds; counts what reaches each window on the way.
  void Loop(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_MOUSELEAVE) ++FLeaves[msg.hwnd];
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      const DWORD elapsed = GetTickCount() - start;
      if (elapsed >= ms) return;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(ms - elapsed, 20), QS_ALLINPUT);
    }
  }

  // The user's hand, through the system's input queue.
  void MoveTo(POINT p) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((p.x * 65536 + w - 1) / w);
    in.mi.dy = static_cast<LONG>((p.y * 65536 + h - 1) / h);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof(in));
    Loop(60);
    POINT now{};
    GetCursorPos(&now);
    if (now.x != p.x || now.y != p.y) {
      char line[96];
      std::snprintf(line, sizeof(line), "the pointer went to %ld,%ld instead of %ld,%ld", now.x,
                    now.y, p.x, p.y);
      Check(false, line);
    }
  }
  void Button(bool down) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &in, sizeof(in));
    Loop(60);
  }

  // A drag of the oversampling number that got lost reaches the host as one whole edit, ended
  // when it was lost.
  void CheckOneEdit(size_t slot, float value, const char* how) {
    const std::string heard = FHost.Edits(slot), expected = FHost.WholeEdit(value);
    Check(heard == expected,
          std::string(how) + ": the host heard " + heard + " (expected " + expected + ")");
  }

  // The host takes the capture mid-drag, so the release goes to it.
  void CaptureTakenByTheHost() {
    if (!Open(40, 30)) return FHost.CloseAll();
    MoveTo(Screen(0, kOversamplingUpper));
    FHost.ClearEdits(0);
    Button(true);
    const float pressed = FHost.Oversampling(0);
    SetCapture(FHost.Host(0));
    Button(false);
    ReleaseCapture();
    Loop(60);
    for (LONG dy : {10, 20, 30})
      MoveTo(Screen(0, POINT{kOversamplingUpper.x, kOversamplingUpper.y - dy}));
    Loop(200);
    const float after = FHost.Oversampling(0);
    char line[200];
    std::snprintf(line, sizeof(line),
                  "press on the oversampling number gives %g; the host takes the capture, the "
                  "release goes to it, then three moves up over the number: %g (expected 2)",
                  static_cast<double>(pressed), static_cast<double>(after));
    Check(pressed == 2.0f && after == 2.0f, line);
    CheckOneEdit(0, pressed, "the host takes the capture during the drag");
    FHost.CloseAll();
  }

  void DragLostByMessages() {
    if (!Open(40, 30)) return FHost.CloseAll();
    const HWND editor = FHost.Editor(0);
    MoveTo(kAway); // only our messages reach the editor
    for (const TDragLoss& loss : kDragLosses) {
      Loop(600); // no double click with the press before
      const float before = FHost.Oversampling(0);
      FHost.ClearEdits(0);
      SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, At(kOversamplingUpper));
      const float pressed = FHost.Oversampling(0);
      loss.Lose(editor, FHost.Host(0));
      for (LONG dy : {10, 20, 30})
        SendMessageW(editor, WM_MOUSEMOVE, loss.MoveFlags,
                     At(POINT{kOversamplingUpper.x, kOversamplingUpper.y - dy}));
      Loop(100);
      const float after = FHost.Oversampling(0);
      char line[240];
      std::snprintf(line, sizeof(line),
                    "press on the oversampling number: %g to %g; %s: %g (expected %g)",
                    static_cast<double>(before), static_cast<double>(pressed), loss.How,
                    static_cast<double>(after), static_cast<double>(before + 1));
      Check(pressed == before + 1 && after == pressed, line);
      CheckOneEdit(0, pressed, loss.How);
      // The release that never came: moves without a button end whatever is left.
      SendMessageW(editor, WM_MOUSEMOVE, 0, At(kBackground));
    }
    FHost.CloseAll();
  }

  static std::vector<uint32_t> Pixels(HWND editor) {
    std::vector<uint32_t> pixels = WindowPixels(editor, kEditorWidth, kEditorHeight);
    if (pixels.empty()) pixels.assign(static_cast<size_t>(kEditorWidth) * kEditorHeight, 0);
    return pixels;
  }
  // Darkness summed over the logo's box: its picture blends over white by its opacity.
  static long LogoStrength(const std::vector<uint32_t>& p) {
    long sum = 0;
    for (int y = 20; y < 126; ++y)
      for (int x = 712; x < 984; ++x) {
        const uint32_t v = p[static_cast<size_t>(y) * kEditorWidth + x];
        sum += 765 - static_cast<long>((v >> 16) & 0xFF) - ((v >> 8) & 0xFF) - (v & 0xFF);
      }
    return sum;
  }
  // Text pixels at the start of the hint line, the part the other editor never covers here.
  static int HintInk(const std::vector<uint32_t>& p) {
    int n = 0;
    for (int y = 524; y < 562; ++y)
      for (int x = 19; x < 225; ++x)
        n += p[static_cast<size_t>(y) * kEditorWidth + x] != 0xFFFFFFu;
    return n;
  }

  // The lower editor at 40,30, the upper one at 270,210 over part of it; the points used are
  // ones of each that the other does not cover.
  void TwoEditors(size_t closing) {
    const std::string order = closing == 0 ? "the lower editor closes under the pointer"
                                           : "the upper editor closes under the pointer";
    if (!Open(40, 30) || !Open(270, 210)) return FHost.CloseAll();
    const size_t gone = closing, stays = 1 - closing;
    MoveTo(Screen(gone, POINT{150, 190}));
    Loop(200);
    FHost.CloseEditor(gone);
    Loop(100);

    const HWND editor = FHost.Editor(stays);
    MoveTo(Screen(stays, kBackground));
    Loop(200);
    const std::vector<uint32_t> before = Pixels(editor);
    MoveTo(Screen(stays, kWordLength));
    Loop(200);
    const int ink = HintInk(Pixels(editor));
    Check(HintInk(before) == 0 && ink > 100,
          order + ": the other shows the hint over its word length (" + std::to_string(ink) +
              " text pixels, none before)");
    const long resting = LogoStrength(Pixels(editor));
    MoveTo(Screen(stays, kLogo));
    Loop(200);
    const long lit = LogoStrength(Pixels(editor));
    const int leavesBefore = FLeaves[editor];
    MoveTo(kAway);
    Loop(600);
    const int leaves = FLeaves[editor] - leavesBefore;
    Check(leaves >= 1, order + ": the other gets WM_MOUSELEAVE when the pointer leaves it (" +
                           std::to_string(leaves) + ")");
    const long after = LogoStrength(Pixels(editor));
    Check(lit > resting * 5 / 4 && std::labs(after - resting) < std::labs(after - lit),
          order + ": the other's logo strength " + std::to_string(resting) + " resting, " +
              std::to_string(lit) + " under the pointer, " + std::to_string(after) +
              " after it left");
    FHost.CloseAll();
  }

  TPointerHost& FHost;
  int FFailures = 0;
  std::map<HWND, int> FLeaves;
};

} // namespace

int RunPointerCases(TPointerHost& host) {
  TPointerCases cases(host);
  return cases.Run();
}

THostWindows::THostWindows(const wchar_t* className, WNDPROC proc) : FClassName(className) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = className;
  FRegistered = RegisterClassExW(&wc) != 0;
}

THostWindows::~THostWindows() {
  if (FRegistered) UnregisterClassW(FClassName, GetModuleHandleW(nullptr));
}

HWND THostWindows::Create(int left, int top, void* userData) const {
  HWND window = CreateWindowExW(
      0, FClassName, L"Quantaloop pointer host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, left, top,
      kEditorWidth, kEditorHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) return nullptr;
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(userData));
  return window;
}

std::vector<uint32_t> DcPixels(HDC source, int x, int y, int width, int height) {
  std::vector<uint32_t> pixels;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (memory && bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY)) {
      GdiFlush();
      const auto* p = static_cast<const uint32_t*>(bits);
      pixels.assign(p, p + static_cast<size_t>(width) * static_cast<size_t>(height));
      for (uint32_t& v : pixels)
        v &= 0xFFFFFFu;
    }
    SelectObject(memory, old);
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  return pixels;
}

std::vector<uint32_t> WindowPixels(HWND window, int width, int height) {
  HDC dc = GetDC(window);
  std::vector<uint32_t> pixels = DcPixels(dc, 0, 0, width, height);
  ReleaseDC(window, dc);
  return pixels;
}

} // namespace qlhosts
