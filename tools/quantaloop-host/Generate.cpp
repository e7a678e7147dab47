// The generate command: the demo's default signal, made here so that the demo needs no sample
// files. A steady 997 Hz sine shows the noise floor against a single line (997 Hz shares no
// period with the common sample rates), and a short chord shows the modulator on music.

#include "Commands.h"
#include "SoundFiles.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qlhost {

namespace {

constexpr double kSineHz = 997.0;
constexpr double kSineAmplitude = 0.5; // -6.02 dBFS
constexpr double kGapSeconds = 0.1;
constexpr double kChordSeconds = 1.4;
constexpr double kChordHz[] = {220.0, 277.1826, 329.6276, 440.0}; // A major, A3 to A4
constexpr double kNoteAmplitude = 0.095;                          // the sum stays below -6 dBFS
constexpr double kFadeSeconds = 0.02;

// Raised-cosine fade in over the first `fade` seconds and out over the last.
double Fade(double t, double length, double fade) {
  auto ramp = [](double x) { return 0.5 - 0.5 * std::cos(std::numbers::pi * x); };
  if (t < fade) return ramp(t / fade);
  if (t > length - fade) return ramp(std::max(0.0, length - t) / fade);
  return 1.0;
}

} // namespace

int RunGenerate(const std::vector<std::string>& args) {
  TArguments a(args, {"rate", "seconds"});
  a.ExpectPositional(1, 1, "generate OUT [--rate HZ] [--seconds S]");
  const int rate = static_cast<int>(a.Integer("rate", 48000, 8000, 768000));
  // The sine takes whatever the chord leaves of the length.
  const double total = static_cast<double>(a.Integer("seconds", 4, 2, 3600));
  const double kSineSeconds = total - kGapSeconds - kChordSeconds;
  const auto frames = static_cast<int64_t>(std::llround(total * rate));
  std::vector<float> samples(static_cast<size_t>(frames) * 2);
  const double twoPi = 2.0 * std::numbers::pi;
  for (int64_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    double v = 0.0;
    if (t < kSineSeconds) {
      v = kSineAmplitude * Fade(t, kSineSeconds, kFadeSeconds) * std::sin(twoPi * kSineHz * t);
    } else if (t >= kSineSeconds + kGapSeconds) {
      const double tc = t - kSineSeconds - kGapSeconds;
      const double envelope = Fade(tc, kChordSeconds, 0.01) * std::exp(-tc / 0.8);
      for (double hz : kChordHz)
        v += kNoteAmplitude * envelope *
             (std::sin(twoPi * hz * tc) + 0.3 * std::sin(2.0 * twoPi * hz * tc));
    }
    samples[static_cast<size_t>(2 * i)] = static_cast<float>(v);
    samples[static_cast<size_t>(2 * i + 1)] = static_cast<float>(v);
  }
  TSoundWriter out(a.Positional()[0], 2, rate);
  out.Write(samples.data(), frames);
  out.Commit();
  return 0;
}

} // namespace qlhost
