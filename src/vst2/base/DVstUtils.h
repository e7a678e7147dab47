// Small utilities shared by the host-interface layer and the template: four-character codes,
// fixed-point float text and the rounding the dispatchers use.
#pragma once

#include "vst2/interface/DAEffect.h"

// Packs four characters, each taken as an unsigned byte, with c1 in the most significant byte.
constexpr VstInt32 makeFourCharCode(char c1, char c2, char c3, char c4) {
  return kFourCC(c1, c2, c3, c4);
}

// Writes `value` with exactly two decimals and the regional decimal separator, followed by a
// terminating zero: "NAN", "INF", "-INF"; zero without a sign; otherwise reduced to 18
// significant digits (halves to even), rounded at the second decimal (halves away from zero),
// and in exponent form ("1.00000002004087734E20") from 1e18 on. The text is at most 23
// characters before the terminating zero; the caller provides the room.
void formatFloatFixed(float value, char* text);

// Rounds to the nearest integer with halves to even, independent of the current rounding
// mode, and keeps the low 32 bits. Values no 64-bit integer holds (not-a-number, infinities,
// huge magnitudes) give 0.
VstInt32 roundToInt32Low(double value);
