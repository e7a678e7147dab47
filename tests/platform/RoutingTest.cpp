// Pointer routing through a form on the headless backend: hit-testing, capture, enter and
// leave, clicks and double clicks.
#include "platform/Controls.h"
#include "platform/HeadlessBackend.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A windowless control that writes every message it receives into a shared log.
class TProbe : public TControl {
public:
  TProbe(TComponent* owner, TWinControl* parent, std::string name, TRect r,
         std::vector<std::string>* log)
      : TControl(owner), FLog(log) {
    SetName(std::move(name));
    SetBounds(r.Left, r.Top, r.Width(), r.Height());
    SetParent(parent);
    OnClick = [this](TObject*) { Add("click"); };
    OnMouseDown = [this](TObject*, TMouseButton b, TShiftState s, int x, int y) {
      Add("down" + Button(b) + Shift(s) + At(x, y));
    };
    OnMouseUp = [this](TObject*, TMouseButton b, TShiftState s, int x, int y) {
      Add("up" + Button(b) + Shift(s) + At(x, y));
    };
    OnMouseMove = [this](TObject*, TShiftState s, int x, int y) {
      Add("move" + Shift(s) + At(x, y));
    };
    OnMouseEnter = [this](TObject*) { Add("enter"); };
    OnMouseLeave = [this](TObject*) { Add("leave"); };
  }

private:
  static std::string Button(TMouseButton b) {
    return b == mbLeft ? " L" : b == mbRight ? " R" : " M";
  }
  static std::string Shift(TShiftState s) {
    std::string t;
    if (s.Contains(ssLeft)) t += "l";
    if (s.Contains(ssRight)) t += "r";
    if (s.Contains(ssShift)) t += "S";
    if (s.Contains(ssCtrl)) t += "C";
    if (s.Contains(ssDouble)) t += "D";
    if (!t.empty()) t.insert(t.begin(), ' ');
    return t;
  }
  static std::string At(int x, int y) {
    char text[32];
    std::snprintf(text, sizeof text, " %d,%d", x, y);
    return text;
  }
  void Add(const std::string& what) { FLog->push_back(Name() + " " + what); }
  std::vector<std::string>* FLog;
};

// A form with a windowed panel filling it and, on the panel, a back control and a front one
// overlapping its lower right part:
//   back  (10,10)-(60,60)
//   front (40,40)-(90,90)
class RoutingTest : public ::testing::Test {
protected:
  void SetUp() override {
    Headless.Reset();
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, 120, 100);
    Panel = new TWinControl(Form);
    Panel->SetName("panel");
    Panel->SetParent(Form);
    Panel->SetAlign(alClient);
    Back = new TProbe(Form, Panel, "back", TRect{10, 10, 60, 60}, &Log);
    Front = new TProbe(Form, Panel, "front", TRect{40, 40, 90, 90}, &Log);
    Panel->OnMouseEnter = [this](TObject*) { Log.push_back("panel enter"); };
    Panel->OnMouseLeave = [this](TObject*) { Log.push_back("panel leave"); };
    Window = Form->Handle();
  }
  void TearDown() override { delete Form; }

  std::vector<std::string> Take() { return std::exchange(Log, {}); }

  THeadlessBackend& Headless = THeadlessBackend::Instance();
  std::vector<std::string> Log;
  TForm* Form = nullptr;
  TWinControl* Panel = nullptr;
  TProbe* Back = nullptr;
  TProbe* Front = nullptr;
  TWindowHandle Window = 0;
};

TEST_F(RoutingTest, FrontMostControlWhoseRectangleHoldsThePointerIsHit) {
  struct Case {
    TPoint At;
    TControl* Expected;
  };
  const Case cases[] = {
      {{15, 15}, Back},  {{45, 45}, Front}, {{59, 59}, Front}, {{85, 85}, Front},
      {{60, 20}, Panel}, {{5, 5}, Panel},   {{89, 89}, Front}, {{90, 90}, Panel},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Form->FindControlAt(c.At), c.Expected) << c.At.X << "," << c.At.Y;
  }
  EXPECT_EQ(Panel->ControlAtPos({45, 45}), Front);
  EXPECT_EQ(Panel->ControlAtPos({5, 5}), nullptr);
  Front->Hide();
  EXPECT_EQ(Form->FindControlAt({45, 45}), Back);
  EXPECT_EQ(Form->FindControlAt({200, 5}), nullptr);
}

TEST_F(RoutingTest, EventsArriveInControlCoordinatesWithButtonsAndModifiers) {
  Headless.InjectMove(Window, 50, 50);
  Headless.InjectPress(Window, 50, 50, mbLeft, {ssShift});
  Headless.InjectRelease(Window, 50, 50, mbLeft, {ssShift});
  Headless.InjectPress(Window, 20, 30, mbRight, {ssCtrl});
  Headless.InjectRelease(Window, 20, 30, mbRight);
  const std::vector<std::string> expected = {
      "front enter", "front move 10,10",     "front down L lS 10,10",
      "front click", "front up L S 10,10",   "front leave",
      "back enter",  "back down R rC 10,20", "back up R 10,20",
  };
  EXPECT_EQ(Take(), expected);
}

TEST_F(RoutingTest, PressCapturesUntilReleaseAndEnterLeaveSettleAtTheRelease) {
  Headless.InjectMove(Window, 20, 20);
  Headless.InjectPress(Window, 20, 20);
  EXPECT_EQ(Form->CaptureControl(), Back);
  EXPECT_TRUE(Headless.PointerCaptured(Window));
  // Dragged over the front control and out of the window: still the back control's events,
  // in its coordinates, and no enter or leave while it holds the capture.
  Headless.InjectMove(Window, 50, 50, {ssLeft});
  Headless.InjectMove(Window, 150, -20, {ssLeft});
  Headless.InjectLeave(Window);
  Headless.InjectMove(Window, 45, 45, {ssLeft});
  Headless.InjectRelease(Window, 45, 45);
  EXPECT_EQ(Form->CaptureControl(), nullptr);
  EXPECT_FALSE(Headless.PointerCaptured(Window));
  // Released over the front control, which covers that point of the back one: no click.
  const std::vector<std::string> expected = {
      "back enter",        "back move 10,10",     "back down L l 10,10",
      "back move l 40,40", "back move l 140,-30", "back move l 35,35",
      "back up L 35,35",   "back leave",          "front enter",
  };
  EXPECT_EQ(Take(), expected);
}

// The buttons an event holds are the window system's word for them. When it says none of the
// drag's buttons is held, the release went to another window; when the window loses the
// pointer, it will go there. The drag ends then, without a click, and the pointer counts over
// what it is over: moves after it are no drag, even with the button still down.
TEST_F(RoutingTest, ALostReleaseEndsTheDragWithoutAClick) {
  enum TLoss { MoveHoldingNothing, PressWithNothingElseHeld, CaptureLost };
  struct TCase {
    const char* How;
    TLoss Loss;
    std::vector<std::string> Expected; // after the press on the back control
  };
  const TCase cases[] = {
      {"a move that holds no button",
       MoveHoldingNothing,
       {"back leave", "front enter", "front move 10,10", "front up L 10,10", "front leave",
        "back enter", "back move 10,10"}},
      {"a press with no other button held",
       PressWithNothingElseHeld,
       {"back leave", "front enter", "front down L l 10,10", "front click", "front up L 10,10",
        "front leave", "back enter", "back move 10,10"}},
      {"the window loses the pointer, then moves with the button held",
       CaptureLost,
       {"back leave", "front enter", "front move 10,10", "front up L 10,10", "front leave",
        "back enter", "back move 10,10"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.How);
    Headless.AdvanceClock(10000); // no double click across cases
    Headless.InjectMove(Window, 20, 20);
    Headless.InjectPress(Window, 20, 20);
    Take();
    switch (c.Loss) {
    case MoveHoldingNothing:
      Headless.InjectMove(Window, 50, 50);
      break;
    case PressWithNothingElseHeld:
      Headless.InjectPress(Window, 50, 50);
      break;
    case CaptureLost:
      Headless.InjectCaptureLost(Window);
      Headless.InjectMove(Window, 50, 50, {ssLeft});
      break;
    }
    EXPECT_FALSE(Back->MouseCapture());
    Headless.InjectRelease(Window, 50, 50);
    EXPECT_EQ(Form->CaptureControl(), nullptr);
    EXPECT_FALSE(Headless.PointerCaptured(Window));
    Headless.InjectMove(Window, 20, 20);
    EXPECT_EQ(Take(), c.Expected);
    Headless.InjectMove(Window, 5, 5);
    Take();
  }
}

// Crossing back into the window during a drag is no movement of it; outside a drag it is one.
TEST_F(RoutingTest, EnteringDuringADragIsNoMove) {
  Headless.InjectMove(Window, 20, 20);
  Headless.InjectPress(Window, 20, 20);
  Headless.InjectLeave(Window);
  Headless.InjectEnter(Window, 22, 22, {ssLeft});
  Headless.InjectMove(Window, 24, 24, {ssLeft});
  Headless.InjectRelease(Window, 24, 24);
  Headless.InjectLeave(Window);
  Headless.InjectEnter(Window, 45, 45);
  const std::vector<std::string> expected = {
      "back enter",        "back move 10,10", "back down L l 10,10",
      "back move l 14,14", "back click",      "back up L 14,14",
      "back leave",        "front enter",     "front move 5,5"};
  EXPECT_EQ(Take(), expected);
}

// Each form has its capture: a press held in one form neither takes nor blocks another's.
TEST_F(RoutingTest, EachFormHoldsItsOwnCapture) {
  TForm other(nullptr);
  other.SetBounds(0, 0, 50, 50);
  auto* probe = new TProbe(&other, &other, "other", TRect{0, 0, 40, 40}, &Log);
  Headless.InjectMove(Window, 20, 20);
  Headless.InjectPress(Window, 20, 20);
  Headless.InjectPress(other.Handle(), 10, 10);
  EXPECT_TRUE(Back->MouseCapture());
  EXPECT_TRUE(probe->MouseCapture());
  Headless.InjectMove(Window, 25, 25, {ssLeft});
  Headless.InjectRelease(other.Handle(), 10, 10);
  EXPECT_FALSE(probe->MouseCapture());
  EXPECT_TRUE(Back->MouseCapture());
  Headless.InjectRelease(Window, 25, 25);
  const std::vector<std::string> expected = {
      "back enter",           "back move 10,10",   "back down L l 10,10", "other enter",
      "other down L l 10,10", "back move l 15,15", "other click",         "other up L 10,10",
      "back click",           "back up L 15,15"};
  EXPECT_EQ(Take(), expected);
}

TEST_F(RoutingTest, EnterAndLeaveFollowMovementAcrossOverlaps) {
  Headless.InjectMove(Window, 5, 5);
  Headless.InjectMove(Window, 20, 20);
  Headless.InjectMove(Window, 21, 21);
  Headless.InjectMove(Window, 45, 45);
  Headless.InjectMove(Window, 100, 95);
  Headless.InjectLeave(Window);
  const std::vector<std::string> expected = {
      "panel enter",     "panel leave", "back enter",  "back move 10,10",
      "back move 11,11", "back leave",  "front enter", "front move 5,5",
      "front leave",     "panel enter", "panel leave",
  };
  EXPECT_EQ(Take(), expected);
}

TEST_F(RoutingTest, DoubleClickIsASecondPressWithinTimeAndDistanceAndNoClick) {
  struct Case {
    const char* What;
    uint64_t Gap;
    int Dx;
    TMouseButton Second;
    bool Double;
  };
  const Case cases[] = {
      {"immediate", 0, 0, mbLeft, true},      {"at the time limit", 500, 2, mbLeft, true},
      {"too late", 501, 0, mbLeft, false},    {"too far", 0, 3, mbLeft, false},
      {"other button", 0, 0, mbRight, false},
  };
  Headless.InjectMove(Window, 20, 20);
  Take();
  for (const Case& c : cases) {
    Headless.AdvanceClock(10000); // far from any earlier press
    Headless.InjectClick(Window, 20, 20);
    Headless.AdvanceClock(c.Gap);
    Headless.InjectPress(Window, 20 + c.Dx, 20, c.Second);
    Headless.InjectRelease(Window, 20 + c.Dx, 20, c.Second);
    const std::vector<std::string> log = Take();
    ASSERT_EQ(log.size(), c.Double || c.Second != mbLeft ? 5u : 6u) << c.What;
    EXPECT_EQ(log[3].find("D ") != std::string::npos, c.Double) << c.What << ": " << log[3];
    const bool secondClick = log.size() == 6 && log[4] == "back click";
    EXPECT_EQ(secondClick, !c.Double && c.Second == mbLeft) << c.What;
  }
  // A third quick press starts a new pair: it is no double click itself.
  Headless.AdvanceClock(10000);
  Headless.InjectDoubleClick(Window, 20, 20);
  Take();
  Headless.InjectClick(Window, 20, 20);
  const std::vector<std::string> third = {"back down L l 10,10", "back click", "back up L 10,10"};
  EXPECT_EQ(Take(), third);
}

TEST_F(RoutingTest, RemovedControlIsForgottenMidGesture) {
  Headless.InjectMove(Window, 50, 50);
  Headless.InjectPress(Window, 50, 50);
  delete Front;
  EXPECT_EQ(Form->CaptureControl(), nullptr);
  Headless.InjectMove(Window, 20, 20, {ssLeft});
  Headless.InjectRelease(Window, 20, 20);
  const std::vector<std::string> expected = {"front enter",          "front move 10,10",
                                             "front down L l 10,10", "back enter",
                                             "back move l 10,10",    "back up L 10,10"};
  EXPECT_EQ(Take(), expected);
}

TEST(FocusTest, FocusMovesWithEnterAndExit) {
  TForm form(nullptr);
  auto* a = new TControl(&form);
  auto* b = new TControl(&form);
  a->SetParent(&form);
  b->SetParent(&form);
  std::vector<std::string> log;
  a->OnEnter = [&](TObject*) { log.push_back("a enter"); };
  a->OnExit = [&](TObject*) { log.push_back("a exit"); };
  b->OnEnter = [&](TObject*) { log.push_back("b enter"); };
  a->SetFocus();
  a->SetFocus();
  EXPECT_TRUE(a->Focused());
  b->SetFocus();
  EXPECT_FALSE(a->Focused());
  EXPECT_TRUE(b->Focused());
  EXPECT_EQ(log, (std::vector<std::string>{"a enter", "a exit", "b enter"}));
}

TEST(ComponentTest, OwnerFreesItsComponentsLastFirstAndNotifies) {
  std::vector<std::string> freed;
  struct TTracked : TComponent {
    TTracked(TComponent* owner, std::string n, std::vector<std::string>* log)
        : TComponent(owner), Log(log) {
      SetName(std::move(n));
    }
    ~TTracked() override { Log->push_back(Name()); }
    std::vector<std::string>* Log;
  };
  struct TWatcher : TComponent {
    using TComponent::TComponent;
    TComponent* Gone = nullptr;
    void Notification(TComponent* c, TOperation op) override {
      if (op == opRemove) Gone = c;
    }
  };
  TWatcher watcher(nullptr);
  {
    auto* owner = new TTracked(nullptr, "owner", &freed);
    auto* first = new TTracked(owner, "first", &freed);
    new TTracked(owner, "second", &freed);
    new TTracked(first, "grandchild", &freed);
    first->FreeNotification(&watcher);
    EXPECT_EQ(owner->FindComponent("second")->Name(), "second");
    EXPECT_EQ(owner->ComponentCount(), 2);
    delete owner;
    EXPECT_EQ(watcher.Gone, first);
  }
  EXPECT_EQ(freed, (std::vector<std::string>{"owner", "second", "first", "grandchild"}));
}

} // namespace
