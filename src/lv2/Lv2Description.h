// What the LV2 format of the effect is: its URIs, its ports in index order and the names the
// bundle's files carry. The DSP library, its user interface, the bundle generator and the
// tests read it from here; the identity and the parameters themselves come from the core.
#pragma once

#include "core/uIdentity.h"
#include "core/uParameters.h"

#include <cstdint>

namespace lv2q {

inline constexpr const char* kPluginUri = kLv2PluginUri;
inline constexpr const char* kUiUri = kLv2UiUri;
inline constexpr const char* kProjectUri = kLv2ProjectUri;
// Preset n (from 1) is kPluginUri + kPresetFragment + n: the effect's program n - 1.
inline constexpr const char* kPresetFragment = "#program-";

inline constexpr const char* kBundleName = "Quantaloop.lv2";
inline constexpr const char* kDspBinary = "Quantaloop.so";
inline constexpr const char* kUiBinary = "Quantaloop_ui.so";

enum class TPortKind : uint8_t { AudioIn, AudioOut, Control, MidiIn, MidiOut };

struct TPort {
  TPortKind Kind;
  const char* Symbol;
  const char* Name;
  int32_t Parameter; // Control: the parameter it carries
};

// The ports in index order. The indices are part of what hosts store in sessions: new ports
// go at the end.
inline constexpr TPort kPorts[] = {
    {TPortKind::AudioIn, "in_l", "In L", -1},
    {TPortKind::AudioIn, "in_r", "In R", -1},
    {TPortKind::AudioOut, "out_l", "Out L", -1},
    {TPortKind::AudioOut, "out_r", "Out R", -1},
    {TPortKind::Control, kParameters[ppOversampling].Symbol, kParameters[ppOversampling].Name,
     ppOversampling},
    {TPortKind::Control, kParameters[ppQuantizer].Symbol, kParameters[ppQuantizer].Name,
     ppQuantizer},
    {TPortKind::Control, kParameters[ppDither].Symbol, kParameters[ppDither].Name, ppDither},
    {TPortKind::Control, kParameters[ppNoiseShaper].Symbol, kParameters[ppNoiseShaper].Name,
     ppNoiseShaper},
    {TPortKind::Control, kParameters[ppErrorFilter].Symbol, kParameters[ppErrorFilter].Name,
     ppErrorFilter},
    {TPortKind::MidiIn, "midi_in", "MIDI In", -1},
    {TPortKind::MidiOut, "midi_out", "MIDI Out", -1},
};
inline constexpr uint32_t kPortCount = sizeof(kPorts) / sizeof(kPorts[0]);

inline constexpr uint32_t kAudioIn0 = 0, kAudioOut0 = 2, kFirstControl = 4, kMidiIn = 9,
                          kMidiOut = 10;

constexpr bool PortsAgree() {
  for (int32_t i = 0; i < ppCount; ++i)
    if (kPorts[kFirstControl + i].Kind != TPortKind::Control ||
        kPorts[kFirstControl + i].Parameter != i)
      return false;
  return kPorts[kMidiIn].Kind == TPortKind::MidiIn && kPorts[kMidiOut].Kind == TPortKind::MidiOut &&
         kPorts[kAudioIn0].Kind == TPortKind::AudioIn &&
         kPorts[kAudioOut0].Kind == TPortKind::AudioOut;
}
static_assert(PortsAgree());

inline constexpr uint32_t ControlPortOf(int32_t parameter) {
  return kFirstControl + static_cast<uint32_t>(parameter);
}

} // namespace lv2q
