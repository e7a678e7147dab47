// A full paint of the editor's skin: a 1001 x 579 container with the four images at the
// editor's sizes and positions and its five text labels, painted off-screen and presented in one
// block transfer on the headless backend. The pictures are the editor's artwork where the build
// has it, and synthetic ones as well: line drawings and filled blocks on the white key.
//
// Baseline, measured in the same run: filling the window's picture and presenting it, the least
// any full paint must do.
#include <benchmark/benchmark.h>

#include <memory>

#include "editor/Artwork.h"
#include "platform/HeadlessBackend.h"
#include "skin/DIBControls.h"

namespace {

constexpr uint32_t White = Bgra(255, 255, 255);

TMemoryDIB Diagram(int w, int h, uint32_t seed) {
  TBitmap32 pixels(w, h, White);
  auto box = [&](int x0, int y0, int x1, int y1, uint32_t fill) {
    for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(w, x1); ++x) {
        const bool edge = y < y0 + 2 || y >= y1 - 2 || x < x0 + 2 || x >= x1 - 2;
        pixels.At(x, y) = edge ? Bgra(30, 30, 40) : fill;
      }
  };
  // Blocks along the middle joined by a line, and a few antialiased-looking grey specks.
  const int blocks = 3 + static_cast<int>(seed % 3);
  for (int i = 0; i < blocks; ++i) {
    const int x0 = (i * w) / blocks + 8, x1 = ((i + 1) * w) / blocks - 8;
    box(x0, h / 4, x1, (3 * h) / 4, Bgra(254, 250, 235));
  }
  for (int x = 0; x < w; ++x)
    for (int t = 0; t < 2; ++t)
      pixels.At(x, h / 2 + t) = Bgra(30, 30, 40);
  uint32_t r = seed * 2654435761u;
  for (int i = 0; i < w * h / 50; ++i) {
    r = r * 1664525u + 1013904223u;
    pixels.At(static_cast<int>(r % static_cast<uint32_t>(w)),
              static_cast<int>((r >> 12) % static_cast<uint32_t>(h))) = Bgra(180, 180, 190);
  }
  TMemoryDIB dib;
  dib.SetBitmap(std::move(pixels));
  dib.SetTransparent(true);
  dib.SetTransparentMode(tmFixed);
  dib.SetTransparentColor(clWhite);
  return dib;
}

struct TEditorSkin {
  TDIBImageList List;
  TForm* Form;
  TDIBImageContainer* Container;

  TEditorSkin(bool labels, bool artwork) {
    THeadlessBackend::Instance().Reset();
    if (artwork) {
      size_t count = 0;
      const TArtwork* items = ArtworkItems(count);
      for (size_t i = 0; i < count; ++i) {
        TMemoryDIB dib;
        dib.LoadFromData({items[i].Data, items[i].Size});
        dib.SetTransparent(true);
        dib.SetTransparentMode(tmFixed);
        dib.SetTransparentColor(clWhite);
        List.Add(items[i].DisplayName, dib);
      }
    } else {
      List.Add("Trunc", Diagram(1002, 159, 1));
      List.Add("ErrorFeedback", Diagram(599, 343, 2));
      List.Add("Dither", Diagram(226, 152, 3));
      List.Add("OrvaneLogo", Diagram(271, 106, 4));
    }
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, 1001, 579);
    Form->SetColor(clWhite);
    Container = new TDIBImageContainer(Form);
    Container->SetParent(Form);
    Container->SetAlign(alClient);
    Container->SetColor(clWhite);
    Container->SetDIBImageList(&List);
    struct TImage {
      int Index, Left, Top, Width, Height;
      uint8_t Opacity;
      bool AutoSize, Stretch;
    };
    const TImage images[] = {
        {0, 0, 148, 1002, 160, 255, true, false},
        {1, 350, 220, 600, 344, 255, true, false},
        {2, 414, 13, 226, 152, 255, true, false},
        {3, 712, 20, 272, 106, 100, false, true},
    };
    for (const TImage& i : images) {
      auto* image = new TDIBImage(Form);
      image->SetDIBImageList(&List);
      image->IndexMain().SetDIBIndex(i.Index);
      image->SetBounds(i.Left, i.Top, i.Width, i.Height);
      image->SetOpacity(i.Opacity);
      image->SetAutoSize(i.AutoSize);
      image->SetStretch(i.Stretch);
      if (i.Index == 3) {
        image->AddFeatureItem("THighlightDIB").DIBFeatureParameters()["HighlightOpacity"] = "255";
        image->Loaded();
      }
    }
    if (!labels) return;
    struct TText {
      int Left, Top, Width, Height;
      const char* Caption;
      const char* Face;
      int FontHeight;
      TColor Colour;
      bool Transparent, AutoSize, Italic;
    };
    const TText texts[] = {
        {784, 175, 117, 69, "16", "MD Thaitype A", -69, clBlack, false, false, false},
        {91, 176, 147, 89, "64", "Arial", -80, clBlack, true, false, false},
        {19, 524, 9, 36, "", "Arial", -32, clMaroon, false, true, false},
        {777, 556, 218, 16, "Skin and signal path by the Quantaloop team", "PRETEXT", -13, clBlack,
         false, false, false},
        {16, 16, 326, 37, "Quantaloop Convertor", "Arial", -32, clBlack, false, true, true},
    };
    for (const TText& t : texts) {
      auto* label = new TLabel(Form);
      label->SetParent(Container);
      label->SetAutoSize(t.AutoSize);
      label->SetBounds(t.Left, t.Top, t.Width, t.Height);
      TFont font;
      font.Name = t.Face;
      font.Height = t.FontHeight;
      font.Color = t.Colour;
      if (t.Italic) font.Style = TFontStyles{fsItalic, fsUnderline};
      label->SetFont(font);
      label->SetTransparent(t.Transparent);
      label->SetAlignment(t.AutoSize ? taLeftJustify : taCenter);
      label->SetCaption(t.Caption);
    }
  }
  ~TEditorSkin() { delete Form; }
};

void FullPaint(benchmark::State& state, bool labels, bool artwork) {
  TEditorSkin skin(labels, artwork);
  skin.Form->Update();
  for (auto _ : state) {
    skin.Container->Invalidate();
    skin.Form->Update();
    benchmark::ClobberMemory();
  }
}

void BM_FullPaintSynthetic(benchmark::State& state) {
  FullPaint(state, true, false);
}
void BM_FullPaintSyntheticImagesOnly(benchmark::State& state) {
  FullPaint(state, false, false);
}
void BM_FullPaintArtwork(benchmark::State& state) {
  FullPaint(state, true, true);
}

void BM_BaselineFillAndPresent(benchmark::State& state) {
  THeadlessBackend& headless = THeadlessBackend::Instance();
  headless.Reset();
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 1001, 579);
  TBitmap32 picture(1001, 579);
  for (auto _ : state) {
    FillBitmapRect(picture, 0, 0, 1001, 579, White);
    headless.Present(form->Handle(), picture, TRect{0, 0, 1001, 579}, 0, 0);
    benchmark::ClobberMemory();
  }
  delete form;
}

} // namespace

BENCHMARK(BM_BaselineFillAndPresent)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullPaintSyntheticImagesOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullPaintSynthetic)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullPaintArtwork)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
