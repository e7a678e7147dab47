#include "editor/uEditor.h"

#include "core/uParameters.h"
#include "editor/Artwork.h"
#include "platform/HeadlessBackend.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <utility>

namespace {

// The stored layout: every control the form builds, in stacking order from back to front.
// All are children of DIBBG and placed in its coordinates.
enum class TKind { Image, Label };

using TWindow = TPluginEditorWindow;
using TMouseDownHandler = void (TWindow::*)(TObject*, TMouseButton, TShiftState, int, int);
using TMouseMoveHandler = void (TWindow::*)(TObject*, TShiftState, int, int);
using TClickHandler = void (TWindow::*)(TObject*);

struct TControlLayout {
  TKind Kind;
  const char* Name;
  int Left, Top, Width, Height;
  // The window's field for the control (the one of its kind) and the handlers of its events.
  TDIBImage* TWindow::*ImageField = nullptr;
  TLabel* TWindow::*LabelField = nullptr;
  TMouseDownHandler OnMouseDown = nullptr;
  TMouseDownHandler OnMouseUp = nullptr;
  TMouseMoveHandler OnMouseMove = nullptr;
  TClickHandler OnClick = nullptr;
  TClickHandler OnCancelMode = nullptr;
  // Images.
  int ImageIndex = -1;
  uint8_t Opacity = 255;
  bool AutoSize = false;
  bool Stretch = false;
  // Labels.
  int32_t Tag = 0;
  const char* Caption = "";
  TAlignment Alignment = taLeftJustify;
  bool LabelAutoSize = true;
  bool Transparent = false;
  TAnchors Anchors{akLeft, akTop};
  const char* FontName = "";
  int FontHeight = 0;
  TColor FontColor = clBlack;
  TFontStyles FontStyle{};
  TFontCharset FontCharset = DefaultCharset;
};

// Our own credit line; the box keeps its stored left and bottom edges.
constexpr const char* kCreditLine = "Quantaloop by its developers";

constexpr TControlLayout kLayout[] = {
    {.Kind = TKind::Image,
     .Name = "DIB_SignalPath",
     .Left = 0,
     .Top = 148,
     .Width = 1002,
     .Height = 160,
     .ImageField = &TWindow::DIB_SignalPath,
     .OnMouseMove = &TWindow::DIB_SignalPathMouseMove,
     .ImageIndex = 0,
     .Opacity = 255,
     .AutoSize = true},
    {.Kind = TKind::Image,
     .Name = "DIB_Error",
     .Left = 350,
     .Top = 220,
     .Width = 600,
     .Height = 344,
     .ImageField = &TWindow::DIB_Error,
     .OnMouseMove = &TWindow::DIB_ErrorMouseMove,
     .OnClick = &TWindow::DIB_ErrorClick,
     .ImageIndex = 1,
     .Opacity = 255,
     .AutoSize = true},
    {.Kind = TKind::Image,
     .Name = "DIB_Dither",
     .Left = 414,
     .Top = 13,
     .Width = 226,
     .Height = 152,
     .ImageField = &TWindow::DIB_Dither,
     .OnMouseMove = &TWindow::DIB_DitherMouseMove,
     .OnClick = &TWindow::DIB_DitherClick,
     .ImageIndex = 2,
     .Opacity = 255,
     .AutoSize = true},
    {.Kind = TKind::Label,
     .Name = "Lb_Trunc",
     .Left = 784,
     .Top = 175,
     .Width = 117,
     .Height = 69,
     .LabelField = &TWindow::Lb_Trunc,
     .OnMouseDown = &TWindow::LbTruncMouseDown,
     .OnMouseUp = &TWindow::NumberMouseUp,
     .OnMouseMove = &TWindow::LbTruncMouseMove,
     .OnCancelMode = &TWindow::NumberCancelMode,
     .Tag = 16,
     .Caption = "16",
     .Alignment = taCenter,
     .LabelAutoSize = false,
     .FontName = "MD Thaitype A",
     .FontHeight = -69},
    {.Kind = TKind::Label,
     .Name = "Lb_OSR",
     .Left = 91,
     .Top = 176,
     .Width = 147,
     .Height = 89,
     .LabelField = &TWindow::Lb_OSR,
     .OnMouseDown = &TWindow::LbOSRMouseDown,
     .OnMouseUp = &TWindow::NumberMouseUp,
     .OnMouseMove = &TWindow::LbOSRMouseMove,
     .OnCancelMode = &TWindow::NumberCancelMode,
     .Tag = 0,
     .Caption = "64",
     .Alignment = taCenter,
     .LabelAutoSize = false,
     .Transparent = true,
     .FontName = "Arial",
     .FontHeight = -80},
    {.Kind = TKind::Label,
     .Name = "Lb_Hint",
     .Left = 19,
     .Top = 524,
     .Width = 9,
     .Height = 36,
     .LabelField = &TWindow::Lb_Hint,
     .Caption = "",
     .Anchors = {akLeft, akBottom},
     .FontName = "Arial",
     .FontHeight = -32,
     .FontColor = clMaroon},
    {.Kind = TKind::Label,
     .Name = "Lb_About",
     .Left = 777,
     .Top = 556,
     .Width = 218,
     .Height = 16,
     .LabelField = &TWindow::Lb_About,
     .OnMouseMove = &TWindow::Lb_AboutMouseMove,
     .Caption = kCreditLine,
     .Anchors = {akRight, akBottom},
     .FontName = "PRETEXT",
     .FontHeight = -13,
     .FontCharset = SymbolCharset},
    {.Kind = TKind::Label,
     .Name = "LbHeader",
     .Left = 16,
     .Top = 16,
     .Width = 326,
     .Height = 37,
     .LabelField = &TWindow::LbHeader,
     .Caption = "Quantaloop Convertor",
     .FontName = "Arial",
     .FontHeight = -32,
     .FontStyle = {fsItalic, fsUnderline}},
    {.Kind = TKind::Image,
     .Name = "OrvaneLogo",
     .Left = 712,
     .Top = 20,
     .Width = 272,
     .Height = 106,
     .ImageField = &TWindow::OrvaneLogo,
     .OnMouseDown = &TWindow::OrvaneLogoMouseDown,
     .ImageIndex = 3,
     .Opacity = 100,
     .Stretch = true},
};

// What the hint line says while the pointer moves over a control. The bare background clears
// it; the hint line, the header and the logo leave it as it is.
struct THint {
  const char* Control;
  const char* Text;
};
constexpr THint kHints[] = {
    {"Lb_OSR", kParameters[ppOversampling].Hint},
    {"Lb_Trunc", kParameters[ppQuantizer].Hint},
    {"DIB_Dither", kParameters[ppDither].Hint},
    {"DIB_Error", kParameters[ppNoiseShaper].Hint},
    {"DIB_SignalPath", "Signal Path"},
    {"Lb_About", "Developer"},
    {"DIBBG", ""},
};

constexpr int kClientWidth = kEditorClientWidth;
constexpr int kClientHeight = kEditorClientHeight;
constexpr int kStoredLeft = 435;
constexpr int kStoredTop = 146;

constexpr uint32_t kTimerInterval = 100;
constexpr const char* kLZHCompressor = "{BC0C10FC-E045-41E7-A37C-B86AF21320B8}";

// A switch image's opacity is its state: above the threshold it is on.
constexpr uint8_t kSwitchOn = 255;
constexpr uint8_t kSwitchOff = 50;
constexpr uint8_t kSwitchThreshold = 150;

// The logo pulses between the turning points in steps per tick; a press swaps between the two
// press values.
constexpr int kLogoStep = 2;
constexpr int kLogoTop = 254;
constexpr int kLogoBottom = 100;
constexpr uint8_t kLogoPressLow = 100;
constexpr uint8_t kLogoPressHigh = 255;

bool SwitchShowsOn(const TDIBImage& image) {
  return image.Opacity() > kSwitchThreshold;
}

} // namespace

TPluginEditorWindow::TPluginEditorWindow(TNativeHandle parentWindow, TPlatformBackend& backend)
    : TForm(parentWindow, backend) {
  SetName("PluginEditorWindow");
  SetCaption("Tessaly");
  SetBorderStyle(bsNone);
  SetColor(clWhite);
  TFont font;
  font.Name = "MS Sans Serif";
  font.Height = -11;
  font.Color = clWhite;
  font.Charset = DefaultCharset;
  SetFont(font);
  TForm::SetBounds(kStoredLeft, kStoredTop, kClientWidth, kClientHeight);
  CreateControls();
}

TPluginEditorWindow::~TPluginEditorWindow() {
  // A window closed while the user holds a control still lets the host know the gesture ended.
  ReleaseGesture();
  // The controls' handlers point into this object: free them while it is still whole.
  DestroyComponents();
}

void TPluginEditorWindow::CreateControls() {
  // Ownership (and so destruction) follows the form's declaration order; stacking follows the
  // layout table.
  Updater = new TTimer(this);
  Updater->SetName("Updater");
  Updater->SetInterval(kTimerInterval);
  Updater->OnTimer = [this](TObject* s) { UpdaterTimer(s); };

  DIBImageList = new TDIBImageList(this);
  DIBImageList->SetName("DIBImageList");

  DIBBG = new TDIBImageContainer(this);
  DIBBG->SetName("DIBBG");
  DIBBG->SetParent(this);
  DIBBG->SetBounds(0, 0, kClientWidth, kClientHeight);
  DIBBG->SetAlign(alClient);
  DIBBG->SetColor(clWhite);
  DIBBG->SetDIBImageList(DIBImageList);
  DIBBG->IndexImage().SetDIBIndex(-1);
  DIBBG->SetTileMethod(tmCenter);
  DIBBG->SetBorderDrawPosition(bdOverControls);
  DIBBG->OnMouseMove = MouseMoveEvent(&TWindow::DIBBGMouseMove);

  // The settings name the compressor of the stored pictures before any of them is read.
  DIBSettings = new TDIBSettings(this);
  DIBSettings->SetName("DIBSettings");
  DIBSettings->SetDIBCompressor(kLZHCompressor);

  for (const TControlLayout& c : kLayout) {
    TControl* control = nullptr;
    if (c.Kind == TKind::Image) {
      auto* image = new TDIBImage(this);
      this->*c.ImageField = image;
      control = image;
      image->SetName(c.Name);
      image->SetBounds(c.Left, c.Top, c.Width, c.Height);
      image->SetDIBImageList(DIBImageList);
      image->IndexMain().SetDIBIndex(c.ImageIndex);
      image->SetOpacity(c.Opacity);
      image->SetScale(100.0);
      image->SetAngle(0);
      image->SetCenter(false);
      image->SetDIBTabOrder(-1);
      image->SetAutoSize(c.AutoSize);
      image->SetStretch(c.Stretch);
    } else {
      auto* label = new TLabel(this);
      this->*c.LabelField = label;
      control = label;
      label->SetName(c.Name);
      label->SetParent(DIBBG);
      label->SetAutoSize(c.LabelAutoSize);
      label->SetBounds(c.Left, c.Top, c.Width, c.Height);
      label->SetTag(c.Tag);
      label->SetAlignment(c.Alignment);
      label->SetTransparent(c.Transparent);
      label->SetAnchors(c.Anchors);
      label->SetFont(TFont{.Name = c.FontName,
                           .Height = c.FontHeight,
                           .Color = c.FontColor,
                           .Style = c.FontStyle,
                           .Charset = c.FontCharset});
      label->SetCaption(c.Caption);
    }
    if (c.OnMouseDown) control->OnMouseDown = MouseDownEvent(c.OnMouseDown);
    if (c.OnMouseUp) control->OnMouseUp = MouseDownEvent(c.OnMouseUp);
    if (c.OnMouseMove) control->OnMouseMove = MouseMoveEvent(c.OnMouseMove);
    if (c.OnClick) control->OnClick = [this, h = c.OnClick](TObject* s) { (this->*h)(s); };
    if (c.OnCancelMode)
      control->OnCancelMode = [this, h = c.OnCancelMode](TObject* s) { (this->*h)(s); };
  }

  TDIBFeatureItem& highlight = OrvaneLogo->AddFeatureItem("THighlightDIB");
  highlight.DIBFeatureParameters()["HighlightOpacity"] = "255";
  OrvaneLogo->Loaded();

  LoadArtwork();
}

TMouseEvent TPluginEditorWindow::MouseDownEvent(TMouseDownHandler handler) {
  return [this, handler](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    (this->*handler)(s, b, sh, x, y);
  };
}

TMouseMoveEvent TPluginEditorWindow::MouseMoveEvent(TMouseMoveHandler handler) {
  return
      [this, handler](TObject* s, TShiftState sh, int x, int y) { (this->*handler)(s, sh, x, y); };
}

void TPluginEditorWindow::LoadArtwork() {
  size_t count = 0;
  const TArtwork* items = ArtworkItems(count);
  for (const TArtwork& art : std::span(items, count)) {
    TDIBImagesItem& item = DIBImageList->Add();
    item.SetDisplayName(art.DisplayName);
    item.LoadDIBData(std::span<const uint8_t>(art.Data, art.Size));
    // White is the key colour of every picture: the white background shows through.
    TMemoryDIB& dib = item.MutableDIB();
    dib.SetTransparent(true);
    dib.SetTransparentColor(clWhite);
    dib.SetTransparentMode(tmFixed);
    dib.SetMasked(false);
    dib.SetOpacity(255);
    dib.SetScale(100.0, 100.0);
    dib.SetAngle(0);
    dib.SetAutoSize(false);
    item.Changed();
  }
}

void TPluginEditorWindow::Link(TEditorView* view) {
  PostMessage(WM_SETEFFECT, reinterpret_cast<uintptr_t>(view), 0);
}

void TPluginEditorWindow::Idle() {
  if (HandleAllocated()) Backend().Pump();
}

int TPluginEditorWindow::EventDescriptor() const {
  return HandleAllocated() ? Backend().EventDescriptor(Handle()) : -1;
}

void TPluginEditorWindow::WndProc(TMessage& message) {
  if (message.Msg == WM_SETEFFECT) {
    WMSetEffect(message);
    return;
  }
  TForm::WndProc(message);
}

void TPluginEditorWindow::WMSetEffect(TMessage& message) {
  ReleaseGesture();
  FEffect = reinterpret_cast<TEditorView*>(message.WParam);
  // From the moment it is linked the window shows the effect, not the display it was built
  // with: a host that closes and reopens the editor gets a window whose first gesture moves
  // the value the user sees. The update taken first lets a change that lands during the reads
  // show at the next tick.
  if (!FEffect) return;
  FEffect->TakeUpdate();
  Refresh(true);
}

// ---- The timer: logo pulse, then refresh ----

void TPluginEditorWindow::UpdaterTimer(TObject*) {
  const int o = OrvaneLogo->Opacity();
  if (!FLogoFalling) {
    if (o >= kLogoTop)
      FLogoFalling = true;
    else
      OrvaneLogo->SetOpacity(static_cast<uint8_t>(o + kLogoStep));
  } else {
    if (o <= kLogoBottom)
      FLogoFalling = false;
    else
      OrvaneLogo->SetOpacity(static_cast<uint8_t>(o - kLogoStep));
  }

  // The update is taken before the values are read: a change stored while they are read sets
  // it again and shows at the next tick instead of waiting for the change after it.
  if (FEffect && FEffect->TakeUpdate()) Refresh(false);
}

void TPluginEditorWindow::Refresh(bool whole) {
  FUpdating = true;
  RefreshNumber(*Lb_OSR, ppOversampling, whole);
  RefreshNumber(*Lb_Trunc, ppQuantizer, whole);
  RefreshSwitch(*DIB_Dither, ppDither);
  RefreshSwitch(*DIB_Error, ppNoiseShaper);
  FUpdating = false;
}

void TPluginEditorWindow::RefreshNumber(TLabel& label, int32_t index, bool whole) {
  const float value = FEffect->ParameterReal(index);
  // A value that is not a number, or beyond what a label's Tag holds, cannot be shown as one:
  // the label keeps what it shows.
  if (!std::isfinite(value) || std::fabs(value) > 2.0e9f) return;
  // A label's stored caption need not be the text of its Tag; the whole refresh of a new link
  // sets both.
  if (!whole && static_cast<double>(value) == static_cast<double>(label.Tag())) return;
  // Halves go to the even neighbour, as the default rounding mode does.
  const auto number = static_cast<int32_t>(std::nearbyint(value));
  label.SetTag(number);
  label.SetCaption(std::to_string(number));
}

void TPluginEditorWindow::RefreshSwitch(TDIBImage& image, int32_t index) {
  const bool valueOn = kParameters[index].ShownOn(FEffect->ParameterReal(index));
  if (valueOn == SwitchShowsOn(image)) return;
  image.SetOpacity(SwitchShowsOn(image) ? kSwitchOff : kSwitchOn);
}

// ---- The numbers ----

void TPluginEditorWindow::StepNumber(TLabel& label, int delta, int y, int32_t index) {
  const TParameterDescription& p = kParameters[index];
  int32_t number = label.Tag() + delta;
  if (number > p.EditorMax)
    number = p.EditorMax;
  else if (number < p.EditorMin)
    number = p.EditorMin;
  label.SetTag(number);
  FLastY = y;
  label.SetCaption(std::to_string(number));
  if (!FEffect) return;
  HoldGesture(index);
  FEffect->SetParameterByGesture(index, static_cast<float>(number));
}

void TPluginEditorWindow::HoldGesture(int32_t index) {
  if (FGesture == index) return;
  ReleaseGesture();
  FGesture = index;
  FEffect->BeginGesture(index);
}

void TPluginEditorWindow::ReleaseGesture() {
  if (FGesture < 0) return;
  const int32_t index = std::exchange(FGesture, -1);
  if (FEffect) FEffect->EndGesture(index);
}

void TPluginEditorWindow::NumberMouseUp(TObject*, TMouseButton, TShiftState shift, int, int) {
  if (!shift.Contains(ssLeft) && !shift.Contains(ssRight) && !shift.Contains(ssMiddle))
    ReleaseGesture();
}

void TPluginEditorWindow::NumberCancelMode(TObject*) {
  ReleaseGesture();
}

void TPluginEditorWindow::LbOSRMouseDown(TObject*, TMouseButton, TShiftState, int, int y) {
  StepNumber(*Lb_OSR, y < Lb_OSR->Height() / 2 ? 1 : -1, y, ppOversampling);
}

void TPluginEditorWindow::LbTruncMouseDown(TObject*, TMouseButton, TShiftState, int, int y) {
  StepNumber(*Lb_Trunc, y < Lb_Trunc->Height() / 2 ? 1 : -1, y, ppQuantizer);
}

void TPluginEditorWindow::LbOSRMouseMove(TObject*, TShiftState shift, int, int y) {
  ShowHintOf(*Lb_OSR);
  if (!shift.Contains(ssLeft)) return;
  StepNumber(*Lb_OSR, FLastY - y > 0 ? 1 : -1, y, ppOversampling);
}

void TPluginEditorWindow::LbTruncMouseMove(TObject*, TShiftState shift, int, int y) {
  ShowHintOf(*Lb_Trunc);
  if (!shift.Contains(ssLeft)) return;
  StepNumber(*Lb_Trunc, FLastY - y > 0 ? 1 : -1, y, ppQuantizer);
}

// ---- The switches and the logo ----

void TPluginEditorWindow::ToggleSwitch(TDIBImage& image, int32_t index) {
  image.SetOpacity(SwitchShowsOn(image) ? kSwitchOff : kSwitchOn);
  if (FUpdating || !FEffect) return;
  HoldGesture(index);
  FEffect->SetParameterByGesture(index, SwitchShowsOn(image) ? 1.0f : 0.0f);
  ReleaseGesture();
}

void TPluginEditorWindow::DIB_DitherClick(TObject*) {
  ToggleSwitch(*DIB_Dither, ppDither);
}

void TPluginEditorWindow::DIB_ErrorClick(TObject*) {
  ToggleSwitch(*DIB_Error, ppNoiseShaper);
}

void TPluginEditorWindow::OrvaneLogoMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
  OrvaneLogo->SetOpacity(OrvaneLogo->Opacity() == kLogoPressLow ? kLogoPressHigh : kLogoPressLow);
}

// ---- The hint line ----

void TPluginEditorWindow::ShowHintOf(const TControl& control) {
  for (const THint& h : kHints)
    if (control.Name() == h.Control && Lb_Hint->Caption() != h.Text) Lb_Hint->SetCaption(h.Text);
}

void TPluginEditorWindow::DIB_SignalPathMouseMove(TObject*, TShiftState, int, int) {
  ShowHintOf(*DIB_SignalPath);
}

void TPluginEditorWindow::DIB_DitherMouseMove(TObject*, TShiftState, int, int) {
  ShowHintOf(*DIB_Dither);
}

void TPluginEditorWindow::DIB_ErrorMouseMove(TObject*, TShiftState, int, int) {
  ShowHintOf(*DIB_Error);
}

void TPluginEditorWindow::Lb_AboutMouseMove(TObject*, TShiftState, int, int) {
  ShowHintOf(*Lb_About);
}

void TPluginEditorWindow::DIBBGMouseMove(TObject*, TShiftState, int, int) {
  ShowHintOf(*DIBBG);
}

// ---- The window class ----

std::unique_ptr<TPluginEditorWindow> CreatePluginEditorWindow(void* parentWindow, bool headless) {
  try {
    // A real window system needs the host's window to live in; without one there is no editor.
    if (!headless && !parentWindow) return nullptr;
    // The headless backend when a tool asked for it; otherwise the window system's own: the
    // host hands us an X11 window id on Linux and an HWND on Windows.
    auto window = std::make_unique<TPluginEditorWindow>(
        TNativeHandle{reinterpret_cast<uintptr_t>(parentWindow)},
        headless ? HeadlessPlatformBackend() : NativePlatformBackend());
    if (!window->HandleAllocated()) return nullptr;
    return window;
  } catch (...) {
    return nullptr;
  }
}

// ---- Driving the editor in the headless backend ----

bool TPluginEditorWindow::Drive(TEditorDrive& drive) {
  THeadlessBackend& headless = THeadlessBackend::Instance();
  if (!HandleAllocated() || &Backend() != &headless) return false;
  const TWindowHandle handle = Handle();
  const TMouseButton button = drive.Button == 1 ? mbRight : drive.Button == 2 ? mbMiddle : mbLeft;
  struct TShiftBit {
    uint32_t Bit;
    TShiftStateItem Item;
  };
  static constexpr TShiftBit kShiftBits[] = {
      {edsShift, ssShift}, {edsAlt, ssAlt},     {edsCtrl, ssCtrl},
      {edsLeft, ssLeft},   {edsRight, ssRight}, {edsMiddle, ssMiddle},
  };
  TShiftState shift;
  for (const TShiftBit& b : kShiftBits)
    if (drive.Shift & b.Bit) shift.Include(b.Item);
  switch (drive.Command) {
  case edcPress:
    headless.InjectPress(handle, drive.X, drive.Y, button, shift);
    return true;
  case edcRelease:
    headless.InjectRelease(handle, drive.X, drive.Y, button, shift);
    return true;
  case edcMove:
    headless.InjectMove(handle, drive.X, drive.Y, shift);
    return true;
  case edcLeave:
    headless.InjectLeave(handle);
    return true;
  case edcCaptureLost:
    headless.InjectCaptureLost(handle);
    return true;
  case edcAdvance:
    headless.Run(drive.Milliseconds, 10);
    return true;
  case edcPixels: {
    Update();
    const TBitmap32& pixels = headless.WindowPixels(handle);
    const int w = std::min(drive.Width, pixels.Width);
    const int h = std::min(drive.Height, pixels.Height);
    if (drive.Pixels)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          drive.Pixels[static_cast<size_t>(y) * static_cast<size_t>(drive.Width) + x] =
              Rgb24(pixels.At(x, y));
    drive.Width = pixels.Width;
    drive.Height = pixels.Height;
    return true;
  }
  default:
    return false;
  }
}
