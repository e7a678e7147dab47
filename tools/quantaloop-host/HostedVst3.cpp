#include "HostedVst3.h"

#include "SettingParser.h"
#include "ToolError.h"

#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace qlhost {

using namespace vst3;

namespace {

std::string Narrow(const TChar* s, size_t max) {
  std::string t;
  for (size_t i = 0; i < max && s[i]; ++i)
    t += s[i] < 0x80 ? static_cast<char>(s[i]) : '?';
  return t;
}

} // namespace

THostedVst3::THostedVst3(const std::string& bundle) : FPath(bundle) {
  struct stat st {};
  if (::stat(bundle.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw TToolError("VST 3 bundle " + bundle + " is not a folder");
  FModule = std::make_unique<vst3host::TModule>(bundle);
  if (!FModule->Factory())
    throw TToolError("cannot open VST 3 bundle " + bundle + ": " + FModule->Error());
  FInstance = std::make_unique<vst3host::TInstance>(*FModule);
  if (!FInstance->Valid())
    throw TToolError("VST 3 bundle " + bundle +
                     " has no audio effect with a processor and a controller");
  IEditController& e = *FInstance->Controller;
  for (int32 i = 0, n = e.getParameterCount(); i < n; ++i) {
    ParameterInfo info{};
    if (e.getParameterInfo(i, info) != kResultOk) continue;
    FParameters.push_back({info.id, Narrow(info.title, 128), Narrow(info.units, 128),
                           info.stepCount, info.defaultNormalizedValue, info.flags});
  }
}

THostedVst3::~THostedVst3() {
  FInstance.reset();
  FModule.reset();
}

void THostedVst3::SelectProgram(int) {
  throw TToolError(FPath + " has no programs");
}

void THostedVst3::ApplySettingAt(int offset, std::string_view text) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw TToolError("a setting is NAME=VALUE, not '" + std::string(text) + "'");
  const std::string name(text.substr(0, eq)), value(text.substr(eq + 1));
  const TParameter* p = nullptr;
  for (const TParameter& q : FParameters)
    if (q.Title == name) p = &q;
  for (size_t i = 0; !p && i < FParameters.size(); ++i)
    if (::strcasecmp(FParameters[i].Title.c_str(), name.c_str()) == 0) p = &FParameters[i];
  if (!p) {
    if (const auto index = WholeNumber(name); index && *index >= 0 &&
                                              *index < static_cast<double>(FParameters.size()) &&
                                              *index == static_cast<int>(*index))
      p = &FParameters[static_cast<size_t>(*index)];
  }
  if (!p) throw TToolError(FPath + " has no parameter " + name);
  double normalized = 0.0;
  if (!value.empty() && value[0] == '@') {
    const auto n = WholeNumber(value.substr(1));
    if (!n || *n < 0.0 || *n > 1.0)
      throw TToolError("a normalised value is @0 to @1, not '" + value + "'");
    normalized = *n;
  } else {
    std::u16string wide(value.begin(), value.end());
    if (FInstance->Controller->getParamValueByString(p->Id, wide.data(), normalized) != kResultOk)
      throw TToolError(p->Title + " does not take the value '" + value + "'");
  }
  FInstance->Controller->setParamNormalized(p->Id, normalized);
  FPending.Add(p->Id, offset, normalized);
}

void THostedVst3::Start() {
  if (!FInstance->Start(FBlock, FRate))
    throw TToolError(FPath + " refused to process stereo 32-bit blocks of " +
                     std::to_string(FBlock) + " frames");
  FStarted = true;
}

void THostedVst3::Process(float** inputs, float** outputs, int frames) {
  vst3host::TEventList none, out;
  FInstance->Process(inputs, outputs, frames, &FPending, &none, &out);
  FPending.Clear();
}

void THostedVst3::Stop() {
  if (FStarted) FInstance->Stop();
  FStarted = false;
}

std::string THostedVst3::Vendor() const {
  PFactoryInfo info{};
  FModule->Factory()->getFactoryInfo(&info);
  return info.vendor;
}

std::vector<PClassInfo> THostedVst3::Classes() const {
  std::vector<PClassInfo> classes;
  IPluginFactory& f = *FModule->Factory();
  for (int32 i = 0, n = f.countClasses(); i < n; ++i) {
    PClassInfo c{};
    if (f.getClassInfo(i, &c) == kResultOk) classes.push_back(c);
  }
  return classes;
}

std::vector<std::string> THostedVst3::Buses() const {
  std::vector<std::string> lines;
  IComponent& c = *FInstance->Component;
  for (MediaType type : {kAudio, kEvent})
    for (BusDirection dir : {kInput, kOutput})
      for (int32 i = 0, n = c.getBusCount(type, dir); i < n; ++i) {
        BusInfo b{};
        if (c.getBusInfo(type, dir, i, b) != kResultOk) continue;
        lines.push_back(std::string(type == kAudio ? "audio " : "event ") +
                        (dir == kInput ? "in  " : "out ") + Narrow(b.name, 128) + ", " +
                        std::to_string(b.channelCount) + " channels");
      }
  return lines;
}

std::string THostedVst3::ValueText(ParamID id, double normalized) const {
  String128 text{};
  if (FInstance->Controller->getParamStringByValue(id, normalized, text) != kResultOk) return "?";
  return Narrow(text, 128);
}

} // namespace qlhost
