// libFuzzer target: the input is a script of host calls replayed on one instance made by the
// function behind the library's entry (the exported entry only forwards to it; its other name,
// `main`, would clash with libFuzzer's own). Every pointer handed over points to a buffer of the
// size the host interface gives for that request (allocated exactly, so that the address sanitizer
// sees any write past it) or is null where a host may pass null. The host callback answers numbers
// taken from the input, but never a pointer: no host hands out memory the effect did not ask for.
#include "vst2/interface/DAEffectX.h"
#include "vst2/plugin/uPlugin.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Reads the script; past its end every read answers zero.
class TScript {
public:
  TScript(const uint8_t* data, size_t size) : Data(data), Size(size) {}
  bool Done() const { return Pos >= Size; }
  uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
  template <typename T> T Raw() {
    T v{};
    uint8_t bytes[sizeof(T)] = {};
    for (size_t i = 0; i < sizeof(T); ++i)
      bytes[i] = Byte();
    std::memcpy(&v, bytes, sizeof(T));
    return v;
  }
  // Small numbers most of the time, any bit pattern sometimes.
  int32_t Int() {
    const uint8_t kind = Byte();
    if (kind < 192) return static_cast<int32_t>(kind % 96) - 8;
    return Raw<int32_t>();
  }
  float Float() {
    static const float kSpecial[] = {0.0f,
                                     -0.0f,
                                     1.0f,
                                     0.5f,
                                     std::numeric_limits<float>::quiet_NaN(),
                                     std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(),
                                     std::numeric_limits<float>::denorm_min(),
                                     -std::numeric_limits<float>::denorm_min(),
                                     std::numeric_limits<float>::max(),
                                     44100.0f,
                                     -1.0f};
    const uint8_t kind = Byte();
    if (kind < 96) return kSpecial[kind % std::size(kSpecial)];
    if (kind < 192) return static_cast<float>(Byte()) / 255.0f;
    return Raw<float>();
  }

private:
  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
};

TScript* CurrentScript = nullptr;

VstIntPtr VSTCALLBACK FuzzHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  switch (opcode) {
  // Requests whose answer is a pointer: a host without one answers null.
  case audioMasterGetTime:
  case audioMasterGetDirectory:
  case audioMasterGetPreviousPlug:
  case audioMasterGetNextPlug:
  case audioMasterGetInputSpeakerArrangement:
  case audioMasterGetOutputSpeakerArrangement:
  case audioMasterOpenWindow:
    return 0;
  default:
    return CurrentScript ? CurrentScript->Int() : 0;
  }
}

// Exactly sized, zeroed buffers that live until the end of one call.
struct TBuffers {
  char* Text(size_t size) {
    Owned.emplace_back(new uint8_t[size]());
    return reinterpret_cast<char*>(Owned.back().get());
  }
  std::vector<std::unique_ptr<uint8_t[]>> Owned;
};

constexpr size_t kAnyStruct = 1024; // generous for the structures the effect does not interpret

void Dispatch(AEffect* e, TScript& s) {
  const uint8_t pick = s.Byte();
  const VstInt32 opcode =
      pick < 224 ? static_cast<VstInt32>(pick % 80) : static_cast<VstInt32>(s.Raw<int32_t>());
  const VstInt32 index = s.Int();
  VstIntPtr value = s.Int();
  const float opt = s.Float();
  const bool null = s.Byte() < 32;
  TBuffers b;
  void* ptr = nullptr;
  void* slot = nullptr;
  ERect* rect = nullptr;
  switch (opcode) {
  case effGetProgramName:
  case effGetProgramNameIndexed:
    ptr = b.Text(kVstMaxProgNameLen + 1);
    break;
  case effGetParamLabel:
  case effGetParamDisplay:
    ptr = b.Text(kVstMaxParamStrLen + 1);
    break;
  case effGetParamName:
    ptr = b.Text(64); // names are whole; hosts hand over a line of text
    break;
  case effGetEffectName:
    ptr = b.Text(kVstMaxEffectNameLen + 1);
    break;
  case effGetVendorString:
    ptr = b.Text(kVstMaxVendorStrLen + 1);
    break;
  case effGetProductString:
    ptr = b.Text(kVstMaxProductStrLen + 1);
    break;
  case effSetProgramName:
  case effCanDo:
  case effString2Parameter: {
    const size_t n = s.Byte() % 48;
    char* t = b.Text(n + 1);
    for (size_t i = 0; i < n; ++i)
      t[i] = static_cast<char>(s.Byte());
    ptr = t;
    break;
  }
  case effSetChunk: {
    const size_t n = s.Byte();
    char* t = b.Text(n + 1);
    for (size_t i = 0; i < n; ++i)
      t[i] = static_cast<char>(s.Byte());
    ptr = t;
    value = static_cast<VstIntPtr>(n);
    break;
  }
  case effGetChunk:
    ptr = &slot;
    break;
  case effEditGetRect:
    ptr = &rect;
    break;
  case effEditOpen:
  case effClose:
  case effProcessEvents: // lists are built by their own step
    ptr = nullptr;
    break;
  case effSetSpeakerArrangement:
  case effGetSpeakerArrangement:
    value = reinterpret_cast<VstIntPtr>(b.Text(kAnyStruct));
    ptr = b.Text(kAnyStruct);
    break;
  default:
    ptr = b.Text(kAnyStruct);
    break;
  }
  if (opcode == effClose) return; // closing is the last step of every script
  if (null) ptr = nullptr;
  e->dispatcher(e, opcode, index, value, ptr, opt);
}

void Process(AEffect* e, TScript& s, bool replacing) {
  constexpr VstInt32 kMaxFrames = 4096;
  const uint8_t kind = s.Byte();
  VstInt32 frames;
  if (kind < 200)
    frames = static_cast<VstInt32>(s.Raw<uint16_t>() % (kMaxFrames + 1));
  else
    frames = -static_cast<VstInt32>(s.Raw<uint16_t>()); // a host gone wrong
  const size_t n = static_cast<size_t>(std::max(frames, 0));
  std::vector<float> in0(n), in1(n), out0(n), out1(n);
  const float level = s.Float();
  const uint8_t shape = s.Byte();
  for (size_t i = 0; i < n; ++i) {
    in0[i] = (shape & 1) ? level : level * static_cast<float>((i * 37) % 101) / 50.0f - level;
    in1[i] = (shape & 2) ? -in0[i] : in0[i];
  }
  // Sprinkle the values a host's signal can carry.
  const uint8_t specials = s.Byte() % 8;
  for (uint8_t k = 0; k < specials && n > 0; ++k) {
    const size_t at = s.Raw<uint16_t>() % n;
    in0[at] = s.Float();
    in1[(at * 7) % n] = s.Float();
  }
  float* ins[] = {in0.data(), in1.data()};
  float* outs[] = {out0.data(), out1.data()};
  if (replacing)
    e->processReplacing(e, ins, outs, frames);
  else
    e->process(e, ins, outs, frames);
}

void Events(AEffect* e, TScript& s) {
  const size_t count = s.Byte() % 320;
  std::vector<VstMidiEvent> midi(count);
  std::vector<VstEvent*> slots(count);
  for (size_t i = 0; i < count; ++i) {
    VstMidiEvent& m = midi[i];
    std::memset(&m, 0, sizeof(m));
    const uint8_t kind = s.Byte();
    m.type = kind < 200 ? kVstMidiType : (kind < 230 ? kVstSysExType : s.Int());
    m.byteSize = kind < 240 ? static_cast<VstInt32>(sizeof(VstMidiEvent)) : s.Int();
    m.deltaFrames = s.Int();
    for (int k = 0; k < 4; ++k)
      m.midiData[k] = static_cast<char>(s.Byte());
    // A sysex event here carries no payload pointer; the effect must not follow it.
    slots[i] = (kind % 17 == 16) ? nullptr : reinterpret_cast<VstEvent*>(&m);
  }
  std::vector<unsigned char> storage(sizeof(VstEvents) + count * sizeof(VstEvent*));
  auto* list = reinterpret_cast<VstEvents*>(storage.data());
  list->numEvents = static_cast<VstInt32>(count);
  if (count > 0) std::memcpy(list->events, slots.data(), count * sizeof(VstEvent*));
  e->dispatcher(e, effProcessEvents, 0, 0, list, 0.0f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TScript script(data, size);
  CurrentScript = &script;
  AEffect* e = CreateQuantaloop(&FuzzHost);
  if (e) {
    for (int step = 0; step < 256 && !script.Done(); ++step) {
      switch (script.Byte() % 10) {
      case 0:
      case 1:
        Dispatch(e, script);
        break;
      case 2:
        e->setParameter(e, script.Int(), script.Float());
        break;
      case 3: {
        const float v = e->getParameter(e, script.Int());
        if (std::isnan(v)) __builtin_trap();
        break;
      }
      case 4:
        Process(e, script, true);
        break;
      case 5:
        Process(e, script, false);
        break;
      case 6:
        Events(e, script);
        break;
      case 7:
        e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.0f);
        break;
      case 8:
        e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
        break;
      case 9:
        e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
        break;
      }
    }
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  }
  CurrentScript = nullptr;
  return 0;
}
