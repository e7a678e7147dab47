// What the effect does with a block, whatever plug-in format carries it: the settings of a block
// derived from one reading of the parameters' real values, the modulator run with them, and the
// echo of the block's note messages. Every format computes the same sound from the same values
// through TEffectProcessor.
#pragma once

#include "core/uModulator.h"
#include "core/uParameters.h"

#include <cstdint>
#include <span>

// One real value per parameter, each within its range: what a block runs with.
struct TParameterValues {
  float Real[ppCount];
};

// Everything one block runs with.
struct TBlockSettings {
  int SubSamples;
  bool Feedback;
  TModulatorCoefficients Coefficients;
};

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

// A three-byte MIDI message at a frame of the block.
struct TNoteMessage {
  int32_t Frame;
  uint8_t Data[3];
};

// Where a format takes the echoes: its own queue or output buffer, which decides what to do when
// it is full. Called on the audio thread; must not allocate or lock.
class TNoteSink {
public:
  virtual void Send(const TNoteMessage& echo) = 0;

protected:
  ~TNoteSink() = default;
};

// A parameter's new real value from a frame of the block on, as hosts that deliver changes
// inside a block give them.
struct TParameterChange {
  int32_t Frame;
  int32_t Index;
  float Real;
};

// The stereo audio of one block: two input and two output channels of Frames samples. The
// outputs may be the inputs (in place).
struct TAudioBlock {
  const float* const* In;
  float* const* Out;
  int32_t Frames;
};

// The effect's processing: the modulator's memories, carried from block to block, and the
// routines every format runs a block through. Audio-thread only; allocates nothing, locks
// nothing.
class TEffectProcessor {
public:
  // Starts the loop afresh, as in a new instance: the error-feedback memories of both channels
  // return to zero. (The dither generator is shared by every instance and runs on.)
  void Reset() { FState = TModulatorState{}; }

  // One block from one set of values: the modulator over the audio, then the echo of every note
  // message, in order, at its own frame.
  void Process(const TParameterValues& values, const TAudioBlock& audio,
               std::span<const TNoteMessage> notes, TNoteSink* echo);

  // The same block split at the changes' frames: each part runs from the values in force at its
  // start, exactly as if the parts were blocks of their own. `values` holds the values at the
  // block's start and comes back with every change applied. Changes come in frame order; one
  // before the block applies at its start, one at or after its end after its last frame.
  void ProcessSplit(TParameterValues& values, std::span<const TParameterChange> changes,
                    const TAudioBlock& audio, std::span<const TNoteMessage> notes, TNoteSink* echo);

  // The echo of every note message, in order, at its own frame.
  static void EchoNotes(std::span<const TNoteMessage> notes, TNoteSink& echo);

  const TModulatorState& State() const { return FState; }

private:
  void Modulate(const TParameterValues& values, const TAudioBlock& audio, int32_t begin,
                int32_t end);

  TModulatorState FState{};
};
