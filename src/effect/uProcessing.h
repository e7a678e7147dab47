// What the effect does with a block and with its MIDI, whatever plug-in format carries it: the
// settings of a block derived from the parameters' real values, and the note echo. Every format
// computes the same sound from the same values through these.
#pragma once

#include "effect/uModulator.h"
#include "effect/uParameters.h"

#include <cstdint>

// Everything one block runs with.
struct TBlockSettings {
  int SubSamples;
  bool Feedback;
  TModulatorCoefficients Coefficients;
};

// A real value as the effect stores it: within 0..Max of its parameter; below 0 and not a
// number give 0.
float LimitReal(int32_t index, float real);

// The settings of a block from one reading of every parameter's real value, each within its
// range. The caller reads the values once per block, so that no writer can leave a block with
// parts of two settings.
TBlockSettings BlockSettingsFor(const float (&real)[ppCount]);

// The note echo: the note-on or note-off that answers an incoming MIDI message, or false for
// any other message. A note-on of velocity 0 is answered as the note-off it means.
struct TMidiNote {
  uint8_t Status; // 0x90 or 0x80 plus the channel
  uint8_t Note;
  uint8_t Velocity;
};
bool NoteEchoOf(const uint8_t (&message)[3], TMidiNote& echo);
