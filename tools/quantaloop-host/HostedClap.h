// One CLAP plug-in loaded from its file and driven as a host does: the exported entry record,
// the plug-in factory's first plug-in, the parameters extension for settings (handed over
// through flush before activation) and processing of blocks on the main audio port pair. This
// host offers no host extensions: it renders files, with no window and no other threads.
// Nothing here knows which plug-in it hosts.
#pragma once

#include "HostedPlugin.h"
#include "clap/ClapInterface.h"

#include <string>
#include <vector>

namespace qlhost {

class THostedClap final : public THostedPlugin {
public:
  struct TParam {
    clap::id Id;
    std::string Name;
    double Min, Max, Default;
    uint32_t Flags;
  };

  // Loads the file, initialises its entry and makes and initialises the first plug-in of its
  // factory. Throws TToolError with a one-line reason when any of that fails.
  explicit THostedClap(const std::string& path);
  ~THostedClap() override;
  THostedClap(const THostedClap&) = delete;
  THostedClap& operator=(const THostedClap&) = delete;

  const std::string& Path() const override { return FPath; }
  int NumInputs() const override { return FInputs; }
  int NumOutputs() const override { return FOutputs; }
  // CLAP has no programs.
  int NumPrograms() override { return 0; }
  void SelectProgram(int index) override;
  // By parameter name (exact, else ignoring case) or index; VALUE in the parameter's own units
  // within its range, a text the plug-in parses, or @0..1 across the range.
  void ApplySetting(std::string_view text) override;
  void SetSampleRate(float rate) override { FSampleRate = rate; }
  void SetBlockSize(int frames) override { FBlockSize = frames; }
  // Hands the settings over through flush, then activates and starts processing.
  void Start() override;
  void Process(float** inputs, float** outputs, int frames) override;
  void Stop() override;

  const clap::plugin_descriptor& Descriptor() const { return *FPlugin->desc; }
  const std::vector<TParam>& Params() const { return FParams; }
  // The parameter's value now and its text, as the plug-in tells them.
  double Value(const TParam& p) const;
  std::string Text(const TParam& p, double value) const;
  // Whether the plug-in offers the extension.
  bool Offers(const char* extension) const;
  uint32_t Latency() const;
  // "N in, M out, dialects" of the note ports.
  std::string NotePorts() const;

private:
  struct TPending {
    clap::id Id;
    double Value;
  };

  std::string FPath;
  void* FLibrary = nullptr;
  const clap::plugin_entry* FEntry = nullptr;
  bool FEntryReady = false;
  const clap::plugin* FPlugin = nullptr;
  const clap::plugin_params* FParamsExt = nullptr;
  clap::host FHost{};
  std::vector<TParam> FParams;
  std::vector<TPending> FPending;
  int FInputs = 0, FOutputs = 0;
  float FSampleRate = 44100.0f;
  int FBlockSize = 512;
  bool FActive = false, FProcessing = false;
  std::vector<float*> FIn, FOut;
};

} // namespace qlhost
