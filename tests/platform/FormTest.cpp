// The form's timers, posted messages and painting on the headless backend's clock and pump.
#include "platform/Controls.h"
#include "platform/HeadlessBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kLinkMessage = 1985;

struct TPosted {
  uint32_t Msg;
  uintptr_t WParam;
  intptr_t LParam;
  friend bool operator==(const TPosted&, const TPosted&) = default;
};

// A form that records the posted messages it receives and posts one more on the first.
class TRecordingForm : public TForm {
public:
  using TForm::TForm;
  std::vector<TPosted> Received;
  bool RepostOnce = false;

protected:
  void WndProc(TMessage& m) override {
    if (m.Msg >= QM_USER) {
      Received.push_back(TPosted{m.Msg, m.WParam, m.LParam});
      if (RepostOnce) {
        RepostOnce = false;
        PostMessage(m.Msg + 1, 0, 0);
      }
      return;
    }
    TForm::WndProc(m);
  }
};

class FormTest : public ::testing::Test {
protected:
  void SetUp() override { Headless.Reset(); }
  void TearDown() override { Headless.Reset(); }
  THeadlessBackend& Headless = THeadlessBackend::Instance();
};

TEST_F(FormTest, ChildOfNativeParentIsBorderlessAtItsBounds) {
  TForm form(TNativeHandle{0x4242});
  form.SetBounds(0, 0, 1001, 579);
  ASSERT_TRUE(form.HandleAllocated());
  EXPECT_EQ(Headless.WindowParent(form.Handle()), 0x4242u);
  EXPECT_EQ(Headless.WindowBounds(form.Handle()), (TRect{0, 0, 1001, 579}));
  EXPECT_EQ(form.ClientWidth(), 1001);
  EXPECT_EQ(form.ClientHeight(), 579);
  EXPECT_EQ(form.BorderStyle(), bsNone);
}

TEST_F(FormTest, PostedMessagesArriveOnlyOnPumpInOrder) {
  TRecordingForm form(nullptr);
  form.RepostOnce = true;
  EXPECT_TRUE(form.PostMessage(kLinkMessage, 0x1234, -7));
  EXPECT_TRUE(form.PostMessage(kLinkMessage + 10, 1, 2));
  EXPECT_TRUE(form.Received.empty());
  Headless.Pump();
  EXPECT_EQ(form.Received,
            (std::vector<TPosted>{{kLinkMessage, 0x1234, -7}, {kLinkMessage + 10, 1, 2}}));
  // Posted while the pump delivered: waits for the next one.
  Headless.Pump();
  ASSERT_EQ(form.Received.size(), 3u);
  EXPECT_EQ(form.Received[2].Msg, kLinkMessage + 1);
}

TEST_F(FormTest, MessagesForAClosedWindowAreDropped) {
  auto form = std::make_unique<TRecordingForm>(nullptr);
  form->PostMessage(kLinkMessage, 1, 0);
  form.reset();
  EXPECT_EQ(Headless.PendingMessages(), 0);
  Headless.Pump(); // nothing to deliver, nothing to crash
}

TEST_F(FormTest, WithoutAWindowTheFormStaysInertAndSaysSo) {
  Headless.SetOpenFails(true);
  TRecordingForm form(TNativeHandle{0xBAD});
  EXPECT_FALSE(form.HandleAllocated());
  EXPECT_EQ(form.NativeHandle(), 0u);
  EXPECT_FALSE(form.PostMessage(kLinkMessage, 1, 0));
  auto* timer = new TTimer(&form);
  int ticks = 0;
  timer->OnTimer = [&](TObject*) { ++ticks; };
  timer->SetInterval(100);
  Headless.Run(1000);
  EXPECT_EQ(ticks, 0);
  EXPECT_TRUE(form.Received.empty());
}

TEST_F(FormTest, TimerTicksOncePerIntervalOfTheClock) {
  TForm form(nullptr);
  auto* timer = new TTimer(&form);
  int ticks = 0;
  timer->OnTimer = [&](TObject* sender) {
    EXPECT_EQ(sender, timer);
    ++ticks;
  };
  timer->SetInterval(100);
  Headless.AdvanceClock(99);
  Headless.Pump();
  EXPECT_EQ(ticks, 0);
  Headless.AdvanceClock(1);
  EXPECT_EQ(ticks, 0) << "ticks arrive from the pump only";
  Headless.Pump();
  EXPECT_EQ(ticks, 1);

  // True to the clock whether the pumps come faster or slower than the interval.
  struct Case {
    uint64_t Step;
    int Ticks;
  };
  for (const Case c : {Case{40, 10}, Case{66, 10}, Case{250, 10}, Case{1, 10}}) {
    ticks = 0;
    Headless.Run(1000, c.Step);
    EXPECT_EQ(ticks, c.Ticks) << "pumped every " << c.Step << " ms";
  }

  // A long stall catches up by a bounded burst, then the timer runs on from there.
  ticks = 0;
  Headless.AdvanceClock(60000);
  Headless.Pump();
  EXPECT_EQ(ticks, TWindowSchedule::kMaxCatchUp);
  ticks = 0;
  Headless.Run(1000, 50);
  EXPECT_EQ(ticks, 10);
}

TEST_F(FormTest, DisabledOrFreedTimersStop) {
  TForm form(nullptr);
  auto* timer = new TTimer(&form);
  int ticks = 0;
  timer->OnTimer = [&](TObject*) { ++ticks; };
  timer->SetInterval(100);
  timer->SetEnabled(false);
  Headless.Run(500);
  EXPECT_EQ(ticks, 0);
  timer->SetEnabled(true); // the interval runs from now
  Headless.Run(150);
  EXPECT_EQ(ticks, 1);
  delete timer;
  EXPECT_EQ(Headless.TimerCount(), 0);
  Headless.Run(500);
  EXPECT_EQ(ticks, 1);

  TTimer loose(nullptr); // no form among its owners: never runs
  loose.OnTimer = [&](TObject*) { ++ticks; };
  Headless.Run(2000);
  EXPECT_EQ(ticks, 1);
}

TEST_F(FormTest, InvalidationPaintsOnTheNextPumpInOneTransfer) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 40, 30);
  form.SetColor(clWhite);
  auto* panel = new TWinControl(&form);
  panel->SetParent(&form);
  panel->SetBounds(10, 10, 20, 10);
  panel->SetColor(clBlue);
  Headless.Pump();
  const TBitmap32& pixels = Headless.WindowPixels(form.Handle());
  EXPECT_EQ(Rgb24(pixels.At(0, 0)), ColorToPixel(clWhite));
  EXPECT_EQ(Rgb24(pixels.At(10, 10)), ColorToPixel(clBlue));
  EXPECT_EQ(Rgb24(pixels.At(29, 19)), ColorToPixel(clBlue));
  EXPECT_EQ(Rgb24(pixels.At(30, 19)), ColorToPixel(clWhite));

  const int presents = Headless.PresentCount(form.Handle());
  panel->SetColor(clLime);
  panel->Invalidate();
  EXPECT_EQ(Rgb24(pixels.At(15, 15)), ColorToPixel(clBlue)) << "painted before the pump";
  Headless.Pump();
  EXPECT_EQ(Rgb24(pixels.At(15, 15)), ColorToPixel(clLime));
  EXPECT_EQ(Headless.PresentCount(form.Handle()), presents + 1);
  Headless.Pump();
  EXPECT_EQ(Headless.PresentCount(form.Handle()), presents + 1) << "nothing pending";

  // On request the paint happens at once; moving the panel repaints what it uncovered.
  panel->SetLeft(0);
  form.Update();
  EXPECT_EQ(Rgb24(pixels.At(0, 15)), ColorToPixel(clLime));
  EXPECT_EQ(Rgb24(pixels.At(25, 15)), ColorToPixel(clWhite));
}

// A windowless control that changes, and so invalidates itself, while it paints: once, on the
// paint after it is armed.
class TChangingControl : public TControl {
public:
  using TControl::TControl;
  bool ChangeOnPaint = false;
  int Paints = 0;
  void Paint(TBitmap32& target, const TRect& dirty) override {
    ++Paints;
    const TRect r = dirty.Intersect(BoundsRect());
    for (int y = r.Top; y < r.Bottom; ++y)
      std::fill(target.Row(y) + r.Left, target.Row(y) + r.Right, ColorToPixel(FShows));
    if (ChangeOnPaint) {
      ChangeOnPaint = false;
      FShows = clRed;
      Invalidate();
    }
  }

private:
  TColor FShows = clLime;
};

// An expose is served by the paint it asks for: that paint validates what it paints and asks
// the window system for no other (a window system that answers a request with another expose,
// as Windows does, would otherwise keep the window painting). What the client invalidates while
// it paints still gets a paint of its own.
TEST_F(FormTest, AnExposeIsPaintedOnceAndAsksForNoFurtherPaint) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 40, 30);
  form.SetColor(clWhite);
  auto* panel = new TWinControl(&form);
  panel->SetParent(&form);
  panel->SetBounds(10, 10, 20, 10);
  panel->SetColor(clBlue);
  auto* control = new TChangingControl(&form);
  control->SetParent(panel);
  control->SetBounds(0, 0, 5, 5);
  Headless.Pump();
  const TWindowHandle w = form.Handle();
  ASSERT_FALSE(Headless.PaintRequested(w));
  const TBitmap32& pixels = Headless.WindowPixels(w);

  const int presents = Headless.PresentCount(w);
  Headless.InjectExpose(w, TRect{0, 0, 40, 30});
  EXPECT_EQ(Rgb24(pixels.At(0, 0)), ColorToPixel(clWhite)) << "the expose is painted at once";
  EXPECT_EQ(Rgb24(pixels.At(12, 12)), ColorToPixel(clLime));
  EXPECT_EQ(Rgb24(pixels.At(20, 15)), ColorToPixel(clBlue));
  EXPECT_FALSE(Headless.PaintRequested(w)) << "the expose's paint asked for another";
  const int exposed = Headless.PresentCount(w);
  EXPECT_LE(exposed - presents, 2) << "one transfer for the form, one for the panel";
  for (int i = 0; i < 3; ++i)
    Headless.Pump();
  EXPECT_EQ(Headless.PresentCount(w), exposed);

  // A part of the panel only; its control changes while it paints.
  control->ChangeOnPaint = true;
  const int paints = control->Paints;
  Headless.InjectExpose(w, TRect{10, 10, 13, 13});
  EXPECT_EQ(control->Paints, paints + 1);
  EXPECT_EQ(Rgb24(pixels.At(25, 15)), ColorToPixel(clBlue)) << "outside the expose";
  EXPECT_TRUE(Headless.PaintRequested(w)) << "the change made while painting waits for a paint";
  Headless.Pump();
  EXPECT_EQ(control->Paints, paints + 2);
  EXPECT_EQ(Rgb24(pixels.At(12, 12)), ColorToPixel(clRed));
  EXPECT_EQ(Rgb24(pixels.At(14, 14)), ColorToPixel(clRed));
  EXPECT_FALSE(Headless.PaintRequested(w));
}

// Under a windowed child that covers the whole form, only the child's picture reaches the
// screen: the form's own colour never shows there, not even for a moment.
TEST_F(FormTest, AFormCoveredByItsWindowedChildPresentsOnlyTheChild) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 40, 30);
  form.SetColor(clWhite);
  auto* panel = new TWinControl(&form);
  panel->SetParent(&form);
  panel->SetAlign(alClient);
  panel->SetColor(clBlue);
  Headless.Pump();
  const TWindowHandle w = form.Handle();
  const int presents = Headless.PresentCount(w);
  Headless.InjectExpose(w, TRect{0, 0, 40, 30});
  EXPECT_EQ(Headless.PresentCount(w), presents + 1);
  EXPECT_EQ(Rgb24(Headless.WindowPixels(w).At(0, 0)), ColorToPixel(clBlue));
  EXPECT_EQ(Rgb24(Headless.WindowPixels(w).At(39, 29)), ColorToPixel(clBlue));

  // Once the child goes, the form paints what it uncovered.
  panel->Hide();
  Headless.Pump();
  EXPECT_EQ(Rgb24(Headless.WindowPixels(w).At(20, 15)), ColorToPixel(clWhite));
}

TEST_F(FormTest, ClientAlignedAndAnchoredChildrenFollowTheirParent) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 100, 80);
  auto* panel = new TWinControl(&form);
  panel->SetParent(&form);
  panel->SetAlign(alClient);
  auto* rightBottom = new TControl(&form);
  rightBottom->SetParent(panel);
  rightBottom->SetBounds(70, 60, 20, 10);
  rightBottom->SetAnchors({akRight, akBottom});
  auto* stretched = new TControl(&form);
  stretched->SetParent(panel);
  stretched->SetBounds(10, 10, 50, 20);
  stretched->SetAnchors({akLeft, akTop, akRight});
  EXPECT_EQ(panel->BoundsRect(), (TRect{0, 0, 100, 80}));
  form.SetBounds(0, 0, 120, 90);
  EXPECT_EQ(panel->BoundsRect(), (TRect{0, 0, 120, 90}));
  EXPECT_EQ(rightBottom->BoundsRect(), (TRect{90, 70, 110, 80}));
  EXPECT_EQ(stretched->BoundsRect(), (TRect{10, 10, 80, 30}));
}

} // namespace
