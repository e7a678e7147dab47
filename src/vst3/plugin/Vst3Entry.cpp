// The library's entries: the factory, which describes the effect's two classes (the processor
// component and its controller, both made by the one plug-in object) and makes them, and the
// module calls hosts make on loading and unloading. Linux exports GetPluginFactory, ModuleEntry
// and ModuleExit (exports.map); Windows GetPluginFactory, InitDll and ExitDll (Quantaloop.def).
#include "core/uIdentity.h"
#include "vst3/plugin/Vst3Plugin.h"

#include <cstdio>
#include <cstring>
#include <new>

using namespace vst3;

namespace {

struct TClassRow {
  const TClassId* Id;
  const char* Category;
};
constexpr TClassRow kClasses[] = {
    {&kVst3ComponentId, kVstAudioEffectClass},
    {&kVst3ControllerId, kVstComponentControllerClass},
};
constexpr int32 kClassCount = static_cast<int32>(sizeof(kClasses) / sizeof(kClasses[0]));

TUid UidOf(const TClassId& id) {
  return MakeUid(id.Words[0], id.Words[1], id.Words[2], id.Words[3]);
}

void Copy(char* to, size_t size, const char* from) {
  std::snprintf(to, size, "%s", from);
}

// One factory for the process; hosts may release it as often as they like.
class TFactory final : public IPluginFactory2 {
public:
  tresult QL_VST3_CALL queryInterface(const char* iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIPluginFactoryIid) ||
        SameUid(iid, kIPluginFactory2Iid)) {
      *obj = static_cast<IPluginFactory2*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 QL_VST3_CALL addRef() override { return 1; }
  uint32 QL_VST3_CALL release() override { return 1; }

  tresult QL_VST3_CALL getFactoryInfo(PFactoryInfo* info) override {
    if (!info) return kInvalidArgument;
    std::memset(info, 0, sizeof(*info));
    Copy(info->vendor, sizeof(info->vendor), kVendorName);
    info->flags = kFactoryUnicode;
    return kResultOk;
  }
  int32 QL_VST3_CALL countClasses() override { return kClassCount; }
  tresult QL_VST3_CALL getClassInfo(int32 index, PClassInfo* info) override {
    if (!info || index < 0 || index >= kClassCount) return kInvalidArgument;
    std::memset(info, 0, sizeof(*info));
    const TUid id = UidOf(*kClasses[index].Id);
    std::memcpy(info->cid, id.Bytes, sizeof(info->cid));
    info->cardinality = kManyInstances;
    Copy(info->category, sizeof(info->category), kClasses[index].Category);
    Copy(info->name, sizeof(info->name), kPluginName);
    return kResultOk;
  }
  tresult QL_VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) override {
    if (!info || index < 0 || index >= kClassCount) return kInvalidArgument;
    std::memset(info, 0, sizeof(*info));
    PClassInfo base;
    getClassInfo(index, &base);
    std::memcpy(info->cid, base.cid, sizeof(info->cid));
    info->cardinality = base.cardinality;
    Copy(info->category, sizeof(info->category), base.category);
    Copy(info->name, sizeof(info->name), base.name);
    info->classFlags = 0;
    Copy(info->subCategories, sizeof(info->subCategories), "Fx");
    Copy(info->vendor, sizeof(info->vendor), kVendorName);
    std::snprintf(info->version, sizeof(info->version), "%d.%d.%d", kVersion.Major, kVersion.Minor,
                  kVersion.Micro);
    Copy(info->sdkVersion, sizeof(info->sdkVersion), "VST 3.7");
    return kResultOk;
  }
  tresult QL_VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    bool known = false;
    for (const TClassRow& row : kClasses)
      known = known || SameUid(cid, UidOf(*row.Id));
    if (!known) return kNoInterface;
    auto* plugin = new (std::nothrow) TVst3Plugin;
    if (!plugin) return kOutOfMemory;
    const tresult result = plugin->queryInterface(iid, obj);
    plugin->release();
    return result;
  }
};

TFactory gFactory;

} // namespace

#ifdef _WIN32
#define QL_VST3_EXPORT
#else
#define QL_VST3_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QL_VST3_EXPORT IPluginFactory* QL_VST3_CALL GetPluginFactory() {
  return &gFactory;
}

#ifdef _WIN32
extern "C" bool InitDll() {
  return true;
}
extern "C" bool ExitDll() {
  return true;
}
#else
extern "C" QL_VST3_EXPORT bool ModuleEntry(void*) {
  return true;
}
extern "C" QL_VST3_EXPORT bool ModuleExit() {
  return true;
}
#endif
