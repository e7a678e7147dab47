// Drawing of pictures: opacity blending, the colour key, the auto-size box and transforms.
#include <gtest/gtest.h>

#include "skin/DIB.h"
#include "skin/DIBError.h"

namespace {

constexpr uint32_t White = Bgra(255, 255, 255);
constexpr uint32_t Black = Bgra(0, 0, 0);

TMemoryDIB Solid(int w, int h, uint32_t pixel) {
  TMemoryDIB dib;
  dib.SetBitmap(TBitmap32(w, h, pixel));
  return dib;
}

} // namespace

TEST(Blend, OpacityFormulaAndFourthByte) {
  struct Case {
    uint8_t Opacity;
    uint32_t Src, Dst, Expected;
  };
  const Case cases[] = {
      {255, Bgra(10, 20, 30, 5), Bgra(200, 100, 50, 9), Bgra(10, 20, 30, 5)},  // copy, all bytes
      {0, Bgra(10, 20, 30, 99), Bgra(200, 100, 50, 9), Bgra(200, 100, 50, 9)}, // unchanged
      {50, Black, White, Bgra(205, 205, 205)},                                 // the worked example
      {128, Bgra(255, 0, 100, 7), Bgra(0, 255, 100, 200),
       Bgra((128 * 255 + 255) / 256, (127 * 255 + 255) / 256, (255 * 100 + 255) / 256, 200)},
  };
  for (const Case& c : cases) {
    TBitmap32 dst(3, 2, c.Dst);
    BlendBitmap(dst, 1, 0, TBitmap32(1, 1, c.Src), c.Opacity);
    EXPECT_EQ(dst.At(1, 0), c.Expected) << "opacity " << int(c.Opacity);
    EXPECT_EQ(dst.At(0, 0), c.Dst);
    EXPECT_EQ(dst.At(1, 1), c.Dst);
  }
}

TEST(Blend, UntouchedPixelsStayExactAtEveryOpacity) {
  for (int o = 0; o < 256; ++o) {
    for (uint32_t d : {Black, White, Bgra(1, 128, 254, 3)}) {
      TBitmap32 dst(1, 1, d);
      BlendBitmap(dst, 0, 0, TBitmap32(1, 1, d), static_cast<uint8_t>(o));
      ASSERT_EQ(dst.At(0, 0), d) << o;
    }
  }
}

TEST(Blend, ClipsAtEveryEdge) {
  TBitmap32 dst(4, 4, 0);
  BlendBitmap(dst, -2, 3, TBitmap32(4, 4, White), 255);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(dst.At(x, y), (x < 2 && y == 3) ? White : 0u) << x << "," << y;
  BlendBitmap(dst, 10, -10, TBitmap32(4, 4, White), 100); // entirely outside: nothing
}

TEST(Draw, KeyColourSkippedWhateverTheOpacityOneStepOffDrawn) {
  // The key is given 0x00BBGGRR; the picture's bytes read blue, green, red.
  const uint32_t key = Bgra(10, 20, 30);
  const uint32_t keyAsColour = 0x1E140A;
  const uint32_t offByOne[] = {Bgra(11, 20, 30), Bgra(10, 21, 30), Bgra(10, 20, 31)};
  for (uint8_t opacity : {uint8_t{255}, uint8_t{128}, uint8_t{1}}) {
    TMemoryDIB dib;
    TBitmap32 pixels(4, 1);
    pixels.At(0, 0) = key | 0xFF000000u; // the fourth byte does not take part in the key
    for (int i = 0; i < 3; ++i)
      pixels.At(i + 1, 0) = offByOne[i];
    dib.SetBitmap(pixels);
    dib.SetTransparent(true);
    dib.SetTransparentMode(tmFixed);
    dib.SetTransparentColor(keyAsColour);
    dib.SetOpacity(opacity);
    TBitmap32 target(4, 1, Black);
    dib.Draw(target, 0, 0);
    EXPECT_EQ(target.At(0, 0), Black) << int(opacity);
    for (int i = 1; i < 4; ++i)
      EXPECT_NE(target.At(i, 0), Black) << int(opacity) << " " << i;
  }
}

TEST(Draw, OwnOpacityBlendsColourAndCopiesFourthByte) {
  TMemoryDIB dib = Solid(1, 1, Bgra(0, 0, 0, 77));
  dib.SetOpacity(50);
  TBitmap32 target(1, 1, Bgra(255, 255, 255, 200));
  dib.Draw(target, 0, 0);
  EXPECT_EQ(target.At(0, 0), Bgra(205, 205, 205, 77));
}

TEST(Draw, NaturalSizeCopyIsClippedAndKeepsOrientation) {
  TBitmap32 pixels(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      pixels.At(x, y) = Bgra(static_cast<uint8_t>(10 * y + x), 0, 0);
  TMemoryDIB dib;
  dib.SetBitmap(pixels);
  TBitmap32 target(3, 3, White);
  dib.Draw(target, 1, 2); // only the top row's first two pixels fit
  EXPECT_EQ(target.At(1, 2), Bgra(0, 0, 0));
  EXPECT_EQ(target.At(2, 2), Bgra(1, 0, 0));
  EXPECT_EQ(target.At(0, 2), White);
  EXPECT_EQ(target.At(1, 1), White);
  dib.Draw(target, -2, -1); // bottom-right pixel lands at 0, 0
  EXPECT_EQ(target.At(0, 0), Bgra(12, 0, 0));
}

TEST(AutoSize, BoxOfTheRule) {
  struct Case {
    int W, H, Angle;
    double Sx, Sy;
    TDIBSize Expected;
  };
  const Case cases[] = {
      {1002, 159, 0, 100, 100, {1002, 160}},
      {599, 343, 0, 100, 100, {600, 344}},
      {226, 152, 0, 100, 100, {226, 152}},
      {271, 106, 0, 100, 100, {272, 106}},
      {10, 20, 90, 100, 100, {20, 10}},
      {11, 21, 270, 100, 100, {22, 12}},
      {10, 10, 45, 100, 100, {16, 16}},    // 14.14 -> 15 -> 16
      {100, 50, 0, 150, 50, {150, 26}},    // 25 is odd
      {100, 50, 180, 33.3, 100, {34, 50}}, // 33.3 -> 34
      {5, 5, 0, 0, 100, {0, 6}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DIBAutoSize(c.W, c.H, c.Angle, c.Sx, c.Sy), c.Expected)
        << c.W << "x" << c.H << " at " << c.Angle;
}

TEST(Draw, QuarterTurnAndDoubleScaleResample) {
  // 2 x 1: left red, right green.
  TBitmap32 pixels(2, 1);
  pixels.At(0, 0) = Bgra(255, 0, 0);
  pixels.At(1, 0) = Bgra(0, 255, 0);
  TMemoryDIB dib;
  dib.SetBitmap(pixels);

  TBitmap32 doubled(4, 2, White);
  dib.DrawTransformed(doubled, 0, 0, 0, 200, 200);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(doubled.At(x, y), pixels.At(x / 2, 0)) << x << "," << y;

  // A quarter turn counter-clockwise puts the right end on top.
  TBitmap32 turned(2, 2, White);
  dib.DrawTransformed(turned, 0, 0, 90, 100, 100);
  EXPECT_EQ(turned.At(0, 0), Bgra(0, 255, 0));
  EXPECT_EQ(turned.At(0, 1), Bgra(255, 0, 0));

  // Degenerate and absurd scales draw nothing instead of failing.
  TBitmap32 untouched(4, 4, White);
  for (double s : {0.0, -0.0, 1e300, std::numeric_limits<double>::quiet_NaN()})
    dib.DrawTransformed(untouched, 0, 0, 30, s, 100);
  dib.DrawTransformed(untouched, 0, 0, 30, 1e-300, 1e-300);
  SUCCEED();
}

TEST(Draw, TransformedPictureKeepsTheKey) {
  TMemoryDIB dib = Solid(4, 4, White);
  dib.Bitmap().At(1, 1) = Black;
  dib.SetTransparent(true);
  dib.SetTransparentColor(0xFFFFFF);
  TBitmap32 target(8, 8, Bgra(1, 2, 3));
  dib.DrawTransformed(target, 0, 0, 0, 200, 200);
  int black = 0, other = 0;
  for (uint32_t p : target.Pixels)
    (p == Black ? black : other)++;
  EXPECT_EQ(black, 4);
  EXPECT_EQ(other, 60);
  for (uint32_t p : target.Pixels)
    EXPECT_TRUE(p == Black || p == Bgra(1, 2, 3));
}

TEST(Picture, PropertyRules) {
  TMemoryDIB dib;
  EXPECT_EQ(dib.Opacity(), 255);
  dib.SetMasked(true);
  dib.SetTransparent(true);
  EXPECT_FALSE(dib.Masked());
  for (auto [in, out] : {std::pair{360, 0}, {-1, 359}, {725, 5}, {-720, 0}, {359, 359}}) {
    dib.SetAngle(in);
    EXPECT_EQ(dib.Angle(), out) << in;
  }
  dib.SetTransparentColor(0x00FF8040); // blue FF, green 80, red 40
  EXPECT_EQ(dib.KeyColor(), 0x4080FFu);
  dib.SetBitmap(TBitmap32(2, 2, Bgra(9, 8, 7, 6)));
  dib.SetTransparentMode(tmAuto);
  EXPECT_EQ(dib.KeyColor(), Bgra(9, 8, 7));
}

TEST(Picture, StoredDataRoundTripsRawAndPacked) {
  TMemoryDIB dib;
  TBitmap32 pixels(5, 3);
  for (size_t i = 0; i < pixels.Pixels.size(); ++i)
    pixels.Pixels[i] = static_cast<uint32_t>(i * 0x01030507u);
  dib.SetBitmap(pixels);
  for (int packed = 0; packed < 3; ++packed) {
    const std::vector<uint8_t> data = packed == 0   ? dib.SaveToData()
                                      : packed == 1 ? dib.SaveToData(TLZHDIBCompressor::ID)
                                                    : dib.SaveToData(TRLEDIBCompressor::ID);
    TMemoryDIB back;
    back.LoadFromData(data);
    EXPECT_EQ(back.Width(), 5);
    EXPECT_EQ(back.Height(), 3);
    EXPECT_EQ(back.Bitmap().Pixels, pixels.Pixels) << packed;
  }
}

TEST(Picture, BadRawDataIsRefusedAndLeavesThePicture) {
  TMemoryDIB good;
  good.SetBitmap(TBitmap32(2, 2, White));
  const std::vector<uint8_t> data = good.SaveToData();
  auto with = [&](size_t at, uint8_t v) {
    std::vector<uint8_t> d = data;
    d[at] = v;
    return d;
  };
  const std::vector<std::vector<uint8_t>> bad = {
      {data.begin(), data.end() - 1},    // one pixel byte short
      {data.begin(), data.begin() + 39}, // header cut
      with(14, 24),                      // 24 bits per pixel
      with(16, 1),                       // compressed bitmap
      with(0, 200),                      // header size beyond the data
      with(7, 0x80),                     // negative width
      with(6, 0x01),                     // width 65538
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    TMemoryDIB dib;
    dib.SetBitmap(TBitmap32(1, 1, Black));
    EXPECT_THROW(dib.LoadFromData(bad[i]), EDIBError) << i;
    EXPECT_EQ(dib.Width(), 1) << i;
  }
  // Top-down rows are accepted and turned over.
  std::vector<uint8_t> topDown = good.SaveToData();
  topDown[8] = 0xFE, topDown[9] = topDown[10] = topDown[11] = 0xFF; // height -2
  topDown[40] = 1;                                                  // first stored pixel
  TMemoryDIB dib;
  dib.LoadFromData(topDown);
  EXPECT_EQ(dib.Height(), 2);
  EXPECT_EQ(dib.Bitmap().At(0, 0) & 0xFF, 1u);
}
