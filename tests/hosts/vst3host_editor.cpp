// The editor check of the VST 3 test host (Windows builds): the plug-in's view attached to a
// window of ours as an HWND, served by the message loop a Windows host runs. A click comes from
// outside the process: the host prints
//     click SCREEN_X SCREEN_Y
// and dispatches messages until the component handler has heard the whole edit (a script
// answers the line with xdotool). Then it copies the editor's pixels through the window's device
// context and asks the script for the X server's view of them:
//     grab SCREEN_X SCREEN_Y WIDTH HEIGHT FILE
// Both must equal the rendering of a second instance in the library's headless backend at the
// same values, with the pointer at the same place; only the logo, which pulses by each window's
// own clock, is left out of the comparison. Closed and opened again, the window shows the value
// the click set.
#include "vst3host_editor.h"

#include "vst3/host/Vst3Host.h"
#include "vst3/plugin/Vst3EditorDrive.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace vst3;
using namespace vst3host;

constexpr int kHostLeft = 40, kHostTop = 30, kWidth = 1001, kHeight = 579;
// The logo's rectangle in the editor: it pulses by its window's own timer.
constexpr RECT kLogo = {712, 20, 712 + 272, 20 + 106};
constexpr int kClickX = 150, kClickY = 190; // the oversampling number's upper half

int gFailures = 0;
void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++gFailures;
}

class THandler final : public TOwned<IComponentHandler> {
public:
  THandler() : TOwned(kIComponentHandlerIid) {}
  tresult QL_VST3_CALL beginEdit(ParamID id) override {
    Calls += "begin " + std::to_string(id) + "; ";
    return kResultOk;
  }
  tresult QL_VST3_CALL performEdit(ParamID id, ParamValue v) override {
    Calls += "perform " + std::to_string(id) + " " + std::to_string(v * 128) + "; ";
    return kResultOk;
  }
  tresult QL_VST3_CALL endEdit(ParamID id) override {
    Calls += "end " + std::to_string(id) + "; ";
    return kResultOk;
  }
  tresult QL_VST3_CALL restartComponent(int32) override { return kResultOk; }
  std::string Calls;
};

void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

using TPixels = std::vector<uint32_t>;

TPixels Capture(HWND window) {
  TPixels pixels;
  HDC source = GetDC(window);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = -kHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (memory && bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, kWidth, kHeight, source, 0, 0, SRCCOPY)) {
      GdiFlush();
      const auto* p = static_cast<const uint32_t*>(bits);
      pixels.assign(p, p + kWidth * kHeight);
      for (uint32_t& v : pixels)
        v &= 0xFFFFFFu;
    }
    SelectObject(memory, old);
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  ReleaseDC(window, source);
  return pixels;
}

TPixels ReadPpm(const std::string& path) {
  TPixels pixels;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return pixels;
  int w = 0, h = 0, max = 0;
  if (std::fscanf(f, "P6 %d %d %d", &w, &h, &max) == 3 && w == kWidth && h == kHeight &&
      max == 255 && std::fgetc(f) == '\n') {
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    if (std::fread(rgb.data(), 1, rgb.size(), f) == rgb.size())
      for (size_t i = 0; i < rgb.size(); i += 3)
        pixels.push_back(uint32_t{rgb[i]} << 16 | uint32_t{rgb[i + 1]} << 8 | rgb[i + 2]);
  }
  std::fclose(f);
  return pixels;
}

// How many pixels outside the logo differ; -1 for pictures of the wrong size.
long Differing(const TPixels& a, const TPixels& b) {
  if (a.size() != static_cast<size_t>(kWidth * kHeight) || b.size() != a.size()) return -1;
  long n = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const bool logo = x >= kLogo.left && x < kLogo.right && y >= kLogo.top && y < kLogo.bottom;
      n +=
          !logo && a[static_cast<size_t>(y) * kWidth + x] != b[static_cast<size_t>(y) * kWidth + x];
    }
  return n;
}

int32 Drive(IQuantaloopEditorDrive& d, TEditorDrive request) {
  return d.driveEditor(&request);
}

IQuantaloopEditorDrive* DriveOf(TInstance& fx) {
  void* obj = nullptr;
  return fx.Component->queryInterface(kIQuantaloopEditorDriveIid.Bytes, &obj) == kResultOk
             ? static_cast<IQuantaloopEditorDrive*>(obj)
             : nullptr;
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The headless rendering at oversampling `ratio`; with `pointerOver` the pointer over the
// click's point (its hint on the hint line).
TPixels Headless(const TModule& module, double ratio, bool pointerOver) {
  TInstance fx(module);
  IQuantaloopEditorDrive* drive = fx.Valid() ? DriveOf(fx) : nullptr;
  if (!drive) return {};
  Drive(*drive, {.Command = edcUseHeadless, .Value = 1});
  fx.Controller->setParamNormalized(0, ratio);
  IPlugView* view = fx.Controller->createView(kEditorViewType);
  TPixels pixels(static_cast<size_t>(kWidth * kHeight));
  if (view && view->attached(nullptr, kPlatformTypeHWND) == kResultOk) {
    Drive(*drive, {.Command = edcAdvance, .Milliseconds = 200});
    if (pointerOver) Drive(*drive, {.Command = edcMove, .X = kClickX, .Y = kClickY});
    Drive(*drive, {.Command = edcAdvance, .Milliseconds = 200});
    TEditorDrive grab{.Command = edcPixels, .Width = kWidth, .Height = kHeight};
    grab.Pixels = pixels.data();
    if (Drive(*drive, grab) != 1) pixels.clear();
    view->removed();
  } else {
    pixels.clear();
  }
  if (view) view->release();
  drive->release();
  return pixels;
}

} // namespace

int RunVst3EditorCheck(const char* bundle, bool click, int timeoutSeconds) {
  TModule module(bundle);
  if (!module.Factory()) {
    Check(false, "module: " + module.Error());
    return 1;
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QuantaloopVst3TestHost";
  RegisterClassW(&wc);
  HWND host = CreateWindowExW(0, wc.lpszClassName, L"Quantaloop VST 3 host", WS_POPUP | WS_VISIBLE,
                              kHostLeft, kHostTop, kWidth, kHeight, nullptr, nullptr, wc.hInstance,
                              nullptr);
  Check(host != nullptr, "host window");
  if (!host) return 1;

  THandler handler;
  {
    TInstance fx(module);
    Check(fx.Valid(), "component, processor and controller");
    if (!fx.Valid()) return 1;
    fx.Controller->setComponentHandler(&handler);
    IPlugView* view = fx.Controller->createView(kEditorViewType);
    Check(view && view->isPlatformTypeSupported(kPlatformTypeHWND) == kResultTrue &&
              view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) == kResultFalse,
          "a view for HWND parents");
    if (!view) return 1;
    ViewRect r{};
    view->getSize(&r);
    Check(r.right - r.left == kWidth && r.bottom - r.top == kHeight &&
              view->canResize() != kResultOk,
          "1001 x 579, not resizable");
    Check(view->attached(host, kPlatformTypeHWND) == kResultOk, "attached to the host's HWND");
    HWND editor = GetWindow(host, GW_CHILD);
    RECT client{};
    if (editor) GetClientRect(editor, &client);
    Check(editor && client.right == kWidth && client.bottom == kHeight,
          "the editor is a child window of the host's, 1001 x 579");
    Pump(600);
    double ratio = 1.0 / 128;
    if (click && editor) {
      std::printf("click %d %d\n", kHostLeft + kClickX, kHostTop + kClickY);
      std::fflush(stdout);
      const DWORD end = GetTickCount() + static_cast<DWORD>(timeoutSeconds) * 1000;
      while (handler.Calls.find("end") == std::string::npos &&
             static_cast<LONG>(end - GetTickCount()) > 0)
        Pump(20);
      Check(handler.Calls == "begin 0; perform 0 2.000000; end 0; ",
            "the click reached the host as one edit: " + handler.Calls);
      ratio = 2.0 / 128;
      Check(fx.Controller->getParamNormalized(0) == ratio, "the controller holds the new ratio");
    }
    Pump(400);
    const TPixels expected = Headless(module, ratio, click);
    Check(!expected.empty(), "headless rendering of a second instance");
    if (editor && !expected.empty()) {
      const long dc = Differing(expected, Capture(editor));
      Check(dc == 0, "the window's pixels (through its device context) equal the headless "
                     "rendering outside the logo: " +
                         std::to_string(dc) + " differ");
      if (click) {
        const char* file = "vst3-editor.ppm";
        std::remove(file);
        std::printf("grab %d %d %d %d %s\n", kHostLeft, kHostTop, kWidth, kHeight, file);
        std::fflush(stdout);
        TPixels x;
        const DWORD end = GetTickCount() + static_cast<DWORD>(timeoutSeconds) * 1000;
        while (x.empty() && static_cast<LONG>(end - GetTickCount()) > 0) {
          Pump(50);
          x = ReadPpm(file);
        }
        const long xd = Differing(expected, x);
        Check(xd == 0, "the X server's pixels equal the headless rendering outside the logo: " +
                           std::to_string(xd) + " differ");
      }
    }
    Check(view->removed() == kResultOk && !GetWindow(host, GW_CHILD), "removed: the window goes");
    // Opened again, it shows what the controller holds (and no hint: the pointer has not
    // moved over the new window).
    Check(view->attached(host, kPlatformTypeHWND) == kResultOk, "attached again");
    Pump(400);
    editor = GetWindow(host, GW_CHILD);
    const long again = editor ? Differing(Headless(module, ratio, false), Capture(editor)) : -1;
    Check(again == 0, "reopened, the window shows the stored values: " + std::to_string(again) +
                          " pixels differ");
    view->removed();
    view->release();
    fx.Controller->setComponentHandler(nullptr);
  }
  DestroyWindow(host);
  UnregisterClassW(wc.lpszClassName, wc.hInstance);
  return gFailures ? 1 : 0;
}
