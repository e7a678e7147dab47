#include "vst3/host/Vst3Host.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace vst3host {

namespace fs = std::filesystem;

// ---- TMemoryStream ----

tresult TMemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
  if (numBytesRead) *numBytesRead = 0;
  if (numBytes < 0 || (!buffer && numBytes > 0)) return kInvalidArgument;
  if (Position >= FailReadsAfter) return kInternalError;
  size_t n =
      std::min(static_cast<size_t>(numBytes), Bytes.size() - std::min(Position, Bytes.size()));
  n = std::min(n, FailReadsAfter - Position);
  if (n) std::memcpy(buffer, Bytes.data() + Position, n);
  Position += n;
  if (numBytesRead) *numBytesRead = static_cast<int32>(n);
  return kResultOk;
}

tresult TMemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
  if (numBytesWritten) *numBytesWritten = 0;
  if (numBytes < 0 || (!buffer && numBytes > 0)) return kInvalidArgument;
  const size_t n = static_cast<size_t>(numBytes);
  if (Bytes.size() < Position + n) Bytes.resize(Position + n);
  if (n) std::memcpy(Bytes.data() + Position, buffer, n);
  Position += n;
  if (numBytesWritten) *numBytesWritten = numBytes;
  return kResultOk;
}

tresult TMemoryStream::seek(int64 pos, int32 mode, int64* result) {
  int64 base = mode == kIBSeekSet   ? 0
               : mode == kIBSeekCur ? static_cast<int64>(Position)
                                    : static_cast<int64>(Bytes.size());
  if (base + pos < 0) return kInvalidArgument;
  Position = static_cast<size_t>(base + pos);
  if (result) *result = static_cast<int64>(Position);
  return kResultOk;
}

tresult TMemoryStream::tell(int64* pos) {
  if (!pos) return kInvalidArgument;
  *pos = static_cast<int64>(Position);
  return kResultOk;
}

// ---- Parameter changes and events ----

tresult TParamQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
  if (index < 0 || index >= getPointCount()) return kInvalidArgument;
  sampleOffset = Points[static_cast<size_t>(index)].Offset;
  value = Points[static_cast<size_t>(index)].Value;
  return kResultOk;
}

tresult TParamQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
  Points.push_back({sampleOffset, value});
  index = getPointCount() - 1;
  return kResultOk;
}

TParamChanges::~TParamChanges() {
  Clear();
}

IParamValueQueue* TParamChanges::getParameterData(int32 index) {
  return index >= 0 && index < getParameterCount() ? Queues[static_cast<size_t>(index)] : nullptr;
}

IParamValueQueue* TParamChanges::addParameterData(const ParamID& id, int32& index) {
  for (size_t i = 0; i < Queues.size(); ++i)
    if (Queues[i]->Id == id) {
      index = static_cast<int32>(i);
      return Queues[i];
    }
  Queues.push_back(new TParamQueue(id));
  index = getParameterCount() - 1;
  return Queues.back();
}

void TParamChanges::Add(ParamID id, int32 offset, ParamValue value) {
  int32 index = 0, point = 0;
  addParameterData(id, index)->addPoint(offset, value, point);
}

void TParamChanges::Clear() {
  for (TParamQueue* q : Queues)
    delete q;
  Queues.clear();
}

tresult TEventList::getEvent(int32 index, Event& e) {
  if (index < 0 || index >= getEventCount()) return kInvalidArgument;
  e = Events[static_cast<size_t>(index)];
  return kResultOk;
}

tresult TEventList::addEvent(Event& e) {
  Events.push_back(e);
  return kResultOk;
}

// ---- TModule ----

std::string TModule::LibraryOf(const std::string& bundle) {
  const fs::path b(bundle);
  const std::string name = b.stem().string();
#ifdef _WIN32
  const char* arch = sizeof(void*) == 8 ? "x86_64-win" : "x86-win";
  return (b / "Contents" / arch / (name + ".vst3")).string();
#else
  return (b / "Contents" / "x86_64-linux" / (name + ".so")).string();
#endif
}

TModule::TModule(const std::string& bundleOrLibrary, bool freshCopy) {
  std::error_code ec;
  std::string path =
      fs::is_directory(bundleOrLibrary, ec) ? LibraryOf(bundleOrLibrary) : bundleOrLibrary;
  if (freshCopy) {
    static int copies = 0;
    const fs::path copy = fs::temp_directory_path() /
#ifdef _WIN32
                          ("ql-vst3-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(++copies) + ".vst3");
#else
                          ("ql-vst3-" + std::to_string(getpid()) + "-" + std::to_string(++copies) +
                           ".so");
#endif
    fs::copy_file(path, copy, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      FError = "cannot copy " + path;
      return;
    }
    FCopy = copy.string();
    path = FCopy;
  }
#ifdef _WIN32
  FHandle = LoadLibraryA(path.c_str());
  if (!FHandle) {
    FError = "cannot load " + path;
    return;
  }
  using TInit = bool (*)();
  if (auto init = reinterpret_cast<TInit>(Symbol("InitDll")); init && !init()) {
    FError = "InitDll failed";
    return;
  }
#else
  FHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FHandle) {
    const char* why = dlerror();
    FError = "cannot load " + path + ": " + (why ? why : "");
    return;
  }
  using TEntry = bool (*)(void*);
  auto entry = reinterpret_cast<TEntry>(Symbol("ModuleEntry"));
  if (!entry || !Symbol("ModuleExit")) {
    FError = "no ModuleEntry and ModuleExit";
    return;
  }
  if (!entry(FHandle)) {
    FError = "ModuleEntry failed";
    return;
  }
#endif
  using TGetFactory = IPluginFactory*(QL_VST3_CALL*)();
  auto get = reinterpret_cast<TGetFactory>(Symbol("GetPluginFactory"));
  FFactory = get ? get() : nullptr;
  if (!FFactory) FError = "no factory";
}

TModule::~TModule() {
  if (FHandle) {
    if (FFactory) FFactory->release();
#ifdef _WIN32
    using TExit = bool (*)();
    if (auto exit = reinterpret_cast<TExit>(Symbol("ExitDll"))) exit();
    FreeLibrary(static_cast<HMODULE>(FHandle));
#else
    using TExit = bool (*)();
    if (auto exit = reinterpret_cast<TExit>(Symbol("ModuleExit"))) exit();
    dlclose(FHandle);
#endif
  }
  if (!FCopy.empty()) {
    std::error_code ec;
    fs::remove(FCopy, ec);
  }
}

void* TModule::Symbol(const char* name) const {
  if (!FHandle) return nullptr;
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(FHandle), name));
#else
  return dlsym(FHandle, name);
#endif
}

bool TModule::FindClassOf(IPluginFactory* factory, const char* category, PClassInfo& info) {
  if (!factory) return false;
  const int32 n = factory->countClasses();
  for (int32 i = 0; i < n; ++i)
    if (factory->getClassInfo(i, &info) == kResultOk &&
        std::strncmp(info.category, category, sizeof(info.category)) == 0)
      return true;
  return false;
}

// ---- TInstance ----

TInstance::TInstance(IPluginFactory* factory, FUnknown* hostContext) {
  PClassInfo info;
  if (!TModule::FindClassOf(factory, kVstAudioEffectClass, info)) return;
  void* obj = nullptr;
  if (factory->createInstance(info.cid, kIComponentIid.Bytes, &obj) != kResultOk || !obj) return;
  Component = static_cast<IComponent*>(obj);
  if (Component->initialize(hostContext) != kResultOk) return;
  obj = nullptr;
  if (Component->queryInterface(kIAudioProcessorIid.Bytes, &obj) == kResultOk)
    Processor = static_cast<IAudioProcessor*>(obj);
  obj = nullptr;
  if (Component->queryInterface(kIEditControllerIid.Bytes, &obj) == kResultOk && obj) {
    Controller = static_cast<IEditController*>(obj);
  } else {
    char cid[16];
    obj = nullptr;
    if (Component->getControllerClassId(cid) == kResultOk &&
        factory->createInstance(cid, kIEditControllerIid.Bytes, &obj) == kResultOk && obj) {
      Controller = static_cast<IEditController*>(obj);
      SeparateController = true;
      Controller->initialize(hostContext);
    }
  }
  if (Controller) {
    TMemoryStream state;
    if (Component->getState(&state) == kResultOk) {
      state.Position = 0;
      Controller->setComponentState(&state);
    }
  }
}

TInstance::~TInstance() {
  Stop();
  if (Controller) {
    Controller->setComponentHandler(nullptr);
    if (SeparateController) Controller->terminate();
    Controller->release();
  }
  if (Processor) Processor->release();
  if (Component) {
    Component->terminate();
    Component->release();
  }
}

bool TInstance::Start(int32 maxBlock, double rate) {
  if (!Valid()) return false;
  SpeakerArrangement in = kSpeakerStereo, out = kSpeakerStereo;
  Processor->setBusArrangements(&in, 1, &out, 1);
  ProcessSetup setup{kRealtime, kSample32, maxBlock, rate};
  if (Processor->setupProcessing(setup) != kResultOk) return false;
  if (Component->setActive(1) != kResultOk) return false;
  Processor->setProcessing(1);
  FActive = true;
  return true;
}

void TInstance::Stop() {
  if (!FActive) return;
  Processor->setProcessing(0);
  Component->setActive(0);
  FActive = false;
}

tresult TInstance::Process(float* const* in, float* const* out, int32 frames,
                           IParameterChanges* changes, IEventList* events, IEventList* outEvents) {
  AudioBusBuffers inBus{}, outBus{};
  inBus.numChannels = 2;
  inBus.channelBuffers32 = const_cast<float**>(in);
  outBus.numChannels = 2;
  outBus.channelBuffers32 = const_cast<float**>(out);
  ProcessData data{};
  data.processMode = kRealtime;
  data.symbolicSampleSize = kSample32;
  data.numSamples = frames;
  data.numInputs = 1;
  data.numOutputs = 1;
  data.inputs = &inBus;
  data.outputs = &outBus;
  data.inputParameterChanges = changes;
  data.inputEvents = events;
  data.outputEvents = outEvents;
  return Processor->process(data);
}

std::vector<uint8_t> TInstance::State() {
  TMemoryStream s;
  if (!Component || Component->getState(&s) != kResultOk) return {};
  return s.Bytes;
}

bool TInstance::Restore(const std::vector<uint8_t>& state) {
  TMemoryStream s(state);
  if (!Component || Component->setState(&s) != kResultOk) return false;
  s.Position = 0;
  return !Controller || Controller->setComponentState(&s) == kResultOk;
}

} // namespace vst3host
