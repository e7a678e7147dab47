// The one interface between the controls and a window system. A backend creates borderless
// windows, queues posted messages, runs interval timers, shows pictures and feeds pointer events
// back to the window's client. Everything happens on the thread that created the window: the
// backend calls its clients only from Pump() (or from the window system's own dispatch on
// Windows), never from another thread.
//
// Backends: headless (windows in memory, for tests and tools), X11 and Win32 for the plug-in.
// Each form is given its backend when it is made, so windows of two backends may be open at
// once (an editor in the host's window next to one a tool drives in memory).
#pragma once

#include "platform/Bitmap32.h"
#include "platform/Types.h"

#include <cstdint>

// A backend's name for one of its windows; 0 is no window.
using TWindowHandle = uintptr_t;

// Move: the pointer moved within the window. Enter: it crossed into the window (where the window
// system tells that apart from a move). Leave: it left the window. CaptureLost: the window lost
// the pointer to the window system or another window (capture taken, the window unmapped, a
// grab by another client): a drag on it is over, and its release will not come here.
enum class TPointerKind { Press, Release, Move, Enter, Leave, CaptureLost };

// One pointer event in the window's client coordinates. Shift carries the modifier keys (shift,
// alt, ctrl) and the buttons (ssLeft, ssRight, ssMiddle) that the window system reports held
// with the event: after a press its button is held, after a release it is not. Leave and
// CaptureLost carry neither a position nor buttons. TimeMs is the backend's clock when the
// event happened, used to recognise double clicks. Double is set by a backend whose window
// system already recognised the press as the second of a double click.
struct TPointerEvent {
  TPointerKind Kind = TPointerKind::Move;
  TMouseButton Button = mbLeft;
  TShiftState Shift;
  int X = 0;
  int Y = 0;
  uint64_t TimeMs = 0;
  bool Double = false;
};

// What a window tells its owner. Implemented by TForm.
class TWindowClient {
public:
  virtual void HandlePointer(const TPointerEvent& event) = 0;
  virtual void HandlePosted(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
  virtual void HandleTimer(uintptr_t timerId) = 0;
  // The window wants painting: `exposed` (client coordinates) lost its pixels, or is empty
  // when only the client's own pending invalidations are due. The client paints before it
  // returns; the window system then counts the window as painted, so the client asks for no
  // further paint on the exposed area's account.
  virtual void HandlePaint(const TRect& exposed) = 0;

protected:
  ~TWindowClient() = default;
};

class TPlatformBackend {
public:
  virtual ~TPlatformBackend() = default;

  // A borderless child window of `parent` (a native window of the host; 0 for a top-level
  // window where the system allows one) at x, y with the given client size, shown at once.
  // Answers 0, and leaves nothing behind, when the parent cannot be used or the window system
  // is unavailable.
  virtual TWindowHandle OpenWindow(uintptr_t parent, int x, int y, int width, int height,
                                   TWindowClient* client) = 0;
  // Destroys the window; its queued messages and its timers go with it.
  virtual void CloseWindow(TWindowHandle window) = 0;
  virtual void MoveWindow(TWindowHandle window, int x, int y, int width, int height) = 0;
  // The native handle of the window (HWND, X11 Window id, the headless handle itself).
  virtual uintptr_t NativeHandle(TWindowHandle window) const = 0;

  // Queues a message for the window; the client receives it later on the window's thread.
  // False when the window does not exist.
  virtual bool Post(TWindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;

  // An interval timer of the window; answers a nonzero id that HandleTimer receives, or 0.
  virtual uintptr_t StartTimer(TWindowHandle window, uint32_t intervalMs) = 0;
  virtual void StopTimer(TWindowHandle window, uintptr_t timerId) = 0;

  // Asks for a HandlePaint call on the next pump: the client has marked `area` (client
  // coordinates, inside the window) for repainting. Windows collects the areas asked for
  // together with what it exposes and hands them over as the exposed rectangle; the other
  // backends hand an empty one.
  virtual void RequestPaint(TWindowHandle window, const TRect& area) = 0;
  // Shows the rectangle `source` of `picture` in the window with its top-left corner at x, y
  // of the client area, in one block transfer; parts outside the picture or the window are
  // left out.
  virtual void Present(TWindowHandle window, const TBitmap32& picture, const TRect& source, int x,
                       int y) = 0;

  // Keeps pointer events flowing to the window while a button is held outside it.
  virtual void CapturePointer(TWindowHandle window) = 0;
  virtual void ReleasePointer(TWindowHandle window) = 0;

  // Two presses of the same button within this time and with both coordinates within this
  // distance of each other make a double click.
  virtual uint32_t DoubleClickTimeMs() const = 0;
  virtual int DoubleClickDistance() const = 0;

  // The file descriptor that becomes readable when the window system has events for the window,
  // or -1 where the backend has none (its events come through the host's own dispatch, or from
  // memory).
  virtual int EventDescriptor(TWindowHandle /*window*/) const { return -1; }

  // Serves whatever is due for every window of the backend: window-system events, posted
  // messages, timers, paints. Never blocks.
  virtual void Pump() = 0;
};

// The headless backend, one per process, which tests and tools drive (HeadlessBackend.h).
TPlatformBackend& HeadlessPlatformBackend();
// The window system's backend of this build: X11 on Linux, Win32 on Windows. Defined by the
// backend's own library (ql_platform_x11, ql_platform_win32), which whoever calls it links.
TPlatformBackend& NativePlatformBackend();
