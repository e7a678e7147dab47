// dibpack IN.png OUT.dibcmp
//
// Reads a PNG, flattens it onto white (antialiased edges of the editor's pictures are meant to
// be seen on the white window) and writes it as the skin's stored picture data: a 32-bit
// picture, rows bottom-up, blue, green, red and a fourth byte 0, packed by the LZH compressor
// behind a "DIBCMP" header.
#include <png.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "skin/DIB.h"
#include "skin/DIBCompressor.h"

namespace {

struct TPngReader {
  png_image Image{};
  ~TPngReader() { png_image_free(&Image); }
};

// Reads the file as 8-bit RGB composed onto white; false with a message on failure.
bool ReadPng(const std::string& path, TBitmap32& picture, std::string& error) {
  TPngReader reader;
  reader.Image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&reader.Image, path.c_str())) {
    error = reader.Image.message;
    return false;
  }
  reader.Image.format = PNG_FORMAT_RGB;
  const png_color white = {255, 255, 255};
  const size_t stride = PNG_IMAGE_ROW_STRIDE(reader.Image);
  std::vector<png_byte> rgb(PNG_IMAGE_BUFFER_SIZE(reader.Image, stride));
  if (!png_image_finish_read(&reader.Image, &white, rgb.data(), static_cast<png_int_32>(stride),
                             nullptr)) {
    error = reader.Image.message;
    return false;
  }
  const int w = static_cast<int>(reader.Image.width);
  const int h = static_cast<int>(reader.Image.height);
  if (w > 65535 || h > 65535) {
    error = "picture larger than 65535 pixels";
    return false;
  }
  picture.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    const png_byte* src = rgb.data() + static_cast<size_t>(y) * stride;
    uint32_t* row = picture.Row(y);
    for (int x = 0; x < w; ++x, src += 3)
      row[x] = Bgra(src[0], src[1], src[2], 0);
  }
  return true;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dibpack IN.png OUT.dibcmp\n");
    return 2;
  }
  TBitmap32 picture;
  std::string error;
  if (!ReadPng(argv[1], picture, error)) {
    std::fprintf(stderr, "dibpack: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  std::vector<uint8_t> packed;
  try {
    TMemoryDIB dib;
    dib.SetBitmap(std::move(picture));
    packed = dib.SaveToData(TLZHDIBCompressor::ID);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dibpack: %s: %s\n", argv[1], e.what());
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(packed.data()),
            static_cast<std::streamsize>(packed.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "dibpack: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
