#include "vst2/plugin/uPlugin.h"

#include "core/uIdentity.h"
#include "core/uPrograms.h"
#include "core/uValueText.h"
#include "editor/uEditor.h"
#include "platform/Regional.h"

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
    : TVstTemplate(audioMaster, kProgramCount, ppCount, CreateEditorForm) {
  CanDos = SetOf<TVstCanDos, TVstCanDo>({vcdSendVstEvents, vcdSendVstMidiEvent, vcdReceiveVstEvents,
                                         vcdReceiveVstMidiEvent, vcdPlugAsChannelInsert});
  // The counts reach the record and the host when the template applies the configuration.
  InputCount = 2;
  OutputCount = 2;
  UniqueIdText = kVst2UniqueId;
  EffectName = kPluginName;
  ProductName = kPluginName;
  VendorName = kVendorName;
  VendorVersion = kVst2VendorVersion;
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
  // The programs as the core spells them out. The selected one, the first, is written through
  // the host as the values it starts with; the others are stored as they are.
  for (int32_t p = 0; p < kProgramCount; ++p) {
    std::snprintf(Programs[p]->Name, sizeof(Programs[p]->Name), "%s", kPrograms[p].Name);
    if (p == CurrentProgram()) continue;
    for (int32_t i = 0; i < ppCount; ++i)
      Programs[p]->Values[i].store(ProgramReal(p, i) / kParameters[i].Max,
                                   std::memory_order_relaxed);
  }
  for (int32_t i = 0; i < ppCount; ++i)
    SetParameterReal(i, kPrograms[CurrentProgram()].Values[i]);
}

APlugin::~APlugin() {
  if (TVstTemplateEditor* editor = Editor()) editor->Form.reset();
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

void APlugin::getParameterDisplay(VstInt32 index, char* text) {
  if (index < 0 || index >= ppCount) {
    TVstTemplate::getParameterDisplay(index, text);
    return;
  }
  ParameterText(index, GetParameterReal(index), DecimalSeparator(), text, kVstMaxParamStrLen + 1);
}

void APlugin::resume() {
  // The error-feedback memories carry on across suspend and resume; no request of the host.
}

void APlugin::ProcessAudio(const float* const* inputs, float* const* outputs,
                           int32_t sampleFrames) {
  if (sampleFrames <= 0) return;
  // The host hands the notes over before the block, where they are echoed (ProcessMidiEvent).
  FProcessor.Process(BlockValues(), {inputs, outputs, sampleFrames}, {}, nullptr);
}

TParameterValues APlugin::BlockValues() {
  TParameterValues values;
  GetParametersReal(values.Real, ppCount);
  return values;
}

namespace {
// The echoes go into the template's queue of outgoing notes, handed over after the block.
class TQueueSink final : public TNoteSink {
public:
  explicit TQueueSink(TVstTemplate& effect) : Effect(effect) {}
  void Send(const TNoteMessage& echo) override {
    const uint8_t channel = echo.Data[0] & 0x0F;
    if ((echo.Data[0] & 0xF0) == 0x90)
      Effect.QueueNoteOn(channel, echo.Data[1], echo.Data[2], echo.Frame);
    else
      Effect.QueueNoteOff(channel, echo.Data[1], echo.Data[2], echo.Frame);
  }
  TVstTemplate& Effect;
};
} // namespace

void APlugin::ProcessMidiEvent(const VstMidiEvent& event) {
  const TNoteMessage message{event.deltaFrames,
                             {static_cast<uint8_t>(event.midiData[0]),
                              static_cast<uint8_t>(event.midiData[1]),
                              static_cast<uint8_t>(event.midiData[2])}};
  TQueueSink queue(*this);
  TEffectProcessor::EchoNotes({&message, 1}, queue);
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
