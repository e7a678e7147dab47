#include "HostedPlugin.h"

#include "HostedClap.h"
#include "HostedEffect.h"
#include "HostedLv2.h"
#include "HostedVst3.h"

#include <sys/stat.h>

namespace qlhost {

TPluginFormat FormatOf(const std::string& argument) {
  std::string path = argument;
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  if (path.size() > 5 && path.compare(path.size() - 5, 5, ".vst3") == 0) return TPluginFormat::Vst3;
  // A path ending in .lv2 is meant as a bundle even when it is missing: it fails as one.
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".lv2") == 0)
    return TPluginFormat::Lv2Bundle;
  if (path.size() > 5 && path.compare(path.size() - 5, 5, ".clap") == 0) return TPluginFormat::Clap;
  struct stat st {};
  const bool exists = ::stat(argument.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode) && ::stat((path + "/manifest.ttl").c_str(), &st) == 0)
    return TPluginFormat::Lv2Bundle;
  if (!exists && argument.find(':') != std::string::npos) return TPluginFormat::Lv2Uri;
  return TPluginFormat::Vst2;
}

std::unique_ptr<THostedPlugin> OpenPlugin(const std::string& argument) {
  switch (FormatOf(argument)) {
  case TPluginFormat::Lv2Bundle:
    return std::make_unique<THostedLv2>(argument, true);
  case TPluginFormat::Lv2Uri:
    return std::make_unique<THostedLv2>(argument, false);
  case TPluginFormat::Clap:
    return std::make_unique<THostedClap>(argument);
  case TPluginFormat::Vst3:
    return std::make_unique<THostedVst3>(argument);
  case TPluginFormat::Vst2:
    break;
  }
  return std::make_unique<THostedEffect>(argument);
}

} // namespace qlhost
