// A parameter's value as the text a host shows, and text back to a value: one pair that every
// plug-in format uses, so that a value reads the same wherever it is shown.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes `value` with exactly two decimals and `separator` before them, followed by a
// terminating zero: "NAN", "INF", "-INF"; zero without a sign; otherwise reduced to 18
// significant digits (halves to even), rounded at the second decimal (halves away from zero),
// and in exponent form ("1.00000002004087734E20") from 1e18 on. The text is at most
// kFixedTextChars characters before the terminating zero; the caller provides the room.
inline constexpr size_t kFixedTextChars = 23;
void FormatFixed(float value, char separator, char* text);

// Parameter `index`'s real value as text, cut to `size` - 1 characters (size >= 1): the fixed
// form above, in the same characters for every parameter.
void ParameterText(int32_t index, float real, char separator, char* text, size_t size);

// Text back to a real value of parameter `index`: a decimal number with '.' or ',' before its
// fraction (optionally signed, optionally in exponent form), with blanks around it and the
// parameter's units after it allowed. A number beyond the range is taken at the range's nearer
// end. False, with `real` untouched, for anything else: empty text, other words, trailing
// characters, not a number or infinite.
bool ParameterFromText(int32_t index, const char* text, float& real);
