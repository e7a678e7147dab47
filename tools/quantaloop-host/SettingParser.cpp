#include "SettingParser.h"

#include "HostedEffect.h"
#include "HostedLv2.h"
#include "ToolError.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <strings.h>
#include <utility>
#include <vector>

namespace qlhost {

namespace {

// Parses the number at the start of `text`; `used` gets the number of characters it took.
std::optional<double> ParseNumberAt(std::string_view text, size_t& used) {
  size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
    ++start;
  std::string s(text.substr(start));
  if (!s.empty() && s[0] == '+') s.erase(0, 1), ++start;
  if (s.find('.') == std::string::npos) {
    auto comma = s.find(',');
    if (comma != std::string::npos) s[comma] = '.';
  }
  double value = 0.0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  used = start + static_cast<size_t>(end - s.data());
  return value;
}

// The number of decimals a display text shows; the display's resolution is half a unit of the
// last one.
int DecimalsOf(std::string_view text) {
  auto sep = text.find_first_of(".,");
  if (sep == std::string_view::npos) return 0;
  int n = 0;
  for (size_t i = sep + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    ++n;
  return n;
}

std::string Quoted(std::string_view s) {
  return "'" + std::string(s) + "'";
}

int FindParameter(THostedEffect& effect, std::string_view name) {
  const int count = effect.NumParams();
  for (int i = 0; i < count; ++i)
    if (effect.ParamName(i) == name) return i;
  int found = -1;
  for (int i = 0; i < count; ++i) {
    std::string candidate = effect.ParamName(i);
    if (candidate.size() == name.size() &&
        ::strncasecmp(candidate.c_str(), std::string(name).c_str(), name.size()) == 0) {
      if (found >= 0)
        throw TToolError("parameter name " + Quoted(name) + " is ambiguous; give its index");
      found = i;
    }
  }
  if (found >= 0) return found;
  if (!name.empty() &&
      std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    int index = -1;
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), index);
    if (ec == std::errc() && end == name.data() + name.size() && index < count) return index;
    throw TToolError("parameter index " + std::string(name) + " is out of range: the plug-in has " +
                     std::to_string(count) + " parameters (0 to " + std::to_string(count - 1) +
                     ")");
  }
  std::string known;
  for (int i = 0; i < count; ++i)
    known += (i ? ", " : "") + effect.ParamName(i);
  throw TToolError("unknown parameter " + Quoted(name) +
                   (count ? "; the plug-in has " + known : "; the plug-in has no parameters"));
}

// Finds the normalised value whose display reads `target`. The parameter is probed by writing
// it; the caller writes the final value afterwards.
float DisplayToNormalised(THostedEffect& effect, int index, double target,
                          std::string_view valueText) {
  auto displayAt = [&](float n, std::string* shown = nullptr) {
    effect.SetParameter(index, n);
    std::string text = effect.ParamDisplay(index);
    auto value = LeadingNumber(text);
    if (!value)
      throw TToolError("parameter " + effect.ParamName(index) + " shows " + Quoted(text) +
                       ", not a number; give a normalised value instead, e.g. " +
                       effect.ParamName(index) + "=@0.5");
    if (shown) *shown = text;
    return *value;
  };
  std::string text0, text1;
  const double d0 = displayAt(0.0f, &text0);
  const double d1 = displayAt(1.0f, &text1);
  const int decimals = std::max(DecimalsOf(text0), DecimalsOf(text1));
  const double tolerance = 0.5 * std::pow(10.0, -decimals) * (1 + 1e-9);
  if (target < std::min(d0, d1) - tolerance || target > std::max(d0, d1) + tolerance) {
    std::string label = effect.ParamLabel(index);
    throw TToolError("value " + std::string(valueText) + " is out of range: " +
                     effect.ParamName(index) + " runs from " + (d0 <= d1 ? text0 : text1) + " to " +
                     (d0 <= d1 ? text1 : text0) + (label.empty() ? "" : " " + label));
  }
  auto shows = [&](double d) { return std::fabs(d - target) <= tolerance; };
  if (d1 == d0) return 0.0f;
  // A linear display maps straight; this keeps exact values exact (4 of 0..24 is 4/24).
  const float linear = static_cast<float>(std::clamp((target - d0) / (d1 - d0), 0.0, 1.0));
  if (shows(displayAt(linear))) return linear;
  // Otherwise search the stretch of normalised values whose display reads the target and take
  // its middle; if the display jumps over the target, the first value past it.
  const bool rising = d1 > d0;
  auto below = [&](float n, double bound) {
    double d = displayAt(n);
    return rising ? d < bound : d > bound;
  };
  auto edge = [&](double bound) {
    float a = 0.0f, b = 1.0f;
    for (int i = 0; i < 40 && b - a > 1e-9f; ++i) {
      float mid = 0.5f * (a + b);
      if (below(mid, bound))
        a = mid;
      else
        b = mid;
    }
    return b;
  };
  const float first = edge(rising ? target - tolerance : target + tolerance);
  const float past = edge(rising ? target + tolerance : target - tolerance);
  const float middle = 0.5f * (first + past);
  if (past > first && shows(displayAt(middle))) return middle;
  return first;
}

// For displays that are words ("On", "Off"): the middle of the first stretch of normalised values
// whose display reads `text`, ignoring case, found by sampling the whole range.
std::optional<float> TextToNormalised(THostedEffect& effect, int index, std::string_view text) {
  constexpr int kSteps = 1000;
  int first = -1, last = -1;
  for (int i = 0; i <= kSteps; ++i) {
    effect.SetParameter(index, static_cast<float>(i) / kSteps);
    std::string shown = effect.ParamDisplay(index);
    while (!shown.empty() && shown.back() == ' ')
      shown.pop_back();
    while (!shown.empty() && shown.front() == ' ')
      shown.erase(0, 1);
    const bool match = shown.size() == text.size() &&
                       ::strncasecmp(shown.c_str(), std::string(text).c_str(), text.size()) == 0;
    if (match && first < 0) first = i;
    if (match) last = i;
    if (!match && first >= 0) break;
  }
  if (first < 0) return std::nullopt;
  return static_cast<float>(first + last) / (2.0f * kSteps);
}

// NAME and VALUE of a NAME=VALUE, both non-empty.
std::pair<std::string_view, std::string_view> SplitSetting(std::string_view text) {
  auto eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0 || eq + 1 == text.size())
    throw TUsageError("--set takes NAME=VALUE (VALUE in display units, or @0..1 normalised), "
                      "not " +
                      Quoted(text));
  return {text.substr(0, eq), text.substr(eq + 1)};
}

// The number from 0 to 1 after the @ of a normalised value.
float NormalisedValue(std::string_view valueText) {
  auto value = WholeNumber(valueText.substr(1));
  if (!value)
    throw TToolError(Quoted(valueText) + " is not a normalised value; write @ and a number "
                                         "from 0 to 1");
  if (*value < 0.0 || *value > 1.0)
    throw TToolError("value " + std::string(valueText) +
                     " is out of range: normalised values "
                     "run from 0 to 1");
  return static_cast<float>(*value);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         ::strncasecmp(std::string(a).c_str(), std::string(b).c_str(), a.size()) == 0;
}

std::string NumberText(float v) {
  char text[32];
  std::snprintf(text, sizeof(text), "%g", static_cast<double>(v));
  return text;
}

const THostedLv2::TPort& FindControl(const THostedLv2& plugin, std::string_view name) {
  std::vector<const THostedLv2::TPort*> controls;
  for (const auto& p : plugin.Ports())
    if (p.Kind == THostedLv2::TPortKind::ControlIn) controls.push_back(&p);
  for (const auto* p : controls)
    if (p->Symbol == name || p->Name == name) return *p;
  const THostedLv2::TPort* found = nullptr;
  for (const auto* p : controls)
    if (SameIgnoringCase(p->Symbol, name) || SameIgnoringCase(p->Name, name)) {
      if (found && found != p)
        throw TToolError("control name " + Quoted(name) + " is ambiguous; give its symbol");
      found = p;
    }
  if (found) return *found;
  std::string known;
  for (const auto* p : controls)
    known += (known.empty() ? "" : ", ") + p->Symbol + " (" + p->Name + ")";
  throw TToolError(
      "unknown control " + Quoted(name) +
      (controls.empty() ? "; the plug-in has no control inputs" : "; the plug-in has " + known));
}

} // namespace

std::optional<double> LeadingNumber(std::string_view text) {
  size_t used = 0;
  return ParseNumberAt(text, used);
}

std::optional<double> WholeNumber(std::string_view text) {
  size_t used = 0;
  auto value = ParseNumberAt(text, used);
  if (!value) return std::nullopt;
  while (used < text.size() && (text[used] == ' ' || text[used] == '\t'))
    ++used;
  if (used != text.size()) return std::nullopt;
  return value;
}

TParameterSetting ApplySetting(THostedEffect& effect, std::string_view text) {
  const auto [name, valueText] = SplitSetting(text);
  const int index = FindParameter(effect, name);
  float normalised = 0.0f;
  if (valueText[0] == '@') {
    normalised = NormalisedValue(valueText);
  } else {
    auto value = WholeNumber(valueText);
    if (value) {
      normalised = DisplayToNormalised(effect, index, *value, valueText);
    } else {
      auto shown = TextToNormalised(effect, index, valueText);
      if (!shown)
        throw TToolError(Quoted(valueText) + " is not a number nor a text that " +
                         effect.ParamName(index) + " shows; give it in display units or as @0..1");
      normalised = *shown;
    }
  }
  effect.SetParameter(index, normalised);
  return {index, normalised};
}

TPortSetting ApplySetting(THostedLv2& plugin, std::string_view text) {
  const auto [name, valueText] = SplitSetting(text);
  const THostedLv2::TPort& port = FindControl(plugin, name);
  const bool ranged = !std::isnan(port.Min) && !std::isnan(port.Max);
  float value = 0.0f;
  if (valueText[0] == '@') {
    if (!ranged)
      throw TToolError("control " + port.Symbol + " has no range; give its value in its units");
    // Across the range in a straight line, computed as a VST 2 host maps 0..1 onto a range.
    const float n = NormalisedValue(valueText);
    value = static_cast<float>((static_cast<double>(port.Max) - port.Min) * n + port.Min);
  } else if (auto number = WholeNumber(valueText)) {
    if (ranged && (*number < port.Min || *number > port.Max))
      throw TToolError("value " + std::string(valueText) + " is out of range: " + port.Name +
                       " runs from " + NumberText(port.Min) + " to " + NumberText(port.Max) +
                       (port.Unit.empty() ? "" : " " + port.Unit));
    value = static_cast<float>(*number);
  } else {
    const auto point =
        std::find_if(port.ScalePoints.begin(), port.ScalePoints.end(),
                     [&](const auto& p) { return SameIgnoringCase(p.Label, valueText); });
    if (point == port.ScalePoints.end())
      throw TToolError(Quoted(valueText) + " is not a number nor a label of " + port.Name +
                       "; give it in the port's units or as @0..1");
    value = point->Value;
  }
  plugin.SetControlValue(port.Index, value);
  return {port.Index, value};
}

} // namespace qlhost
