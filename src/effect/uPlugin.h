// The effect: a stereo noise-shaping quantiser loop with five parameters, two programs and a
// MIDI note echo, built on the plug-in template.
#pragma once

#include "editor/EditorView.h"
#include "effect/uProcessing.h"
#include "template/DVstTemplate.h"

class TPluginEditorWindow;

// The effect is also the editor's view of itself: the window reads and writes the parameters
// in real units and takes the template's change flag.
class APlugin : public TVstTemplate, public TEditorView {
public:
  explicit APlugin(audioMasterCallback audioMaster);
  ~APlugin() override = default;

  void resume() override;
  // Requests of tools and tests that drive the editor without a display (editor/EditorDrive.h).
  VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

  // TEditorView.
  float ParameterReal(int32_t index) override { return GetParameterReal(index); }
  void SetParameterByGesture(int32_t index, float real) override { SetParameterReal(index, real); }
  bool TakeUpdate() override {
    return NeedsEditorUpdate.exchange(false, std::memory_order_acq_rel);
  }
  // The editor window while one is open, else null.
  TPluginEditorWindow* EditorWindow() const;

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
};

// What the library's entry does: asks the host for its interface version, creates one effect
// and answers its record; null for a host answering version 0, or when creation fails.
// Never throws.
AEffect* CreateQuantaloop(audioMasterCallback audioMaster) noexcept;
