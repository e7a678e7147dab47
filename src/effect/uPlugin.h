// The effect: a stereo noise-shaping quantiser loop with five parameters, two programs and a
// MIDI note echo, built on the plug-in template.
#pragma once

#include "effect/uProcessing.h"
#include "template/DVstTemplate.h"

class APlugin : public TVstTemplate {
public:
  explicit APlugin(audioMasterCallback audioMaster);
  ~APlugin() override = default;

  void resume() override;
  // Requests of tools and tests that drive the editor without a display (editor/EditorDrive.h).
  VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

  void InitializeParameters() override;
  void ProcessAudio(const float* const* inputs, float* const* outputs,
                    int32_t sampleFrames) override;
  void ProcessMidiEvent(const VstMidiEvent& event) override;

  // The settings a block starts with now: the sub-sample count, the error-feedback switch, the
  // quantiser's levels and their inverse, the dither amount and the output gain, all derived
  // from one read of the stored values. Nothing else keeps them, so no writer, host or editor,
  // can leave a block with parts of two settings.
  TBlockSettings BlockSettings();

  // Modulator state, touched only by processing.
  TModulatorState FState{};
  double (&FQuantizerIn)[2] = FState.QuantizerIn;
  double (&FQuantizerOut)[2] = FState.QuantizerOut;
  double (&FError)[2] = FState.Error;
  double (&FSum)[2] = FState.Sum;
};

// What the library's entry does: asks the host for its interface version, creates one effect
// and answers its record; null for a host answering version 0, or when creation fails.
// Never throws.
AEffect* CreateQuantaloop(audioMasterCallback audioMaster) noexcept;
