#include "vst2/base/DAudioEffectX.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "vst2/base/DVstUtils.h"

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms,
                           VstInt32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams) {}

// Extended dispatcher: opcodes 25 to 76 here, everything else (compared as an unsigned offset
// from 25, so negative opcodes too) to the core dispatcher.
VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
  if (static_cast<uint32_t>(opcode) - static_cast<uint32_t>(effProcessEvents) >
      static_cast<uint32_t>(effBeginLoadProgram - effProcessEvents))
    return AudioEffect::dispatcher(opcode, index, value, ptr, opt);

  const auto text = static_cast<char*>(ptr);
  const auto value32 = static_cast<VstInt32>(value);
  switch (opcode) {
  case effProcessEvents:
    return processEvents(static_cast<VstEvents*>(ptr));
  case effCanBeAutomated:
    return canParameterBeAutomated(index) ? 1 : 0;
  case effString2Parameter:
    return string2parameter(index, text) ? 1 : 0;
  case effGetNumProgramCategories:
    return getNumCategories();
  case effGetProgramNameIndexed:
    return getProgramNameIndexed(value32, index, text) ? 1 : 0;
  case effCopyProgram:
    return copyProgram(index) ? 1 : 0;
  case effConnectInput:
    inputConnected(index, value != 0);
    return 1;
  case effConnectOutput:
    outputConnected(index, value != 0);
    return 1;
  case effGetInputProperties:
    return getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
  case effGetOutputProperties:
    return getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
  case effGetPlugCategory:
    return getPlugCategory();
  case effGetCurrentPosition:
    return reportCurrentPosition();
  case effGetDestinationBuffer:
    return reinterpret_cast<VstIntPtr>(reportDestinationBuffer());
  case effOfflineNotify:
    return offlineNotify(static_cast<VstAudioFile*>(ptr), value32, index != 0) ? 1 : 0;
  case effOfflinePrepare:
    return offlinePrepare(static_cast<VstOfflineTask*>(ptr), value32) ? 1 : 0;
  case effOfflineRun:
    return offlineRun(static_cast<VstOfflineTask*>(ptr), value32) ? 1 : 0;
  case effProcessVarIo:
    return processVariableIo(static_cast<VstVariableIo*>(ptr)) ? 1 : 0;
  case effSetSpeakerArrangement:
    return setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                 static_cast<VstSpeakerArrangement*>(ptr))
               ? 1
               : 0;
  case effSetBlockSizeAndSampleRate:
    setBlockSizeAndSampleRate(value32, opt);
    return 1;
  case effSetBypass:
    return setBypass(value != 0) ? 1 : 0;
  case effGetEffectName:
    return getEffectName(text) ? 1 : 0;
  case effGetErrorText:
    return getErrorText(text) ? 1 : 0;
  case effGetVendorString:
    return getVendorString(text) ? 1 : 0;
  case effGetProductString:
    return getProductString(text) ? 1 : 0;
  case effGetVendorVersion:
    return getVendorVersion();
  case effVendorSpecific:
    return vendorSpecific(index, value, ptr, opt);
  case effCanDo:
    return canDo(text);
  case effGetTailSize:
    return getGetTailSize();
  case effIdle:
    return fxIdle();
  case effGetIcon:
    return reinterpret_cast<VstIntPtr>(getIcon());
  case effSetViewPosition:
    return setViewPosition(index, value32) ? 1 : 0;
  case effGetParameterProperties:
    return getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)) ? 1 : 0;
  case effKeysRequired:
    // The opcode asks the opposite question: 1 means the effect does not need the keys.
    return keysRequired() ? 0 : 1;
  case effGetVstVersion:
    return getVstVersion();
  case effEditKeyDown:
  case effEditKeyUp: {
    if (editor == nullptr) return 0;
    // Built in our own storage; whatever the editor writes into it is dropped.
    VstKeyCode keyCode{};
    keyCode.character = index;
    keyCode.virt = static_cast<unsigned char>(value & 0xFF);
    keyCode.modifier = static_cast<unsigned char>(roundToInt32Low(opt) & 0xFF);
    return opcode == effEditKeyDown ? editor->onKeyDown(keyCode) : editor->onKeyUp(keyCode);
  }
  case effSetEditKnobMode:
    return editor != nullptr ? editor->setKnobMode(value32) : 0;
  case effGetMidiProgramName:
    return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
  case effGetCurrentMidiProgram:
    return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
  case effGetMidiProgramCategory:
    return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
  case effHasMidiProgramsChanged:
    return hasMidiProgramsChanged(index) ? 1 : 0;
  case effGetMidiKeyName:
    return getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)) ? 1 : 0;
  case effBeginSetProgram:
    return beginSetProgram() ? 1 : 0;
  case effEndSetProgram:
    return endSetProgram() ? 1 : 0;
  case effGetSpeakerArrangement:
    return getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                 static_cast<VstSpeakerArrangement**>(ptr))
               ? 1
               : 0;
  case effShellGetNextPlugin:
    return getNextShellPlugin(text);
  case effStartProcess:
    return startProcess();
  case effStopProcess:
    return stopProcess();
  case effSetTotalSampleToProcess:
    return setTotalSampleToProcess(value32);
  case effSetPanLaw:
    return setPanLaw(value32, opt) ? 1 : 0;
  case effBeginLoadBank:
    return beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
  case effBeginLoadProgram:
    return beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
  default:
    return 0;
  }
}

// Host requests (positions 38 to 40).

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
  return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter, nullptr, 0, 0));
}

void AudioEffectX::setTime(VstInt32 filter, VstTimeInfo* timeInfo) {
  callHost(audioMasterSetTime, 0, filter, timeInfo, 0, 0);
}

VstInt32 AudioEffectX::tempoAt(VstInt32 pos) {
  return static_cast<VstInt32>(callHost(audioMasterTempoAt, 0, pos, nullptr, 0, 0));
}

// Plug-side defaults decline.
VstInt32 AudioEffectX::processEvents(VstEvents*) {
  return 0;
}

VstInt32 AudioEffectX::getNumAutomatableParameters() {
  return static_cast<VstInt32>(
      callHost(audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0, 0));
}

VstInt32 AudioEffectX::getParameterQuantization() {
  return static_cast<VstInt32>(callHost(audioMasterGetParameterQuantization, 0, 0, nullptr, 0, 0));
}

bool AudioEffectX::canParameterBeAutomated(VstInt32) {
  return true;
}
bool AudioEffectX::string2parameter(VstInt32, char*) {
  return false;
}
float AudioEffectX::getChannelParameter(VstInt32, VstInt32) {
  return 0.0f;
}
VstInt32 AudioEffectX::getNumCategories() {
  return 1;
}
bool AudioEffectX::getProgramNameIndexed(VstInt32, VstInt32, char*) {
  return false;
}
bool AudioEffectX::copyProgram(VstInt32) {
  return false;
}

bool AudioEffectX::ioChanged() {
  return callHost(audioMasterIOChanged, 0, 0, nullptr, 0, 0) != 0;
}
bool AudioEffectX::needIdle() {
  return callHost(audioMasterNeedIdle, 0, 0, nullptr, 0, 0) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
  return callHost(audioMasterSizeWindow, width, height, nullptr, 0, 0) != 0;
}

// Only a positive answer replaces the stored rate, through the virtual setter so that an
// override sees it.
double AudioEffectX::updateSampleRate() {
  if (audioMaster != nullptr) {
    const auto answer =
        static_cast<VstInt32>(callHost(audioMasterGetSampleRate, 0, 0, nullptr, 0, 0));
    if (answer > 0) setSampleRate(static_cast<float>(answer));
  }
  return static_cast<double>(sampleRate);
}

VstInt32 AudioEffectX::updateBlockSize() {
  if (audioMaster != nullptr) {
    const auto answer =
        static_cast<VstInt32>(callHost(audioMasterGetBlockSize, 0, 0, nullptr, 0, 0));
    if (answer > 0) setBlockSize(answer);
  }
  return blockSize;
}

VstInt32 AudioEffectX::getInputLatency() {
  return static_cast<VstInt32>(callHost(audioMasterGetInputLatency, 0, 0, nullptr, 0, 0));
}

VstInt32 AudioEffectX::getOutputLatency() {
  return static_cast<VstInt32>(callHost(audioMasterGetOutputLatency, 0, 0, nullptr, 0, 0));
}

AEffect* AudioEffectX::getPreviousPlug() {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug, 0, 0, nullptr, 0, 0));
}

AEffect* AudioEffectX::getNextPlug() {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug, 0, 0, nullptr, 0, 0));
}

void AudioEffectX::inputConnected(VstInt32, bool) {}
void AudioEffectX::outputConnected(VstInt32, bool) {}
bool AudioEffectX::getInputProperties(VstInt32, VstPinProperties*) {
  return false;
}
bool AudioEffectX::getOutputProperties(VstInt32, VstPinProperties*) {
  return false;
}

VstInt32 AudioEffectX::getPlugCategory() {
  return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

VstInt32 AudioEffectX::willProcessReplacing() {
  return static_cast<VstInt32>(callHost(audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0, 0));
}

VstInt32 AudioEffectX::getCurrentProcessLevel() {
  return static_cast<VstInt32>(callHost(audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0, 0));
}

VstInt32 AudioEffectX::getAutomationState() {
  return static_cast<VstInt32>(callHost(audioMasterGetAutomationState, 0, 0, nullptr, 0, 0));
}

void AudioEffectX::wantAsyncOperation(bool state) {
  setFlag(effFlagsExtIsAsync, state);
}
void AudioEffectX::hasExternalBuffer(bool state) {
  setFlag(effFlagsExtHasBuffer, state);
}
VstInt32 AudioEffectX::reportCurrentPosition() {
  return 0;
}
float* AudioEffectX::reportDestinationBuffer() {
  return nullptr;
}

bool AudioEffectX::offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource) {
  return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline, 0, 0) != 0;
}

bool AudioEffectX::offlineWrite(VstOfflineTask* offline, VstInt32 option) {
  return callHost(audioMasterOfflineWrite, 0, option, offline, 0, 0) != 0;
}

bool AudioEffectX::offlineStart(VstAudioFile* audioFiles, VstInt32 numAudioFiles,
                                VstInt32 numNewAudioFiles) {
  return callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles, 0, 0) != 0;
}

VstInt32 AudioEffectX::offlineGetCurrentPass() {
  return callHost(audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0, 0) != 0 ? 1 : 0;
}

VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
  return callHost(audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0, 0) != 0 ? 1 : 0;
}

bool AudioEffectX::offlineNotify(VstAudioFile*, VstInt32, bool) {
  return false;
}
bool AudioEffectX::offlinePrepare(VstOfflineTask*, VstInt32) {
  return false;
}
bool AudioEffectX::offlineRun(VstOfflineTask*, VstInt32) {
  return false;
}
VstInt32 AudioEffectX::offlineGetNumPasses() {
  return 0;
}
VstInt32 AudioEffectX::offlineGetNumMetaPasses() {
  return 0;
}

void AudioEffectX::setOutputSamplerate(float samplerate) {
  callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, samplerate, 0);
}

VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
  return reinterpret_cast<VstSpeakerArrangement*>(
      callHost(audioMasterGetInputSpeakerArrangement, 0, 0, nullptr, 0, 0));
}

VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
  return reinterpret_cast<VstSpeakerArrangement*>(
      callHost(audioMasterGetOutputSpeakerArrangement, 0, 0, nullptr, 0, 0));
}

bool AudioEffectX::getHostVendorString(char* text) {
  return callHost(audioMasterGetVendorString, 0, 0, text, 0, 0) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
  return callHost(audioMasterGetProductString, 0, 0, text, 0, 0) != 0;
}

VstInt32 AudioEffectX::getHostVendorVersion() {
  return static_cast<VstInt32>(callHost(audioMasterGetVendorVersion, 0, 0, nullptr, 0, 0));
}

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                                           float floatArg) {
  return callHost(audioMasterVendorSpecific, lArg1, lArg2, ptrArg, floatArg, 0);
}

VstInt32 AudioEffectX::canHostDo(char* text) {
  return static_cast<VstInt32>(callHost(audioMasterCanDo, 0, 0, text, 0, 0));
}

void AudioEffectX::isSynth(bool state) {
  setFlag(effFlagsIsSynth, state);
}
void AudioEffectX::noTail(bool state) {
  setFlag(effFlagsNoSoundInStop, state);
}

VstInt32 AudioEffectX::getHostLanguage() {
  return static_cast<VstInt32>(callHost(audioMasterGetLanguage, 0, 0, nullptr, 0, 0));
}

void* AudioEffectX::openWindow(VstWindow* window) {
  return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window, 0, 0));
}

bool AudioEffectX::closeWindow(VstWindow* window) {
  return callHost(audioMasterCloseWindow, 0, 0, window, 0, 0) != 0;
}

void* AudioEffectX::getDirectory() {
  return reinterpret_cast<void*>(callHost(audioMasterGetDirectory, 0, 0, nullptr, 0, 0));
}

bool AudioEffectX::updateDisplay() {
  return callHost(audioMasterUpdateDisplay, 0, 0, nullptr, 0, 0) != 0;
}

bool AudioEffectX::processVariableIo(VstVariableIo*) {
  return false;
}

bool AudioEffectX::setSpeakerArrangement(VstSpeakerArrangement*, VstSpeakerArrangement*) {
  return false;
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                         VstSpeakerArrangement** pluginOutput) {
  // A host may pass no location at all; only the locations it gave are written.
  if (pluginInput != nullptr) *pluginInput = nullptr;
  if (pluginOutput != nullptr) *pluginOutput = nullptr;
  return false;
}

// Stored directly: this opcode is a bulk setting, not a call of the two virtual setters.
void AudioEffectX::setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
  blockSize = newBlockSize;
  sampleRate = newSampleRate;
}

bool AudioEffectX::setBypass(bool) {
  return false;
}
bool AudioEffectX::getEffectName(char*) {
  return false;
}
bool AudioEffectX::getErrorText(char*) {
  return false;
}
bool AudioEffectX::getVendorString(char*) {
  return false;
}
bool AudioEffectX::getProductString(char*) {
  return false;
}
VstInt32 AudioEffectX::getVendorVersion() {
  return 0;
}
VstIntPtr AudioEffectX::vendorSpecific(VstInt32, VstIntPtr, void*, float) {
  return 0;
}
VstInt32 AudioEffectX::canDo(char*) {
  return 0;
}
void* AudioEffectX::getIcon() {
  return nullptr;
}
bool AudioEffectX::setViewPosition(VstInt32, VstInt32) {
  return false;
}
VstInt32 AudioEffectX::getGetTailSize() {
  return 0;
}
VstInt32 AudioEffectX::fxIdle() {
  return 0;
}
bool AudioEffectX::getParameterProperties(VstInt32, VstParameterProperties*) {
  return false;
}
bool AudioEffectX::keysRequired() {
  return false;
}
VstInt32 AudioEffectX::getVstVersion() {
  return 2300;
}
VstInt32 AudioEffectX::getMidiProgramName(VstInt32, MidiProgramName*) {
  return 0;
}
VstInt32 AudioEffectX::getCurrentMidiProgram(VstInt32, MidiProgramName*) {
  return -1;
}
VstInt32 AudioEffectX::getMidiProgramCategory(VstInt32, MidiProgramCategory*) {
  return 0;
}
bool AudioEffectX::hasMidiProgramsChanged(VstInt32) {
  return false;
}
bool AudioEffectX::getMidiKeyName(VstInt32, MidiKeyName*) {
  return false;
}
bool AudioEffectX::beginSetProgram() {
  return false;
}
bool AudioEffectX::endSetProgram() {
  return false;
}

bool AudioEffectX::beginEdit(VstInt32 index) {
  return callHost(audioMasterBeginEdit, index, 0, nullptr, 0, 0) != 0;
}

bool AudioEffectX::endEdit(VstInt32 index) {
  return callHost(audioMasterEndEdit, index, 0, nullptr, 0, 0) != 0;
}

bool AudioEffectX::openFileSelector(VstFileSelect* fileSelect) {
  if (fileSelect == nullptr) return false;
  return callHost(audioMasterOpenFileSelector, 0, 0, fileSelect, 0, 0) != 0;
}

VstInt32 AudioEffectX::setTotalSampleToProcess(VstInt32 value) {
  return value;
}
VstInt32 AudioEffectX::getNextShellPlugin(char*) {
  return 0;
}
VstInt32 AudioEffectX::startProcess() {
  return 0;
}
VstInt32 AudioEffectX::stopProcess() {
  return 0;
}
bool AudioEffectX::setPanLaw(VstInt32, float) {
  return false;
}
VstInt32 AudioEffectX::beginLoadBank(VstPatchChunkInfo*) {
  return 0;
}
VstInt32 AudioEffectX::beginLoadProgram(VstPatchChunkInfo*) {
  return 0;
}

// Speaker-arrangement utilities. Blocks come from malloc and go back to free; an arrangement
// for n channels is 8 + 112 n bytes.

namespace {

// Speaker i of an arrangement of any length (the declared array covers only the first few).
VstSpeakerProperties* speakerAt(VstSpeakerArrangement* arrangement, VstInt32 i) {
  return reinterpret_cast<VstSpeakerProperties*>(
      reinterpret_cast<char*>(arrangement) + offsetof(VstSpeakerArrangement, speakers) +
      sizeof(VstSpeakerProperties) * static_cast<size_t>(i));
}

} // namespace

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 nbChannels) {
  if (arrangement == nullptr) return false;
  if (*arrangement != nullptr) {
    std::free(*arrangement);
    *arrangement = nullptr;
  }
  // A negative count or one whose size does not fit is treated as memory that cannot be had.
  constexpr size_t kHeader = offsetof(VstSpeakerArrangement, speakers);
  constexpr size_t kSpeaker = sizeof(VstSpeakerProperties);
  if (nbChannels < 0 ||
      static_cast<size_t>(nbChannels) > (std::numeric_limits<size_t>::max() - kHeader) / kSpeaker)
    return false;
  const size_t size = kHeader + kSpeaker * static_cast<size_t>(nbChannels);
  void* block = std::calloc(1, size);
  if (block == nullptr) return false;
  auto* result = static_cast<VstSpeakerArrangement*>(block);
  result->numChannels = nbChannels;
  *arrangement = result;
  return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement) {
  if (arrangement != nullptr && *arrangement != nullptr) {
    std::free(*arrangement);
    *arrangement = nullptr;
  }
  return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
  if (to == nullptr || from == nullptr) return false;
  // The name is copied up to its terminator but never beyond its 64 characters; a name that
  // fills them all without a terminator is cut to 63 and terminated.
  const size_t length = strnlen(from->name, sizeof from->name);
  if (length < sizeof from->name) {
    std::memcpy(to->name, from->name, length + 1);
  } else {
    std::memcpy(to->name, from->name, sizeof to->name - 1);
    to->name[sizeof to->name - 1] = 0;
  }
  to->type = from->type;
  to->azimuth = from->azimuth;
  to->elevation = from->elevation;
  to->radius = from->radius;
  to->reserved = from->reserved;
  std::memcpy(to->future, from->future, sizeof to->future);
  return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from) {
  if (from == nullptr || to == nullptr) return false;
  if (!deallocateArrangement(to)) return false;
  if (!allocateArrangement(to, from->numChannels)) return false;
  (*to)->type = from->type;
  for (VstInt32 i = 0; i < from->numChannels; ++i)
    if (!copySpeaker(speakerAt(*to, i), speakerAt(from, i))) return false;
  return true;
}

// Non-virtual host requests.

void AudioEffectX::wantEvents(VstInt32 filter) {
  callHost(audioMasterWantMidi, 0, filter, nullptr, 0, 0);
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
  return callHost(audioMasterProcessEvents, 0, 0, events, 0, 0) == 1;
}
