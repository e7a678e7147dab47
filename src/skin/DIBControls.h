// The skin's controls: the image control family, its features (hover highlight) and the
// container that paints them through one off-screen picture.
//
// Painting: a TDIBImageContainer draws its background, then its windowless children back to
// front into its off-screen picture, and presents the dirty rectangle in one block transfer.
// An image control paints through the container's one scratch picture: the pixels beneath it
// are copied in, its content is drawn on top, and the result is blended back with the
// control's Opacity, so that only what the content drew fades. Other windowless controls
// (labels) paint straight into the off-screen picture.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "skin/DIB.h"
#include "skin/DIBImageList.h"

class TCustomDIBControl;
class TDIBImageContainer;

// A behaviour attached to a control. It sees every message of its control before the control
// does and may mark it handled, which ends its processing there.
class TDIBFeature {
public:
  explicit TDIBFeature(TCustomDIBControl& control) : FControl(control) {}
  virtual ~TDIBFeature() = default;
  TCustomDIBControl& Control() const { return FControl; }
  virtual void HandleMessage(TMessage& message, bool& handled) = 0;
  // Sets a stored property from its text; false for a name the feature does not have or a
  // value it cannot take.
  virtual bool SetProperty(const std::string& name, const std::string& value);

private:
  TCustomDIBControl& FControl;
};

using TDIBFeatureFactory = std::function<std::unique_ptr<TDIBFeature>(TCustomDIBControl&)>;
// Feature classes by name. THighlightDIB is built in; others are added here before the
// controls that name them are loaded. Call from the UI thread.
void RegisterDIBFeatureClass(const std::string& className, TDIBFeatureFactory factory);
bool IsDIBFeatureClassRegistered(const std::string& className);

// Raises the control's opacity to HighlightOpacity while the pointer rests on it or while it
// has the focus, and puts the opacity it found back afterwards.
class THighlightDIB : public TDIBFeature {
public:
  explicit THighlightDIB(TCustomDIBControl& control) : TDIBFeature(control) {}
  uint8_t HighlightOpacity() const { return FHighlightOpacity; }
  void SetHighlightOpacity(uint8_t v) { FHighlightOpacity = v; }
  void HandleMessage(TMessage& message, bool& handled) override;
  bool SetProperty(const std::string& name, const std::string& value) override;

private:
  void Highlight();
  void Restore();
  uint8_t FHighlightOpacity = 255;
  uint8_t FSavedOpacity = 255;
  bool FSaved = false;
};

// One entry of a control's DIBFeatures: the feature's class name and its stored properties
// (name and text value). The feature object is created, and owned by the item, when the control
// is loaded.
class TDIBFeatureItem {
public:
  const std::string& FeatureClassName() const { return FFeatureClassName; }
  void SetFeatureClassName(std::string name) { FFeatureClassName = std::move(name); }
  std::map<std::string, std::string>& DIBFeatureParameters() { return FParameters; }
  TDIBFeature* Feature() const { return FFeature.get(); }
  // Creates the feature for `control`; EDIBError "<class> has not been registered" for an
  // unknown class, or naming a property the feature cannot take.
  void CreateFeature(TCustomDIBControl& control);

private:
  std::string FFeatureClassName;
  std::map<std::string, std::string> FParameters;
  std::unique_ptr<TDIBFeature> FFeature;
};

using TDIBPaintEvent = std::function<void(TObject* sender, TBitmap32& picture)>;

// The base of the image controls: a windowless control that lives on a TDIBImageContainer.
class TCustomDIBControl : public TControl {
public:
  // `owner` must be the container or own one ("Owner cannot be nil", "Parent must be a
  // TDIBContainer" otherwise); the control is placed on that container.
  explicit TCustomDIBControl(TComponent* owner);
  ~TCustomDIBControl() override;

  TDIBImageContainer* Container() const { return FContainer; }
  uint8_t Opacity() const { return FOpacity; }
  void SetOpacity(uint8_t v);
  int16_t DIBTabOrder() const { return FDIBTabOrder; }
  void SetDIBTabOrder(int16_t v) { FDIBTabOrder = v < -1 ? int16_t{-1} : v; }
  bool MouseInControl() const { return FMouseInside; }

  // The DIBFeatures collection.
  TDIBFeatureItem& AddFeatureItem(const std::string& className);
  int FeatureCount() const { return static_cast<int>(FFeatures.size()); }
  TDIBFeatureItem& FeatureItems(int index) { return *FFeatures.at(static_cast<size_t>(index)); }
  // To be called once the stored properties are set: creates the feature objects.
  virtual void Loaded();

  // Paints through `scratch` into `target` (the parent's off-screen picture), within `dirty`.
  void PaintDIB(TBitmap32& target, TBitmap32& scratch, const TRect& dirty);
  void Paint(TBitmap32& target, const TRect& dirty) override;

  void WndProc(TMessage& message) override;

  // The scratch picture, in control coordinates, while OnPaintStart and OnPaintEnd run.
  TDIBPaintEvent OnPaintStart;
  TDIBPaintEvent OnPaintEnd;

protected:
  // Draws the control's content into `target` with the control's top-left corner at x, y,
  // touching only `clip` (target coordinates). `target` holds what lies beneath the control.
  virtual void PaintContent(TBitmap32& target, int x, int y, const TRect& clip) = 0;
  void Click() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseEnter() override;
  void MouseLeave() override;

private:
  TDIBImageContainer* FContainer = nullptr;
  uint8_t FOpacity = 255;
  int16_t FDIBTabOrder = -1;
  bool FMouseInside = false;
  std::vector<std::unique_ptr<TDIBFeatureItem>> FFeatures;
};

class TDIBImage : public TCustomDIBControl {
public:
  explicit TDIBImage(TComponent* owner);

  TDIBImageLink& IndexMain() { return FIndexMain; }
  TDIBImageList* DIBImageList() const { return FIndexMain.DIBImageList(); }
  void SetDIBImageList(TDIBImageList* list) { FIndexMain.SetDIBImageList(list); }
  int Angle() const { return FAngle; }
  void SetAngle(int v);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  bool Center() const { return FCenter; }
  void SetCenter(bool v);
  double Scale() const { return FScale; }
  // Also switches Stretch off.
  void SetScale(double v);
  bool Stretch() const { return FStretch; }
  // Switching it on switches AutoSize off.
  void SetStretch(bool v);

  // The auto-size box of the linked picture at this Angle and Scale; false without a picture.
  bool GetAutoSizeDimensions(int& width, int& height) const;

protected:
  void PaintContent(TBitmap32& target, int x, int y, const TRect& clip) override;

private:
  void PictureChanged();
  void AdjustSize();
  TDIBImageLink FIndexMain;
  int FAngle = 0;
  bool FAutoSize = false;
  bool FCenter = false;
  double FScale = 100.0;
  bool FStretch = false;
};

enum TTileMethod { tmCenter, tmTile };
enum TBorderDrawPosition { bdOverControls, bdUnderControls };

class TDIBImageContainer : public TWinControl {
public:
  explicit TDIBImageContainer(TComponent* owner);
  ~TDIBImageContainer() override;

  TDIBImageList* DIBImageList() const { return FIndexImage.DIBImageList(); }
  void SetDIBImageList(TDIBImageList* list) { FIndexImage.SetDIBImageList(list); }
  TDIBImageLink& IndexImage() { return FIndexImage; }
  TTileMethod TileMethod() const { return FTileMethod; }
  void SetTileMethod(TTileMethod v);
  // Kept for stored layouts; this container draws no border, so it changes nothing.
  TBorderDrawPosition BorderDrawPosition() const { return FBorderDrawPosition; }
  void SetBorderDrawPosition(TBorderDrawPosition v) { FBorderDrawPosition = v; }

  // Paints background and children into the off-screen picture and presents `dirty` in one
  // block transfer. There is no separate erase step: nothing reaches the screen before the
  // picture is complete.
  void PaintWindow(const TRect& dirty) override;

  // The image controls that take the focus (DIBTabOrder 0 or more), in focus order.
  std::vector<TCustomDIBControl*> FocusOrder() const;
  // Moves the focus to the next (or previous) control of FocusOrder(); false when there is none.
  bool SelectNextDIBControl(bool forward);

private:
  void PaintBackground(const TRect& dirty);
  TDIBImageLink FIndexImage;
  TTileMethod FTileMethod = tmCenter;
  TBorderDrawPosition FBorderDrawPosition = bdOverControls;
  TBitmap32 FScratch;
};
