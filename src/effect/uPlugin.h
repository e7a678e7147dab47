// The effect: a stereo noise-shaping quantiser loop with five parameters, two programs and a
// MIDI note echo, built on the plug-in template.
#pragma once

#include "effect/uModulator.h"
#include "effect/uParameters.h"
#include "template/DVstTemplate.h"

#include <atomic>

class APlugin : public TVstTemplate {
public:
  explicit APlugin(audioMasterCallback audioMaster);
  ~APlugin() override = default;

  // Every stored value, from the host, a program switch or SetParameterReal, brings the
  // coefficients into line with the stored parameters.
  void setParameter(VstInt32 index, float value) override;
  void resume() override;
  // Requests of tools and tests that drive the editor without a display (editor/EditorDrive.h).
  VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

  void InitializeParameters() override;
  void ProcessAudio(const float* const* inputs, float* const* outputs,
                    int32_t sampleFrames) override;
  void ProcessMidiEvent(const VstMidiEvent& event) override;

  // Handler of OnParameterChange (editor writes).
  void ParameterChanged(int32_t index, float value);

  // Coefficients, written by whichever thread stores a parameter, read once per block.
  std::atomic<double> FLevels{0.0};
  std::atomic<double> FInvLevels{0.0};
  std::atomic<double> FGain{0.0};
  std::atomic<double> FDitherAmount{0.0};

  // Modulator state, touched only by processing.
  TModulatorState FState{};
  double (&FQuantizerIn)[2] = FState.QuantizerIn;
  double (&FQuantizerOut)[2] = FState.QuantizerOut;
  double (&FError)[2] = FState.Error;
  double (&FSum)[2] = FState.Sum;

private:
  void UpdateCoefficients();
};

// What the library's entry does: asks the host for its interface version, creates one effect
// and answers its record; null for a host answering version 0, or when creation fails.
// Never throws.
AEffect* CreateQuantaloop(audioMasterCallback audioMaster) noexcept;
