#include "ClapHost.h"

#include "TestPaths.h"

#include <algorithm>

namespace qltest {

std::string ClapPath() {
  return ExecutableDir() + "Quantaloop.clap";
}

TClapLibrary::TClapLibrary(bool freshCopy) : FLibrary(ClapPath(), freshCopy) {
  Entry = static_cast<const clap::plugin_entry*>(FLibrary.Symbol("clap_entry"));
  if (!Entry || !Entry->init || !Entry->init(ClapPath().c_str())) return;
  FInitialised = true;
  Factory = static_cast<const clap::plugin_factory*>(Entry->get_factory(clap::kPluginFactoryId));
}

TClapLibrary::~TClapLibrary() {
  if (FInitialised) Entry->deinit();
}

TClapHost::TClapHost(THostOffer offer) : FOffer(offer), FMain(std::this_thread::get_id()) {
  FHost.clap_version = clap::kVersion;
  FHost.host_data = this;
  FHost.name = "ql-clap-test";
  FHost.vendor = "Quantaloop tests";
  FHost.url = "";
  FHost.version_text = "1";
  FHost.get_extension = &TClapHost::Extension;
  FHost.request_restart = [](const clap::host*) {};
  FHost.request_process = [](const clap::host*) {};
  FHost.request_callback = [](const clap::host*) {};
  FParams.rescan = [](const clap::host* h, uint32_t) { Of(h).OnMain("params.rescan"); };
  FParams.clear = [](const clap::host* h, clap::id, uint32_t) { Of(h).OnMain("params.clear"); };
  // Safe from any thread but the audio thread.
  FParams.request_flush = [](const clap::host* h) {
    TClapHost& host = Of(h);
    if (std::this_thread::get_id() == host.AudioThread) host.WrongThread.push_back("request_flush");
    ++host.FlushRequests;
  };
  FTimerSupport.register_timer = [](const clap::host* h, uint32_t period, clap::id* id) {
    TClapHost& host = Of(h);
    host.OnMain("register_timer");
    *id = host.FNextTimer++;
    host.Timers.push_back({period, *id});
    ++host.TimerRegistrations;
    return true;
  };
  FTimerSupport.unregister_timer = [](const clap::host* h, clap::id id) {
    TClapHost& host = Of(h);
    host.OnMain("unregister_timer");
    auto it = std::find_if(host.Timers.begin(), host.Timers.end(),
                           [id](const TTimer& t) { return t.Id == id; });
    if (it == host.Timers.end()) return false;
    host.Timers.erase(it);
    ++host.TimerUnregistrations;
    return true;
  };
  FFdSupport.register_fd = [](const clap::host* h, int fd, uint32_t) {
    TClapHost& host = Of(h);
    host.OnMain("register_fd");
    host.Fds.push_back(fd);
    ++host.FdRegistrations;
    return true;
  };
  FFdSupport.modify_fd = [](const clap::host* h, int, uint32_t) {
    Of(h).OnMain("modify_fd");
    return true;
  };
  FFdSupport.unregister_fd = [](const clap::host* h, int fd) {
    TClapHost& host = Of(h);
    host.OnMain("unregister_fd");
    auto it = std::find(host.Fds.begin(), host.Fds.end(), fd);
    if (it == host.Fds.end()) return false;
    host.Fds.erase(it);
    ++host.FdUnregistrations;
    return true;
  };
  FThreadCheck.is_main_thread = [](const clap::host* h) {
    return std::this_thread::get_id() == Of(h).FMain;
  };
  FThreadCheck.is_audio_thread = [](const clap::host* h) {
    return std::this_thread::get_id() == Of(h).AudioThread;
  };
}

void TClapHost::OnMain(const char* what) {
  if (std::this_thread::get_id() != FMain) WrongThread.push_back(what);
}

const void* CLAP_CALL TClapHost::Extension(const clap::host* h, const char* id) {
  TClapHost& host = Of(h);
  if (std::strcmp(id, clap::kExtParams) == 0 && host.FOffer.Params) return &host.FParams;
  if (std::strcmp(id, clap::kExtTimerSupport) == 0 && host.FOffer.Timer) return &host.FTimerSupport;
  if (std::strcmp(id, clap::kExtPosixFdSupport) == 0 && host.FOffer.Fd) return &host.FFdSupport;
  if (std::strcmp(id, clap::kExtThreadCheck) == 0 && host.FOffer.ThreadCheck)
    return &host.FThreadCheck;
  return nullptr;
}

TInputEvents::TInputEvents() {
  FList.ctx = this;
  FList.size = [](const clap::input_events* l) {
    return static_cast<uint32_t>(static_cast<TInputEvents*>(l->ctx)->FEvents.size());
  };
  FList.get = [](const clap::input_events* l, uint32_t i) -> const clap::event_header* {
    auto& events = static_cast<TInputEvents*>(l->ctx)->FEvents;
    return i < events.size() ? reinterpret_cast<const clap::event_header*>(events[i].data())
                             : nullptr;
  };
}

void TInputEvents::Add(const void* event, uint32_t size) {
  const auto* bytes = static_cast<const uint8_t*>(event);
  FEvents.emplace_back(bytes, bytes + size);
}

void TInputEvents::Param(uint32_t time, clap::id id, double value) {
  clap::event_param_value e{};
  e.header = {sizeof(e), time, clap::kCoreEventSpace, clap::kEventParamValue, 0};
  e.param_id = id;
  e.note_id = -1;
  e.port_index = e.channel = e.key = -1;
  e.value = value;
  Add(&e, sizeof(e));
}

void TInputEvents::Midi(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2) {
  clap::event_midi e{};
  e.header = {sizeof(e), time, clap::kCoreEventSpace, clap::kEventMidi, 0};
  e.data[0] = status;
  e.data[1] = data1;
  e.data[2] = data2;
  Add(&e, sizeof(e));
}

void TInputEvents::Note(uint32_t time, uint16_t type, int16_t channel, int16_t key, double velocity,
                        int32_t noteId) {
  clap::event_note e{};
  e.header = {sizeof(e), time, clap::kCoreEventSpace, type, 0};
  e.note_id = noteId;
  e.port_index = 0;
  e.channel = channel;
  e.key = key;
  e.velocity = velocity;
  Add(&e, sizeof(e));
}

TOutputEvents::TOutputEvents() {
  FList.ctx = this;
  FList.try_push = [](const clap::output_events* l, const clap::event_header* e) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(e);
    static_cast<TOutputEvents*>(l->ctx)->Events.emplace_back(bytes, bytes + e->size);
    return true;
  };
}

std::vector<std::string> TOutputEvents::Lines() const {
  std::vector<std::string> lines;
  for (size_t i = 0; i < Events.size(); ++i) {
    const auto& h = As<clap::event_header>(i);
    std::string line;
    switch (h.type) {
    case clap::kEventParamGestureBegin:
      line = "begin " + std::to_string(As<clap::event_param_gesture>(i).param_id);
      break;
    case clap::kEventParamGestureEnd:
      line = "end " + std::to_string(As<clap::event_param_gesture>(i).param_id);
      break;
    case clap::kEventParamValue: {
      const auto& e = As<clap::event_param_value>(i);
      char v[32];
      std::snprintf(v, sizeof(v), "%g", e.value);
      line = "value " + std::to_string(e.param_id) + " " + v;
      break;
    }
    case clap::kEventMidi: {
      const auto& e = As<clap::event_midi>(i);
      line = "midi " + std::to_string(h.time) + " " + std::to_string(e.data[0]) + " " +
             std::to_string(e.data[1]) + " " + std::to_string(e.data[2]);
      break;
    }
    case clap::kEventNoteOn:
    case clap::kEventNoteOff: {
      const auto& e = As<clap::event_note>(i);
      line = std::string(h.type == clap::kEventNoteOn ? "note on " : "note off ") +
             std::to_string(h.time) + " " + std::to_string(e.channel) + " " +
             std::to_string(e.key) + " " + std::to_string(e.note_id);
      break;
    }
    default:
      line = "type " + std::to_string(h.type);
    }
    lines.push_back(line);
  }
  return lines;
}

TClapInstance::TClapInstance(const TClapLibrary& library, const TClapHost& host) {
  if (!library.Factory) return;
  const clap::plugin_descriptor* d = library.Factory->get_plugin_descriptor(library.Factory, 0);
  if (!d) return;
  P = library.Factory->create_plugin(library.Factory, host.Host(), d->id);
  if (!P) return;
  if (!P->init(P)) {
    P->destroy(P);
    P = nullptr;
    return;
  }
  Params = Ext<clap::plugin_params>(clap::kExtParams);
  State = Ext<clap::plugin_state>(clap::kExtState);
  Gui = Ext<clap::plugin_gui>(clap::kExtGui);
}

TClapInstance::~TClapInstance() {
  if (!P) return;
  Deactivate();
  P->destroy(P);
}

bool TClapInstance::Activate(uint32_t maxFrames) {
  if (!P->activate(P, 48000.0, 1, maxFrames)) return false;
  Active = true;
  Processing = P->start_processing(P);
  return Processing;
}

void TClapInstance::Deactivate() {
  if (Processing) P->stop_processing(P);
  Processing = false;
  if (Active) P->deactivate(P);
  Active = false;
}

clap::process_status TClapInstance::Process(float* const* in, float* const* out, uint32_t frames,
                                            const TInputEvents& events, TOutputEvents& outEvents) {
  clap::audio_buffer input{const_cast<float**>(in), nullptr, 2, 0, 0};
  clap::audio_buffer output{const_cast<float**>(out), nullptr, 2, 0, ~uint64_t{0}};
  clap::process p{};
  p.steady_time = -1;
  p.frames_count = frames;
  p.audio_inputs = &input;
  p.audio_outputs = &output;
  p.audio_inputs_count = 1;
  p.audio_outputs_count = 1;
  p.in_events = events.List();
  p.out_events = outEvents.List();
  return P->process(P, &p);
}

double TClapInstance::Value(clap::id id) const {
  double v = -1.0;
  if (!Params->get_value(P, id, &v)) return -1.0;
  return v;
}

std::vector<uint8_t> TClapInstance::Save() const {
  std::vector<uint8_t> blob;
  clap::ostream s{&blob, [](const clap::ostream* s, const void* b, uint64_t n) -> int64_t {
                    // Takes at most 3 bytes a call, as a host's stream may.
                    const uint64_t take = std::min<uint64_t>(n, 3);
                    auto* out = static_cast<std::vector<uint8_t>*>(s->ctx);
                    out->insert(out->end(), static_cast<const uint8_t*>(b),
                                static_cast<const uint8_t*>(b) + take);
                    return static_cast<int64_t>(take);
                  }};
  if (!State->save(P, &s)) blob.clear();
  return blob;
}

bool TClapInstance::Load(const std::vector<uint8_t>& blob) const {
  struct TReader {
    const std::vector<uint8_t>& Blob;
    size_t At = 0;
  } reader{blob};
  clap::istream s{&reader, [](const clap::istream* s, void* b, uint64_t n) -> int64_t {
                    auto& r = *static_cast<TReader*>(s->ctx);
                    // At most 5 bytes a call.
                    const size_t take =
                        std::min<size_t>({static_cast<size_t>(n), size_t{5}, r.Blob.size() - r.At});
                    if (take) std::memcpy(b, r.Blob.data() + r.At, take);
                    r.At += take;
                    return static_cast<int64_t>(take);
                  }};
  return State->load(P, &s);
}

} // namespace qltest
