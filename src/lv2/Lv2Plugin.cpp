// The effect as an LV2 plug-in: the core's block and note echo, fed from the host's control ports
// instead of stored programs.
//
// Real-time rules: run() allocates nothing and takes no lock. Hosts may run in place (the
// kernel reads each input sample before it writes the output), in blocks of any length, and
// lv2apply passes no features at all: without urid:map the MIDI ports stay idle.

#include "core/uProcessing.h"
#include "core/uPrograms.h"
#include "lv2/Lv2Description.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <new>

namespace {

using namespace lv2q;

struct TInstance {
  const float* Control[ppCount] = {};
  const float* In[2] = {};
  float* Out[2] = {};
  const LV2_Atom_Sequence* MidiIn = nullptr;
  LV2_Atom_Sequence* MidiOut = nullptr;
  LV2_URID MidiEvent = 0;    // 0 without urid:map
  LV2_URID AtomSequence = 0; // likewise
  TEffectProcessor Processor;
};

LV2_Handle Instantiate(const LV2_Descriptor*, double, const char*,
                       const LV2_Feature* const* features) {
  auto* fx = new (std::nothrow) TInstance;
  if (!fx) return nullptr;
  for (const LV2_Feature* const* f = features; f && *f; ++f) {
    if (std::strcmp((*f)->URI, LV2_URID__map) != 0 || !(*f)->data) continue;
    auto* map = static_cast<const LV2_URID_Map*>((*f)->data);
    fx->MidiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
    fx->AtomSequence = map->map(map->handle, LV2_ATOM__Sequence);
  }
  return fx;
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) {
  auto* fx = static_cast<TInstance*>(handle);
  if (port >= kPortCount) return;
  switch (kPorts[port].Kind) {
  case TPortKind::AudioIn:
    fx->In[port - kAudioIn0] = static_cast<const float*>(data);
    break;
  case TPortKind::AudioOut:
    fx->Out[port - kAudioOut0] = static_cast<float*>(data);
    break;
  case TPortKind::Control:
    fx->Control[kPorts[port].Parameter] = static_cast<const float*>(data);
    break;
  case TPortKind::MidiIn:
    fx->MidiIn = static_cast<const LV2_Atom_Sequence*>(data);
    break;
  case TPortKind::MidiOut:
    fx->MidiOut = static_cast<LV2_Atom_Sequence*>(data);
    break;
  }
}

// A new activation starts the loop afresh, as a newly made VST 2 instance does.
void Activate(LV2_Handle handle) {
  static_cast<TInstance*>(handle)->Processor.Reset();
}

// The echoes go into the output sequence as far as it has room.
class TSequenceSink final : public TNoteSink {
public:
  TSequenceSink(LV2_Atom_Sequence& out, uint32_t capacity, LV2_URID midiEvent)
      : FOut(out), FCapacity(capacity), FMidiEvent(midiEvent) {}
  void Send(const TNoteMessage& echo) override {
    const uint32_t need = static_cast<uint32_t>(sizeof(LV2_Atom_Event)) + 3;
    if (FOut.atom.size + lv2_atom_pad_size(need) > FCapacity) return;
    auto* e =
        reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<uint8_t*>(&FOut.body) + FOut.atom.size);
    e->time.frames = echo.Frame;
    e->body.type = FMidiEvent;
    e->body.size = 3;
    std::memcpy(e + 1, echo.Data, 3);
    FOut.atom.size += lv2_atom_pad_size(need);
  }

private:
  LV2_Atom_Sequence& FOut;
  uint32_t FCapacity;
  LV2_URID FMidiEvent;
};

// The echo of every note message of the input sequence, at the same frame, as far as the
// output sequence has room.
void EchoNotes(TInstance& fx) {
  // Without urid:map the host speaks no atoms to us: whatever it connected the MIDI ports to
  // (lv2apply hands them a number's storage) stays untouched.
  LV2_Atom_Sequence* out = fx.MidiOut;
  if (!out || !fx.MidiEvent) return;
  const uint32_t capacity = out->atom.size;
  if (capacity < sizeof(LV2_Atom_Sequence_Body)) {
    // No room even for the sequence's own header: the null atom, complete in the header the
    // host always provides.
    out->atom.type = 0;
    out->atom.size = 0;
    return;
  }
  out->atom.type = fx.AtomSequence;
  out->atom.size = sizeof(LV2_Atom_Sequence_Body);
  out->body.unit = 0;
  out->body.pad = 0;
  if (!fx.MidiIn) return;
  TSequenceSink sink(*out, capacity, fx.MidiEvent);
  LV2_ATOM_SEQUENCE_FOREACH(fx.MidiIn, ev) {
    if (ev->body.type != fx.MidiEvent || ev->body.size != 3) continue;
    const auto* bytes = reinterpret_cast<const uint8_t*>(ev + 1);
    const TNoteMessage message{static_cast<int32_t>(ev->time.frames),
                               {bytes[0], bytes[1], bytes[2]}};
    TEffectProcessor::EchoNotes({&message, 1}, sink);
  }
}

void Run(LV2_Handle handle, uint32_t frames) {
  auto& fx = *static_cast<TInstance*>(handle);
  // One reading of every control per block, each limited to its range as the VST 2 build
  // stores it; an unconnected control stands at its default.
  TParameterValues values;
  for (int32_t i = 0; i < ppCount; ++i)
    values.Real[i] = LimitReal(i, fx.Control[i] ? *fx.Control[i] : DefaultReal(i));
  if (fx.In[0] && fx.In[1] && fx.Out[0] && fx.Out[1])
    fx.Processor.Process(values, {fx.In, fx.Out, static_cast<int32_t>(frames)}, {}, nullptr);
  EchoNotes(fx);
}

void Deactivate(LV2_Handle) {}

void Cleanup(LV2_Handle handle) {
  delete static_cast<TInstance*>(handle);
}

const void* ExtensionData(const char*) {
  return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, Instantiate, ConnectPort, Activate,
                                    Run,        Deactivate,  Cleanup,     ExtensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
