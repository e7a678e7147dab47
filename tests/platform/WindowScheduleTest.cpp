// The timers, paint requests and transfer clipping that the headless and the X11 backend share,
// driven with a clock the test moves.
#include "platform/WindowSchedule.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// Ticks of one 100 ms timer started at 0, for pumps at the given times.
TEST(WindowSchedule, TicksStayOnTheClocksGridAtAnyPumpRate) {
  struct TCase {
    const char* Name;
    std::vector<std::pair<uint64_t, int>> Pumps; // time, ticks fired by that pump
  };
  const TCase cases[] = {
      {"faster than the interval", {{40, 0}, {80, 0}, {99, 0}, {100, 1}, {140, 0}, {200, 1}}},
      {"slower: the missed ticks, then on the grid", {{250, 2}, {300, 1}, {390, 0}, {400, 1}}},
      {"stalled: ten ticks, then afresh from now", {{1550, 10}, {1600, 0}, {1649, 0}, {1650, 1}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TWindowSchedule schedule;
    const uintptr_t id = schedule.StartTimer(7, 100, 0);
    ASSERT_NE(id, 0u);
    for (auto [now, expected] : c.Pumps) {
      int ticks = 0;
      schedule.FireTimers(now, [&](TWindowHandle window, uintptr_t timer) {
        EXPECT_EQ(window, 7u);
        EXPECT_EQ(timer, id);
        ++ticks;
      });
      EXPECT_EQ(ticks, expected) << "pump at " << now;
    }
  }
}

TEST(WindowSchedule, TimersStopFromTicksAndGoWithTheirWindow) {
  TWindowSchedule schedule;
  EXPECT_EQ(schedule.StartTimer(1, 0, 0), 0u);
  const uintptr_t a = schedule.StartTimer(1, 100, 0);
  const uintptr_t b = schedule.StartTimer(1, 100, 0);
  const uintptr_t other = schedule.StartTimer(2, 100, 0);
  schedule.StopTimer(2, a); // not window 2's timer
  EXPECT_EQ(schedule.TimerCount(), 3);

  // Far behind: a's first tick stops a and b, so neither fires again.
  std::vector<uintptr_t> fired;
  schedule.FireTimers(500, [&](TWindowHandle window, uintptr_t id) {
    fired.push_back(id);
    if (id == a) {
      schedule.StopTimer(window, a);
      schedule.StopTimer(window, b);
    }
  });
  EXPECT_EQ(fired, (std::vector<uintptr_t>{a, other, other, other, other, other}));

  schedule.RequestPaint(2);
  schedule.RemoveWindow(2);
  EXPECT_EQ(schedule.TimerCount(), 0);
  int paints = 0;
  schedule.ServePaints([&](TWindowHandle) { ++paints; });
  EXPECT_EQ(paints, 0);
}

TEST(WindowSchedule, PaintsOncePerRequestInWindowOrder) {
  TWindowSchedule schedule;
  for (TWindowHandle w : {3u, 1u, 3u, 2u})
    schedule.RequestPaint(w);
  std::vector<TWindowHandle> painted;
  schedule.ServePaints([&](TWindowHandle w) {
    painted.push_back(w);
    schedule.RequestPaint(w); // from its own paint: the next call
  });
  EXPECT_EQ(painted, (std::vector<TWindowHandle>{1, 2, 3}));
  painted.clear();
  schedule.ServePaints([&](TWindowHandle w) { painted.push_back(w); });
  EXPECT_EQ(painted, (std::vector<TWindowHandle>{1, 2, 3}));
  painted.clear();
  schedule.ServePaints([&](TWindowHandle w) { painted.push_back(w); });
  EXPECT_TRUE(painted.empty());
}

// A 40 x 30 picture into a 100 x 50 window.
TEST(WindowSchedule, TransferIsClippedToPictureAndWindow) {
  const TBitmap32 picture(40, 30);
  struct TCase {
    const char* Name;
    TRect Source;
    int X, Y;
    TRect Shown;
    int ShownX, ShownY;
  };
  const TCase cases[] = {
      {"inside both", {5, 5, 15, 10}, 20, 30, {5, 5, 15, 10}, 20, 30},
      {"source beyond the picture", {-10, -5, 50, 40}, 0, 0, {0, 0, 40, 30}, 10, 5},
      {"past the window's corner", {0, 0, 40, 30}, 90, 40, {0, 0, 10, 10}, 90, 40},
      {"left of and above the window", {0, 0, 40, 30}, -35, -25, {35, 25, 40, 30}, 0, 0},
      {"nowhere in the window", {0, 0, 40, 30}, 100, 0, {}, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TTransferArea area = ClipTransfer(picture, c.Source, c.X, c.Y, 100, 50);
    EXPECT_EQ(area.Source, c.Shown);
    if (!c.Shown.IsEmpty()) {
      EXPECT_EQ(area.X, c.ShownX);
      EXPECT_EQ(area.Y, c.ShownY);
    }
  }
}

} // namespace
