#include "core/uParameterStore.h"

#include "core/uPrograms.h"

TParameterStore::TParameterStore() {
  for (int32_t i = 0; i < ppCount; ++i)
    FReal[i].store(DefaultReal(i), std::memory_order_relaxed);
}

void TParameterStore::SetReal(int32_t index, float real) {
  if (index < 0 || index >= ppCount) return;
  FReal[index].store(LimitReal(index, real), std::memory_order_relaxed);
  FChanged.store(true, std::memory_order_release);
}

void TParameterStore::SetAll(const TParameterValues& values) {
  for (int32_t i = 0; i < ppCount; ++i)
    FReal[i].store(LimitReal(i, values.Real[i]), std::memory_order_relaxed);
  FChanged.store(true, std::memory_order_release);
}

TParameterValues TParameterStore::Values() const {
  TParameterValues v;
  for (int32_t i = 0; i < ppCount; ++i)
    v.Real[i] = Real(i);
  return v;
}

// A sequence lock with one writer: the sequence is odd while a post is written, and a reader
// that sees it odd, or changed across its reads, takes nothing this time. Without fences (the
// thread sanitizer has none): the writer stores the post's values with release after making the
// sequence odd, and the reader loads them with acquire, so a reader that sees any value of a
// post under way also sees the sequence that post made odd.
void TSettingsMailbox::BeginWrite() {
  FSequence.store(FSequence.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  ++FPosts;
}

void TSettingsMailbox::EndWrite() {
  FSequence.store(FSequence.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void TSettingsMailbox::Post(int32_t index, float real) {
  if (index < 0 || index >= ppCount) return;
  BeginWrite();
  FValue[index].store(LimitReal(index, real), std::memory_order_release);
  FPosted[index].store(FPosts, std::memory_order_release);
  EndWrite();
}

void TSettingsMailbox::PostAll(const TParameterValues& values) {
  BeginWrite();
  for (int32_t i = 0; i < ppCount; ++i) {
    FValue[i].store(LimitReal(i, values.Real[i]), std::memory_order_release);
    FPosted[i].store(FPosts, std::memory_order_release);
  }
  EndWrite();
}

bool TSettingsMailbox::Take(TParameterValues& values) {
  const uint32_t before = FSequence.load(std::memory_order_acquire);
  if (before & 1u) return false;
  float value[ppCount];
  uint32_t posted[ppCount];
  for (int32_t i = 0; i < ppCount; ++i) {
    value[i] = FValue[i].load(std::memory_order_acquire);
    posted[i] = FPosted[i].load(std::memory_order_acquire);
  }
  if (FSequence.load(std::memory_order_relaxed) != before) return false;
  bool any = false;
  for (int32_t i = 0; i < ppCount; ++i)
    if (posted[i] != FTaken[i]) {
      FTaken[i] = posted[i];
      values.Real[i] = value[i];
      any = true;
    }
  return any;
}
