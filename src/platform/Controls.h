// Components, controls and the form: a small component library of our own above the window
// backend of Backend.h.
//
// Ownership: a component frees the components it owns when it is freed (last created first).
// Stacking: a windowed control (TWinControl) holds its child controls back to front; the
// front-most visible child whose rectangle contains the pointer receives it. Only a TForm has a
// window of the backend; every other control, windowed or not, is drawn by the form into
// off-screen pictures: a windowless control paints into its parent's picture at its position, a
// windowed control keeps a picture of its own and presents it itself.
//
// Messages: every message for a control, pointer and focus notifications included, passes
// through its virtual WndProc first; TControl::WndProc then calls the matching virtual
// operation (MouseDown, Click, MouseEnter, DoEnter, ...), which fires the event property.
// Overriding WndProc sees and may swallow every message before the control acts on it.
//
// Pointer: the form routes every event to the deepest visible control under the pointer. A
// press captures that control and starts a drag, which lasts while the window system reports
// one of the drag's buttons held; meanwhile all events go to the captured control and it stays
// the control the pointer is counted over, so QM_MOUSELEAVE and QM_MOUSEENTER for a drag that
// ended elsewhere arrive right after the release (leave to the captured control, enter to the
// one now under the pointer). The buttons a control sees held are the drag's buttons that the
// window system still reports held: a button held down from elsewhere is no drag here. A drag
// whose release never comes (an event holds none of its buttons, or the window lost the
// pointer) ends without one: the captured control receives QM_CANCELMODE and loses the
// capture, no click follows, and moves after it are plain moves even while the button stays
// down. A click is a left press and release on one control, released over it (not over a
// control in front), where the press was not the second of a double click; the second press
// arrives as a QM_MOUSEDOWN with ssDouble. Each form has a capture of its own.
#pragma once

#include "platform/Backend.h"
#include "platform/Bitmap32.h"
#include "platform/Types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Messages that controls receive. Numbers from QM_USER upwards are free for posted messages.
enum : uint32_t {
  QM_MOUSEDOWN = 0x0201,
  QM_MOUSEUP = 0x0202,
  QM_MOUSEMOVE = 0x0200,
  QM_MOUSEENTER = 0x02A1,
  QM_MOUSELEAVE = 0x02A3,
  // Focus arrives (QM_SETFOCUS) or goes (QM_KILLFOCUS). Both are sent before the change takes
  // effect: during QM_SETFOCUS Focused() is still false, during QM_KILLFOCUS still true.
  QM_SETFOCUS = 0x0007,
  QM_KILLFOCUS = 0x0008,
  // The drag on the control ended without its release; it will not come.
  QM_CANCELMODE = 0x001F,
  QM_USER = 0x0400,
};

// A message with its parameters. Pointer messages carry the button, the shift state (held
// buttons, modifiers, ssDouble on the second press of a double click) and the position in the
// receiving control's coordinates.
struct TMessage {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;
  TMouseButton Button = mbLeft;
  TShiftState Shift;
  int X = 0;
  int Y = 0;
};

class TObject {
public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;
using TMouseEvent =
    std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;

enum TOperation { opInsert, opRemove };

class TComponent : public TObject {
public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t tag) { FTag = tag; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const { return FComponents.at(static_cast<size_t>(index)); }
  TComponent* FindComponent(std::string_view name) const;
  // Frees every owned component, the last inserted first.
  void DestroyComponents();
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  // Asks for a Notification(this, opRemove) on `other` when this component is freed.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

protected:
  // Called on the owner when a component is inserted or removed, and on every component that
  // asked through FreeNotification when a component is freed.
  virtual void Notification(TComponent* component, TOperation operation);

private:
  TComponent* FOwner = nullptr;
  std::string FName;
  int32_t FTag = 0;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
};

class TWinControl;
class TForm;

enum TAlign { alNone, alClient };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TSet<TAnchorKind>;

class TControl : public TComponent {
public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  // Moves and sizes the control (in its parent's coordinates) and repaints what it uncovered.
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return TRect::FromSize(FLeft, FTop, FWidth, FHeight); }
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  TRect ClientRect() const { return TRect{0, 0, FWidth, FHeight}; }
  int ClientWidth() const { return FWidth; }
  int ClientHeight() const { return FHeight; }

  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible, and so are all its parents.
  bool Showing() const;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* parent);
  // The form this control lives on (itself for a form), or nullptr.
  TForm* ParentForm() const;
  void BringToFront();
  void SendToBack();

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign align);
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors anchors) { FAnchors = anchors; }

  // The control's colour. Windowless controls start with their parent's (ParentColor).
  TColor Color() const;
  void SetColor(TColor color);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool v);
  const TFont& Font() const { return FFont; }
  virtual void SetFont(const TFont& font);

  // Conversions between this control's coordinates and its form's client coordinates.
  TPoint ClientToForm(TPoint p) const;
  TPoint FormToClient(TPoint p) const;

  // Marks the control (or a rectangle of it, in its own coordinates) for repainting; the
  // paint follows on the next pump of the backend or on Update() of the form.
  virtual void Invalidate();
  virtual void InvalidateRect(const TRect& rect);
  // Invalidates and paints at once.
  void Repaint();

  // A windowless control paints itself into its parent's off-screen picture `target`, at its
  // BoundsRect (parent coordinates), touching nothing outside `dirty` (parent coordinates,
  // already clipped to the picture).
  virtual void Paint(TBitmap32& target, const TRect& dirty);
  virtual bool IsWindowed() const { return false; }

  // The message hook: every message for the control arrives here first.
  virtual void WndProc(TMessage& message);
  intptr_t Perform(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);

  void SetFocus();
  bool Focused() const;

  // The pointer capture of the control's form: while a control holds it, every pointer event
  // of the form goes to it. A press captures the control under the pointer by itself for the
  // drag it starts. Without a form there is no capture.
  void SetCapture();
  void ReleaseCapture();
  bool MouseCapture() const;

  TNotifyEvent OnClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  // The drag this control captured ended without its release (QM_CANCELMODE).
  TNotifyEvent OnCancelMode;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

protected:
  virtual void Click();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void DoEnter();
  virtual void DoExit();
  // After the size changed (width or height), before the repaint.
  virtual void Resize() {}

private:
  friend class TWinControl;
  bool IsUnderPointer(TPoint p);
  void InvalidateInParent();
  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
  bool FVisible = true;
  bool FParentColor = true;
  bool FClicked = false;
  TColor FColor = clWhite;
  TAlign FAlign = alNone;
  TAnchors FAnchors{akLeft, akTop};
  TFont FFont;
  TWinControl* FParent = nullptr;
};

class TWinControl : public TControl {
public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  bool IsWindowed() const override { return true; }
  int ControlCount() const { return static_cast<int>(FControls.size()); }
  // Children in stacking order, index 0 at the back.
  TControl* Controls(int index) const { return FControls.at(static_cast<size_t>(index)); }
  // The front-most visible child whose rectangle contains `p` (client coordinates), hit over
  // its whole rectangle whatever it draws there; nullptr where there is none.
  TControl* ControlAtPos(TPoint p) const;
  // The deepest visible control at `p` (client coordinates): a child, a child's child, ... or
  // this control itself; nullptr when `p` is outside.
  TControl* FindControlAt(TPoint p);

  void SetBounds(int left, int top, int width, int height) override;
  void InvalidateRect(const TRect& rect) override;
  void Invalidate() override;
  // The part waiting for a repaint, in client coordinates.
  const TRect& DirtyRect() const { return FDirty; }

  // The off-screen picture of the control's size into which it and its windowless children
  // are drawn before they reach the screen.
  TBitmap32& Offscreen() { return FOffscreen; }

  // Paints `dirty` (client coordinates): by default fills it with Color, paints the windowless
  // children that meet it, back to front, into Offscreen() and presents it.
  virtual void PaintWindow(const TRect& dirty);

protected:
  // Paints the visible windowless children meeting `dirty`, back to front, into `target`.
  void PaintControls(TBitmap32& target, const TRect& dirty);
  // Shows `rect` (client coordinates) of Offscreen() on the screen in one block transfer.
  void PresentRect(const TRect& rect);
  // Places children with alClient and anchors after a change of the client size.
  void AlignControls(int oldWidth, int oldHeight);

private:
  friend class TControl;
  friend class TForm;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  // Adds `rect` (client coordinates) to what waits for a repaint, here and in the windowed
  // children it meets, without asking for a paint; false when none of it lies in the control.
  bool MarkDirty(const TRect& rect);
  bool CoveredByWindowedChild(const TRect& rect) const;
  void PaintPending();

  std::vector<TControl*> FControls;
  TRect FDirty;
  TBitmap32 FOffscreen;
};

// A native window handle given by a host, for creating a form inside it.
struct TNativeHandle {
  uintptr_t Value = 0;
};

enum TBorderStyle { bsNone, bsSingle, bsSizeable };

// A window of the backend: a top-level window (owner constructor) or a child of a native window
// (parent-handle constructor). Borderless, so its client size is its size. When the backend
// cannot create the window, the form exists without one: HandleAllocated() is false and the
// form neither paints nor receives anything. The window lives in the backend given at
// construction, the headless one unless another is named.
//
// Give the form its client size before adding children: an alClient child takes the size the
// form has then, and anchored children of it move with every later change of that size.
class TForm : public TWinControl, private TWindowClient {
public:
  explicit TForm(TComponent* owner, TPlatformBackend& backend = HeadlessPlatformBackend());
  explicit TForm(TNativeHandle parentWindow, TPlatformBackend& backend = HeadlessPlatformBackend());
  ~TForm() override;

  bool HandleAllocated() const { return FHandle != 0; }
  TWindowHandle Handle() const { return FHandle; }
  // The native window (HWND, X11 window id) of the form; 0 without one.
  uintptr_t NativeHandle() const;
  TPlatformBackend& Backend() const { return *FBackend; }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(std::string caption) { FCaption = std::move(caption); }
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle style) { FBorderStyle = style; }
  void SetClientWidth(int w) { SetWidth(w); }
  void SetClientHeight(int h) { SetHeight(h); }
  void SetBounds(int left, int top, int width, int height) override;

  // Queues a message for the form; it arrives at WndProc on a later pump. False without window.
  bool PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam);
  // Paints everything pending now.
  void Update();

  TControl* FocusedControl() const { return FFocused; }
  // The control the pointer is over, as the form last saw it.
  TControl* HoverControl() const { return FHover; }
  // The control that holds the form's pointer capture, or nullptr.
  TControl* CaptureControl() const { return FCapture; }

private:
  friend class TControl;
  friend class TWinControl;
  friend class TTimer;
  void Open(uintptr_t parent);
  void SetFocusedControl(TControl* control);
  // Drops every reference to `control` and its children before they go.
  void ForgetControl(TControl* control);
  void UpdateHover(TControl* now);
  void EndDragWithoutRelease();
  void SendPointer(TControl* target, uint32_t msg, TMouseButton button, TShiftState shift,
                   TPoint formPoint);
  // Asks the window system for a paint of `area` (client coordinates).
  void RequestPaint(const TRect& area);

  void HandlePointer(const TPointerEvent& event) override;
  void HandlePosted(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  void HandleTimer(uintptr_t timerId) override;
  void HandlePaint(const TRect& exposed) override;

  TPlatformBackend* FBackend;
  TWindowHandle FHandle = 0;
  std::string FCaption;
  TBorderStyle FBorderStyle = bsNone;
  TControl* FFocused = nullptr;
  TControl* FHover = nullptr;
  TControl* FCapture = nullptr;
  // The buttons of the drag under way: pressed in this window and still held.
  TShiftState FDrag;
  // The last press, for recognising a double click.
  bool FHavePress = false;
  bool FLastPressDouble = false;
  TMouseButton FLastPressButton = mbLeft;
  TPoint FLastPressAt;
  uint64_t FLastPressTime = 0;
  std::vector<class TTimer*> FTimers;
};

// An interval timer on its form's thread: the first TForm among its owners. Without such a
// form, or while the form has no window, it does not run.
class TTimer : public TComponent {
public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  uint32_t Interval() const { return FInterval; }
  void SetInterval(uint32_t ms);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);

  TNotifyEvent OnTimer;

protected:
  virtual void Timer();

private:
  friend class TForm;
  void Restart();
  void Stop();
  TForm* FForm = nullptr;
  uint32_t FInterval = 1000;
  bool FEnabled = true;
  uintptr_t FTimerId = 0;
};

// A windowless text label. It paints straight into its parent's off-screen picture: when not
// Transparent it first fills its box with its colour (the parent's unless set), then draws the
// caption's glyphs in the font colour, aligned horizontally in the box, at the top. With
// AutoSize the box follows the text (an empty caption measures as one space) while its left
// and top edges stay where they are.
class TLabel : public TControl {
public:
  explicit TLabel(TComponent* owner);

  const std::string& Caption() const { return FCaption; }
  void SetCaption(std::string caption);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment alignment);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool autoSize);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool transparent);
  void SetFont(const TFont& font) override;

  void Paint(TBitmap32& target, const TRect& dirty) override;

private:
  void AdjustBounds();
  std::string FCaption;
  TAlignment FAlignment = taLeftJustify;
  bool FAutoSize = true;
  bool FTransparent = false;
};
