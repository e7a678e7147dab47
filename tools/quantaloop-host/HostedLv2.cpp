#include "HostedLv2.h"

#include "SettingParser.h"
#include "ToolError.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace qlhost {

namespace {

constexpr const char* kRdfsLabel = "http://www.w3.org/2000/01/rdf-schema#label";
// Room of each atom port's buffer, in bytes; this host sends no events and reads none back.
constexpr size_t kAtomCapacity = 8192;

// Nodes made for a query, freed when it is done.
class TNode {
public:
  explicit TNode(LilvNode* node) : FNode(node) {}
  ~TNode() { lilv_node_free(FNode); }
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;
  const LilvNode* Get() const { return FNode; }
  explicit operator bool() const { return FNode != nullptr; }

private:
  LilvNode* FNode;
};

std::string TextOf(const LilvNode* node) {
  return node ? lilv_node_as_string(node) : "";
}

// Compares URIs so that "...-2" comes before "...-10".
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = a[i] >= '0' && a[i] <= '9', db = b[j] >= '0' && b[j] <= '9';
    if (da && db) {
      size_t ei = i, ej = j;
      while (ei < a.size() && a[ei] >= '0' && a[ei] <= '9')
        ++ei;
      while (ej < b.size() && b[ej] >= '0' && b[ej] <= '9')
        ++ej;
      std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei, j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i, ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

// The loader reports what goes wrong in lines of its own on stderr. While it works, those lines
// go to a scratch file instead, so that a failure is told in the host's one line, with the
// loader's first message as its reason; on success they are dropped.
class TLoaderMessages {
public:
  TLoaderMessages() {
    std::fflush(stderr);
    FFile = std::tmpfile();
    FSaved = FFile ? ::dup(STDERR_FILENO) : -1;
    if (FSaved >= 0) ::dup2(::fileno(FFile), STDERR_FILENO);
  }
  ~TLoaderMessages() {
    Restore();
    if (FFile) std::fclose(FFile);
  }
  TLoaderMessages(const TLoaderMessages&) = delete;
  TLoaderMessages& operator=(const TLoaderMessages&) = delete;

  // " (the first message)", or nothing when the loader said nothing.
  std::string Reason() {
    Restore();
    if (!FFile) return {};
    std::rewind(FFile);
    char line[512] = {};
    if (!std::fgets(line, sizeof(line), FFile)) return {};
    std::string text = line;
    text.erase(text.find_last_not_of("\r\n ") + 1);
    // "lilv_lib_open(): error: Failed ..." reads as "Failed ...".
    if (auto at = text.find("error: "); at != std::string::npos) text.erase(0, at + 7);
    return text.empty() ? text : " (" + text + ")";
  }

private:
  void Restore() {
    if (FSaved < 0) return;
    std::fflush(stderr);
    ::dup2(FSaved, STDERR_FILENO);
    ::close(FSaved);
    FSaved = -1;
  }

  std::FILE* FFile = nullptr;
  int FSaved = -1;
};

std::string BundleFolder(const std::string& argument) {
  struct stat st {};
  if (::stat(argument.c_str(), &st) != 0)
    throw TToolError("cannot open LV2 bundle " + argument + ": " + std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) throw TToolError("LV2 bundle " + argument + " is not a folder");
  char resolved[PATH_MAX];
  if (!::realpath(argument.c_str(), resolved))
    throw TToolError("cannot open LV2 bundle " + argument + ": " + std::strerror(errno));
  std::string folder = resolved;
  if (::stat((folder + "/manifest.ttl").c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw TToolError("LV2 bundle " + argument + " has no manifest.ttl");
  return folder + "/";
}

} // namespace

THostedLv2::THostedLv2(const std::string& argument, bool isBundle) : FArgument(argument) {
  FMap = {this, &THostedLv2::Map};
  FUnmap = {this, &THostedLv2::Unmap};
  FMapFeature = {LV2_URID__map, &FMap};
  FUnmapFeature = {LV2_URID__unmap, &FUnmap};
  FSequence = Map(this, LV2_ATOM__Sequence);
  FChunk = Map(this, LV2_ATOM__Chunk);

  // The folder is checked before the world exists, so that a wrong path fails in one line of
  // our own rather than in the loader's messages.
  const std::string folder = isBundle ? BundleFolder(argument) : std::string();
  FWorld = lilv_world_new();
  if (!FWorld) throw TToolError("cannot start the LV2 loader");
  TLoaderMessages messages;
  try {
    if (isBundle) {
      // Only this bundle: a copy installed elsewhere under the same URI must not take its place.
      TNode bundle(lilv_new_file_uri(FWorld, nullptr, folder.c_str()));
      lilv_world_load_bundle(FWorld, bundle.Get());
      const LilvPlugins* all = lilv_world_get_all_plugins(FWorld);
      std::vector<const LilvPlugin*> found;
      LILV_FOREACH(plugins, it, all) {
        const LilvPlugin* p = lilv_plugins_get(all, it);
        if (lilv_node_equals(lilv_plugin_get_bundle_uri(p), bundle.Get())) found.push_back(p);
      }
      if (found.empty())
        throw TToolError("LV2 bundle " + argument + " describes no plug-in" + messages.Reason());
      if (found.size() > 1) {
        std::string uris;
        for (const LilvPlugin* p : found)
          uris += (uris.empty() ? "" : ", ") + TextOf(lilv_plugin_get_uri(p));
        throw TToolError("LV2 bundle " + argument + " holds " + std::to_string(found.size()) +
                         " plug-ins (" + uris + "); name one by its URI");
      }
      FPlugin = found.front();
    } else {
      lilv_world_load_all(FWorld);
      TNode uri(lilv_new_uri(FWorld, argument.c_str()));
      FPlugin =
          uri ? lilv_plugins_get_by_uri(lilv_world_get_all_plugins(FWorld), uri.Get()) : nullptr;
      if (!FPlugin) {
        const char* path = std::getenv("LV2_PATH");
        throw TToolError("no LV2 plug-in has the URI " + argument + " (searched " +
                         (path && *path ? std::string("LV2_PATH=") + path
                                        : std::string("the default LV2 folders")) +
                         ")" + messages.Reason());
      }
    }
    if (!lilv_plugin_verify(FPlugin))
      throw TToolError("the LV2 description of " + argument + " is incomplete or invalid" +
                       messages.Reason());
    ReadPorts();
    ReadPresets();
  } catch (...) {
    lilv_world_free(FWorld);
    throw;
  }
}

THostedLv2::~THostedLv2() {
  if (FActive) Stop();
  if (FInstance) lilv_instance_free(FInstance);
  lilv_world_free(FWorld);
}

void THostedLv2::ReadPorts() {
  TNode input(lilv_new_uri(FWorld, LV2_CORE__InputPort));
  TNode output(lilv_new_uri(FWorld, LV2_CORE__OutputPort));
  TNode audio(lilv_new_uri(FWorld, LV2_CORE__AudioPort));
  TNode control(lilv_new_uri(FWorld, LV2_CORE__ControlPort));
  TNode cv(lilv_new_uri(FWorld, LV2_CORE__CVPort));
  TNode atom(lilv_new_uri(FWorld, LV2_ATOM__AtomPort));
  TNode integer(lilv_new_uri(FWorld, LV2_CORE__integer));
  TNode toggled(lilv_new_uri(FWorld, LV2_CORE__toggled));
  TNode optional(lilv_new_uri(FWorld, LV2_CORE__connectionOptional));
  TNode unit(lilv_new_uri(FWorld, LV2_UNITS__unit));
  TNode unitSymbol(lilv_new_uri(FWorld, LV2_UNITS__symbol));

  const uint32_t count = lilv_plugin_get_num_ports(FPlugin);
  std::vector<float> mins(count), maxs(count), defaults(count);
  lilv_plugin_get_port_ranges_float(FPlugin, mins.data(), maxs.data(), defaults.data());
  FValues.assign(count, 0.0f);
  FAtoms.assign(count, {});
  FCv.assign(count, {});
  for (uint32_t i = 0; i < count; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(FPlugin, i);
    TPort p;
    p.Index = i;
    p.Kind = TPortKind::Other;
    p.Symbol = TextOf(lilv_port_get_symbol(FPlugin, port));
    p.Min = mins[i];
    p.Max = maxs[i];
    p.Default = defaults[i];
    if (LilvNode* name = lilv_port_get_name(FPlugin, port)) {
      p.Name = TextOf(name);
      lilv_node_free(name);
    }
    const bool in = lilv_port_is_a(FPlugin, port, input.Get());
    const bool out = lilv_port_is_a(FPlugin, port, output.Get());
    p.Optional = lilv_port_has_property(FPlugin, port, optional.Get());
    p.Integer = lilv_port_has_property(FPlugin, port, integer.Get());
    p.Toggled = lilv_port_has_property(FPlugin, port, toggled.Get());
    if (in == out) {
      p.Kind = TPortKind::Other;
    } else if (lilv_port_is_a(FPlugin, port, audio.Get())) {
      p.Kind = in ? TPortKind::AudioIn : TPortKind::AudioOut;
    } else if (lilv_port_is_a(FPlugin, port, control.Get())) {
      p.Kind = in ? TPortKind::ControlIn : TPortKind::ControlOut;
    } else if (lilv_port_is_a(FPlugin, port, atom.Get())) {
      p.Kind = in ? TPortKind::AtomIn : TPortKind::AtomOut;
    } else if (lilv_port_is_a(FPlugin, port, cv.Get())) {
      p.Kind = in ? TPortKind::CvIn : TPortKind::CvOut;
    }
    if (p.Kind == TPortKind::Other && !p.Optional)
      throw TToolError(FArgument + " has port " + std::to_string(i) + " (" + p.Symbol +
                       ") of a kind this host cannot connect");
    if (p.Kind == TPortKind::ControlIn || p.Kind == TPortKind::ControlOut) {
      if (LilvScalePoints* points = lilv_port_get_scale_points(FPlugin, port)) {
        LILV_FOREACH(scale_points, it, points) {
          const LilvScalePoint* sp = lilv_scale_points_get(points, it);
          p.ScalePoints.push_back({lilv_node_as_float(lilv_scale_point_get_value(sp)),
                                   TextOf(lilv_scale_point_get_label(sp))});
        }
        lilv_scale_points_free(points);
        std::sort(p.ScalePoints.begin(), p.ScalePoints.end(),
                  [](const TScalePoint& a, const TScalePoint& b) { return a.Value < b.Value; });
      }
      if (LilvNodes* units = lilv_port_get_value(FPlugin, port, unit.Get())) {
        const LilvNode* u = lilv_nodes_get_first(units);
        // A unit of the units vocabulary is a URI; a unit of the plug-in's own carries its symbol.
        if (LilvNode* symbol = lilv_world_get(FWorld, u, unitSymbol.Get(), nullptr)) {
          p.Unit = TextOf(symbol);
          lilv_node_free(symbol);
        } else if (lilv_node_is_uri(u)) {
          const std::string text = TextOf(u);
          p.Unit = text.substr(text.find_last_of("#/") + 1);
        }
        lilv_nodes_free(units);
      }
      // Where the description gives no default, the minimum, else 0.
      FValues[i] = !std::isnan(p.Default) ? p.Default : !std::isnan(p.Min) ? p.Min : 0.0f;
    }
    if (p.Kind == TPortKind::AudioIn) FAudioInPorts.push_back(i);
    if (p.Kind == TPortKind::AudioOut) FAudioOutPorts.push_back(i);
    if (p.Kind == TPortKind::AtomIn || p.Kind == TPortKind::AtomOut)
      FAtoms[i].assign(kAtomCapacity / sizeof(uint64_t), 0);
    FPorts.push_back(std::move(p));
  }
  FAudioIn = static_cast<int>(FAudioInPorts.size());
  FAudioOut = static_cast<int>(FAudioOutPorts.size());
}

void THostedLv2::ReadPresets() {
  TNode preset(lilv_new_uri(FWorld, LV2_PRESETS__Preset));
  TNode label(lilv_new_uri(FWorld, kRdfsLabel));
  LilvNodes* related = lilv_plugin_get_related(FPlugin, preset.Get());
  if (!related) return;
  LILV_FOREACH(nodes, it, related) {
    const LilvNode* node = lilv_nodes_get(related, it);
    lilv_world_load_resource(FWorld, node);
    TPreset p{TextOf(node), {}};
    if (LilvNode* text = lilv_world_get(FWorld, node, label.Get(), nullptr)) {
      p.Label = TextOf(text);
      lilv_node_free(text);
    }
    FPresets.push_back(std::move(p));
  }
  lilv_nodes_free(related);
  std::sort(FPresets.begin(), FPresets.end(),
            [](const TPreset& a, const TPreset& b) { return NaturalLess(a.Uri, b.Uri); });
}

LV2_URID THostedLv2::Map(LV2_URID_Map_Handle handle, const char* uri) {
  auto& self = *static_cast<THostedLv2*>(handle);
  if (!uri) return 0;
  auto [it, added] = self.FUrids.emplace(uri, static_cast<LV2_URID>(self.FUris.size() + 1));
  if (added) self.FUris.push_back(uri);
  return it->second;
}

const char* THostedLv2::Unmap(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
  auto& self = *static_cast<THostedLv2*>(handle);
  return urid >= 1 && urid <= self.FUris.size() ? self.FUris[urid - 1].c_str() : nullptr;
}

void THostedLv2::SetPortFromPreset(const char* symbol, void* handle, const void* value,
                                   uint32_t size, uint32_t type) {
  auto& self = *static_cast<THostedLv2*>(handle);
  for (const TPort& p : self.FPorts) {
    if (p.Kind != TPortKind::ControlIn || p.Symbol != symbol) continue;
    if (type == Map(&self, LV2_ATOM__Float) && size == sizeof(float))
      std::memcpy(&self.FValues[p.Index], value, sizeof(float));
    else if (type == Map(&self, LV2_ATOM__Double) && size == sizeof(double))
      self.FValues[p.Index] = static_cast<float>(*static_cast<const double*>(value));
    else if ((type == Map(&self, LV2_ATOM__Int) || type == Map(&self, LV2_ATOM__Bool)) &&
             size == sizeof(int32_t))
      self.FValues[p.Index] = static_cast<float>(*static_cast<const int32_t*>(value));
    else if (type == Map(&self, LV2_ATOM__Long) && size == sizeof(int64_t))
      self.FValues[p.Index] = static_cast<float>(*static_cast<const int64_t*>(value));
  }
}

void THostedLv2::SelectProgram(int index) {
  if (index < 0 || index >= NumPrograms()) throw TToolError("no preset " + std::to_string(index));
  TNode uri(lilv_new_uri(FWorld, FPresets[static_cast<size_t>(index)].Uri.c_str()));
  LilvState* state = lilv_state_new_from_world(FWorld, &FMap, uri.Get());
  if (!state)
    throw TToolError("cannot read preset " + FPresets[static_cast<size_t>(index)].Uri + " of " +
                     FArgument);
  lilv_state_emit_port_values(state, &THostedLv2::SetPortFromPreset, this);
  lilv_state_free(state);
}

void THostedLv2::ApplySetting(std::string_view text) {
  qlhost::ApplySetting(*this, text);
}

void THostedLv2::Start() {
  // Features this host offers; lv2:isLive, lv2:inPlaceBroken and lv2:hardRTCapable ask nothing
  // of a host that renders files with separate input and output buffers.
  const char* offered[] = {LV2_URID__map, LV2_URID__unmap, LV2_CORE__isLive,
                           LV2_CORE__inPlaceBroken, LV2_CORE__hardRTCapable};
  for (const std::string& feature : RequiredFeatures())
    if (std::none_of(std::begin(offered), std::end(offered),
                     [&](const char* f) { return feature == f; }))
      throw TToolError(FArgument + " needs the LV2 feature " + feature +
                       ", which this host does not offer");
  const LV2_Feature* features[] = {&FMapFeature, &FUnmapFeature, nullptr};
  TLoaderMessages messages;
  FInstance = lilv_plugin_instantiate(FPlugin, static_cast<double>(FSampleRate), features);
  if (!FInstance)
    throw TToolError(FArgument + " failed to instantiate at " +
                     std::to_string(static_cast<long>(FSampleRate)) + " Hz" + messages.Reason());
  for (const TPort& p : FPorts) {
    void* data = nullptr;
    switch (p.Kind) {
    case TPortKind::ControlIn:
    case TPortKind::ControlOut:
      data = &FValues[p.Index];
      break;
    case TPortKind::AtomIn:
    case TPortKind::AtomOut:
      data = FAtoms[p.Index].data();
      break;
    case TPortKind::CvIn:
    case TPortKind::CvOut:
      FCv[p.Index].assign(static_cast<size_t>(FBlockSize), 0.0f);
      data = FCv[p.Index].data();
      break;
    case TPortKind::AudioIn:
    case TPortKind::AudioOut:
    case TPortKind::Other:
      break; // audio with each block; others stay unconnected, as they allow
    }
    lilv_instance_connect_port(FInstance, p.Index, data);
  }
  ResetAtomBuffers();
  lilv_instance_activate(FInstance);
  FActive = true;
}

void THostedLv2::ResetAtomBuffers() {
  for (const TPort& p : FPorts) {
    if (p.Kind != TPortKind::AtomIn && p.Kind != TPortKind::AtomOut) continue;
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(FAtoms[p.Index].data());
    if (p.Kind == TPortKind::AtomIn) {
      // An empty sequence: no events for the plug-in.
      seq->atom.type = FSequence;
      seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
      seq->body.unit = 0;
      seq->body.pad = 0;
    } else {
      // A chunk the size of the room, which the plug-in fills with its sequence.
      seq->atom.type = FChunk;
      seq->atom.size = static_cast<uint32_t>(kAtomCapacity - sizeof(LV2_Atom));
    }
  }
}

void THostedLv2::Process(float** inputs, float** outputs, int frames) {
  for (size_t i = 0; i < FAudioInPorts.size(); ++i)
    lilv_instance_connect_port(FInstance, FAudioInPorts[i], inputs[i]);
  for (size_t i = 0; i < FAudioOutPorts.size(); ++i)
    lilv_instance_connect_port(FInstance, FAudioOutPorts[i], outputs[i]);
  ResetAtomBuffers();
  lilv_instance_run(FInstance, static_cast<uint32_t>(frames));
}

void THostedLv2::Stop() {
  lilv_instance_deactivate(FInstance);
  FActive = false;
}

std::string THostedLv2::Uri() const {
  return TextOf(lilv_plugin_get_uri(FPlugin));
}

std::string THostedLv2::Name() const {
  LilvNode* name = lilv_plugin_get_name(FPlugin);
  std::string s = TextOf(name);
  lilv_node_free(name);
  return s;
}

std::string THostedLv2::ClassLabel() const {
  // The types the description gives besides lv2:Plugin, read from the plug-in's own statements
  // so that a bundle loaded alone, without the LV2 vocabulary, still tells them.
  TNode type(lilv_new_uri(FWorld, "http://www.w3.org/1999/02/22-rdf-syntax-ns#type"));
  std::vector<std::string> names;
  if (LilvNodes* types = lilv_plugin_get_value(FPlugin, type.Get())) {
    LILV_FOREACH(nodes, it, types) {
      const std::string uri = TextOf(lilv_nodes_get(types, it));
      if (uri != LV2_CORE__Plugin) names.push_back(uri.substr(uri.find_last_of("#/") + 1));
    }
    lilv_nodes_free(types);
  }
  std::sort(names.begin(), names.end());
  std::string s;
  for (const auto& n : names)
    s += (s.empty() ? "" : ", ") + n;
  return s.empty() ? "Plugin" : s;
}

std::string THostedLv2::Author() const {
  LilvNode* name = lilv_plugin_get_author_name(FPlugin);
  std::string s = TextOf(name);
  lilv_node_free(name);
  return s;
}

std::string THostedLv2::BundlePath() const {
  char* path = lilv_file_uri_parse(TextOf(lilv_plugin_get_bundle_uri(FPlugin)).c_str(), nullptr);
  std::string s = path ? path : TextOf(lilv_plugin_get_bundle_uri(FPlugin));
  lilv_free(path);
  return s;
}

std::string THostedLv2::LibraryPath() const {
  char* path = lilv_file_uri_parse(TextOf(lilv_plugin_get_library_uri(FPlugin)).c_str(), nullptr);
  std::string s = path ? path : TextOf(lilv_plugin_get_library_uri(FPlugin));
  lilv_free(path);
  return s;
}

namespace {

std::vector<std::string> Texts(LilvNodes* nodes) {
  std::vector<std::string> out;
  if (!nodes) return out;
  LILV_FOREACH(nodes, it, nodes)
  out.push_back(TextOf(lilv_nodes_get(nodes, it)));
  lilv_nodes_free(nodes);
  std::sort(out.begin(), out.end());
  return out;
}

} // namespace

std::vector<std::string> THostedLv2::RequiredFeatures() const {
  return Texts(lilv_plugin_get_required_features(FPlugin));
}

std::vector<std::string> THostedLv2::OptionalFeatures() const {
  return Texts(lilv_plugin_get_optional_features(FPlugin));
}

} // namespace qlhost
