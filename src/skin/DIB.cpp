#include "skin/DIB.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "skin/DIBError.h"

namespace {

constexpr int MaxSide = 65535;
constexpr size_t InfoHeaderSize = 40;

// Sine and cosine of whole degrees, exact at multiples of 90 so that quarter turns give
// boxes without a stray extra pixel.
void SinCosDegrees(int angle, double& s, double& c) {
  angle = ((angle % 360) + 360) % 360;
  switch (angle) {
  case 0:
    s = 0, c = 1;
    return;
  case 90:
    s = 1, c = 0;
    return;
  case 180:
    s = 0, c = -1;
    return;
  case 270:
    s = -1, c = 0;
    return;
  default:
    break;
  }
  const double r = angle * std::numbers::pi / 180.0;
  s = std::sin(r);
  c = std::cos(r);
}

int BoxSide(double v) {
  if (!(v > 0)) return 0; // also NaN
  const double side = std::ceil(v - 1e-9);
  int n = side > MaxSide ? MaxSide - 1 : static_cast<int>(side);
  return n + (n & 1);
}

// How one picture's pixels land on the target.
struct TPutMode {
  bool Keyed = false;
  uint32_t Key = 0;
  bool Masked = false;
  uint32_t Opacity = 255;
};

inline void PutPixel(uint32_t& d, uint32_t s, const TPutMode& m) {
  if (m.Keyed && (s & 0xFFFFFF) == m.Key) return;
  if (m.Masked && (s >> 24) == 0) return;
  d = m.Opacity == 255 ? s : BlendPixel(m.Opacity, s, d, s >> 24);
}

void PutRow(uint32_t* d, const uint32_t* s, int n, const TPutMode& m) {
  if (!m.Keyed && !m.Masked && m.Opacity == 255) {
    std::memcpy(d, s, static_cast<size_t>(n) * 4);
  } else if (m.Keyed && !m.Masked && m.Opacity == 255) {
    // The common case of the skin: colour-keyed copies, written without a branch.
    const uint32_t key = m.Key;
    for (int i = 0; i < n; ++i) {
      const uint32_t v = s[i];
      d[i] = (v & 0xFFFFFF) == key ? d[i] : v;
    }
  } else {
    for (int i = 0; i < n; ++i)
      PutPixel(d[i], s[i], m);
  }
}

uint32_t GetLE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t GetLE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
void PutLE(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

} // namespace

TDIBSize DIBAutoSize(int w, int h, int angle, double sx, double sy) {
  double s, c;
  SinCosDegrees(angle, s, c);
  const double W = w * sx / 100.0;
  const double H = h * sy / 100.0;
  return {BoxSide(std::fabs(W * c) + std::fabs(H * s)),
          BoxSide(std::fabs(W * s) + std::fabs(H * c))};
}

void BlendBitmap(TBitmap32& dst, int x, int y, const TBitmap32& src, uint8_t opacity) {
  BlendBitmap(dst, x, y, src, opacity, TRect{0, 0, dst.Width, dst.Height});
}

void BlendBitmap(TBitmap32& dst, int x, int y, const TBitmap32& src, uint8_t opacity,
                 const TRect& clip) {
  if (opacity == 0) return;
  const TRect r = clip.Intersect(TRect{0, 0, dst.Width, dst.Height})
                      .Intersect(TRect::FromSize(x, y, src.Width, src.Height));
  const int x0 = r.Left, y0 = r.Top, x1 = r.Right, y1 = r.Bottom;
  if (x0 >= x1 || y0 >= y1) return;
  const int n = x1 - x0;
  const uint32_t o = opacity;
  for (int ty = y0; ty < y1; ++ty) {
    uint32_t* d = dst.Row(ty) + x0;
    const uint32_t* s = src.Row(ty - y) + (x0 - x);
    if (o == 255) {
      std::memcpy(d, s, static_cast<size_t>(n) * 4);
      continue;
    }
    for (int i = 0; i < n; ++i) {
      const uint32_t sv = s[i], dv = d[i];
      // Untouched scratch pixels equal what lies beneath, and the formula returns d for s == d:
      // skip them, which is most of a faded control.
      if (sv == dv) continue;
      d[i] = BlendPixel(o, sv, dv, std::max(sv >> 24, dv >> 24));
    }
  }
}

void CopyBitmapRect(TBitmap32& dst, int dx, int dy, const TBitmap32& src, int sx, int sy, int w,
                    int h) {
  // Clip against the source, then against the target.
  if (sx < 0) w += sx, dx -= sx, sx = 0;
  if (sy < 0) h += sy, dy -= sy, sy = 0;
  if (dx < 0) w += dx, sx -= dx, dx = 0;
  if (dy < 0) h += dy, sy -= dy, dy = 0;
  w = std::min({w, src.Width - sx, dst.Width - dx});
  h = std::min({h, src.Height - sy, dst.Height - dy});
  if (w <= 0 || h <= 0) return;
  for (int r = 0; r < h; ++r)
    std::memcpy(dst.Row(dy + r) + dx, src.Row(sy + r) + sx, static_cast<size_t>(w) * 4);
}

void FillBitmapRect(TBitmap32& dst, int x, int y, int w, int h, uint32_t pixel) {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = std::min(dst.Width, x + w), y1 = std::min(dst.Height, y + h);
  if (x0 >= x1 || y0 >= y1) return;
  for (int ty = y0; ty < y1; ++ty)
    std::fill_n(dst.Row(ty) + x0, x1 - x0, pixel);
}

void TAbstractSuperDIB::SetSize(int w, int h) {
  FBitmap.SetSize(std::clamp(w, 0, MaxSide), std::clamp(h, 0, MaxSide));
}

void TAbstractSuperDIB::SetBitmap(TBitmap32 bitmap) {
  if (bitmap.Width > MaxSide || bitmap.Height > MaxSide ||
      bitmap.Pixels.size() != static_cast<size_t>(bitmap.Width) * bitmap.Height)
    throw EDIBError("The picture's size is out of range.");
  FBitmap = std::move(bitmap);
}

void TAbstractSuperDIB::SetTransparent(bool v) {
  FTransparent = v;
  if (v) FMasked = false;
}

void TAbstractSuperDIB::SetAngle(int v) {
  v %= 360;
  FAngle = v < 0 ? v + 360 : v;
}

uint32_t TAbstractSuperDIB::KeyColor() const {
  if (FTransparentMode == tmAuto) return FBitmap.Empty() ? 0 : Rgb24(FBitmap.Pixels[0]);
  const uint32_t c = FTransparentColor;
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

void TAbstractSuperDIB::Draw(TBitmap32& target, int x, int y) const {
  DrawTransformed(target, x, y, FAngle, FScaleX, FScaleY);
}

void TAbstractSuperDIB::Draw(TBitmap32& target, int x, int y, const TRect& clip) const {
  DrawTransformed(target, x, y, FAngle, FScaleX, FScaleY, clip);
}

void TAbstractSuperDIB::DrawTransformed(TBitmap32& target, int x, int y, int angle, double sx,
                                        double sy) const {
  DrawTransformed(target, x, y, angle, sx, sy, TRect{0, 0, target.Width, target.Height});
}

void TAbstractSuperDIB::DrawTransformed(TBitmap32& target, int x, int y, int angle, double sx,
                                        double sy, const TRect& clip) const {
  if (FBitmap.Empty()) return;
  const TRect area = clip.Intersect(TRect{0, 0, target.Width, target.Height});
  if (area.IsEmpty()) return;
  TPutMode m;
  m.Keyed = FTransparent && !FMasked;
  m.Key = m.Keyed ? KeyColor() : 0;
  m.Masked = FMasked;
  m.Opacity = FOpacity;
  const int w = FBitmap.Width, h = FBitmap.Height;
  angle = ((angle % 360) + 360) % 360;

  if (angle == 0 && sx == 100.0 && sy == 100.0) {
    const TRect r = area.Intersect(TRect::FromSize(x, y, w, h));
    const int x0 = r.Left, y0 = r.Top, x1 = r.Right, y1 = r.Bottom;
    for (int ty = y0; ty < y1; ++ty)
      PutRow(target.Row(ty) + x0, FBitmap.Row(ty - y) + (x0 - x), x1 - x0, m);
    return;
  }

  if (!std::isfinite(sx) || !std::isfinite(sy) || sx == 0 || sy == 0) return;
  const TDIBSize box = DIBAutoSize(w, h, angle, sx, sy);
  double s, c;
  SinCosDegrees(angle, s, c);
  const double kx = 100.0 / sx, ky = 100.0 / sy;
  const double cx = box.Width / 2.0, cy = box.Height / 2.0;
  const TRect r = area.Intersect(TRect::FromSize(x, y, box.Width, box.Height));
  const int x0 = r.Left, y0 = r.Top, x1 = r.Right, y1 = r.Bottom;
  // Each target pixel takes the source pixel its centre maps back to (the box's centre maps to
  // the picture's centre); pixels that map outside the picture stay as they are, as if the
  // box had been filled with the key colour.
  for (int ty = y0; ty < y1; ++ty) {
    uint32_t* d = target.Row(ty);
    const double dy = ty - y + 0.5 - cy;
    for (int tx = x0; tx < x1; ++tx) {
      const double dx = tx - x + 0.5 - cx;
      const double u = (dx * c - dy * s) * kx + w / 2.0;
      const double v = (dx * s + dy * c) * ky + h / 2.0;
      if (!(u >= 0 && u < w && v >= 0 && v < h)) continue;
      PutPixel(d[tx], FBitmap.At(static_cast<int>(u), static_cast<int>(v)), m);
    }
  }
}

void TAbstractSuperDIB::LoadFromData(std::span<const uint8_t> stored) {
  const std::vector<uint8_t> data = UnpackDIBData(stored);
  if (data.empty()) {
    FBitmap = TBitmap32();
    return;
  }
  const char* const bad = "The picture data is not a 32-bit device-independent bitmap.";
  if (data.size() < InfoHeaderSize) throw EDIBError(bad);
  const uint8_t* p = data.data();
  const uint32_t headerSize = GetLE32(p);
  const int32_t width = static_cast<int32_t>(GetLE32(p + 4));
  const int32_t height = static_cast<int32_t>(GetLE32(p + 8));
  if (headerSize < InfoHeaderSize || headerSize > data.size() || GetLE16(p + 12) != 1 ||
      GetLE16(p + 14) != 32 || GetLE32(p + 16) != 0)
    throw EDIBError(bad);
  if (width < 0 || width > MaxSide || height < -MaxSide || height > MaxSide) throw EDIBError(bad);
  const int h = height < 0 ? -height : height;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(h) * 4;
  if (data.size() - headerSize < bytes) throw EDIBError("The picture data is truncated.");
  TBitmap32 bitmap(width, h);
  if (bytes) std::memcpy(bitmap.Pixels.data(), p + headerSize, bytes);
  if (height < 0) {
    // Top-down rows: turn them into the bottom-up order of the picture.
    for (int r = 0; r < h / 2; ++r)
      std::swap_ranges(bitmap.Pixels.begin() + static_cast<ptrdiff_t>(r) * width,
                       bitmap.Pixels.begin() + static_cast<ptrdiff_t>(r + 1) * width,
                       bitmap.Pixels.begin() + static_cast<ptrdiff_t>(h - 1 - r) * width);
  }
  FBitmap = std::move(bitmap);
}

std::vector<uint8_t> TAbstractSuperDIB::SaveToData() const {
  std::vector<uint8_t> out;
  if (FBitmap.Empty()) return out;
  const size_t bytes = FBitmap.Pixels.size() * 4;
  out.reserve(InfoHeaderSize + bytes);
  PutLE(out, InfoHeaderSize, 4);
  PutLE(out, static_cast<uint32_t>(FBitmap.Width), 4);
  PutLE(out, static_cast<uint32_t>(FBitmap.Height), 4);
  PutLE(out, 1, 2);
  PutLE(out, 32, 2);
  PutLE(out, 0, 4);                            // no compression
  PutLE(out, static_cast<uint32_t>(bytes), 4); // image size
  PutLE(out, 0, 4), PutLE(out, 0, 4);          // pixels per metre
  PutLE(out, 0, 4), PutLE(out, 0, 4);          // palette
  const size_t at = out.size();
  out.resize(at + bytes);
  std::memcpy(out.data() + at, FBitmap.Pixels.data(), bytes);
  return out;
}

std::vector<uint8_t> TAbstractSuperDIB::SaveToData(const TGUID& compressor) const {
  return PackDIBData(SaveToData(), compressor);
}
