// Writes the bundle's description files from the core: the identity and version, the ports from
// the parameters' one description, the presets from the programs. Run at build time, so that
// the bundle cannot drift from the other formats.
//
//   ql_lv2_bundle DIR   writes DIR/manifest.ttl, DIR/quantaloop.ttl and DIR/presets.ttl

#include "core/uIdentity.h"
#include "core/uPrograms.h"
#include "lv2/Lv2Description.h"

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace lv2q;

constexpr const char* kPrefixes = R"(@prefix atom: <http://lv2plug.in/ns/ext/atom#> .
@prefix doap: <http://usefulinc.com/ns/doap#> .
@prefix foaf: <http://xmlns.com/foaf/0.1/> .
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix midi: <http://lv2plug.in/ns/ext/midi#> .
@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .
@prefix units: <http://lv2plug.in/ns/extensions/units#> .
@prefix urid: <http://lv2plug.in/ns/ext/urid#> .

)";

// Appends the parts in order (one append each, which also keeps GCC's overlap warning quiet).
void Add(std::string& t, std::initializer_list<std::string_view> parts) {
  for (std::string_view p : parts)
    t.append(p);
}

// A number as Turtle reads it back to the same float.
std::string Number(float v) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.9g", static_cast<double>(v));
  std::string s = text;
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string Quoted(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}

struct TProgram {
  std::string Name;
  float Real[ppCount];
};

// What the core says of the effect: its names and its programs as stored.
struct TEffectFacts {
  std::string Name;
  std::string Vendor;
  std::vector<TProgram> Programs;
};

TEffectFacts FactsOfTheCore() {
  TEffectFacts facts{kPluginName, kVendorName, {}};
  for (int32_t p = 0; p < kProgramCount; ++p) {
    TProgram program{kPrograms[p].Name, {}};
    for (int32_t i = 0; i < ppCount; ++i)
      program.Real[i] = ProgramReal(p, i);
    facts.Programs.push_back(program);
  }
  return facts;
}

std::string PresetUri(size_t n) {
  return std::string(kPluginUri) + kPresetFragment + std::to_string(n);
}

std::string PresetLabel(const TProgram& program, size_t n) {
  // Both programs may carry one name; the number tells them apart as a VST 2 host does.
  return program.Name + " (program " + std::to_string(n) + ")";
}

std::string Manifest(const std::vector<TProgram>& programs) {
  std::string t = kPrefixes;
  t += "<" + std::string(kPluginUri) + ">\n    a lv2:Plugin ;\n    lv2:binary <" + kDspBinary +
       "> ;\n    rdfs:seeAlso <quantaloop.ttl> .\n\n";
  t += "<" + std::string(kUiUri) + ">\n    a ui:X11UI ;\n    ui:binary <" + kUiBinary +
       "> ;\n    rdfs:seeAlso <quantaloop.ttl> .\n";
  for (size_t n = 1; n <= programs.size(); ++n)
    t += "\n<" + PresetUri(n) + ">\n    a pset:Preset ;\n    lv2:appliesTo <" + kPluginUri +
         "> ;\n    rdfs:seeAlso <presets.ttl> .\n";
  return t;
}

std::string ControlPort(uint32_t index, const TPort& port) {
  const TParameterDescription& p = kParameters[port.Parameter];
  std::string t = "    a lv2:InputPort , lv2:ControlPort ;\n";
  t += "    lv2:index " + std::to_string(index) + " ;\n";
  t += "    lv2:symbol " + Quoted(port.Symbol) + " ;\n";
  t += "    lv2:name " + Quoted(port.Name) + " ;\n";
  t += "    lv2:default " + Number(DefaultReal(port.Parameter)) + " ;\n";
  t += "    lv2:minimum 0.0 ;\n";
  t += "    lv2:maximum " + Number(p.Max) + " ;\n";
  if (p.Kind == TParameterKind::Number) t += "    lv2:portProperty lv2:integer ;\n";
  // The loop is on from the switch's threshold up, whatever a host sends in between.
  if (p.Kind == TParameterKind::Switch) t += "    lv2:portProperty lv2:toggled ;\n";
  if (p.Units[0])
    t += "    units:unit [\n        a units:Unit ;\n        rdfs:label " + Quoted(p.Units) +
         " ;\n        units:symbol " + Quoted(p.Units) + " ;\n        units:render " +
         Quoted(std::string("%f ") + p.Units) + "\n    ] ;\n";
  return t;
}

std::string Description(const TEffectFacts& facts) {
  const std::string plugin = kPluginUri;
  std::string t = kPrefixes;
  t += "<" + std::string(kProjectUri) + ">\n    a doap:Project ;\n    doap:name " +
       Quoted(facts.Name) +
       " ;\n    doap:maintainer [\n        a foaf:Person ;\n        foaf:name " +
       Quoted(facts.Vendor) + "\n    ] .\n\n";
  t += "<" + plugin +
       "#in>\n    a pg:StereoGroup , pg:InputGroup ;\n    lv2:symbol \"in\" ;\n"
       "    rdfs:label \"Input\" .\n\n";
  t += "<" + plugin +
       "#out>\n    a pg:StereoGroup , pg:OutputGroup ;\n    lv2:symbol \"out\" ;\n"
       "    rdfs:label \"Output\" ;\n    pg:source <" +
       plugin + "#in> .\n\n";
  t += "<" + plugin + ">\n    a lv2:Plugin , lv2:SimulatorPlugin ;\n";
  t += "    doap:name " + Quoted(facts.Name) + " ;\n";
  t += "    lv2:project <" + std::string(kProjectUri) + "> ;\n";
  t += "    lv2:minorVersion " + std::to_string(kLv2MinorVersion) + " ;\n    lv2:microVersion " +
       std::to_string(kLv2MicroVersion) + " ;\n";
  t += "    lv2:optionalFeature urid:map , lv2:hardRTCapable ;\n";
  t += "    ui:ui <" + std::string(kUiUri) + "> ;\n";
  for (uint32_t i = 0; i < kPortCount; ++i) {
    const TPort& port = kPorts[i];
    t += i == 0 ? "    lv2:port [\n" : "    ] , [\n";
    switch (port.Kind) {
    case TPortKind::AudioIn:
    case TPortKind::AudioOut: {
      const bool in = port.Kind == TPortKind::AudioIn;
      const bool left = i == (in ? kAudioIn0 : kAudioOut0);
      t += std::string("    a lv2:") + (in ? "InputPort" : "OutputPort") + " , lv2:AudioPort ;\n";
      t += "    lv2:index " + std::to_string(i) + " ;\n";
      t += "    lv2:symbol " + Quoted(port.Symbol) + " ;\n";
      t += "    lv2:name " + Quoted(port.Name) + " ;\n";
      t += "    pg:group <" + plugin + (in ? "#in" : "#out") + "> ;\n";
      t += std::string("    lv2:designation pg:") + (left ? "left" : "right") + " ;\n";
      break;
    }
    case TPortKind::Control:
      t += ControlPort(i, port);
      break;
    case TPortKind::MidiIn:
    case TPortKind::MidiOut: {
      const bool in = port.Kind == TPortKind::MidiIn;
      t += std::string("    a lv2:") + (in ? "InputPort" : "OutputPort") + " , atom:AtomPort ;\n";
      t += "    atom:bufferType atom:Sequence ;\n    atom:supports midi:MidiEvent ;\n";
      // Hosts without MIDI (lv2apply) leave the sequences unconnected.
      t += "    lv2:portProperty lv2:connectionOptional ;\n";
      if (in) t += "    lv2:designation lv2:control ;\n";
      t += "    lv2:index " + std::to_string(i) + " ;\n";
      t += "    lv2:symbol " + Quoted(port.Symbol) + " ;\n";
      t += "    lv2:name " + Quoted(port.Name) + " ;\n";
      break;
    }
    }
  }
  t += "    ] .\n\n";
  t += "<" + std::string(kUiUri) + ">\n    a ui:X11UI ;\n";
  t += "    lv2:requiredFeature ui:parent , ui:idleInterface ;\n";
  t += "    lv2:optionalFeature ui:resize , ui:noUserResize , ui:touch ;\n";
  t += "    lv2:extensionData ui:idleInterface .\n";
  return t;
}

std::string Presets(const std::vector<TProgram>& programs) {
  std::string t = kPrefixes;
  for (size_t n = 1; n <= programs.size(); ++n) {
    const TProgram& program = programs[n - 1];
    Add(t, {"<", PresetUri(n), ">\n    a pset:Preset ;\n    lv2:appliesTo <", kPluginUri,
            "> ;\n    rdfs:label ", Quoted(PresetLabel(program, n)), " ;\n"});
    for (int32_t i = 0; i < ppCount; ++i)
      Add(t, {i == 0 ? "    lv2:port [\n" : "    ] , [\n", "        lv2:symbol ",
              Quoted(kParameters[i].Symbol), " ;\n        pset:value ", Number(program.Real[i]),
              "\n"});
    t += "    ] .\n\n";
  }
  return t;
}

bool Write(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ql_lv2_bundle DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const TEffectFacts facts = FactsOfTheCore();
  if (!Write(dir + "/manifest.ttl", Manifest(facts.Programs)) ||
      !Write(dir + "/quantaloop.ttl", Description(facts)) ||
      !Write(dir + "/presets.ttl", Presets(facts.Programs))) {
    std::fprintf(stderr, "ql_lv2_bundle: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
