#include "core/uValueText.h"

#include "core/uParameters.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Decimal digits of a float's exact value, most significant first, without leading zeros:
// value = 0.d[0]d[1]... x 10^point.
struct TDecimal {
  unsigned char digits[128];
  int count = 0;
  int point = 0;
};

// Expands |value| (finite, not zero) exactly. A float is m x 2^e with m below 2^24; for e < 0
// it equals m x 5^-e / 10^-e, so its decimal expansion ends after -e places.
TDecimal expandExactly(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 23) & 0xFF);
  uint32_t mantissa = bits & 0x7FFFFF;
  int exponent = 0;
  if (biased == 0) {
    exponent = -149; // subnormal
  } else {
    mantissa |= 0x800000;
    exponent = biased - 150;
  }

  // Little-endian digits of an integer that grows by repeated small multiplication.
  unsigned char little[128];
  int n = 0;
  for (uint32_t m = mantissa; m != 0; m /= 10)
    little[n++] = static_cast<unsigned char>(m % 10);
  const int factor = exponent >= 0 ? 2 : 5;
  for (int k = exponent >= 0 ? exponent : -exponent; k > 0; --k) {
    int carry = 0;
    for (int i = 0; i < n; ++i) {
      const int d = little[i] * factor + carry;
      little[i] = static_cast<unsigned char>(d % 10);
      carry = d / 10;
    }
    if (carry != 0) little[n++] = static_cast<unsigned char>(carry);
  }

  TDecimal result;
  result.count = n;
  for (int i = 0; i < n; ++i)
    result.digits[i] = little[n - 1 - i];
  result.point = exponent >= 0 ? n : n + exponent;
  return result;
}

// Keeps at most `keep` significant digits, rounding to nearest with halves to even.
void reduceDigits(TDecimal& d, int keep) {
  if (d.count <= keep) return;
  const int next = d.digits[keep];
  bool up = next > 5;
  if (next == 5) {
    bool rest = false;
    for (int i = keep + 1; i < d.count && !rest; ++i)
      rest = d.digits[i] != 0;
    up = rest || (d.digits[keep - 1] % 2 != 0);
  }
  d.count = keep;
  if (!up) return;
  int i = keep - 1;
  while (i >= 0 && d.digits[i] == 9)
    d.digits[i--] = 0;
  if (i >= 0) {
    ++d.digits[i];
  } else {
    // 999... became 1000...: one more digit before the point, still `keep` digits long.
    d.digits[0] = 1;
    ++d.point;
  }
}

} // namespace

void FormatFixed(float value, char separator, char* text) {
  char* out = text;
  if (std::isnan(value)) {
    std::strcpy(text, "NAN");
    return;
  }
  if (std::isinf(value)) {
    std::strcpy(text, value > 0 ? "INF" : "-INF");
    return;
  }
  const bool negative = std::signbit(value);
  if (value == 0.0f) {
    *out++ = '0';
    *out++ = separator;
    std::strcpy(out, "00");
    return;
  }

  TDecimal d = expandExactly(value);
  constexpr int kSignificant = 18;
  reduceDigits(d, kSignificant);

  if (d.point > kSignificant) {
    // 10^18 and above: one digit, the separator, the other significant digits, the exponent.
    int last = d.count;
    while (last > 2 && d.digits[last - 1] == 0)
      --last;
    if (negative) *out++ = '-';
    *out++ = static_cast<char>('0' + d.digits[0]);
    *out++ = separator;
    for (int i = 1; i < last; ++i)
      *out++ = static_cast<char>('0' + d.digits[i]);
    if (last == 1) *out++ = '0';
    *out++ = 'E';
    const int exponent = d.point - 1;
    if (exponent < 0) *out++ = '-';
    char exponentText[12];
    int e = exponent < 0 ? -exponent : exponent;
    int n = 0;
    do {
      exponentText[n++] = static_cast<char>('0' + e % 10);
      e /= 10;
    } while (e != 0);
    while (n > 0)
      *out++ = exponentText[--n];
    *out = 0;
    return;
  }

  // Fixed form: integer digits (at least one) and two decimals. fixed[t] is the digit of
  // d.digits[t - offset]; the third decimal decides the rounding, halves away from zero.
  const int integerDigits = d.point > 1 ? d.point : 1;
  const int offset = integerDigits - d.point;
  const int length = integerDigits + 2;
  unsigned char fixed[kSignificant + 3];
  for (int t = 0; t < length; ++t) {
    const int i = t - offset;
    fixed[t] = i >= 0 && i < d.count ? d.digits[i] : 0;
  }
  const int third = d.point + 2;
  bool carryOut = false;
  if (third >= 0 && third < d.count && d.digits[third] >= 5) {
    int t = length - 1;
    while (t >= 0 && fixed[t] == 9)
      fixed[t--] = 0;
    if (t >= 0)
      ++fixed[t];
    else
      carryOut = true;
  }
  bool zero = !carryOut;
  for (int t = 0; t < length && zero; ++t)
    zero = fixed[t] == 0;

  if (negative && !zero) *out++ = '-';
  if (carryOut) *out++ = '1';
  int t = 0;
  // No leading zeros, but at least one integer digit.
  while (!carryOut && t < integerDigits - 1 && fixed[t] == 0)
    ++t;
  for (; t < integerDigits; ++t)
    *out++ = static_cast<char>('0' + fixed[t]);
  *out++ = separator;
  *out++ = static_cast<char>('0' + fixed[integerDigits]);
  *out++ = static_cast<char>('0' + fixed[integerDigits + 1]);
  *out = 0;
}

void ParameterText(int32_t /*index*/, float real, char separator, char* text, size_t size) {
  if (!text || size == 0) return;
  char formatted[kFixedTextChars + 1];
  FormatFixed(real, separator, formatted);
  const size_t n = std::min(std::strlen(formatted), size - 1);
  std::memcpy(text, formatted, n);
  text[n] = '\0';
}

namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
} // namespace

bool ParameterFromText(int32_t index, const char* text, float& real) {
  if (!text || index < 0 || index >= ppCount) return false;
  const char* p = text;
  while (IsBlank(*p))
    ++p;
  // Read by hand rather than by the C library, whose reading follows the process's locale.
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  double mantissa = 0.0;
  int digits = 0, scale = 0;
  for (; IsDigit(*p); ++p, ++digits)
    mantissa = mantissa * 10.0 + (*p - '0');
  if (*p == '.' || *p == ',') {
    ++p;
    for (; IsDigit(*p); ++p, ++digits, --scale)
      mantissa = mantissa * 10.0 + (*p - '0');
  }
  if (digits == 0 || digits > 40) return false;
  if ((*p == 'e' || *p == 'E') &&
      (IsDigit(p[1]) || ((p[1] == '+' || p[1] == '-') && IsDigit(p[2])))) {
    ++p;
    bool down = false;
    if (*p == '+' || *p == '-') down = *p++ == '-';
    int exponent = 0;
    for (; IsDigit(*p); ++p)
      if (exponent < 1000) exponent = exponent * 10 + (*p - '0');
    scale += down ? -exponent : exponent;
  }
  while (IsBlank(*p))
    ++p;
  const char* units = kParameters[index].Units;
  const size_t unitsLength = std::strlen(units);
  if (unitsLength && std::strncmp(p, units, unitsLength) == 0) p += unitsLength;
  while (IsBlank(*p))
    ++p;
  if (*p != '\0') return false;
  // Powers of ten up to 10^22 are exact, so a short number divides to the nearest double.
  double value = scale < 0 ? mantissa / std::pow(10.0, -scale) : mantissa * std::pow(10.0, scale);
  if (negative) value = -value;
  if (!std::isfinite(value)) return false;
  real = LimitReal(index, static_cast<float>(value));
  return true;
}
