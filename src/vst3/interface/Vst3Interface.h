// The VST 3 host interface as far as Quantaloop uses it, written from the published interface:
// the basic types, result codes and interface ids, the plain structures hosts and plug-ins
// exchange, and the interfaces as abstract classes whose virtual functions stand in the
// interface's order (a host calls them by their place in the table, not by name).
//
// Layout: structures use the compiler's natural alignment, which is what the interface asks
// for on every target we build (Linux x86-64, 64-bit and 32-bit Windows). On Windows every
// method is __stdcall and the result codes are COM's; interface ids are laid out in COM's byte
// order on Windows and in big-endian byte order elsewhere. tests/vst3/Vst3LayoutTest.cpp checks
// sizes, offsets and ids at compile time on every target.
//
// The classes have no virtual destructor: an object is only ever released through release().
#pragma once

#include <cstdint>
#include <cstring>

#ifdef _WIN32
#define QL_VST3_CALL __stdcall
#else
#define QL_VST3_CALL
#endif

namespace vst3 {

using int8 = int8_t;
using uint8 = uint8_t;
using int16 = int16_t;
using uint16 = uint16_t;
using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using uint64 = uint64_t;
using tresult = int32_t;
using TBool = uint8_t;
using char8 = char;
using char16 = char16_t;
using TChar = char16_t;
using String128 = TChar[128];
using FIDString = const char8*;
using ParamID = uint32_t;
using ParamValue = double;
using SampleRate = double;
using Sample32 = float;
using Sample64 = double;
using SpeakerArrangement = uint64_t;
using MediaType = int32_t;
using BusDirection = int32_t;
using BusType = int32_t;
using IoMode = int32_t;
using TQuarterNotes = double;
using FileDescriptor = int;
using TimerInterval = uint64_t;

// ---- Result codes ----
#ifdef _WIN32
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);
inline constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);
inline constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
inline constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);
inline constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);
inline constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);
#else
inline constexpr tresult kNoInterface = -1;
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kInvalidArgument = 2;
inline constexpr tresult kNotImplemented = 3;
inline constexpr tresult kInternalError = 4;
inline constexpr tresult kNotInitialized = 5;
inline constexpr tresult kOutOfMemory = 6;
#endif
inline constexpr tresult kResultTrue = kResultOk;

// ---- Interface and class ids ----

// Sixteen bytes, as the interface passes them (TUID).
struct TUid {
  char Bytes[16];
  bool operator==(const TUid&) const = default;
};

// The id of four 32-bit words as this platform lays it out.
constexpr TUid MakeUid(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3) {
  TUid id{};
  auto put = [&id](int at, uint32_t word, int shift) {
    id.Bytes[at] = static_cast<char>((word >> shift) & 0xFF);
  };
  const uint32_t words[4] = {w0, w1, w2, w3};
#ifdef _WIN32
  // COM: the first word little-endian, the second as two little-endian halves (high half
  // first), the last two big-endian.
  for (int i = 0; i < 4; ++i)
    put(i, w0, 8 * i);
  put(4, w1, 16);
  put(5, w1, 24);
  put(6, w1, 0);
  put(7, w1, 8);
  for (int w = 2; w < 4; ++w)
    for (int i = 0; i < 4; ++i)
      put(4 * w + i, words[w], 24 - 8 * i);
#else
  for (int w = 0; w < 4; ++w)
    for (int i = 0; i < 4; ++i)
      put(4 * w + i, words[w], 24 - 8 * i);
#endif
  return id;
}

// Whether the 16 bytes at `iid` (as a host passes them) are `id`.
inline bool SameUid(const void* iid, const TUid& id) {
  return iid && std::memcmp(iid, id.Bytes, sizeof(id.Bytes)) == 0;
}

inline constexpr TUid kFUnknownIid = MakeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
inline constexpr TUid kIPluginBaseIid = MakeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
inline constexpr TUid kIPluginFactoryIid = MakeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
inline constexpr TUid kIPluginFactory2Iid = MakeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
inline constexpr TUid kIBStreamIid = MakeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
inline constexpr TUid kIComponentIid = MakeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
inline constexpr TUid kIAudioProcessorIid = MakeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
inline constexpr TUid kIEditControllerIid = MakeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
inline constexpr TUid kIComponentHandlerIid =
    MakeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
inline constexpr TUid kIParamValueQueueIid =
    MakeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
inline constexpr TUid kIParameterChangesIid =
    MakeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
inline constexpr TUid kIEventListIid = MakeUid(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);
inline constexpr TUid kIPlugViewIid = MakeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
inline constexpr TUid kIPlugFrameIid = MakeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
inline constexpr TUid kIEventHandlerIid = MakeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
inline constexpr TUid kITimerHandlerIid = MakeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
inline constexpr TUid kIRunLoopIid = MakeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);

// ---- Constants ----
inline constexpr int32 kManyInstances = 0x7FFFFFFF;
inline constexpr const char* kVstAudioEffectClass = "Audio Module Class";
inline constexpr const char* kVstComponentControllerClass = "Component Controller Class";
inline constexpr const char* kEditorViewType = "editor";
inline constexpr const char* kPlatformTypeHWND = "HWND";
inline constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";
inline constexpr int32 kFactoryUnicode = 1 << 4;
inline constexpr uint32 kDistributable = 1 << 0;

enum : int32 { kAudio = 0, kEvent = 1 };                  // MediaTypes
enum : int32 { kInput = 0, kOutput = 1 };                 // BusDirections
enum : int32 { kMain = 0, kAux = 1 };                     // BusTypes
enum : uint32 { kDefaultActive = 1 << 0 };                // BusInfo flags
enum : int32 { kSample32 = 0, kSample64 = 1 };            // symbolic sample sizes
enum : int32 { kRealtime = 0, kPrefetch, kOffline };      // process modes
inline constexpr SpeakerArrangement kSpeakerStereo = 0x3; // left and right

enum : int32 { // ParameterInfo flags
  kCanAutomate = 1 << 0,
  kIsReadOnly = 1 << 1,
  kIsList = 1 << 3,
  kIsHidden = 1 << 4,
  kIsProgramChange = 1 << 15,
  kIsBypass = 1 << 16,
};

enum : int32 { kParamValuesChanged = 1 << 2 }; // restartComponent flags
enum : int32 { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };
enum : uint16 { kNoteOnEvent = 0, kNoteOffEvent = 1, kDataEvent = 2 }; // Event types

// ---- Structures ----
struct PFactoryInfo {
  char8 vendor[64];
  char8 url[256];
  char8 email[128];
  int32 flags;
};

struct PClassInfo {
  char cid[16];
  int32 cardinality;
  char8 category[32];
  char8 name[64];
};

struct PClassInfo2 {
  char cid[16];
  int32 cardinality;
  char8 category[32];
  char8 name[64];
  uint32 classFlags;
  char8 subCategories[128];
  char8 vendor[64];
  char8 version[64];
  char8 sdkVersion[64];
};

struct BusInfo {
  MediaType mediaType;
  BusDirection direction;
  int32 channelCount;
  String128 name;
  BusType busType;
  uint32 flags;
};

struct RoutingInfo {
  MediaType mediaType;
  int32 busIndex;
  int32 channel;
};

struct ProcessSetup {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 maxSamplesPerBlock;
  SampleRate sampleRate;
};

struct AudioBusBuffers {
  int32 numChannels;
  uint64 silenceFlags;
  union {
    Sample32** channelBuffers32;
    Sample64** channelBuffers64;
  };
};

class IParameterChanges;
class IEventList;
struct ProcessContext; // not read

struct ProcessData {
  int32 processMode;
  int32 symbolicSampleSize;
  int32 numSamples;
  int32 numInputs;
  int32 numOutputs;
  AudioBusBuffers* inputs;
  AudioBusBuffers* outputs;
  IParameterChanges* inputParameterChanges;
  IParameterChanges* outputParameterChanges;
  IEventList* inputEvents;
  IEventList* outputEvents;
  ProcessContext* processContext;
};

struct ParameterInfo {
  ParamID id;
  String128 title;
  String128 shortTitle;
  String128 units;
  int32 stepCount;
  ParamValue defaultNormalizedValue;
  int32 unitId;
  int32 flags;
};

struct NoteOnEvent {
  int16 channel;
  int16 pitch;
  float tuning;
  float velocity;
  int32 length;
  int32 noteId;
};

struct NoteOffEvent {
  int16 channel;
  int16 pitch;
  float velocity;
  int32 noteId;
  float tuning;
};

struct DataEvent {
  uint32 size;
  uint32 type;
  const uint8* bytes;
};

struct Event {
  int32 busIndex;
  int32 sampleOffset;
  TQuarterNotes ppqPosition;
  uint16 flags;
  uint16 type;
  union {
    NoteOnEvent noteOn;
    NoteOffEvent noteOff;
    DataEvent data;
    // The largest of the interface's other event kinds holds a double and a pointer: the union
    // takes their size and alignment.
    struct {
      double Value;
      const void* Pointer;
      int32 Extra[2];
    } reserved;
  };
};

struct ViewRect {
  int32 left;
  int32 top;
  int32 right;
  int32 bottom;
};

// ---- Interfaces ----
class FUnknown {
public:
  virtual tresult QL_VST3_CALL queryInterface(const char* iid, void** obj) = 0;
  virtual uint32 QL_VST3_CALL addRef() = 0;
  virtual uint32 QL_VST3_CALL release() = 0;
};

class IPluginBase : public FUnknown {
public:
  virtual tresult QL_VST3_CALL initialize(FUnknown* context) = 0;
  virtual tresult QL_VST3_CALL terminate() = 0;
};

class IPluginFactory : public FUnknown {
public:
  virtual tresult QL_VST3_CALL getFactoryInfo(PFactoryInfo* info) = 0;
  virtual int32 QL_VST3_CALL countClasses() = 0;
  virtual tresult QL_VST3_CALL getClassInfo(int32 index, PClassInfo* info) = 0;
  virtual tresult QL_VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};

class IPluginFactory2 : public IPluginFactory {
public:
  virtual tresult QL_VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) = 0;
};

class IBStream : public FUnknown {
public:
  virtual tresult QL_VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
  virtual tresult QL_VST3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
  virtual tresult QL_VST3_CALL seek(int64 pos, int32 mode, int64* result) = 0;
  virtual tresult QL_VST3_CALL tell(int64* pos) = 0;
};

class IComponent : public IPluginBase {
public:
  virtual tresult QL_VST3_CALL getControllerClassId(char* classId) = 0;
  virtual tresult QL_VST3_CALL setIoMode(IoMode mode) = 0;
  virtual int32 QL_VST3_CALL getBusCount(MediaType type, BusDirection dir) = 0;
  virtual tresult QL_VST3_CALL getBusInfo(MediaType type, BusDirection dir, int32 index,
                                          BusInfo& bus) = 0;
  virtual tresult QL_VST3_CALL getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
  virtual tresult QL_VST3_CALL activateBus(MediaType type, BusDirection dir, int32 index,
                                           TBool state) = 0;
  virtual tresult QL_VST3_CALL setActive(TBool state) = 0;
  virtual tresult QL_VST3_CALL setState(IBStream* state) = 0;
  virtual tresult QL_VST3_CALL getState(IBStream* state) = 0;
};

class IParamValueQueue : public FUnknown {
public:
  virtual ParamID QL_VST3_CALL getParameterId() = 0;
  virtual int32 QL_VST3_CALL getPointCount() = 0;
  virtual tresult QL_VST3_CALL getPoint(int32 index, int32& sampleOffset, ParamValue& value) = 0;
  virtual tresult QL_VST3_CALL addPoint(int32 sampleOffset, ParamValue value, int32& index) = 0;
};

class IParameterChanges : public FUnknown {
public:
  virtual int32 QL_VST3_CALL getParameterCount() = 0;
  virtual IParamValueQueue* QL_VST3_CALL getParameterData(int32 index) = 0;
  virtual IParamValueQueue* QL_VST3_CALL addParameterData(const ParamID& id, int32& index) = 0;
};

class IEventList : public FUnknown {
public:
  virtual int32 QL_VST3_CALL getEventCount() = 0;
  virtual tresult QL_VST3_CALL getEvent(int32 index, Event& e) = 0;
  virtual tresult QL_VST3_CALL addEvent(Event& e) = 0;
};

class IAudioProcessor : public FUnknown {
public:
  virtual tresult QL_VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                  SpeakerArrangement* outputs, int32 numOuts) = 0;
  virtual tresult QL_VST3_CALL getBusArrangement(BusDirection dir, int32 index,
                                                 SpeakerArrangement& arr) = 0;
  virtual tresult QL_VST3_CALL canProcessSampleSize(int32 symbolicSampleSize) = 0;
  virtual uint32 QL_VST3_CALL getLatencySamples() = 0;
  virtual tresult QL_VST3_CALL setupProcessing(ProcessSetup& setup) = 0;
  virtual tresult QL_VST3_CALL setProcessing(TBool state) = 0;
  virtual tresult QL_VST3_CALL process(ProcessData& data) = 0;
  virtual uint32 QL_VST3_CALL getTailSamples() = 0;
};

class IComponentHandler : public FUnknown {
public:
  virtual tresult QL_VST3_CALL beginEdit(ParamID id) = 0;
  virtual tresult QL_VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
  virtual tresult QL_VST3_CALL endEdit(ParamID id) = 0;
  virtual tresult QL_VST3_CALL restartComponent(int32 flags) = 0;
};

class IPlugView;

class IEditController : public IPluginBase {
public:
  virtual tresult QL_VST3_CALL setComponentState(IBStream* state) = 0;
  virtual tresult QL_VST3_CALL setState(IBStream* state) = 0;
  virtual tresult QL_VST3_CALL getState(IBStream* state) = 0;
  virtual int32 QL_VST3_CALL getParameterCount() = 0;
  virtual tresult QL_VST3_CALL getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
  virtual tresult QL_VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                     String128 string) = 0;
  virtual tresult QL_VST3_CALL getParamValueByString(ParamID id, TChar* string,
                                                     ParamValue& valueNormalized) = 0;
  virtual ParamValue QL_VST3_CALL normalizedParamToPlain(ParamID id,
                                                         ParamValue valueNormalized) = 0;
  virtual ParamValue QL_VST3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
  virtual ParamValue QL_VST3_CALL getParamNormalized(ParamID id) = 0;
  virtual tresult QL_VST3_CALL setParamNormalized(ParamID id, ParamValue value) = 0;
  virtual tresult QL_VST3_CALL setComponentHandler(IComponentHandler* handler) = 0;
  virtual IPlugView* QL_VST3_CALL createView(FIDString name) = 0;
};

class IPlugFrame;

class IPlugView : public FUnknown {
public:
  virtual tresult QL_VST3_CALL isPlatformTypeSupported(FIDString type) = 0;
  virtual tresult QL_VST3_CALL attached(void* parent, FIDString type) = 0;
  virtual tresult QL_VST3_CALL removed() = 0;
  virtual tresult QL_VST3_CALL onWheel(float distance) = 0;
  virtual tresult QL_VST3_CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
  virtual tresult QL_VST3_CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
  virtual tresult QL_VST3_CALL getSize(ViewRect* size) = 0;
  virtual tresult QL_VST3_CALL onSize(ViewRect* newSize) = 0;
  virtual tresult QL_VST3_CALL onFocus(TBool state) = 0;
  virtual tresult QL_VST3_CALL setFrame(IPlugFrame* frame) = 0;
  virtual tresult QL_VST3_CALL canResize() = 0;
  virtual tresult QL_VST3_CALL checkSizeConstraint(ViewRect* rect) = 0;
};

class IPlugFrame : public FUnknown {
public:
  virtual tresult QL_VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;
};

class IEventHandler : public FUnknown {
public:
  virtual void QL_VST3_CALL onFDIsSet(FileDescriptor fd) = 0;
};

class ITimerHandler : public FUnknown {
public:
  virtual void QL_VST3_CALL onTimer() = 0;
};

class IRunLoop : public FUnknown {
public:
  virtual tresult QL_VST3_CALL registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
  virtual tresult QL_VST3_CALL unregisterEventHandler(IEventHandler* handler) = 0;
  virtual tresult QL_VST3_CALL registerTimer(ITimerHandler* handler, TimerInterval ms) = 0;
  virtual tresult QL_VST3_CALL unregisterTimer(ITimerHandler* handler) = 0;
};

} // namespace vst3
