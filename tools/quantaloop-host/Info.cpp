// The info command: everything a host learns from a plug-in without processing audio.

#include "Commands.h"
#include "HostedClap.h"
#include "HostedEffect.h"
#include "HostedLv2.h"
#include "HostedVst3.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

namespace qlhost {

namespace {

struct TFlagName {
  VstInt32 Flag;
  const char* Name;
};

constexpr TFlagName kFlagNames[] = {
    {effFlagsHasEditor, "has editor"},
    {effFlagsHasClip, "has clip"},
    {effFlagsHasVu, "has vu"},
    {effFlagsCanMono, "can mono"},
    {effFlagsCanReplacing, "can replace"},
    {effFlagsProgramChunks, "program chunks"},
    {effFlagsIsSynth, "synth"},
    {effFlagsNoSoundInStop, "no sound in stop"},
    {effFlagsExtIsAsync, "async"},
    {effFlagsExtHasBuffer, "external buffer"},
};

std::string FourCharText(VstInt32 id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((static_cast<uint32_t>(id) >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '.';
  }
  return s;
}

std::string PinText(THostedEffect& fx, VstInt32 opcode, int index) {
  VstPinProperties pin{};
  if (fx.Dispatch(opcode, index, 0, &pin) == 0) return "(no description)";
  pin.label[sizeof(pin.label) - 1] = '\0';
  std::string s = std::string("\"") + pin.label + "\"";
  std::string flags;
  if (pin.flags & kVstPinIsActive) flags += "active";
  if (pin.flags & kVstPinIsStereo) flags += flags.empty() ? "stereo" : ", stereo";
  if (pin.flags & kVstPinUseSpeaker) flags += flags.empty() ? "speaker" : ", speaker";
  return flags.empty() ? s : s + " (" + flags + ")";
}

const char* CanDoText(VstIntPtr answer) {
  return answer > 0 ? "yes" : answer < 0 ? "no" : "don't know";
}

const char* KindText(THostedLv2::TPortKind kind) {
  using TKind = THostedLv2::TPortKind;
  switch (kind) {
  case TKind::AtomIn:
    return "atom input";
  case TKind::AtomOut:
    return "atom output";
  case TKind::CvIn:
    return "CV input";
  case TKind::CvOut:
    return "CV output";
  case TKind::Other:
    return "unknown kind";
  default:
    return "";
  }
}

// What an LV2 plug-in's description tells: it is read, not run, so no instance is made.
void InfoLv2(const THostedLv2& fx) {
  using TKind = THostedLv2::TPortKind;
  std::printf("plug-in          %s (LV2)\n", fx.Path().c_str());
  std::printf("name             %s\n", fx.Name().c_str());
  std::printf("uri              %s\n", fx.Uri().c_str());
  std::printf("class            %s\n", fx.ClassLabel().c_str());
  std::printf("author           %s\n", fx.Author().c_str());
  std::printf("bundle           %s\n", fx.BundlePath().c_str());
  std::printf("library          %s\n", fx.LibraryPath().c_str());
  auto list = [](const std::vector<std::string>& items) {
    std::string s;
    for (const auto& i : items)
      s += (s.empty() ? "" : ", ") + i;
    return s.empty() ? std::string("none") : s;
  };
  std::printf("required         %s\n", list(fx.RequiredFeatures()).c_str());
  std::printf("optional         %s\n", list(fx.OptionalFeatures()).c_str());

  auto printPorts = [&](const char* title, std::initializer_list<TKind> kinds) {
    std::vector<const THostedLv2::TPort*> ports;
    for (const auto& p : fx.Ports())
      if (std::find(kinds.begin(), kinds.end(), p.Kind) != kinds.end()) ports.push_back(&p);
    std::printf("%-16s %zu\n", title, ports.size());
    for (const auto* p : ports) {
      std::string notes = KindText(p->Kind);
      if (p->Optional) notes += notes.empty() ? "optional" : ", optional";
      std::printf("  %-3u %-12s \"%s\"%s\n", p->Index, p->Symbol.c_str(), p->Name.c_str(),
                  notes.empty() ? "" : (" (" + notes + ")").c_str());
    }
  };
  printPorts("inputs", {TKind::AudioIn});
  printPorts("outputs", {TKind::AudioOut});

  std::printf("presets          %zu\n", fx.Presets().size());
  for (size_t i = 0; i < fx.Presets().size(); ++i)
    std::printf("  %-3zu \"%s\"  %s\n", i, fx.Presets()[i].Label.c_str(),
                fx.Presets()[i].Uri.c_str());

  std::vector<const THostedLv2::TPort*> controls;
  size_t symbolWidth = 6, nameWidth = 4;
  for (const auto& p : fx.Ports())
    if (p.Kind == TKind::ControlIn || p.Kind == TKind::ControlOut) {
      controls.push_back(&p);
      symbolWidth = std::max(symbolWidth, p.Symbol.size());
      nameWidth = std::max(nameWidth, p.Name.size());
    }
  auto number = [](float v) {
    if (std::isnan(v)) return std::string("-");
    char text[32];
    std::snprintf(text, sizeof(text), "%g", static_cast<double>(v));
    return std::string(text);
  };
  std::printf("controls         %zu\n", controls.size());
  if (!controls.empty())
    std::printf("  %-3s %-*s  %-*s  %-8s  %-8s  %-8s  %s\n", "#", static_cast<int>(symbolWidth),
                "symbol", static_cast<int>(nameWidth), "name", "minimum", "maximum", "default",
                "unit, properties");
  for (const auto* p : controls) {
    std::string notes = p->Unit;
    auto note = [&](const std::string& n) { notes += (notes.empty() ? "" : ", ") + n; };
    if (p->Kind == TKind::ControlOut) note("output");
    if (p->Integer) note("integer");
    if (p->Toggled) note("toggled");
    for (const auto& sp : p->ScalePoints)
      note(number(sp.Value) + " = " + sp.Label);
    char row[512];
    std::snprintf(row, sizeof(row), "  %-3u %-*s  %-*s  %-8s  %-8s  %-8s  %s", p->Index,
                  static_cast<int>(symbolWidth), p->Symbol.c_str(), static_cast<int>(nameWidth),
                  p->Name.c_str(), number(p->Min).c_str(), number(p->Max).c_str(),
                  number(p->Default).c_str(), notes.c_str());
    std::string line = row;
    line.erase(line.find_last_not_of(' ') + 1);
    std::printf("%s\n", line.c_str());
  }
  printPorts("other ports",
             {TKind::AtomIn, TKind::AtomOut, TKind::CvIn, TKind::CvOut, TKind::Other});
}

void InfoClap(const THostedClap& fx) {
  const clap::plugin_descriptor& d = fx.Descriptor();
  auto text = [](const char* s) { return s ? s : ""; };
  std::printf("plug-in          %s (CLAP %u.%u.%u)\n", fx.Path().c_str(), d.clap_version.major,
              d.clap_version.minor, d.clap_version.revision);
  std::printf("id               %s\n", text(d.id));
  std::printf("name             %s\n", text(d.name));
  std::printf("vendor           %s\n", text(d.vendor));
  std::printf("version          %s\n", text(d.version_text));
  std::printf("description      %s\n", text(d.description));
  std::string features;
  for (const char* const* f = d.features; f && *f; ++f)
    features += (features.empty() ? "" : ", ") + std::string(*f);
  std::printf("features         %s\n", features.c_str());
  std::printf("audio            %d in, %d out (main ports)\n", fx.NumInputs(), fx.NumOutputs());
  std::printf("note ports       %s\n", fx.NotePorts().c_str());
  std::printf("latency          %u\n", fx.Latency());
  std::string extensions;
  for (const char* e :
       {clap::kExtAudioPorts, clap::kExtNotePorts, clap::kExtParams, clap::kExtState,
        clap::kExtLatency, clap::kExtGui, clap::kExtTimerSupport, clap::kExtPosixFdSupport})
    if (fx.Offers(e)) extensions += (extensions.empty() ? "" : ", ") + std::string(e);
  std::printf("extensions       %s\n", extensions.c_str());
  const auto& params = fx.Params();
  std::printf("parameters       %zu\n", params.size());
  size_t nameWidth = 4;
  for (const auto& p : params)
    nameWidth = std::max(nameWidth, p.Name.size());
  if (!params.empty())
    std::printf("  %-3s %-10s  %-*s  %-8s  %-8s  %-8s  %-8s  %s\n", "#", "id",
                static_cast<int>(nameWidth), "name", "min", "max", "default", "value", "text");
  for (size_t i = 0; i < params.size(); ++i) {
    const auto& p = params[i];
    const double v = fx.Value(p);
    std::printf("  %-3zu %-10u  %-*s  %-8g  %-8g  %-8g  %-8g  %s%s\n", i, p.Id,
                static_cast<int>(nameWidth), p.Name.c_str(), p.Min, p.Max, p.Default, v,
                fx.Text(p, v).c_str(), (p.Flags & clap::kParamIsStepped) ? "  (stepped)" : "");
  }
}

void InfoVst3(const THostedVst3& fx) {
  std::printf("plug-in          %s (VST 3 bundle)\n", fx.Path().c_str());
  std::printf("vendor           %s\n", fx.Vendor().c_str());
  for (const vst3::PClassInfo& c : fx.Classes()) {
    std::string id;
    char hex[3];
    for (char b : c.cid) {
      std::snprintf(hex, sizeof(hex), "%02X", static_cast<unsigned char>(b));
      id += hex;
    }
    std::printf("class            %s, %s, %s\n", c.name, c.category, id.c_str());
  }
  for (const std::string& bus : fx.Buses())
    std::printf("bus              %s\n", bus.c_str());
  std::printf("parameters       %zu\n", fx.Parameters().size());
  for (const THostedVst3::TParameter& p : fx.Parameters()) {
    std::string flags;
    if (p.Flags & vst3::kCanAutomate) flags += " automatable";
    if (p.Flags & vst3::kIsBypass) flags += " bypass";
    if (p.Flags & vst3::kIsProgramChange) flags += " program-change";
    std::printf("  %2u %-14s units '%s', steps %d, default %s (%g),%s\n", p.Id, p.Title.c_str(),
                p.Units.c_str(), p.StepCount, fx.ValueText(p.Id, p.Default).c_str(), p.Default,
                flags.c_str());
  }
}

} // namespace

int RunInfo(const std::vector<std::string>& args) {
  TArguments a(args, {});
  a.ExpectPositional(1, 1, "info PLUGIN");
  const std::string& argument = a.Positional()[0];
  if (FormatOf(argument) == TPluginFormat::Clap) {
    InfoClap(THostedClap(argument));
    return 0;
  }
  if (FormatOf(argument) == TPluginFormat::Vst3) {
    InfoVst3(THostedVst3(argument));
    return 0;
  }
  if (FormatOf(argument) != TPluginFormat::Vst2) {
    InfoLv2(THostedLv2(argument, FormatOf(argument) == TPluginFormat::Lv2Bundle));
    return 0;
  }
  THostedEffect fx(argument);
  AEffect& r = fx.Record();

  std::printf("plug-in          %s (entry %s)\n", fx.Path().c_str(), fx.EntryName());
  std::printf("effect name      %s\n", fx.EffectName().c_str());
  std::printf("product          %s\n", fx.ProductString().c_str());
  std::printf("vendor           %s\n", fx.VendorString().c_str());
  std::printf("vendor version   %ld\n", static_cast<long>(fx.Dispatch(effGetVendorVersion)));
  std::printf("unique id        '%s' (0x%08X)\n", FourCharText(r.uniqueID).c_str(),
              static_cast<unsigned>(r.uniqueID));
  std::printf("version          %d\n", r.version);
  std::printf("interface        %ld\n", static_cast<long>(fx.Dispatch(effGetVstVersion)));
  std::printf("category         %ld\n", static_cast<long>(fx.Dispatch(effGetPlugCategory)));
  std::string flags;
  for (const auto& f : kFlagNames)
    if (r.flags & f.Flag) flags += (flags.empty() ? "" : ", ") + std::string(f.Name);
  std::printf("flags            0x%X%s%s\n", static_cast<unsigned>(r.flags),
              flags.empty() ? "" : ": ", flags.c_str());
  std::printf("initial delay    %d\n", r.initialDelay);
  std::printf("tail size        %ld\n", static_cast<long>(fx.Dispatch(effGetTailSize)));

  std::printf("inputs           %d\n", r.numInputs);
  for (int i = 0; i < r.numInputs; ++i)
    std::printf("  %-3d %s\n", i, PinText(fx, effGetInputProperties, i).c_str());
  std::printf("outputs          %d\n", r.numOutputs);
  for (int i = 0; i < r.numOutputs; ++i)
    std::printf("  %-3d %s\n", i, PinText(fx, effGetOutputProperties, i).c_str());

  const long current = static_cast<long>(fx.Dispatch(effGetProgram));
  std::printf("programs         %d (current %ld)\n", r.numPrograms, current);
  for (int i = 0; i < r.numPrograms; ++i)
    std::printf("  %-3d \"%s\"\n", i, fx.ProgramName(i).c_str());

  std::printf("parameters       %d\n", r.numParams);
  size_t nameWidth = 4;
  std::vector<std::string> names;
  for (int i = 0; i < r.numParams; ++i) {
    names.push_back(fx.ParamName(i));
    nameWidth = std::max(nameWidth, names.back().size());
  }
  if (r.numParams > 0)
    std::printf("  %-3s %-*s  %-10s  %-10s  %s\n", "#", static_cast<int>(nameWidth), "name",
                "normalised", "display", "label");
  for (int i = 0; i < r.numParams; ++i)
    std::printf("  %-3d %-*s  %-10.7g  %-10s  %s\n", i, static_cast<int>(nameWidth),
                names[static_cast<size_t>(i)].c_str(), static_cast<double>(fx.GetParameter(i)),
                fx.ParamDisplay(i).c_str(), fx.ParamLabel(i).c_str());

  std::printf("canDo\n");
  for (const char* capability : kPlugCanDoStrings)
    std::printf("  %-22s %s\n", capability, CanDoText(fx.CanDo(capability)));
  return 0;
}

} // namespace qlhost
