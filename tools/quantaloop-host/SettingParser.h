// Parameter settings given on the command line as NAME=VALUE:
//   NAME   the parameter's name as the plug-in reports it (exact, else ignoring case), or its
//          zero-based index;
//   VALUE  a number in the plug-in's display units ("Quantizer=4", "Gain=-6"), or "@" and a
//          normalised value from 0 to 1 ("Quantizer=@0.25").
// A value in display units is turned into the normalised value whose display text reads that
// number: a straight line between the displays at 0 and 1 when the display is linear, else a
// search along the display, which must rise or fall steadily.
//
// For an LV2 plug-in, NAME is a control input's symbol or name (exact, else ignoring case) and
// VALUE a number in the port's own units within its range ("Quantizer=4"), a scale point's label,
// or "@" and a value from 0 to 1 across the port's range. The port's value is the number given,
// not rounded on integer ports: the plug-in rounds as it does for any host. Where the VST 2 build
// of a plug-in shows its real values as its display, one command line sets both builds alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qlhost {

class THostedEffect;
class THostedLv2;

struct TParameterSetting {
  int Index;
  float Normalised;
};

// Resolves and applies one NAME=VALUE on the effect; throws TToolError with the reason when the
// name is unknown or the value is not a number or out of range.
TParameterSetting ApplySetting(THostedEffect& effect, std::string_view text);

// The same for an LV2 plug-in's control input; answers the port index and the value written.
struct TPortSetting {
  uint32_t Port;
  float Value;
};
TPortSetting ApplySetting(THostedLv2& plugin, std::string_view text);

// The leading number of a text such as "24.00", "-6,50 dB" or " 3"; a comma counts as the
// decimal separator when the text has no full stop. Empty when there is none or it is not finite.
std::optional<double> LeadingNumber(std::string_view text);

// A whole text that is one number (surrounding spaces allowed), as above.
std::optional<double> WholeNumber(std::string_view text);

} // namespace qlhost
