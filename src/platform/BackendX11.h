// The X11 window backend of the Linux plug-in. Every window has a display connection of its
// own, so the editor never shares a connection (or its event queue) with the host. Nothing runs
// on its own: Pump(), called from the host's editor idle, serves the X events, the posted
// messages, the timers by the monotonic clock and the paints, without ever waiting.
//
// Pictures go to the server through a shared-memory segment (MIT-SHM, from libXext loaded at run
// time) when the server is on this machine and accepts the segment, else through XPutImage.
//
// X errors caused by our requests (a parent window id that is not a window, a window the host
// destroyed under us) are caught by an error handler installed around our own calls; the host's
// handler is put back before each call returns.
#pragma once

#include "platform/Backend.h"
#include "platform/WindowSchedule.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

class TX11Backend final : public TPlatformBackend {
public:
  static TX11Backend& Instance();

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
  // X grabs the pointer for the window while a button is held on it, so capture needs no
  // request of ours.
  void CapturePointer(TWindowHandle window) override;
  void ReleasePointer(TWindowHandle window) override;
  uint32_t DoubleClickTimeMs() const override { return FDoubleClickTime; }
  int DoubleClickDistance() const override { return FDoubleClickDistance; }
  // X events of every window first, then the messages queued before the call, then the timer
  // ticks due by the clock (one per elapsed interval, at most TWindowSchedule::kMaxCatchUp per
  // timer and pump), then the paints asked for.
  void Pump() override;
  // The window's own display connection.
  int EventDescriptor(TWindowHandle window) const override;

  int WindowCount() const { return static_cast<int>(FWindows.size()); }
  // Block transfers to the window so far, and whether they went through shared memory.
  int PresentCount(TWindowHandle window) const;
  bool PresentsThroughSharedMemory(TWindowHandle window) const;

private:
  TX11Backend() = default;
  struct TWindow;
  struct TQueued {
    TWindowHandle Window;
    uint32_t Msg;
    uintptr_t WParam;
    intptr_t LParam;
  };
  TWindow* Find(TWindowHandle window) const;
  static bool Viewable(const TWindow& w);
  void PumpEvents(TWindowHandle handle);

  std::map<TWindowHandle, std::unique_ptr<TWindow>> FWindows;
  std::deque<TQueued> FMessages;
  TWindowSchedule FSchedule;
  TWindowHandle FNextWindow = 1;
  uint32_t FDoubleClickTime = 400;
  int FDoubleClickDistance = 4;
};
