// The effect as a VST 2 plug-in: the core's stereo noise-shaping quantiser loop with its five
// parameters, two programs and MIDI note echo, built on the plug-in template.
#pragma once

#include "core/uProcessing.h"
#include "editor/EditorView.h"
#include "vst2/template/DVstTemplate.h"

class TPluginEditorWindow;

// The effect is also the editor's view of itself: the window reads and writes the parameters
// in real units and takes the template's change flag.
class APlugin : public TVstTemplate, public TEditorView {
public:
  explicit APlugin(audioMasterCallback audioMaster);
  // Closes an open editor window while the effect is still whole: the window ends a gesture
  // under way through the effect.
  ~APlugin() override;

  void resume() override;
  // The value as the core writes every format's texts, with the regional decimal separator.
  void getParameterDisplay(VstInt32 index, char* text) override;
  // Requests of tools and tests that drive the editor without a display (editor/EditorDrive.h).
  VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

  // TEditorView. A gesture is the host's edit of the parameter: audioMasterBeginEdit before
  // its first audioMasterAutomate, audioMasterEndEdit after its last.
  float ParameterReal(int32_t index) override { return GetParameterReal(index); }
  void BeginGesture(int32_t index) override { beginEdit(index); }
  void SetParameterByGesture(int32_t index, float real) override { SetParameterReal(index, real); }
  void EndGesture(int32_t index) override { endEdit(index); }
  bool TakeUpdate() override {
    return NeedsEditorUpdate.exchange(false, std::memory_order_acq_rel);
  }
  // The editor window while one is open, else null.
  TPluginEditorWindow* EditorWindow() const;

  void InitializeParameters() override;
  void ProcessAudio(const float* const* inputs, float* const* outputs,
                    int32_t sampleFrames) override;
  void ProcessMidiEvent(const VstMidiEvent& event) override;

  // The values a block starts with now, from one read of the stored values: the selected
  // program once, then each value once. Nothing else keeps them, so no writer, host or editor,
  // can leave a block with parts of two settings.
  TParameterValues BlockValues();

  // The core's processing, touched only by the audio thread. The error-feedback memories carry
  // on across suspend and resume: a VST 2 host asks for no reset.
  TEffectProcessor FProcessor;
};

// What the library's entry does: asks the host for its interface version, creates one effect
// and answers its record; null for a host answering version 0, or when creation fails.
// Never throws.
AEffect* CreateQuantaloop(audioMasterCallback audioMaster) noexcept;
