// Threads, as the interface assigns them:
// - main thread: init, destroy, activate, deactivate, the parameters' descriptions, values and
//   texts, state, the editor and its timer and descriptor, and flush while inactive;
// - audio thread: start and stop processing, reset, process, and flush while active.
//
// Every thread reads the parameters from the store. The audio thread runs each block from its
// own copy of the values, which takes the host's parameter events at their frames and, at the
// block's start, whatever the main thread posted to the mailbox (a gesture, a loaded state)
// whole. The editor's gestures travel to the host as events through a single-producer queue
// that the next process or flush empties; while the host is not processing, the plug-in asks
// for a flush.
//
// process and flush allocate nothing and take no lock.

#include "clap/ClapPlugin.h"

#include "clap/ClapDescription.h"
#include "core/uIdentity.h"
#include "core/uParameterStore.h"
#include "core/uProcessing.h"
#include "core/uPrograms.h"
#include "core/uState.h"
#include "core/uValueText.h"
#include "editor/uEditor.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

namespace clapq {

namespace {

#define QL_TEXT2(x) #x
#define QL_TEXT(x) QL_TEXT2(x)
constexpr const char* kVersionText =
    QL_TEXT(QL_VERSION_MAJOR) "." QL_TEXT(QL_VERSION_MINOR) "." QL_TEXT(QL_VERSION_MICRO);

const clap::plugin_descriptor kDescriptor = {
    clap::kVersion,
    kClapId,
    kPluginName,
    kVendorName,
    "",
    "",
    "",
    kVersionText,
    "A noise-shaping quantiser loop: oversampling, word length, dither and error feedback",
    kFeatures,
};

// A block's state larger than this is not ours: the loader stops reading there.
constexpr size_t kMaxStateBytes = size_t{1} << 20;

// What the editor tells the host, in the order the user did it.
struct TGestureEvent {
  uint16_t Type; // kEventParamGestureBegin, kEventParamValue or kEventParamGestureEnd
  int32_t Index;
  float Real;
};

// One writer (the main thread) and one reader at a time (the audio thread while active, the
// main thread otherwise); wait-free on both sides.
class TGestureQueue {
public:
  // Values give way before the queue is full, so that every gesture's end finds room.
  bool Push(const TGestureEvent& e) {
    const uint32_t head = FHead.load(std::memory_order_relaxed);
    const uint32_t used = head - FTail.load(std::memory_order_acquire);
    const uint32_t limit = e.Type == clap::kEventParamValue ? kCapacity - 8 : kCapacity;
    if (used >= limit) return false;
    FItems[head % kCapacity] = e;
    FHead.store(head + 1, std::memory_order_release);
    return true;
  }
  const TGestureEvent* Front() const {
    const uint32_t tail = FTail.load(std::memory_order_relaxed);
    if (tail == FHead.load(std::memory_order_acquire)) return nullptr;
    return &FItems[tail % kCapacity];
  }
  void Pop() { FTail.store(FTail.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

private:
  static constexpr uint32_t kCapacity = 1024;
  TGestureEvent FItems[kCapacity];
  std::atomic<uint32_t> FHead{0};
  std::atomic<uint32_t> FTail{0};
};

// A main-thread entry that may reach allocating code (the window, the state): whatever it
// throws ends here, answered as `fallback`; nothing crosses into the host.
template <class R, class F> R Guarded(R fallback, F&& f) noexcept {
  try {
    return f();
  } catch (...) {
    return fallback;
  }
}
template <class F> void Guarded(F&& f) noexcept {
  try {
    f();
  } catch (...) {
  }
}

template <class T> const T* HostExtension(const clap::host* host, const char* id) {
  return host->get_extension ? static_cast<const T*>(host->get_extension(host, id)) : nullptr;
}

// The echoes of one block's notes, pushed to the host's output list at their frames. A note in
// the CLAP dialect is answered in that dialect, a MIDI message as MIDI.
class TEchoSink final : public TNoteSink {
public:
  explicit TEchoSink(const clap::output_events* out) : FOut(out) {}
  void Answer(const clap::event_note& note) { FNote = &note; }
  void AnswerMidi() { FNote = nullptr; }

  void Send(const TNoteMessage& echo) override {
    if (!FOut || !FOut->try_push) return;
    const bool on = (echo.Data[0] & 0xF0) == 0x90;
    if (FNote) {
      clap::event_note e = *FNote;
      e.header.size = sizeof(e);
      e.header.type = on ? clap::kEventNoteOn : clap::kEventNoteOff;
      e.header.flags = 0;
      e.port_index = 0;
      FOut->try_push(FOut, &e.header);
      return;
    }
    clap::event_midi e{};
    e.header = {sizeof(e), static_cast<uint32_t>(echo.Frame), clap::kCoreEventSpace,
                clap::kEventMidi, 0};
    e.port_index = 0;
    std::memcpy(e.data, echo.Data, 3);
    FOut->try_push(FOut, &e.header);
  }

private:
  const clap::output_events* FOut;
  const clap::event_note* FNote = nullptr;
};

// A CLAP note as the MIDI message the core's echo rule reads, or false when it names no single
// key on one channel.
bool MidiOfNote(const clap::event_note& note, uint8_t (&message)[3]) {
  if (note.key < 0 || note.key > 127 || note.channel < 0 || note.channel > 15) return false;
  const double v = std::isfinite(note.velocity) ? std::clamp(note.velocity, 0.0, 1.0) : 0.0;
  const bool on = note.header.type == clap::kEventNoteOn;
  message[0] = static_cast<uint8_t>((on ? 0x90 : 0x80) | note.channel);
  message[1] = static_cast<uint8_t>(note.key);
  // A note-on keeps some velocity however soft: only a velocity-0 MIDI note-on means off.
  const long byte = std::lround(v * 127.0);
  message[2] = static_cast<uint8_t>(on ? std::max(1L, byte) : byte);
  return true;
}

class TPlugin final : public TEditorView {
public:
  explicit TPlugin(const clap::host* host) : FHost(host) {
    FRecord.desc = &kDescriptor;
    FRecord.plugin_data = this;
    FRecord.init = [](const clap::plugin* p) { return Of(p).Init(); };
    FRecord.destroy = [](const clap::plugin* p) { Guarded([p] { delete &Of(p); }); };
    FRecord.activate = [](const clap::plugin* p, double, uint32_t, uint32_t) {
      return Of(p).Activate();
    };
    FRecord.deactivate = [](const clap::plugin* p) {
      Of(p).FActive.store(false, std::memory_order_release);
    };
    FRecord.start_processing = [](const clap::plugin* p) {
      Of(p).FProcessing.store(true, std::memory_order_release);
      return true;
    };
    FRecord.stop_processing = [](const clap::plugin* p) {
      Of(p).FProcessing.store(false, std::memory_order_release);
    };
    FRecord.reset = [](const clap::plugin* p) { Of(p).FProcessor.Reset(); };
    FRecord.process = [](const clap::plugin* p, const clap::process* data) {
      return Of(p).Process(data);
    };
    FRecord.get_extension = [](const clap::plugin*, const char* id) { return Extension(id); };
    FRecord.on_main_thread = [](const clap::plugin*) {};
  }

  ~TPlugin() {
    // A window the host left open still ends its gesture, but the host is going: no requests.
    FClosing = true;
    CloseEditor();
  }

  static TPlugin& Of(const clap::plugin* p) { return *static_cast<TPlugin*>(p->plugin_data); }
  const clap::plugin* Record() const { return &FRecord; }

  // TEditorView: the store holds what the window shows; a gesture's values go to the audio
  // thread through the mailbox and to the host as events.
  float ParameterReal(int32_t index) override { return FStore.Real(index); }
  void BeginGesture(int32_t index) override {
    TellHost({clap::kEventParamGestureBegin, index, 0.0f});
  }
  void SetParameterByGesture(int32_t index, float real) override {
    const float limited = LimitReal(index, real);
    FStore.SetReal(index, limited);
    FMailbox.Post(index, limited);
    TellHost({clap::kEventParamValue, index, limited});
  }
  void EndGesture(int32_t index) override { TellHost({clap::kEventParamGestureEnd, index, 0.0f}); }
  bool TakeUpdate() override { return FStore.TakeChanged(); }

private:
  static const void* Extension(const char* id);

  bool Init() {
    if (!FHost) return false;
    FHostParams = HostExtension<clap::host_params>(FHost, clap::kExtParams);
    FHostTimer = HostExtension<clap::host_timer_support>(FHost, clap::kExtTimerSupport);
    FHostFd = HostExtension<clap::host_posix_fd_support>(FHost, clap::kExtPosixFdSupport);
    return true;
  }

  bool Activate() {
    if (FActive.load(std::memory_order_acquire)) return false;
    // A new activation starts the loop afresh, from what every thread sees now; the mailbox's
    // posts are all in the store already.
    TParameterValues stale{};
    FMailbox.Take(stale);
    FValues = FStore.Values();
    FProcessor.Reset();
    FActive.store(true, std::memory_order_release);
    return true;
  }

  // ---- Audio thread

  // The main thread's posts, then the editor's news to the host.
  void BeginBlock(const clap::output_events* out) {
    if (FMailbox.Take(FValues)) FStore.SetAll(FValues);
    SendGestures(out);
  }

  void SendGestures(const clap::output_events* out) {
    if (!out || !out->try_push) return;
    while (const TGestureEvent* g = FGestures.Front()) {
      bool sent;
      if (g->Type == clap::kEventParamValue) {
        clap::event_param_value e{};
        e.header = {sizeof(e), 0, clap::kCoreEventSpace, clap::kEventParamValue, 0};
        e.param_id = ParamIdOf(g->Index);
        e.note_id = -1;
        e.port_index = e.channel = e.key = -1;
        e.value = g->Real;
        sent = out->try_push(out, &e.header);
      } else {
        clap::event_param_gesture e{};
        e.header = {sizeof(e), 0, clap::kCoreEventSpace, g->Type, 0};
        e.param_id = ParamIdOf(g->Index);
        sent = out->try_push(out, &e.header);
      }
      if (!sent) return;
      FGestures.Pop();
    }
  }

  // A parameter event's index and real value, or false for anything else.
  static bool ParamChangeOf(const clap::event_header& h, int32_t& index, float& real) {
    if (h.type != clap::kEventParamValue || h.size < sizeof(clap::event_param_value)) return false;
    const auto& e = reinterpret_cast<const clap::event_param_value&>(h);
    index = ParamIndexOf(e.param_id);
    // A value that is not a number changes nothing.
    if (index < 0 || std::isnan(e.value)) return false;
    real = LimitReal(index, static_cast<float>(e.value));
    return true;
  }

  static bool IsCore(const clap::event_header* h) {
    return h && h->space_id == clap::kCoreEventSpace && h->size >= sizeof(clap::event_header);
  }

  void EchoNote(const clap::event_header& h, TEchoSink& sink) {
    TNoteMessage m{static_cast<int32_t>(h.time), {}};
    if (h.type == clap::kEventMidi && h.size >= sizeof(clap::event_midi)) {
      std::memcpy(m.Data, reinterpret_cast<const clap::event_midi&>(h).data, 3);
      sink.AnswerMidi();
    } else if ((h.type == clap::kEventNoteOn || h.type == clap::kEventNoteOff) &&
               h.size >= sizeof(clap::event_note)) {
      const auto& note = reinterpret_cast<const clap::event_note&>(h);
      if (!MidiOfNote(note, m.Data)) return;
      sink.Answer(note);
    } else {
      return;
    }
    TEffectProcessor::EchoNotes({&m, 1}, sink);
  }

  clap::process_status Process(const clap::process* data) {
    if (!data || !FActive.load(std::memory_order_acquire)) return clap::kProcessError;
    BeginBlock(data->out_events);
    const int32_t frames = static_cast<int32_t>(std::min<uint32_t>(data->frames_count, INT32_MAX));
    const bool audio = frames > 0 && data->audio_inputs_count >= 1 &&
                       data->audio_outputs_count >= 1 && data->audio_inputs &&
                       data->audio_outputs && data->audio_inputs[0].channel_count >= 2 &&
                       data->audio_outputs[0].channel_count >= 2 && data->audio_inputs[0].data32 &&
                       data->audio_outputs[0].data32 && data->audio_inputs[0].data32[0] &&
                       data->audio_inputs[0].data32[1] && data->audio_outputs[0].data32[0] &&
                       data->audio_outputs[0].data32[1];
    const float* const* in = audio ? data->audio_inputs[0].data32 : nullptr;
    float* const* out = audio ? data->audio_outputs[0].data32 : nullptr;

    // The block runs in parts between the changes; a long list of changes is taken in runs of
    // the buffer's length, each run from the frame of its first change on.
    TParameterChange changes[kChangesPerRun];
    size_t count = 0;
    int32_t begin = 0;
    auto run = [&](int32_t end) {
      if (audio && end > begin) {
        const float* ins[2] = {in[0] + begin, in[1] + begin};
        float* outs[2] = {out[0] + begin, out[1] + begin};
        FProcessor.ProcessSplit(FValues, {changes, count}, {ins, outs, end - begin}, {}, nullptr);
      } else {
        for (size_t i = 0; i < count; ++i)
          FValues.Real[changes[i].Index] = changes[i].Real;
      }
      count = 0;
      begin = end;
    };

    TEchoSink sink(data->out_events);
    const clap::input_events* events = data->in_events;
    const uint32_t n = events && events->size && events->get ? events->size(events) : 0;
    for (uint32_t i = 0; i < n; ++i) {
      const clap::event_header* h = events->get(events, i);
      if (!IsCore(h)) continue;
      int32_t index;
      float real;
      if (ParamChangeOf(*h, index, real)) {
        const int32_t at = std::clamp(static_cast<int32_t>(std::min<uint32_t>(h->time, INT32_MAX)),
                                      begin, std::max(frames, begin));
        if (count == kChangesPerRun) run(at);
        changes[count++] = {at - begin, index, real};
        FStore.SetReal(index, real);
      } else {
        EchoNote(*h, sink);
      }
    }
    run(std::max(frames, begin));
    if (audio) data->audio_outputs[0].constant_mask = 0;
    return audio || frames == 0 ? clap::kProcessContinue : clap::kProcessError;
  }

  // ---- flush: the audio thread while active, else the main thread

  void Flush(const clap::input_events* in, const clap::output_events* out) {
    const bool active = FActive.load(std::memory_order_acquire);
    if (active)
      BeginBlock(out);
    else
      SendGestures(out);
    const uint32_t n = in && in->size && in->get ? in->size(in) : 0;
    for (uint32_t i = 0; i < n; ++i) {
      const clap::event_header* h = in->get(in, i);
      int32_t index;
      float real;
      if (!IsCore(h) || !ParamChangeOf(*h, index, real)) continue;
      if (active) FValues.Real[index] = real;
      FStore.SetReal(index, real);
    }
  }

  // ---- Main thread

  void TellHost(const TGestureEvent& e) {
    FGestures.Push(e);
    if (!FClosing && !FProcessing.load(std::memory_order_acquire) && FHostParams &&
        FHostParams->request_flush)
      FHostParams->request_flush(FHost);
  }

  bool GetInfo(uint32_t index, clap::param_info* info) const {
    if (index >= ppCount || !info) return false;
    const int32_t i = static_cast<int32_t>(index);
    *info = {};
    info->param_id = ParamIdOf(i);
    info->flags = ParamFlagsOf(i);
    std::snprintf(info->name, sizeof(info->name), "%s", kParameters[i].Name);
    info->min_value = 0.0;
    info->max_value = kParameters[i].Max;
    info->default_value = DefaultReal(i);
    return true;
  }

  static bool ValueToText(clap::id id, double value, char* text, uint32_t capacity) {
    const int32_t i = ParamIndexOf(id);
    if (i < 0 || !text || capacity == 0) return false;
    char number[kFixedTextChars + 1];
    ParameterText(i, static_cast<float>(value), '.', number, sizeof(number));
    const char* units = kParameters[i].Units;
    std::snprintf(text, capacity, *units ? "%s %s" : "%s", number, units);
    return true;
  }

  static bool TextToValue(clap::id id, const char* text, double* value) {
    const int32_t i = ParamIndexOf(id);
    float real;
    if (i < 0 || !text || !value || !ParameterFromText(i, text, real)) return false;
    *value = real;
    return true;
  }

  bool SaveTo(const clap::ostream* stream) const {
    if (!stream || !stream->write) return false;
    TStateValues state{FProgram, {}};
    const TParameterValues v = FStore.Values();
    std::copy(std::begin(v.Real), std::end(v.Real), state.Real);
    const std::vector<uint8_t> blob = SaveState(state);
    for (size_t done = 0; done < blob.size();) {
      const int64_t n = stream->write(stream, blob.data() + done, blob.size() - done);
      if (n <= 0 || static_cast<uint64_t>(n) > blob.size() - done) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  bool LoadFrom(const clap::istream* stream) {
    if (!stream || !stream->read) return false;
    std::vector<uint8_t> blob;
    uint8_t chunk[4096];
    for (;;) {
      const int64_t n = stream->read(stream, chunk, sizeof(chunk));
      if (n < 0 || static_cast<uint64_t>(n) > sizeof(chunk)) return false;
      if (n == 0) break;
      if (blob.size() + static_cast<size_t>(n) > kMaxStateBytes) return false;
      blob.insert(blob.end(), chunk, chunk + n);
    }
    TStateValues state{FProgram, {}};
    const TParameterValues now = FStore.Values();
    std::copy(std::begin(now.Real), std::end(now.Real), state.Real);
    if (!LoadState(blob.data(), blob.size(), state)) return false;
    TParameterValues loaded;
    std::copy(std::begin(state.Real), std::end(state.Real), loaded.Real);
    FProgram = state.Program;
    FStore.SetAll(loaded);
    FMailbox.PostAll(loaded);
    return true;
  }

  // ---- The editor

  static bool ApiSupported(const char* api, bool floating) {
    return api && std::strcmp(api, kWindowApi) == 0 && !floating;
  }

  // On Linux nothing but the host's timer serves the window: no timer, no editor.
  bool NeedsHostTimer() const {
#if defined(_WIN32)
    return false;
#else
    return !FHeadless;
#endif
  }

  bool GuiCreate(const char* api, bool floating) {
    if (FGuiCreated || !ApiSupported(api, floating)) return false;
    if (NeedsHostTimer() && !(FHostTimer && FHostTimer->register_timer)) return false;
    FGuiCreated = true;
    return true;
  }

  bool SetParent(const clap::window* w) {
    if (!FGuiCreated || FWindow) return false;
    void* parent = nullptr;
    if (w) {
      if (!w->api || std::strcmp(w->api, kWindowApi) != 0) return false;
#if defined(_WIN32)
      parent = w->win32;
#else
      parent = reinterpret_cast<void*>(static_cast<uintptr_t>(w->x11));
#endif
    }
    if (!parent && !FHeadless) return false;
    std::unique_ptr<TPluginEditorWindow> window = CreatePluginEditorWindow(parent, FHeadless);
    if (!window) return false;
    window->SetBounds(0, 0, window->ClientWidth(), window->ClientHeight());
    window->Link(this);
    FWindow = std::move(window);
    if (FHostTimer && FHostTimer->register_timer) {
      clap::id timer = clap::kInvalidId;
      if (FHostTimer->register_timer(FHost, kEditorTimerMs, &timer)) FTimer = timer;
    }
    if (NeedsHostTimer() && FTimer == clap::kInvalidId) {
      CloseEditor();
      return false;
    }
    const int fd = FWindow->EventDescriptor();
    if (fd >= 0 && FHostFd && FHostFd->register_fd &&
        FHostFd->register_fd(FHost, fd, clap::kFdRead | clap::kFdError))
      FFd = fd;
    return true;
  }

  // Closes the window (which ends a gesture under way through us) and lets go of the host's
  // timer and descriptor.
  void CloseEditor() {
    FWindow.reset();
    if (FTimer != clap::kInvalidId && FHostTimer && FHostTimer->unregister_timer)
      FHostTimer->unregister_timer(FHost, FTimer);
    FTimer = clap::kInvalidId;
    if (FFd >= 0 && FHostFd && FHostFd->unregister_fd) FHostFd->unregister_fd(FHost, FFd);
    FFd = -1;
  }

  void GuiDestroy() {
    CloseEditor();
    FGuiCreated = false;
  }

  void ServeEditor() {
    if (FWindow) FWindow->Idle();
  }

  bool Drive(TEditorDrive* request) {
    if (!request) return false;
    if (request->Command == edcUseHeadless) {
      if (FGuiCreated) return false;
      FHeadless = request->Value != 0;
      return true;
    }
    return FWindow && FWindow->Drive(*request);
  }

  static constexpr size_t kChangesPerRun = 256;

  clap::plugin FRecord{};
  const clap::host* FHost;
  const clap::host_params* FHostParams = nullptr;
  const clap::host_timer_support* FHostTimer = nullptr;
  const clap::host_posix_fd_support* FHostFd = nullptr;

  TParameterStore FStore;
  TSettingsMailbox FMailbox;
  TGestureQueue FGestures;
  std::atomic<bool> FActive{false};
  std::atomic<bool> FProcessing{false};
  bool FClosing = false;
  int32_t FProgram = 0; // main thread: kept in the state, as every format's blob holds it

  // The audio thread's (the main thread's while inactive).
  TParameterValues FValues = FStore.Values();
  TEffectProcessor FProcessor;

  // The editor, main thread only.
  bool FGuiCreated = false;
  bool FHeadless = false;
  std::unique_ptr<TPluginEditorWindow> FWindow;
  clap::id FTimer = clap::kInvalidId;
  int FFd = -1;

  friend struct TExtensions;
};

// The extension tables, one per extension, shared by every instance.
struct TExtensions {
  static constexpr clap::plugin_audio_ports kAudioPorts = {
      [](const clap::plugin*, bool) -> uint32_t { return 1; },
      [](const clap::plugin*, uint32_t index, bool isInput, clap::audio_port_info* info) {
        if (index != 0 || !info) return false;
        *info = {};
        info->port_id = 0;
        std::snprintf(info->name, sizeof(info->name), "%s", isInput ? "Input" : "Output");
        info->flags = clap::kAudioPortIsMain;
        info->channel_count = 2;
        info->port_type = clap::kPortStereo;
        // The output may be the input's buffers.
        info->in_place_pair = 0;
        return true;
      },
  };

  static constexpr clap::plugin_note_ports kNotePorts = {
      [](const clap::plugin*, bool) -> uint32_t { return 1; },
      [](const clap::plugin*, uint32_t index, bool isInput, clap::note_port_info* info) {
        if (index != 0 || !info) return false;
        *info = {};
        info->port_id = 0;
        info->supported_dialects = clap::kNoteDialectClap | clap::kNoteDialectMidi;
        info->preferred_dialect = clap::kNoteDialectMidi;
        std::snprintf(info->name, sizeof(info->name), "%s", isInput ? "MIDI In" : "MIDI Out");
        return true;
      },
  };

  static constexpr clap::plugin_params kParams = {
      [](const clap::plugin*) -> uint32_t { return ppCount; },
      [](const clap::plugin* p, uint32_t index, clap::param_info* info) {
        return TPlugin::Of(p).GetInfo(index, info);
      },
      [](const clap::plugin* p, clap::id id, double* value) {
        const int32_t i = ParamIndexOf(id);
        if (i < 0 || !value) return false;
        *value = TPlugin::Of(p).FStore.Real(i);
        return true;
      },
      [](const clap::plugin*, clap::id id, double value, char* text, uint32_t capacity) {
        return TPlugin::ValueToText(id, value, text, capacity);
      },
      [](const clap::plugin*, clap::id id, const char* text, double* value) {
        return TPlugin::TextToValue(id, text, value);
      },
      [](const clap::plugin* p, const clap::input_events* in, const clap::output_events* out) {
        TPlugin::Of(p).Flush(in, out);
      },
  };

  static constexpr clap::plugin_state kState = {
      [](const clap::plugin* p, const clap::ostream* stream) {
        return Guarded(false, [&] { return TPlugin::Of(p).SaveTo(stream); });
      },
      [](const clap::plugin* p, const clap::istream* stream) {
        return Guarded(false, [&] { return TPlugin::Of(p).LoadFrom(stream); });
      },
  };

  static constexpr clap::plugin_latency kLatency = {
      [](const clap::plugin*) -> uint32_t { return 0; },
  };

  static constexpr clap::plugin_gui kGui = {
      [](const clap::plugin*, const char* api, bool floating) {
        return TPlugin::ApiSupported(api, floating);
      },
      [](const clap::plugin*, const char** api, bool* floating) {
        if (!api || !floating) return false;
        *api = kWindowApi;
        *floating = false;
        return true;
      },
      [](const clap::plugin* p, const char* api, bool floating) {
        return TPlugin::Of(p).GuiCreate(api, floating);
      },
      [](const clap::plugin* p) { Guarded([p] { TPlugin::Of(p).GuiDestroy(); }); },
      // The window has one size; the host scales around it.
      [](const clap::plugin*, double) { return false; },
      [](const clap::plugin* p, uint32_t* width, uint32_t* height) {
        if (!TPlugin::Of(p).FGuiCreated || !width || !height) return false;
        *width = kEditorClientWidth;
        *height = kEditorClientHeight;
        return true;
      },
      [](const clap::plugin*) { return false; },
      [](const clap::plugin*, clap::gui_resize_hints* hints) {
        if (!hints) return false;
        *hints = {false, false, false, 0, 0};
        return true;
      },
      [](const clap::plugin*, uint32_t* width, uint32_t* height) {
        if (!width || !height) return false;
        *width = kEditorClientWidth;
        *height = kEditorClientHeight;
        return true;
      },
      [](const clap::plugin*, uint32_t width, uint32_t height) {
        return width == static_cast<uint32_t>(kEditorClientWidth) &&
               height == static_cast<uint32_t>(kEditorClientHeight);
      },
      [](const clap::plugin* p, const clap::window* w) {
        return Guarded(false, [&] { return TPlugin::Of(p).SetParent(w); });
      },
      [](const clap::plugin*, const clap::window*) { return false; },
      [](const clap::plugin*, const char*) {},
      // Embedded: the window shows with the host's.
      [](const clap::plugin* p) { return TPlugin::Of(p).FWindow != nullptr; },
      [](const clap::plugin* p) { return TPlugin::Of(p).FWindow != nullptr; },
  };

  static constexpr clap::plugin_timer_support kTimer = {
      [](const clap::plugin* p, clap::id timer) {
        TPlugin& fx = TPlugin::Of(p);
        if (timer == fx.FTimer) Guarded([&fx] { fx.ServeEditor(); });
      },
  };

  static constexpr clap::plugin_posix_fd_support kFd = {
      [](const clap::plugin* p, int fd, uint32_t) {
        TPlugin& fx = TPlugin::Of(p);
        if (fd == fx.FFd) Guarded([&fx] { fx.ServeEditor(); });
      },
  };

  static constexpr TEditorDriveExtension kDrive = {
      [](const clap::plugin* p, TEditorDrive* request) {
        return Guarded(false, [&] { return TPlugin::Of(p).Drive(request); });
      },
  };
};

struct TExtensionEntry {
  const char* Id;
  const void* Table;
};

constexpr TExtensionEntry kExtensionTable[] = {
    {clap::kExtAudioPorts, &TExtensions::kAudioPorts},
    {clap::kExtNotePorts, &TExtensions::kNotePorts},
    {clap::kExtParams, &TExtensions::kParams},
    {clap::kExtState, &TExtensions::kState},
    {clap::kExtLatency, &TExtensions::kLatency},
    {clap::kExtGui, &TExtensions::kGui},
    {clap::kExtTimerSupport, &TExtensions::kTimer},
    {clap::kExtPosixFdSupport, &TExtensions::kFd},
    {kEditorDriveExtension, &TExtensions::kDrive},
};

const void* TPlugin::Extension(const char* id) {
  if (!id) return nullptr;
  for (const TExtensionEntry& e : kExtensionTable)
    if (std::strcmp(e.Id, id) == 0) return e.Table;
  return nullptr;
}

} // namespace

const clap::plugin_descriptor& Descriptor() {
  return kDescriptor;
}

const clap::plugin* CreatePlugin(const clap::host* host) noexcept {
  if (!host) return nullptr;
  auto* plugin = new (std::nothrow) TPlugin(host);
  return plugin ? plugin->Record() : nullptr;
}

} // namespace clapq
