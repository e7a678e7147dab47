// The host's side of the VST 3 interface, for our own tools and tests: a bundle's library loaded
// through its entries, one plug-in instance set up as hosts set it up, and the objects a host
// hands a plug-in (a memory stream, parameter queues, event lists). The host objects belong to
// whoever makes them: their reference counts are not used to free them.
//
// Nothing here knows the plug-in beyond the interface: it loads any bundle.
#pragma once

#include "vst3/interface/Vst3Interface.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vst3host {

using namespace vst3;

// An object whose reference count the owner ignores.
template <class I> class TOwned : public I {
public:
  tresult QL_VST3_CALL queryInterface(const char* iid, void** obj) override {
    if (SameUid(iid, kFUnknownIid) || SameUid(iid, Iid)) {
      *obj = static_cast<I*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 QL_VST3_CALL addRef() override { return 1; }
  uint32 QL_VST3_CALL release() override { return 1; }

protected:
  explicit TOwned(const TUid& iid) : Iid(iid) {}
  TUid Iid;
};

// Bytes in memory. FailReadsAfter makes reads beyond that many bytes fail, as a broken file or
// pipe does.
class TMemoryStream final : public TOwned<IBStream> {
public:
  TMemoryStream() : TOwned(kIBStreamIid) {}
  explicit TMemoryStream(std::vector<uint8_t> bytes)
      : TOwned(kIBStreamIid), Bytes(std::move(bytes)) {}
  tresult QL_VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) override;
  tresult QL_VST3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) override;
  tresult QL_VST3_CALL seek(int64 pos, int32 mode, int64* result) override;
  tresult QL_VST3_CALL tell(int64* pos) override;

  std::vector<uint8_t> Bytes;
  size_t Position = 0;
  size_t FailReadsAfter = SIZE_MAX;
};

class TParamQueue final : public TOwned<IParamValueQueue> {
public:
  explicit TParamQueue(ParamID id) : TOwned(kIParamValueQueueIid), Id(id) {}
  ParamID QL_VST3_CALL getParameterId() override { return Id; }
  int32 QL_VST3_CALL getPointCount() override { return static_cast<int32>(Points.size()); }
  tresult QL_VST3_CALL getPoint(int32 index, int32& sampleOffset, ParamValue& value) override;
  tresult QL_VST3_CALL addPoint(int32 sampleOffset, ParamValue value, int32& index) override;

  struct TPoint {
    int32 Offset;
    ParamValue Value;
  };
  ParamID Id;
  std::vector<TPoint> Points;
};

class TParamChanges final : public TOwned<IParameterChanges> {
public:
  TParamChanges() : TOwned(kIParameterChangesIid) {}
  TParamChanges(const TParamChanges&) = delete;
  ~TParamChanges();
  int32 QL_VST3_CALL getParameterCount() override { return static_cast<int32>(Queues.size()); }
  IParamValueQueue* QL_VST3_CALL getParameterData(int32 index) override;
  IParamValueQueue* QL_VST3_CALL addParameterData(const ParamID& id, int32& index) override;

  // A point of parameter `id`, in the queue of that parameter (made on first use).
  void Add(ParamID id, int32 offset, ParamValue value);
  void Clear();

  std::vector<TParamQueue*> Queues;
};

class TEventList final : public TOwned<IEventList> {
public:
  TEventList() : TOwned(kIEventListIid) {}
  int32 QL_VST3_CALL getEventCount() override { return static_cast<int32>(Events.size()); }
  tresult QL_VST3_CALL getEvent(int32 index, Event& e) override;
  tresult QL_VST3_CALL addEvent(Event& e) override;

  std::vector<Event> Events;
};

// The bundle's library for this platform, loaded, its module entry called and its factory
// found; with `freshCopy` a private copy of the file, so that the library's process-wide
// state starts as in a newly started host. Error() says what failed.
class TModule {
public:
  explicit TModule(const std::string& bundleOrLibrary, bool freshCopy = false);
  ~TModule();
  TModule(const TModule&) = delete;
  TModule& operator=(const TModule&) = delete;

  IPluginFactory* Factory() const { return FFactory; }
  const std::string& Error() const { return FError; }
  void* Symbol(const char* name) const;
  // The class of the given category ("Audio Module Class"), or false.
  bool FindClass(const char* category, PClassInfo& info) const {
    return FindClassOf(FFactory, category, info);
  }
  static bool FindClassOf(IPluginFactory* factory, const char* category, PClassInfo& info);

  // The library inside a bundle folder for this platform.
  static std::string LibraryOf(const std::string& bundle);

private:
  void* FHandle = nullptr;
  std::string FCopy;
  IPluginFactory* FFactory = nullptr;
  std::string FError;
};

// One instance of the module's audio effect class: created, initialised, its controller found
// (on the component, or made from the controller class) and given the component's state, and
// with Start() set up for stereo 32-bit blocks and switched on.
class TInstance {
public:
  explicit TInstance(const TModule& module, FUnknown* hostContext = nullptr)
      : TInstance(module.Factory(), hostContext) {}
  // The same from a factory at hand (null: an instance that is not Valid()).
  explicit TInstance(IPluginFactory* factory, FUnknown* hostContext = nullptr);
  ~TInstance();
  TInstance(const TInstance&) = delete;
  TInstance& operator=(const TInstance&) = delete;

  bool Valid() const { return Component && Processor && Controller; }
  bool Start(int32 maxBlock, double rate = 48000.0);
  void Stop();

  // One block of stereo audio; the changes and events may be null.
  tresult Process(float* const* in, float* const* out, int32 frames,
                  IParameterChanges* changes = nullptr, IEventList* events = nullptr,
                  IEventList* outEvents = nullptr);

  std::vector<uint8_t> State();
  // The component's state and then the controller's, as a host restores a project.
  bool Restore(const std::vector<uint8_t>& state);

  IComponent* Component = nullptr;
  IAudioProcessor* Processor = nullptr;
  IEditController* Controller = nullptr;
  bool SeparateController = false;

private:
  bool FActive = false;
};

} // namespace vst3host
