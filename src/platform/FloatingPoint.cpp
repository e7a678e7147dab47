#include "platform/FloatingPoint.h"

#include <xmmintrin.h>

void SetUpFloatingPoint() {
  // The x87 unit still serves long double arithmetic and some library code on every build.
  uint16_t word = kLoadX87ControlWord;
  __asm__ volatile("fldcw %0" : : "m"(word));
  // SSE does the float and double arithmetic on all three builds (x86-64 always, i686 with
  // -msse2 -mfpmath=sse). Its exceptions are masked, rounding is to nearest, and denormals are
  // kept as they are (neither flushed to zero on output nor read as zero on input), so the
  // results match plain IEEE arithmetic.
  uint32_t csr = _mm_getcsr();
  csr |= kMxcsrExceptionMasks;
  csr &= ~(kMxcsrRounding | kMxcsrFlushToZero | kMxcsrDenormalsAreZero);
  _mm_setcsr(csr);
}

uint16_t ReadX87ControlWord() {
  uint16_t word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}

uint32_t ReadMxcsr() {
  return _mm_getcsr();
}
