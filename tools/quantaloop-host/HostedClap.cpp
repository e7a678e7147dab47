#include "HostedClap.h"

#include "SettingParser.h"
#include "ToolError.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <strings.h>

namespace qlhost {

namespace {

// The input events of a flush: the settings as parameter values at frame 0.
struct TEventList {
  std::vector<clap::event_param_value> Events;
  clap::input_events List{this,
                          [](const clap::input_events* l) {
                            return static_cast<uint32_t>(
                                static_cast<TEventList*>(l->ctx)->Events.size());
                          },
                          [](const clap::input_events* l, uint32_t i) -> const clap::event_header* {
                            return &static_cast<TEventList*>(l->ctx)->Events[i].header;
                          }};
};

// The plug-in's own events go nowhere: files carry no MIDI and no automation.
const clap::output_events kDropEvents{
    nullptr, [](const clap::output_events*, const clap::event_header*) { return true; }};

const clap::input_events kNoEvents{
    nullptr, [](const clap::input_events*) -> uint32_t { return 0; },
    [](const clap::input_events*, uint32_t) -> const clap::event_header* { return nullptr; }};

std::string NumberText(double v) {
  char text[32];
  std::snprintf(text, sizeof(text), "%g", v);
  return text;
}

} // namespace

THostedClap::THostedClap(const std::string& path) : FPath(path) {
  FLibrary = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!FLibrary) throw TToolError("cannot load " + path + ": " + ::dlerror());
  FEntry = static_cast<const clap::plugin_entry*>(::dlsym(FLibrary, "clap_entry"));
  if (!FEntry) throw TToolError(path + " exports no clap_entry: not a CLAP plug-in");
  if (FEntry->clap_version.major < 1 || !FEntry->init || !FEntry->get_factory)
    throw TToolError(path + " has an entry of an interface version this host does not know");
  if (!FEntry->init(path.c_str())) throw TToolError(path + ": the plug-in's entry refused init");
  FEntryReady = true;
  auto* factory =
      static_cast<const clap::plugin_factory*>(FEntry->get_factory(clap::kPluginFactoryId));
  if (!factory || factory->get_plugin_count(factory) == 0)
    throw TToolError(path + " holds no plug-in");
  const clap::plugin_descriptor* d = factory->get_plugin_descriptor(factory, 0);
  if (!d || !d->id) throw TToolError(path + ": the factory describes no plug-in");

  FHost.clap_version = clap::kVersion;
  FHost.host_data = this;
  FHost.name = "quantaloop-host";
  FHost.vendor = "Quantaloop project";
  FHost.url = "";
  FHost.version_text = "1";
  FHost.get_extension = [](const clap::host*, const char*) -> const void* { return nullptr; };
  FHost.request_restart = [](const clap::host*) {};
  FHost.request_process = [](const clap::host*) {};
  FHost.request_callback = [](const clap::host*) {};
  FPlugin = factory->create_plugin(factory, &FHost, d->id);
  if (!FPlugin) throw TToolError(path + ": the factory made no plug-in " + d->id);
  if (!FPlugin->init(FPlugin)) {
    FPlugin->destroy(FPlugin);
    FPlugin = nullptr;
    throw TToolError(path + ": the plug-in refused init");
  }

  if (auto* ports = static_cast<const clap::plugin_audio_ports*>(
          FPlugin->get_extension(FPlugin, clap::kExtAudioPorts))) {
    // The main port of each side; a plug-in with more ports gets them unconnected.
    clap::audio_port_info info{};
    if (ports->count(FPlugin, true) > 0 && ports->get(FPlugin, 0, true, &info))
      FInputs = static_cast<int>(info.channel_count);
    if (ports->count(FPlugin, false) > 0 && ports->get(FPlugin, 0, false, &info))
      FOutputs = static_cast<int>(info.channel_count);
  }
  FParamsExt =
      static_cast<const clap::plugin_params*>(FPlugin->get_extension(FPlugin, clap::kExtParams));
  if (FParamsExt)
    for (uint32_t i = 0, n = FParamsExt->count(FPlugin); i < n; ++i) {
      clap::param_info info{};
      if (!FParamsExt->get_info(FPlugin, i, &info)) continue;
      info.name[sizeof(info.name) - 1] = 0;
      FParams.push_back({info.param_id, info.name, info.min_value, info.max_value,
                         info.default_value, info.flags});
    }
}

THostedClap::~THostedClap() {
  if (FPlugin) {
    Stop();
    FPlugin->destroy(FPlugin);
  }
  if (FEntryReady) FEntry->deinit();
  if (FLibrary) ::dlclose(FLibrary);
}

void THostedClap::SelectProgram(int) {
  throw TToolError(FPath + " is a CLAP plug-in, which has no programs");
}

void THostedClap::ApplySetting(std::string_view text) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0 || eq + 1 == text.size())
    throw TToolError("setting " + std::string(text) + " is not NAME=VALUE");
  const std::string name(text.substr(0, eq)), valueText(text.substr(eq + 1));
  const TParam* param = nullptr;
  for (const TParam& p : FParams)
    if (p.Name == name) param = &p;
  for (const TParam& p : FParams)
    if (!param && ::strcasecmp(p.Name.c_str(), name.c_str()) == 0) param = &p;
  if (!param)
    if (auto index = WholeNumber(name); index && *index >= 0 &&
                                        *index < static_cast<double>(FParams.size()) &&
                                        *index == std::floor(*index))
      param = &FParams[static_cast<size_t>(*index)];
  if (!param) {
    std::string known;
    for (const TParam& p : FParams)
      known += (known.empty() ? "" : ", ") + p.Name;
    throw TToolError("unknown parameter " + name + "; the plug-in has " +
                     (known.empty() ? std::string("none") : known));
  }
  double value;
  if (valueText[0] == '@') {
    auto n = WholeNumber(std::string_view(valueText).substr(1));
    if (!n || *n < 0.0 || *n > 1.0)
      throw TToolError("normalised value " + valueText + " must run from 0 to 1");
    value = param->Min + (param->Max - param->Min) * *n;
  } else if (auto number = WholeNumber(valueText)) {
    if (*number < param->Min || *number > param->Max)
      throw TToolError("value " + valueText + " is out of range: " + param->Name + " runs from " +
                       NumberText(param->Min) + " to " + NumberText(param->Max));
    value = *number;
  } else if (!FParamsExt->text_to_value(FPlugin, param->Id, valueText.c_str(), &value)) {
    throw TToolError(valueText + " is not a number nor a text that " + param->Name +
                     " takes; give it in its units or as @0..1");
  }
  FPending.push_back({param->Id, value});
}

void THostedClap::Start() {
  if (FActive) return;
  if (!FPending.empty() && FParamsExt) {
    TEventList events;
    for (const TPending& p : FPending) {
      clap::event_param_value e{};
      e.header = {sizeof(e), 0, clap::kCoreEventSpace, clap::kEventParamValue, 0};
      e.param_id = p.Id;
      e.note_id = -1;
      e.port_index = e.channel = e.key = -1;
      e.value = p.Value;
      events.Events.push_back(e);
    }
    FParamsExt->flush(FPlugin, &events.List, &kDropEvents);
    FPending.clear();
  }
  const uint32_t frames = static_cast<uint32_t>(FBlockSize > 0 ? FBlockSize : 1);
  if (!FPlugin->activate(FPlugin, FSampleRate, 1, frames))
    throw TToolError(FPath + ": the plug-in refused to activate");
  FActive = true;
  if (!FPlugin->start_processing(FPlugin))
    throw TToolError(FPath + ": the plug-in refused to start processing");
  FProcessing = true;
}

void THostedClap::Process(float** inputs, float** outputs, int frames) {
  FIn.assign(inputs, inputs + FInputs);
  FOut.assign(outputs, outputs + FOutputs);
  clap::audio_buffer in{FIn.data(), nullptr, static_cast<uint32_t>(FInputs), 0, 0};
  clap::audio_buffer out{FOut.data(), nullptr, static_cast<uint32_t>(FOutputs), 0, 0};
  clap::process p{};
  p.steady_time = -1;
  p.frames_count = static_cast<uint32_t>(frames);
  p.audio_inputs = FInputs > 0 ? &in : nullptr;
  p.audio_outputs = FOutputs > 0 ? &out : nullptr;
  p.audio_inputs_count = FInputs > 0 ? 1 : 0;
  p.audio_outputs_count = FOutputs > 0 ? 1 : 0;
  p.in_events = &kNoEvents;
  p.out_events = &kDropEvents;
  if (FPlugin->process(FPlugin, &p) == clap::kProcessError)
    throw TToolError(FPath + ": the plug-in reported an error while processing");
}

void THostedClap::Stop() {
  if (FProcessing) FPlugin->stop_processing(FPlugin);
  FProcessing = false;
  if (FActive) FPlugin->deactivate(FPlugin);
  FActive = false;
}

double THostedClap::Value(const TParam& p) const {
  double v = 0.0;
  return FParamsExt && FParamsExt->get_value(FPlugin, p.Id, &v) ? v : std::nan("");
}

std::string THostedClap::Text(const TParam& p, double value) const {
  char text[256] = {};
  if (!FParamsExt || !FParamsExt->value_to_text(FPlugin, p.Id, value, text, sizeof(text)))
    return {};
  text[sizeof(text) - 1] = 0;
  return text;
}

bool THostedClap::Offers(const char* extension) const {
  return FPlugin->get_extension(FPlugin, extension) != nullptr;
}

uint32_t THostedClap::Latency() const {
  auto* latency =
      static_cast<const clap::plugin_latency*>(FPlugin->get_extension(FPlugin, clap::kExtLatency));
  return latency ? latency->get(FPlugin) : 0;
}

std::string THostedClap::NotePorts() const {
  auto* ports = static_cast<const clap::plugin_note_ports*>(
      FPlugin->get_extension(FPlugin, clap::kExtNotePorts));
  if (!ports) return "none";
  std::string text = std::to_string(ports->count(FPlugin, true)) + " in, " +
                     std::to_string(ports->count(FPlugin, false)) + " out";
  clap::note_port_info info{};
  if (ports->count(FPlugin, true) > 0 && ports->get(FPlugin, 0, true, &info)) {
    std::string dialects;
    if (info.supported_dialects & clap::kNoteDialectClap) dialects += " clap";
    if (info.supported_dialects & clap::kNoteDialectMidi) dialects += " midi";
    if (info.supported_dialects & clap::kNoteDialectMidiMpe) dialects += " midi-mpe";
    if (info.supported_dialects & clap::kNoteDialectMidi2) dialects += " midi2";
    text += "; dialects" + dialects;
  }
  return text;
}

} // namespace qlhost
