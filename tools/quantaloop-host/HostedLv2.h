// One LV2 plug-in found through lilv and driven as a host does: its description read from the
// bundle's files, an instance made with the sample rate, every port connected (control inputs
// to values that start at their defaults, atom ports to an empty input sequence and an output
// buffer, audio ports to the blocks given), then activate, run and deactivate. Nothing here
// knows which plug-in it hosts.
#pragma once

#include "HostedPlugin.h"

#include <lilv/lilv.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qlhost {

class THostedLv2 final : public THostedPlugin {
public:
  // Other: a port of a kind this host does not know, which the plug-in lets stay unconnected.
  enum class TPortKind {
    AudioIn,
    AudioOut,
    ControlIn,
    ControlOut,
    AtomIn,
    AtomOut,
    CvIn,
    CvOut,
    Other
  };

  struct TScalePoint {
    float Value;
    std::string Label;
  };

  struct TPort {
    uint32_t Index = 0;
    TPortKind Kind = TPortKind::Other;
    std::string Symbol;
    std::string Name;
    // Control ports: the range and default the description gives, NaN where it gives none.
    float Min = 0.0f, Max = 0.0f, Default = 0.0f;
    std::string Unit; // the unit's symbol, when the description names one
    bool Integer = false, Toggled = false, Optional = false;
    std::vector<TScalePoint> ScalePoints;
  };

  struct TPreset {
    std::string Uri;
    std::string Label;
  };

  // `argument` is a bundle folder (only that bundle is loaded) or a plug-in URI (looked up in
  // the folders of LV2_PATH, or lilv's default ones). Throws TToolError with a one-line reason.
  THostedLv2(const std::string& argument, bool isBundle);
  ~THostedLv2() override;
  THostedLv2(const THostedLv2&) = delete;
  THostedLv2& operator=(const THostedLv2&) = delete;

  const std::string& Path() const override { return FArgument; }
  int NumInputs() const override { return FAudioIn; }
  int NumOutputs() const override { return FAudioOut; }
  int NumPrograms() override { return static_cast<int>(FPresets.size()); }
  // Writes the control inputs the preset holds.
  void SelectProgram(int index) override;
  // By port name or symbol, in the port's own units (SettingParser.h).
  void ApplySetting(std::string_view text) override;
  void SetSampleRate(float rate) override { FSampleRate = rate; }
  void SetBlockSize(int frames) override { FBlockSize = frames; }
  // Instantiates the plug-in, connects its ports and activates it.
  void Start() override;
  void Process(float** inputs, float** outputs, int frames) override;
  void Stop() override;

  // What the description tells.
  std::string Uri() const;
  std::string Name() const;
  std::string ClassLabel() const;
  std::string Author() const;
  std::string BundlePath() const;
  std::string LibraryPath() const;
  std::vector<std::string> RequiredFeatures() const;
  std::vector<std::string> OptionalFeatures() const;
  const std::vector<TPort>& Ports() const { return FPorts; }
  const std::vector<TPreset>& Presets() const { return FPresets; }

  // The value a control input holds now, and writing it (no range check: see SettingParser).
  float ControlValue(uint32_t port) const { return FValues[port]; }
  void SetControlValue(uint32_t port, float value) { FValues[port] = value; }

private:
  static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri);
  static const char* Unmap(LV2_URID_Unmap_Handle handle, LV2_URID urid);
  static void SetPortFromPreset(const char* symbol, void* self, const void* value, uint32_t size,
                                uint32_t type);
  void ReadPorts();
  void ReadPresets();
  void ResetAtomBuffers();

  std::string FArgument;
  LilvWorld* FWorld = nullptr;
  const LilvPlugin* FPlugin = nullptr;
  LilvInstance* FInstance = nullptr;
  bool FActive = false;
  float FSampleRate = 44100.0f;
  int FBlockSize = 512;

  std::vector<TPort> FPorts; // in index order
  std::vector<TPreset> FPresets;
  int FAudioIn = 0, FAudioOut = 0;
  std::vector<uint32_t> FAudioInPorts, FAudioOutPorts;
  std::vector<float> FValues; // one per port: control inputs and outputs
  // Atom ports: 8-byte aligned storage, one buffer per port (empty for other kinds).
  std::vector<std::vector<uint64_t>> FAtoms;
  std::vector<std::vector<float>> FCv; // CV ports: zeros for inputs, scratch for outputs

  std::map<std::string, LV2_URID> FUrids;
  std::vector<std::string> FUris; // URID n is FUris[n - 1]
  LV2_URID_Map FMap{};
  LV2_URID_Unmap FUnmap{};
  LV2_Feature FMapFeature{}, FUnmapFeature{};
  LV2_URID FSequence = 0, FChunk = 0; // mapped once: the audio path looks nothing up
};

} // namespace qlhost
