// The editor window driven as a user drives it: the effect is linked in, the host's editor
// opcodes go through the record's dispatcher, and the window lives in the headless backend,
// where the test moves the clock, pumps and points.
#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "editor/uEditor.h"
#include "platform/HeadlessBackend.h"
#include "vst2/plugin/uPlugin.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

VstIntPtr VSTCALLBACK Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

constexpr int kTick = 100;
// Any number stands for the host's window in the headless backend.
void* const kParent = reinterpret_cast<void*>(uintptr_t{0x5150});

class EditorTest : public ::testing::Test {
protected:
  void SetUp() override { Start(); }
  void TearDown() override {
    if (Record) Stop();
  }
  // A new effect, as a host that loads the plug-in again; closes the previous one.
  void Start(audioMasterCallback host = Host) {
    if (Record) Stop();
    Headless.Reset();
    Record = CreateQuantaloop(host);
    ASSERT_NE(Record, nullptr);
    Effect = static_cast<APlugin*>(Record->object);
    Effect->Editor()->Headless = true;
  }
  // effClose frees the effect and with it any open window.
  void Stop() {
    Dispatch(effClose);
    Record = nullptr;
    Effect = nullptr;
    Window = nullptr;
    EXPECT_EQ(Headless.WindowCount(), 0);
  }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr) {
    return Record->dispatcher(Record, opcode, index, value, ptr, 0.0f);
  }
  // Opens the editor as a host does; the link message is still queued afterwards.
  TPluginEditorWindow* Open() {
    EXPECT_EQ(Dispatch(effEditOpen, 0, 0, kParent), 1);
    Window = Effect->EditorWindow();
    EXPECT_NE(Window, nullptr);
    return Window;
  }
  // Opens, delivers the link message and runs the first tick.
  TPluginEditorWindow* OpenLinked() {
    Open();
    Headless.Pump();
    Tick();
    return Window;
  }
  void Tick(int count = 1) {
    for (int i = 0; i < count; ++i) {
      Headless.AdvanceClock(kTick);
      Headless.Pump();
    }
  }
  TWindowHandle Handle() const { return Window->Handle(); }
  float Real(int32_t index) { return Effect->GetParameterReal(index); }
  void SetHost(int32_t index, float normalised) { Record->setParameter(Record, index, normalised); }

  THeadlessBackend& Headless = THeadlessBackend::Instance();
  AEffect* Record = nullptr;
  APlugin* Effect = nullptr;
  TPluginEditorWindow* Window = nullptr;
};

} // namespace

TEST_F(EditorTest, WindowHasItsLayoutAndStoredState) {
  Open();
  EXPECT_EQ(Window->Caption(), "Tessaly");
  EXPECT_EQ(Window->ClientWidth(), 1001);
  EXPECT_EQ(Window->ClientHeight(), 579);
  EXPECT_EQ(Headless.WindowBounds(Handle()), (TRect{0, 0, 1001, 579}));
  EXPECT_EQ(Headless.WindowParent(Handle()), reinterpret_cast<uintptr_t>(kParent));

  ERect* rect = nullptr;
  EXPECT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ((std::vector<int>{rect->top, rect->left, rect->bottom, rect->right}),
            (std::vector<int>{0, 0, 579, 1001}));

  struct TBox {
    TControl* Control;
    TRect Bounds;
  };
  const TBox boxes[] = {
      {Window->DIBBG, TRect::FromSize(0, 0, 1001, 579)},
      {Window->DIB_SignalPath, TRect::FromSize(0, 148, 1002, 160)},
      {Window->DIB_Error, TRect::FromSize(350, 220, 600, 344)},
      {Window->DIB_Dither, TRect::FromSize(414, 13, 226, 152)},
      {Window->Lb_Trunc, TRect::FromSize(784, 175, 117, 69)},
      {Window->Lb_OSR, TRect::FromSize(91, 176, 147, 89)},
      {Window->OrvaneLogo, TRect::FromSize(712, 20, 272, 106)},
  };
  for (const TBox& b : boxes)
    EXPECT_EQ(b.Control->BoundsRect(), b.Bounds) << b.Control->Name();
  // Back to front, as the layout stacks them.
  const std::vector<std::string> stacking = {"DIB_SignalPath", "DIB_Error", "DIB_Dither",
                                             "Lb_Trunc",       "Lb_OSR",    "Lb_Hint",
                                             "Lb_About",       "LbHeader",  "OrvaneLogo"};
  ASSERT_EQ(Window->DIBBG->ControlCount(), static_cast<int>(stacking.size()));
  for (size_t i = 0; i < stacking.size(); ++i)
    EXPECT_EQ(Window->DIBBG->Controls(static_cast<int>(i))->Name(), stacking[i]);

  // The hint line is one space wide when empty; the auto-sized labels keep their corner.
  EXPECT_EQ(Window->Lb_Hint->Left(), 19);
  EXPECT_EQ(Window->Lb_Hint->Top(), 524);
  EXPECT_LT(Window->Lb_Hint->Width(), 20);
  EXPECT_FALSE(Window->Lb_About->Caption().empty());
  EXPECT_LE(Window->Lb_About->BoundsRect().Right, 1001);

  EXPECT_EQ(Window->Lb_OSR->Caption(), "64");
  EXPECT_EQ(Window->Lb_OSR->Tag(), 0);
  EXPECT_EQ(Window->Lb_Trunc->Caption(), "16");
  EXPECT_EQ(Window->Lb_Trunc->Tag(), 16);
  EXPECT_EQ(Window->DIB_Dither->Opacity(), 255);
  EXPECT_EQ(Window->DIB_Error->Opacity(), 255);
  EXPECT_EQ(Window->OrvaneLogo->Opacity(), 100);
  EXPECT_EQ(Window->Lb_Hint->Caption(), "");
  EXPECT_EQ(Window->Effect(), nullptr);
}

// What the first linked tick shows for each starting point of the effect.
TEST_F(EditorTest, RefreshShowsTheEffectsValues) {
  struct TCase {
    const char* Name;
    int Program;                 // selected before the editor opens
    std::vector<float> HostSets; // normalised values of parameters 0..3, or empty
    const char* Osr;
    const char* Trunc;
    uint8_t Dither;
    uint8_t Error;
  };
  const TCase cases[] = {
      {"defaults", 0, {}, "1", "24", 50, 50},
      // Lb_OSR's stored Tag is already 0 while it shows "64": the link shows the value anyway.
      {"program 1 (all zero) in a new window", 1, {}, "0", "0", 50, 50},
      {"host values beyond the editor's limits",
       0,
       {100.0f / 128, 0.0f, 0.5f, 1.0f},
       "100",
       "0",
       255,
       255},
      {"halves go to even", 0, {36.5f / 128, 22.5f / 24, 0.0f, 0.5f}, "36", "22", 50, 255},
      {"37.5 and 37.6 both show 38", 0, {37.5f / 128, 0.5f, 1e-6f, 0.0f}, "38", "12", 255, 50},
      {"nearest integer", 0, {37.6f / 128, 0.5f}, "38", "12", 50, 50},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Start();
    Dispatch(effSetProgram, 0, c.Program);
    for (size_t i = 0; i < c.HostSets.size(); ++i)
      SetHost(static_cast<int32_t>(i), c.HostSets[i]);
    OpenLinked();
    EXPECT_EQ(Window->Lb_OSR->Caption(), c.Osr);
    EXPECT_EQ(Window->Lb_Trunc->Caption(), c.Trunc);
    EXPECT_EQ(Window->DIB_Dither->Opacity(), c.Dither);
    EXPECT_EQ(Window->DIB_Error->Opacity(), c.Error);
    EXPECT_FALSE(Effect->NeedsEditorUpdate.load());
  }

  // A program switch under an open window: the refresh applies no limits.
  Start();
  OpenLinked();
  ASSERT_EQ(Window->Lb_OSR->Caption(), "1");
  Dispatch(effSetProgram, 0, 1);
  Tick();
  EXPECT_EQ(Window->Lb_OSR->Caption(), "0");
  EXPECT_EQ(Window->Lb_Trunc->Caption(), "0");
  Dispatch(effSetProgram, 0, 0);
  Tick();
  EXPECT_EQ(Window->Lb_OSR->Caption(), "1");
  EXPECT_EQ(Window->Lb_Trunc->Caption(), "24");
}

TEST_F(EditorTest, NothingIsTouchedBeforeTheLinkArrives) {
  Open();
  const float before = Real(1);
  // Ticks run the logo but no refresh while the link is still queued... which only the pump
  // delivers, so tick the timer of this window directly.
  Window->UpdaterTimer(Window->Updater);
  EXPECT_EQ(Window->OrvaneLogo->Opacity(), 102);
  EXPECT_EQ(Window->Lb_OSR->Caption(), "64");

  // Upper half of Lb_Trunc, before the message is handled: the display moves, the effect not.
  Headless.InjectClick(Handle(), 784 + 50, 175 + 10);
  EXPECT_EQ(Window->Lb_Trunc->Caption(), "17");
  // Lb_OSR's Tag is 0 while it shows "64": a step either way shows "1".
  Headless.InjectClick(Handle(), 91 + 50, 176 + 80);
  EXPECT_EQ(Window->Lb_OSR->Caption(), "1");
  Headless.InjectClick(Handle(), 500, 60); // dither block
  EXPECT_EQ(Window->DIB_Dither->Opacity(), 50);
  EXPECT_EQ(Real(1), before);
  EXPECT_EQ(Real(2), 0.0f);
  EXPECT_EQ(Window->Effect(), nullptr);

  Headless.Pump();
  EXPECT_EQ(Window->Effect(), Effect);
}

// Presses and drags on the two numbers: window coordinates, the number shown afterwards and the
// value the effect then holds.
TEST_F(EditorTest, NumberGestures) {
  enum TStep { Press, Release, DragTo, MoveTo, DoubleClick };
  struct TGesture {
    TStep Step;
    int X, Y; // in the label's coordinates
    TMouseButton Button = mbLeft;
  };
  struct TCase {
    const char* Name;
    bool Osr;             // Lb_OSR, else Lb_Trunc
    float HostNormalised; // set before the gesture; negative leaves the defaults (1, 24)
    std::vector<TGesture> Gestures;
    const char* Shown;
    float Value;
  };
  const TCase cases[] = {
      {"osr press upper half", true, -1, {{Press, 10, 43}, {Release, 10, 43}}, "2", 2},
      {"osr press lower half at the limit", true, -1, {{Press, 10, 44}, {Release, 10, 44}}, "1", 1},
      {"trunc press lower half", false, -1, {{Press, 10, 34}, {Release, 10, 34}}, "23", 23},
      {"trunc press upper half at the limit",
       false,
       -1,
       {{Press, 10, 33}, {Release, 10, 33}},
       "24",
       24},
      {"trunc lower half at 1 stays 1", false, 1.0f / 24, {{Press, 5, 60}}, "1", 1},
      {"osr right button steps too", true, -1, {{Press, 10, 5, mbRight}}, "2", 2},
      {"osr drag up, two steps after the press held it at 1",
       true,
       -1,
       {{Press, 10, 60}, {DragTo, 10, 50}, {DragTo, 10, 20}, {Release, 10, 20}},
       "3",
       3},
      {"osr drag up beyond the label keeps the capture",
       true,
       -1,
       {{Press, 10, 10}, {DragTo, 10, -40}, {DragTo, 10, -150}, {Release, 10, -150}},
       "4",
       4},
      {"trunc drag down",
       false,
       -1,
       {{Press, 10, 10}, {DragTo, 10, 20}, {DragTo, 10, 200}, {Release, 10, 200}},
       "22",
       22},
      {"trunc drag sideways lowers",
       false,
       -1,
       {{Press, 10, 50}, {DragTo, 40, 50}, {DragTo, 80, 50}, {Release, 80, 50}},
       "21",
       21},
      {"a move without the button changes nothing", true, -1, {{MoveTo, 10, 5}}, "1", 1},
      {"osr double click on the upper half raises by two",
       true,
       -1,
       {{DoubleClick, 10, 10}},
       "3",
       3},
      {"osr from a host value of 100 a step up shows 64",
       true,
       100.0f / 128,
       {{Press, 10, 60}, {DragTo, 10, 10}},
       "64",
       64},
      {"osr from a host value of 100 a step down shows 64",
       true,
       100.0f / 128,
       {{Press, 10, 60}},
       "64",
       64},
      {"trunc from a host value of 0 a step down shows 1", false, 0.0f, {{Press, 10, 60}}, "1", 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Start();
    const int32_t index = c.Osr ? 0 : 1;
    if (c.HostNormalised >= 0) SetHost(index, c.HostNormalised);
    OpenLinked();
    TLabel* label = c.Osr ? Window->Lb_OSR : Window->Lb_Trunc;
    const int ox = label->Left(), oy = label->Top();
    for (const TGesture& g : c.Gestures) {
      switch (g.Step) {
      case Press:
        Headless.InjectPress(Handle(), ox + g.X, oy + g.Y, g.Button);
        break;
      case Release:
        Headless.InjectRelease(Handle(), ox + g.X, oy + g.Y, g.Button);
        break;
      case DragTo:
        Headless.InjectMove(Handle(), ox + g.X, oy + g.Y, {ssLeft});
        break;
      case MoveTo:
        Headless.InjectMove(Handle(), ox + g.X, oy + g.Y);
        break;
      case DoubleClick:
        Headless.InjectDoubleClick(Handle(), ox + g.X, oy + g.Y);
        break;
      }
    }
    EXPECT_EQ(label->Caption(), c.Shown);
    EXPECT_EQ(label->Tag(), std::stoi(c.Shown));
    EXPECT_EQ(Real(index), c.Value);
    // The tick after the gesture reads back what the window wrote: nothing changes.
    Tick();
    EXPECT_EQ(label->Caption(), c.Shown);
  }
}

// The release of a drag may go to another window (a host dialog took the pointer, the user
// switched tasks): the moves that follow say that no button is held, or the window is told it
// lost the pointer first. Either way the moves after it are no drag.
TEST_F(EditorTest, ALostReleaseEndsTheDrag) {
  struct TCase {
    const char* How;
    bool CaptureLost;
    TShiftState MovesHold;
  };
  const TCase cases[] = {
      {"moves that hold no button", false, {}},
      {"the capture lost, then moves with the button still down", true, {ssLeft}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.How);
    Start();
    OpenLinked();
    const int ox = Window->Lb_OSR->Left(), oy = Window->Lb_OSR->Top();
    Headless.InjectPress(Handle(), ox + 10, oy + 40);
    ASSERT_EQ(Real(0), 2.0f);
    if (c.CaptureLost) Headless.InjectCaptureLost(Handle());
    for (int y : {30, 20, 10})
      Headless.InjectMove(Handle(), ox + 10, oy + y, c.MovesHold);
    EXPECT_EQ(Real(0), 2.0f);
    EXPECT_EQ(Window->Lb_OSR->Caption(), "2");
    EXPECT_EQ(Window->Lb_Hint->Caption(), "Oversampler");
    // The next press starts a drag of its own.
    Headless.AdvanceClock(1000);
    Headless.InjectPress(Handle(), ox + 10, oy + 40);
    Headless.InjectMove(Handle(), ox + 10, oy + 30, {ssLeft});
    Headless.InjectRelease(Handle(), ox + 10, oy + 30);
    EXPECT_EQ(Real(0), 4.0f);
  }
}

TEST_F(EditorTest, SwitchGestures) {
  enum TStep { Click, DoubleClick, PressThenReleaseOutside };
  struct TCase {
    const char* Name;
    bool Dither; // DIB_Dither (parameter 2), else DIB_Error (parameter 3)
    std::vector<TStep> Steps;
    uint8_t Opacity;
    float Value;
  };
  const TCase cases[] = {
      {"dither click switches on", true, {Click}, 255, 1.0f},
      {"dither two clicks switch back off", true, {Click, Click}, 50, 0.0f},
      {"error click in the overlap with the signal path", false, {Click}, 255, 1.0f},
      {"a double click toggles once", true, {DoubleClick}, 255, 1.0f},
      {"a press released elsewhere is no click", false, {PressThenReleaseOutside}, 50, 0.0f},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Start();
    OpenLinked();
    TDIBImage* image = c.Dither ? Window->DIB_Dither : Window->DIB_Error;
    // Dither: above the signal path; error: where it overlaps the signal path.
    const TPoint at = c.Dither ? TPoint{500, 60} : TPoint{420, 260};
    for (TStep s : c.Steps) {
      switch (s) {
      case Click:
        Headless.InjectClick(Handle(), at.X, at.Y);
        break;
      case DoubleClick:
        Headless.InjectDoubleClick(Handle(), at.X, at.Y);
        break;
      case PressThenReleaseOutside:
        Headless.InjectPress(Handle(), at.X, at.Y);
        Headless.InjectRelease(Handle(), 5, 5);
        break;
      }
      Headless.AdvanceClock(1000); // separate clicks, not a double click
    }
    EXPECT_EQ(image->Opacity(), c.Opacity);
    EXPECT_EQ(Real(c.Dither ? 2 : 3), c.Value);
    Tick();
    EXPECT_EQ(image->Opacity(), c.Opacity);
  }
}

// Where overlapping controls meet, the front-most one takes the pointer; the hint tells which.
TEST_F(EditorTest, HintOfEveryArea) {
  struct TCase {
    const char* Area;
    TPoint At;
    const char* Hint; // after coming from the signal path
  };
  const TCase cases[] = {
      {"Lb_OSR over the signal path", {100, 200}, "Oversampler"},
      {"Lb_Trunc over the signal path", {800, 180}, "Truncation"},
      {"Lb_Trunc over the error block", {800, 240}, "Truncation"},
      {"dither block", {500, 40}, "Dither"},
      {"dither block over the signal path", {500, 160}, "Dither"},
      {"error block", {600, 500}, "Error Feedback"},
      {"error block over the signal path", {400, 300}, "Error Feedback"},
      {"signal path", {50, 280}, "Signal Path"},
      {"signal path's last column", {1000, 200}, "Signal Path"},
      {"credit line", {780, 562}, "Developer"},
      {"header keeps the hint", {100, 30}, "Signal Path"},
      {"logo keeps the hint", {800, 60}, "Signal Path"},
      {"hint line keeps the hint", {22, 530}, "Signal Path"},
      {"bare background clears it", {5, 5}, ""},
      {"background below the error block clears it", {300, 570}, ""},
  };
  Open();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Area);
    Headless.InjectMove(Handle(), 50, 280);
    ASSERT_EQ(Window->Lb_Hint->Caption(), "Signal Path");
    Headless.InjectMove(Handle(), c.At.X, c.At.Y);
    EXPECT_EQ(Window->Lb_Hint->Caption(), c.Hint);
  }
  // The hint line follows its text and shrinks back to one space's width.
  Headless.InjectMove(Handle(), 600, 500);
  const int wide = Window->Lb_Hint->Width();
  Headless.InjectMove(Handle(), 5, 5);
  EXPECT_LT(Window->Lb_Hint->Width(), wide);
  EXPECT_EQ(Window->Lb_Hint->Left(), 19);
  // A press on a number updates no hint.
  Headless.InjectPress(Handle(), 100, 200);
  EXPECT_EQ(Window->Lb_Hint->Caption(), "");
}

TEST_F(EditorTest, LogoPulse) {
  OpenLinked();
  // The first tick already ran: 102.
  std::vector<int> run{100};
  run.push_back(Window->OrvaneLogo->Opacity());
  for (int i = 2; i <= 2 * 156; ++i) {
    Tick();
    run.push_back(Window->OrvaneLogo->Opacity());
  }
  EXPECT_EQ(run[77], 254);
  EXPECT_EQ(run[78], 254); // holds one tick at the top
  EXPECT_EQ(run[79], 252);
  EXPECT_EQ(run[155], 100);
  EXPECT_EQ(run[156], 100); // and one at the bottom: a period of 156 ticks
  for (size_t i = 0; i + 156 < run.size(); ++i)
    ASSERT_EQ(run[i], run[i + 156]) << i;
  EXPECT_EQ(*std::min_element(run.begin(), run.end()), 100);
  EXPECT_EQ(*std::max_element(run.begin(), run.end()), 254);
}

TEST_F(EditorTest, LogoPress) {
  OpenLinked();
  struct TCase {
    uint8_t Before;
    uint8_t After;
  };
  for (const TCase c : {TCase{100, 255}, TCase{102, 100}, TCase{255, 100}, TCase{99, 100}}) {
    Window->OrvaneLogo->SetOpacity(c.Before);
    Window->OrvaneLogoMouseDown(Window->OrvaneLogo, mbLeft, {}, 0, 0);
    EXPECT_EQ(Window->OrvaneLogo->Opacity(), c.After) << int(c.Before);
  }

  // An odd value from a press runs 255 ... 99 and back within 99..255.
  Window->OrvaneLogo->SetOpacity(255);
  Window->Updater->SetTag(1);
  int low = 255, high = 0;
  for (int i = 0; i < 160; ++i) {
    Tick();
    low = std::min<int>(low, Window->OrvaneLogo->Opacity());
    high = std::max<int>(high, Window->OrvaneLogo->Opacity());
  }
  EXPECT_EQ(low, 99);
  EXPECT_EQ(high, 255);

  // As a user presses it: the pointer over the logo shows it highlighted at 255, so the press
  // finds 255 and sets 100; leaving puts back the opacity found on entering.
  Window->OrvaneLogo->SetOpacity(100);
  Headless.InjectMove(Handle(), 800, 60);
  EXPECT_EQ(Window->OrvaneLogo->Opacity(), 255);
  Headless.InjectClick(Handle(), 800, 60);
  EXPECT_EQ(Window->OrvaneLogo->Opacity(), 100);
  Headless.InjectMove(Handle(), 5, 5);
  EXPECT_EQ(Window->OrvaneLogo->Opacity(), 100);
}

// Hosts close the editor for real and open it again (a switch to their own parameter view).
// The new window shows what the effect holds, whatever happened while none was open, and its
// first gesture moves on from there.
TEST_F(EditorTest, ReopenedWindowShowsTheEffect) {
  OpenLinked();
  Headless.InjectClick(Handle(), 91 + 10, 176 + 10); // Oversampling 2
  Tick();                                            // reads back the window's own write
  ASSERT_EQ(Window->Lb_OSR->Caption(), "2");
  const TWindowHandle first = Handle();

  Dispatch(effEditClose);
  EXPECT_FALSE(Headless.IsWindow(first));
  EXPECT_EQ(Effect->Editor()->Form, nullptr);

  struct TCase {
    const char* Name;
    std::vector<float> HostSets; // normalised values of parameters 0..3 while closed
    const char* Osr;
    const char* Trunc;
    uint8_t Dither, Error;
  };
  const TCase cases[] = {
      {"nothing changed while closed", {}, "2", "24", 50, 50},
      {"the host moved the word length", {-1, 16.0f / 24}, "2", "16", 50, 50},
      {"the host switched both on", {-1, -1, 1.0f, 1.0f}, "2", "16", 255, 255},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    for (size_t i = 0; i < c.HostSets.size(); ++i)
      if (c.HostSets[i] >= 0) SetHost(static_cast<int32_t>(i), c.HostSets[i]);
    // The effect's flag may already be clear: the last window took it.
    Open();
    Headless.Pump(); // the link
    EXPECT_EQ(Window->Lb_OSR->Caption(), c.Osr);
    EXPECT_EQ(Window->Lb_Trunc->Caption(), c.Trunc);
    EXPECT_EQ(Window->DIB_Dither->Opacity(), c.Dither);
    EXPECT_EQ(Window->DIB_Error->Opacity(), c.Error);
    Tick();
    EXPECT_EQ(Window->Lb_OSR->Caption(), c.Osr);
    Dispatch(effEditClose);
  }

  // The first press on the upper half raises what is shown.
  OpenLinked();
  Headless.InjectClick(Handle(), 91 + 10, 176 + 10);
  EXPECT_EQ(Window->Lb_OSR->Caption(), "3");
  EXPECT_EQ(Real(0), 3.0f);

  // A program whose values are all 0, selected while no window is open, shows as 0 and 0.
  Dispatch(effEditClose);
  Dispatch(effSetProgram, 0, 1);
  OpenLinked();
  EXPECT_EQ(Window->Lb_OSR->Caption(), "0");
  EXPECT_EQ(Window->Lb_Trunc->Caption(), "0");
}

// A host's automation thread may store a value while the window reads the values back. The
// effect below makes such a store land between two of the window's reads.
class TRacingPlugin : public APlugin {
public:
  using APlugin::APlugin;
  float getParameter(VstInt32 index) override {
    if (Race && index == ppNoiseShaper) std::exchange(Race, nullptr)();
    return APlugin::getParameter(index);
  }
  std::function<void()> Race;
};

TEST_F(EditorTest, ChangeStoredDuringTheRefreshShowsAtTheNextTick) {
  Stop();
  auto* racing = new TRacingPlugin(Host);
  racing->InitializeTemplate();
  racing->Editor()->Headless = true;
  Record = racing->getAeffect();
  Effect = racing;
  OpenLinked();
  ASSERT_EQ(Window->Lb_OSR->Caption(), "1");

  racing->Race = [&] { SetHost(0, 10.0f / 128); };
  SetHost(1, 8.0f / 24);
  Tick(); // reads Oversampling before the store, the word length after it
  EXPECT_EQ(Window->Lb_Trunc->Caption(), "8");
  EXPECT_EQ(racing->Race, nullptr);
  Tick();
  EXPECT_EQ(Window->Lb_OSR->Caption(), "10");
}

// The error-feedback block is drawn on exactly when the modulator runs the feedback; the
// dither block whenever any dither is heard.
TEST_F(EditorTest, SwitchesShowWhatIsHeard) {
  // One block of a held input through the effect at the given switch values.
  auto heard = [&](float dither, float shaper) {
    Start();
    SetHost(1, 2.0f / 24);  // 2 bits: the feedback is plainly audible
    SetHost(0, 8.0f / 128); // 8 sub-samples
    SetHost(2, dither);
    SetHost(3, shaper);
    std::vector<float> in(64, 0.3f), out0(64), out1(64);
    float* ins[] = {in.data(), in.data()};
    float* outs[] = {out0.data(), out1.data()};
    Record->processReplacing(Record, ins, outs, 64);
    return out0;
  };
  const std::vector<float> feedbackOff = heard(0.0f, 0.0f);
  const std::vector<float> feedbackOn = heard(0.0f, 1.0f);
  ASSERT_NE(feedbackOff, feedbackOn);

  struct TCase {
    float Host;
    bool FeedbackShown, DitherShown;
  };
  const TCase cases[] = {{0.0f, false, false}, {0.3f, false, true}, {0.49f, false, true},
                         {0.5f, true, true},   {0.6f, true, true},  {1.0f, true, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Host);
    const std::vector<float> out = heard(0.0f, c.Host);
    ASSERT_TRUE(out == feedbackOn || out == feedbackOff);
    EXPECT_EQ(out == feedbackOn, c.FeedbackShown);
    SetHost(2, c.Host);
    OpenLinked();
    EXPECT_EQ(Window->DIB_Error->Opacity(), c.FeedbackShown ? 255 : 50);
    EXPECT_EQ(Window->DIB_Dither->Opacity(), c.DitherShown ? 255 : 50);
  }

  // The picture follows the state: a host value between the states draws as the state heard.
  auto picture = [&](float shaper) {
    Start();
    SetHost(3, shaper);
    OpenLinked();
    Window->Update();
    return Headless.WindowPixels(Handle()).Pixels;
  };
  EXPECT_TRUE(picture(0.3f) == picture(0.0f));
  EXPECT_TRUE(picture(0.6f) == picture(1.0f));
  EXPECT_FALSE(picture(0.0f) == picture(1.0f));
}

TEST_F(EditorTest, UnusableParentLeavesTheEditorClosed) {
  Headless.SetOpenFails(true);
  EXPECT_EQ(Dispatch(effEditOpen, 0, 0, kParent), 0);
  EXPECT_EQ(Effect->Editor()->Form, nullptr);
  EXPECT_EQ(Headless.WindowCount(), 0);
  Dispatch(effEditIdle);
  Dispatch(effEditClose);
  Headless.SetOpenFails(false);
  Open();
  EXPECT_EQ(Headless.WindowCount(), 1);
}

// What reaches the screen: the dither block's picture, faded when the switch is off.
TEST_F(EditorTest, RenderedWindowShowsTheArtwork) {
  OpenLinked();
  const TMemoryDIB* dither = Window->DIBImageList->Image(2);
  ASSERT_NE(dither, nullptr);
  // A drawn pixel of the block in a part that nothing else covers.
  TPoint inside{-1, -1};
  for (int y = 20; y < 130 && inside.X < 0; ++y)
    for (int x = 20; x < 200 && inside.X < 0; ++x)
      if (Rgb24(dither->Bitmap().At(x, y)) != 0xFFFFFF) inside = {x, y};
  ASSERT_GE(inside.X, 0);
  const int sx = 414 + inside.X, sy = 13 + inside.Y;

  auto screen = [&] {
    Window->Update();
    return Rgb24(Headless.WindowPixels(Handle()).At(sx, sy));
  };
  ASSERT_EQ(Window->DIB_Dither->Opacity(), 50);
  const uint32_t off = screen();
  Headless.InjectClick(Handle(), 500, 60);
  ASSERT_EQ(Window->DIB_Dither->Opacity(), 255);
  const uint32_t on = screen();
  EXPECT_EQ(on, Rgb24(dither->Bitmap().At(inside.X, inside.Y)));
  EXPECT_NE(on, off);
  // The bare background is white.
  EXPECT_EQ(Rgb24(Headless.WindowPixels(Handle()).At(5, 5)), 0xFFFFFFu);
}

// What a host that records touch automation hears of the user's gestures: every press on a
// number and every click on a block is one edit, begun before the first value and ended after
// the last, however the gesture ends.
TEST_F(EditorTest, GesturesReachTheHostAsEdits) {
  enum TAct {
    PressOsr,
    PressOsrRight,
    MoveOsr,
    MoveOsrWithout,
    ReleaseOsr,
    ReleaseOsrRight,
    ClickTrunc,
    ClickDither,
    CaptureLost,
    Close
  };
  struct TCase {
    const char* Name;
    std::vector<TAct> Acts;
    std::vector<std::string> Heard;
  };
  const TCase cases[] = {
      {"a drag",
       {PressOsr, MoveOsr, MoveOsr, ReleaseOsr},
       {"begin 0", "automate 0", "automate 0", "automate 0", "end 0"}},
      {"a click on a block", {ClickDither}, {"begin 2", "automate 2", "end 2"}},
      {"a drag ended by a lost capture",
       {PressOsr, MoveOsr, CaptureLost, MoveOsr, ReleaseOsr},
       {"begin 0", "automate 0", "automate 0", "end 0"}},
      {"a drag whose release went elsewhere",
       {PressOsr, MoveOsrWithout, MoveOsr},
       {"begin 0", "automate 0", "end 0"}},
      {"two controls in turn",
       {PressOsr, ReleaseOsr, ClickTrunc, ClickDither},
       {"begin 0", "automate 0", "end 0", "begin 1", "automate 1", "end 1", "begin 2", "automate 2",
        "end 2"}},
      {"a second button during the drag",
       {PressOsr, PressOsrRight, ReleaseOsrRight, MoveOsr, ReleaseOsr},
       {"begin 0", "automate 0", "automate 0", "automate 0", "end 0"}},
      {"the editor closed during the drag",
       {PressOsr, MoveOsr, Close},
       {"begin 0", "automate 0", "automate 0", "end 0"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    qltest::TRecordingHost host;
    Start(qltest::TRecordingHost::Callback());
    OpenLinked();
    host.Clear();
    const int ox = Window->Lb_OSR->Left() + 10, oy = Window->Lb_OSR->Top();
    int y = 40;
    for (TAct a : c.Acts) {
      switch (a) {
      case PressOsr:
        Headless.InjectPress(Handle(), ox, oy + y);
        break;
      case PressOsrRight:
        Headless.InjectPress(Handle(), ox, oy + y, mbRight, {ssLeft});
        break;
      case MoveOsr:
        Headless.InjectMove(Handle(), ox, oy + (y -= 5), {ssLeft});
        break;
      case MoveOsrWithout:
        Headless.InjectMove(Handle(), ox, oy + (y -= 5));
        break;
      case ReleaseOsr:
        Headless.InjectRelease(Handle(), ox, oy + y);
        break;
      case ReleaseOsrRight:
        Headless.InjectRelease(Handle(), ox, oy + y, mbRight, {ssLeft});
        break;
      case ClickTrunc:
        Headless.InjectClick(Handle(), 840, 185);
        break;
      case ClickDither:
        Headless.InjectClick(Handle(), 500, 60);
        break;
      case CaptureLost:
        Headless.InjectCaptureLost(Handle());
        break;
      case Close:
        Dispatch(effEditClose);
        break;
      }
      Headless.AdvanceClock(1000); // no double clicks
    }
    EXPECT_EQ(qltest::EditsIn(host.Requests()), c.Heard);
    Stop();
  }
}
