#include "vst2/base/DAudioEffect.h"

#include <cmath>
#include <cstring>

#include "platform/FloatingPoint.h"
#include "vst2/base/DVstUtils.h"

namespace {

// Runs when the library is loaded, on the loading thread, before the host can reach the entry
// point: floating-point faults in the effect's arithmetic then give infinities and
// not-a-number values instead of exceptions.
const bool gFloatingPointSetUp = [] {
  SetUpFloatingPoint();
  return true;
}();

AudioEffect* objectOf(AEffect* e) {
  return e != nullptr ? static_cast<AudioEffect*>(e->object) : nullptr;
}

} // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : cEffect{}, sampleRate(44100.0f), editor(nullptr), numPrograms(numPrograms),
      numParams(numParams), blockSize(1024), curProgram(0), audioMaster(audioMaster) {
  (void)gFloatingPointSetUp;
  std::memset(&cEffect, 0, sizeof cEffect);
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = &dispatchEffectClass;
  cEffect.process = &processClass;
  cEffect.setParameter = &setParameterClass;
  cEffect.getParameter = &getParameterClass;
  cEffect.numPrograms = numPrograms;
  cEffect.numParams = numParams;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.flags = 0;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.user = nullptr;
  cEffect.uniqueID = makeFourCharCode('N', 'o', 'E', 'f');
  cEffect.version = 1;
  cEffect.processReplacing = &processClassReplacing;
}

AudioEffect::~AudioEffect() {
  delete editor;
}

// Static entries. The effect's code may throw (an allocation failing, for instance); nothing
// of that may reach the host, which answers 0 or does nothing instead.

VstIntPtr VSTCALLBACK AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                                       VstIntPtr value, void* ptr, float opt) {
  AudioEffect* object = objectOf(e);
  if (object == nullptr) return 0;
  if (opcode == effClose) {
    try {
      object->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
    }
    try {
      delete object;
    } catch (...) {
    }
    return 1;
  }
  try {
    return object->dispatcher(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

void VSTCALLBACK AudioEffect::processClass(AEffect* e, float** inputs, float** outputs,
                                           VstInt32 sampleFrames) {
  try {
    if (AudioEffect* object = objectOf(e)) object->process(inputs, outputs, sampleFrames);
  } catch (...) {
  }
}

void VSTCALLBACK AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                                    VstInt32 sampleFrames) {
  try {
    if (AudioEffect* object = objectOf(e)) object->processReplacing(inputs, outputs, sampleFrames);
  } catch (...) {
  }
}

void VSTCALLBACK AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value) {
  try {
    if (AudioEffect* object = objectOf(e)) object->setParameter(index, value);
  } catch (...) {
  }
}

float VSTCALLBACK AudioEffect::getParameterClass(AEffect* e, VstInt32 index) {
  try {
    if (AudioEffect* object = objectOf(e)) return object->getParameter(index);
  } catch (...) {
  }
  return 0.0f;
}

// Core dispatcher: opcodes 0 to 24; anything else, negative opcodes included, answers 0.
VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
  switch (static_cast<uint32_t>(opcode)) {
  case effOpen:
    open();
    return 0;
  case effClose:
    close();
    return 0;
  case effSetProgram:
    if (value < numPrograms) setProgram(static_cast<VstInt32>(value));
    return 0;
  case effGetProgram:
    return getProgram();
  case effSetProgramName:
    setProgramName(static_cast<char*>(ptr));
    return 0;
  case effGetProgramName:
    getProgramName(static_cast<char*>(ptr));
    return 0;
  case effGetParamLabel:
    getParameterLabel(index, static_cast<char*>(ptr));
    return 0;
  case effGetParamDisplay:
    getParameterDisplay(index, static_cast<char*>(ptr));
    return 0;
  case effGetParamName:
    getParameterName(index, static_cast<char*>(ptr));
    return 0;
  case effGetVu:
    return roundToInt32Low(static_cast<double>(getVu()) * 32767.0);
  case effSetSampleRate:
    setSampleRate(opt);
    return 0;
  case effSetBlockSize:
    setBlockSize(static_cast<VstInt32>(value));
    return 0;
  case effMainsChanged:
    if (value == 0)
      suspend();
    else
      resume();
    return 0;
  case effEditGetRect:
    // The editor stores an address in the host's location: without one there is nothing to do.
    return editor != nullptr && ptr != nullptr ? editor->getRect(static_cast<ERect**>(ptr)) : 0;
  case effEditOpen:
    return editor != nullptr ? editor->open(ptr) : 0;
  case effEditClose:
    if (editor != nullptr) editor->close();
    return 0;
  case effEditIdle:
    if (editor != nullptr) editor->idle();
    return 0;
  case effIdentify:
    return makeFourCharCode('N', 'v', 'E', 'f');
  case effGetChunk:
    return getChunk(static_cast<void**>(ptr), index != 0);
  case effSetChunk:
    return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
  default: // effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep, unknown opcodes
    return 0;
  }
}

void AudioEffect::setSampleRate(float newSampleRate) {
  sampleRate = newSampleRate;
}
void AudioEffect::setBlockSize(VstInt32 newBlockSize) {
  blockSize = newBlockSize;
}
void AudioEffect::setParameter(VstInt32, float) {}
float AudioEffect::getParameter(VstInt32) {
  return 0.0f;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  callHost(audioMasterAutomate, index, 0, nullptr, value, 0);
}

void AudioEffect::processReplacing(float**, float**, VstInt32) {}
void AudioEffect::open() {}
void AudioEffect::close() {}
VstInt32 AudioEffect::getProgram() {
  return curProgram;
}
void AudioEffect::setProgram(VstInt32 program) {
  curProgram = program;
}
void AudioEffect::setProgramName(char*) {}
void AudioEffect::getProgramName(char*) {}
void AudioEffect::getParameterLabel(VstInt32, char*) {}
void AudioEffect::getParameterDisplay(VstInt32, char*) {}
void AudioEffect::getParameterName(VstInt32, char*) {}
float AudioEffect::getVu() {
  return 0.0f;
}
VstInt32 AudioEffect::getChunk(void**, bool) {
  return 0;
}
VstInt32 AudioEffect::setChunk(void*, VstInt32, bool) {
  return 0;
}
void AudioEffect::suspend() {}
void AudioEffect::resume() {}
void AudioEffect::setUniqueID(VstInt32 iD) {
  cEffect.uniqueID = iD;
}
void AudioEffect::setNumInputs(VstInt32 inputs) {
  cEffect.numInputs = inputs;
}
void AudioEffect::setNumOutputs(VstInt32 outputs) {
  cEffect.numOutputs = outputs;
}
void AudioEffect::hasVu(bool state) {
  setFlag(effFlagsHasVu, state);
}
void AudioEffect::hasClip(bool state) {
  setFlag(effFlagsHasClip, state);
}
void AudioEffect::canMono(bool state) {
  setFlag(effFlagsCanMono, state);
}
void AudioEffect::canProcessReplacing(bool state) {
  setFlag(effFlagsCanReplacing, state);
}
void AudioEffect::programsAreChunks(bool state) {
  setFlag(effFlagsProgramChunks, state);
}
void AudioEffect::setRealtimeQualities(VstInt32 qualities) {
  cEffect.realQualities = qualities;
}
void AudioEffect::setOfflineQualities(VstInt32 qualities) {
  cEffect.offQualities = qualities;
}
void AudioEffect::setInitialDelay(VstInt32 delay) {
  cEffect.initialDelay = delay;
}

VstInt32 AudioEffect::getMasterVersion() {
  const auto version = static_cast<VstInt32>(callHost(audioMasterVersion, 0, 0, nullptr, 0, 1));
  return version != 0 ? version : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
  return static_cast<VstInt32>(callHost(audioMasterCurrentId, 0, 0, nullptr, 0, 0));
}

void AudioEffect::masterIdle() {
  callHost(audioMasterIdle, 0, 0, nullptr, 0, 0);
}

// The host answers 0 for a connected pin.
bool AudioEffect::isInputConnected(VstInt32 input) {
  return callHost(audioMasterPinConnected, input, 0, nullptr, 0, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
  return callHost(audioMasterPinConnected, output, 1, nullptr, 0, 0) == 0;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
  editor = newEditor;
  setFlag(effFlagsHasEditor, newEditor != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt, VstIntPtr none) {
  // Read at every request; the callback never changes, but a null one means "no host".
  if (audioMaster == nullptr) return none;
  return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setFlag(VstInt32 bit, bool state) {
  if (state)
    cEffect.flags |= bit;
  else
    cEffect.flags &= ~bit;
}

// AEffEditor

AEffEditor::AEffEditor(AudioEffect* effect)
    : effect(effect), systemWindow(nullptr), updateFlag(0) {}

AEffEditor::~AEffEditor() = default;

VstInt32 AEffEditor::getRect(ERect** rect) {
  if (rect != nullptr) *rect = nullptr;
  return 0;
}

VstInt32 AEffEditor::open(void* ptr) {
  systemWindow = ptr;
  return 0;
}

void AEffEditor::close() {}

void AEffEditor::idle() {
  // exchange, so that a postUpdate racing with idle gives one update, never zero or two.
  if (updateFlag.exchange(0, std::memory_order_relaxed) != 0) update();
}

void AEffEditor::update() {}
void AEffEditor::postUpdate() {
  updateFlag.store(1, std::memory_order_relaxed);
}
VstInt32 AEffEditor::onKeyDown(VstKeyCode&) {
  return -1;
}
VstInt32 AEffEditor::onKeyUp(VstKeyCode&) {
  return -1;
}
VstInt32 AEffEditor::setKnobMode(VstInt32) {
  return 0;
}
bool AEffEditor::onWheel(float) {
  return false;
}
