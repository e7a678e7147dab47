#include "Plot.h"

#include "SoundFiles.h"
#include "ToolError.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

namespace qlhost {

namespace {

struct TRgb {
  uint8_t R, G, B;
};

constexpr TRgb kBackground{255, 255, 255};
constexpr TRgb kInk{40, 40, 46};
constexpr TRgb kMuted{110, 112, 120};
constexpr TRgb kGridMajor{200, 202, 208};
constexpr TRgb kGridMinor{232, 233, 237};
constexpr TRgb kReferenceLine{165, 168, 176};
constexpr TRgb kPalette[] = {{31, 119, 180},  {230, 115, 0}, {44, 160, 44},   {214, 39, 40},
                             {148, 103, 189}, {140, 86, 75}, {227, 119, 194}, {23, 190, 207}};

class TCanvas {
public:
  TCanvas(int width, int height, TRgb fill)
      : FWidth(width), FHeight(height), FPixels(static_cast<size_t>(width * height) * 4) {
    for (size_t i = 0; i < FPixels.size(); i += 4) {
      FPixels[i] = fill.R;
      FPixels[i + 1] = fill.G;
      FPixels[i + 2] = fill.B;
      FPixels[i + 3] = 255;
    }
  }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  const uint8_t* Pixels() const { return FPixels.data(); }

  void Blend(int x, int y, TRgb c, double alpha) {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight || alpha <= 0.0) return;
    alpha = std::min(alpha, 1.0);
    uint8_t* p = &FPixels[static_cast<size_t>(y * FWidth + x) * 4];
    auto mix = [alpha](uint8_t under, uint8_t over) {
      return static_cast<uint8_t>(std::lround(under + (over - under) * alpha));
    };
    p[0] = mix(p[0], c.R);
    p[1] = mix(p[1], c.G);
    p[2] = mix(p[2], c.B);
  }
  void FillRect(int x0, int y0, int x1, int y1, TRgb c, double alpha = 1.0) {
    for (int y = std::max(0, y0); y < std::min(FHeight, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(FWidth, x1); ++x)
        Blend(x, y, c, alpha);
  }

private:
  int FWidth, FHeight;
  std::vector<uint8_t> FPixels;
};

struct TRect {
  int Left, Top, Right, Bottom;
};

// Anti-aliased polyline: each pixel takes the largest coverage of any segment, so joints do not
// darken where segments overlap.
void DrawPolyline(TCanvas& canvas, const std::vector<std::pair<double, double>>& points,
                  TRgb colour, double width, const TRect& clip) {
  const int w = clip.Right - clip.Left, h = clip.Bottom - clip.Top;
  std::vector<float> coverage(static_cast<size_t>(w * h), 0.0f);
  const double half = width / 2.0;
  for (size_t s = 1; s < points.size(); ++s) {
    const auto [ax, ay] = points[s - 1];
    const auto [bx, by] = points[s];
    const int x0 = std::max(clip.Left, static_cast<int>(std::floor(std::min(ax, bx) - half - 1)));
    const int x1 = std::min(clip.Right, static_cast<int>(std::ceil(std::max(ax, bx) + half + 1)));
    const int y0 = std::max(clip.Top, static_cast<int>(std::floor(std::min(ay, by) - half - 1)));
    const int y1 = std::min(clip.Bottom, static_cast<int>(std::ceil(std::max(ay, by) + half + 1)));
    const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const double px = x + 0.5 - ax, py = y + 0.5 - ay;
        const double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
        const double ex = px - t * dx, ey = py - t * dy;
        const double c = std::clamp(half + 0.5 - std::sqrt(ex * ex + ey * ey), 0.0, 1.0);
        float& cell = coverage[static_cast<size_t>((y - clip.Top) * w + (x - clip.Left))];
        cell = std::max(cell, static_cast<float>(c));
      }
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      canvas.Blend(clip.Left + x, clip.Top + y, colour, coverage[static_cast<size_t>(y * w + x)]);
}

// A font found through fontconfig and rendered by FreeType.
class TFont {
public:
  TFont(const char* pattern, int pixels) {
    std::string file = FindFontFile(pattern);
    if (FT_Init_FreeType(&FLibrary) != 0) throw TToolError("cannot start the font renderer");
    if (FT_New_Face(FLibrary, file.c_str(), 0, &FFace) != 0) {
      FT_Done_FreeType(FLibrary);
      throw TToolError("cannot load the font " + file);
    }
    FT_Set_Pixel_Sizes(FFace, 0, static_cast<FT_UInt>(pixels));
  }
  ~TFont() {
    FT_Done_Face(FFace);
    FT_Done_FreeType(FLibrary);
  }
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;

  int Width(const std::string& text) {
    long w = 0;
    for (unsigned char c : text)
      if (FT_Load_Char(FFace, c, FT_LOAD_DEFAULT) == 0) w += FFace->glyph->advance.x;
    return static_cast<int>(w >> 6);
  }
  int Ascent() const { return static_cast<int>(FFace->size->metrics.ascender >> 6); }

  void Draw(TCanvas& canvas, int x, int baseline, const std::string& text, TRgb colour) {
    long pen = static_cast<long>(x) << 6;
    for (unsigned char c : text) {
      if (FT_Load_Char(FFace, c, FT_LOAD_RENDER) != 0) continue;
      const FT_GlyphSlot g = FFace->glyph;
      const int left = static_cast<int>(pen >> 6) + g->bitmap_left;
      const int top = baseline - g->bitmap_top;
      for (unsigned row = 0; row < g->bitmap.rows; ++row)
        for (unsigned col = 0; col < g->bitmap.width; ++col) {
          const uint8_t a = g->bitmap.buffer[row * static_cast<unsigned>(g->bitmap.pitch) + col];
          canvas.Blend(left + static_cast<int>(col), top + static_cast<int>(row), colour,
                       a / 255.0);
        }
      pen += g->advance.x;
    }
  }
  void DrawRight(TCanvas& canvas, int right, int baseline, const std::string& text, TRgb c) {
    Draw(canvas, right - Width(text), baseline, text, c);
  }
  void DrawCentred(TCanvas& canvas, int centre, int baseline, const std::string& text, TRgb c) {
    Draw(canvas, centre - Width(text) / 2, baseline, text, c);
  }

private:
  static std::string FindFontFile(const char* pattern) {
    std::string file;
    if (FcInit()) {
      FcPattern* p = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
      FcConfigSubstitute(nullptr, p, FcMatchPattern);
      FcDefaultSubstitute(p);
      FcResult result;
      FcPattern* match = FcFontMatch(nullptr, p, &result);
      FcChar8* path = nullptr;
      if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch)
        file = reinterpret_cast<const char*>(path);
      if (match) FcPatternDestroy(match);
      FcPatternDestroy(p);
      FcFini(); // the file name is all we keep; release the configuration
    }
    if (file.empty())
      throw TToolError("no font for the plot's labels; install a sans-serif font such as "
                       "fonts-liberation");
    return file;
  }

  FT_Library FLibrary = nullptr;
  FT_Face FFace = nullptr;
};

std::string FrequencyLabel(double hz) {
  char text[16];
  if (hz >= 1000.0)
    std::snprintf(text, sizeof text, "%gk", hz / 1000.0);
  else
    std::snprintf(text, sizeof text, "%g", hz);
  return text;
}

// One value per pixel column: the mean power of the bins inside the column, or the power
// interpolated between the neighbouring bins where the column is narrower than a bin.
std::vector<double> ColumnLevels(const TSpectrum& s, double logLow, double logHigh, int columns) {
  std::vector<double> levels(static_cast<size_t>(columns));
  const double binHz = s.SampleRate / s.FftSize;
  const size_t last = s.Power.size() - 1;
  auto freqAt = [&](double column) {
    return std::pow(10.0, logLow + (logHigh - logLow) * column / columns);
  };
  for (int x = 0; x < columns; ++x) {
    const double f0 = freqAt(x), f1 = freqAt(x + 1), fc = freqAt(x + 0.5);
    const auto k0 = static_cast<size_t>(std::ceil(f0 / binHz));
    const auto k1 = std::min(last, static_cast<size_t>(std::floor(f1 / binHz)));
    double power = 0.0;
    if (k1 >= k0 && k0 <= last) {
      for (size_t k = k0; k <= k1; ++k)
        power += s.Power[k];
      power /= static_cast<double>(k1 - k0 + 1);
    } else {
      const double pos = std::min(fc / binHz, static_cast<double>(last));
      const auto k = std::min(static_cast<size_t>(pos), last - 1);
      const double t = pos - static_cast<double>(k);
      // Interpolate in dB, so that lines between sparse low bins look straight on the plot.
      const double a = 10.0 * std::log10(std::max(s.Power[k], 1e-30));
      const double b = 10.0 * std::log10(std::max(s.Power[k + 1], 1e-30));
      levels[static_cast<size_t>(x)] = a + (b - a) * t;
      continue;
    }
    levels[static_cast<size_t>(x)] = 10.0 * std::log10(std::max(power, 1e-30));
  }
  return levels;
}

} // namespace

void WritePng(const std::string& path, const uint8_t* pixels, int width, int height, bool alpha) {
  TTempFile out(path);
  FILE* stream = ::fdopen(out.Descriptor(), "wb");
  if (!stream) throw TToolError("cannot write " + path);
  out.Released();
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  const bool ok = png_image_write_to_stdio(&image, stream, 0, pixels, 0, nullptr) != 0;
  const bool closed = std::fclose(stream) == 0;
  if (!ok || !closed) throw TToolError("cannot write " + path + ": " + image.message);
  out.Commit();
}

void WriteSpectrumPlot(const std::string& path, const std::string& title,
                       const std::string& subtitle, const std::vector<TPlotCurve>& curves) {
  constexpr int kWidth = 1400, kHeight = 760;
  const TRect plot{92, 84, kWidth - 330, kHeight - 74};
  const int columns = plot.Right - plot.Left;
  TCanvas canvas(kWidth, kHeight, kBackground);
  TFont label("Liberation Sans:style=Regular", 15);
  TFont heading("Liberation Sans:style=Bold", 24);
  TFont legendFont("Liberation Sans:style=Regular", 16);

  // Frequency axis: 20 Hz (or the first bin above it) to half the sample rate.
  const TSpectrum& first = curves.front().Spectrum;
  const double nyquist = first.SampleRate / 2.0;
  const double lowHz = std::max(20.0, first.SampleRate / first.FftSize);
  const double logLow = std::log10(lowHz), logHigh = std::log10(nyquist);
  auto xOf = [&](double hz) {
    return plot.Left + (std::log10(hz) - logLow) / (logHigh - logLow) * columns;
  };

  std::vector<std::vector<double>> levels;
  std::vector<double> all;
  for (const auto& c : curves) {
    levels.push_back(ColumnLevels(c.Spectrum, logLow, logHigh, columns));
    all.insert(all.end(), levels.back().begin(), levels.back().end());
  }
  // Level axis: from just above the loudest column down to the floor of nearly all of them.
  std::sort(all.begin(), all.end());
  const double loudest = all.back();
  const double floor = all[all.size() / 100];
  const double top = std::ceil((loudest + 1.0) / 10.0) * 10.0;
  double step = 20.0;
  double bottom = std::max(top - 240.0, std::floor((floor - 5.0) / step) * step);
  if (top - bottom <= 100.0) {
    step = 10.0;
    bottom = std::floor((floor - 5.0) / step) * step;
  }
  auto yOf = [&](double db) {
    return plot.Top + (top - db) / (top - bottom) * (plot.Bottom - plot.Top);
  };

  // Grid: every 1..9 of each decade faintly, the decades and the level lines stronger.
  for (double decade = std::pow(10.0, std::floor(logLow)); decade <= nyquist; decade *= 10.0)
    for (int m = 1; m <= 9; ++m) {
      const double hz = decade * m;
      if (hz < lowHz || hz > nyquist) continue;
      const int x = static_cast<int>(std::lround(xOf(hz)));
      canvas.FillRect(x, plot.Top, x + 1, plot.Bottom, m == 1 ? kGridMajor : kGridMinor);
      if (m == 1 || m == 2 || m == 5)
        label.DrawCentred(canvas, x, plot.Bottom + 22, FrequencyLabel(hz), kMuted);
    }
  for (double db = top; db >= bottom - 1e-9; db -= step) {
    const int y = static_cast<int>(std::lround(yOf(db)));
    canvas.FillRect(plot.Left, y, plot.Right, y + 1, db == 0.0 ? kMuted : kGridMajor);
    char text[16];
    std::snprintf(text, sizeof text, "%g", db + 0.0); // no "-0"
    label.DrawRight(canvas, plot.Left - 10, y + 5, text, kMuted);
  }
  canvas.FillRect(plot.Left, plot.Top, plot.Left + 1, plot.Bottom, kMuted);
  canvas.FillRect(plot.Left, plot.Bottom, plot.Right, plot.Bottom + 1, kMuted);

  heading.Draw(canvas, plot.Left, 38, title, kInk);
  label.Draw(canvas, plot.Left, 64, subtitle, kMuted);
  label.DrawCentred(canvas, (plot.Left + plot.Right) / 2, kHeight - 24, "Frequency (Hz)", kInk);
  label.DrawRight(canvas, plot.Left - 10, plot.Top - 14, "dBFS", kInk);

  // Curves, the reference first so that it lies beneath.
  std::vector<TRgb> colours;
  size_t next = 0;
  for (const auto& c : curves)
    colours.push_back(c.Reference ? kReferenceLine : kPalette[next++ % std::size(kPalette)]);
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i = 0; i < curves.size(); ++i) {
      if (curves[i].Reference != (pass == 0)) continue;
      std::vector<std::pair<double, double>> points;
      for (int x = 0; x < columns; ++x)
        points.emplace_back(plot.Left + x + 0.5,
                            yOf(std::max(levels[i][static_cast<size_t>(x)], bottom - 50.0)));
      DrawPolyline(canvas, points, colours[i], curves[i].Reference ? 1.4 : 2.0,
                   {plot.Left + 1, plot.Top, plot.Right, plot.Bottom});
    }

  // Legend beside the plot: a swatch, the name and its note per curve.
  const int legendLeft = plot.Right + 28, rowHeight = 46;
  int y = plot.Top + 16;
  for (size_t i = 0; i < curves.size(); ++i) {
    canvas.FillRect(legendLeft, y - 6, legendLeft + 28, y - 3, colours[i]);
    legendFont.Draw(canvas, legendLeft + 40, y, curves[i].Name, kInk);
    if (!curves[i].Note.empty())
      label.Draw(canvas, legendLeft + 40, y + 20, curves[i].Note, kMuted);
    y += curves[i].Note.empty() ? rowHeight - 16 : rowHeight;
  }
  WritePng(path, canvas.Pixels(), canvas.Width(), canvas.Height(), true);
}

} // namespace qlhost
