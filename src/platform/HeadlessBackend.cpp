#include "platform/HeadlessBackend.h"

#include <algorithm>
#include <vector>

THeadlessBackend& THeadlessBackend::Instance() {
  static THeadlessBackend backend;
  return backend;
}

TPlatformBackend& HeadlessPlatformBackend() {
  return THeadlessBackend::Instance();
}

THeadlessBackend::TWindow* THeadlessBackend::Find(TWindowHandle window) {
  auto it = FWindows.find(window);
  return it == FWindows.end() ? nullptr : &it->second;
}

const THeadlessBackend::TWindow* THeadlessBackend::Find(TWindowHandle window) const {
  auto it = FWindows.find(window);
  return it == FWindows.end() ? nullptr : &it->second;
}

TWindowHandle THeadlessBackend::OpenWindow(uintptr_t parent, int x, int y, int width, int height,
                                           TWindowClient* client) {
  if (FOpenFails || !client) return 0;
  const TWindowHandle handle = FNextWindow++;
  TWindow& w = FWindows[handle];
  w.Client = client;
  w.Parent = parent;
  w.Bounds = TRect::FromSize(x, y, std::max(width, 0), std::max(height, 0));
  w.Pixels.SetSize(w.Bounds.Width(), w.Bounds.Height());
  return handle;
}

void THeadlessBackend::CloseWindow(TWindowHandle window) {
  FWindows.erase(window);
  std::erase_if(FMessages, [window](const TQueued& q) { return q.Window == window; });
  FSchedule.RemoveWindow(window);
}

void THeadlessBackend::MoveWindow(TWindowHandle window, int x, int y, int width, int height) {
  TWindow* w = Find(window);
  if (!w) return;
  const TRect bounds = TRect::FromSize(x, y, std::max(width, 0), std::max(height, 0));
  if (bounds.Width() != w->Bounds.Width() || bounds.Height() != w->Bounds.Height())
    w->Pixels.SetSize(bounds.Width(), bounds.Height());
  w->Bounds = bounds;
}

uintptr_t THeadlessBackend::NativeHandle(TWindowHandle window) const {
  return Find(window) ? window : 0;
}

bool THeadlessBackend::Post(TWindowHandle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (!Find(window)) return false;
  FMessages.push_back(TQueued{window, msg, wParam, lParam});
  return true;
}

uintptr_t THeadlessBackend::StartTimer(TWindowHandle window, uint32_t intervalMs) {
  return Find(window) ? FSchedule.StartTimer(window, intervalMs, FNow) : 0;
}

void THeadlessBackend::StopTimer(TWindowHandle window, uintptr_t timerId) {
  FSchedule.StopTimer(window, timerId);
}

void THeadlessBackend::RequestPaint(TWindowHandle window, const TRect&) {
  if (Find(window)) FSchedule.RequestPaint(window);
}

void THeadlessBackend::Present(TWindowHandle window, const TBitmap32& picture, const TRect& source,
                               int x, int y) {
  TWindow* w = Find(window);
  if (!w) return;
  ++w->Presents;
  const TTransferArea area = ClipTransfer(picture, source, x, y, w->Pixels.Width, w->Pixels.Height);
  const TRect& src = area.Source;
  for (int row = src.Top; row < src.Bottom; ++row)
    std::copy(picture.Row(row) + src.Left, picture.Row(row) + src.Right,
              w->Pixels.Row(area.Y + row - src.Top) + area.X);
}

void THeadlessBackend::CapturePointer(TWindowHandle window) {
  if (TWindow* w = Find(window)) w->Captured = true;
}

void THeadlessBackend::ReleasePointer(TWindowHandle window) {
  if (TWindow* w = Find(window)) w->Captured = false;
}

void THeadlessBackend::Pump() {
  // Messages posted while these are delivered wait for the next pump.
  std::deque<TQueued> due;
  due.swap(FMessages);
  for (const TQueued& q : due)
    if (TWindow* w = Find(q.Window)) w->Client->HandlePosted(q.Msg, q.WParam, q.LParam);

  FSchedule.FireTimers(FNow, [this](TWindowHandle window, uintptr_t id) {
    if (TWindow* w = Find(window)) w->Client->HandleTimer(id);
  });
  FSchedule.ServePaints([this](TWindowHandle window) {
    if (TWindow* w = Find(window)) w->Client->HandlePaint(TRect{});
  });
}

void THeadlessBackend::Run(uint64_t ms, uint64_t stepMs) {
  if (stepMs == 0) stepMs = 1;
  for (uint64_t done = 0; done < ms;) {
    const uint64_t step = std::min(stepMs, ms - done);
    AdvanceClock(step);
    done += step;
    Pump();
  }
}

void THeadlessBackend::SetDoubleClick(uint32_t timeMs, int distance) {
  FDoubleClickTime = timeMs;
  FDoubleClickDistance = distance;
}

void THeadlessBackend::Reset() {
  FNow = 0;
  FDoubleClickTime = 500;
  FDoubleClickDistance = 2;
  FOpenFails = false;
}

void THeadlessBackend::Deliver(TWindowHandle window, const TPointerEvent& event) {
  if (TWindow* w = Find(window)) w->Client->HandlePointer(event);
}

void THeadlessBackend::InjectPress(TWindowHandle window, int x, int y, TMouseButton button,
                                   TShiftState shift) {
  Deliver(window, TPointerEvent{TPointerKind::Press, button, shift.With(ButtonShift(button)), x, y,
                                FNow, false});
}

void THeadlessBackend::InjectRelease(TWindowHandle window, int x, int y, TMouseButton button,
                                     TShiftState shift) {
  Deliver(window, TPointerEvent{TPointerKind::Release, button, shift.Without(ButtonShift(button)),
                                x, y, FNow, false});
}

void THeadlessBackend::InjectMove(TWindowHandle window, int x, int y, TShiftState shift) {
  Deliver(window, TPointerEvent{TPointerKind::Move, mbLeft, shift, x, y, FNow, false});
}

void THeadlessBackend::InjectEnter(TWindowHandle window, int x, int y, TShiftState shift) {
  Deliver(window, TPointerEvent{TPointerKind::Enter, mbLeft, shift, x, y, FNow, false});
}

void THeadlessBackend::InjectLeave(TWindowHandle window) {
  Deliver(window, TPointerEvent{TPointerKind::Leave, mbLeft, {}, 0, 0, FNow, false});
}

void THeadlessBackend::InjectCaptureLost(TWindowHandle window) {
  if (TWindow* w = Find(window)) w->Captured = false;
  Deliver(window, TPointerEvent{TPointerKind::CaptureLost, mbLeft, {}, 0, 0, FNow, false});
}

void THeadlessBackend::InjectExpose(TWindowHandle window, const TRect& rect) {
  TWindow* w = Find(window);
  if (!w) return;
  const TRect lost = rect.Intersect(TRect{0, 0, w->Pixels.Width, w->Pixels.Height});
  for (int row = lost.Top; row < lost.Bottom; ++row)
    std::fill(w->Pixels.Row(row) + lost.Left, w->Pixels.Row(row) + lost.Right, 0u);
  w->Client->HandlePaint(rect);
}

void THeadlessBackend::InjectClick(TWindowHandle window, int x, int y, TMouseButton button,
                                   TShiftState shift) {
  InjectPress(window, x, y, button, shift);
  InjectRelease(window, x, y, button, shift);
}

void THeadlessBackend::InjectDoubleClick(TWindowHandle window, int x, int y, TMouseButton button,
                                         TShiftState shift) {
  InjectClick(window, x, y, button, shift);
  InjectClick(window, x, y, button, shift);
}

const TBitmap32& THeadlessBackend::WindowPixels(TWindowHandle window) const {
  static const TBitmap32 none;
  const TWindow* w = Find(window);
  return w ? w->Pixels : none;
}

TRect THeadlessBackend::WindowBounds(TWindowHandle window) const {
  const TWindow* w = Find(window);
  return w ? w->Bounds : TRect{};
}

uintptr_t THeadlessBackend::WindowParent(TWindowHandle window) const {
  const TWindow* w = Find(window);
  return w ? w->Parent : 0;
}

bool THeadlessBackend::PointerCaptured(TWindowHandle window) const {
  const TWindow* w = Find(window);
  return w && w->Captured;
}

int THeadlessBackend::PresentCount(TWindowHandle window) const {
  const TWindow* w = Find(window);
  return w ? w->Presents : 0;
}
