// Pictures of the skin: 32-bit device-independent bitmaps (blue, green, red and a fourth byte
// per pixel, rows bottom-up) with the drawing properties the image controls use.
//
// Stored raw data of a picture is a device-independent bitmap without file header: a 40-byte
// info header (size 40, width, height > 0 for bottom-up rows or < 0 for top-down, 1 plane,
// 32 bits per pixel, no compression; little-endian) followed by the pixels. Empty data is an
// empty picture. SaveToData/LoadFromData add and remove the "DIBCMP" packing of
// DIBCompressor.h.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/Bitmap32.h"
#include "platform/Types.h"
#include "skin/DIBCompressor.h"

enum TTransparentMode { tmAuto, tmFixed };

// The size of the box a w x h picture needs at `angle` degrees and scales sx, sy percent:
// ceil(|W cos a| + |H sin a|) by ceil(|W sin a| + |H cos a|) with W = w sx / 100,
// H = h sy / 100, each odd dimension raised by one.
struct TDIBSize {
  int Width = 0;
  int Height = 0;
  friend bool operator==(const TDIBSize&, const TDIBSize&) = default;
};
TDIBSize DIBAutoSize(int w, int h, int angle, double sx, double sy);

// (o s + (255 - o) d + 255) div 256 for one colour byte.
constexpr uint32_t BlendByte(uint32_t o, uint32_t s, uint32_t d) {
  return (o * s + (255 - o) * d + 255) >> 8;
}
// Blue, green and red by BlendByte; the fourth byte is `alpha`.
constexpr uint32_t BlendPixel(uint32_t o, uint32_t s, uint32_t d, uint32_t alpha) {
  return (alpha << 24) | (BlendByte(o, (s >> 16) & 0xFF, (d >> 16) & 0xFF) << 16) |
         (BlendByte(o, (s >> 8) & 0xFF, (d >> 8) & 0xFF) << 8) | BlendByte(o, s & 0xFF, d & 0xFF);
}

// Blends `src` onto `dst` with its top-left corner at x, y, clipped to `dst`, with opacity o:
// colour bytes by BlendByte, the fourth byte the larger of the two. Opacity 255 copies the
// source, opacity 0 leaves the target as it is.
void BlendBitmap(TBitmap32& dst, int x, int y, const TBitmap32& src, uint8_t opacity);
// The same, touching only `clip` of `dst`.
void BlendBitmap(TBitmap32& dst, int x, int y, const TBitmap32& src, uint8_t opacity,
                 const TRect& clip);
// Copies the w x h area of `src` at sx, sy into `dst` at dx, dy, clipped to both pictures.
void CopyBitmapRect(TBitmap32& dst, int dx, int dy, const TBitmap32& src, int sx, int sy, int w,
                    int h);
// Fills the rectangle, clipped to the picture.
void FillBitmapRect(TBitmap32& dst, int x, int y, int w, int h, uint32_t pixel);

class TAbstractSuperDIB {
public:
  TAbstractSuperDIB() = default;
  TAbstractSuperDIB(const TAbstractSuperDIB&) = default;
  TAbstractSuperDIB& operator=(const TAbstractSuperDIB&) = default;
  virtual ~TAbstractSuperDIB() = default;

  int Width() const { return FBitmap.Width; }
  int Height() const { return FBitmap.Height; }
  bool Empty() const { return FBitmap.Empty(); }
  // Sizes are 16-bit: larger values are clamped to 65535, negative ones to 0.
  virtual void SetSize(int w, int h);
  TBitmap32& Bitmap() { return FBitmap; }
  const TBitmap32& Bitmap() const { return FBitmap; }
  // Takes over the pixels of `bitmap`; its size must fit in 16 bits.
  void SetBitmap(TBitmap32 bitmap);

  uint8_t Opacity() const { return FOpacity; }
  void SetOpacity(uint8_t v) { FOpacity = v; }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  // 0x00BBGGRR, as colours are given in the layout.
  uint32_t TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(uint32_t v) { FTransparentColor = v & 0xFFFFFF; }
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode v) { FTransparentMode = v; }
  bool Masked() const { return FMasked; }
  void SetMasked(bool v) { FMasked = v; }
  int Angle() const { return FAngle; }
  // Kept in 0..359.
  void SetAngle(int v);
  double ScaleX() const { return FScaleX; }
  double ScaleY() const { return FScaleY; }
  void SetScale(double sx, double sy) {
    FScaleX = sx;
    FScaleY = sy;
  }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v) { FAutoSize = v; }

  // The 24-bit key in the picture's byte order (0x00RRGGBB): TransparentColor in mode tmFixed,
  // the bottom-left pixel in mode tmAuto. Meaningful only while Transparent is on.
  uint32_t KeyColor() const;

  // Draws the picture onto `target` with its top-left corner at x, y, clipped, at the
  // picture's own Angle and Scale. Key-coloured pixels are skipped while Transparent is on;
  // pixels whose fourth byte is 0 while Masked is on. Other pixels are copied whole, or, below
  // Opacity 255, their colour is blended and their fourth byte copied.
  void Draw(TBitmap32& target, int x, int y) const;
  // The same at the given angle and scales. At angle 0 and 100 % across and down the picture
  // is copied pixel for pixel; otherwise it is resampled (nearest pixel) into the auto-size
  // box whose top-left corner is at x, y.
  void DrawTransformed(TBitmap32& target, int x, int y, int angle, double sx, double sy) const;
  // Both, touching only `clip` of the target.
  void Draw(TBitmap32& target, int x, int y, const TRect& clip) const;
  void DrawTransformed(TBitmap32& target, int x, int y, int angle, double sx, double sy,
                       const TRect& clip) const;

  // Stored data, raw or "DIBCMP"-packed. Throws EDIBError on data it cannot read and leaves the
  // picture unchanged then.
  void LoadFromData(std::span<const uint8_t> stored);
  std::vector<uint8_t> SaveToData() const;
  std::vector<uint8_t> SaveToData(const TGUID& compressor) const;

protected:
  TBitmap32 FBitmap;
  uint8_t FOpacity = 255;
  bool FTransparent = false;
  uint32_t FTransparentColor = 0;
  TTransparentMode FTransparentMode = tmFixed;
  bool FMasked = false;
  int FAngle = 0;
  double FScaleX = 100.0;
  double FScaleY = 100.0;
  bool FAutoSize = false;
};

// A picture in memory, as image lists hold them.
class TMemoryDIB : public TAbstractSuperDIB {};

// The off-screen picture a container draws into; the platform shows its pixels on screen.
class TWinDIB : public TAbstractSuperDIB {};
