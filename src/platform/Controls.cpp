#include "platform/Controls.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr TShiftState kButtons{ssLeft, ssRight, ssMiddle};
constexpr TShiftState kModifiers{ssShift, ssAlt, ssCtrl};

void FillRect(TBitmap32& picture, const TRect& rect, uint32_t pixel) {
  const TRect r = rect.Intersect(TRect{0, 0, picture.Width, picture.Height});
  for (int y = r.Top; y < r.Bottom; ++y)
    std::fill(picture.Row(y) + r.Left, picture.Row(y) + r.Right, pixel);
}

bool IsWithin(const TControl* control, const TControl* ancestor) {
  for (const TControl* c = control; c; c = c->Parent())
    if (c == ancestor) return true;
  return false;
}

} // namespace

// ---- TComponent ----

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  std::vector<TComponent*> notifies = std::move(FFreeNotifies);
  FFreeNotifies.clear();
  for (TComponent* c : notifies) {
    std::erase(c->FFreeNotifies, this);
    c->Notification(this, opRemove);
  }
  if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  for (TComponent* c : FComponents)
    if (c->FName == name) return c;
  return nullptr;
}

void TComponent::DestroyComponents() {
  // Freeing one component may free others of the list (a parent frees its children), so the
  // list is read again after every deletion.
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    RemoveComponent(c);
    delete c;
  }
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component || component->FOwner == this) return;
  if (component->FOwner) component->FOwner->RemoveComponent(component);
  FComponents.push_back(component);
  component->FOwner = this;
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (!component || component->FOwner != this) return;
  std::erase(FComponents, component);
  component->FOwner = nullptr;
  Notification(component, opRemove);
}

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
    FFreeNotifies.push_back(other);
  if (std::find(other->FFreeNotifies.begin(), other->FFreeNotifies.end(), this) ==
      other->FFreeNotifies.end())
    other->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (!other) return;
  std::erase(FFreeNotifies, other);
  std::erase(other->FFreeNotifies, this);
}

void TComponent::Notification(TComponent*, TOperation) {}

// ---- TControl ----

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
  if (MouseCapture()) ReleaseCapture();
  SetParent(nullptr);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
  const bool resized = width != FWidth || height != FHeight;
  InvalidateInParent();
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  if (resized) Resize();
  InvalidateInParent();
}

void TControl::SetVisible(bool visible) {
  if (visible == FVisible) return;
  if (!visible) {
    InvalidateInParent();
    FVisible = false;
    if (TForm* form = ParentForm()) form->ForgetControl(this);
  } else {
    FVisible = true;
    InvalidateInParent();
  }
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->FParent)
    if (!c->FVisible) return false;
  return true;
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == FParent) return;
  if (FParent) {
    InvalidateInParent();
    FParent->RemoveControl(this);
    FParent = nullptr;
  }
  if (parent) {
    parent->InsertControl(this);
    FParent = parent;
    if (FAlign == alClient) SetBounds(0, 0, parent->FWidth, parent->FHeight);
    InvalidateInParent();
  }
}

TForm* TControl::ParentForm() const {
  const TControl* root = this;
  while (root->FParent)
    root = root->FParent;
  return dynamic_cast<TForm*>(const_cast<TControl*>(root));
}

void TControl::BringToFront() {
  if (!FParent) return;
  auto& list = FParent->FControls;
  std::erase(list, this);
  list.push_back(this);
  InvalidateInParent();
}

void TControl::SendToBack() {
  if (!FParent) return;
  auto& list = FParent->FControls;
  std::erase(list, this);
  list.insert(list.begin(), this);
  InvalidateInParent();
}

void TControl::SetAlign(TAlign align) {
  FAlign = align;
  if (FAlign == alClient && FParent) SetBounds(0, 0, FParent->FWidth, FParent->FHeight);
}

TColor TControl::Color() const {
  return FParentColor && FParent ? FParent->Color() : FColor;
}

void TControl::SetColor(TColor color) {
  FColor = color;
  FParentColor = false;
  Invalidate();
}

void TControl::SetParentColor(bool v) {
  if (v == FParentColor) return;
  FParentColor = v;
  Invalidate();
}

void TControl::SetFont(const TFont& font) {
  if (font == FFont) return;
  FFont = font;
  Invalidate();
}

TPoint TControl::ClientToForm(TPoint p) const {
  for (const TControl* c = this; c->FParent; c = c->FParent) {
    p.X += c->FLeft;
    p.Y += c->FTop;
  }
  return p;
}

TPoint TControl::FormToClient(TPoint p) const {
  const TPoint origin = ClientToForm(TPoint{0, 0});
  return TPoint{p.X - origin.X, p.Y - origin.Y};
}

void TControl::Invalidate() {
  InvalidateRect(ClientRect());
}

// The parent repaints the control's rectangle, and with it whatever lies beneath.
void TControl::InvalidateInParent() {
  if (FParent && FVisible) FParent->InvalidateRect(BoundsRect());
}

void TControl::InvalidateRect(const TRect& rect) {
  if (!FParent || !FVisible) return;
  const TRect r = rect.Intersect(ClientRect());
  if (!r.IsEmpty()) FParent->InvalidateRect(r.Offset(FLeft, FTop));
}

void TControl::Repaint() {
  Invalidate();
  if (TForm* form = ParentForm()) form->Update();
}

void TControl::Paint(TBitmap32&, const TRect&) {}

// Whether the pointer at `p` (own coordinates) is over this control and not over a control
// in front of it.
bool TControl::IsUnderPointer(TPoint p) {
  if (!ClientRect().Contains(p)) return false;
  TForm* form = ParentForm();
  return !form || form->FindControlAt(ClientToForm(p)) == this;
}

void TControl::WndProc(TMessage& m) {
  switch (m.Msg) {
  case QM_MOUSEDOWN:
    // Only a press that is not the second of a double click can become a click.
    if (m.Button == mbLeft) FClicked = !m.Shift.Contains(ssDouble);
    MouseDown(m.Button, m.Shift, m.X, m.Y);
    break;
  case QM_MOUSEUP:
    if (m.Button == mbLeft && FClicked) {
      FClicked = false;
      if (IsUnderPointer(TPoint{m.X, m.Y})) Click();
    }
    MouseUp(m.Button, m.Shift, m.X, m.Y);
    break;
  case QM_MOUSEMOVE:
    MouseMove(m.Shift, m.X, m.Y);
    break;
  case QM_CANCELMODE:
    FClicked = false;
    if (OnCancelMode) OnCancelMode(this);
    break;
  case QM_MOUSEENTER:
    MouseEnter();
    break;
  case QM_MOUSELEAVE:
    MouseLeave();
    break;
  case QM_SETFOCUS:
    DoEnter();
    break;
  case QM_KILLFOCUS:
    DoExit();
    break;
  default:
    break;
  }
}

intptr_t TControl::Perform(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  TMessage m;
  m.Msg = msg;
  m.WParam = wParam;
  m.LParam = lParam;
  WndProc(m);
  return m.Result;
}

void TControl::SetFocus() {
  if (TForm* form = ParentForm()) form->SetFocusedControl(this);
}

bool TControl::Focused() const {
  const TForm* form = ParentForm();
  return form && form->FFocused == this;
}

void TControl::SetCapture() {
  TForm* form = ParentForm();
  if (!form || form->FCapture == this) return;
  form->FCapture = this;
  if (form->HandleAllocated()) form->Backend().CapturePointer(form->Handle());
}

void TControl::ReleaseCapture() {
  TForm* form = ParentForm();
  if (!form || form->FCapture != this) return;
  form->FCapture = nullptr;
  if (form->HandleAllocated()) form->Backend().ReleasePointer(form->Handle());
}

bool TControl::MouseCapture() const {
  const TForm* form = ParentForm();
  return form && form->FCapture == this;
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}
void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}
void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}
void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}
void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}
void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}
void TControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TControl::DoExit() {
  if (OnExit) OnExit(this);
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  DestroyComponents();
  while (!FControls.empty())
    delete FControls.back();
}

TControl* TWinControl::ControlAtPos(TPoint p) const {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it)
    if ((*it)->Visible() && (*it)->BoundsRect().Contains(p)) return *it;
  return nullptr;
}

TControl* TWinControl::FindControlAt(TPoint p) {
  if (!Visible() || !ClientRect().Contains(p)) return nullptr;
  TControl* child = ControlAtPos(p);
  if (!child) return this;
  if (!child->IsWindowed()) return child;
  TControl* inner = static_cast<TWinControl*>(child)->FindControlAt(
      TPoint{p.X - child->Left(), p.Y - child->Top()});
  return inner ? inner : child;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  const int oldWidth = Width();
  const int oldHeight = Height();
  TControl::SetBounds(left, top, width, height);
  if (Width() != oldWidth || Height() != oldHeight) {
    FOffscreen.SetSize(Width(), Height(), ColorToPixel(Color()));
    AlignControls(oldWidth, oldHeight);
    Invalidate();
  }
}

void TWinControl::AlignControls(int oldWidth, int oldHeight) {
  const int dw = Width() - oldWidth;
  const int dh = Height() - oldHeight;
  for (size_t i = 0; i < FControls.size(); ++i) {
    TControl* c = FControls[i];
    if (c->Align() == alClient) {
      c->SetBounds(0, 0, Width(), Height());
      continue;
    }
    TRect r = c->BoundsRect();
    const TAnchors a = c->Anchors();
    if (a.Contains(akRight)) {
      if (a.Contains(akLeft))
        r.Right += dw;
      else
        r = r.Offset(dw, 0);
    }
    if (a.Contains(akBottom)) {
      if (a.Contains(akTop))
        r.Bottom += dh;
      else
        r = r.Offset(0, dh);
    }
    c->SetBoundsRect(r);
  }
}

void TWinControl::Invalidate() {
  InvalidateRect(ClientRect());
}

void TWinControl::InvalidateRect(const TRect& rect) {
  if (!MarkDirty(rect)) return;
  if (TForm* form = ParentForm()) {
    const TPoint origin = ClientToForm(TPoint{0, 0});
    form->RequestPaint(rect.Intersect(ClientRect()).Offset(origin.X, origin.Y));
  }
}

bool TWinControl::MarkDirty(const TRect& rect) {
  const TRect r = rect.Intersect(ClientRect());
  if (r.IsEmpty()) return false;
  FDirty = FDirty.Union(r);
  // Windowed children cover this control's picture on the screen, so whatever this control
  // repaints they repaint too.
  for (TControl* c : FControls) {
    if (!c->IsWindowed() || !c->Visible()) continue;
    const TRect part = r.Intersect(c->BoundsRect());
    if (!part.IsEmpty())
      static_cast<TWinControl*>(c)->MarkDirty(part.Offset(-c->Left(), -c->Top()));
  }
  return true;
}

void TWinControl::PaintWindow(const TRect& dirty) {
  FillRect(FOffscreen, dirty, ColorToPixel(Color()));
  PaintControls(FOffscreen, dirty);
  PresentRect(dirty);
}

void TWinControl::PaintControls(TBitmap32& target, const TRect& dirty) {
  const TRect area = dirty.Intersect(TRect{0, 0, target.Width, target.Height});
  for (size_t i = 0; i < FControls.size(); ++i) {
    TControl* c = FControls[i];
    if (c->IsWindowed() || !c->Visible()) continue;
    const TRect part = area.Intersect(c->BoundsRect());
    if (!part.IsEmpty()) c->Paint(target, part);
  }
}

void TWinControl::PresentRect(const TRect& rect) {
  TForm* form = ParentForm();
  if (!form || !form->HandleAllocated()) return;
  // What of this control shows through its parents' client areas.
  TRect visible = rect.Intersect(ClientRect());
  TPoint origin{0, 0};
  for (const TControl* c = this; c->Parent(); c = c->Parent()) {
    origin.X += c->Left();
    origin.Y += c->Top();
    const TRect parentArea = c->Parent()->ClientRect().Offset(-origin.X, -origin.Y);
    visible = visible.Intersect(parentArea);
  }
  if (visible.IsEmpty()) return;
  form->Backend().Present(form->Handle(), FOffscreen, visible, visible.Left + origin.X,
                          visible.Top + origin.Y);
}

void TWinControl::InsertControl(TControl* control) {
  FControls.push_back(control);
}

void TWinControl::RemoveControl(TControl* control) {
  if (TForm* form = ParentForm()) form->ForgetControl(control);
  std::erase(FControls, control);
}

bool TWinControl::CoveredByWindowedChild(const TRect& rect) const {
  for (const TControl* c : FControls)
    if (c->IsWindowed() && c->Visible() && rect.Intersect(c->BoundsRect()) == rect) return true;
  return false;
}

void TWinControl::PaintPending() {
  if (!Visible()) return;
  if (!FDirty.IsEmpty()) {
    if (FOffscreen.Width != Width() || FOffscreen.Height != Height())
      FOffscreen.SetSize(Width(), Height(), ColorToPixel(Color()));
    // Cleared first, so that invalidations made while painting wait for the next round.
    const TRect dirty = FDirty;
    FDirty = TRect{};
    // A windowed child covering all of it paints it itself (it was marked with this control)
    // and shows over this control's picture, which would only flash up on the screen first.
    if (!CoveredByWindowedChild(dirty)) PaintWindow(dirty);
  }
  for (size_t i = 0; i < FControls.size(); ++i)
    if (FControls[i]->IsWindowed()) static_cast<TWinControl*>(FControls[i])->PaintPending();
}

// ---- TForm ----

namespace {
constexpr int kDefaultFormWidth = 320;
constexpr int kDefaultFormHeight = 240;
} // namespace

TForm::TForm(TComponent* owner, TPlatformBackend& backend)
    : TWinControl(owner), FBackend(&backend) {
  SetParentColor(false);
  SetBounds(0, 0, kDefaultFormWidth, kDefaultFormHeight);
  Open(0);
}

TForm::TForm(TNativeHandle parentWindow, TPlatformBackend& backend)
    : TWinControl(nullptr), FBackend(&backend) {
  SetParentColor(false);
  SetBounds(0, 0, kDefaultFormWidth, kDefaultFormHeight);
  Open(parentWindow.Value);
}

TForm::~TForm() {
  // Components and children go while the window and this form still exist: timers stop
  // through it and controls leaving drop the form's references to them.
  DestroyComponents();
  while (ControlCount() > 0)
    delete Controls(ControlCount() - 1);
  FCapture = nullptr;
  if (FHandle) FBackend->CloseWindow(FHandle);
  FHandle = 0;
}

void TForm::Open(uintptr_t parent) {
  FHandle = FBackend->OpenWindow(parent, Left(), Top(), Width(), Height(), this);
  if (FHandle) Invalidate();
}

uintptr_t TForm::NativeHandle() const {
  return FHandle ? FBackend->NativeHandle(FHandle) : 0;
}

void TForm::SetBounds(int left, int top, int width, int height) {
  const TRect old = BoundsRect();
  TWinControl::SetBounds(left, top, width, height);
  if (FHandle && BoundsRect() != old)
    FBackend->MoveWindow(FHandle, Left(), Top(), Width(), Height());
}

bool TForm::PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  return FHandle && FBackend->Post(FHandle, msg, wParam, lParam);
}

void TForm::Update() {
  if (FHandle) PaintPending();
}

// Every request goes to the window system, which keeps the one pending paint itself: a flag of
// ours could miss a host validating the window (the paint asked for then never comes).
void TForm::RequestPaint(const TRect& area) {
  const TRect r = area.Intersect(ClientRect());
  if (FHandle && !r.IsEmpty()) FBackend->RequestPaint(FHandle, r);
}

void TForm::SetFocusedControl(TControl* control) {
  if (control == FFocused) return;
  if (TControl* old = FFocused) {
    old->Perform(QM_KILLFOCUS);
    if (FFocused == old) FFocused = nullptr;
  }
  if (control) {
    control->Perform(QM_SETFOCUS);
    FFocused = control;
  }
}

void TForm::ForgetControl(TControl* control) {
  if (FFocused && IsWithin(FFocused, control)) FFocused = nullptr;
  if (FHover && IsWithin(FHover, control)) FHover = nullptr;
  if (FCapture && IsWithin(FCapture, control)) FCapture->ReleaseCapture();
}

void TForm::UpdateHover(TControl* now) {
  if (now == FHover) return;
  TControl* old = FHover;
  FHover = now;
  if (old) old->Perform(QM_MOUSELEAVE);
  if (now && FHover == now) now->Perform(QM_MOUSEENTER);
}

void TForm::SendPointer(TControl* target, uint32_t msg, TMouseButton button, TShiftState shift,
                        TPoint formPoint) {
  if (!target) return;
  const TPoint p = target->FormToClient(formPoint);
  TMessage m;
  m.Msg = msg;
  m.Button = button;
  m.Shift = shift;
  m.X = p.X;
  m.Y = p.Y;
  target->WndProc(m);
}

// The drag is over without its release: the captured control hears of it and loses the
// capture, so no click follows and nothing stays captured.
void TForm::EndDragWithoutRelease() {
  FDrag = TShiftState{};
  if (TControl* c = FCapture) {
    c->Perform(QM_CANCELMODE);
    if (FCapture == c) c->ReleaseCapture();
  }
}

// Pointer routing. The control under the pointer is the deepest visible one whose rectangle
// holds it. A press captures that control for its drag; while a capture is held every event
// goes to the captured control and the pointer stays counted over it, so enter and leave are
// settled when the drag ends, where the captured control receives its leave and the control
// now under the pointer its enter. What the window system reports held decides: the drag keeps
// only the buttons still held, and one that keeps none ended elsewhere.
void TForm::HandlePointer(const TPointerEvent& e) {
  const TPoint p{e.X, e.Y};
  const TShiftState modifiers = e.Shift * kModifiers;
  switch (e.Kind) {
  case TPointerKind::CaptureLost:
    if (FDrag.Empty() && !FCapture) return;
    EndDragWithoutRelease();
    UpdateHover(nullptr);
    return;
  case TPointerKind::Leave:
    if (!FCapture) UpdateHover(nullptr);
    return;
  default:
    break;
  }

  // What was held before this event; a press adds its button, a release takes its own away.
  TShiftState before = e.Shift * kButtons;
  if (e.Kind == TPointerKind::Press) before.Exclude(ButtonShift(e.Button));
  if (e.Kind == TPointerKind::Release) before.Include(ButtonShift(e.Button));
  if (!FDrag.Empty() && (FDrag * before).Empty()) {
    EndDragWithoutRelease();
    UpdateHover(FindControlAt(p));
  }
  FDrag = FDrag * before;

  switch (e.Kind) {
  case TPointerKind::Enter:
    // Back into the window during a drag is no movement of it.
    if (FCapture) break;
    [[fallthrough]];
  case TPointerKind::Move: {
    if (!FCapture) UpdateHover(FindControlAt(p));
    SendPointer(FCapture ? FCapture : FHover, QM_MOUSEMOVE, mbLeft, modifiers + FDrag, p);
    break;
  }
  case TPointerKind::Press: {
    const int distance = FBackend->DoubleClickDistance();
    const bool isDouble =
        e.Double ||
        (FHavePress && !FLastPressDouble && e.Button == FLastPressButton &&
         e.TimeMs >= FLastPressTime && e.TimeMs - FLastPressTime <= FBackend->DoubleClickTimeMs() &&
         std::abs(e.X - FLastPressAt.X) <= distance && std::abs(e.Y - FLastPressAt.Y) <= distance);
    FHavePress = true;
    FLastPressDouble = isDouble;
    FLastPressButton = e.Button;
    FLastPressAt = p;
    FLastPressTime = e.TimeMs;
    FDrag.Include(ButtonShift(e.Button));
    if (!FCapture) {
      UpdateHover(FindControlAt(p));
      if (FHover) FHover->SetCapture();
    }
    TShiftState shift = modifiers + FDrag;
    if (isDouble) shift.Include(ssDouble);
    SendPointer(FCapture ? FCapture : FHover, QM_MOUSEDOWN, e.Button, shift, p);
    break;
  }
  case TPointerKind::Release: {
    FDrag.Exclude(ButtonShift(e.Button));
    SendPointer(FCapture ? FCapture : FindControlAt(p), QM_MOUSEUP, e.Button, modifiers + FDrag, p);
    if (FDrag.Empty()) {
      if (FCapture) FCapture->ReleaseCapture();
      UpdateHover(FindControlAt(p));
    }
    break;
  }
  default:
    break;
  }
}

void TForm::HandlePosted(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  Perform(msg, wParam, lParam);
}

void TForm::HandleTimer(uintptr_t timerId) {
  for (size_t i = 0; i < FTimers.size(); ++i) {
    if (FTimers[i]->FTimerId == timerId) {
      FTimers[i]->Timer();
      return;
    }
  }
}

// The window system counts the exposed area as painted once this returns, so it only joins
// what waits and everything waiting is painted now; asking the window system for a paint here
// would be answered with another expose (Windows does), and that paint with the next. Whatever
// the painting itself invalidates still asks for a paint of its own.
void TForm::HandlePaint(const TRect& exposed) {
  MarkDirty(exposed);
  Update();
}

// ---- TTimer ----

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  for (TComponent* c = owner; c && !FForm; c = c->Owner())
    FForm = dynamic_cast<TForm*>(c);
  if (FForm) FForm->FTimers.push_back(this);
  Restart();
}

TTimer::~TTimer() {
  Stop();
  if (FForm) std::erase(FForm->FTimers, this);
}

void TTimer::SetInterval(uint32_t ms) {
  if (ms == FInterval) return;
  FInterval = ms;
  Restart();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  Restart();
}

void TTimer::Timer() {
  if (OnTimer) OnTimer(this);
}

void TTimer::Restart() {
  Stop();
  if (FEnabled && FInterval > 0 && FForm && FForm->HandleAllocated())
    FTimerId = FForm->Backend().StartTimer(FForm->Handle(), FInterval);
}

void TTimer::Stop() {
  if (FTimerId && FForm && FForm->HandleAllocated())
    FForm->Backend().StopTimer(FForm->Handle(), FTimerId);
  FTimerId = 0;
}

// ---- TLabel ----

TLabel::TLabel(TComponent* owner) : TControl(owner) {
  SetBounds(0, 0, 65, 17);
  AdjustBounds();
}

void TLabel::SetCaption(std::string caption) {
  if (caption == FCaption) return;
  FCaption = std::move(caption);
  AdjustBounds();
  Invalidate();
}

void TLabel::SetAlignment(TAlignment alignment) {
  if (alignment == FAlignment) return;
  FAlignment = alignment;
  Invalidate();
}

void TLabel::SetAutoSize(bool autoSize) {
  if (autoSize == FAutoSize) return;
  FAutoSize = autoSize;
  AdjustBounds();
}

void TLabel::SetTransparent(bool transparent) {
  if (transparent == FTransparent) return;
  FTransparent = transparent;
  Invalidate();
}

void TLabel::SetFont(const TFont& font) {
  TControl::SetFont(font);
  AdjustBounds();
}

// The box follows the text; an empty caption measures as one space. The left edge stays,
// except for right-justified text, which keeps the right edge.
void TLabel::AdjustBounds() {
  if (!FAutoSize) return;
  const TTextExtent e = MeasureText(Font(), FCaption.empty() ? std::string_view(" ") : FCaption);
  const int left = FAlignment == taRightJustify ? Left() + Width() - e.Width : Left();
  SetBounds(left, Top(), e.Width, e.Height);
}

void TLabel::Paint(TBitmap32& target, const TRect& dirty) {
  const TRect box = BoundsRect();
  const TRect clip = dirty.Intersect(box).Intersect(TRect{0, 0, target.Width, target.Height});
  if (clip.IsEmpty()) return;
  if (!FTransparent) FillRect(target, clip, ColorToPixel(Color()));
  if (!FCaption.empty()) RenderText(target, box, clip, Font(), FCaption, FAlignment);
}
