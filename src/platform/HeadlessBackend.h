// The headless window backend: windows kept in memory, posted messages and timers served from
// an explicit Pump() against a clock that only moves when told to, pointer events injected by
// the caller, and each window's pixels readable as a picture. Used by the tests and the tools.
#pragma once

#include "platform/Backend.h"
#include "platform/WindowSchedule.h"

#include <cstdint>
#include <deque>
#include <map>

class THeadlessBackend final : public TPlatformBackend {
public:
  static THeadlessBackend& Instance();

  TWindowHandle OpenWindow(uintptr_t parent, int x, int y, int width, int height,
                           TWindowClient* client) override;
  void CloseWindow(TWindowHandle window) override;
  void MoveWindow(TWindowHandle window, int x, int y, int width, int height) override;
  uintptr_t NativeHandle(TWindowHandle window) const override;
  bool Post(TWindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  uintptr_t StartTimer(TWindowHandle window, uint32_t intervalMs) override;
  void StopTimer(TWindowHandle window, uintptr_t timerId) override;
  void RequestPaint(TWindowHandle window, const TRect& area) override;
  void Present(TWindowHandle window, const TBitmap32& picture, const TRect& source, int x,
               int y) override;
  void CapturePointer(TWindowHandle window) override;
  void ReleasePointer(TWindowHandle window) override;
  uint32_t DoubleClickTimeMs() const override { return FDoubleClickTime; }
  int DoubleClickDistance() const override { return FDoubleClickDistance; }
  // Delivers the messages queued before the call, in posting order; then fires every timer
  // tick that has fallen due by the clock (one per elapsed interval, at most
  // TWindowSchedule::kMaxCatchUp per timer and pump); then paints the windows that asked for it.
  void Pump() override;

  // The clock, in milliseconds; it starts at 0 and moves only here.
  uint64_t Now() const { return FNow; }
  void AdvanceClock(uint64_t ms) { FNow += ms; }
  // Advances the clock in steps of `stepMs` up to `ms`, pumping after every step.
  void Run(uint64_t ms, uint64_t stepMs = 10);

  void SetDoubleClick(uint32_t timeMs, int distance);
  // While set, OpenWindow fails as a window system would with an unusable parent.
  void SetOpenFails(bool fails) { FOpenFails = fails; }
  // Back to the defaults: clock 0, double click 500 ms and 2 pixels, windows open normally.
  // Open windows stay.
  void Reset();

  // Pointer events as the window system would deliver them, in client coordinates. They reach
  // the window's client at once. `shift` carries the modifier keys and the buttons held with
  // the event: a press holds its own button as well, a release no longer holds its own, a move
  // or a crossing into the window holds exactly what `shift` names.
  void InjectPress(TWindowHandle window, int x, int y, TMouseButton button = mbLeft,
                   TShiftState shift = {});
  void InjectRelease(TWindowHandle window, int x, int y, TMouseButton button = mbLeft,
                     TShiftState shift = {});
  void InjectMove(TWindowHandle window, int x, int y, TShiftState shift = {});
  void InjectEnter(TWindowHandle window, int x, int y, TShiftState shift = {});
  void InjectLeave(TWindowHandle window);
  // The window loses the pointer (another window took the capture): its capture goes.
  void InjectCaptureLost(TWindowHandle window);
  // The window system's word that `rect` (client coordinates) of the window lost its pixels
  // (they turn black), as after an uncovering; it reaches the window's client at once.
  void InjectExpose(TWindowHandle window, const TRect& rect);
  // Press and release at one point.
  void InjectClick(TWindowHandle window, int x, int y, TMouseButton button = mbLeft,
                   TShiftState shift = {});
  // Two press-release pairs at one point and one moment: the second press is a double click.
  void InjectDoubleClick(TWindowHandle window, int x, int y, TMouseButton button = mbLeft,
                         TShiftState shift = {});

  bool IsWindow(TWindowHandle window) const { return FWindows.count(window) != 0; }
  int WindowCount() const { return static_cast<int>(FWindows.size()); }
  // What the window shows: the pictures presented to it so far (black where nothing was).
  const TBitmap32& WindowPixels(TWindowHandle window) const;
  TRect WindowBounds(TWindowHandle window) const;
  uintptr_t WindowParent(TWindowHandle window) const;
  bool PointerCaptured(TWindowHandle window) const;
  // Block transfers to the window so far.
  int PresentCount(TWindowHandle window) const;
  // Whether the window has asked for a paint that the next pump serves.
  bool PaintRequested(TWindowHandle window) const { return FSchedule.PaintRequested(window); }
  int PendingMessages() const { return static_cast<int>(FMessages.size()); }
  int TimerCount() const { return FSchedule.TimerCount(); }

private:
  THeadlessBackend() = default;
  struct TWindow {
    TWindowClient* Client = nullptr;
    uintptr_t Parent = 0;
    TRect Bounds;
    TBitmap32 Pixels;
    bool Captured = false;
    int Presents = 0;
  };
  struct TQueued {
    TWindowHandle Window;
    uint32_t Msg;
    uintptr_t WParam;
    intptr_t LParam;
  };
  TWindow* Find(TWindowHandle window);
  const TWindow* Find(TWindowHandle window) const;
  void Deliver(TWindowHandle window, const TPointerEvent& event);

  std::map<TWindowHandle, TWindow> FWindows;
  std::deque<TQueued> FMessages;
  TWindowSchedule FSchedule;
  TWindowHandle FNextWindow = 1;
  uint64_t FNow = 0;
  uint32_t FDoubleClickTime = 500;
  int FDoubleClickDistance = 2;
  bool FOpenFails = false;
};
