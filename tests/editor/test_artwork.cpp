// The editor's embedded pictures: what the image list loads at run time must be exactly the
// committed rasters, and those must be what the sources render to.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "editor/Artwork.h"
#include "skin/DIB.h"
#include "skin/DIBCompressor.h"

#ifdef QL_ARTWORK_PNG
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#endif

namespace {

struct TExpected {
  const char* Name;
  int Width;
  int Height;
};
// Image-list order and sizes the editor's layout is built around.
constexpr TExpected kExpected[] = {
    {"Trunc", 1002, 159},
    {"ErrorFeedback", 599, 343},
    {"Dither", 226, 152},
    {"OrvaneLogo", 271, 106},
};

constexpr uint32_t kKey = 0xFFFFFF;

TMemoryDIB Load(const TArtwork& item) {
  TMemoryDIB dib;
  dib.LoadFromData(std::span<const uint8_t>(item.Data, item.Size));
  return dib;
}

std::vector<TMemoryDIB> LoadAll() {
  size_t count = 0;
  const TArtwork* items = ArtworkItems(count);
  std::vector<TMemoryDIB> dibs;
  for (size_t i = 0; i < count; ++i)
    dibs.push_back(Load(items[i]));
  return dibs;
}

TEST(Artwork, EveryPictureIsPackedByTheLZHCompressorAndDecodesToItsSize) {
  size_t count = 0;
  const TArtwork* items = ArtworkItems(count);
  ASSERT_EQ(count, std::size(kExpected));
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(kExpected[i].Name);
    EXPECT_STREQ(items[i].DisplayName, kExpected[i].Name);
    std::span<const uint8_t> data(items[i].Data, items[i].Size);
    ASSERT_TRUE(IsCompressedDIBData(data));
    // The header names the compressor: 32-bit and two 16-bit fields little-endian, 8 bytes.
    const TGUID& id = TLZHDIBCompressor::ID;
    const uint8_t guid[16] = {uint8_t(id.D1),
                              uint8_t(id.D1 >> 8),
                              uint8_t(id.D1 >> 16),
                              uint8_t(id.D1 >> 24),
                              uint8_t(id.D2),
                              uint8_t(id.D2 >> 8),
                              uint8_t(id.D3),
                              uint8_t(id.D3 >> 8),
                              id.D4[0],
                              id.D4[1],
                              id.D4[2],
                              id.D4[3],
                              id.D4[4],
                              id.D4[5],
                              id.D4[6],
                              id.D4[7]};
    EXPECT_EQ(std::memcmp(data.data() + 6, guid, sizeof(guid)), 0);
    TMemoryDIB dib = Load(items[i]);
    EXPECT_EQ(dib.Width(), kExpected[i].Width);
    EXPECT_EQ(dib.Height(), kExpected[i].Height);
  }
}

// Where the switch blocks lie over the strip, their drawn pixels must not hide the strip's:
// outside their own drawing they are the key. Pixels both draw alike are harmless.
TEST(Artwork, SwitchBlocksLeaveTheStripVisibleWhereTheyOverlapIt) {
  std::vector<TMemoryDIB> dibs = LoadAll();
  ASSERT_EQ(dibs.size(), 4u);
  const TBitmap32& strip = dibs[0].Bitmap();
  constexpr int kStripLeft = 0, kStripTop = 148;
  struct TPlaced {
    int Index, Left, Top;
  };
  for (TPlaced p : {TPlaced{1, 350, 220}, TPlaced{2, 414, 13}}) {
    SCOPED_TRACE(kExpected[p.Index].Name);
    const TBitmap32& over = dibs[p.Index].Bitmap();
    int hidden = 0;
    for (int y = 0; y < over.Height; ++y) {
      for (int x = 0; x < over.Width; ++x) {
        const int sx = p.Left + x - kStripLeft, sy = p.Top + y - kStripTop;
        if (sx < 0 || sy < 0 || sx >= strip.Width || sy >= strip.Height) continue;
        const uint32_t a = Rgb24(over.At(x, y)), b = Rgb24(strip.At(sx, sy));
        if (a != kKey && b != kKey && a != b) ++hidden;
      }
    }
    EXPECT_EQ(hidden, 0);
  }
}

// The oversampling number is a transparent label: its glyphs are drawn straight onto the
// strip, so the strip keeps that box one plain colour.
TEST(Artwork, StripIsPlainUnderTheOversamplingNumber) {
  std::vector<TMemoryDIB> dibs = LoadAll();
  ASSERT_FALSE(dibs.empty());
  const TBitmap32& b = dibs[0].Bitmap();
  // Window box 91,176 147 x 89; the strip sits at 0,148.
  const uint32_t first = b.At(91, 176 - 148);
  int other = 0;
  for (int y = 176 - 148; y < 176 - 148 + 89; ++y)
    for (int x = 91; x < 91 + 147; ++x)
      other += b.At(x, y) != first;
  EXPECT_EQ(other, 0);
  EXPECT_NE(Rgb24(first), kKey) << "the number needs the block's fill behind it";
}

#ifdef QL_ARTWORK_PNG

// Pixels of a PNG as 0x00RRGGBB composed onto white, rows from the top.
bool ReadPng(const std::string& path, int& w, int& h, std::vector<uint32_t>& pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  const png_color white = {255, 255, 255};
  if (!png_image_finish_read(&image, &white, rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  w = static_cast<int>(image.width);
  h = static_cast<int>(image.height);
  pixels.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = Bgra(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
  return true;
}

// Compares a picture with a PNG; the fourth byte of every pixel must be 0.
void ExpectSamePixels(const TBitmap32& dib, const std::string& png) {
  int w = 0, h = 0;
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(ReadPng(png, w, h, pixels)) << png;
  ASSERT_EQ(dib.Width, w);
  ASSERT_EQ(dib.Height, h);
  int differ = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t got = dib.At(x, y), want = pixels[static_cast<size_t>(y) * w + x];
      if (got != want && differ++ == 0)
        ADD_FAILURE() << png << ": first difference at " << x << "," << y << ": " << std::hex << got
                      << " instead of " << want;
    }
  }
  EXPECT_EQ(differ, 0) << png;
}

TEST(Artwork, EmbeddedPicturesAreTheCommittedRasters) {
  std::vector<TMemoryDIB> dibs = LoadAll();
  ASSERT_EQ(dibs.size(), std::size(kExpected));
  for (size_t i = 0; i < dibs.size(); ++i)
    ExpectSamePixels(dibs[i].Bitmap(),
                     std::string(QL_SOURCE_DIR "/assets/") + kExpected[i].Name + ".png");
}

// The committed rasters must be what the sources give, so that editing an SVG without
// re-rendering (or rendering with other fonts) is caught.
TEST(Artwork, SourcesRenderToTheCommittedRasters) {
  if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "rsvg-convert is not installed";
  const std::filesystem::path out =
      std::filesystem::temp_directory_path() / ("ql-artwork-" + std::to_string(getpid()));
  const std::string command =
      std::string("'" QL_SOURCE_DIR "/scripts/render-assets' --out '") + out.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const TExpected& e : kExpected) {
    int w = 0, h = 0;
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(ReadPng((out / (std::string(e.Name) + ".png")).string(), w, h, pixels));
    TBitmap32 rendered(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        rendered.At(x, y) = pixels[static_cast<size_t>(y) * w + x];
    ExpectSamePixels(rendered, std::string(QL_SOURCE_DIR "/assets/") + e.Name + ".png");
  }
  std::filesystem::remove_all(out);
}

#endif

} // namespace
