#include "platform/WindowSchedule.h"

#include <vector>

TTransferArea ClipTransfer(const TBitmap32& picture, const TRect& source, int x, int y,
                           int windowWidth, int windowHeight) {
  TRect src = source.Intersect(TRect{0, 0, picture.Width, picture.Height});
  // The destination of src.Left is x + (src.Left - source.Left).
  const int dx = x - source.Left;
  const int dy = y - source.Top;
  src = src.Intersect(TRect{0, 0, windowWidth, windowHeight}.Offset(-dx, -dy));
  return TTransferArea{src, src.Left + dx, src.Top + dy};
}

uintptr_t TWindowSchedule::StartTimer(TWindowHandle window, uint32_t intervalMs, uint64_t now) {
  if (intervalMs == 0) return 0;
  const uintptr_t id = FNextTimer++;
  FTimers[id] = TTimer{window, intervalMs, now + intervalMs};
  return id;
}

void TWindowSchedule::StopTimer(TWindowHandle window, uintptr_t timerId) {
  auto it = FTimers.find(timerId);
  if (it != FTimers.end() && it->second.Window == window) FTimers.erase(it);
}

void TWindowSchedule::RequestPaint(TWindowHandle window) {
  FPaints.insert(window);
}

void TWindowSchedule::RemoveWindow(TWindowHandle window) {
  std::erase_if(FTimers, [window](const auto& t) { return t.second.Window == window; });
  FPaints.erase(window);
}

void TWindowSchedule::FireTimers(uint64_t now,
                                 const std::function<void(TWindowHandle, uintptr_t)>& tick) {
  std::vector<uintptr_t> ids;
  for (const auto& [id, timer] : FTimers)
    ids.push_back(id);
  for (uintptr_t id : ids) {
    for (int n = 0; n < kMaxCatchUp; ++n) {
      auto it = FTimers.find(id);
      if (it == FTimers.end() || it->second.Due > now) break;
      it->second.Due += it->second.Interval;
      tick(it->second.Window, id);
    }
    auto it = FTimers.find(id);
    if (it != FTimers.end() && it->second.Due <= now) it->second.Due = now + it->second.Interval;
  }
}

void TWindowSchedule::ServePaints(const std::function<void(TWindowHandle)>& paint) {
  for (auto it = FPaints.begin(); it != FPaints.end();) {
    const TWindowHandle window = *it;
    FPaints.erase(it);
    paint(window);
    it = FPaints.upper_bound(window);
  }
}
