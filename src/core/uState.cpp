#include "core/uState.h"

#include "core/uPrograms.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <string_view>

namespace {

constexpr uint8_t kMagic[4] = {'Q', 'L', 's', 't'};

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Reads forward through the blob; every read fails once the blob is exhausted.
class TReader {
public:
  TReader(const uint8_t* data, size_t size) : FData(data), FSize(data ? size : 0) {}
  bool Bytes(size_t n, const uint8_t*& at) {
    if (FSize - FPos < n) return false;
    at = FData + FPos;
    FPos += n;
    return true;
  }
  bool U32(uint32_t& v) {
    const uint8_t* b;
    if (!Bytes(4, b)) return false;
    v = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    return true;
  }
  bool U8(uint8_t& v) {
    const uint8_t* b;
    if (!Bytes(1, b)) return false;
    v = b[0];
    return true;
  }
  bool AtEnd() const { return FPos == FSize; }

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

int32_t ParameterOfSymbol(std::string_view symbol) {
  for (const TParameterDescription& p : kParameters)
    if (symbol == p.Symbol) return p.Index;
  return -1;
}

} // namespace

std::vector<uint8_t> SaveState(const TStateValues& state) {
  std::vector<uint8_t> out(std::begin(kMagic), std::end(kMagic));
  PutU32(out, kStateVersion);
  PutU32(out, static_cast<uint32_t>(state.Program));
  PutU32(out, ppCount);
  for (const TParameterDescription& p : kParameters) {
    const size_t length = std::strlen(p.Symbol);
    out.push_back(static_cast<uint8_t>(length));
    out.insert(out.end(), p.Symbol, p.Symbol + length);
    const float real = p.Limit(state.Real[p.Index]);
    uint32_t bits;
    std::memcpy(&bits, &real, sizeof bits);
    PutU32(out, bits);
  }
  return out;
}

bool LoadState(const uint8_t* data, size_t size, TStateValues& state) {
  TReader r(data, size);
  const uint8_t* magic;
  uint32_t version, program, count;
  if (!r.Bytes(4, magic) || std::memcmp(magic, kMagic, 4) != 0) return false;
  if (!r.U32(version) || version != kStateVersion) return false;
  if (!r.U32(program) || program >= static_cast<uint32_t>(kProgramCount)) return false;
  if (!r.U32(count)) return false;

  TStateValues loaded{static_cast<int32_t>(program), {}};
  bool named[ppCount] = {};
  for (int32_t i = 0; i < ppCount; ++i)
    loaded.Real[i] = DefaultReal(i);
  for (uint32_t e = 0; e < count; ++e) {
    uint8_t length;
    const uint8_t* symbol;
    uint32_t bits;
    if (!r.U8(length) || length == 0 || length > kStateMaxSymbol || !r.Bytes(length, symbol) ||
        !r.U32(bits))
      return false;
    float real;
    std::memcpy(&real, &bits, sizeof real);
    if (!std::isfinite(real)) return false;
    const int32_t index =
        ParameterOfSymbol(std::string_view(reinterpret_cast<const char*>(symbol), length));
    if (index < 0) continue;
    if (named[index]) return false;
    named[index] = true;
    loaded.Real[index] = LimitReal(index, real);
  }
  if (!r.AtEnd()) return false;
  state = loaded;
  return true;
}
