#include "effect/uPlugin.h"

#include "editor/uEditor.h"

#include <cstdio>
#include <memory>

namespace {

// The editor window as the template's editor adapter opens, places, links and idles it.
class TPluginEditorForm final : public TEditorForm {
public:
  TPluginEditorForm(std::unique_ptr<TPluginEditorWindow> window, APlugin& effect)
      : Window(std::move(window)), Effect(effect) {}
  int ClientWidth() const override { return Window->ClientWidth(); }
  int ClientHeight() const override { return Window->ClientHeight(); }
  void SetBounds(int left, int top, int width, int height) override {
    Window->SetBounds(left, top, width, height);
  }
  void Link() override { Window->Link(&Effect); }
  void Idle() override { Window->Idle(); }

  std::unique_ptr<TPluginEditorWindow> Window;
  APlugin& Effect;
};

TEditorForm* CreateEditorForm(TVstTemplate& effect, void* parentWindow, bool headless) {
  std::unique_ptr<TPluginEditorWindow> window = CreatePluginEditorWindow(parentWindow, headless);
  if (!window) return nullptr;
  return new TPluginEditorForm(std::move(window), static_cast<APlugin&>(effect));
}

} // namespace

APlugin::APlugin(audioMasterCallback audioMaster)
    : TVstTemplate(audioMaster, 2, ppCount, CreateEditorForm) {
  CanDos = SetOf<TVstCanDos, TVstCanDo>({vcdSendVstEvents, vcdSendVstMidiEvent, vcdReceiveVstEvents,
                                         vcdReceiveVstMidiEvent, vcdPlugAsChannelInsert});
  // The counts reach the record and the host when the template applies the configuration.
  InputCount = 2;
  OutputCount = 2;
  UniqueIdText = "QtLp";
  EffectName = "Quantaloop";
  ProductName = "Quantaloop";
  VendorName = "Brennholt";
  VendorVersion = 1;
  EffectFlags = SetOf<TEffectFlags, TEffectFlag>({efCanMono, efCanReplacing});
  // No handler for OnParameterChange: every block derives its settings from the stored values.
}

void APlugin::InitializeParameters() {
  for (int32_t i = 0; i < ppCount; ++i) {
    TVstParameterProperty& p = *ParameterProperties[i];
    p.Min = 0.0f;
    p.Max = kParameters[i].Max;
    std::snprintf(p.Name, sizeof(p.Name), "%s", kParameters[i].Name);
    std::snprintf(p.Units, sizeof(p.Units), "%s", kParameters[i].Units);
    p.Curve = pcLinear;
    p.CurveFactor = 1.0f;
  }
  for (int32_t i = 0; i < ppCount; ++i)
    SetParameterReal(i, kParameters[i].Initial);
}

VstIntPtr APlugin::vendorSpecific(VstInt32 index, VstIntPtr /*value*/, void* ptr, float /*opt*/) {
  if (index != kEditorDriveIndex || !ptr || !Editor()) return 0;
  auto& drive = *static_cast<TEditorDrive*>(ptr);
  if (drive.Command == edcUseHeadless) {
    Editor()->Headless = drive.Value != 0;
    return 1;
  }
  TPluginEditorWindow* window = EditorWindow();
  return window && window->Drive(drive) ? 1 : 0;
}

TPluginEditorWindow* APlugin::EditorWindow() const {
  TVstTemplateEditor* editor = Editor();
  return editor && editor->Form ? static_cast<TPluginEditorForm*>(editor->Form.get())->Window.get()
                                : nullptr;
}

void APlugin::resume() {
  // The error-feedback memories carry on across suspend and resume; no request of the host.
}

void APlugin::ProcessAudio(const float* const* inputs, float* const* outputs,
                           int32_t sampleFrames) {
  if (sampleFrames <= 0) return;
  const TBlockSettings s = BlockSettings();
  ModulateBlock(inputs, outputs, sampleFrames, s.SubSamples, s.Feedback, s.Coefficients, FState);
}

TBlockSettings APlugin::BlockSettings() {
  float real[ppCount];
  GetParametersReal(real, ppCount);
  return BlockSettingsFor(real);
}

void APlugin::ProcessMidiEvent(const VstMidiEvent& event) {
  const uint8_t message[3] = {static_cast<uint8_t>(event.midiData[0]),
                              static_cast<uint8_t>(event.midiData[1]),
                              static_cast<uint8_t>(event.midiData[2])};
  TMidiNote echo;
  if (!NoteEchoOf(message, echo)) return;
  const uint8_t channel = echo.Status & 0x0F;
  if ((echo.Status & 0xF0) == 0x90)
    QueueNoteOn(channel, echo.Note, echo.Velocity, event.deltaFrames);
  else
    QueueNoteOff(channel, echo.Note, echo.Velocity, event.deltaFrames);
}

AEffect* CreateQuantaloop(audioMasterCallback audioMaster) noexcept {
  try {
    // Without a callback there is no host to ask; treat it like a host of version 0.
    if (!audioMaster) return nullptr;
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto plugin = std::make_unique<APlugin>(audioMaster);
    plugin->InitializeTemplate();
    return plugin.release()->getAeffect();
  } catch (...) {
    return nullptr;
  }
}
