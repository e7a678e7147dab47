// The plug-in's editor in a real X server: a host window of ours, effEditOpen with its window
// id, effEditIdle every 40 ms, pointer events from XTest, parameters read back as a host does.
// What the window shows is compared, pixel for pixel, with a second instance of the plug-in whose
// editor lives in the library's headless backend and is given the same pointer events.
#include <gtest/gtest.h>
// After GoogleTest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PluginLibrary.h"
#include "ProcessResources.h"
#include "RecordingHost.h"
#include "TestPaths.h"
#include "editor/EditorDrive.h"
#include "vst2/interface/DAEffectX.h"

namespace {

constexpr int kWidth = 1001;
constexpr int kHeight = 579;
constexpr int kTickMs = 100;

VstIntPtr VSTCALLBACK Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

using TPicture = std::vector<uint32_t>; // 0x00RRGGBB, top row first

// Binary PPM, for a person to look at when the pictures differ.
void WritePpm(const std::string& path, const TPicture& picture) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
  for (uint32_t p : picture) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                  static_cast<unsigned char>(p >> 8),
                                  static_cast<unsigned char>(p)};
    std::fwrite(rgb, 1, 3, f);
  }
  std::fclose(f);
}

using qltest::OpenFileCount;
using qltest::OwnSharedMemorySegments;

long Differences(const TPicture& a, const TPicture& b) {
  long n = 0;
  for (size_t i = 0; i < a.size(); ++i)
    n += a[i] != b[i];
  return n;
}

// The plain path (XPutImage) or shared memory where the server offers it; the backend reads the
// variable when it opens a window.
class X11Editor : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY") || !(FDisplay = XOpenDisplay(nullptr)))
      GTEST_SKIP() << "no X display";
    if (GetParam())
      setenv("QL_X11_NO_SHM", "1", 1);
    else
      unsetenv("QL_X11_NO_SHM");
    FLibrary = std::make_unique<qltest::TPluginLibrary>(qltest::PluginPath());
    ASSERT_TRUE(FLibrary->Loaded());
    auto entry = FLibrary->Entry("main");
    ASSERT_NE(entry, nullptr);
    FEffect = entry(Host);
    FMirror = entry(Host);
    ASSERT_NE(FEffect, nullptr);
    ASSERT_NE(FMirror, nullptr);
    Dispatch(FEffect, effOpen);
    Dispatch(FMirror, effOpen);
    // The pointer starts off the window, so no crossing into it shows a hint by chance.
    const int screen = DefaultScreen(FDisplay);
    ASSERT_GT(DisplayWidth(FDisplay, screen), kWidth);
    XTestFakeMotionEvent(FDisplay, screen, DisplayWidth(FDisplay, screen) - 1,
                         DisplayHeight(FDisplay, screen) - 1, CurrentTime);
    FHostWindow = XCreateSimpleWindow(FDisplay, DefaultRootWindow(FDisplay), 0, 0, kWidth, kHeight,
                                      0, 0, BlackPixel(FDisplay, screen));
    XMapWindow(FDisplay, FHostWindow);
    XSync(FDisplay, False);
  }
  void TearDown() override {
    for (AEffect* e : {FEffect, FMirror})
      if (e) Dispatch(e, effClose);
    if (FDisplay) {
      if (FHostWindow) XDestroyWindow(FDisplay, FHostWindow);
      XCloseDisplay(FDisplay);
    }
    FLibrary.reset();
    unsetenv("QL_X11_NO_SHM");
  }
  static VstIntPtr Dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, void* ptr = nullptr) {
    return e->dispatcher(e, opcode, index, 0, ptr, 0.0f);
  }
  VstIntPtr Dispatch(VstInt32 opcode, void* ptr = nullptr) {
    return Dispatch(FEffect, opcode, 0, ptr);
  }
  VstIntPtr Drive(TEditorDrive drive) {
    return Dispatch(FMirror, effVendorSpecific, kEditorDriveIndex, &drive);
  }

  // Opens the editor in the host window, and the mirror's in the headless backend.
  void OpenBoth() {
    FOpened = std::chrono::steady_clock::now();
    ASSERT_EQ(Dispatch(effEditOpen, reinterpret_cast<void*>(FHostWindow)), 1);
    ASSERT_EQ(Drive({.Command = edcUseHeadless, .Value = 1}), 1);
    ASSERT_EQ(Dispatch(FMirror, effEditOpen, 0, reinterpret_cast<void*>(uintptr_t{0x5150})), 1);
    ASSERT_EQ(Drive({.Command = edcUseHeadless, .Value = 0}), 1);
    Dispatch(FMirror, effEditIdle); // the link message
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(FDisplay, FHostWindow, &root, &parent, &children, &count);
    if (count == 1) FEditorWindow = children[0];
    if (children) XFree(children);
    ASSERT_NE(FEditorWindow, 0u) << "the editor's window is not the host window's child";
  }

  // Host-style idle calls for the given time.
  void IdleFor(int ms) {
    for (int t = 0; t < ms; t += 40) {
      Dispatch(effEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    Dispatch(effEditIdle);
    // The editor's connection has sent its last picture; give the server a moment to draw it
    // before ours asks for the pixels. No idle call follows, so no tick can change them.
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
  // The same gesture in the window (through XTest) and in the mirror.
  void Click(int x, int y) {
    int rx = 0, ry = 0;
    Window child;
    XTranslateCoordinates(FDisplay, FHostWindow, DefaultRootWindow(FDisplay), x, y, &rx, &ry,
                          &child);
    XTestFakeMotionEvent(FDisplay, -1, rx, ry, CurrentTime);
    XTestFakeButtonEvent(FDisplay, 1, True, CurrentTime);
    XTestFakeButtonEvent(FDisplay, 1, False, CurrentTime);
    XSync(FDisplay, False);
    IdleFor(200);
    for (TEditorDriveCommand c : {edcMove, edcPress, edcRelease})
      ASSERT_EQ(Drive({.Command = c, .X = x, .Y = y}), 1);
  }

  TPicture Screenshot() {
    TPicture picture(static_cast<size_t>(kWidth) * kHeight, 0xFF000000u);
    XImage* image = XGetImage(FDisplay, FEditorWindow, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (!image) return picture;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        picture[static_cast<size_t>(y) * kWidth + x] =
            static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    return picture;
  }
  TPicture Headless() {
    TPicture picture(static_cast<size_t>(kWidth) * kHeight);
    TEditorDrive d{.Command = edcPixels, .Width = kWidth, .Height = kHeight};
    d.Pixels = picture.data();
    EXPECT_EQ(Dispatch(FMirror, effVendorSpecific, kEditorDriveIndex, &d), 1);
    EXPECT_EQ(d.Width, kWidth);
    EXPECT_EQ(d.Height, kHeight);
    return picture;
  }

  // The window's timer has ticked by the clock since the editor opened; the mirror's clock moves
  // only when told to. Moves the mirror on one tick at a time, never past the ticks the time
  // since opening allows, until it shows exactly what the window shows. On failure both
  // pictures (the mirror's closest one) go next to the test binary.
  void ExpectWindowShowsMirror(const char* state) {
    SCOPED_TRACE(state);
    const TPicture shot = Screenshot();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - FOpened)
                             .count();
    const int maxTicks = static_cast<int>(elapsed / kTickMs) + 1;
    TPicture mirror = Headless();
    TPicture closest = mirror;
    long fewest = Differences(shot, mirror);
    while (fewest != 0 && FMirrorTicks < maxTicks) {
      ASSERT_EQ(Drive({.Command = edcAdvance, .Milliseconds = kTickMs}), 1);
      ++FMirrorTicks;
      mirror = Headless();
      const long d = Differences(shot, mirror);
      if (d < fewest) {
        fewest = d;
        closest = mirror;
      }
    }
    if (fewest == 0) return;
    const std::string base =
        qltest::ExecutableDir() + "x11-editor-" + state + (GetParam() ? "-plain" : "-shm");
    WritePpm(base + "-window.ppm", shot);
    WritePpm(base + "-headless.ppm", closest);
    ADD_FAILURE() << fewest << " pixels differ from the headless rendering after up to "
                  << FMirrorTicks << " ticks; pictures in " << base << "-{window,headless}.ppm";
  }

  Display* FDisplay = nullptr;
  Window FHostWindow = 0;
  Window FEditorWindow = 0;
  std::unique_ptr<qltest::TPluginLibrary> FLibrary;
  AEffect* FEffect = nullptr;
  AEffect* FMirror = nullptr;
  std::chrono::steady_clock::time_point FOpened;
  int FMirrorTicks = 0;
};

TEST_P(X11Editor, ShowsWhatTheHeadlessEditorShowsAndTurnsClicksIntoParameters) {
  OpenBoth();
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, kWidth);
  EXPECT_EQ(rect->bottom, kHeight);
  IdleFor(400); // link message and the first refreshes
  // The artwork over the white background, not an empty or unpainted window.
  const TPicture first = Screenshot();
  long drawn = 0;
  for (uint32_t p : first)
    drawn += p != 0xFFFFFF;
  EXPECT_GT(drawn, 20000);
  EXPECT_LT(drawn, static_cast<long>(first.size()) / 2);
  ExpectWindowShowsMirror("linked");
  // The editor transfers through a segment of its own unless told not to.
  int opcode = 0, event = 0, error = 0;
  const bool serverHasShm = XQueryExtension(FDisplay, "MIT-SHM", &opcode, &event, &error);
  EXPECT_EQ(OwnSharedMemorySegments(), serverHasShm && !GetParam() ? 1 : 0);

  // The upper half of the oversampling number raises it from 1 to 2.
  Click(91 + 73, 176 + 20);
  EXPECT_FLOAT_EQ(FEffect->getParameter(FEffect, 0), 2.0f / 128.0f);
  ExpectWindowShowsMirror("oversampling");
  // The dither block switches dither on.
  Click(414 + 113, 13 + 60);
  EXPECT_FLOAT_EQ(FEffect->getParameter(FEffect, 2), 1.0f);
  ExpectWindowShowsMirror("dither");
  EXPECT_EQ(FMirror->getParameter(FMirror, 0), FEffect->getParameter(FEffect, 0));
  EXPECT_EQ(FMirror->getParameter(FMirror, 2), FEffect->getParameter(FEffect, 2));

  // Another window over part of the editor and away again: what it covered is painted again.
  Window cover = XCreateSimpleWindow(FDisplay, DefaultRootWindow(FDisplay), 300, 100, 500, 300, 0,
                                     0, BlackPixel(FDisplay, DefaultScreen(FDisplay)));
  XMapRaised(FDisplay, cover);
  XSync(FDisplay, False);
  IdleFor(80);
  XDestroyWindow(FDisplay, cover);
  XSync(FDisplay, False);
  IdleFor(200);
  ExpectWindowShowsMirror("uncovered");

  Dispatch(effEditClose);
  IdleFor(80);
  EXPECT_EQ(OwnSharedMemorySegments(), 0);
}

// The sanitizer build of this test checks that nothing of the editors is left in memory.
TEST_P(X11Editor, OpeningAndClosingAHundredTimesLeavesNothing) {
  const int files = OpenFileCount();
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(Dispatch(effEditOpen, reinterpret_cast<void*>(FHostWindow)), 1) << i;
    Dispatch(effEditIdle);
    Dispatch(effEditIdle);
    Dispatch(effEditClose);
  }
  EXPECT_EQ(OpenFileCount(), files) << "a display connection was left open";
  EXPECT_EQ(OwnSharedMemorySegments(), 0) << "shared-memory segments left behind";
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  XQueryTree(FDisplay, FHostWindow, &root, &parent, &children, &count);
  if (children) XFree(children);
  EXPECT_EQ(count, 0u) << "editor windows left in the host's window";
}

TEST_P(X11Editor, AnInvalidParentAnswersZero) {
  EXPECT_EQ(Dispatch(effEditOpen, reinterpret_cast<void*>(uintptr_t{0x7ffffff0})), 0);
  EXPECT_EQ(Dispatch(effEditOpen, nullptr), 0);
  Dispatch(effEditClose);
}

INSTANTIATE_TEST_SUITE_P(, X11Editor, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Plain" : "SharedMemory"; });

} // namespace

namespace {

constexpr int kScreenWidth = 1280;

struct TPoint {
  int X, Y;
};

// Editors of instances in host windows of their own, pointed at as a user and a host do: XTest
// for the user's hand, XSendEvent for events a host forwards, the host's own connection for its
// grabs and for unmapping. Parameters are read back through the record.
class X11EditorPointer : public ::testing::Test {
protected:
  struct THosted {
    AEffect* Effect = nullptr;
    Window Host = 0;
    Window Editor = 0;
    int Left = 0, Top = 0;
  };

  void SetUp() override {
    if (!std::getenv("DISPLAY") || !(FDisplay = XOpenDisplay(nullptr)))
      GTEST_SKIP() << "no X display";
    ASSERT_GE(DisplayWidth(FDisplay, DefaultScreen(FDisplay)), kScreenWidth);
    FLibrary = std::make_unique<qltest::TPluginLibrary>(qltest::PluginPath());
    ASSERT_TRUE(FLibrary->Loaded());
    FEntry = FLibrary->Entry("main");
    ASSERT_NE(FEntry, nullptr);
    MoveTo(kScreenWidth - 1, 799);
  }
  void TearDown() override {
    if (FDisplay) XTestFakeButtonEvent(FDisplay, 1, False, CurrentTime);
    for (THosted& h : FHosted)
      Close(h);
    if (FDisplay) XCloseDisplay(FDisplay);
    FLibrary.reset();
  }

  static VstIntPtr Dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, void* ptr = nullptr) {
    return e->dispatcher(e, opcode, index, 0, ptr, 0.0f);
  }
  // A new instance with its editor open in a host window at left, top of the screen; the link
  // and the first refresh have run when it returns.
  THosted& Open(int left, int top) {
    THosted h;
    h.Left = left;
    h.Top = top;
    h.Effect = FEntry(qltest::TRecordingHost::Callback());
    EXPECT_NE(h.Effect, nullptr);
    Dispatch(h.Effect, effOpen);
    h.Host = XCreateSimpleWindow(FDisplay, DefaultRootWindow(FDisplay), left, top, kWidth, kHeight,
                                 0, 0, BlackPixel(FDisplay, DefaultScreen(FDisplay)));
    XMapWindow(FDisplay, h.Host);
    XSync(FDisplay, False);
    EXPECT_EQ(Dispatch(h.Effect, effEditOpen, 0, reinterpret_cast<void*>(h.Host)), 1);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(FDisplay, h.Host, &root, &parent, &children, &count);
    if (count == 1) h.Editor = children[0];
    if (children) XFree(children);
    EXPECT_NE(h.Editor, 0u) << "the editor's window is not the host window's child";
    FHosted.push_back(h);
    Idle(300);
    return FHosted.back();
  }
  void CloseEditor(THosted& h) {
    if (!h.Editor) return;
    Dispatch(h.Effect, effEditClose);
    h.Editor = 0;
  }
  void Close(THosted& h) {
    if (!h.Effect) return;
    CloseEditor(h);
    Dispatch(h.Effect, effClose);
    XDestroyWindow(FDisplay, h.Host);
    XSync(FDisplay, False);
    h = THosted{};
  }
  // Host-style idle calls to every open editor.
  void Idle(int ms) {
    for (int t = 0; t <= ms; t += 40) {
      for (THosted& h : FHosted)
        if (h.Editor) Dispatch(h.Effect, effEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
  }
  // The user's hand, in screen coordinates.
  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(FDisplay, DefaultScreen(FDisplay), x, y, CurrentTime);
    XSync(FDisplay, False);
  }
  void Button(bool down) {
    XTestFakeButtonEvent(FDisplay, 1, down ? True : False, CurrentTime);
    XSync(FDisplay, False);
  }
  // A press a host forwards to the editor's window: the server holds no button for it, so its
  // release never comes.
  void ForwardPress(const THosted& h, int x, int y) {
    XEvent e{};
    e.xbutton.type = ButtonPress;
    e.xbutton.display = FDisplay;
    e.xbutton.window = h.Editor;
    e.xbutton.root = DefaultRootWindow(FDisplay);
    e.xbutton.time = CurrentTime;
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.x_root = h.Left + x;
    e.xbutton.y_root = h.Top + y;
    e.xbutton.button = Button1;
    e.xbutton.same_screen = True;
    XSendEvent(FDisplay, h.Editor, False, ButtonPressMask, &e);
    XSync(FDisplay, False);
  }
  static float Oversampling(const THosted& h) {
    return h.Effect->getParameter(h.Effect, 0) * 128.0f;
  }
  static float WordLength(const THosted& h) { return h.Effect->getParameter(h.Effect, 1) * 24.0f; }
  // The edits the host heard from the instance's editor so far, in order: "begin N",
  // "automate N", "end N".
  std::vector<std::string> Edits(const THosted& h) const {
    return qltest::EditsIn(FRecorder.Requests(), h.Effect);
  }

  // The window's pixels (0x00RRGGBB, top row first).
  TPicture Shot(const THosted& h) {
    TPicture picture(static_cast<size_t>(kWidth) * kHeight, 0);
    XImage* image = XGetImage(FDisplay, h.Editor, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (!image) return picture;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        picture[static_cast<size_t>(y) * kWidth + x] =
            static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    return picture;
  }
  // Darkness summed over the logo's box: its picture blends over white by its opacity.
  static long LogoStrength(const TPicture& p) {
    long sum = 0;
    for (int y = 20; y < 126; ++y)
      for (int x = 712; x < 984; ++x) {
        const uint32_t v = p[static_cast<size_t>(y) * kWidth + x];
        sum += 765 - static_cast<long>((v >> 16) & 0xFF) - ((v >> 8) & 0xFF) - (v & 0xFF);
      }
    return sum;
  }
  // Text pixels at the start of the hint line (the part no other editor window covers here).
  static int HintInk(const TPicture& p) {
    int n = 0;
    for (int y = 524; y < 562; ++y)
      for (int x = 19; x < 240; ++x)
        n += p[static_cast<size_t>(y) * kWidth + x] != 0xFFFFFFu;
    return n;
  }

  Display* FDisplay = nullptr;
  std::unique_ptr<qltest::TPluginLibrary> FLibrary;
  qltest::TPluginEntry FEntry = nullptr;
  std::vector<THosted> FHosted;
  qltest::TRecordingHost FRecorder; // the host of every instance Open makes
};

// A drag whose release went elsewhere: the window then sees moves that hold no button, or it
// lost the pointer to an unmap or to another client's grab. None of the moves that follow may
// change the number. Oversampling starts at 1; the press on its upper half gives 2 and the
// three moves go upwards.
TEST_F(X11EditorPointer, ALostReleaseEndsTheDrag) {
  FHosted.reserve(4);
  enum TLoss { Forwarded, Unmapped, ParentUnmapped, Grabbed };
  struct TCase {
    const char* How;
    TLoss Loss;
  };
  const TCase cases[] = {
      {"a forwarded press, then moves that hold no button", Forwarded},
      {"the host unmaps the window while the button is held", Unmapped},
      {"the host unmaps its own window, the editor's parent, while the button is held",
       ParentUnmapped},
      {"a forwarded press, then the host grabs the pointer for a while", Grabbed},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.How);
    THosted& h = Open(0, 0);
    ASSERT_EQ(Oversampling(h), 1.0f);
    MoveTo(150, 200);
    Idle(80);
    FRecorder.Clear();
    switch (c.Loss) {
    case Forwarded:
      ForwardPress(h, 150, 200);
      break;
    case Unmapped:
    case ParentUnmapped: {
      Button(true);
      Idle(80);
      const Window hidden = c.Loss == Unmapped ? h.Editor : h.Host;
      XUnmapWindow(FDisplay, hidden);
      XSync(FDisplay, False);
      Idle(80);
      XMapWindow(FDisplay, hidden);
      XSync(FDisplay, False);
      break;
    }
    case Grabbed:
      ForwardPress(h, 150, 200);
      Idle(80);
      ASSERT_EQ(XGrabPointer(FDisplay, h.Host, False, PointerMotionMask, GrabModeAsync,
                             GrabModeAsync, 0, 0, CurrentTime),
                GrabSuccess);
      MoveTo(150, 210);
      XUngrabPointer(FDisplay, CurrentTime);
      XSync(FDisplay, False);
      break;
    }
    Idle(80);
    EXPECT_EQ(Oversampling(h), 2.0f) << "the press, once the drag is lost";
    for (int y : {195, 190, 185}) {
      MoveTo(150, y);
      Idle(40);
    }
    Idle(80);
    EXPECT_EQ(Oversampling(h), 2.0f) << "after the moves";
    // The host heard the edit end when the drag was lost, not at the release.
    EXPECT_EQ(Edits(h), (std::vector<std::string>{"begin 0", "automate 0", "end 0"}));
    Button(false);
    Idle(80);
    EXPECT_EQ(Edits(h).size(), 3u);
    Close(h);
    FHosted.clear();
  }
}

// Dragged down out of the window and back in twice: each of the four moves is one step, the
// crossings back in are none. The word length starts at 24; the press on its lower half gives
// 23.
TEST_F(X11EditorPointer, ReenteringDuringADragIsNoStep) {
  THosted& h = Open(0, 0);
  ASSERT_EQ(WordLength(h), 24.0f);
  MoveTo(840, 230);
  Idle(80);
  FRecorder.Clear();
  Button(true);
  Idle(80);
  EXPECT_EQ(WordLength(h), 23.0f);
  for (TPoint p : {TPoint{1100, 240}, TPoint{840, 250}, TPoint{1100, 260}, TPoint{840, 270}}) {
    MoveTo(p.X, p.Y);
    Idle(40);
  }
  EXPECT_EQ(Edits(h).back(), "automate 1") << "the edit lasts while the button is held";
  Button(false);
  Idle(80);
  EXPECT_EQ(WordLength(h), 19.0f);
  EXPECT_EQ(Edits(h), (std::vector<std::string>{"begin 1", "automate 1", "automate 1", "automate 1",
                                                "automate 1", "automate 1", "end 1"}));
}

// The headless request of one instance leaves the other's editor in the window system.
TEST_F(X11EditorPointer, HeadlessRequestBelongsToItsInstance) {
  AEffect* headless = FEntry(Host);
  ASSERT_NE(headless, nullptr);
  Dispatch(headless, effOpen);
  TEditorDrive request{.Command = edcUseHeadless, .Value = 1};
  EXPECT_EQ(Dispatch(headless, effVendorSpecific, kEditorDriveIndex, &request), 1);
  EXPECT_EQ(Dispatch(headless, effEditOpen, 0, reinterpret_cast<void*>(uintptr_t{0x5150})), 1);
  THosted& h = Open(0, 0);
  EXPECT_NE(h.Editor, 0u);
  Dispatch(headless, effEditClose);
  Dispatch(headless, effClose);
}

// Two editors of two instances open at once, the second's window over part of the first's.
// The pointer rests on one of them when it closes; the other still shows its hints, and its
// logo, highlighted under the pointer, takes back its own opacity when the pointer leaves the
// window. Both orders of closing.
TEST_F(X11EditorPointer, TwoEditorsOpenAtOnceKeepTheirHintsAndLeaves) {
  FHosted.reserve(2);
  for (int closing : {0, 1}) {
    SCOPED_TRACE(closing == 0 ? "the lower window closes" : "the upper window closes");
    Open(0, 0);
    Open(250, 200);
    THosted& gone = FHosted[closing];
    THosted& stays = FHosted[1 - closing];
    // Both windows show these points of themselves.
    auto screen = [](const THosted& w, int x, int y) { return TPoint{w.Left + x, w.Top + y}; };
    const TPoint overNumber = screen(gone, 150, 190);
    MoveTo(overNumber.X, overNumber.Y);
    Idle(80);
    CloseEditor(gone);
    Idle(80);

    const TPoint background = screen(stays, 5, 5);
    MoveTo(background.X, background.Y);
    Idle(120);
    const TPicture before = Shot(stays);
    EXPECT_EQ(HintInk(before), 0);
    const TPoint wordLength = screen(stays, 840, 185);
    MoveTo(wordLength.X, wordLength.Y);
    Idle(120);
    EXPECT_GT(HintInk(Shot(stays)), 100) << "no hint over the word length";
    // The logo pulses from 100 upwards since the window opened: well below its highlight.
    const long resting = LogoStrength(Shot(stays));
    const TPoint logo = screen(stays, 800, 60);
    MoveTo(logo.X, logo.Y);
    Idle(120);
    const long lit = LogoStrength(Shot(stays));
    EXPECT_GT(lit, resting * 5 / 4) << "the logo under the pointer is not highlighted";
    MoveTo(kScreenWidth - 1, 799);
    Idle(120);
    const long after = LogoStrength(Shot(stays));
    EXPECT_LT(std::abs(after - resting), std::abs(after - lit))
        << "the logo kept its highlight after the pointer left the window (resting " << resting
        << ", lit " << lit << ", after " << after << ")";
    for (THosted& w : FHosted)
      Close(w);
    FHosted.clear();
  }
}

} // namespace
