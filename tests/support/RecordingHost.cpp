#include "RecordingHost.h"

#include <atomic>
#include <cstring>

namespace qltest {

namespace {
std::atomic<TRecordingHost*> gCurrent{nullptr};
}

TRecordingHost::TRecordingHost() : FPrevious(gCurrent.exchange(this)) {}

TRecordingHost::~TRecordingHost() {
  gCurrent.store(FPrevious);
}

void TRecordingHost::Answer(VstInt32 opcode, VstIntPtr answer) {
  Answer(opcode, [answer](const THostRequest&) { return answer; });
}

void TRecordingHost::Answer(VstInt32 opcode, TAnswerer answerer) {
  std::lock_guard<std::mutex> guard(FLock);
  FAnswers[opcode] = std::move(answerer);
}

void TRecordingHost::AnswerText(VstInt32 opcode, const std::string& text, VstIntPtr answer) {
  Answer(opcode, [text, answer](const THostRequest& r) {
    if (r.Ptr != nullptr) std::memcpy(r.Ptr, text.c_str(), text.size() + 1);
    return answer;
  });
}

void TRecordingHost::AnswerGarbage(bool on) {
  std::lock_guard<std::mutex> guard(FLock);
  FGarbage = on;
}

std::vector<THostRequest> TRecordingHost::Requests() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FRequests;
}

std::vector<THostRequest> TRecordingHost::RequestsOf(VstInt32 opcode) const {
  std::lock_guard<std::mutex> guard(FLock);
  std::vector<THostRequest> result;
  for (const auto& r : FRequests)
    if (r.Opcode == opcode) result.push_back(r);
  return result;
}

size_t TRecordingHost::Count() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FRequests.size();
}

void TRecordingHost::Clear() {
  std::lock_guard<std::mutex> guard(FLock);
  FRequests.clear();
}

VstIntPtr VSTCALLBACK TRecordingHost::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                   VstIntPtr value, void* ptr, float opt) {
  TRecordingHost* host = gCurrent.load();
  if (host == nullptr) return 0;
  THostRequest request{effect, opcode, index, value, ptr, opt, {}};
  if (opcode == audioMasterProcessEvents && ptr && host->FRecordMidi) {
    auto* events = static_cast<VstEvents*>(ptr);
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
      if (!events->events[i] || events->events[i]->type != kVstMidiType) continue;
      auto* e = reinterpret_cast<VstMidiEvent*>(events->events[i]);
      request.Midi.push_back({static_cast<unsigned char>(e->midiData[0]),
                              static_cast<unsigned char>(e->midiData[1]),
                              static_cast<unsigned char>(e->midiData[2]), e->deltaFrames});
    }
  }
  return host->Handle(request);
}

VstIntPtr TRecordingHost::Handle(const THostRequest& request) {
  TAnswerer answerer;
  {
    std::lock_guard<std::mutex> guard(FLock);
    FRequests.push_back(request);
    auto it = FAnswers.find(request.Opcode);
    if (it != FAnswers.end()) {
      answerer = it->second;
    } else if (FGarbage) {
      // splitmix64: a different, odd and usually huge or negative value on every call.
      uint64_t z = (FGarbageState += 0x9E3779B97F4A7C15ull);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      z ^= z >> 31;
      return static_cast<VstIntPtr>(z | 1);
    } else {
      if (request.Opcode == audioMasterVersion) return 2400;
      return request.Opcode == audioMasterProcessEvents ? 1 : 0;
    }
  }
  // Called outside the lock so that an answerer may itself call into the effect.
  return answerer(request);
}

std::vector<std::string> EditsIn(const std::vector<THostRequest>& requests, const AEffect* effect) {
  std::vector<std::string> edits;
  for (const THostRequest& r : requests) {
    const char* what = r.Opcode == audioMasterBeginEdit  ? "begin "
                       : r.Opcode == audioMasterEndEdit  ? "end "
                       : r.Opcode == audioMasterAutomate ? "automate "
                                                         : nullptr;
    if (what && (!effect || r.Effect == effect)) edits.push_back(what + std::to_string(r.Index));
  }
  return edits;
}

} // namespace qltest
