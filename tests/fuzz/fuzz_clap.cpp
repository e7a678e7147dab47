// libFuzzer target: the input is a script of CLAP calls replayed on one instance made by the
// function behind the library's factory. Calls come in any order a careless host may make them
// (activate twice, process while inactive, flush at any time, the editor opened and closed
// around everything); every event is allocated with exactly the size its header claims, so
// that the address sanitizer sees any read past what the plug-in was given; state loads read
// random bytes, in random chunk sizes, with read errors.
#include "clap/ClapDescription.h"
#include "clap/ClapInterface.h"
#include "clap/ClapPlugin.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

class TScript {
public:
  TScript(const uint8_t* data, size_t size) : Data(data), Size(size) {}
  bool Done() const { return Pos >= Size; }
  uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
  template <typename T> T Raw() {
    T v{};
    uint8_t bytes[sizeof(T)] = {};
    for (size_t i = 0; i < sizeof(T); ++i)
      bytes[i] = Byte();
    std::memcpy(&v, bytes, sizeof(T));
    return v;
  }
  uint32_t Small(uint32_t limit) { return limit ? Raw<uint16_t>() % limit : 0; }
  double Value() {
    static const double kSpecial[] = {0.0,
                                      -0.0,
                                      1.0,
                                      0.5,
                                      0.49,
                                      24.0,
                                      128.0,
                                      1e30,
                                      -1.0,
                                      std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::denorm_min()};
    const uint8_t kind = Byte();
    if (kind < 96) return kSpecial[kind % std::size(kSpecial)];
    if (kind < 192) return Byte() / 2.0;
    return Raw<double>();
  }
  clap::id ParamId() {
    const uint8_t kind = Byte();
    return kind < 224 ? clapq::ParamIdOf(kind % ppCount) : Raw<clap::id>();
  }

private:
  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
};

// A host that offers params, a timer and the descriptor support, and accepts everything.
struct THost {
  clap::host Host{};
  clap::host_params Params{};
  clap::host_timer_support Timer{};
  THost() {
    Host.clap_version = clap::kVersion;
    Host.host_data = this;
    Host.name = "fuzz";
    Host.vendor = "";
    Host.url = "";
    Host.version_text = "";
    Host.get_extension = [](const clap::host* h, const char* id) -> const void* {
      auto* self = static_cast<THost*>(h->host_data);
      if (std::strcmp(id, clap::kExtParams) == 0) return &self->Params;
      if (std::strcmp(id, clap::kExtTimerSupport) == 0) return &self->Timer;
      return nullptr;
    };
    Host.request_restart = Host.request_process = Host.request_callback = [](const clap::host*) {};
    Params.rescan = [](const clap::host*, uint32_t) {};
    Params.clear = [](const clap::host*, clap::id, uint32_t) {};
    Params.request_flush = [](const clap::host*) {};
    Timer.register_timer = [](const clap::host*, uint32_t, clap::id* id) {
      *id = 7;
      return true;
    };
    Timer.unregister_timer = [](const clap::host*, clap::id) { return true; };
  }
};

// Events of random kinds, each in a buffer of exactly the size its header gives.
struct TEvents {
  std::vector<std::vector<uint8_t>> Items;
  clap::input_events In{this,
                        [](const clap::input_events* l) {
                          return static_cast<uint32_t>(static_cast<TEvents*>(l->ctx)->Items.size());
                        },
                        [](const clap::input_events* l, uint32_t i) -> const clap::event_header* {
                          auto& items = static_cast<TEvents*>(l->ctx)->Items;
                          return i < items.size()
                                     ? reinterpret_cast<const clap::event_header*>(items[i].data())
                                     : nullptr;
                        }};
  size_t Pushed = 0;
  bool Refuse = false;
  clap::output_events Out{this, [](const clap::output_events* l, const clap::event_header* e) {
                            auto* self = static_cast<TEvents*>(l->ctx);
                            // Reads the whole event the plug-in says it pushed.
                            volatile uint8_t sink = 0;
                            for (uint32_t i = 0; i < e->size; ++i)
                              sink = sink ^ reinterpret_cast<const uint8_t*>(e)[i];
                            ++self->Pushed;
                            return !self->Refuse;
                          }};

  void Fill(TScript& s, uint32_t frames) {
    Items.clear();
    const uint32_t count = s.Small(40);
    uint32_t time = 0;
    for (uint32_t i = 0; i < count; ++i) {
      time += s.Small(frames / 4 + 2);
      const uint8_t kind = s.Byte();
      uint16_t type;
      uint32_t size;
      switch (kind % 6) {
      case 0:
      case 1:
        type = clap::kEventParamValue;
        size = sizeof(clap::event_param_value);
        break;
      case 2:
        type = clap::kEventMidi;
        size = sizeof(clap::event_midi);
        break;
      case 3:
        type = s.Byte() & 1 ? clap::kEventNoteOn : clap::kEventNoteOff;
        size = sizeof(clap::event_note);
        break;
      default:
        type = static_cast<uint16_t>(s.Byte() % 16);
        size = sizeof(clap::event_header) + s.Small(48);
      }
      // Now and then a header that claims less than its kind needs.
      if (s.Byte() < 16) size = sizeof(clap::event_header) + s.Small(static_cast<uint32_t>(size));
      std::vector<uint8_t> e(size);
      for (uint8_t& b : e)
        b = s.Byte();
      clap::event_header h{size, s.Byte() < 8 ? s.Raw<uint32_t>() : time,
                           static_cast<uint16_t>(s.Byte() < 8 ? 1 : clap::kCoreEventSpace), type,
                           0};
      std::memcpy(e.data(), &h, sizeof(h));
      if (type == clap::kEventParamValue && size >= sizeof(clap::event_param_value)) {
        clap::event_param_value p;
        std::memcpy(&p, e.data(), sizeof(p));
        p.param_id = s.ParamId();
        p.value = s.Value();
        std::memcpy(e.data(), &p, sizeof(p));
      }
      Items.push_back(std::move(e));
    }
  }
};

struct TStream {
  TScript* S;
  std::vector<uint8_t> Bytes;
  size_t At = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TScript s(data, size);
  THost host;
  const clap::plugin* p = clapq::CreatePlugin(&host.Host);
  if (!p || !p->init(p)) return 0;
  auto* params = static_cast<const clap::plugin_params*>(p->get_extension(p, clap::kExtParams));
  auto* state = static_cast<const clap::plugin_state*>(p->get_extension(p, clap::kExtState));
  auto* gui = static_cast<const clap::plugin_gui*>(p->get_extension(p, clap::kExtGui));
  auto* timer =
      static_cast<const clap::plugin_timer_support*>(p->get_extension(p, clap::kExtTimerSupport));
  auto* drive = static_cast<const clapq::TEditorDriveExtension*>(
      p->get_extension(p, clapq::kEditorDriveExtension));
  TEditorDrive headless{.Command = edcUseHeadless, .Value = 1};
  drive->drive(p, &headless);

  TEvents events, out;
  std::vector<float> buffers[4];
  for (int step = 0; step < 64 && !s.Done(); ++step) {
    switch (s.Byte() % 12) {
    case 0:
      p->activate(p, 44100.0, 1, 1 + s.Small(4096));
      break;
    case 1:
      p->deactivate(p);
      break;
    case 2:
      p->start_processing(p);
      break;
    case 3:
      p->stop_processing(p);
      break;
    case 4:
      p->reset(p);
      break;
    case 5:
    case 6: {
      const uint32_t frames = s.Small(1100);
      for (auto& b : buffers)
        b.assign(frames, static_cast<float>(s.Value()));
      const bool inPlace = s.Byte() & 1;
      float* ins[2] = {buffers[0].data(), buffers[1].data()};
      float* outs[2] = {inPlace ? ins[0] : buffers[2].data(), inPlace ? ins[1] : buffers[3].data()};
      clap::audio_buffer ib{ins, nullptr, 2, 0, 0}, ob{outs, nullptr, 2, 0, 0};
      events.Fill(s, frames);
      out.Refuse = s.Byte() < 32;
      clap::process pr{};
      pr.frames_count = frames;
      pr.audio_inputs = &ib;
      pr.audio_outputs = &ob;
      pr.audio_inputs_count = pr.audio_outputs_count = s.Byte() < 8 ? 0 : 1;
      pr.in_events = &events.In;
      pr.out_events = &out.Out;
      p->process(p, &pr);
      break;
    }
    case 7:
      events.Fill(s, 64);
      out.Refuse = s.Byte() < 32;
      params->flush(p, &events.In, &out.Out);
      break;
    case 8: {
      TStream st{&s, {}, 0};
      const size_t n = s.Small(200);
      for (size_t i = 0; i < n; ++i)
        st.Bytes.push_back(s.Byte());
      clap::istream in{&st, [](const clap::istream* is, void* b, uint64_t want) -> int64_t {
                         auto& t = *static_cast<TStream*>(is->ctx);
                         const uint8_t how = t.S->Byte();
                         if (how < 4) return -1;
                         const size_t take = std::min<size_t>(
                             {static_cast<size_t>(want), t.Bytes.size() - t.At, size_t{1} + how});
                         if (take) std::memcpy(b, t.Bytes.data() + t.At, take);
                         t.At += take;
                         return static_cast<int64_t>(take);
                       }};
      state->load(p, &in);
      break;
    }
    case 9: {
      std::vector<uint8_t> saved;
      clap::ostream o{&saved, [](const clap::ostream* os, const void* b, uint64_t n) -> int64_t {
                        auto& v = *static_cast<std::vector<uint8_t>*>(os->ctx);
                        v.insert(v.end(), static_cast<const uint8_t*>(b),
                                 static_cast<const uint8_t*>(b) + n);
                        return static_cast<int64_t>(n);
                      }};
      state->save(p, &o);
      break;
    }
    case 10: {
      const clap::id id = s.ParamId();
      double v = 0.0;
      params->get_value(p, id, &v);
      char text[64];
      const uint32_t capacity = 1 + s.Small(sizeof(text) - 1);
      params->value_to_text(p, id, s.Value(), text, capacity);
      char in[24];
      for (char& c : in)
        c = static_cast<char>(s.Byte());
      in[sizeof(in) - 1] = 0;
      params->text_to_value(p, id, in, &v);
      clap::param_info info;
      params->get_info(p, s.Small(8), &info);
      break;
    }
    default: {
      // The editor: opened, clicked and dragged, served, closed.
      const uint8_t what = s.Byte() % 4;
      if (what == 0) {
        if (gui->create(p, clapq::kWindowApi, false)) {
          clap::window w{clapq::kWindowApi, {}};
          gui->set_parent(p, &w);
        }
      } else if (what == 1) {
        gui->destroy(p);
      } else if (what == 2) {
        timer->on_timer(p, 7);
      } else {
        static const TEditorDriveCommand kCommands[] = {edcPress, edcRelease, edcMove,
                                                        edcLeave, edcAdvance, edcCaptureLost};
        TEditorDrive d{.Command = kCommands[s.Byte() % std::size(kCommands)],
                       .X = static_cast<int32_t>(s.Small(1100)) - 50,
                       .Y = static_cast<int32_t>(s.Small(700)) - 50,
                       .Shift = s.Byte() & 0x3Fu,
                       .Milliseconds = s.Small(300)};
        drive->drive(p, &d);
      }
    }
    }
  }
  gui->destroy(p);
  p->stop_processing(p);
  p->deactivate(p);
  p->destroy(p);
  return 0;
}
