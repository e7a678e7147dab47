// The editor of the built plug-in library, as a host opens it: effEditOpen, effEditIdle and
// effEditClose on the record, gestures through the library's headless backend (the vendor
// request of EditorDrive.h), and the parameters read back with getParameter.
#include "PluginLibrary.h"
#include "RecordingHost.h"
#include "TestPaths.h"
#include "editor/EditorDrive.h"
#include "vst2/interface/DAEffectX.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

qltest::TPluginLibrary& Library() {
  static qltest::TPluginLibrary library(qltest::PluginPath());
  return library;
}

void* const kParent = reinterpret_cast<void*>(uintptr_t{0x5150});

class EditorLibraryTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded()) << qltest::PluginPath();
    qltest::TPluginEntry entry = Library().Entry("main");
    ASSERT_NE(entry, nullptr);
    E = entry(qltest::TRecordingHost::Callback());
    ASSERT_NE(E, nullptr);
    Dispatch(effOpen);
    TEditorDrive headless{.Command = edcUseHeadless, .Value = 1};
    ASSERT_EQ(Drive(headless), 1);
  }
  void TearDown() override {
    if (E) Dispatch(effClose);
  }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr) {
    return E->dispatcher(E, opcode, index, value, ptr, 0.0f);
  }
  VstIntPtr Drive(TEditorDrive& drive) {
    return Dispatch(effVendorSpecific, kEditorDriveIndex, 0, &drive);
  }
  VstIntPtr Pointer(TEditorDriveCommand command, int x, int y, uint32_t shift = 0) {
    TEditorDrive d{.Command = command, .X = x, .Y = y, .Shift = shift};
    return Drive(d);
  }
  void Click(int x, int y) {
    Pointer(edcPress, x, y);
    Pointer(edcRelease, x, y);
    Advance(1000); // the next press is a new click
  }
  void Advance(uint32_t ms) {
    TEditorDrive d{.Command = edcAdvance, .Milliseconds = ms};
    ASSERT_EQ(Drive(d), 1);
  }
  // The window's pixels, top row first.
  std::vector<uint32_t> Pixels(int& w, int& h) {
    std::vector<uint32_t> pixels(1001 * 579);
    TEditorDrive d{.Command = edcPixels, .Width = 1001, .Height = 579, .Pixels = pixels.data()};
    EXPECT_EQ(Drive(d), 1);
    w = d.Width;
    h = d.Height;
    return pixels;
  }
  float Get(VstInt32 index) { return E->getParameter(E, index); }

  qltest::TRecordingHost Host;
  AEffect* E = nullptr;
};

} // namespace

TEST_F(EditorLibraryTest, GesturesWriteParametersAsAHostSeesThem) {
  ASSERT_EQ(Dispatch(effEditOpen, 0, 0, kParent), 1);
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->bottom, 579);
  EXPECT_EQ(rect->right, 1001);

  Dispatch(effEditIdle); // the link message
  Advance(100);          // the first tick shows the defaults
  Host.Clear();

  struct TCase {
    const char* Gesture;
    int X, Y;
    VstInt32 Index;
    float Normalised;
  };
  const TCase cases[] = {
      {"upper half of the oversampling number", 150, 190, 0, 2.0f / 128},
      {"lower half of the word length", 840, 230, 1, 23.0f / 24},
      {"dither block", 500, 60, 2, 1.0f},
      {"error feedback block", 600, 500, 3, 1.0f},
      {"dither block again", 500, 60, 2, 0.0f},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Gesture);
    Click(c.X, c.Y);
    EXPECT_EQ(Get(c.Index), c.Normalised);
    const auto reports = Host.RequestsOf(audioMasterAutomate);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().Index, c.Index);
    EXPECT_EQ(reports.back().Opt, c.Normalised);
  }

  // A drag upwards from the oversampling number, beyond its top edge.
  Pointer(edcPress, 150, 190);
  Pointer(edcMove, 150, 150, edsLeft);
  Pointer(edcMove, 150, 20, edsLeft);
  Pointer(edcRelease, 150, 20);
  EXPECT_EQ(Get(0), 5.0f / 128);
  // Drags whose release went elsewhere: moves that hold no button, or the capture lost first.
  Advance(1000);
  Pointer(edcPress, 150, 190);
  Pointer(edcMove, 150, 150);
  EXPECT_EQ(Get(0), 6.0f / 128);
  Advance(1000);
  Pointer(edcPress, 150, 190);
  ASSERT_EQ(Pointer(edcCaptureLost, 0, 0), 1);
  Pointer(edcMove, 150, 150, edsLeft);
  Pointer(edcRelease, 150, 150);
  EXPECT_EQ(Get(0), 7.0f / 128);

  Dispatch(effEditClose);
  // No window: the requests that need one are declined.
  EXPECT_EQ(Pointer(edcPress, 150, 190), 0);
  EXPECT_EQ(Get(0), 7.0f / 128);
}

TEST_F(EditorLibraryTest, RenderedWindowFollowsTheSwitches) {
  ASSERT_EQ(Dispatch(effEditOpen, 0, 0, kParent), 1);
  Dispatch(effEditIdle);
  Advance(100);
  int w = 0, h = 0;
  const std::vector<uint32_t> off = Pixels(w, h);
  ASSERT_EQ(w, 1001);
  ASSERT_EQ(h, 579);
  Click(500, 60);
  Advance(100);
  const std::vector<uint32_t> on = Pixels(w, h);
  // Somewhere in the dither block's own part the picture shows stronger; outside it nothing
  // but the logo's pulse and the hint line changed.
  int changedInBlock = 0;
  for (int y = 13; y < 148; ++y)
    for (int x = 414; x < 640; ++x)
      changedInBlock +=
          off[static_cast<size_t>(y) * 1001 + x] != on[static_cast<size_t>(y) * 1001 + x];
  EXPECT_GT(changedInBlock, 100);
  EXPECT_EQ(off[5 * 1001 + 5], 0xFFFFFFu);

  // Reopening makes a new window that links again and shows the effect's values at once.
  Dispatch(effEditClose);
  ASSERT_EQ(Dispatch(effEditOpen, 0, 0, kParent), 1);
  Dispatch(effEditIdle);
  Advance(300);
  const std::vector<uint32_t> reopened = Pixels(w, h);
  EXPECT_EQ(reopened[5 * 1001 + 5], 0xFFFFFFu);
  Click(150, 190);
  EXPECT_EQ(Get(0), 2.0f / 128); // the upper half raises the 1 the window shows
}

namespace {

// A second instance of the plug-in in the same process, as a host with two tracks has.
struct TSecondInstance {
  explicit TSecondInstance(bool headless) {
    E = Library().Entry("main")(qltest::TRecordingHost::Callback());
    if (!E) return;
    Dispatch(effOpen);
    if (headless) {
      TEditorDrive d{.Command = edcUseHeadless, .Value = 1};
      Drive(d);
    }
  }
  ~TSecondInstance() {
    if (E) Dispatch(effClose);
  }
  VstIntPtr Dispatch(VstInt32 opcode, void* ptr = nullptr) {
    return E->dispatcher(E, opcode, 0, 0, ptr, 0.0f);
  }
  VstIntPtr Drive(TEditorDrive& d) {
    return E->dispatcher(E, effVendorSpecific, kEditorDriveIndex, 0, &d, 0.0f);
  }
  AEffect* E = nullptr;
};

} // namespace

TEST_F(EditorLibraryTest, HeadlessRequestBelongsToTheInstanceItIsSentTo) {
  TSecondInstance other(false);
  ASSERT_NE(other.E, nullptr);
  // The other instance asks for the window system's windows; this one keeps its request.
  TEditorDrive native{.Command = edcUseHeadless, .Value = 0};
  ASSERT_EQ(other.Drive(native), 1);
  EXPECT_EQ(Dispatch(effEditOpen, 0, 0, kParent), 1) << "this instance's editor is not headless";
  // The other's editor goes to the window system, which has no window of that number.
  EXPECT_EQ(other.Dispatch(effEditOpen, kParent), 0) << "the other instance's editor opened "
                                                        "in the headless backend";
  other.Dispatch(effEditClose);
  Dispatch(effEditClose);
}

namespace {

// How strongly the logo shows: the darkness summed over its box. Its picture blends over the
// white background in proportion to its opacity.
long LogoStrength(const std::vector<uint32_t>& pixels) {
  long sum = 0;
  for (int y = 20; y < 126; ++y)
    for (int x = 712; x < 984; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * 1001 + x];
      sum += 765 - static_cast<long>((p >> 16) & 0xFF) - ((p >> 8) & 0xFF) - (p & 0xFF);
    }
  return sum;
}

// Pixels of the hint line's text; 0 while the hint line is empty.
int HintInk(const std::vector<uint32_t>& pixels) {
  int n = 0;
  for (int y = 524; y < 562; ++y)
    for (int x = 19; x < 340; ++x)
      n += pixels[static_cast<size_t>(y) * 1001 + x] != 0xFFFFFFu;
  return n;
}

} // namespace

// Two editors of two instances open at once; one closes while the pointer is over it with the
// button held on its oversampling number. The other still shows its hints, highlights its logo
// under the pointer and puts it back when the pointer leaves: before and after the close, in
// either order of closing.
TEST_F(EditorLibraryTest, TwoEditorsOpenAtOnceKeepTheirOwnPointer) {
  for (bool thisClosesFirst : {true, false}) {
    SCOPED_TRACE(thisClosesFirst ? "this instance closes first" : "the other closes first");
    TSecondInstance second(true);
    ASSERT_NE(second.E, nullptr);
    auto drive = [&](bool mine, TEditorDrive d) { return mine ? Drive(d) : second.Drive(d); };
    auto pixels = [&](bool mine) {
      std::vector<uint32_t> p(1001 * 579);
      TEditorDrive d{.Command = edcPixels, .Width = 1001, .Height = 579, .Pixels = p.data()};
      EXPECT_EQ(drive(mine, d), 1);
      return p;
    };
    auto point = [&](bool mine, TEditorDriveCommand c, int x, int y) {
      EXPECT_EQ(drive(mine, TEditorDrive{.Command = c, .X = x, .Y = y}), 1);
    };
    ASSERT_EQ(Dispatch(effEditOpen, 0, 0, kParent), 1);
    ASSERT_EQ(second.Dispatch(effEditOpen, kParent), 1);
    Dispatch(effEditIdle);
    second.Dispatch(effEditIdle);
    Advance(100); // one clock for both: the logos stand at 102

    const bool closing = thisClosesFirst, staying = !thisClosesFirst;
    point(closing, edcMove, 150, 190);
    point(closing, edcPress, 150, 190);
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(round == 0 ? "with the other editor open" : "after it closed");
      point(staying, edcMove, 5, 5);
      const std::vector<uint32_t> before = pixels(staying);
      ASSERT_EQ(HintInk(before), 0);
      point(staying, edcMove, 800, 180);
      EXPECT_GT(HintInk(pixels(staying)), 100) << "no hint over the word length";
      point(staying, edcMove, 800, 60);
      const long lit = LogoStrength(pixels(staying));
      EXPECT_GT(lit, LogoStrength(before) * 2) << "the logo under the pointer is not highlighted";
      point(staying, edcLeave, 0, 0);
      EXPECT_EQ(LogoStrength(pixels(staying)), LogoStrength(before))
          << "the logo kept its highlight after the pointer left";
      if (round == 0) {
        if (closing)
          Dispatch(effEditClose);
        else
          second.Dispatch(effEditClose);
      }
    }
    if (staying)
      Dispatch(effEditClose);
    else
      second.Dispatch(effEditClose);
  }
}
