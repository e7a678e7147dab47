// The decimal separator of the user's regional settings, read once when the library starts.
#pragma once

// The separator in effect: the user's, a full stop when the settings give none (or one that is
// not a single character), or whatever a test set.
char DecimalSeparator();

// Reads the user's settings now (the library does so once, when it starts).
char ReadUserDecimalSeparator();

// Replaces the separator for the rest of the process (for tests).
void SetDecimalSeparator(char separator);
