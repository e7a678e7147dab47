// One plug-in instance loaded from a library and driven through its effect record, the way a
// host does: the exported entry, the dispatcher, the parameter entries and the processing
// entries. Nothing here knows which plug-in it hosts.
#pragma once

#include "HostedPlugin.h"
#include "vst2/interface/DAEffectX.h"

#include <string>
#include <vector>

namespace qlhost {

class THostedEffect final : public THostedPlugin {
public:
  // Loads the library, calls its entry (VSTPluginMain, else main) and opens the effect.
  // Throws TToolError with a one-line reason when any of that fails.
  explicit THostedEffect(const std::string& path);
  ~THostedEffect() override;
  THostedEffect(const THostedEffect&) = delete;
  THostedEffect& operator=(const THostedEffect&) = delete;

  AEffect& Record() { return *FEffect; }
  const std::string& Path() const override { return FPath; }
  const char* EntryName() const { return FEntryName; }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  int NumParams() const { return FEffect->numParams; }
  int NumPrograms() override { return FEffect->numPrograms; }
  int NumInputs() const override { return FEffect->numInputs; }
  int NumOutputs() const override { return FEffect->numOutputs; }
  void SelectProgram(int index) override { Dispatch(effSetProgram, 0, index); }
  // By parameter name or index, in display units or normalised (SettingParser.h).
  void ApplySetting(std::string_view text) override;

  std::string ParamName(int index);
  std::string ParamLabel(int index);
  std::string ParamDisplay(int index);
  float GetParameter(int index);
  void SetParameter(int index, float value);

  // Text answers of the extended dispatcher; empty when the plug-in declines.
  std::string EffectName();
  std::string VendorString();
  std::string ProductString();
  // Program name by index without switching programs; falls back to the current program's
  // name for plug-ins that decline the indexed query.
  std::string ProgramName(int index);
  std::string CurrentProgramName();
  VstIntPtr CanDo(const char* capability);

  // Sample rate and block size, also what the host callback answers when asked.
  void SetSampleRate(float rate) override;
  void SetBlockSize(int frames) override;
  void Resume();
  void Suspend();
  void StartProcess();
  void StopProcess();
  // Resume and StartProcess; StopProcess and Suspend.
  void Start() override;
  void Stop() override;

  // Replaces `outputs` with the processed block; uses the accumulating entry on zeroed outputs
  // for plug-ins without the replacing entry.
  void Process(float** inputs, float** outputs, int frames) override;

private:
  std::string TextOf(VstInt32 opcode, VstInt32 index, size_t capacity);

  std::string FPath;
  void* FLibrary = nullptr;
  AEffect* FEffect = nullptr;
  const char* FEntryName = "";
  bool FResumed = false;
  bool FProcessing = false;
};

} // namespace qlhost
