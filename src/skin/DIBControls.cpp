#include "skin/DIBControls.h"

#include <algorithm>
#include <charconv>

#include "skin/DIBError.h"

namespace {

std::map<std::string, TDIBFeatureFactory>& FeatureClasses() {
  // Built-in classes are entered on first use rather than by static initialisers, which a
  // static library would drop.
  static std::map<std::string, TDIBFeatureFactory> classes = {
      {"THighlightDIB",
       [](TCustomDIBControl& c) -> std::unique_ptr<TDIBFeature> {
         return std::make_unique<THighlightDIB>(c);
       }},
  };
  return classes;
}

TDIBImageContainer* FindContainer(TComponent* owner) {
  if (!owner) throw EDIBError("Owner cannot be nil");
  if (auto* c = dynamic_cast<TDIBImageContainer*>(owner)) return c;
  for (int i = 0; i < owner->ComponentCount(); ++i)
    if (auto* c = dynamic_cast<TDIBImageContainer*>(owner->Components(i))) return c;
  throw EDIBError("Parent must be a TDIBContainer");
}

// Resizes a scratch picture only when its size changes, so that one allocation serves every
// paint of controls of the same size.
void FitScratch(TBitmap32& scratch, int w, int h) {
  if (scratch.Width != w || scratch.Height != h) scratch.SetSize(w, h);
}

} // namespace

// ---- features ----

bool TDIBFeature::SetProperty(const std::string&, const std::string&) {
  return false;
}

void RegisterDIBFeatureClass(const std::string& className, TDIBFeatureFactory factory) {
  if (factory) FeatureClasses()[className] = std::move(factory);
}

bool IsDIBFeatureClassRegistered(const std::string& className) {
  return FeatureClasses().count(className) != 0;
}

void TDIBFeatureItem::CreateFeature(TCustomDIBControl& control) {
  auto it = FeatureClasses().find(FFeatureClassName);
  if (it == FeatureClasses().end()) throw EDIBError(FFeatureClassName + " has not been registered");
  std::unique_ptr<TDIBFeature> feature = it->second(control);
  for (const auto& [name, value] : FParameters)
    if (!feature->SetProperty(name, value))
      throw EDIBError(FFeatureClassName + " cannot take " + name + " = " + value);
  FFeature = std::move(feature);
}

void THighlightDIB::Highlight() {
  FSavedOpacity = Control().Opacity();
  FSaved = true;
  Control().SetOpacity(FHighlightOpacity);
}

// Puts back what Highlight found, whatever the opacity became in between; a leave or focus
// loss without a highlight before it leaves the opacity alone.
void THighlightDIB::Restore() {
  if (!FSaved) return;
  FSaved = false;
  Control().SetOpacity(FSavedOpacity);
}

void THighlightDIB::HandleMessage(TMessage& m, bool&) {
  TCustomDIBControl& c = Control();
  const TForm* form = c.ParentForm();
  const bool free = !c.Focused() && !(form && form->CaptureControl());
  switch (m.Msg) {
  case QM_MOUSEENTER:
    if (free) Highlight();
    break;
  case QM_MOUSELEAVE:
    if (free) Restore();
    break;
  case QM_SETFOCUS: // sent before the focus moves: Focused() is still false
    if (!c.Focused() && !c.MouseInControl()) Highlight();
    break;
  case QM_KILLFOCUS: // sent before the focus goes: Focused() is still true
    if (c.Focused() && !c.MouseInControl()) Restore();
    break;
  case QM_MOUSEUP:
    if (m.Button == mbLeft) c.ReleaseCapture();
    break;
  default:
    break;
  }
}

bool THighlightDIB::SetProperty(const std::string& name, const std::string& value) {
  if (name != "HighlightOpacity") return false;
  unsigned v = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
  if (ec != std::errc() || end != value.data() + value.size() || v > 255) return false;
  FHighlightOpacity = static_cast<uint8_t>(v);
  return true;
}

// ---- TCustomDIBControl ----

TCustomDIBControl::TCustomDIBControl(TComponent* owner)
    : TControl(owner), FContainer(FindContainer(owner)) {
  SetParent(FContainer);
}

TCustomDIBControl::~TCustomDIBControl() = default;

void TCustomDIBControl::SetOpacity(uint8_t v) {
  if (v == FOpacity) return;
  FOpacity = v;
  Invalidate();
}

TDIBFeatureItem& TCustomDIBControl::AddFeatureItem(const std::string& className) {
  FFeatures.push_back(std::make_unique<TDIBFeatureItem>());
  FFeatures.back()->SetFeatureClassName(className);
  return *FFeatures.back();
}

void TCustomDIBControl::Loaded() {
  for (auto& item : FFeatures)
    if (!item->Feature()) item->CreateFeature(*this);
}

void TCustomDIBControl::WndProc(TMessage& m) {
  // Enter and leave come in pairs: a repeated one (the pending leave delivered at the release
  // and the form's own leave after it) reaches neither the features nor the control.
  if ((m.Msg == QM_MOUSEENTER && FMouseInside) || (m.Msg == QM_MOUSELEAVE && !FMouseInside)) return;
  for (auto& item : FFeatures) {
    if (TDIBFeature* f = item->Feature()) {
      bool handled = false;
      f->HandleMessage(m, handled);
      if (handled) return;
    }
  }
  TControl::WndProc(m);
}

void TCustomDIBControl::Click() {
  TControl::Click();
  if (FDIBTabOrder >= 0 && !Focused()) SetFocus();
}

void TCustomDIBControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (FDIBTabOrder >= 0) SetFocus();
  TControl::MouseDown(button, shift, x, y);
}

void TCustomDIBControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TControl::MouseUp(button, shift, x, y);
  // The pointer left while the button held the capture: deliver that leave now.
  if (button == mbLeft && FMouseInside && !ClientRect().Contains(TPoint{x, y})) {
    if (MouseCapture()) ReleaseCapture();
    Perform(QM_MOUSELEAVE);
  }
}

void TCustomDIBControl::MouseEnter() {
  FMouseInside = true;
  TControl::MouseEnter();
}

void TCustomDIBControl::MouseLeave() {
  // While the control holds the capture the pointer stays counted as inside.
  if (MouseCapture()) return;
  FMouseInside = false;
  TControl::MouseLeave();
}

void TCustomDIBControl::Paint(TBitmap32& target, const TRect& dirty) {
  TBitmap32 scratch;
  PaintDIB(target, scratch, dirty);
}

void TCustomDIBControl::PaintDIB(TBitmap32& target, TBitmap32& scratch, const TRect& dirty) {
  const TRect box = BoundsRect();
  const TRect part = dirty.Intersect(box).Intersect(TRect{0, 0, target.Width, target.Height});
  if (part.IsEmpty() || FOpacity == 0) return;
  if (FOpacity == 255 && !OnPaintStart && !OnPaintEnd) {
    // At full opacity the blend copies the scratch picture, which is the part beneath with the
    // content drawn over it: drawing the content straight into the target gives the same
    // pixels without the two copies.
    PaintContent(target, Left(), Top(), part);
    return;
  }
  // 1. What lies beneath (only the part that will be blended back matters).
  FitScratch(scratch, Width(), Height());
  const TRect local = part.Offset(-Left(), -Top());
  CopyBitmapRect(scratch, local.Left, local.Top, target, part.Left, part.Top, part.Width(),
                 part.Height());
  // 2. The content, between the paint events.
  if (OnPaintStart) OnPaintStart(this, scratch);
  PaintContent(scratch, 0, 0, local);
  if (OnPaintEnd) OnPaintEnd(this, scratch);
  // 3. Back onto the target with the control's opacity.
  BlendBitmap(target, Left(), Top(), scratch, FOpacity, part);
}

// ---- TDIBImage ----

TDIBImage::TDIBImage(TComponent* owner) : TCustomDIBControl(owner) {
  SetBounds(0, 0, 32, 32);
  FIndexMain.OnChange = [this] { PictureChanged(); };
}

void TDIBImage::PictureChanged() {
  if (FAutoSize) AdjustSize();
  Invalidate();
}

void TDIBImage::AdjustSize() {
  int w = 0, h = 0;
  if (GetAutoSizeDimensions(w, h)) SetBounds(Left(), Top(), w, h);
}

void TDIBImage::SetAngle(int v) {
  v %= 360;
  if (v < 0) v += 360;
  FAngle = v;
  PictureChanged();
}

void TDIBImage::SetAutoSize(bool v) {
  if (v == FAutoSize) return;
  FAutoSize = v;
  PictureChanged();
}

void TDIBImage::SetCenter(bool v) {
  if (v == FCenter) return;
  FCenter = v;
  PictureChanged();
}

void TDIBImage::SetScale(double v) {
  FScale = v;
  FStretch = false;
  PictureChanged();
}

void TDIBImage::SetStretch(bool v) {
  FStretch = v;
  if (v) FAutoSize = false;
  Invalidate();
}

bool TDIBImage::GetAutoSizeDimensions(int& width, int& height) const {
  const TMemoryDIB* dib = FIndexMain.GetImage();
  if (!dib) return false;
  const TDIBSize box = DIBAutoSize(dib->Width(), dib->Height(), FAngle, FScale, FScale);
  width = box.Width;
  height = box.Height;
  return true;
}

void TDIBImage::PaintContent(TBitmap32& target, int left, int top, const TRect& clip) {
  const TMemoryDIB* dib = FIndexMain.GetImage();
  if (!dib) return;
  double sx = FScale, sy = FScale;
  if (FStretch) {
    // Whole percent: a 271-pixel picture in a 272-pixel box stays at 100.
    sx = Width() * 100 / dib->Width();
    sy = Height() * 100 / dib->Height();
  }
  int x = 0, y = 0;
  if (FCenter && !FAutoSize) {
    const TDIBSize box = DIBAutoSize(dib->Width(), dib->Height(), FAngle, sx, sy);
    x = Width() / 2 - box.Width / 2;
    y = Height() / 2 - box.Height / 2;
  }
  // Clipped to the control's box as well: content never spills over its neighbours.
  const TRect area = clip.Intersect(TRect::FromSize(left, top, Width(), Height()));
  dib->DrawTransformed(target, left + x, top + y, FAngle, sx, sy, area);
}

// ---- TDIBImageContainer ----

TDIBImageContainer::TDIBImageContainer(TComponent* owner) : TWinControl(owner) {
  FIndexImage.OnChange = [this] { Invalidate(); };
}

TDIBImageContainer::~TDIBImageContainer() {
  // Children go first, while the container they paint into still exists.
  DestroyComponents();
  while (ControlCount() > 0)
    delete Controls(ControlCount() - 1);
}

void TDIBImageContainer::SetTileMethod(TTileMethod v) {
  if (v == FTileMethod) return;
  FTileMethod = v;
  Invalidate();
}

void TDIBImageContainer::PaintBackground(const TRect& dirty) {
  TBitmap32& off = Offscreen();
  const uint32_t colour = ColorToPixel(Color());
  const TMemoryDIB* dib = FIndexImage.GetImage();
  if (!dib) {
    FillBitmapRect(off, dirty.Left, dirty.Top, dirty.Width(), dirty.Height(), colour);
    return;
  }
  const int w = dib->Width(), h = dib->Height();
  if (FTileMethod == tmCenter) {
    if (w != Width() || h != Height())
      FillBitmapRect(off, dirty.Left, dirty.Top, dirty.Width(), dirty.Height(), colour);
    dib->Draw(off, Width() / 2 - w / 2, Height() / 2 - h / 2, dirty);
    return;
  }
  // Tiles on a grid from 0, 0; only those meeting the dirty rectangle are drawn. Keyed pixels
  // of a tile show the container's colour.
  if (dib->Transparent())
    FillBitmapRect(off, dirty.Left, dirty.Top, dirty.Width(), dirty.Height(), colour);
  for (int ty = dirty.Top / h * h; ty < dirty.Bottom; ty += h)
    for (int tx = dirty.Left / w * w; tx < dirty.Right; tx += w)
      dib->Draw(off, tx, ty, dirty);
}

void TDIBImageContainer::PaintWindow(const TRect& rect) {
  TBitmap32& off = Offscreen();
  if (off.Width != Width() || off.Height != Height()) off.SetSize(Width(), Height());
  const TRect dirty = rect.Intersect(TRect{0, 0, off.Width, off.Height});
  if (dirty.IsEmpty()) return;
  PaintBackground(dirty);
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (c->IsWindowed() || !c->Visible()) continue;
    const TRect part = dirty.Intersect(c->BoundsRect());
    if (part.IsEmpty()) continue;
    if (auto* image = dynamic_cast<TCustomDIBControl*>(c))
      image->PaintDIB(off, FScratch, part);
    else
      c->Paint(off, part);
  }
  PresentRect(dirty);
}

std::vector<TCustomDIBControl*> TDIBImageContainer::FocusOrder() const {
  std::vector<TCustomDIBControl*> order;
  for (int i = 0; i < ControlCount(); ++i)
    if (auto* c = dynamic_cast<TCustomDIBControl*>(Controls(i)); c && c->DIBTabOrder() >= 0)
      order.push_back(c);
  std::stable_sort(order.begin(), order.end(),
                   [](auto* a, auto* b) { return a->DIBTabOrder() < b->DIBTabOrder(); });
  return order;
}

bool TDIBImageContainer::SelectNextDIBControl(bool forward) {
  const std::vector<TCustomDIBControl*> order = FocusOrder();
  if (order.empty()) return false;
  const auto it = std::find_if(order.begin(), order.end(), [](auto* c) { return c->Focused(); });
  size_t next = 0;
  if (it == order.end())
    next = forward ? 0 : order.size() - 1;
  else {
    const size_t at = static_cast<size_t>(it - order.begin());
    next = forward ? (at + 1) % order.size() : (at + order.size() - 1) % order.size();
  }
  order[next]->SetFocus();
  return true;
}
