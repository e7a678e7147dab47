// The effect's parameters, described once: every plug-in format describes them to its host from
// here, the editor takes its limits, switch rules and hints from here, and the tests read the
// same rows. Adding a parameter is one row here, its values in the programs (uPrograms.h) and
// its meaning in the modulator.
//
// Plain data: nothing of a plug-in format or a window system.
#pragma once

#include <cstdint>
#include <iterator>

enum TPluginParameter : int32_t {
  ppOversampling = 0,
  ppQuantizer = 1,
  ppDither = 2,
  ppNoiseShaper = 3,
  ppErrorFilter = 4,
  ppCount = 5,
};

// How a parameter's real value is used and shown.
enum class TParameterKind : uint8_t {
  Number, // rounded to the nearest integer (ties to even) wherever it becomes a count
  Amount, // used as it is
  Switch, // on from OnFrom upwards
};

// How the editor shows and changes a parameter.
enum class TEditorControl : uint8_t {
  None,   // not in the window
  Number, // a number the user steps between EditorMin and EditorMax
  Switch, // a block the user clicks; it writes 0 or 1
};

struct TParameterDescription {
  TPluginParameter Index;
  const char* Name;   // as hosts show it
  const char* Units;  // the label hosts show after the value
  const char* Symbol; // a stable identifier for formats that name parameters by symbol
  float Max;          // every range starts at 0 and maps linearly onto the host's 0..1
  TParameterKind Kind;
  float OnFrom; // Switch: the real value from which it is on
  TEditorControl Control;
  int32_t EditorMin, EditorMax; // Number controls
  const char* Hint;             // the editor's hint line while the pointer is over the control

  // A real value as the effect stores it: within 0..Max; below 0 and not a number give 0.
  constexpr float Limit(float real) const {
    if (real > Max) return Max;
    return real >= 0.0f ? real : 0.0f;
  }
  // Whether the editor shows the control on for a real value: a switch exactly when the
  // modulator hears it on, an amount whenever any of it is heard.
  constexpr bool ShownOn(float real) const {
    return Kind == TParameterKind::Switch ? real >= OnFrom : real != 0.0f;
  }
};

inline constexpr TParameterDescription kParameters[] = {
    // The editor offers the ratios its window was laid out for, 1 to 64. The whole range to 128
    // stays open to hosts and programs, the window shows whatever they set, and a step from
    // above 64 comes back to 64. A ratio of 0 runs no sub-samples: silence.
    {ppOversampling, "Oversampling", "x", "oversampling", 128.0f, TParameterKind::Number, 0.0f,
     TEditorControl::Number, 1, 64, "Oversampler"},
    // The editor starts at 1 bit: 0 bits leave the quantiser without a step, which the effect
    // turns into silence.
    {ppQuantizer, "Quantizer", "", "quantizer", 24.0f, TParameterKind::Number, 0.0f,
     TEditorControl::Number, 1, 24, "Truncation"},
    {ppDither, "Dither", "", "dither", 1.0f, TParameterKind::Amount, 0.0f, TEditorControl::Switch,
     0, 1, "Dither"},
    // A host may store any value between the switch's two states; the error feedback runs from
    // the middle up, and the editor draws it that way.
    {ppNoiseShaper, "NoiseShaper", "", "noise_shaper", 1.0f, TParameterKind::Switch, 0.5f,
     TEditorControl::Switch, 0, 1, "Error Feedback"},
    // Described, stored, automated and kept in programs; nothing reads it.
    {ppErrorFilter, "ErrorFilter", "", "error_filter", 1.0f, TParameterKind::Amount, 0.0f,
     TEditorControl::None, 0, 0, nullptr},
};
static_assert(std::size(kParameters) == ppCount);

constexpr bool ParameterRowsInIndexOrder() {
  for (int32_t i = 0; i < ppCount; ++i)
    if (kParameters[i].Index != i) return false;
  return true;
}
static_assert(ParameterRowsInIndexOrder());

// A real value as the effect stores it for parameter `index`.
constexpr float LimitReal(int32_t index, float real) {
  return kParameters[index].Limit(real);
}

inline constexpr bool NoiseShaperOn(float real) {
  return kParameters[ppNoiseShaper].ShownOn(real);
}
