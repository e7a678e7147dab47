// Stored picture data and the compressors that pack it.
//
// Stored data is either raw or compressed. Compressed data starts with a 26-byte header:
//   0  6  "DIBCMP"
//   6 16  GUID of the compressor (32-bit, two 16-bit fields little-endian, then 8 bytes)
//  22  4  size of the unpacked data, little-endian
//  26     the compressor's output
// Anything shorter than 26 bytes or not starting with "DIBCMP" is raw.
//
// Compressors are found by GUID in a registry. The built-in ones are registered on the first
// lookup, not by static initialisers, so that they survive linking from a static library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  uint8_t D4[8] = {};

  friend bool operator==(const TGUID&, const TGUID&) = default;
};

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; false on any other text.
bool ParseGUID(std::string_view text, TGUID& guid);
// Upper-case text form with braces.
std::string GUIDToString(const TGUID& guid);

class TDIBCompressor {
public:
  virtual ~TDIBCompressor() = default;
  virtual TGUID GUID() const = 0;
  virtual std::string DisplayName() const = 0;
  virtual std::vector<uint8_t> Compress(std::span<const uint8_t> raw) const = 0;
  // Unpacks exactly `size` bytes. Throws EDIBError when the packed data is corrupt, truncated
  // or does not unpack to exactly `size` bytes; never reads outside `packed`.
  virtual std::vector<uint8_t> Decompress(std::span<const uint8_t> packed, size_t size) const = 0;
};

// Deflate-based packing; the compressor of the editor's pictures.
class TLZHDIBCompressor final : public TDIBCompressor {
public:
  static constexpr TGUID ID = {
      0xBC0C10FC, 0xE045, 0x41E7, {0xA3, 0x7C, 0xB8, 0x6A, 0xF2, 0x13, 0x20, 0xB8}};
  TGUID GUID() const override { return ID; }
  std::string DisplayName() const override { return "DIB LZH"; }
  std::vector<uint8_t> Compress(std::span<const uint8_t> raw) const override;
  std::vector<uint8_t> Decompress(std::span<const uint8_t> packed, size_t size) const override;
};

// The bytes are split into four planes (every fourth byte: blue, green, red, fourth byte of
// each pixel), which turns flat picture areas into long runs, and the planes are run-length
// coded. Control byte c: 0..127 is followed by c + 1 literal bytes; 128..255 by one byte that
// repeats c - 126 times (2..129).
class TRLEDIBCompressor final : public TDIBCompressor {
public:
  static constexpr TGUID ID = {
      0x5A3E9C41, 0x7B2D, 0x4F80, {0x9E, 0x16, 0xC4, 0xD2, 0xA8, 0xB0, 0x7F, 0x35}};
  TGUID GUID() const override { return ID; }
  std::string DisplayName() const override { return "Shuffle4 RLE"; }
  std::vector<uint8_t> Compress(std::span<const uint8_t> raw) const override;
  std::vector<uint8_t> Decompress(std::span<const uint8_t> packed, size_t size) const override;
};

// Adds a compressor; one with the same GUID is replaced. Call from the UI thread.
void RegisterDIBCompressor(std::unique_ptr<TDIBCompressor> compressor);
// The registered compressor with this GUID, or null.
const TDIBCompressor* FindDIBCompressor(const TGUID& guid);
// Every registered compressor, in registration order (the built-in ones first).
std::vector<const TDIBCompressor*> RegisteredDIBCompressors();

constexpr size_t DIBHeaderSize = 26;
// Unpacked data larger than this is refused: the size field of stored data is not trusted.
constexpr size_t MaxUnpackedDIBSize = size_t{64} << 20;

bool IsCompressedDIBData(std::span<const uint8_t> stored);
// Header plus the output of the compressor with this GUID; EDIBError when none is registered.
std::vector<uint8_t> PackDIBData(std::span<const uint8_t> raw, const TGUID& compressor);
// Raw data comes back as it is; compressed data is unpacked by the compressor its header names.
std::vector<uint8_t> UnpackDIBData(std::span<const uint8_t> stored);
