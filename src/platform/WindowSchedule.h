// What the headless and the X11 backend share because neither window system runs timers or
// collects paint requests for them: interval timers of windows, due at fixed points of a clock
// the backend hands in; the windows that asked to be painted; and the clipping of a block
// transfer to the picture and the window. (Windows does all of this itself for the Win32
// backend.)
#pragma once

#include "platform/Backend.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>

// What a block transfer shows: the part of the picture inside both the picture and the window
// (empty when nothing shows), and where its top-left corner lands in the window.
struct TTransferArea {
  TRect Source;
  int X = 0;
  int Y = 0;
};

TTransferArea ClipTransfer(const TBitmap32& picture, const TRect& source, int x, int y,
                           int windowWidth, int windowHeight);

// The backend checks that a window exists before it starts a timer or asks for a paint, and
// tells the schedule when a window goes.
class TWindowSchedule {
public:
  static constexpr int kMaxCatchUp = 10;

  // A timer whose first tick is due at now + intervalMs; 0 for an interval of 0.
  uintptr_t StartTimer(TWindowHandle window, uint32_t intervalMs, uint64_t now);
  // Only the window's own timer stops.
  void StopTimer(TWindowHandle window, uintptr_t timerId);
  void RequestPaint(TWindowHandle window);
  bool PaintRequested(TWindowHandle window) const { return FPaints.count(window) != 0; }
  // The window's timers and its paint request go with it.
  void RemoveWindow(TWindowHandle window);
  int TimerCount() const { return static_cast<int>(FTimers.size()); }

  // Calls tick(window, timerId) for every tick due by `now`. Ticks are due at start + n *
  // interval however often this is called: a late call fires the ticks it missed and the next
  // one stays on the grid, at most kMaxCatchUp of them per timer and call; a timer still behind
  // after that (a stalled host) starts afresh from now instead of firing a burst. A timer
  // started from a tick waits for the next call; one stopped from a tick fires no more.
  void FireTimers(uint64_t now, const std::function<void(TWindowHandle, uintptr_t)>& tick);
  // Calls paint(window) once for every window that asked, in handle order, its request taken
  // back first. A window asking again from its own paint waits for the next call.
  void ServePaints(const std::function<void(TWindowHandle)>& paint);

private:
  struct TTimer {
    TWindowHandle Window;
    uint32_t Interval;
    uint64_t Due;
  };
  std::map<uintptr_t, TTimer> FTimers;
  std::set<TWindowHandle> FPaints;
  uintptr_t FNextTimer = 1;
};
