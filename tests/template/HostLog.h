// A host callback for tests that records every request and answers from a per-opcode table.
// The callback is a plain function, so it reaches the log of the running test through a
// process-wide pointer; tests run one at a time within an executable.
#pragma once

#include "host/DAEffectX.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace qltest {

struct THostCall {
  AEffect* Effect;
  VstInt32 Opcode;
  VstInt32 Index;
  VstIntPtr Value;
  void* Ptr;
  float Opt;
  // Outgoing MIDI copied at the time of the call: (status, data1, data2, deltaFrames).
  std::vector<std::vector<int>> Midi;
};

class THostLog {
public:
  THostLog() {
    Previous = Current;
    Current = this;
    Answers[audioMasterVersion] = 2400;
    Answers[audioMasterProcessEvents] = 1;
  }
  ~THostLog() { Current = Previous; }
  THostLog(const THostLog&) = delete;
  THostLog& operator=(const THostLog&) = delete;

  static VstIntPtr VSTCALLBACK Callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                        VstIntPtr value, void* ptr, float opt) {
    THostLog* log = Current;
    if (!log) return 0;
    THostCall call{effect, opcode, index, value, ptr, opt, {}};
    if (opcode == audioMasterProcessEvents && ptr) {
      auto* events = static_cast<VstEvents*>(ptr);
      for (VstInt32 i = 0; i < events->numEvents; ++i) {
        auto* e = reinterpret_cast<VstMidiEvent*>(events->events[i]);
        call.Midi.push_back({static_cast<unsigned char>(e->midiData[0]),
                             static_cast<unsigned char>(e->midiData[1]),
                             static_cast<unsigned char>(e->midiData[2]), e->deltaFrames});
      }
    }
    log->Calls.push_back(call);
    auto it = log->Answers.find(opcode);
    return it == log->Answers.end() ? 0 : it->second;
  }

  std::vector<THostCall> Of(VstInt32 opcode) const {
    std::vector<THostCall> r;
    for (const THostCall& c : Calls)
      if (c.Opcode == opcode) r.push_back(c);
    return r;
  }

  std::vector<THostCall> Calls;
  std::map<VstInt32, VstIntPtr> Answers;

private:
  static inline THostLog* Current = nullptr;
  THostLog* Previous = nullptr;
};

// Host-side view of an effect record: the calls a host makes, spelled once.
struct TRecord {
  AEffect* E;

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) const {
    return E->dispatcher(E, opcode, index, value, ptr, opt);
  }
  std::string Text(VstInt32 opcode, VstInt32 index = 0) const {
    char buf[256];
    std::memset(buf, 0x7F, sizeof(buf));
    buf[sizeof(buf) - 1] = 0;
    Dispatch(opcode, index, 0, buf);
    return buf;
  }
  VstIntPtr CanDo(const char* s) const { return Dispatch(effCanDo, 0, 0, const_cast<char*>(s)); }
  void Set(VstInt32 index, float v) const { E->setParameter(E, index, v); }
  float Get(VstInt32 index) const { return E->getParameter(E, index); }
  void Replace(float** in, float** out, VstInt32 n) const { E->processReplacing(E, in, out, n); }
  void Accumulate(float** in, float** out, VstInt32 n) const { E->process(E, in, out, n); }
  void Close() const { Dispatch(effClose); }
};

} // namespace qltest
