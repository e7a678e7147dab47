// Packed picture data: the "DIBCMP" header, both compressors, and data that lies.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "skin/DIB.h"
#include "skin/DIBCompressor.h"
#include "skin/DIBError.h"

namespace {

std::vector<uint8_t> PictureLike(size_t n, uint32_t seed) {
  // Flat areas with some noise, like artwork on a white key.
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n, 255);
  for (size_t i = 0; i < n; ++i)
    if (i % 4 == 3)
      v[i] = 0;
    else if ((i / 64) % 5 == 0)
      v[i] = static_cast<uint8_t>(rng());
  return v;
}

std::string ErrorOf(std::span<const uint8_t> stored) {
  try {
    UnpackDIBData(stored);
  } catch (const EDIBError& e) {
    return e.what();
  }
  return "";
}

} // namespace

TEST(Compressor, RegistryKnowsBothByGUID) {
  TGUID lzh;
  ASSERT_TRUE(ParseGUID("{BC0C10FC-E045-41E7-A37C-B86AF21320B8}", lzh));
  EXPECT_EQ(lzh, TLZHDIBCompressor::ID);
  EXPECT_EQ(GUIDToString(lzh), "{BC0C10FC-E045-41E7-A37C-B86AF21320B8}");
  ASSERT_NE(FindDIBCompressor(lzh), nullptr);
  EXPECT_EQ(FindDIBCompressor(lzh)->DisplayName(), "DIB LZH");
  ASSERT_NE(FindDIBCompressor(TRLEDIBCompressor::ID), nullptr);
  EXPECT_EQ(FindDIBCompressor(TRLEDIBCompressor::ID)->DisplayName(), "Shuffle4 RLE");
  TGUID g;
  for (const char* bad :
       {"", "BC0C10FC-E045-41E7-A37C-B86AF21320B8", "{BC0C10FC-E045-41E7-A37C-B86AF21320BG}",
        "{BC0C10FC-E04541E7-A37C--B86AF21320B8}"})
    EXPECT_FALSE(ParseGUID(bad, g)) << bad;
}

TEST(Compressor, HeaderLayout) {
  const std::vector<uint8_t> raw(1000, 7);
  const std::vector<uint8_t> packed = PackDIBData(raw, TLZHDIBCompressor::ID);
  ASSERT_GE(packed.size(), DIBHeaderSize);
  EXPECT_EQ(std::memcmp(packed.data(), "DIBCMP", 6), 0);
  const uint8_t guid[16] = {0xFC, 0x10, 0x0C, 0xBC, 0x45, 0xE0, 0xE7, 0x41,
                            0xA3, 0x7C, 0xB8, 0x6A, 0xF2, 0x13, 0x20, 0xB8};
  EXPECT_EQ(std::memcmp(packed.data() + 6, guid, 16), 0);
  const uint8_t size[4] = {0xE8, 0x03, 0, 0};
  EXPECT_EQ(std::memcmp(packed.data() + 22, size, 4), 0);
}

TEST(Compressor, RoundTrips) {
  const size_t sizes[] = {0, 1, 3, 4, 5, 127, 128, 129, 130, 1000, 1002 * 160 * 4 + 40};
  for (const TGUID& id : {TLZHDIBCompressor::ID, TRLEDIBCompressor::ID}) {
    for (size_t n : sizes) {
      for (uint32_t seed : {1u, 2u}) {
        std::vector<uint8_t> raw = PictureLike(n, seed);
        if (seed == 2) { // incompressible
          std::mt19937 rng(static_cast<uint32_t>(n));
          for (auto& b : raw)
            b = static_cast<uint8_t>(rng());
        }
        const std::vector<uint8_t> packed = PackDIBData(raw, id);
        EXPECT_EQ(UnpackDIBData(packed), raw) << GUIDToString(id) << " " << n;
      }
    }
  }
  // Long runs and runs broken by single bytes exercise both kinds of RLE block.
  std::vector<uint8_t> runs;
  for (int i = 0; i < 600; ++i)
    runs.push_back(i < 300 ? 9 : static_cast<uint8_t>(i % 3 ? 1 : 2));
  EXPECT_EQ(UnpackDIBData(PackDIBData(runs, TRLEDIBCompressor::ID)), runs);
}

TEST(Compressor, RawDataPassesThrough) {
  const std::vector<uint8_t> shortData = {'D', 'I', 'B', 'C', 'M', 'P', 1, 2};
  EXPECT_EQ(UnpackDIBData(shortData), shortData); // shorter than a header: raw
  std::vector<uint8_t> other(40, 0);
  other[0] = 40;
  EXPECT_EQ(UnpackDIBData(other), other);
}

TEST(Compressor, UnknownGUIDNamesTheMissingDecompressor) {
  std::vector<uint8_t> packed = PackDIBData(std::vector<uint8_t>(100, 1), TLZHDIBCompressor::ID);
  packed[6] ^= 0x01;
  EXPECT_EQ(ErrorOf(packed), "Could not find a suitable decompressor.");
}

TEST(Compressor, LyingOrDamagedDataIsAnErrorNotACrash) {
  const std::vector<uint8_t> raw = PictureLike(20000, 3);
  for (const TGUID& id : {TLZHDIBCompressor::ID, TRLEDIBCompressor::ID}) {
    const std::vector<uint8_t> good = PackDIBData(raw, id);
    auto withSize = [&](uint32_t size) {
      std::vector<uint8_t> d = good;
      for (int i = 0; i < 4; ++i)
        d[22 + i] = static_cast<uint8_t>(size >> (8 * i));
      return d;
    };
    const std::vector<std::vector<uint8_t>> bad = {
        {good.begin(), good.end() - 1},               // truncated by one byte
        {good.begin(), good.begin() + 27},            // header and one byte
        {good.begin(), good.begin() + DIBHeaderSize}, // header only
        withSize(19999),
        withSize(20001), // size one off either way
        withSize(0),
        withSize(0xFFFFFFFF),
        withSize(64u << 20), // absurd sizes
    };
    for (size_t i = 0; i < bad.size(); ++i)
      EXPECT_EQ(ErrorOf(bad[i]), "The picture data is corrupt or truncated.")
          << GUIDToString(id) << " case " << i;
  }
}

TEST(Compressor, RandomBytesAfterAValidHeader) {
  // Whatever follows the header, unpacking either succeeds with exactly the claimed size or
  // throws EDIBError; the sanitiser builds catch any read or write outside the buffers.
  std::mt19937 rng(42);
  for (const TGUID& id : {TLZHDIBCompressor::ID, TRLEDIBCompressor::ID}) {
    const std::vector<uint8_t> header = PackDIBData({}, id);
    for (int round = 0; round < 400; ++round) {
      std::vector<uint8_t> d(header.begin(), header.begin() + DIBHeaderSize);
      const uint32_t size = rng() % 5000;
      for (int i = 0; i < 4; ++i)
        d[22 + i] = static_cast<uint8_t>(size >> (8 * i));
      const size_t n = rng() % 300;
      for (size_t i = 0; i < n; ++i)
        d.push_back(static_cast<uint8_t>(rng()));
      if (round % 2 && id == TLZHDIBCompressor::ID && n >= 2) d[26] = 0x78, d[27] = 0xDA;
      try {
        EXPECT_EQ(UnpackDIBData(d).size(), size);
      } catch (const EDIBError&) {
      }
      // The picture reader on top: whatever unpacks must still be checked as a bitmap.
      try {
        TMemoryDIB dib;
        dib.LoadFromData(d);
        EXPECT_EQ(dib.Bitmap().Pixels.size(), size_t(dib.Width()) * size_t(dib.Height()));
      } catch (const EDIBError&) {
      }
    }
  }
}

TEST(Compressor, RandomRawPictureHeaders) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> d(40 + rng() % 80);
    for (auto& b : d)
      b = static_cast<uint8_t>(rng());
    // Mostly plausible: header size 40, one plane, 32 bits, small sizes.
    d[0] = 40, d[1] = d[2] = d[3] = 0;
    d[4] = static_cast<uint8_t>(rng() % 6), d[5] = d[6] = d[7] = 0;
    d[8] = static_cast<uint8_t>(rng() % 2 ? rng() % 6 : 256 - rng() % 6);
    d[9] = d[10] = d[11] = d[8] >= 128 ? 0xFF : 0;
    d[12] = 1, d[13] = 0, d[14] = 32, d[15] = 0;
    d[16] = d[17] = d[18] = d[19] = 0;
    try {
      TMemoryDIB dib;
      dib.LoadFromData(d);
      EXPECT_LE(size_t(dib.Width()) * size_t(dib.Height()) * 4, d.size() - 40);
    } catch (const EDIBError&) {
    }
  }
}
