#include "core/uProcessing.h"

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

void TEffectProcessor::EchoNotes(std::span<const TNoteMessage> notes, TNoteSink& echo) {
  for (const TNoteMessage& m : notes) {
    TMidiNote note;
    if (NoteEchoOf(m.Data, note)) echo.Send({m.Frame, {note.Status, note.Note, note.Velocity}});
  }
}

void TEffectProcessor::Modulate(const TParameterValues& values, const TAudioBlock& audio,
                                int32_t begin, int32_t end) {
  if (end <= begin) return;
  const TBlockSettings s = BlockSettingsFor(values.Real);
  const float* in[2] = {audio.In[0] + begin, audio.In[1] + begin};
  float* out[2] = {audio.Out[0] + begin, audio.Out[1] + begin};
  ModulateBlock(in, out, end - begin, s.SubSamples, s.Feedback, s.Coefficients, FState);
}

void TEffectProcessor::Process(const TParameterValues& values, const TAudioBlock& audio,
                               std::span<const TNoteMessage> notes, TNoteSink* echo) {
  Modulate(values, audio, 0, audio.Frames);
  if (echo) EchoNotes(notes, *echo);
}

void TEffectProcessor::ProcessSplit(TParameterValues& values,
                                    std::span<const TParameterChange> changes,
                                    const TAudioBlock& audio, std::span<const TNoteMessage> notes,
                                    TNoteSink* echo) {
  int32_t begin = 0;
  for (const TParameterChange& c : changes) {
    const int32_t at = c.Frame < begin ? begin : c.Frame > audio.Frames ? audio.Frames : c.Frame;
    Modulate(values, audio, begin, at);
    begin = at;
    if (c.Index >= 0 && c.Index < ppCount) values.Real[c.Index] = LimitReal(c.Index, c.Real);
  }
  Modulate(values, audio, begin, audio.Frames);
  if (echo) EchoNotes(notes, *echo);
}
