#include "skin/DIBCompressor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <zlib.h>

#include "skin/DIBError.h"

namespace {

const char* const CorruptText = "The picture data is corrupt or truncated.";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(std::string_view text, size_t pos, size_t digits, uint64_t& value) {
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    int v = HexValue(text[pos + i]);
    if (v < 0) return false;
    value = value << 4 | static_cast<uint64_t>(v);
  }
  return true;
}

struct TRegistry {
  std::vector<std::unique_ptr<TDIBCompressor>> Items;
  TRegistry() {
    Items.push_back(std::make_unique<TLZHDIBCompressor>());
    Items.push_back(std::make_unique<TRLEDIBCompressor>());
  }
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

void PutLE(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t GetLE(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = v << 8 | p[i];
  return v;
}

// Run-length coding of one byte stream, appended to `out`.
void RLEEncode(const uint8_t* data, size_t n, std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 129 && data[i + run] == data[i])
      ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(run + 126));
      out.push_back(data[i]);
      i += run;
      continue;
    }
    // A literal block ends where a run of two or more starts.
    size_t start = i;
    size_t len = 0;
    while (i < n && len < 128) {
      if (i + 1 < n && data[i + 1] == data[i]) break;
      ++i;
      ++len;
    }
    out.push_back(static_cast<uint8_t>(len - 1));
    out.insert(out.end(), data + start, data + start + len);
  }
}

} // namespace

bool ParseGUID(std::string_view text, TGUID& guid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-')
    return false;
  uint64_t v = 0;
  TGUID g;
  if (!ParseHex(text, 1, 8, v)) return false;
  g.D1 = static_cast<uint32_t>(v);
  if (!ParseHex(text, 10, 4, v)) return false;
  g.D2 = static_cast<uint16_t>(v);
  if (!ParseHex(text, 15, 4, v)) return false;
  g.D3 = static_cast<uint16_t>(v);
  static constexpr size_t BytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ParseHex(text, BytePos[i], 2, v)) return false;
    g.D4[i] = static_cast<uint8_t>(v);
  }
  guid = g;
  return true;
}

std::string GUIDToString(const TGUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.D1), g.D2, g.D3, g.D4[0], g.D4[1], g.D4[2], g.D4[3],
                g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
  return buf;
}

void RegisterDIBCompressor(std::unique_ptr<TDIBCompressor> compressor) {
  if (!compressor) return;
  auto& items = Registry().Items;
  const TGUID id = compressor->GUID();
  for (auto& item : items) {
    if (item->GUID() == id) {
      item = std::move(compressor);
      return;
    }
  }
  items.push_back(std::move(compressor));
}

const TDIBCompressor* FindDIBCompressor(const TGUID& guid) {
  for (auto& item : Registry().Items)
    if (item->GUID() == guid) return item.get();
  return nullptr;
}

std::vector<const TDIBCompressor*> RegisteredDIBCompressors() {
  std::vector<const TDIBCompressor*> all;
  for (auto& item : Registry().Items)
    all.push_back(item.get());
  return all;
}

bool IsCompressedDIBData(std::span<const uint8_t> stored) {
  return stored.size() >= DIBHeaderSize && std::memcmp(stored.data(), "DIBCMP", 6) == 0;
}

std::vector<uint8_t> PackDIBData(std::span<const uint8_t> raw, const TGUID& guid) {
  const TDIBCompressor* compressor = FindDIBCompressor(guid);
  if (!compressor) throw EDIBError("Could not find a suitable compressor.");
  if (raw.size() > MaxUnpackedDIBSize) throw EDIBError("The picture is too large to store.");
  std::vector<uint8_t> out(reinterpret_cast<const uint8_t*>("DIBCMP"),
                           reinterpret_cast<const uint8_t*>("DIBCMP") + 6);
  PutLE(out, guid.D1, 4);
  PutLE(out, guid.D2, 2);
  PutLE(out, guid.D3, 2);
  out.insert(out.end(), guid.D4, guid.D4 + 8);
  PutLE(out, raw.size(), 4);
  std::vector<uint8_t> packed = compressor->Compress(raw);
  out.insert(out.end(), packed.begin(), packed.end());
  return out;
}

std::vector<uint8_t> UnpackDIBData(std::span<const uint8_t> stored) {
  if (!IsCompressedDIBData(stored)) return {stored.begin(), stored.end()};
  const uint8_t* p = stored.data() + 6;
  TGUID guid;
  guid.D1 = static_cast<uint32_t>(GetLE(p, 4));
  guid.D2 = static_cast<uint16_t>(GetLE(p + 4, 2));
  guid.D3 = static_cast<uint16_t>(GetLE(p + 6, 2));
  std::memcpy(guid.D4, p + 8, 8);
  const uint64_t size = GetLE(p + 16, 4);
  const TDIBCompressor* compressor = FindDIBCompressor(guid);
  if (!compressor) throw EDIBError("Could not find a suitable decompressor.");
  if (size > MaxUnpackedDIBSize) throw EDIBError(CorruptText);
  return compressor->Decompress(stored.subspan(DIBHeaderSize), static_cast<size_t>(size));
}

std::vector<uint8_t> TLZHDIBCompressor::Compress(std::span<const uint8_t> raw) const {
  z_stream z{};
  if (deflateInit(&z, Z_BEST_COMPRESSION) != Z_OK) throw EDIBError("Could not pack the picture.");
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(raw.size())));
  z.next_in = const_cast<Bytef*>(raw.data());
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw EDIBError("Could not pack the picture.");
  return out;
}

std::vector<uint8_t> TLZHDIBCompressor::Decompress(std::span<const uint8_t> packed,
                                                   size_t size) const {
  // inflate writes no further than avail_out, so the buffer can be allocated whole.
  // Deflate expands at most about 1032-fold; a larger claim is a lie, refused before allocating.
  if (size > MaxUnpackedDIBSize || size / 1032 > packed.size()) throw EDIBError(CorruptText);
  std::vector<uint8_t> out(size);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw EDIBError(CorruptText);
  z.next_in = const_cast<Bytef*>(packed.data());
  z.avail_in = static_cast<uInt>(packed.size());
  uint8_t spare = 0;
  z.next_out = size ? out.data() : &spare;
  z.avail_out = static_cast<uInt>(size);
  int rc = inflate(&z, Z_FINISH);
  if (rc == Z_BUF_ERROR && z.avail_out == 0) {
    // The output is full; the stream must end here, with no byte beyond `size`.
    z.next_out = &spare;
    z.avail_out = 1;
    rc = inflate(&z, Z_FINISH);
    if (z.avail_out == 0) rc = Z_DATA_ERROR;
  }
  const uLong produced = z.total_out;
  inflateEnd(&z);
  if (rc != Z_STREAM_END || produced != size) throw EDIBError(CorruptText);
  return out;
}

std::vector<uint8_t> TRLEDIBCompressor::Compress(std::span<const uint8_t> raw) const {
  const size_t n = raw.size();
  const size_t plane = n / 4;
  std::vector<uint8_t> shuffled(n);
  for (size_t i = 0; i < plane; ++i)
    for (size_t b = 0; b < 4; ++b)
      shuffled[b * plane + i] = raw[4 * i + b];
  // A size that is not a multiple of four leaves a tail, kept in order after the planes.
  std::copy(raw.begin() + static_cast<ptrdiff_t>(4 * plane), raw.end(),
            shuffled.begin() + static_cast<ptrdiff_t>(4 * plane));
  std::vector<uint8_t> out;
  out.reserve(n / 8 + 16);
  RLEEncode(shuffled.data(), n, out);
  return out;
}

std::vector<uint8_t> TRLEDIBCompressor::Decompress(std::span<const uint8_t> packed,
                                                   size_t size) const {
  // Two packed bytes give at most 129 unpacked ones.
  if (size > MaxUnpackedDIBSize || size / 65 > packed.size()) throw EDIBError(CorruptText);
  std::vector<uint8_t> shuffled(size);
  size_t in = 0;
  size_t at = 0;
  while (in < packed.size()) {
    const unsigned c = packed[in++];
    if (c < 128) {
      const size_t len = c + 1;
      if (len > packed.size() - in || len > size - at) throw EDIBError(CorruptText);
      std::memcpy(shuffled.data() + at, packed.data() + in, len);
      in += len;
      at += len;
    } else {
      const size_t len = c - 126;
      if (in >= packed.size() || len > size - at) throw EDIBError(CorruptText);
      std::memset(shuffled.data() + at, packed[in++], len);
      at += len;
    }
  }
  if (at != size) throw EDIBError(CorruptText);
  const size_t plane = size / 4;
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < plane; ++i)
    for (size_t b = 0; b < 4; ++b)
      out[4 * i + b] = shuffled[b * plane + i];
  std::copy(shuffled.begin() + static_cast<ptrdiff_t>(4 * plane), shuffled.end(),
            out.begin() + static_cast<ptrdiff_t>(4 * plane));
  return out;
}
