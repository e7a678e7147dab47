// The parameters' values shared between a format's threads, for formats whose hosts hand the
// audio thread its changes inside the block (CLAP, VST 3) while the main thread and the editor
// read and write the same values.
//
// TParameterStore is what every thread sees: one atomic real value per parameter, written whole
// by any thread, and a flag that tells the editor something changed. It promises no consistency
// across parameters; no block reads its settings from it.
//
// TSettingsMailbox carries what the main thread sets (a gesture, a loaded state, a program) to
// the audio thread, which keeps its own copy of the values and takes the mailbox's news at the
// start of each block: all the values of one post or none of them, never a part. The main thread
// is its one writer, the audio thread its one reader; the reader never waits.
#pragma once

#include "core/uParameters.h"
#include "core/uProcessing.h"

#include <atomic>
#include <cstdint>

class TParameterStore {
public:
  // Every parameter at its default.
  TParameterStore();

  float Real(int32_t index) const { return FReal[index].load(std::memory_order_relaxed); }
  // Stores `real` limited to the parameter's range and raises the change flag.
  void SetReal(int32_t index, float real);
  void SetAll(const TParameterValues& values);
  // Each value read once.
  TParameterValues Values() const;
  // Whether anything changed since the last call; taken, so only a later change sets it again.
  bool TakeChanged() { return FChanged.exchange(false, std::memory_order_acq_rel); }

private:
  std::atomic<float> FReal[ppCount];
  std::atomic<bool> FChanged{true};
};

class TSettingsMailbox {
public:
  // Writer (one thread): posts one value, or all of them as one post.
  void Post(int32_t index, float real);
  void PostAll(const TParameterValues& values);

  // Reader (one other thread): applies to `values` every value posted since its last take and
  // answers whether there was any. A post under way at the moment is left for the next take.
  bool Take(TParameterValues& values);

private:
  void BeginWrite();
  void EndWrite();

  std::atomic<uint32_t> FSequence{0}; // odd while a post is written
  std::atomic<float> FValue[ppCount] = {};
  // The post that last set each value (0: none yet); the reader's own record of what it took.
  std::atomic<uint32_t> FPosted[ppCount] = {};
  uint32_t FPosts = 0;           // writer only
  uint32_t FTaken[ppCount] = {}; // reader only
};
