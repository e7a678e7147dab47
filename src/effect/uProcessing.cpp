#include "effect/uProcessing.h"

float LimitReal(int32_t index, float real) {
  const float max = kParameters[index].Max;
  if (real > max) return max;
  return real >= 0.0f ? real : 0.0f;
}

TBlockSettings BlockSettingsFor(const float (&real)[ppCount]) {
  // The stored values decide, also after a real value outside the range: a Quantizer write of
  // 30 is stored as 24 and sounds as 24.
  const int64_t ratio = RoundHalfEven(real[ppOversampling]);
  const int64_t bits = RoundHalfEven(real[ppQuantizer]);
  const double levels = LevelsForWordLength(bits);
  return {static_cast<int>(ratio & 0xFF),
          NoiseShaperOn(real[ppNoiseShaper]),
          {levels, 1.0 / levels, real[ppDither], GainFor(bits, ratio)}};
}

bool NoteEchoOf(const uint8_t (&message)[3], TMidiNote& echo) {
  const uint8_t channel = message[0] & 0x0F;
  const uint8_t kind = message[0] & 0xF0;
  echo.Note = message[1] & 0x7F;
  echo.Velocity = message[2] & 0x7F;
  if (kind == 0x90 && echo.Velocity > 0)
    echo.Status = static_cast<uint8_t>(0x90 | channel);
  else if (kind == 0x90 || kind == 0x80)
    echo.Status = static_cast<uint8_t>(0x80 | channel);
  else
    return false;
  return true;
}
