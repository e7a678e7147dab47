// The effect's editor window: a fixed-size skinned form showing the modulator's signal flow,
// with two numbers the user presses or drags (oversampling ratio, word length), two blocks the
// user clicks (dither, error feedback), a hint line, a header, a credit line and the logo.
//
// The window knows the effect only through the narrow view of EditorView.h, handed to it by
// the posted link message; until that arrives every gesture changes the display alone. Each
// press on a number begins a gesture that its release ends; each click on a block is a gesture
// of its own. A 100 ms timer pulses the logo and, once linked, reads the parameters back
// whenever the view says something changed.
#pragma once

#include "editor/EditorDrive.h"
#include "editor/EditorView.h"
#include "platform/Controls.h"
#include "skin/DIBControls.h"
#include "skin/DIBImageList.h"

#include <cstdint>
#include <memory>

// The window's fixed client size, which formats that ask for the size before the window exists
// report.
inline constexpr int kEditorClientWidth = 1001;
inline constexpr int kEditorClientHeight = 579;

// The message that hands the window its view of the effect (wParam: the TEditorView*).
constexpr uint32_t WM_SETEFFECT = 1985;

class TPluginEditorWindow : public TForm {
public:
  // Builds every control as a child window of `parentWindow` in `backend`. Without a window
  // (the backend refused the parent) the form exists but HandleAllocated() is false.
  TPluginEditorWindow(TNativeHandle parentWindow, TPlatformBackend& backend);
  ~TPluginEditorWindow() override;

  // Posts the link message that hands the window `view`; the window takes it on a later pump.
  void Link(TEditorView* view);
  // Serves the window's events, posted messages and due timers for hosts that drive the
  // editor from their own idle calls.
  void Idle();
  // Carries out a request of EditorDrive.h other than edcUseHeadless on this window, which must
  // live in the headless backend; false otherwise.
  bool Drive(TEditorDrive& drive);
  // The file descriptor that becomes readable when the window system has events for the window,
  // for hosts that watch descriptors and call Idle() then; -1 where there is none.
  int EventDescriptor() const;

  TEditorView* Effect() const { return FEffect; }

  // Components, in the order the form owns them.
  TTimer* Updater = nullptr;
  TDIBImageList* DIBImageList = nullptr;
  TDIBImageContainer* DIBBG = nullptr;
  TDIBImage* DIB_SignalPath = nullptr;
  TDIBImage* DIB_Error = nullptr;
  TDIBImage* DIB_Dither = nullptr;
  TDIBSettings* DIBSettings = nullptr;
  TLabel* Lb_Trunc = nullptr;
  TLabel* Lb_OSR = nullptr;
  TLabel* Lb_Hint = nullptr;
  TLabel* Lb_About = nullptr;
  TLabel* LbHeader = nullptr;
  TDIBImage* OrvaneLogo = nullptr;

  // Handlers, as the controls' events call them.
  void WMSetEffect(TMessage& message);
  void UpdaterTimer(TObject* sender);
  void LbOSRMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void LbTruncMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void LbOSRMouseMove(TObject* sender, TShiftState shift, int x, int y);
  // A number's gesture ends with the release of the last button held, or with its drag's end
  // without one.
  void NumberMouseUp(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void NumberCancelMode(TObject* sender);
  void LbTruncMouseMove(TObject* sender, TShiftState shift, int x, int y);
  void DIB_DitherClick(TObject* sender);
  void DIB_ErrorClick(TObject* sender);
  void OrvaneLogoMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void DIB_SignalPathMouseMove(TObject* sender, TShiftState shift, int x, int y);
  void DIB_DitherMouseMove(TObject* sender, TShiftState shift, int x, int y);
  void DIB_ErrorMouseMove(TObject* sender, TShiftState shift, int x, int y);
  void Lb_AboutMouseMove(TObject* sender, TShiftState shift, int x, int y);
  void DIBBGMouseMove(TObject* sender, TShiftState shift, int x, int y);

protected:
  void WndProc(TMessage& message) override;

private:
  void CreateControls();
  void LoadArtwork();
  // The shared steps of a press or drag on a number label: limit, remember the position, show
  // and write the number.
  void StepNumber(TLabel& label, int delta, int y, int32_t index);
  void ToggleSwitch(TDIBImage& image, int32_t index);
  // The gesture on `index`, begun unless it is the one under way (which ends first otherwise).
  void HoldGesture(int32_t index);
  // Ends the gesture under way, if any.
  void ReleaseGesture();
  // The hint of `control` on the hint line, where it has one.
  void ShowHintOf(const TControl& control);
  TMouseEvent MouseDownEvent(void (TPluginEditorWindow::*handler)(TObject*, TMouseButton,
                                                                  TShiftState, int, int));
  TMouseMoveEvent MouseMoveEvent(void (TPluginEditorWindow::*handler)(TObject*, TShiftState, int,
                                                                      int));
  // Brings the display in line with the effect; `whole` also for numbers whose Tag already
  // equals the value.
  void Refresh(bool whole);
  void RefreshNumber(TLabel& label, int32_t index, bool whole);
  void RefreshSwitch(TDIBImage& image, int32_t index);

  TEditorView* FEffect = nullptr; // not owned
  int32_t FGesture = -1;          // the parameter of the gesture under way, or -1
  int32_t FLastY = 0;
  bool FUpdating = false;
  bool FLogoFalling = false; // the logo's pulse direction
};

// The window class of the effect: creates the editor window as a child of parentWindow (the
// host's native window handle), or null when no window can be made there (no display, an
// unusable handle, artwork that does not load). With `headless` the window lives in the
// headless window backend, where tools and tests render and drive it without a display.
// Never throws.
std::unique_ptr<TPluginEditorWindow> CreatePluginEditorWindow(void* parentWindow, bool headless);
