#include "platform/Regional.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

char ReadUserDecimalSeparator() {
  char separator = '.';
#ifdef _WIN32
  char buffer[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer) > 0 &&
      buffer[0] != 0 && buffer[1] == 0)
    separator = buffer[0];
#else
  // A private locale object built from the user's environment (LC_ALL, LC_NUMERIC, LANG):
  // setlocale would change the host's process-wide state.
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (user != static_cast<locale_t>(0)) {
    const char* radix = nl_langinfo_l(RADIXCHAR, user);
    if (radix != nullptr && radix[0] != 0 && radix[1] == 0) separator = radix[0];
    freelocale(user);
  }
#endif
  return separator;
}

namespace {

// Read and written whole. Held in a function so that a use during another module's static
// initialisation still finds it initialised.
std::atomic<char>& Separator() {
  static std::atomic<char> separator{ReadUserDecimalSeparator()};
  return separator;
}

// The settings are read when the library starts, not when a text is first written.
[[maybe_unused]] const char gReadAtStart = Separator().load(std::memory_order_relaxed);

} // namespace

char DecimalSeparator() {
  return Separator().load(std::memory_order_relaxed);
}

void SetDecimalSeparator(char separator) {
  Separator().store(separator, std::memory_order_relaxed);
}
