// A host callback for tests: records every request in order and answers per opcode as the test
// programmed it.
//
// The callback is a plain function, so it reaches the recorder through one process-wide
// pointer: constructing a TRecordingHost makes it the current one (the previous one is restored
// when it is destroyed). Requests from any thread go to the current recorder.
//
// Unprogrammed opcodes answer 0, except audioMasterVersion, which answers 2400 so that an
// entry point that gives up on a zero version works without set-up, and
// audioMasterProcessEvents, which answers 1 (the host takes the events). With garbage switched
// on, unprogrammed opcodes answer a different odd value on every call instead.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "vst2/interface/DAEffectX.h"

namespace qltest {

struct THostRequest {
  AEffect* Effect;
  VstInt32 Opcode;
  VstInt32 Index;
  VstIntPtr Value;
  void* Ptr;
  float Opt;
  // With RecordMidi on, the MIDI events of audioMasterProcessEvents, copied at the time of the
  // request: (status, data1, data2, deltaFrames).
  std::vector<std::vector<int>> Midi;
};

// The parameter edits among `requests`, in order, as a host that records touch automation hears
// them: "begin N" (audioMasterBeginEdit), "automate N" (audioMasterAutomate), "end N"
// (audioMasterEndEdit); only those of `effect` unless it is null.
std::vector<std::string> EditsIn(const std::vector<THostRequest>& requests,
                                 const AEffect* effect = nullptr);

class TRecordingHost {
public:
  using TAnswerer = std::function<VstIntPtr(const THostRequest&)>;

  TRecordingHost();
  ~TRecordingHost();
  TRecordingHost(const TRecordingHost&) = delete;
  TRecordingHost& operator=(const TRecordingHost&) = delete;

  // The callback to hand to an entry point or an effect constructor.
  static audioMasterCallback Callback() { return &HostCallback; }

  // Programs the answer to one opcode: a fixed value, or a function that may also write to
  // the request's ptr (text, time information, ...).
  void Answer(VstInt32 opcode, VstIntPtr answer);
  void Answer(VstInt32 opcode, TAnswerer answerer);
  // Copies `text` with its terminator into the request's ptr and answers `answer`.
  void AnswerText(VstInt32 opcode, const std::string& text, VstIntPtr answer = 1);
  // Unprogrammed opcodes answer garbage (true) or their defaults (false).
  void AnswerGarbage(bool on = true);
  // Copies the MIDI events the effect sends (off by default: a request may carry any pointer).
  void RecordMidi(bool on = true) { FRecordMidi = on; }

  // Copies of the requests so far, in order; all of them or those of one opcode.
  std::vector<THostRequest> Requests() const;
  std::vector<THostRequest> RequestsOf(VstInt32 opcode) const;
  size_t Count() const;
  void Clear();

private:
  static VstIntPtr VSTCALLBACK HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                            VstIntPtr value, void* ptr, float opt);
  VstIntPtr Handle(const THostRequest& request);

  TRecordingHost* FPrevious;
  mutable std::mutex FLock;
  std::vector<THostRequest> FRequests;
  std::map<VstInt32, TAnswerer> FAnswers;
  bool FGarbage = false;
  std::atomic<bool> FRecordMidi{false};
  uint64_t FGarbageState = 0x9E3779B97F4A7C15ull;
};

} // namespace qltest
