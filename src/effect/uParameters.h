// The effect's parameters as every part of the plug-in sees them: the effect, its editor and
// the tests agree on the indices and on what a value means here.
#pragma once

#include <cstdint>

enum TPluginParameter : int32_t {
  ppOversampling = 0,
  ppQuantizer = 1,
  ppDither = 2,
  ppNoiseShaper = 3,
  ppErrorFilter = 4,
  ppCount = 5,
};

// NoiseShaper runs the error feedback from this real value up. A host may store any value in
// between the two states of the switch; the modulator and the editor both read it this way, so
// that the editor never shows the loop on while it is heard off.
inline constexpr float kNoiseShaperOnFrom = 0.5f;

inline constexpr bool NoiseShaperOn(float real) {
  return real >= kNoiseShaperOnFrom;
}

// Any dither amount other than 0 is heard: the switch shows on for every such value.
inline constexpr bool DitherOn(float real) {
  return real != 0.0f;
}
