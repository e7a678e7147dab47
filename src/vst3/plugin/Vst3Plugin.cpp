#include "vst3/plugin/Vst3Plugin.h"

#include "core/uIdentity.h"
#include "core/uPrograms.h"
#include "core/uState.h"
#include "core/uValueText.h"
#include "editor/uEditor.h"
#include "vst3/plugin/Vst3View.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

using namespace vst3;

namespace vst3q {

float RealOf(int32_t index, double normalized) {
  if (!(normalized >= 0.0)) normalized = 0.0;
  if (normalized > 1.0) normalized = 1.0;
  return LimitReal(index, static_cast<float>(normalized * kParameters[index].Max));
}

double NormalizedOf(int32_t index, float real) {
  return static_cast<double>(LimitReal(index, real)) / kParameters[index].Max;
}

} // namespace vst3q

using namespace vst3q;

namespace {

// ASCII text into a String128, cut to fit.
void CopyText(String128 to, const char* from) {
  size_t i = 0;
  for (; from[i] && i + 1 < 128; ++i)
    to[i] = static_cast<TChar>(static_cast<unsigned char>(from[i]));
  to[i] = 0;
}

// A host's UTF-16 text as ASCII; false for characters beyond ASCII or text too long.
bool AsciiOf(const TChar* from, char* to, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (from[i] == 0) {
      to[i] = 0;
      return true;
    }
    if (from[i] > 0x7F) return false;
    to[i] = static_cast<char>(from[i]);
  }
  return false;
}

bool IsEffectParameter(ParamID id) {
  return id < static_cast<ParamID>(ppCount);
}

// Everything the stream holds from where it stands, up to a bound no state of ours comes near.
bool ReadAll(IBStream* stream, std::vector<uint8_t>& bytes) {
  constexpr size_t kLimit = 1 << 20;
  uint8_t chunk[4096];
  for (;;) {
    int32 got = 0;
    if (stream->read(chunk, sizeof(chunk), &got) != kResultOk) return false;
    if (got <= 0) return true;
    if (got > static_cast<int32>(sizeof(chunk)) || bytes.size() + got > kLimit) return false;
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < static_cast<int32>(sizeof(chunk))) return true;
  }
}

bool LoadFrom(IBStream* stream, TStateValues& state) {
  if (!stream) return false;
  std::vector<uint8_t> bytes;
  return ReadAll(stream, bytes) && LoadState(bytes.data(), bytes.size(), state);
}

// The echoes go out as note events of the output list, at the incoming note's offset.
class TEventSink final : public TNoteSink {
public:
  explicit TEventSink(IEventList& out) : FOut(out) {}
  void Send(const TNoteMessage& echo) override {
    Event e{};
    e.busIndex = 0;
    e.sampleOffset = echo.Frame;
    const int16 channel = echo.Data[0] & 0x0F;
    const float velocity = echo.Data[2] / 127.0f;
    if ((echo.Data[0] & 0xF0) == 0x90) {
      e.type = kNoteOnEvent;
      e.noteOn = {channel, static_cast<int16>(echo.Data[1]), 0.0f, velocity, 0, -1};
    } else {
      e.type = kNoteOffEvent;
      e.noteOff = {channel, static_cast<int16>(echo.Data[1]), velocity, -1, 0.0f};
    }
    FOut.addEvent(e);
  }

private:
  IEventList& FOut;
};

uint8_t VelocityByte(float velocity) {
  if (!(velocity > 0.0f)) return 0;
  if (velocity >= 1.0f) return 127;
  return static_cast<uint8_t>(std::lround(velocity * 127.0f));
}

} // namespace

TVst3Plugin::TVst3Plugin() {
  FAudio = FStore.Values();
  FSaved = FAudio;
}

TParameterValues TVst3Plugin::ComponentValues() {
  if (FLoadsSeen.load(std::memory_order_acquire) == FLoadsPosted.load(std::memory_order_relaxed))
    FFromAudio.Take(FSaved);
  return FSaved;
}

TVst3Plugin::~TVst3Plugin() {
  if (FHandler) FHandler->release();
}

// ---- FUnknown ----

tresult TVst3Plugin::queryInterface(const char* iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIPluginBaseIid) || SameUid(iid, kIComponentIid))
    *obj = static_cast<IComponent*>(this);
  else if (SameUid(iid, kIAudioProcessorIid))
    *obj = static_cast<IAudioProcessor*>(this);
  else if (SameUid(iid, kIEditControllerIid))
    *obj = static_cast<IEditController*>(this);
  else if (SameUid(iid, kIQuantaloopEditorDriveIid))
    *obj = static_cast<IQuantaloopEditorDrive*>(this);
  else
    return kNoInterface;
  addRef();
  return kResultOk;
}

uint32 TVst3Plugin::addRef() {
  return ++FRefs;
}

uint32 TVst3Plugin::release() {
  const uint32 left = --FRefs;
  if (left == 0) delete this;
  return left;
}

// ---- IPluginBase ----

tresult TVst3Plugin::initialize(FUnknown*) {
  // Hosts that take the controller from the component initialise the one object twice.
  return kResultOk;
}

tresult TVst3Plugin::terminate() {
  if (FHandler) FHandler->release();
  FHandler = nullptr;
  return kResultOk;
}

// ---- IComponent ----

tresult TVst3Plugin::getControllerClassId(char* classId) {
  if (!classId) return kInvalidArgument;
  const TUid id = MakeUid(kVst3ControllerId.Words[0], kVst3ControllerId.Words[1],
                          kVst3ControllerId.Words[2], kVst3ControllerId.Words[3]);
  std::memcpy(classId, id.Bytes, sizeof(id.Bytes));
  return kResultOk;
}

tresult TVst3Plugin::setIoMode(IoMode) {
  return kResultOk;
}

int32 TVst3Plugin::getBusCount(MediaType type, BusDirection dir) {
  return (type == kAudio || type == kEvent) && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult TVst3Plugin::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
  if (index != 0 || getBusCount(type, dir) == 0) return kInvalidArgument;
  bus = {};
  bus.mediaType = type;
  bus.direction = dir;
  bus.channelCount = type == kAudio ? 2 : 16;
  static constexpr const char* kNames[2][2] = {{"Input", "Output"}, {"MIDI In", "MIDI Out"}};
  CopyText(bus.name, kNames[type == kEvent][dir == kOutput]);
  bus.busType = kMain;
  bus.flags = kDefaultActive;
  return kResultOk;
}

tresult TVst3Plugin::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
  return kNotImplemented;
}

tresult TVst3Plugin::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
  return index == 0 && getBusCount(type, dir) ? kResultOk : kInvalidArgument;
}

tresult TVst3Plugin::setActive(TBool state) {
  // Hosts activate while no block runs: a new activation starts the loop afresh.
  if (state) FProcessor.Reset();
  return kResultOk;
}

tresult TVst3Plugin::LoadComponent(IBStream* stream) {
  try {
    TStateValues state{FProgram.load(), {}};
    const TParameterValues now = ComponentValues();
    std::memcpy(state.Real, now.Real, sizeof(state.Real));
    if (!LoadFrom(stream, state)) return kResultFalse;
    std::memcpy(FSaved.Real, state.Real, sizeof(FSaved.Real));
    FProgram.store(state.Program);
    FToAudio.PostAll(FSaved);
    FLoadsPosted.fetch_add(1, std::memory_order_release);
    return kResultOk;
  } catch (...) {
    return kResultFalse;
  }
}

tresult TVst3Plugin::SaveComponent(IBStream* stream) {
  if (!stream) return kInvalidArgument;
  try {
    TStateValues state{FProgram.load(), {}};
    const TParameterValues now = ComponentValues();
    std::memcpy(state.Real, now.Real, sizeof(state.Real));
    std::vector<uint8_t> blob = SaveState(state);
    int32 written = 0;
    if (stream->write(blob.data(), static_cast<int32>(blob.size()), &written) != kResultOk ||
        written != static_cast<int32>(blob.size()))
      return kResultFalse;
    return kResultOk;
  } catch (...) {
    return kResultFalse;
  }
}

// ---- IAudioProcessor ----

tresult TVst3Plugin::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                        SpeakerArrangement* outputs, int32 numOuts) {
  const bool stereo = numIns == 1 && numOuts == 1 && inputs && outputs &&
                      inputs[0] == kSpeakerStereo && outputs[0] == kSpeakerStereo;
  return stereo ? kResultTrue : kResultFalse;
}

tresult TVst3Plugin::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
  if (index != 0 || (dir != kInput && dir != kOutput)) return kInvalidArgument;
  arr = kSpeakerStereo;
  return kResultOk;
}

tresult TVst3Plugin::canProcessSampleSize(int32 symbolicSampleSize) {
  return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult TVst3Plugin::setupProcessing(ProcessSetup& setup) {
  // Any block size and rate: the loop runs sample by sample and keeps no buffer of its own.
  return setup.symbolicSampleSize == kSample32 ? kResultOk : kResultFalse;
}

tresult TVst3Plugin::setProcessing(TBool) {
  return kResultOk;
}

void TVst3Plugin::GatherChanges(IParameterChanges* changes, int32 frames) {
  FChangeCount = 0;
  if (!changes) return;
  const int32 queues = changes->getParameterCount();
  for (int32 q = 0; q < queues; ++q) {
    IParamValueQueue* queue = changes->getParameterData(q);
    if (!queue) continue;
    const ParamID id = queue->getParameterId();
    if (!IsEffectParameter(id) && id != kBypassId) continue;
    const int32 points = queue->getPointCount();
    for (int32 p = 0; p < points; ++p) {
      const bool last = p + 1 == points;
      // Out of room, only each queue's last point still goes in (over the latest one before),
      // so that every parameter ends the block where the host left it.
      if (FChangeCount >= kMaxChanges - 1 && !last) continue;
      int32 offset = 0;
      ParamValue value = 0.0;
      if (queue->getPoint(p, offset, value) != kResultOk) continue;
      if (offset < 0) offset = 0;
      if (offset > frames) offset = frames;
      const int32 index = static_cast<int32>(id);
      const float real = index == static_cast<int32>(kBypassId) ? (value >= 0.5 ? 1.0f : 0.0f)
                                                                : RealOf(index, value);
      if (FChangeCount == kMaxChanges) --FChangeCount;
      // In frame order among the points gathered so far; points of one queue come in order.
      size_t at = FChangeCount++;
      while (at > 0 && FChanges[at - 1].Frame > offset) {
        FChanges[at] = FChanges[at - 1];
        --at;
      }
      FChanges[at] = {offset, index, real};
    }
  }
}

void TVst3Plugin::GatherNotes(IEventList* events) {
  FNoteCount = 0;
  if (!events) return;
  const int32 count = events->getEventCount();
  for (int32 i = 0; i < count && FNoteCount < kMaxNotes; ++i) {
    Event e{};
    if (events->getEvent(i, e) != kResultOk) continue;
    uint8_t status, note, velocity;
    if (e.type == kNoteOnEvent) {
      status = 0x90;
      note = static_cast<uint8_t>(e.noteOn.pitch & 0x7F);
      velocity = VelocityByte(e.noteOn.velocity);
      // A note-on the host gives with no velocity still starts a note.
      if (velocity == 0) velocity = 1;
      status |= e.noteOn.channel & 0x0F;
    } else if (e.type == kNoteOffEvent) {
      status = 0x80 | (e.noteOff.channel & 0x0F);
      note = static_cast<uint8_t>(e.noteOff.pitch & 0x7F);
      velocity = VelocityByte(e.noteOff.velocity);
    } else {
      continue;
    }
    FNotes[FNoteCount++] = {e.sampleOffset, {status, note, velocity}};
  }
}

tresult TVst3Plugin::process(ProcessData& data) {
  if (data.symbolicSampleSize != kSample32) return kInvalidArgument;
  const int32 frames = data.numSamples > 0 ? data.numSamples : 0;
  // A loaded state first, then the block's changes over it. The loads posted so far, read
  // before the take, are the ones this block has surely taken.
  const uint32_t loads = FLoadsPosted.load(std::memory_order_acquire);
  bool changed = FToAudio.Take(FAudio);
  GatherChanges(data.inputParameterChanges, frames);
  changed = changed || FChangeCount > 0;

  const bool audio = frames > 0 && data.numInputs >= 1 && data.numOutputs >= 1 && data.inputs &&
                     data.outputs && data.inputs[0].numChannels >= 2 &&
                     data.outputs[0].numChannels >= 2 && data.inputs[0].channelBuffers32 &&
                     data.outputs[0].channelBuffers32 && data.inputs[0].channelBuffers32[0] &&
                     data.inputs[0].channelBuffers32[1] && data.outputs[0].channelBuffers32[0] &&
                     data.outputs[0].channelBuffers32[1];
  float* const* in = audio ? data.inputs[0].channelBuffers32 : nullptr;
  float* const* out = audio ? data.outputs[0].channelBuffers32 : nullptr;

  // The block in parts between bypass changes; the effect's changes of each part at their
  // offsets through the split block, as if each part were a block of its own.
  int32 begin = 0;
  size_t next = 0;
  while (next <= FChangeCount) {
    size_t end = next;
    while (end < FChangeCount && FChanges[end].Index != static_cast<int32>(kBypassId))
      ++end;
    const int32 until = end < FChangeCount ? FChanges[end].Frame : frames;
    size_t parts = 0;
    for (size_t c = next; c < end; ++c)
      FPart[parts++] = {FChanges[c].Frame - begin, FChanges[c].Index, FChanges[c].Real};
    const int32 length = audio ? until - begin : 0;
    const float* partIn[2] = {in ? in[0] + begin : nullptr, in ? in[1] + begin : nullptr};
    float* partOut[2] = {out ? out[0] + begin : nullptr, out ? out[1] + begin : nullptr};
    if (FBypass && length > 0) {
      for (int ch = 0; ch < 2; ++ch)
        if (partOut[ch] != partIn[ch])
          std::memmove(partOut[ch], partIn[ch], sizeof(float) * static_cast<size_t>(length));
    }
    FProcessor.ProcessSplit(FAudio, {FPart, parts}, {partIn, partOut, FBypass ? 0 : length}, {},
                            nullptr);
    if (end == FChangeCount) break;
    FBypass = FChanges[end].Real != 0.0f;
    begin = until;
    next = end + 1;
  }
  if (audio) data.outputs[0].silenceFlags = 0;
  if (changed) {
    FFromAudio.PostAll(FAudio);
    FLoadsSeen.store(loads, std::memory_order_release);
  }

  GatherNotes(data.inputEvents);
  if (data.outputEvents && FNoteCount) {
    TEventSink sink(*data.outputEvents);
    TEffectProcessor::EchoNotes({FNotes, FNoteCount}, sink);
  }
  return kResultOk;
}

// ---- IEditController ----

tresult TVst3Plugin::setComponentState(IBStream* stream) {
  try {
    TStateValues state{0, {}};
    const TParameterValues now = FStore.Values();
    std::memcpy(state.Real, now.Real, sizeof(state.Real));
    if (!LoadFrom(stream, state)) return kResultFalse;
    TParameterValues values;
    std::memcpy(values.Real, state.Real, sizeof(values.Real));
    FStore.SetAll(values);
    return kResultOk;
  } catch (...) {
    return kResultFalse;
  }
}

tresult TVst3Plugin::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
  if (paramIndex < 0 || paramIndex >= kParamCount) return kInvalidArgument;
  info = {};
  info.id = static_cast<ParamID>(paramIndex);
  info.unitId = 0;
  if (paramIndex == static_cast<int32>(kBypassId)) {
    CopyText(info.title, "Bypass");
    CopyText(info.shortTitle, "Bypass");
    info.stepCount = 1;
    info.defaultNormalizedValue = 0.0;
    info.flags = kCanAutomate | kIsBypass;
    return kResultOk;
  }
  const TParameterDescription& p = kParameters[paramIndex];
  CopyText(info.title, p.Name);
  CopyText(info.shortTitle, p.Name);
  CopyText(info.units, p.Units);
  // Counts step through whole numbers, switches between off and on; amounts are continuous.
  info.stepCount = p.Kind == TParameterKind::Number   ? static_cast<int32>(p.Max)
                   : p.Kind == TParameterKind::Switch ? 1
                                                      : 0;
  info.defaultNormalizedValue = NormalizedOf(paramIndex, DefaultReal(paramIndex));
  info.flags = kCanAutomate;
  return kResultOk;
}

tresult TVst3Plugin::getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                           String128 string) {
  if (!string) return kInvalidArgument;
  if (id == kBypassId) {
    CopyText(string, valueNormalized >= 0.5 ? "On" : "Off");
    return kResultOk;
  }
  if (!IsEffectParameter(id)) return kInvalidArgument;
  char text[64];
  ParameterText(static_cast<int32_t>(id), RealOf(static_cast<int32_t>(id), valueNormalized), '.',
                text, sizeof(text));
  CopyText(string, text);
  return kResultOk;
}

tresult TVst3Plugin::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) {
  char text[128];
  if (!string || !AsciiOf(string, text, sizeof(text))) return kResultFalse;
  if (id == kBypassId) {
    if (std::strcmp(text, "On") == 0 || std::strcmp(text, "1") == 0) {
      valueNormalized = 1.0;
      return kResultOk;
    }
    if (std::strcmp(text, "Off") == 0 || std::strcmp(text, "0") == 0) {
      valueNormalized = 0.0;
      return kResultOk;
    }
    return kResultFalse;
  }
  if (!IsEffectParameter(id)) return kInvalidArgument;
  float real = 0.0f;
  if (!ParameterFromText(static_cast<int32_t>(id), text, real)) return kResultFalse;
  valueNormalized = NormalizedOf(static_cast<int32_t>(id), real);
  return kResultOk;
}

ParamValue TVst3Plugin::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
  if (id == kBypassId) return valueNormalized >= 0.5 ? 1.0 : 0.0;
  if (!IsEffectParameter(id)) return 0.0;
  return RealOf(static_cast<int32_t>(id), valueNormalized);
}

ParamValue TVst3Plugin::plainParamToNormalized(ParamID id, ParamValue plainValue) {
  if (id == kBypassId) return plainValue >= 0.5 ? 1.0 : 0.0;
  if (!IsEffectParameter(id) || std::isnan(plainValue)) return 0.0;
  return NormalizedOf(static_cast<int32_t>(id), static_cast<float>(plainValue));
}

ParamValue TVst3Plugin::getParamNormalized(ParamID id) {
  if (id == kBypassId) return FBypassShown.load(std::memory_order_relaxed);
  if (!IsEffectParameter(id)) return 0.0;
  return NormalizedOf(static_cast<int32_t>(id), FStore.Real(static_cast<int32_t>(id)));
}

tresult TVst3Plugin::setParamNormalized(ParamID id, ParamValue value) {
  if (id == kBypassId) {
    FBypassShown.store(value >= 0.5 ? 1.0f : 0.0f, std::memory_order_relaxed);
    return kResultOk;
  }
  if (!IsEffectParameter(id)) return kInvalidArgument;
  FStore.SetReal(static_cast<int32_t>(id), RealOf(static_cast<int32_t>(id), value));
  return kResultOk;
}

tresult TVst3Plugin::setComponentHandler(IComponentHandler* handler) {
  if (handler == FHandler) return kResultOk;
  if (handler) handler->addRef();
  if (FHandler) FHandler->release();
  FHandler = handler;
  return kResultOk;
}

IPlugView* TVst3Plugin::createView(FIDString name) {
  if (!name || std::strcmp(name, kEditorViewType) != 0) return nullptr;
  return new (std::nothrow) TVst3View(*this);
}

// ---- The editor's view of the plug-in ----

void TVst3Plugin::BeginGesture(int32_t index) {
  if (FHandler) FHandler->beginEdit(static_cast<ParamID>(index));
}

void TVst3Plugin::SetParameterByGesture(int32_t index, float real) {
  FStore.SetReal(index, real);
  if (FHandler)
    FHandler->performEdit(static_cast<ParamID>(index), NormalizedOf(index, FStore.Real(index)));
}

void TVst3Plugin::EndGesture(int32_t index) {
  if (FHandler) FHandler->endEdit(static_cast<ParamID>(index));
}

int32 TVst3Plugin::driveEditor(TEditorDrive* drive) {
  if (!drive) return 0;
  if (drive->Command == edcUseHeadless) {
    FHeadless = drive->Value != 0;
    return 1;
  }
  TPluginEditorWindow* window = FView ? FView->Window() : nullptr;
  return window && window->Drive(*drive) ? 1 : 0;
}
