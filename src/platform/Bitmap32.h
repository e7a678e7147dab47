// A 32-bit picture in memory: blue, green, red and a fourth byte per pixel, rows stored
// bottom-up (the first stored pixel is the bottom-left one), as device-independent bitmaps are.
// Coordinates given to the accessors count rows from the top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TBitmap32 {
  int Width = 0;
  int Height = 0;
  // Pixel value 0xAARRGGBB: in memory the bytes read blue, green, red, fourth byte.
  std::vector<uint32_t> Pixels;

  TBitmap32() = default;
  TBitmap32(int w, int h, uint32_t fill = 0) { SetSize(w, h, fill); }

  void SetSize(int w, int h, uint32_t fill = 0) {
    Width = w > 0 ? w : 0;
    Height = h > 0 ? h : 0;
    Pixels.assign(static_cast<size_t>(Width) * static_cast<size_t>(Height), fill);
  }
  bool Empty() const { return Width == 0 || Height == 0; }

  // Row y counted from the top.
  uint32_t* Row(int y) { return Pixels.data() + static_cast<size_t>(Height - 1 - y) * Width; }
  const uint32_t* Row(int y) const {
    return Pixels.data() + static_cast<size_t>(Height - 1 - y) * Width;
  }
  uint32_t& At(int x, int y) { return Row(y)[x]; }
  uint32_t At(int x, int y) const { return Row(y)[x]; }
};

// Colour helpers for 0xAARRGGBB pixels.
constexpr uint32_t Bgra(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 0) {
  return (uint32_t{a} << 24) | (uint32_t{r} << 16) | (uint32_t{g} << 8) | uint32_t{b};
}
constexpr uint32_t Rgb24(uint32_t pixel) { return pixel & 0x00FFFFFFu; }
