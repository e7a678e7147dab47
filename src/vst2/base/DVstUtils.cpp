#include "vst2/base/DVstUtils.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/uValueText.h"
#include "platform/Regional.h"

VstInt32 roundToInt32Low(double value) {
  if (!(std::fabs(value) < 9223372036854775808.0)) return 0;
  double r = std::round(value); // halves away from zero
  if (std::fabs(value - std::trunc(value)) == 0.5 && std::fmod(r, 2.0) != 0.0)
    r -= std::copysign(1.0, value);
  if (!(std::fabs(r) < 9223372036854775808.0)) return 0;
  return static_cast<VstInt32>(
      static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(r))));
}

void formatFloatFixed(float value, char* text) {
  FormatFixed(value, DecimalSeparator(), text);
}
