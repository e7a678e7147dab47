// Text with GDI: the font mapper chooses and sizes the face, glyphs are drawn grey-scale
// antialiased, white on black, into a DIB section, and the grey becomes the coverage with which
// the font colour is blended onto the target picture.
#include "platform/Text.h"

#include <windows.h>

#include <algorithm>
#include <mutex>

namespace {

// Faces absent from the system are drawn with this one, in the default character set: a
// symbol character set with a missing face would otherwise make the mapper pick a symbol font.
constexpr const char* kFallbackFace = "Arial";

std::mutex gLock;

int CALLBACK FoundFace(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FaceInstalled(HDC dc, const std::string& name) {
  if (name.empty() || name.size() >= LF_FACESIZE) return false;
  LOGFONTA query{};
  query.lfCharSet = DEFAULT_CHARSET;
  std::copy(name.begin(), name.end(), query.lfFaceName);
  bool found = false;
  EnumFontFamiliesExA(dc, &query, FoundFace, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// A memory device context with the font selected; frees both when it goes.
class TFontDC {
public:
  explicit TFontDC(const TFont& font) {
    FDC = CreateCompatibleDC(nullptr);
    if (!FDC) return;
    LOGFONTA lf{};
    lf.lfHeight = font.Height;
    lf.lfWeight = font.Style.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.Style.Contains(fsItalic) ? TRUE : FALSE;
    lf.lfUnderline = font.Style.Contains(fsUnderline) ? TRUE : FALSE;
    lf.lfStrikeOut = font.Style.Contains(fsStrikeOut) ? TRUE : FALSE;
    lf.lfCharSet = font.Charset;
    lf.lfOutPrecision = OUT_TT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = ANTIALIASED_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    std::string face = font.Name;
    if (!FaceInstalled(FDC, face)) {
      face = kFallbackFace;
      lf.lfCharSet = DEFAULT_CHARSET;
    }
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    FFont = CreateFontIndirectA(&lf);
    if (FFont) FOld = SelectObject(FDC, FFont);
  }
  ~TFontDC() {
    if (FOld) SelectObject(FDC, FOld);
    if (FFont) DeleteObject(FFont);
    if (FDC) DeleteDC(FDC);
  }
  TFontDC(const TFontDC&) = delete;
  TFontDC& operator=(const TFontDC&) = delete;
  bool Ok() const { return FDC && FFont; }
  HDC DC() const { return FDC; }

private:
  HDC FDC = nullptr;
  HFONT FFont = nullptr;
  HGDIOBJ FOld = nullptr;
};

TTextExtent Extent(HDC dc, std::string_view text) {
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SIZE size{};
  if (!text.empty()) GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
  return TTextExtent{static_cast<int>(size.cx), static_cast<int>(tm.tmHeight)};
}

uint32_t Blend(uint32_t dst, uint32_t colour, unsigned coverage) {
  uint32_t out = dst & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const unsigned d = (dst >> shift) & 0xFFu;
    const unsigned s = (colour >> shift) & 0xFFu;
    out |= ((s * coverage + d * (255 - coverage) + 127) / 255) << shift;
  }
  return out;
}

} // namespace

TTextExtent MeasureText(const TFont& font, std::string_view text) {
  std::lock_guard<std::mutex> guard(gLock);
  TFontDC fdc(font);
  return fdc.Ok() ? Extent(fdc.DC(), text) : TTextExtent{};
}

void RenderText(TBitmap32& target, const TRect& box, const TRect& clip, const TFont& font,
                std::string_view text, TAlignment alignment) {
  const TRect area = box.Intersect(clip).Intersect(TRect{0, 0, target.Width, target.Height});
  if (area.IsEmpty() || text.empty()) return;
  std::lock_guard<std::mutex> guard(gLock);
  TFontDC fdc(font);
  if (!fdc.Ok()) return;
  const TTextExtent extent = Extent(fdc.DC(), text);
  int x = box.Left;
  if (alignment == taCenter)
    x = box.Left + (box.Width() - extent.Width) / 2;
  else if (alignment == taRightJustify)
    x = box.Right - extent.Width;

  // A top-down DIB section covering `area`.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = area.Width();
  info.bmiHeader.biHeight = -area.Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(fdc.DC(), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib || !bits) return;
  HGDIOBJ old = SelectObject(fdc.DC(), dib);
  auto* pixels = static_cast<uint32_t*>(bits);
  std::fill(pixels, pixels + static_cast<size_t>(area.Width()) * area.Height(), 0u);
  SetBkMode(fdc.DC(), TRANSPARENT);
  SetTextColor(fdc.DC(), RGB(255, 255, 255));
  SetTextAlign(fdc.DC(), TA_TOP | TA_LEFT | TA_NOUPDATECP);
  TextOutA(fdc.DC(), x - area.Left, box.Top - area.Top, text.data(), static_cast<int>(text.size()));
  GdiFlush();

  const uint32_t colour = ColorToPixel(font.Color);
  for (int y = 0; y < area.Height(); ++y) {
    uint32_t* dst = target.Row(area.Top + y) + area.Left;
    const uint32_t* src = pixels + static_cast<size_t>(y) * area.Width();
    for (int i = 0; i < area.Width(); ++i) {
      const unsigned coverage = (src[i] >> 8) & 0xFFu; // green
      if (coverage) dst[i] = Blend(dst[i], colour, coverage);
    }
  }
  SelectObject(fdc.DC(), old);
  DeleteObject(dib);
}

std::string ResolvedFace(const TFont& font) {
  std::lock_guard<std::mutex> guard(gLock);
  TFontDC fdc(font);
  if (!fdc.Ok()) return std::string();
  char name[LF_FACESIZE] = {};
  GetTextFaceA(fdc.DC(), LF_FACESIZE, name);
  return name;
}
