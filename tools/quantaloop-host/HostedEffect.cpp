#include "HostedEffect.h"

#include "SettingParser.h"
#include "ToolError.h"

#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>

namespace qlhost {

namespace {

// What this host answers about itself. One process hosts one effect at a time, so the answers
// live here rather than per instance.
struct THostState {
  float SampleRate = 44100.0f;
  VstIntPtr BlockSize = 512;
  VstTimeInfo Time{};
};
THostState HostState;

constexpr VstIntPtr kHostInterfaceVersion = 2400;

// Answers the effect's requests. It runs inside the plug-in's calls and never throws.
VstIntPtr VSTCALLBACK HostCallback(AEffect* /*effect*/, VstInt32 opcode, VstInt32 /*index*/,
                                   VstIntPtr /*value*/, void* ptr, float /*opt*/) noexcept {
  switch (opcode) {
  case audioMasterVersion:
    return kHostInterfaceVersion;
  case audioMasterAutomate:
  case audioMasterIdle:
  case audioMasterWantMidi:
  case audioMasterIOChanged:
    return 1;
  case audioMasterProcessEvents:
    return 1; // events from the effect are accepted and dropped: files carry no MIDI
  case audioMasterGetTime:
    HostState.Time.sampleRate = HostState.SampleRate;
    return reinterpret_cast<VstIntPtr>(&HostState.Time);
  case audioMasterGetSampleRate:
    return static_cast<VstIntPtr>(HostState.SampleRate);
  case audioMasterGetBlockSize:
    return HostState.BlockSize;
  case audioMasterGetCurrentProcessLevel:
    return 4; // offline: the host renders files, not a live stream
  case audioMasterGetAutomationState:
    return 1; // automation off
  case audioMasterGetLanguage:
    return 1; // English
  case audioMasterGetVendorString:
    if (ptr) std::strcpy(static_cast<char*>(ptr), "Quantaloop project");
    return ptr ? 1 : 0;
  case audioMasterGetProductString:
    if (ptr) std::strcpy(static_cast<char*>(ptr), "quantaloop-host");
    return ptr ? 1 : 0;
  case audioMasterGetVendorVersion:
    return 1;
  case audioMasterCanDo:
    return 0;
  default:
    return 0;
  }
}

using TEntry = AEffect* (*)(audioMasterCallback);

} // namespace

THostedEffect::THostedEffect(const std::string& path) : FPath(path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw TToolError("cannot open plug-in " + path + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw TToolError("plug-in " + path + " is not a file");
  // A name without a slash would send dlopen searching the library path instead of this file.
  std::string load = path.find('/') == std::string::npos ? "./" + path : path;
  FLibrary = ::dlopen(load.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FLibrary) {
    const char* why = ::dlerror();
    throw TToolError(path + " is not a loadable plug-in library: " + (why ? why : "unknown"));
  }
  void* entry = ::dlsym(FLibrary, "VSTPluginMain");
  FEntryName = "VSTPluginMain";
  if (!entry) {
    entry = ::dlsym(FLibrary, "main");
    FEntryName = "main";
  }
  if (!entry) {
    ::dlclose(FLibrary);
    throw TToolError(path + " is not a VST 2 plug-in: it exports neither VSTPluginMain nor main");
  }
  FEffect = reinterpret_cast<TEntry>(entry)(&HostCallback);
  if (!FEffect) {
    ::dlclose(FLibrary);
    throw TToolError(std::string("the entry ") + FEntryName + " of " + path +
                     " returned no effect");
  }
  if (FEffect->magic != kEffectMagic || !FEffect->dispatcher) {
    ::dlclose(FLibrary);
    throw TToolError(std::string("the entry ") + FEntryName + " of " + path +
                     " returned something that is not an effect record");
  }
  if (FEffect->numInputs < 0 || FEffect->numOutputs < 0 || FEffect->numInputs > 256 ||
      FEffect->numOutputs > 256 || FEffect->numParams < 0 || FEffect->numPrograms < 0) {
    Dispatch(effClose);
    ::dlclose(FLibrary);
    throw TToolError(path + " reports impossible pin, parameter or program counts");
  }
  Dispatch(effOpen);
}

THostedEffect::~THostedEffect() {
  if (FProcessing) StopProcess();
  if (FResumed) Suspend();
  Dispatch(effClose);
  ::dlclose(FLibrary);
}

VstIntPtr THostedEffect::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
  return FEffect->dispatcher(FEffect, opcode, index, value, ptr, opt);
}

std::string THostedEffect::TextOf(VstInt32 opcode, VstInt32 index, size_t capacity) {
  // Plug-ins are known to write past the published limits; give them plenty of room and cut
  // the answer at the first terminator or at the end of the room.
  std::vector<char> buffer(capacity + 256, '\0');
  Dispatch(opcode, index, 0, buffer.data());
  buffer.back() = '\0';
  return std::string(buffer.data());
}

std::string THostedEffect::ParamName(int index) {
  return TextOf(effGetParamName, index, kVstMaxParamStrLen);
}
std::string THostedEffect::ParamLabel(int index) {
  return TextOf(effGetParamLabel, index, kVstMaxParamStrLen);
}
std::string THostedEffect::ParamDisplay(int index) {
  return TextOf(effGetParamDisplay, index, kVstMaxParamStrLen);
}
float THostedEffect::GetParameter(int index) {
  return FEffect->getParameter(FEffect, index);
}
void THostedEffect::SetParameter(int index, float value) {
  FEffect->setParameter(FEffect, index, value);
}

std::string THostedEffect::EffectName() {
  return TextOf(effGetEffectName, 0, kVstMaxEffectNameLen);
}
std::string THostedEffect::VendorString() {
  return TextOf(effGetVendorString, 0, kVstMaxVendorStrLen);
}
std::string THostedEffect::ProductString() {
  return TextOf(effGetProductString, 0, kVstMaxProductStrLen);
}

std::string THostedEffect::ProgramName(int index) {
  std::vector<char> buffer(kVstMaxProgNameLen + 256, '\0');
  if (Dispatch(effGetProgramNameIndexed, index, -1, buffer.data()) == 0) {
    if (Dispatch(effGetProgram) != index) return {};
    return CurrentProgramName();
  }
  buffer.back() = '\0';
  return std::string(buffer.data());
}

std::string THostedEffect::CurrentProgramName() {
  return TextOf(effGetProgramName, 0, kVstMaxProgNameLen);
}

VstIntPtr THostedEffect::CanDo(const char* capability) {
  return Dispatch(effCanDo, 0, 0, const_cast<char*>(capability));
}

void THostedEffect::SetSampleRate(float rate) {
  HostState.SampleRate = rate;
  Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void THostedEffect::SetBlockSize(int frames) {
  HostState.BlockSize = frames;
  Dispatch(effSetBlockSize, 0, frames);
}

void THostedEffect::Resume() {
  Dispatch(effMainsChanged, 0, 1);
  FResumed = true;
}

void THostedEffect::Suspend() {
  Dispatch(effMainsChanged, 0, 0);
  FResumed = false;
}

void THostedEffect::StartProcess() {
  Dispatch(effStartProcess);
  FProcessing = true;
}

void THostedEffect::StopProcess() {
  Dispatch(effStopProcess);
  FProcessing = false;
}

void THostedEffect::Start() {
  Resume();
  StartProcess();
}

void THostedEffect::Stop() {
  StopProcess();
  Suspend();
}

void THostedEffect::ApplySetting(std::string_view text) {
  qlhost::ApplySetting(*this, text);
}

void THostedEffect::Process(float** inputs, float** outputs, int frames) {
  if ((FEffect->flags & effFlagsCanReplacing) && FEffect->processReplacing) {
    FEffect->processReplacing(FEffect, inputs, outputs, frames);
  } else {
    for (int c = 0; c < FEffect->numOutputs; ++c)
      std::memset(outputs[c], 0, sizeof(float) * static_cast<size_t>(frames));
    if (FEffect->process) FEffect->process(FEffect, inputs, outputs, frames);
  }
  HostState.Time.samplePos += frames;
}

} // namespace qlhost
