// Labels and text: auto-size, glyphs inside the box in the font colour, transparency, font
// substitution, and the same pixels every time.
#include "platform/Text.h"
#include "platform/Controls.h"
#include "platform/HeadlessBackend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TFont Font(std::string name, int height, TColor colour = clBlack, TFontStyles style = {},
           TFontCharset charset = DefaultCharset) {
  return TFont{std::move(name), height, colour, style, charset};
}

constexpr TColor kBackground = 0x40A0C0; // a colour no glyph edge produces by chance

class LabelTest : public ::testing::Test {
protected:
  void SetUp() override {
    THeadlessBackend::Instance().Reset();
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, 300, 120);
    Form->SetColor(kBackground);
  }
  void TearDown() override { delete Form; }

  TLabel* AddLabel(TRect box, const TFont& font, std::string caption, bool autoSize) {
    auto* label = new TLabel(Form);
    label->SetParent(Form);
    label->SetAutoSize(autoSize);
    label->SetFont(font);
    label->SetBounds(box.Left, box.Top, box.Width(), box.Height());
    label->SetCaption(std::move(caption));
    return label;
  }
  const TBitmap32& Pixels() {
    THeadlessBackend::Instance().Pump();
    return THeadlessBackend::Instance().WindowPixels(Form->Handle());
  }

  TForm* Form = nullptr;
};

// Pixels of the window that differ from `colour`: their bounding box and count.
struct TDiff {
  TRect Box;
  int Count = 0;
};
TDiff Differing(const TBitmap32& p, const TRect& area, uint32_t colour) {
  TDiff d;
  for (int y = area.Top; y < area.Bottom; ++y)
    for (int x = area.Left; x < area.Right; ++x)
      if (Rgb24(p.At(x, y)) != colour) {
        d.Box = d.Box.Union(TRect{x, y, x + 1, y + 1});
        ++d.Count;
      }
  return d;
}

int CountExactly(const TBitmap32& p, const TRect& area, uint32_t colour) {
  int n = 0;
  for (int y = area.Top; y < area.Bottom; ++y)
    for (int x = area.Left; x < area.Right; ++x)
      n += Rgb24(p.At(x, y)) == colour;
  return n;
}

TEST_F(LabelTest, AutoSizeFollowsTheTextAndKeepsLeftAndTop) {
  TLabel* hint = AddLabel(TRect{19, 60, 28, 96}, Font("Arial", -32, clMaroon), "", true);
  // An empty caption measures as one space: 9 x 36 for this face and height.
  const TTextExtent space = MeasureText(hint->Font(), " ");
  EXPECT_EQ(hint->BoundsRect(), TRect::FromSize(19, 60, space.Width, space.Height));
  EXPECT_EQ(space, (TTextExtent{9, 36}));

  hint->SetCaption("Error Feedback");
  const TTextExtent text = MeasureText(hint->Font(), "Error Feedback");
  EXPECT_GT(text.Width, 10 * space.Width);
  EXPECT_EQ(hint->BoundsRect(), TRect::FromSize(19, 60, text.Width, space.Height));
  hint->SetCaption("Dither");
  EXPECT_LT(hint->Width(), text.Width);
  hint->SetCaption("");
  EXPECT_EQ(hint->BoundsRect(), TRect::FromSize(19, 60, space.Width, space.Height));

  // Without auto-size the box stays whatever the text.
  TLabel* fixed = AddLabel(TRect{100, 10, 217, 79}, Font("Arial", -69), "16", false);
  fixed->SetCaption("1024");
  EXPECT_EQ(fixed->BoundsRect(), (TRect{100, 10, 217, 79}));
}

TEST_F(LabelTest, GlyphsLandInsideTheBoxInTheFontColour) {
  const TRect box{20, 10, 180, 100};
  AddLabel(box, Font("Arial", -80, clRed), "64", false);
  const TBitmap32& p = Pixels();
  const TDiff changed = Differing(p, TRect{0, 0, 300, 120}, ColorToPixel(kBackground));
  // Opaque label: its box takes the parent's colour, which here is the background, so every
  // changed pixel is a glyph pixel, and all of them lie in the box.
  ASSERT_GT(changed.Count, 500);
  EXPECT_EQ(changed.Box.Intersect(box), changed.Box);
  // Solid stems show the font colour exactly (red, in the picture's byte order).
  EXPECT_GT(CountExactly(p, box, 0xFF0000), 200);
  // Left-justified by default: the ink starts at the box's left edge (less the bearing).
  EXPECT_LE(changed.Box.Left - box.Left, 6);
  EXPECT_GT(box.Right - changed.Box.Right, 40);
}

TEST_F(LabelTest, AlignmentPlacesTheTextInTheBox) {
  struct Case {
    TAlignment Alignment;
    const char* What;
  };
  for (const Case c :
       {Case{taLeftJustify, "left"}, Case{taCenter, "centre"}, Case{taRightJustify, "right"}}) {
    SCOPED_TRACE(c.What);
    const TRect box{40, 10, 240, 110};
    TLabel* label = AddLabel(box, Font("Arial", -60), "88", false);
    label->SetAlignment(c.Alignment);
    const TDiff ink = Differing(Pixels(), box, ColorToPixel(kBackground));
    const int left = ink.Box.Left - box.Left;
    const int right = box.Right - ink.Box.Right;
    const int width = MeasureText(label->Font(), "88").Width;
    if (c.Alignment == taLeftJustify) {
      EXPECT_LE(left, 6);
    } else if (c.Alignment == taRightJustify) {
      EXPECT_LE(right, 6);
    } else {
      EXPECT_LE(std::abs(left - right), 4);
    }
    EXPECT_GT(box.Width() - width, 100); // the cases above really differ
    delete label;
  }
}

TEST_F(LabelTest, TransparentLabelKeepsWhatLiesBeneathOutsideItsGlyphs) {
  // A blue panel half under the label; the label draws only glyphs over it.
  auto* under = new TWinControl(Form);
  under->SetParent(Form);
  under->SetBounds(0, 0, 300, 120);
  under->SetColor(kBackground);
  const TRect box{20, 10, 200, 100};
  TLabel* label = new TLabel(Form);
  label->SetParent(under);
  label->SetAutoSize(false);
  label->SetBounds(box.Left, box.Top, box.Width(), box.Height());
  label->SetColor(clWhite); // would fill the box white if it were opaque
  label->SetFont(Font("Arial", -80, clBlack));
  label->SetCaption("Ij");
  label->SetTransparent(true);
  const TBitmap32& p = Pixels();
  EXPECT_EQ(CountExactly(p, box, ColorToPixel(clWhite)), 0);
  const TDiff ink = Differing(p, TRect{0, 0, 300, 120}, ColorToPixel(kBackground));
  EXPECT_GT(ink.Count, 300);
  EXPECT_EQ(ink.Box.Intersect(box), ink.Box);
  EXPECT_GT(CountExactly(p, box, ColorToPixel(kBackground)), box.Width() * box.Height() / 2);

  label->SetTransparent(false);
  const TBitmap32& opaque = Pixels();
  EXPECT_GT(CountExactly(opaque, box, ColorToPixel(clWhite)), box.Width() * box.Height() / 2);
}

TEST_F(LabelTest, TextIsClippedToTheBox) {
  const TRect box{50, 20, 80, 40};
  AddLabel(box, Font("Arial", -60), "WWWW", false);
  const TDiff ink = Differing(Pixels(), TRect{0, 0, 300, 120}, ColorToPixel(kBackground));
  EXPECT_GT(ink.Count, 0);
  EXPECT_EQ(ink.Box.Intersect(box), ink.Box);
}

TEST(TextTest, MissingFacesAreSubstitutedAndDrawn) {
  struct Case {
    TFont Font;
  };
  const Case cases[] = {
      {Font("Arial", -32)},
      {Font("MS Sans Serif", -11)},
      {Font("MD Thaitype A", -69)},
      {Font("PRETEXT", -13, clBlack, {}, SymbolCharset)},
      {Font("Arial", -32, clBlack, {fsItalic, fsUnderline})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Font.Name);
    EXPECT_FALSE(ResolvedFace(c.Font).empty());
    const TTextExtent e = MeasureText(c.Font, "Quantaloop");
    EXPECT_GT(e.Width, 0);
    EXPECT_GE(e.Height, -c.Font.Height);
    TBitmap32 picture(e.Width + 10, e.Height, 0x00FFFFFF);
    RenderText(picture, TRect{0, 0, picture.Width, picture.Height},
               TRect{0, 0, picture.Width, picture.Height}, c.Font, "Quantaloop", taLeftJustify);
    EXPECT_GT(Differing(picture, TRect{0, 0, picture.Width, picture.Height}, 0xFFFFFF).Count, 10);
  }
#ifndef _WIN32
  // Arial's metric-compatible stand-in.
  EXPECT_EQ(ResolvedFace(Font("Arial", -32)), "Liberation Sans");
#endif
}

TEST(TextTest, StylesChangeTheDrawingAndRenderingRepeatsExactly) {
  auto render = [](const TFont& font) {
    TBitmap32 picture(200, 50, 0x00FFFFFF);
    RenderText(picture, TRect{0, 0, 200, 50}, TRect{0, 0, 200, 50}, font, "Quantaloop",
               taLeftJustify);
    return picture.Pixels;
  };
  const TFont plain = Font("Arial", -32);
  EXPECT_EQ(render(plain), render(plain));
  EXPECT_NE(render(plain), render(Font("Arial", -32, clBlack, {fsItalic})));
  EXPECT_NE(render(plain), render(Font("Arial", -32, clBlack, {fsUnderline})));
  // The underline runs below the baseline across the text.
  TBitmap32 underlined(200, 40, 0x00FFFFFF);
  const TFont u = Font("Arial", -32, clBlack, {fsUnderline});
  RenderText(underlined, TRect{0, 0, 200, 40}, TRect{0, 0, 200, 40}, u, "Quantaloop",
             taLeftJustify);
  const int width = MeasureText(u, "Quantaloop").Width;
  bool found = false;
  for (int y = 29; y < 36 && !found; ++y) {
    int dark = 0;
    for (int x = 0; x < width; ++x)
      dark += Rgb24(underlined.At(x, y)) == 0;
    found = dark >= width - 2;
  }
  EXPECT_TRUE(found);
}

} // namespace
