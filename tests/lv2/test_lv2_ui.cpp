// The LV2 editor library as a host loads it: refused cleanly where it cannot be embedded, and,
// on an X server, embedded in a host window, shown the values the host reports and turning
// clicks into port writes in port units.
#include "PluginLibrary.h"
#include "lv2/Lv2Description.h"

#include <gtest/gtest.h>
#include <lv2/ui/ui.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace lv2q;

namespace {

struct TWrite {
  uint32_t Port;
  float Value;
};

// What a host sees of the UI: its writes, its touches (with the writes, in order, as
// "write PORT VALUE", "touch PORT on|off") and the size it asks for.
struct THostSide {
  std::vector<TWrite> Writes;
  std::vector<std::string> Heard;
  int Width = 0, Height = 0;

  static void Write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format,
                    const void* buffer) {
    auto* host = static_cast<THostSide*>(controller);
    if (format != 0 || size != sizeof(float)) return;
    const float value = *static_cast<const float*>(buffer);
    host->Writes.push_back({port, value});
    host->Heard.push_back("write " + std::to_string(port) + " " +
                          std::to_string(static_cast<int>(value)));
  }
  static void Touch(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed) {
    static_cast<THostSide*>(handle)->Heard.push_back("touch " + std::to_string(port) +
                                                     (grabbed ? " on" : " off"));
  }
  static int Resize(LV2UI_Feature_Handle handle, int width, int height) {
    auto* host = static_cast<THostSide*>(handle);
    host->Width = width;
    host->Height = height;
    return 0;
  }
};

class TUiLibrary {
public:
  TUiLibrary() : FLibrary(std::string(QL_LV2_BUNDLE) + "/" + kUiBinary) {
    using TEntry = const LV2UI_Descriptor* (*)(uint32_t);
    if (auto entry = reinterpret_cast<TEntry>(FLibrary.Symbol("lv2ui_descriptor")))
      Descriptor = entry(0);
  }
  const LV2UI_Descriptor* Descriptor = nullptr;

private:
  qltest::TPluginLibrary FLibrary;
};

TEST(Lv2Ui, RefusesWhatItCannotEmbed) {
  TUiLibrary ui;
  ASSERT_NE(ui.Descriptor, nullptr);
  EXPECT_STREQ(ui.Descriptor->URI, kUiUri);
  // No display to open: a parent that no server can reach.
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  setenv("DISPLAY", ":4999", 1);

  THostSide host;
  LV2_Feature nullParent{LV2_UI__parent, nullptr};
  LV2_Feature someParent{LV2_UI__parent, reinterpret_cast<void*>(uintptr_t{0x400001})};
  const LV2_Feature* none[] = {nullptr};
  const LV2_Feature* withNull[] = {&nullParent, nullptr};
  const LV2_Feature* withParent[] = {&someParent, nullptr};
  const struct {
    const char* Name;
    const char* Plugin;
    LV2UI_Write_Function Write;
    const LV2_Feature* const* Features;
  } cases[] = {
      {"no features at all", kPluginUri, &THostSide::Write, nullptr},
      {"no parent", kPluginUri, &THostSide::Write, none},
      {"a null parent", kPluginUri, &THostSide::Write, withNull},
      {"another plug-in", "urn:other:plugin", &THostSide::Write, withParent},
      {"no write function", kPluginUri, nullptr, withParent},
      {"a parent on no reachable display", kPluginUri, &THostSide::Write, withParent},
  };
  for (const auto& c : cases) {
    LV2UI_Widget widget = nullptr;
    EXPECT_EQ(ui.Descriptor->instantiate(ui.Descriptor, c.Plugin, QL_LV2_BUNDLE, c.Write, &host,
                                         &widget, c.Features),
              nullptr)
        << c.Name;
  }
  EXPECT_TRUE(host.Writes.empty());
  if (display)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

// Named for the x11 stage, which runs it against Xvfb; elsewhere it skips itself.
class X11Lv2Ui : public ::testing::Test {
protected:
  static constexpr int kWidth = 1001, kHeight = 579;

  void SetUp() override {
    if (!std::getenv("DISPLAY") || !(FDisplay = XOpenDisplay(nullptr)))
      GTEST_SKIP() << "no X display";
    ASSERT_NE(Ui.Descriptor, nullptr);
    const int screen = DefaultScreen(FDisplay);
    XTestFakeMotionEvent(FDisplay, screen, DisplayWidth(FDisplay, screen) - 1,
                         DisplayHeight(FDisplay, screen) - 1, CurrentTime);
    FHostWindow = XCreateSimpleWindow(FDisplay, DefaultRootWindow(FDisplay), 0, 0, kWidth, kHeight,
                                      0, 0, BlackPixel(FDisplay, screen));
    XMapWindow(FDisplay, FHostWindow);
    XSync(FDisplay, False);
  }
  void TearDown() override {
    if (FHandle) Ui.Descriptor->cleanup(FHandle);
    if (FDisplay) {
      if (FHostWindow) XDestroyWindow(FDisplay, FHostWindow);
      XCloseDisplay(FDisplay);
    }
  }

  // `touch`: the host offers ui:touch.
  void Open(bool touch = false) {
    LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(FHostWindow)};
    LV2UI_Resize resize{&Host, &THostSide::Resize};
    LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    LV2UI_Touch touchData{&Host, &THostSide::Touch};
    LV2_Feature touchFeature{LV2_UI__touch, &touchData};
    const LV2_Feature* features[] = {&parent, &resizeFeature, touch ? &touchFeature : nullptr,
                                     nullptr};
    LV2UI_Widget widget = nullptr;
    FHandle = Ui.Descriptor->instantiate(Ui.Descriptor, kPluginUri, QL_LV2_BUNDLE,
                                         &THostSide::Write, &Host, &widget, features);
    ASSERT_NE(FHandle, nullptr);
    ASSERT_NE(widget, nullptr);
    FIdle = static_cast<const LV2UI_Idle_Interface*>(
        Ui.Descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(FIdle, nullptr);
  }
  // What a host does on opening the UI: every control port's value, as the plug-in has it.
  void Report(uint32_t port, float value) {
    Ui.Descriptor->port_event(FHandle, port, sizeof(float), 0, &value);
  }
  // The host's idle calls, about 25 a second, for the given time.
  void IdleFor(int ms) {
    for (int t = 0; t <= ms; t += 40) {
      EXPECT_EQ(FIdle->idle(FHandle), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
  }
  void Click(int x, int y) {
    XTestFakeMotionEvent(FDisplay, DefaultScreen(FDisplay), x, y, CurrentTime);
    XTestFakeButtonEvent(FDisplay, 1, True, CurrentTime);
    XTestFakeButtonEvent(FDisplay, 1, False, CurrentTime);
    XSync(FDisplay, False);
    IdleFor(200);
  }

  TUiLibrary Ui;
  THostSide Host;
  Display* FDisplay = nullptr;
  Window FHostWindow = 0;
  LV2UI_Handle FHandle = nullptr;
  const LV2UI_Idle_Interface* FIdle = nullptr;
};

// The host window sits at the screen's top left, so window and screen coordinates agree.
TEST_F(X11Lv2Ui, ClicksWriteThePortsFromTheValuesTheHostReported) {
  Open();
  EXPECT_EQ(std::pair(Host.Width, Host.Height), std::pair(kWidth, kHeight));
  // The plug-in runs at ratio 2, 16 bits, dither off, feedback at a value that does not switch it
  // on; the host does not echo the UI's own writes back.
  const float reported[] = {2.0f, 16.0f, 0.0f, 0.3f, 0.0f};
  for (int32_t i = 0; i < ppCount; ++i)
    Report(ControlPortOf(i), reported[i]);
  IdleFor(200);
  ASSERT_TRUE(Host.Writes.empty()) << "the UI wrote without a gesture";

  Click(91 + 73, 176 + 20); // the upper half of the oversampling number
  Click(91 + 73, 176 + 20);
  Click(414 + 113, 13 + 60);                   // the dither block
  Report(ControlPortOf(ppOversampling), 8.0f); // automation moves it meanwhile
  IdleFor(120);
  Click(91 + 73, 176 + 70); // the lower half
  const std::vector<std::pair<uint32_t, float>> want = {{ControlPortOf(ppOversampling), 3.0f},
                                                        {ControlPortOf(ppOversampling), 4.0f},
                                                        {ControlPortOf(ppDither), 1.0f},
                                                        {ControlPortOf(ppOversampling), 7.0f}};
  std::vector<std::pair<uint32_t, float>> got;
  for (const TWrite& w : Host.Writes)
    got.emplace_back(w.Port, w.Value);
  EXPECT_EQ(got, want);
  // A host without ui:touch hears the writes alone.
  EXPECT_EQ(Host.Heard.size(), want.size());
}

// A host that offers ui:touch hears the user take hold of each control before its writes and
// let go after them: a click on a block, and a drag on a number that lasts while the button is
// held.
TEST_F(X11Lv2Ui, ATouchingHostHearsEveryGestureAroundItsWrites) {
  Open(true);
  IdleFor(200);
  Click(414 + 113, 13 + 60);           // the dither block
  const int x = 91 + 73, y = 176 + 20; // the upper half of the oversampling number
  XTestFakeMotionEvent(FDisplay, DefaultScreen(FDisplay), x, y, CurrentTime);
  XTestFakeButtonEvent(FDisplay, 1, True, CurrentTime);
  XSync(FDisplay, False);
  IdleFor(120);
  XTestFakeMotionEvent(FDisplay, DefaultScreen(FDisplay), x, y - 10, CurrentTime);
  XSync(FDisplay, False);
  IdleFor(120);
  const size_t held = Host.Heard.size();
  XTestFakeButtonEvent(FDisplay, 1, False, CurrentTime);
  XSync(FDisplay, False);
  IdleFor(120);
  const std::string dither = std::to_string(ControlPortOf(ppDither));
  const std::string ratio = std::to_string(ControlPortOf(ppOversampling));
  EXPECT_EQ(Host.Heard,
            (std::vector<std::string>{"touch " + dither + " on", "write " + dither + " 1",
                                      "touch " + dither + " off", "touch " + ratio + " on",
                                      "write " + ratio + " 2", "write " + ratio + " 3",
                                      "touch " + ratio + " off"}));
  EXPECT_EQ(held, 6u) << "the touch ended before the release";
}

} // namespace
