// The CLAP plug-in across builds: one program, built by the Linux build (ql-clapcheck) and by
// the Windows builds (clapcheck64.exe, clapcheck32.exe), that loads Quantaloop.clap through its
// entry as a host of that system does.
//
//   clapcheck render CLAP OUT.f32
//       Runs a fixed sequence (settings and changes inside blocks of changing sizes, dither
//       included, notes in both dialects) over a signal made from integers only, so that every
//       build feeds the same bits; writes the output samples to OUT and prints the echoes, one
//       line each. The Windows builds must reproduce the Linux build's file and lines exactly.
//
//   clapcheck editor CLAP [--timeout SECONDS]      (Windows builds)
//       Opens the editor inside a host window of its own ("win32", embedded), pumps the host's
//       message loop, and compares the window's pixels with a second instance's editor in the
//       headless backend: when opened, after a click on the dither block posted as the system's
//       own mouse messages (it must reach the host as gesture begin, value, end), after the host
//       invalidates its window with its children, and after a press on a number whose capture
//       the host takes (its gesture must end without the release).
//
//   clapcheck pointer CLAP                          (Windows builds)
//       The pointer cases of PointerCases.h against the editor in host windows of ours: drags
//       whose release went elsewhere, each reaching the host as one whole edit (gesture begin,
//       param value, gesture end in the flushes), and two editors of two instances at once.
//
// Prints "ok ..." or "FAIL ..." lines and a last line "clapcheck: passed" or "...: FAILED".
#include "clap/ClapDescription.h"
#include "clap/ClapInterface.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include "PointerCases.h"

#include <memory>
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

int gFailures = 0;
void Ok(const std::string& s) {
  std::printf("ok   %s\n", s.c_str());
}
void Fail(const std::string& s) {
  ++gFailures;
  std::printf("FAIL %s\n", s.c_str());
}

const clap::plugin_entry* LoadEntry(const char* path) {
#if defined(_WIN32)
  HMODULE library = LoadLibraryA(path);
  if (!library) return nullptr;
  return reinterpret_cast<const clap::plugin_entry*>(
      reinterpret_cast<void*>(GetProcAddress(library, "clap_entry")));
#else
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  return library ? static_cast<const clap::plugin_entry*>(dlsym(library, "clap_entry")) : nullptr;
#endif
}

// A host with the extensions a desktop host offers: parameters (flush requests counted) and a
// timer the message loop serves.
struct THost {
  clap::host Host{};
  clap::host_params Params{};
  clap::host_timer_support Timer{};
  int FlushRequests = 0;
  uint32_t TimerPeriod = 0;
  bool TimerOn = false;

  THost() {
    Host.clap_version = clap::kVersion;
    Host.host_data = this;
    Host.name = "clapcheck";
    Host.vendor = "Quantaloop tests";
    Host.url = "";
    Host.version_text = "1";
    Host.get_extension = [](const clap::host* h, const char* id) -> const void* {
      auto* self = static_cast<THost*>(h->host_data);
      if (std::strcmp(id, clap::kExtParams) == 0) return &self->Params;
      if (std::strcmp(id, clap::kExtTimerSupport) == 0) return &self->Timer;
      return nullptr;
    };
    Host.request_restart = [](const clap::host*) {};
    Host.request_process = [](const clap::host*) {};
    Host.request_callback = [](const clap::host*) {};
    Params.rescan = [](const clap::host*, uint32_t) {};
    Params.clear = [](const clap::host*, clap::id, uint32_t) {};
    Params.request_flush = [](const clap::host* h) {
      ++static_cast<THost*>(h->host_data)->FlushRequests;
    };
    Timer.register_timer = [](const clap::host* h, uint32_t period, clap::id* id) {
      auto* self = static_cast<THost*>(h->host_data);
      self->TimerPeriod = period;
      self->TimerOn = true;
      *id = 1;
      return true;
    };
    Timer.unregister_timer = [](const clap::host* h, clap::id) {
      static_cast<THost*>(h->host_data)->TimerOn = false;
      return true;
    };
  }
};

struct TEvents {
  std::vector<std::vector<uint8_t>> Items;
  clap::input_events In{this,
                        [](const clap::input_events* l) {
                          return static_cast<uint32_t>(static_cast<TEvents*>(l->ctx)->Items.size());
                        },
                        [](const clap::input_events* l, uint32_t i) {
                          return reinterpret_cast<const clap::event_header*>(
                              static_cast<TEvents*>(l->ctx)->Items[i].data());
                        }};
  clap::output_events Out{this, [](const clap::output_events* l, const clap::event_header* e) {
                            const auto* b = reinterpret_cast<const uint8_t*>(e);
                            static_cast<TEvents*>(l->ctx)->Items.emplace_back(b, b + e->size);
                            return true;
                          }};
  template <class T> void Add(const T& e) {
    const auto* b = reinterpret_cast<const uint8_t*>(&e);
    Items.emplace_back(b, b + sizeof(e));
  }
  void Param(uint32_t time, int32_t index, double value) {
    clap::event_param_value e{};
    e.header = {sizeof(e), time, clap::kCoreEventSpace, clap::kEventParamValue, 0};
    e.param_id = clapq::ParamIdOf(index);
    e.note_id = -1;
    e.port_index = e.channel = e.key = -1;
    e.value = value;
    Add(e);
  }
  const clap::event_header& At(size_t i) const {
    return *reinterpret_cast<const clap::event_header*>(Items[i].data());
  }
};

struct TInstance {
  const clap::plugin* P = nullptr;
  const clap::plugin_params* Params = nullptr;
  const clap::plugin_gui* Gui = nullptr;
  TInstance(const clap::plugin_entry* entry, THost& host) {
    auto* factory =
        static_cast<const clap::plugin_factory*>(entry->get_factory(clap::kPluginFactoryId));
    if (!factory) return;
    const clap::plugin_descriptor* d = factory->get_plugin_descriptor(factory, 0);
    P = d ? factory->create_plugin(factory, &host.Host, d->id) : nullptr;
    if (P && !P->init(P)) P = nullptr;
    if (!P) return;
    Params = static_cast<const clap::plugin_params*>(P->get_extension(P, clap::kExtParams));
    Gui = static_cast<const clap::plugin_gui*>(P->get_extension(P, clap::kExtGui));
  }
  ~TInstance() {
    if (P) P->destroy(P);
  }
};

// ---- render

int Render(const clap::plugin_entry* entry, const char* outPath) {
  THost host;
  TInstance fx(entry, host);
  if (!fx.P || !fx.P->activate(fx.P, 44100.0, 1, 4096) || !fx.P->start_processing(fx.P)) {
    Fail("the plug-in would not start");
    return 1;
  }
  constexpr uint32_t kFrames = 48000;
  std::vector<float> in[2], out[2];
  uint32_t noise = 2024;
  for (int c = 0; c < 2; ++c) {
    in[c].resize(kFrames);
    out[c].assign(kFrames, 0.0f);
  }
  for (uint32_t i = 0; i < kFrames; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const int tri = static_cast<int>(i % 200) - 100; // a triangle of period 200
    in[0][i] =
        static_cast<float>(std::abs(tri) - 50) / 64.0f + static_cast<float>(noise >> 20) / 65536.0f;
    in[1][i] = static_cast<float>(static_cast<int>(noise >> 16) - 32768) / 40000.0f;
  }
  struct TStep {
    uint32_t Frames;
    std::vector<std::pair<uint32_t, std::pair<int32_t, double>>> Changes;
  };
  const TStep steps[] = {
      {512, {{0, {ppOversampling, 8}}, {0, {ppQuantizer, 3}}, {0, {ppDither, 1}}}},
      {1, {{0, {ppNoiseShaper, 1}}}},
      {777, {{100, {ppQuantizer, 5}}, {400, {ppDither, 0.25}}, {776, {ppNoiseShaper, 0.4}}}},
      {4096, {{1, {ppOversampling, 64}}, {2048, {ppQuantizer, 1}}, {2048, {ppNoiseShaper, 0.5}}}},
      {63, {}},
      {4000, {{3000, {ppOversampling, 128}}, {3999, {ppDither, 0}}}},
  };
  uint32_t at = 0;
  for (size_t s = 0; at < kFrames; ++s) {
    const TStep& step = steps[s % std::size(steps)];
    const uint32_t n = std::min(step.Frames, kFrames - at);
    TEvents events, echoes;
    for (const auto& [time, change] : step.Changes)
      if (time < n) events.Param(time, change.first, change.second);
    if (s % 3 == 0) {
      clap::event_midi m{};
      m.header = {sizeof(m), n / 2, clap::kCoreEventSpace, clap::kEventMidi, 0};
      m.data[0] = 0x90;
      m.data[1] = static_cast<uint8_t>(s % 128);
      m.data[2] = 99;
      events.Add(m);
      clap::event_note note{};
      note.header = {sizeof(note), n - 1, clap::kCoreEventSpace, clap::kEventNoteOff, 0};
      note.note_id = static_cast<int32_t>(s);
      note.channel = 2;
      note.key = 40;
      note.velocity = 0.5;
      events.Add(note);
    }
    float* ins[] = {in[0].data() + at, in[1].data() + at};
    float* outs[] = {out[0].data() + at, out[1].data() + at};
    clap::audio_buffer ib{ins, nullptr, 2, 0, 0}, ob{outs, nullptr, 2, 0, 0};
    clap::process p{};
    p.steady_time = at;
    p.frames_count = n;
    p.audio_inputs = &ib;
    p.audio_outputs = &ob;
    p.audio_inputs_count = p.audio_outputs_count = 1;
    p.in_events = &events.In;
    p.out_events = &echoes.Out;
    if (fx.P->process(fx.P, &p) != clap::kProcessContinue) {
      Fail("process answered an error at frame " + std::to_string(at));
      return 1;
    }
    for (size_t i = 0; i < echoes.Items.size(); ++i) {
      const clap::event_header& h = echoes.At(i);
      std::printf("echo %u type %u", at + h.time, h.type);
      if (h.type == clap::kEventMidi) {
        const auto& m = reinterpret_cast<const clap::event_midi&>(h);
        std::printf(" %u %u %u", m.data[0], m.data[1], m.data[2]);
      }
      std::printf("\n");
    }
    at += n;
  }
  fx.P->stop_processing(fx.P);
  fx.P->deactivate(fx.P);
  std::FILE* f = std::fopen(outPath, "wb");
  if (!f) {
    Fail(std::string("cannot write ") + outPath);
    return 1;
  }
  for (uint32_t i = 0; i < kFrames; ++i)
    for (int c = 0; c < 2; ++c)
      std::fwrite(&out[c][i], sizeof(float), 1, f);
  std::fclose(f);
  Ok("rendered " + std::to_string(kFrames) + " frames into " + outPath);
  return 0;
}

// ---- editor (Windows)

#if defined(_WIN32)

constexpr int kWidth = 1001, kHeight = 579;
const wchar_t kHostClass[] = L"QuantaloopClapCheckHost";

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// The plug-in's events of a flush, as "begin value 1 end ".
std::string FlushedGestures(const TInstance& fx) {
  TEvents none, out;
  fx.Params->flush(fx.P, &none.In, &out.Out);
  std::string heard;
  for (size_t i = 0; i < out.Items.size(); ++i) {
    const clap::event_header& e = out.At(i);
    if (e.type == clap::kEventParamGestureBegin)
      heard += "begin ";
    else if (e.type == clap::kEventParamGestureEnd)
      heard += "end ";
    else if (e.type == clap::kEventParamValue)
      heard += "value " +
               std::to_string(
                   static_cast<int>(reinterpret_cast<const clap::event_param_value&>(e).value)) +
               " ";
    else
      heard += "other ";
  }
  return heard;
}

bool DriveHeadless(const TInstance& fx, TEditorDrive d) {
  auto* drive = static_cast<const clapq::TEditorDriveExtension*>(
      fx.P->get_extension(fx.P, clapq::kEditorDriveExtension));
  return drive && drive->drive(fx.P, &d);
}

std::vector<uint32_t> HeadlessPixels(const TInstance& fx) {
  std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
  TEditorDrive d{.Command = edcPixels, .Width = kWidth, .Height = kHeight};
  d.Pixels = pixels.data();
  if (!DriveHeadless(fx, d)) pixels.clear();
  return pixels;
}

// The window's timer ticks by the clock, the headless one only when told: moves the headless
// editor on 10 ms at a time, up to the time the window has been open, until the pictures agree.
bool Agree(HWND host, const TInstance& mirror, long& mirrorMs, DWORD opened) {
  PumpFor(150);
  const std::vector<uint32_t> shot = qlhosts::WindowPixels(host, kWidth, kHeight);
  const long elapsed = static_cast<long>(GetTickCount() - opened);
  while (mirrorMs <= elapsed + 150) {
    if (HeadlessPixels(mirror) == shot) return true;
    DriveHeadless(mirror, {.Command = edcAdvance, .Milliseconds = 10});
    mirrorMs += 10;
  }
  return false;
}

int Editor(const clap::plugin_entry* entry) {
  THost host, mirrorHost;
  TInstance fx(entry, host), mirror(entry, mirrorHost);
  if (!fx.Gui || !mirror.Gui) {
    Fail("no gui extension");
    return 1;
  }
  // The pointer away from where the window will be, so that it shows no hint the headless
  // editor does not.
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kHostClass;
  RegisterClassExW(&wc);
  RECT r{0, 0, kWidth, kHeight};
  AdjustWindowRect(&r, WS_POPUP, FALSE);
  HWND window =
      CreateWindowExW(0, kHostClass, L"clapcheck", WS_POPUP | WS_VISIBLE, 0, 0, r.right - r.left,
                      r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) {
    Fail("no host window");
    return 1;
  }
  if (fx.Gui->is_api_supported(fx.P, clap::kWindowApiWin32, false) &&
      fx.Gui->create(fx.P, clap::kWindowApiWin32, false))
    Ok("gui create(\"win32\", embedded)");
  else
    Fail("gui create(\"win32\", embedded) refused");
  uint32_t w = 0, h = 0;
  if (fx.Gui->get_size(fx.P, &w, &h) && w == kWidth && h == kHeight)
    Ok("get_size " + std::to_string(w) + "x" + std::to_string(h));
  else
    Fail("get_size " + std::to_string(w) + "x" + std::to_string(h));
  clap::window parent{clap::kWindowApiWin32, {}};
  parent.win32 = window;
  if (fx.Gui->set_parent(fx.P, &parent) && fx.Gui->show(fx.P))
    Ok("set_parent: the editor lives in the host window");
  else
    Fail("set_parent refused the host window");
  const DWORD opened = GetTickCount();
  TEditorDrive headless{.Command = edcUseHeadless, .Value = 1};
  clap::window none{clap::kWindowApiWin32, {}};
  if (!DriveHeadless(mirror, headless) ||
      !mirror.Gui->create(mirror.P, clap::kWindowApiWin32, false) ||
      !mirror.Gui->set_parent(mirror.P, &none)) {
    Fail("no headless editor to compare with");
    return 1;
  }
  long mirrorMs = 0;
  if (Agree(window, mirror, mirrorMs, opened))
    Ok("the window's pixels equal the headless rendering");
  else
    Fail("the window's pixels differ from the headless rendering");

  // A click on the dither block, as the system's mouse messages to the editor's window.
  HWND editor = GetWindow(window, GW_CHILD);
  POINT at{414 + 113, 13 + 60};
  HWND target = editor ? ChildWindowFromPoint(editor, at) : nullptr;
  if (!target) target = editor;
  POINT local = at;
  MapWindowPoints(window, target, &local, 1);
  const LPARAM where = MAKELPARAM(local.x, local.y);
  PostMessageW(target, WM_MOUSEMOVE, 0, where);
  PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageW(target, WM_LBUTTONUP, 0, where);
  PumpFor(200);
  for (TEditorDriveCommand c : {edcMove, edcPress, edcRelease})
    DriveHeadless(
        mirror,
        {.Command = c, .X = at.x, .Y = at.y, .Shift = c == edcPress ? uint32_t{edsLeft} : 0u});
  const std::string heard = FlushedGestures(fx);
  if (host.FlushRequests > 0 && heard == "begin value 1 end ")
    Ok("the click asked for a flush and arrived as: " + heard);
  else
    Fail("the click arrived as: '" + heard + "' with " + std::to_string(host.FlushRequests) +
         " flush requests");
  if (Agree(window, mirror, mirrorMs, opened))
    Ok("after the click the pixels equal the headless rendering");
  else
    Fail("after the click the pixels differ from the headless rendering");

  // The host invalidates its window with its children: the editor paints it again, alike.
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  if (Agree(window, mirror, mirrorMs, opened))
    Ok("after the host invalidated its window the pixels equal the headless rendering");
  else
    Fail("after the host invalidated its window the pixels differ from the headless rendering");

  // A press on the oversampling number whose release never comes: the host takes the capture.
  POINT number{91 + 73, 176 + 20};
  HWND numberTarget = editor ? ChildWindowFromPoint(editor, number) : nullptr;
  if (!numberTarget) numberTarget = editor;
  POINT numberLocal = number;
  MapWindowPoints(window, numberTarget, &numberLocal, 1);
  const LPARAM numberAt = MAKELPARAM(numberLocal.x, numberLocal.y);
  PostMessageW(numberTarget, WM_MOUSEMOVE, 0, numberAt);
  PostMessageW(numberTarget, WM_LBUTTONDOWN, MK_LBUTTON, numberAt);
  PumpFor(150);
  SetCapture(window);
  ReleaseCapture();
  PumpFor(150);
  DriveHeadless(mirror, {.Command = edcMove, .X = number.x, .Y = number.y});
  DriveHeadless(mirror,
                {.Command = edcPress, .X = number.x, .Y = number.y, .Shift = uint32_t{edsLeft}});
  DriveHeadless(mirror, {.Command = edcCaptureLost});
  const std::string lost = FlushedGestures(fx);
  if (lost == "begin value 2 end ")
    Ok("a press whose capture the host took ends its gesture: " + lost);
  else
    Fail("a press whose capture the host took arrived as: '" + lost + "'");
  if (Agree(window, mirror, mirrorMs, opened))
    Ok("after the lost capture the pixels equal the headless rendering");
  else
    Fail("after the lost capture the pixels differ from the headless rendering");

  fx.Gui->destroy(fx.P);
  mirror.Gui->destroy(mirror.P);
  if (!GetWindow(window, GW_CHILD))
    Ok("gui destroy removed the editor's window");
  else
    Fail("gui destroy left the editor's window in the host window");
  DestroyWindow(window);
  UnregisterClassW(kHostClass, wc.hInstance);
  return gFailures ? 1 : 0;
}

// ---- pointer (Windows)

const wchar_t kPointerHostClass[] = L"QuantaloopClapPointerHost";

// One instance with its editor open in a host window of its own, which serves the timer the
// plug-in registered and keeps what the flushes carried.
struct TPointerSlot {
  THost Host;
  std::unique_ptr<TInstance> Fx;
  const clap::plugin_timer_support* Timer = nullptr;
  HWND Window = nullptr;
  HWND Editor = nullptr;
  std::vector<std::string> Heard;
};

LRESULT CALLBACK PointerHostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* slot = reinterpret_cast<TPointerSlot*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_TIMER && slot && slot->Timer && slot->Editor && wParam == 1) {
    slot->Timer->on_timer(slot->Fx->P, 1);
    return 0;
  }
  if (msg == WM_ERASEBKGND) return 1;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The pointer cases through the gui extension; the oversampling number is read with the params
// extension's get_value, and the edits are the gesture and value events of flushes, one asked
// for when the pointer cases read them (the instances are not processing).
class TClapPointerHost final : public qlhosts::TPointerHost {
public:
  explicit TClapPointerHost(const clap::plugin_entry* entry)
      : FEntry(entry), FWindows(kPointerHostClass, PointerHostProc) {}
  ~TClapPointerHost() override { CloseAll(); }

  bool Open(int left, int top) override {
    TPointerSlot& s = *FSlots.emplace_back(std::make_unique<TPointerSlot>());
    s.Fx = std::make_unique<TInstance>(FEntry, s.Host);
    if (!s.Fx->Gui || !s.Fx->Params) return false;
    s.Timer = static_cast<const clap::plugin_timer_support*>(
        s.Fx->P->get_extension(s.Fx->P, clap::kExtTimerSupport));
    s.Window = FWindows.Create(left, top, &s);
    if (!s.Window) return false;
    clap::window parent{clap::kWindowApiWin32, {}};
    parent.win32 = s.Window;
    if (!s.Fx->Gui->create(s.Fx->P, clap::kWindowApiWin32, false)) return false;
    if (!s.Fx->Gui->set_parent(s.Fx->P, &parent) || !s.Fx->Gui->show(s.Fx->P)) return false;
    s.Editor = GetWindow(s.Window, GW_CHILD);
    if (s.Host.TimerOn) SetTimer(s.Window, 1, s.Host.TimerPeriod, nullptr);
    return s.Editor != nullptr;
  }
  HWND Host(size_t slot) const override { return FSlots[slot]->Window; }
  HWND Editor(size_t slot) const override { return FSlots[slot]->Editor; }
  float Oversampling(size_t slot) override {
    const TInstance& fx = *FSlots[slot]->Fx;
    double value = -1;
    fx.Params->get_value(fx.P, clapq::ParamIdOf(ppOversampling), &value);
    return static_cast<float>(value);
  }
  void ClearEdits(size_t slot) override {
    TPointerSlot& s = *FSlots[slot];
    Flush(s);
    s.Heard.clear();
    s.Host.FlushRequests = 0;
  }
  // A host that is not processing hears the events only through a flush it was asked for.
  std::string Edits(size_t slot) override {
    TPointerSlot& s = *FSlots[slot];
    const bool asked = s.Host.FlushRequests > 0;
    Flush(s);
    std::string joined;
    for (const std::string& e : s.Heard)
      joined += (joined.empty() ? "" : ", ") + e;
    if (joined.empty()) return "nothing";
    return asked ? joined : joined + ", without a flush request";
  }
  std::string WholeEdit(float value) const override {
    const int index = ppOversampling;
    char text[96];
    std::snprintf(text, sizeof(text), "gesture begin %d, value %d = %g, gesture end %d", index,
                  index, static_cast<double>(value), index);
    return text;
  }
  void CloseEditor(size_t slot) override {
    TPointerSlot& s = *FSlots[slot];
    if (!s.Editor) return;
    KillTimer(s.Window, 1);
    s.Fx->Gui->destroy(s.Fx->P);
    s.Editor = nullptr;
  }
  void CloseAll() override {
    for (size_t slot = 0; slot < FSlots.size(); ++slot) {
      CloseEditor(slot);
      if (FSlots[slot]->Window) DestroyWindow(FSlots[slot]->Window);
    }
    FSlots.clear();
  }

private:
  static std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof(text), "%g", v);
    return text;
  }
  // What a flush carries, as "gesture begin N", "value N = V", "gesture end N" (N the
  // parameter's index).
  static void Flush(TPointerSlot& s) {
    TEvents none, out;
    s.Fx->Params->flush(s.Fx->P, &none.In, &out.Out);
    for (size_t i = 0; i < out.Items.size(); ++i) {
      const clap::event_header& e = out.At(i);
      if (e.type == clap::kEventParamGestureBegin || e.type == clap::kEventParamGestureEnd) {
        const auto& g = reinterpret_cast<const clap::event_param_gesture&>(e);
        s.Heard.push_back(std::string(e.type == clap::kEventParamGestureBegin ? "gesture begin "
                                                                              : "gesture end ") +
                          std::to_string(clapq::ParamIndexOf(g.param_id)));
      } else if (e.type == clap::kEventParamValue) {
        const auto& v = reinterpret_cast<const clap::event_param_value&>(e);
        s.Heard.push_back("value " + std::to_string(clapq::ParamIndexOf(v.param_id)) + " = " +
                          Number(v.value));
      } else {
        s.Heard.push_back("event of type " + std::to_string(e.type));
      }
    }
  }

  const clap::plugin_entry* FEntry;
  qlhosts::THostWindows FWindows;
  std::vector<std::unique_ptr<TPointerSlot>> FSlots;
};

int Pointer(const clap::plugin_entry* entry) {
  TClapPointerHost host(entry);
  gFailures += qlhosts::RunPointerCases(host);
  return gFailures ? 1 : 0;
}

#endif

} // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s render CLAP OUT.f32 | editor CLAP | pointer CLAP\n", argv[0]);
    return 2;
  }
  const clap::plugin_entry* entry = LoadEntry(argv[2]);
  if (!entry || !entry->init || !entry->init(argv[2])) {
    std::printf("FAIL cannot load %s or find its clap_entry\n", argv[2]);
    return 1;
  }
  int status = 2;
  if (std::strcmp(argv[1], "render") == 0 && argc == 4) status = Render(entry, argv[3]);
#if defined(_WIN32)
  if (std::strcmp(argv[1], "editor") == 0) status = Editor(entry);
  if (std::strcmp(argv[1], "pointer") == 0 && argc == 3) status = Pointer(entry);
#endif
  entry->deinit();
  if (status == 2) {
    std::fprintf(stderr, "usage: %s render CLAP OUT.f32 | editor CLAP | pointer CLAP\n", argv[0]);
    return 2;
  }
  std::printf("clapcheck: %s\n", status == 0 && gFailures == 0 ? "passed" : "FAILED");
  return status == 0 && gFailures == 0 ? 0 : 1;
}
