// The Win32 window backend of the Windows plug-in. The host's message loop drives it: posted
// messages, timer ticks, paints and the mouse arrive through the window procedure of a window
// class the library registers with its first window and unregisters with its last, so nothing
// of ours stays behind in the process once the host unloads the library. Pump() only serves
// messages already waiting for our windows, for hosts that drive the editor through its idle.
//
// This header stays free of <windows.h>: its macros (PostMessage among them) would clash with
// the component library's names.
#pragma once

#include "platform/Backend.h"

#include <cstdint>

class TWin32Backend final : public TPlatformBackend {
public:
  static TWin32Backend& Instance();

  TWindowHandle OpenWindow(uintptr_t parent, int x, int y, int width, int height,
                           TWindowClient* client) override;
  void CloseWindow(TWindowHandle window) override;
  void MoveWindow(TWindowHandle window, int x, int y, int width, int height) override;
  uintptr_t NativeHandle(TWindowHandle window) const override { return window; }
  bool Post(TWindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  uintptr_t StartTimer(TWindowHandle window, uint32_t intervalMs) override;
  void StopTimer(TWindowHandle window, uintptr_t timerId) override;
  void RequestPaint(TWindowHandle window, const TRect& area) override;
  void Present(TWindowHandle window, const TBitmap32& picture, const TRect& source, int x,
               int y) override;
  void CapturePointer(TWindowHandle window) override;
  void ReleasePointer(TWindowHandle window) override;
  uint32_t DoubleClickTimeMs() const override;
  int DoubleClickDistance() const override;
  void Pump() override;

  int WindowCount() const { return FWindows; }
  // Whether the window class is registered at the moment.
  bool ClassRegistered() const { return FClassAtom != 0; }

private:
  TWin32Backend() = default;
  int FWindows = 0;
  uint16_t FClassAtom = 0;
  uintptr_t FNextTimer = 1;
};
