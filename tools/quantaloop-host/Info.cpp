// The info command: everything a host learns from a plug-in without processing audio.

#include "Commands.h"
#include "HostedEffect.h"

#include <algorithm>
#include <cstdio>
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

} // namespace

int RunInfo(const std::vector<std::string>& args) {
  TArguments a(args, {});
  a.ExpectPositional(1, 1, "info PLUGIN");
  THostedEffect fx(a.Positional()[0]);
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
