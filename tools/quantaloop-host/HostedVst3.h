// One VST 3 plug-in from a bundle, driven as a host does through the interface's own calls: the
// bundle's library for this platform loaded, its audio effect class made, initialised and set
// up for stereo 32-bit blocks. Settings reach the processing as parameter changes of the next
// block (at their offsets for changes inside a block) and the controller as the host's edits.
// Nothing here knows which plug-in it hosts.
#pragma once

#include "HostedPlugin.h"
#include "vst3/host/Vst3Host.h"

#include <memory>
#include <string>
#include <vector>

namespace qlhost {

class THostedVst3 final : public THostedPlugin {
public:
  struct TParameter {
    vst3::ParamID Id;
    std::string Title, Units;
    int StepCount;
    double Default;
    int Flags;
  };

  // Throws TToolError with a one-line reason.
  explicit THostedVst3(const std::string& bundle);
  ~THostedVst3() override;

  const std::string& Path() const override { return FPath; }
  int NumInputs() const override { return 2; }
  int NumOutputs() const override { return 2; }
  int NumPrograms() override { return 0; }
  void SelectProgram(int) override;
  // NAME is a parameter's title (exact, else ignoring case) or its index; VALUE a number as the
  // plug-in reads its own texts, or @ and a normalised value.
  void ApplySetting(std::string_view text) override { ApplySettingAt(0, text); }
  bool ChangesInsideBlocks() const override { return true; }
  void ApplySettingAt(int offset, std::string_view text) override;
  void SetSampleRate(float rate) override { FRate = rate; }
  void SetBlockSize(int frames) override { FBlock = frames; }
  void Start() override;
  void Process(float** inputs, float** outputs, int frames) override;
  void Stop() override;

  // What the factory and the instance tell.
  std::string Vendor() const;
  std::vector<vst3::PClassInfo> Classes() const;
  std::vector<std::string> Buses() const;
  const std::vector<TParameter>& Parameters() const { return FParameters; }
  std::string ValueText(vst3::ParamID id, double normalized) const;

private:
  std::string FPath;
  std::unique_ptr<vst3host::TModule> FModule;
  std::unique_ptr<vst3host::TInstance> FInstance;
  std::vector<TParameter> FParameters;
  vst3host::TParamChanges FPending;
  float FRate = 44100.0f;
  int FBlock = 512;
  bool FStarted = false;
};

} // namespace qlhost
