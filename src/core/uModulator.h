// The modulator kernel: the process-wide dither generator, the quantiser and the block loop of
// the noise-shaping modulator, plus the helpers that turn parameter values into its
// coefficients. Plain C++ on arrays and numbers: no host, effect or window types.
#pragma once

#include <atomic>
#include <cstdint>

// State of the dither generator shared by every instance in the process. It holds 17011980 when
// the library is loaded and is never reseeded.
extern std::atomic<uint32_t> DitherSeed;

// Advances DitherSeed by one step (seed * 134775813 + 1 mod 2^32, one indivisible update) and
// returns the new state read as a signed 32-bit integer times 2^-32: a value in [-0.5, 0.5).
double DitherRandom();

// Reserves `draws` consecutive draws of the generator in one indivisible step and returns the
// state before them; the caller generates the draws itself from that state. A block needs one
// reservation instead of one contended update per draw.
uint32_t DitherReserve(uint32_t draws);

// The state of the generator `steps` draws after `seed`.
uint32_t DitherJump(uint32_t seed, uint32_t steps);

// One quantiser step for both channels: maps u0, u1 from -1..+1 onto 0..levels, adds
// ditherAmount times a generator draw and rounds to the nearest step (ties to even). The first
// draw goes to channel 1, the second to channel 0.
void Quantize(double u0, double u1, double levels, double invLevels, double ditherAmount,
              double out[2]);

// The coefficients one block runs with; the caller takes one snapshot per block.
struct TModulatorCoefficients {
  double Levels, InvLevels, DitherAmount, Gain;
};

// The memories of both channels (index 0 and 1), carried from block to block.
struct TModulatorState {
  double QuantizerIn[2], QuantizerOut[2], Error[2], Sum[2];
};

// Runs one block of `frames` stereo frames through the modulator: every input sample is held
// for `subSamples` sub-samples, each passes the dithered quantiser inside the optional
// first-order error-feedback loop, and the scaled sum of the sub-samples is written to both
// outputs, rounded to float. Input and output channels may be the same buffers. A sample that
// is not finite is processed as 0.0, an error memory that would become non-finite restarts
// from 0.0, and an output that would not be finite is written as 0.0.
void ModulateBlock(const float* const* inputs, float* const* outputs, int32_t frames,
                   int subSamples, bool feedback, const TModulatorCoefficients& c,
                   TModulatorState& s);

// Quantiser steps across -1..+1 for a word length of b bits: (2 << ((b - 1) & 31)) - 1 in 32-bit
// signed arithmetic, so b = 1..31 gives 2^b - 1 and b = 0 or 32 gives -1.
double LevelsForWordLength(int64_t b);

// Output gain (1 - 0.5 / bq) / oq; 0.0 where that has no finite value (bq or oq of 0), so that a
// degenerate setting gives silence.
double GainFor(int64_t bq, int64_t oq);

// Nearest integer with ties to even, independent of the rounding mode. NaN gives 0; values
// beyond the int64 range give its nearest end.
int64_t RoundHalfEven(double x);
