// Text with fontconfig (choosing the face file) and FreeType (metrics and grey-scale glyphs).
// Metrics follow the Windows font mapper's rules so that layouts made there fit here: a negative
// height is the em size in pixels, the line is the rounded ascent plus the rounded descent of
// the face's Windows metrics, and advances are the hinted, whole-pixel advances without kerning.
#include "platform/Text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

namespace {

// Faces named in layouts made on Windows and their metric-compatible stand-ins.
struct TFaceAlias {
  const char* Name;
  const char* Face;
};
constexpr TFaceAlias kFaceAliases[] = {
    {"arial", "Liberation Sans"},
    {"helvetica", "Liberation Sans"},
    {"times new roman", "Liberation Serif"},
    {"courier new", "Liberation Mono"},
};
constexpr const char* kFallbackFace = "sans-serif";

// Windows-1252 code points of the bytes 0x80 to 0x9F; the other bytes are Latin-1.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char32_t CodePoint(unsigned char c) {
  return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : char32_t{c};
}

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

struct TLoadedFace {
  FT_Face Face = nullptr;
  std::string Family;
  bool Italic = false; // the face itself is italic or oblique
};

// The faces in use, keyed by requested name and style. They live as long as the process.
class TFaceCache {
public:
  std::mutex Lock;

  const TLoadedFace* Get(const TFont& font) {
    const bool bold = font.Style.Contains(fsBold);
    const bool italic = font.Style.Contains(fsItalic);
    const auto key = std::make_tuple(Lower(font.Name), bold, italic);
    auto it = FFaces.find(key);
    if (it != FFaces.end()) return it->second.Face ? &it->second : nullptr;
    TLoadedFace& loaded = FFaces[key];
    if (!Init()) return nullptr;
    std::string family = font.Name;
    for (const TFaceAlias& a : kFaceAliases)
      if (Lower(font.Name) == a.Name) family = a.Face;
    if (!Load(family, bold, italic, true, loaded)) Load(kFallbackFace, bold, italic, false, loaded);
    return loaded.Face ? &loaded : nullptr;
  }

  // Everything goes when the library is unloaded; a host may load and unload it many times.
  ~TFaceCache() {
    for (auto& [key, loaded] : FFaces)
      if (loaded.Face) FT_Done_Face(loaded.Face);
    if (FLibrary) FT_Done_FreeType(FLibrary);
    if (FConfig) FcConfigDestroy(FConfig);
  }

private:
  // A configuration of our own: the host's use of fontconfig is none of our business, and
  // ours must not change it.
  bool Init() {
    if (!FTried) {
      FTried = true;
      FConfig = FcInitLoadConfigAndFonts();
      FReady = FConfig && FT_Init_FreeType(&FLibrary) == 0;
    }
    return FReady;
  }

  // Loads the face fontconfig matches for `family`. With `exact`, a match of another family
  // (fontconfig's own substitute) is refused, so that our fallback decides instead.
  bool Load(const std::string& family, bool bold, bool italic, bool exact, TLoadedFace& out) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(FConfig, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(FConfig, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* file = nullptr;
    FcChar8* matched = nullptr;
    int index = 0;
    int slant = FC_SLANT_ROMAN;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
              FcPatternGetString(match, FC_FAMILY, 0, &matched) == FcResultMatch;
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FcPatternGetInteger(match, FC_SLANT, 0, &slant);
    if (ok && exact) {
      // Metric aliases (Arial to Liberation Sans) are substitutes we asked for by name.
      ok = Lower(reinterpret_cast<const char*>(matched)) == Lower(family);
    }
    if (ok) {
      FT_Face face = nullptr;
      ok = FT_New_Face(FLibrary, reinterpret_cast<const char*>(file), index, &face) == 0;
      if (ok) {
        out.Face = face;
        out.Family = reinterpret_cast<const char*>(matched);
        out.Italic = slant != FC_SLANT_ROMAN;
      }
    }
    FcPatternDestroy(match);
    return ok;
  }

  bool FTried = false;
  bool FReady = false;
  FcConfig* FConfig = nullptr;
  FT_Library FLibrary = nullptr;
  std::map<std::tuple<std::string, bool, bool>, TLoadedFace> FFaces;
};

TFaceCache& Faces() {
  static TFaceCache cache;
  return cache;
}

struct TLineMetrics {
  int Ascent = 0;
  int Descent = 0;
  int UnderlineTop = 0; // below the baseline
  int UnderlineHeight = 1;
};

// Sets the face's size for the font's height and answers the line's metrics.
TLineMetrics SetSize(const TLoadedFace& loaded, const TFont& font) {
  FT_Face face = loaded.Face;
  const double upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
  double ascentUnits = face->ascender;
  double descentUnits = -face->descender;
  if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
      os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    ascentUnits = os2->usWinAscent;
    descentUnits = os2->usWinDescent;
  }
  double em;
  if (font.Height < 0)
    em = -font.Height;
  else if (font.Height > 0)
    em = font.Height * upem / std::max(1.0, ascentUnits + descentUnits);
  else
    em = 16; // the mapper's default size
  const int ppem = std::max(1, static_cast<int>(std::lround(em)));
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem));
  if (font.Style.Contains(fsItalic) && !loaded.Italic) {
    // A face without an italic cut is slanted by the renderer, as the Windows mapper does.
    static const FT_Matrix shear{0x10000, 0x3333, 0, 0x10000};
    FT_Set_Transform(face, const_cast<FT_Matrix*>(&shear), nullptr);
  } else {
    FT_Set_Transform(face, nullptr, nullptr);
  }
  TLineMetrics m;
  m.Ascent = static_cast<int>(std::lround(ascentUnits * ppem / upem));
  m.Descent = static_cast<int>(std::lround(descentUnits * ppem / upem));
  m.UnderlineTop =
      std::max(1, static_cast<int>(std::lround(-face->underline_position * ppem / upem)));
  m.UnderlineHeight =
      std::max(1, static_cast<int>(std::lround(face->underline_thickness * ppem / upem)));
  return m;
}

int Advance(FT_Face face, unsigned char c) {
  const FT_UInt glyph = FT_Get_Char_Index(face, CodePoint(c));
  if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) != 0) return 0;
  return static_cast<int>((face->glyph->advance.x + 32) >> 6);
}

int TextWidth(FT_Face face, std::string_view text) {
  int width = 0;
  for (unsigned char c : text)
    width += Advance(face, c);
  return width;
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
  TFaceCache& cache = Faces();
  std::lock_guard<std::mutex> guard(cache.Lock);
  const TLoadedFace* loaded = cache.Get(font);
  if (!loaded) return TTextExtent{};
  const TLineMetrics m = SetSize(*loaded, font);
  return TTextExtent{TextWidth(loaded->Face, text), m.Ascent + m.Descent};
}

void RenderText(TBitmap32& target, const TRect& box, const TRect& clip, const TFont& font,
                std::string_view text, TAlignment alignment) {
  const TRect area = box.Intersect(clip).Intersect(TRect{0, 0, target.Width, target.Height});
  if (area.IsEmpty() || text.empty()) return;
  TFaceCache& cache = Faces();
  std::lock_guard<std::mutex> guard(cache.Lock);
  const TLoadedFace* loaded = cache.Get(font);
  if (!loaded) return;
  FT_Face face = loaded->Face;
  const TLineMetrics m = SetSize(*loaded, font);
  const int width = TextWidth(face, text);
  int penX = box.Left;
  if (alignment == taCenter)
    penX = box.Left + (box.Width() - width) / 2;
  else if (alignment == taRightJustify)
    penX = box.Right - width;
  const int startX = penX;
  const int baseline = box.Top + m.Ascent;
  const uint32_t colour = ColorToPixel(font.Color);

  for (unsigned char c : text) {
    const FT_UInt glyph = FT_Get_Char_Index(face, CodePoint(c));
    if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) != 0) continue;
    const int advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
      const FT_Bitmap& bmp = face->glyph->bitmap;
      const int left = penX + face->glyph->bitmap_left;
      const int top = baseline - face->glyph->bitmap_top;
      for (unsigned row = 0; row < bmp.rows; ++row) {
        const int y = top + static_cast<int>(row);
        if (y < area.Top || y >= area.Bottom) continue;
        const unsigned char* src = bmp.buffer + static_cast<ptrdiff_t>(row) * bmp.pitch;
        uint32_t* dst = target.Row(y);
        for (unsigned col = 0; col < bmp.width; ++col) {
          const int x = left + static_cast<int>(col);
          if (x < area.Left || x >= area.Right || src[col] == 0) continue;
          dst[x] = Blend(dst[x], colour, src[col]);
        }
      }
    }
    penX += advance;
  }

  if (font.Style.Contains(fsUnderline)) {
    const TRect line = TRect{startX, baseline + m.UnderlineTop, startX + width,
                             baseline + m.UnderlineTop + m.UnderlineHeight}
                           .Intersect(area);
    for (int y = line.Top; y < line.Bottom; ++y)
      for (int x = line.Left; x < line.Right; ++x)
        target.At(x, y) = Blend(target.At(x, y), colour, 255);
  }
}

std::string ResolvedFace(const TFont& font) {
  TFaceCache& cache = Faces();
  std::lock_guard<std::mutex> guard(cache.Lock);
  const TLoadedFace* loaded = cache.Get(font);
  return loaded ? loaded->Family : std::string();
}
