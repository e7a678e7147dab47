#include "platform/BackendWin32.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#include <vector>

namespace {

// What the backend keeps of one of its windows, in the window's user data.
struct TWin32Window {
  TWindowClient* Client = nullptr;
  // A TrackMouseEvent request for WM_MOUSELEAVE is pending for this window.
  bool TrackingLeave = false;
  // The backend itself is giving up the capture: that is no capture lost.
  bool ReleasingCapture = false;
};

TWin32Window* WindowOf(HWND hwnd) {
  return reinterpret_cast<TWin32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

TWindowClient* ClientOf(HWND hwnd) {
  const TWin32Window* w = WindowOf(hwnd);
  return w ? w->Client : nullptr;
}

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// A class name of this copy of the library: two copies loaded in one host must not share a
// class whose window procedure lives in only one of them.
const wchar_t* ClassName() {
  static wchar_t name[64] = {};
  if (!name[0]) std::swprintf(name, 64, L"QuantaloopEditor%p", static_cast<void*>(ThisModule()));
  return name;
}

// The buttons and keys a mouse message says are held (its MK_ flags); Alt has no flag.
TShiftState ShiftOf(WPARAM flags) {
  TShiftState shift;
  if (flags & MK_LBUTTON) shift.Include(ssLeft);
  if (flags & MK_RBUTTON) shift.Include(ssRight);
  if (flags & MK_MBUTTON) shift.Include(ssMiddle);
  if (flags & MK_SHIFT) shift.Include(ssShift);
  if (flags & MK_CONTROL) shift.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0) shift.Include(ssAlt);
  return shift;
}

void SendPointer(HWND hwnd, TPointerKind kind, TMouseButton button, WPARAM wParam, LPARAM lParam) {
  TWindowClient* client = ClientOf(hwnd);
  if (!client) return;
  TPointerEvent e;
  e.Kind = kind;
  e.Button = button;
  e.Shift = ShiftOf(wParam);
  e.X = static_cast<short>(LOWORD(lParam));
  e.Y = static_cast<short>(HIWORD(lParam));
  e.TimeMs = static_cast<uint32_t>(GetMessageTime());
  client->HandlePointer(e);
}

void SendWithoutPosition(HWND hwnd, TPointerKind kind) {
  TWindowClient* client = ClientOf(hwnd);
  if (!client) return;
  TPointerEvent e;
  e.Kind = kind;
  e.TimeMs = static_cast<uint32_t>(GetMessageTime());
  client->HandlePointer(e);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWin32Window* window = WindowOf(hwnd);
  TWindowClient* client = window ? window->Client : nullptr;
  switch (msg) {
  case WM_PAINT: {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    if (client)
      client->HandlePaint(
          TRect{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom});
    EndPaint(hwnd, &ps);
    return 0;
  }
  case WM_ERASEBKGND:
    return 1; // every pixel comes from the pictures
  case WM_TIMER:
    if (client) client->HandleTimer(static_cast<uintptr_t>(wParam));
    return 0;
  case WM_MOUSEMOVE:
    // Each window asks for its own leave: the request goes with the window when it is
    // destroyed under the pointer, and other windows still ask for theirs.
    if (window && !window->TrackingLeave) {
      TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
      window->TrackingLeave = TrackMouseEvent(&track) != 0;
    }
    SendPointer(hwnd, TPointerKind::Move, mbLeft, wParam, lParam);
    return 0;
  case WM_MOUSELEAVE:
    if (window) window->TrackingLeave = false;
    SendWithoutPosition(hwnd, TPointerKind::Leave);
    return 0;
  case WM_CAPTURECHANGED:
    // Another window took the capture, or the system ended it: the release of a drag goes
    // elsewhere now.
    if (window && !window->ReleasingCapture && reinterpret_cast<HWND>(lParam) != hwnd)
      SendWithoutPosition(hwnd, TPointerKind::CaptureLost);
    return 0;
  case WM_CANCELMODE:
    // A dialog or a menu of the host takes over the pointer.
    SendWithoutPosition(hwnd, TPointerKind::CaptureLost);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  case WM_NCDESTROY:
    // Destroyed with the host's window before CloseWindow: the record goes with it.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    delete window;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  case WM_LBUTTONDOWN:
    SendPointer(hwnd, TPointerKind::Press, mbLeft, wParam, lParam);
    return 0;
  case WM_RBUTTONDOWN:
    SendPointer(hwnd, TPointerKind::Press, mbRight, wParam, lParam);
    return 0;
  case WM_MBUTTONDOWN:
    SendPointer(hwnd, TPointerKind::Press, mbMiddle, wParam, lParam);
    return 0;
  case WM_LBUTTONUP:
    SendPointer(hwnd, TPointerKind::Release, mbLeft, wParam, lParam);
    return 0;
  case WM_RBUTTONUP:
    SendPointer(hwnd, TPointerKind::Release, mbRight, wParam, lParam);
    return 0;
  case WM_MBUTTONUP:
    SendPointer(hwnd, TPointerKind::Release, mbMiddle, wParam, lParam);
    return 0;
  default:
    // Messages of the controls (the link message among them) come posted from the form.
    if (msg >= WM_USER && msg < 0xC000 && client) {
      client->HandlePosted(msg, static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam));
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

} // namespace

TWin32Backend& TWin32Backend::Instance() {
  static TWin32Backend backend;
  return backend;
}

TPlatformBackend& NativePlatformBackend() {
  return TWin32Backend::Instance();
}

TWindowHandle TWin32Backend::OpenWindow(uintptr_t parent, int x, int y, int width, int height,
                                        TWindowClient* client) {
  if (!client || width <= 0 || height <= 0) return 0;
  HWND parentWnd = reinterpret_cast<HWND>(parent);
  if (parentWnd && !IsWindow(parentWnd)) return 0;
  if (!FClassAtom) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = ClassName();
    FClassAtom = RegisterClassExW(&wc);
    if (!FClassAtom) return 0;
  }
  const DWORD style = (parentWnd ? WS_CHILD : WS_POPUP) | WS_VISIBLE | WS_CLIPSIBLINGS;
  HWND hwnd = CreateWindowExW(0, ClassName(), L"", style, x, y, width, height, parentWnd, nullptr,
                              ThisModule(), nullptr);
  if (!hwnd) {
    if (FWindows == 0) {
      UnregisterClassW(ClassName(), ThisModule());
      FClassAtom = 0;
    }
    return 0;
  }
  SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                    reinterpret_cast<LONG_PTR>(new TWin32Window{.Client = client}));
  ++FWindows;
  return reinterpret_cast<TWindowHandle>(hwnd);
}

void TWin32Backend::CloseWindow(TWindowHandle window) {
  HWND hwnd = reinterpret_cast<HWND>(window);
  TWin32Window* w = window && IsWindow(hwnd) ? WindowOf(hwnd) : nullptr;
  if (!w) return;
  // No more calls into the client, whatever is still queued for the window.
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  delete w;
  DestroyWindow(hwnd);
  MSG drop;
  while (PeekMessageW(&drop, hwnd, 0, 0, PM_REMOVE)) {
  }
  if (--FWindows == 0) {
    UnregisterClassW(ClassName(), ThisModule());
    FClassAtom = 0;
  }
}

void TWin32Backend::MoveWindow(TWindowHandle window, int x, int y, int width, int height) {
  if (window) ::MoveWindow(reinterpret_cast<HWND>(window), x, y, width, height, TRUE);
}

bool TWin32Backend::Post(TWindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = reinterpret_cast<HWND>(window);
  return window && IsWindow(hwnd) && PostMessageW(hwnd, msg, wParam, lParam) != 0;
}

uintptr_t TWin32Backend::StartTimer(TWindowHandle window, uint32_t intervalMs) {
  if (!window || intervalMs == 0) return 0;
  const uintptr_t id = FNextTimer++;
  return SetTimer(reinterpret_cast<HWND>(window), id, intervalMs, nullptr) ? id : 0;
}

void TWin32Backend::StopTimer(TWindowHandle window, uintptr_t timerId) {
  if (window) KillTimer(reinterpret_cast<HWND>(window), timerId);
}

// Only the area: the WM_PAINT that follows hands it to the client as the exposed rectangle,
// and the whole window would repaint the client's every layer for each small change.
void TWin32Backend::RequestPaint(TWindowHandle window, const TRect& area) {
  const RECT r{area.Left, area.Top, area.Right, area.Bottom};
  if (window) InvalidateRect(reinterpret_cast<HWND>(window), &r, FALSE);
}

void TWin32Backend::Present(TWindowHandle window, const TBitmap32& picture, const TRect& source,
                            int x, int y) {
  HWND hwnd = reinterpret_cast<HWND>(window);
  if (!window || picture.Empty()) return;
  const TRect src = source.Intersect(TRect{0, 0, picture.Width, picture.Height});
  if (src.IsEmpty()) return;
  // The picture is a bottom-up device-independent bitmap already; the device clips to the
  // window.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = picture.Width;
  info.bmiHeader.biHeight = picture.Height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC dc = GetDC(hwnd);
  if (!dc) return;
  // Source y of SetDIBitsToDevice counts from the bottom row.
  SetDIBitsToDevice(dc, x + (src.Left - source.Left), y + (src.Top - source.Top),
                    static_cast<DWORD>(src.Width()), static_cast<DWORD>(src.Height()), src.Left,
                    picture.Height - src.Bottom, 0, static_cast<UINT>(picture.Height),
                    picture.Pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(hwnd, dc);
}

void TWin32Backend::CapturePointer(TWindowHandle window) {
  if (window) SetCapture(reinterpret_cast<HWND>(window));
}

void TWin32Backend::ReleasePointer(TWindowHandle window) {
  HWND hwnd = reinterpret_cast<HWND>(window);
  if (!window || GetCapture() != hwnd) return;
  TWin32Window* w = WindowOf(hwnd);
  if (w) w->ReleasingCapture = true;
  ReleaseCapture();
  if (w) w->ReleasingCapture = false;
}

uint32_t TWin32Backend::DoubleClickTimeMs() const {
  return GetDoubleClickTime();
}

int TWin32Backend::DoubleClickDistance() const {
  // The system gives the size of the rectangle centred on the first click.
  return GetSystemMetrics(SM_CXDOUBLECLK) / 2;
}

void TWin32Backend::Pump() {
  // The host's message loop dispatches our windows' messages, timers and paints.
}
