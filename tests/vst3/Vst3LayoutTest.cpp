// Our definitions of the VST 3 interface against the published layout, checked by the compiler
// of every target: structure sizes and member offsets, and the ids' bytes in this platform's
// order. A build whose layout differs fails here rather than in a host.
#include "core/uIdentity.h"
#include "vst3/interface/Vst3Interface.h"

#include <gtest/gtest.h>

#include <cstddef>

using namespace vst3;

namespace {

constexpr bool k64 = sizeof(void*) == 8;

static_assert(sizeof(TUid) == 16);
static_assert(sizeof(PFactoryInfo) == 452);
static_assert(offsetof(PFactoryInfo, flags) == 448);
static_assert(sizeof(PClassInfo) == 116);
static_assert(offsetof(PClassInfo, category) == 20 && offsetof(PClassInfo, name) == 52);
static_assert(sizeof(PClassInfo2) == 440);
static_assert(offsetof(PClassInfo2, classFlags) == 116);
static_assert(offsetof(PClassInfo2, subCategories) == 120);
static_assert(offsetof(PClassInfo2, sdkVersion) == 376);
static_assert(sizeof(BusInfo) == 276);
static_assert(offsetof(BusInfo, name) == 12 && offsetof(BusInfo, busType) == 268);
static_assert(sizeof(RoutingInfo) == 12);
static_assert(sizeof(ProcessSetup) == 24 && offsetof(ProcessSetup, sampleRate) == 16);
static_assert(sizeof(AudioBusBuffers) == 24);
static_assert(offsetof(AudioBusBuffers, silenceFlags) == 8);
static_assert(offsetof(AudioBusBuffers, channelBuffers32) == 16);
static_assert(sizeof(ProcessData) == (k64 ? 80 : 48));
static_assert(offsetof(ProcessData, inputs) == (k64 ? 24 : 20));
static_assert(offsetof(ProcessData, processContext) == (k64 ? 72 : 44));
static_assert(sizeof(ParameterInfo) == 792);
static_assert(offsetof(ParameterInfo, title) == 4 && offsetof(ParameterInfo, units) == 516);
static_assert(offsetof(ParameterInfo, stepCount) == 772);
static_assert(offsetof(ParameterInfo, defaultNormalizedValue) == 776);
static_assert(offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788);
static_assert(sizeof(NoteOnEvent) == 20 && sizeof(NoteOffEvent) == 16);
static_assert(sizeof(Event) == 48);
static_assert(offsetof(Event, ppqPosition) == 8 && offsetof(Event, flags) == 16);
static_assert(offsetof(Event, type) == 18 && offsetof(Event, noteOn) == 24);
static_assert(sizeof(ViewRect) == 16);

// An interface is one table pointer.
static_assert(sizeof(IComponent) == sizeof(void*) && sizeof(IRunLoop) == sizeof(void*));

constexpr unsigned char Byte(const TUid& id, int i) {
  return static_cast<unsigned char>(id.Bytes[i]);
}

// IComponent's id, 0xE831FF31 0xF2D54301 0x928EBBEE 0x25697802.
#ifdef _WIN32
static_assert(Byte(kIComponentIid, 0) == 0x31 && Byte(kIComponentIid, 3) == 0xE8);
static_assert(Byte(kIComponentIid, 4) == 0xD5 && Byte(kIComponentIid, 5) == 0xF2);
static_assert(Byte(kIComponentIid, 6) == 0x01 && Byte(kIComponentIid, 7) == 0x43);
static_assert(kResultOk == 0 && kNoInterface == static_cast<tresult>(0x80004002u));
#else
static_assert(Byte(kIComponentIid, 0) == 0xE8 && Byte(kIComponentIid, 3) == 0x31);
static_assert(Byte(kIComponentIid, 4) == 0xF2 && Byte(kIComponentIid, 7) == 0x01);
static_assert(kResultOk == 0 && kNoInterface == -1 && kNotImplemented == 3);
#endif
static_assert(Byte(kIComponentIid, 8) == 0x92 && Byte(kIComponentIid, 15) == 0x02);
static_assert(Byte(kFUnknownIid, 8) == 0xC0 && Byte(kFUnknownIid, 15) == 0x46);

// The plug-in's own class ids are distinct, from each other and from the interfaces'.
static_assert(!(MakeUid(kVst3ComponentId.Words[0], kVst3ComponentId.Words[1],
                        kVst3ComponentId.Words[2], kVst3ComponentId.Words[3]) ==
                MakeUid(kVst3ControllerId.Words[0], kVst3ControllerId.Words[1],
                        kVst3ControllerId.Words[2], kVst3ControllerId.Words[3])));

} // namespace

// The checks above are the test; this makes the executable a test of every build.
TEST(Vst3Layout, CheckedByTheCompiler) {
  SUCCEED();
}
