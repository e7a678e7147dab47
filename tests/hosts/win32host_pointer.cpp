// The pointer check of the Windows test host: what a host that is not polite does to the
// editor's pointer. Editors open in top-level windows of ours, our message loop dispatches
// everything and calls effEditIdle from a timer, and the pointer is moved and pressed through
// SendInput, the system's own input path (so TrackMouseEvent, capture and the MK_ flags of the
// messages are the window system's). The parameters are read back through getParameter.
//
//   1. A press on the upper half of the oversampling number, then the host takes the capture
//      (as a host dialog does), the release goes to the host, the host lets go, and the pointer
//      moves up over the number three times: the number stays where the press put it.
//   2. The same drag lost three other ways, with messages sent straight to the editor's
//      window: moves whose MK_ flags hold no button; WM_CAPTURECHANGED, then moves that still
//      hold the button; WM_CANCELMODE, then such moves.
//   3. Two editors of two instances at once, the pointer resting on one when it closes (each
//      order): the other still shows its hints, highlights its logo under the pointer and gets
//      WM_MOUSELEAVE when the pointer leaves it, and its logo takes back its own opacity.
#include "win32host_pointer.h"

#include "RecordCheck.h"
#include "vst2/interface/DAEffectX.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qlhosts {
namespace {

constexpr int kEditorWidth = 1001;
constexpr int kEditorHeight = 579;
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdleMs = 40;
constexpr const wchar_t* kHostClass = L"QuantaloopPointerHost";

// Points of the editor, in its client coordinates.
constexpr POINT kOversamplingUpper{150, 200}; // upper half of the oversampling number
constexpr POINT kWordLength{840, 178};
constexpr POINT kLogo{800, 60};
constexpr POINT kBackground{5, 5};

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER && wParam == kIdleTimer) {
    if (auto* e = reinterpret_cast<AEffect*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
      e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// One instance with its editor open in a host window of its own.
struct THosted {
  AEffect* Effect = nullptr;
  HWND Host = nullptr;
  HWND Editor = nullptr;
  POINT At{}; // the host window's screen position

  POINT Screen(POINT client) const { return POINT{At.x + client.x, At.y + client.y}; }
  float Oversampling() const { return Effect->getParameter(Effect, 0) * 128.0f; }
};

class TPointerCheck {
public:
  explicit TPointerCheck(TPluginEntry entry) : FEntry(entry) { FHosted.reserve(4); }
  ~TPointerCheck() {
    for (THosted& h : FHosted)
      Close(h);
    if (FClassRegistered) UnregisterClassW(kHostClass, GetModuleHandleW(nullptr));
  }

  int Run() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kHostClass;
    FClassRegistered = RegisterClassExW(&wc) != 0;
    CaptureTakenByTheHost();
    DragLostByMessages();
    for (int closing : {0, 1})
      TwoEditors(closing);
    return FFailed ? 1 : 0;
  }

private:
  void Check(bool good, const std::string& text) {
    std::printf("%s %s\n", good ? "ok  " : "FAIL", text.c_str());
    FFailed = FFailed || !good;
  }

  THosted* Open(int left, int top) {
    THosted h;
    h.At = POINT{left, top};
    h.Effect = FEntry(HostCallback);
    if (!h.Effect) return nullptr;
    h.Effect->dispatcher(h.Effect, effOpen, 0, 0, nullptr, 0.0f);
    h.Host = CreateWindowExW(0, kHostClass, L"Quantaloop pointer host",
                             WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, left, top, kEditorWidth,
                             kEditorHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (h.Host) {
      SetWindowPos(h.Host, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      if (h.Effect->dispatcher(h.Effect, effEditOpen, 0, 0, h.Host, 0.0f) != 0)
        h.Editor = GetWindow(h.Host, GW_CHILD);
      SetWindowLongPtrW(h.Host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(h.Effect));
      SetTimer(h.Host, kIdleTimer, kIdleMs, nullptr);
    }
    FHosted.push_back(h);
    if (!h.Editor) {
      Check(false, "the editor opened no window in the host window");
      return nullptr;
    }
    Loop(400); // the link message and the first refreshes
    return &FHosted.back();
  }
  static void CloseEditor(THosted& h) {
    if (!h.Editor) return;
    KillTimer(h.Host, kIdleTimer);
    h.Effect->dispatcher(h.Effect, effEditClose, 0, 0, nullptr, 0.0f);
    h.Editor = nullptr;
  }
  static void Close(THosted& h) {
    CloseEditor(h);
    if (h.Host) DestroyWindow(h.Host);
    if (h.Effect) h.Effect->dispatcher(h.Effect, effClose, 0, 0, nullptr, 0.0f);
    h = THosted{};
  }
  void CloseAll() {
    for (THosted& h : FHosted)
      Close(h);
    FHosted.clear();
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
  static LPARAM At(POINT p) { return MAKELPARAM(p.x, p.y); }

  // A drag of the oversampling number that got lost reaches the host as one whole edit, ended
  // when it was lost.
  void CheckOneEdit(AEffect* effect, const char* how) {
    const std::string heard = EditsHeardFrom(effect);
    Check(heard == "begin 0, automate 0, end 0", std::string(how) + ": the host heard " + heard +
                                                     " (expected begin 0, automate 0, end 0)");
  }

  // The drag of the issue: the host takes the capture mid-drag, so the release goes to it.
  void CaptureTakenByTheHost() {
    THosted* h = Open(40, 30);
    if (!h) return;
    MoveTo(h->Screen(kOversamplingUpper));
    EditsHeard().clear();
    Button(true);
    const float pressed = h->Oversampling();
    SetCapture(h->Host);
    Button(false);
    ReleaseCapture();
    Loop(60);
    for (LONG dy : {10, 20, 30})
      MoveTo(h->Screen(POINT{kOversamplingUpper.x, kOversamplingUpper.y - dy}));
    Loop(200);
    char line[200];
    std::snprintf(line, sizeof(line),
                  "press on the oversampling number gives %g; the host takes the capture, the "
                  "release goes to it, then three moves up over the number: %g (expected 2)",
                  static_cast<double>(pressed), static_cast<double>(h->Oversampling()));
    Check(pressed == 2.0f && h->Oversampling() == 2.0f, line);
    CheckOneEdit(h->Effect, "the host takes the capture during the drag");
    CloseAll();
  }

  // The drag lost, told to the editor's window by messages of its own.
  void DragLostByMessages() {
    struct TLoss {
      const char* How;
      WPARAM MoveFlags; // of the moves that follow
      std::function<void(HWND editor, HWND host)> Lose;
    };
    const TLoss losses[] = {
        {"moves whose flags hold no button", 0, [](HWND, HWND) {}},
        {"WM_CAPTURECHANGED (the host took the capture and let go), then moves with "
         "MK_LBUTTON",
         MK_LBUTTON,
         [](HWND, HWND host) {
           SetCapture(host);
           ReleaseCapture();
         }},
        {"WM_CANCELMODE, then moves with MK_LBUTTON", MK_LBUTTON,
         [](HWND editor, HWND) { SendMessageW(editor, WM_CANCELMODE, 0, 0); }},
    };
    THosted* h = Open(40, 30);
    if (!h) return;
    MoveTo(POINT{1278, 798}); // away: only our messages reach the editor
    for (const TLoss& loss : losses) {
      Loop(600); // no double click with the press before
      const float before = h->Oversampling();
      EditsHeard().clear();
      SendMessageW(h->Editor, WM_LBUTTONDOWN, MK_LBUTTON, At(kOversamplingUpper));
      const float pressed = h->Oversampling();
      loss.Lose(h->Editor, h->Host);
      for (LONG dy : {10, 20, 30})
        SendMessageW(h->Editor, WM_MOUSEMOVE, loss.MoveFlags,
                     At(POINT{kOversamplingUpper.x, kOversamplingUpper.y - dy}));
      Loop(100);
      const float after = h->Oversampling();
      char line[240];
      std::snprintf(line, sizeof(line),
                    "press on the oversampling number: %g to %g; %s: %g (expected %g)",
                    static_cast<double>(before), static_cast<double>(pressed), loss.How,
                    static_cast<double>(after), static_cast<double>(before + 1));
      Check(pressed == before + 1 && after == pressed, line);
      CheckOneEdit(h->Effect, loss.How);
      // The release that never came: moves without a button end whatever is left.
      SendMessageW(h->Editor, WM_MOUSEMOVE, 0, At(kBackground));
    }
    CloseAll();
  }

  // Copies the editor window's pixels (0x00RRGGBB, top row first).
  static std::vector<uint32_t> Pixels(HWND editor) {
    std::vector<uint32_t> pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kEditorWidth;
    info.bmiHeader.biHeight = -kEditorHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = GetDC(editor);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && bitmap && bits) {
      HGDIOBJ old = SelectObject(memory, bitmap);
      if (BitBlt(memory, 0, 0, kEditorWidth, kEditorHeight, dc, 0, 0, SRCCOPY)) {
        GdiFlush();
        const auto* p = static_cast<const uint32_t*>(bits);
        pixels.assign(p, p + kEditorWidth * kEditorHeight);
        for (uint32_t& v : pixels)
          v &= 0xFFFFFFu;
      }
      SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(editor, dc);
    if (pixels.empty()) pixels.assign(kEditorWidth * kEditorHeight, 0);
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
  void TwoEditors(int closing) {
    const std::string order = closing == 0 ? "the lower editor closes under the pointer"
                                           : "the upper editor closes under the pointer";
    if (!Open(40, 30) || !Open(270, 210)) {
      CloseAll();
      return;
    }
    THosted& gone = FHosted[static_cast<size_t>(closing)];
    THosted& stays = FHosted[static_cast<size_t>(1 - closing)];
    MoveTo(gone.Screen(POINT{150, 190}));
    Loop(200);
    CloseEditor(gone);
    Loop(100);

    MoveTo(stays.Screen(kBackground));
    Loop(200);
    const std::vector<uint32_t> before = Pixels(stays.Editor);
    MoveTo(stays.Screen(kWordLength));
    Loop(200);
    const int ink = HintInk(Pixels(stays.Editor));
    Check(HintInk(before) == 0 && ink > 100,
          order + ": the other shows the hint over its word length (" + std::to_string(ink) +
              " text pixels, none before)");
    const long resting = LogoStrength(Pixels(stays.Editor));
    MoveTo(stays.Screen(kLogo));
    Loop(200);
    const long lit = LogoStrength(Pixels(stays.Editor));
    const int leavesBefore = FLeaves[stays.Editor];
    MoveTo(POINT{1278, 798}); // outside both
    Loop(600);
    const int leaves = FLeaves[stays.Editor] - leavesBefore;
    Check(leaves >= 1, order + ": the other gets WM_MOUSELEAVE when the pointer leaves it (" +
                           std::to_string(leaves) + ")");
    const long after = LogoStrength(Pixels(stays.Editor));
    Check(lit > resting * 5 / 4 && std::labs(after - resting) < std::labs(after - lit),
          order + ": the other's logo strength " + std::to_string(resting) + " resting, " +
              std::to_string(lit) + " under the pointer, " + std::to_string(after) +
              " after it left");
    CloseAll();
  }

  TPluginEntry FEntry;
  bool FClassRegistered = false;
  bool FFailed = false;
  std::vector<THosted> FHosted;
  std::map<HWND, int> FLeaves;
};

} // namespace

int RunPointerCheck(TPluginEntry entry, int argc, char**) {
  if (argc != 3) return 2;
  TPointerCheck check(entry);
  return check.Run();
}

} // namespace qlhosts
