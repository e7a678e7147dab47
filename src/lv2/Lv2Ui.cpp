// The effect's editor as an LV2 user interface: the same window as the VST 2 build's, embedded in
// the host's X11 window (ui:parent) and served from the host's idle calls. The window sees the
// effect through a view that keeps the control values it last saw: the host reports the
// plug-in's values through port_event, the user's gestures go out through the host's write
// function and into the view at once, since hosts do not echo a UI's own writes back. A host that
// offers ui:touch hears when the user takes hold of a control and lets go of it.
//
// Everything here runs on the host's UI thread.

#include "core/uPrograms.h"
#include "editor/uEditor.h"
#include "lv2/Lv2Description.h"

#include <lv2/ui/ui.h>

#include <cstring>
#include <memory>
#include <utility>

namespace {

using namespace lv2q;

class TLv2EditorView final : public TEditorView {
public:
  TLv2EditorView(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch)
      : FWrite(write), FController(controller), FTouch(touch ? *touch : LV2UI_Touch{}) {
    for (int32_t i = 0; i < ppCount; ++i)
      FValues[i] = DefaultReal(i);
  }

  float ParameterReal(int32_t index) override { return FValues[index]; }
  void BeginGesture(int32_t index) override { Touch(index, true); }
  void EndGesture(int32_t index) override { Touch(index, false); }
  void SetParameterByGesture(int32_t index, float real) override {
    FValues[index] = LimitReal(index, real);
    FWrite(FController, ControlPortOf(index), sizeof(float), 0, &FValues[index]);
    FUpdate = true;
  }
  bool TakeUpdate() override { return std::exchange(FUpdate, false); }

  // A value the host reports for a control port.
  void PortValue(int32_t index, float real) {
    FValues[index] = LimitReal(index, real);
    FUpdate = true;
  }

private:
  void Touch(int32_t index, bool grabbed) {
    if (FTouch.touch) FTouch.touch(FTouch.handle, ControlPortOf(index), grabbed);
  }

  LV2UI_Write_Function FWrite;
  LV2UI_Controller FController;
  // A copy: a host need not keep the feature's data once the UI is made. No function when the
  // host offers no ui:touch.
  LV2UI_Touch FTouch;
  float FValues[ppCount];
  bool FUpdate = true;
};

// The window goes before the view it ends its gestures through.
struct TUi {
  TUi(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch)
      : View(write, controller, touch) {}
  TLv2EditorView View;
  std::unique_ptr<TPluginEditorWindow> Window;
};

const void* Feature(const LV2_Feature* const* features, const char* uri) {
  for (const LV2_Feature* const* f = features; f && *f; ++f)
    if (std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
  return nullptr;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  try {
    // The window lives only inside the host's: without a parent there is no editor.
    void* parent = const_cast<void*>(Feature(features, LV2_UI__parent));
    if (!parent || !write || !widget || !pluginUri || std::strcmp(pluginUri, kPluginUri) != 0)
      return nullptr;
    auto ui = std::make_unique<TUi>(
        write, controller, static_cast<const LV2UI_Touch*>(Feature(features, LV2_UI__touch)));
    ui->Window = CreatePluginEditorWindow(parent, false);
    if (!ui->Window) return nullptr;
    TPluginEditorWindow& w = *ui->Window;
    w.SetBounds(0, 0, w.ClientWidth(), w.ClientHeight());
    w.Link(&ui->View);
    if (auto* resize = static_cast<const LV2UI_Resize*>(Feature(features, LV2_UI__resize)))
      resize->ui_resize(resize->handle, w.ClientWidth(), w.ClientHeight());
    *widget = reinterpret_cast<LV2UI_Widget>(w.NativeHandle());
    return ui.release();
  } catch (...) {
    return nullptr;
  }
}

void Cleanup(LV2UI_Handle handle) {
  delete static_cast<TUi*>(handle);
}

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
  auto* ui = static_cast<TUi*>(handle);
  if (format != 0 || size != sizeof(float) || !buffer || port >= kPortCount ||
      kPorts[port].Kind != TPortKind::Control)
    return;
  float value;
  std::memcpy(&value, buffer, sizeof(value));
  ui->View.PortValue(kPorts[port].Parameter, value);
}

int Idle(LV2UI_Handle handle) {
  static_cast<TUi*>(handle)->Window->Idle();
  return 0;
}

const LV2UI_Idle_Interface kIdle = {Idle};

const void* ExtensionData(const char* uri) {
  return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdle : nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, Instantiate, Cleanup, PortEvent, ExtensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
