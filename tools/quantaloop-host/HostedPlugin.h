// What the process command needs of a plug-in, whatever its format: its audio pins, its
// programs, settings given as NAME=VALUE, and the processing of blocks. THostedEffect drives a
// VST 2 library through its effect record, THostedLv2 an LV2 plug-in through lilv, THostedClap a
// CLAP plug-in through its entry record.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qlhost {

class THostedPlugin {
public:
  virtual ~THostedPlugin() = default;

  // The plug-in as the user named it, for messages.
  virtual const std::string& Path() const = 0;
  virtual int NumInputs() const = 0;
  virtual int NumOutputs() const = 0;
  virtual int NumPrograms() = 0;
  // Switches to program `index` (0 to NumPrograms() - 1); an LV2 plug-in's presets count as its
  // programs, in the order info lists them.
  virtual void SelectProgram(int index) = 0;
  // Resolves and applies one NAME=VALUE (see SettingParser.h); throws TToolError with the
  // reason when it cannot.
  virtual void ApplySetting(std::string_view text) = 0;
  // Whether the plug-in takes settings inside a block, at a frame of it; ApplySettingAt then
  // applies one at `offset` of the next block. Plug-ins that do not have the block split there.
  virtual bool ChangesInsideBlocks() const { return false; }
  virtual void ApplySettingAt(int /*offset*/, std::string_view text) { ApplySetting(text); }

  // Before Start(): the sample rate and the longest block that Process() will be given.
  virtual void SetSampleRate(float rate) = 0;
  virtual void SetBlockSize(int frames) = 0;
  // Start() readies the plug-in for Process(); Stop() ends that.
  virtual void Start() = 0;
  // Writes `frames` frames of every output from the inputs; buffers are the plug-in's pins in
  // order, inputs and outputs never the same.
  virtual void Process(float** inputs, float** outputs, int frames) = 0;
  virtual void Stop() = 0;
};

// The format an argument names: a VST 3 bundle (a path ending in .vst3), an LV2 bundle (a folder
// ending in .lv2, or one that holds a manifest.ttl), an LV2 plug-in URI (it contains ':' and is
// no existing file), a CLAP plug-in (a file ending in .clap), else a VST 2 library.
enum class TPluginFormat { Vst2, Vst3, Lv2Bundle, Lv2Uri, Clap };
TPluginFormat FormatOf(const std::string& argument);

// Opens the plug-in an argument names, in the format FormatOf() tells. Throws TToolError with a
// one-line reason when that fails.
std::unique_ptr<THostedPlugin> OpenPlugin(const std::string& argument);

} // namespace qlhost
