// quantaloop-host: renders sound files through a VST 2, LV2 or CLAP plug-in, reports what a
// plug-in tells a host, and measures the results.

#include "Commands.h"
#include "SoundFiles.h"
#include "ToolError.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>

namespace qlhost {

namespace {

constexpr const char* kUsage = R"(usage: quantaloop-host COMMAND ...

  PLUGIN is a VST 2 library, a VST 3 bundle (a folder ending in .vst3), an LV2 bundle (a
  folder ending in .lv2 or holding a manifest.ttl), an LV2 plug-in URI, looked up in the
  folders of LV2_PATH, or a CLAP plug-in (a file ending in .clap).

  info PLUGIN
      What the plug-in tells a host. VST 2: names, vendor, version, unique id, pins, flags,
      programs, parameters (name, label, display text) and its canDo answers. LV2: name,
      URI, class, features, audio ports, presets, control ports (symbol, name, range,
      default, unit) and its other ports. CLAP: id, name, vendor, version, features,
      audio and note ports, latency, extensions and parameters (id, range, value, text).

  process PLUGIN IN OUT [--set NAME=VALUE ...] [--set-at FRAME:NAME=VALUE ...] [--program N]
          [--block N]
      Streams the sound file IN through the plug-in into OUT, at IN's sample rate, in blocks
      of N frames (default 512). A mono IN feeds every input of the plug-in. OUT's format
      follows its extension: .wav (32-bit float), .flac (24-bit), .aiff (32-bit float).
      --program N selects program N first; then each --set writes one parameter:
        NAME    the parameter's name (exact, else ignoring case) or its index from 0;
        VALUE   a number in the plug-in's display units, e.g. Quantizer=4 or Gain=-6
                (the value whose display text reads that number), or @ and a normalised
                value from 0 to 1, e.g. Quantizer=@0.25.
      For LV2, --program N selects preset N as info lists them, and NAME is a control
      port's name or symbol (exact, else ignoring case); VALUE is a number in the port's
      units within its range, a scale point's label, or @0..1 across the range.
      For CLAP, NAME is a parameter's name (exact, else ignoring case) or its index from 0;
      VALUE is a number in the parameter's units within its range, a text the plug-in
      parses, or @0..1 across the range. CLAP plug-ins have no programs.
      For VST 3, NAME is a parameter's title or index, VALUE as the plug-in reads its texts
      or @0..1. --set-at FRAME:NAME=VALUE sets a parameter from that frame of IN on: inside
      the block for VST 3, by splitting the block there for VST 2 and LV2.

  analyze IN... [--ref REF] [--png FILE] [--fft N]
      Peak and RMS level of each IN. With --ref: the gain against REF and the
      signal-to-noise ratio after matching that gain, and the spectrum of the noise
      (IN minus REF times the gain); without: the spectrum of IN itself. Spectra are
      Hann-windowed, N-point (default 8192), averaged over frames and channels.
      --png FILE plots them on a logarithmic frequency axis.

  generate OUT [--rate HZ] [--seconds S]
      Writes the demo signal: a 997 Hz sine at -6 dBFS, then a 1.4 s chord; stereo,
      S seconds long (default 4), at HZ (default 48000).

  editor PLUGIN --png FILE [--click X,Y] [--drag X,Y:DX,DY]
      Opens the plug-in's editor without a display (plug-ins that answer the headless-editor
      request of src/editor/EditorDrive.h), replays the gestures in the order given (a
      click: press and release at X,Y; a drag: press at X,Y, pointer moves every 5 pixels
      to X+DX,Y+DY, release; two clicks at one point make a double click), writes what the
      window shows to FILE (PNG) and prints the parameter values.

Errors are reported in one line with a nonzero exit status; no partial output file is left.
)";

struct TCommand {
  const char* Name;
  int (*Run)(const std::vector<std::string>&);
};

constexpr TCommand kCommands[] = {
    {"info", RunInfo},         {"process", RunProcess}, {"analyze", RunAnalyze},
    {"generate", RunGenerate}, {"editor", RunEditor},
};

} // namespace

TArguments::TArguments(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                       const std::vector<std::string>& switches) {
  auto known = [](const std::vector<std::string>& list, const std::string& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      std::string name = a.substr(2);
      std::string value;
      bool inlineValue = false;
      if (auto eq = name.find('='); eq != std::string::npos && known(valued, name.substr(0, eq))) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
        inlineValue = true;
      }
      if (known(valued, name)) {
        if (!inlineValue) {
          if (i + 1 >= args.size()) throw TUsageError("--" + name + " needs a value");
          value = args[++i];
        }
        FOptions.emplace(name, value);
      } else if (known(switches, name)) {
        FOptions.emplace(name, "");
      } else {
        throw TUsageError("unknown option " + a);
      }
    } else {
      FPositional.push_back(a);
    }
  }
}

void TArguments::ExpectPositional(size_t min, size_t max, const char* what) const {
  if (FPositional.size() < min || FPositional.size() > max)
    throw TUsageError(std::string("expected ") + what);
}

std::string TArguments::Value(const std::string& option, const std::string& fallback) const {
  auto range = FOptions.equal_range(option);
  if (range.first == range.second) return fallback;
  return std::prev(range.second)->second;
}

std::vector<std::string> TArguments::Values(const std::string& option) const {
  std::vector<std::string> out;
  auto range = FOptions.equal_range(option);
  for (auto it = range.first; it != range.second; ++it)
    out.push_back(it->second);
  return out;
}

long TArguments::Integer(const std::string& option, long fallback, long min, long max) const {
  if (!Has(option)) return fallback;
  std::string text = Value(option);
  long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
    throw TUsageError("--" + option + " takes a whole number from " + std::to_string(min) + " to " +
                      std::to_string(max) + ", not '" + text + "'");
  return value;
}

} // namespace qlhost

int main(int argc, char** argv) {
  using namespace qlhost;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? kExitUsage : 0;
  }
  const TCommand* command = nullptr;
  for (const auto& c : kCommands)
    if (args[0] == c.Name) command = &c;
  if (!command) {
    std::fprintf(stderr, "quantaloop-host: unknown command '%s' (see quantaloop-host --help)\n",
                 args[0].c_str());
    return kExitUsage;
  }
  InstallInterruptCleanup();
  try {
    return command->Run(std::vector<std::string>(args.begin() + 1, args.end()));
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "quantaloop-host %s: %s (see quantaloop-host --help)\n", command->Name,
                 e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quantaloop-host %s: %s\n", command->Name, e.what());
    return kExitFailure;
  }
}
