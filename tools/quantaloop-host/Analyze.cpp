// The analyze command: levels, the signal-to-noise ratio against a reference, and noise spectra.
//
// The SNR matches the gain first: a plug-in that scales its output slightly (a quantiser that
// keeps headroom, say) would otherwise count the scaling as noise. The gain is the least-squares
// fit g = <in, ref> / <ref, ref>; the noise is in - g ref.

#include "Commands.h"
#include "Plot.h"
#include "SoundFiles.h"
#include "Spectrum.h"
#include "ToolError.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace qlhost {

namespace {

struct TSound {
  std::string Path;
  int SampleRate = 0;
  std::vector<std::vector<float>> Channels;
  size_t Frames() const { return Channels.empty() ? 0 : Channels[0].size(); }
};

TSound Load(const std::string& path) {
  TSoundReader reader(path);
  TSound s;
  s.Path = path;
  s.SampleRate = reader.SampleRate();
  s.Channels = reader.ReadAll();
  if (s.Frames() == 0) throw TToolError(path + " holds no samples");
  return s;
}

std::string Stem(const std::string& path) {
  auto slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  auto dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

double Db(double ratio) {
  return ratio > 0.0 ? 10.0 * std::log10(ratio) : -std::numeric_limits<double>::infinity();
}

std::string DbText(double db) {
  if (std::isinf(db)) return db > 0 ? "inf" : "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", db);
  return text;
}

const std::vector<float>& RefChannel(const TSound& ref, size_t c) {
  return ref.Channels[ref.Channels.size() == 1 ? 0 : c];
}

} // namespace

int RunAnalyze(const std::vector<std::string>& args) {
  TArguments a(args, {"ref", "png", "fft"});
  a.ExpectPositional(1, 64, "analyze IN... [--ref REF] [--png FILE] [--fft N]");
  const int wantedFft = static_cast<int>(a.Integer("fft", 8192, 64, 1 << 20));
  if ((wantedFft & (wantedFft - 1)) != 0) throw TUsageError("--fft takes a power of two");
  const std::string pngPath = a.Value("png");
  if (!pngPath.empty() && pngPath.size() >= 4 &&
      pngPath.compare(pngPath.size() - 4, 4, ".png") != 0)
    throw TUsageError("--png takes a file name ending in .png");
  const bool hasRef = a.Has("ref");
  TSound ref;
  if (hasRef) ref = Load(a.Value("ref"));

  std::vector<TSound> inputs;
  for (const auto& path : a.Positional()) {
    inputs.push_back(Load(path));
    const TSound& in = inputs.back();
    if (in.SampleRate != inputs.front().SampleRate)
      throw TToolError(path + " runs at " + std::to_string(in.SampleRate) + " Hz but " +
                       inputs.front().Path + " at " + std::to_string(inputs.front().SampleRate) +
                       " Hz");
    if (!hasRef) continue;
    if (in.SampleRate != ref.SampleRate)
      throw TToolError(path + " runs at " + std::to_string(in.SampleRate) + " Hz but the " +
                       "reference at " + std::to_string(ref.SampleRate) + " Hz");
    if (ref.Channels.size() != 1 && ref.Channels.size() != in.Channels.size())
      throw TToolError(path + " has " + std::to_string(in.Channels.size()) +
                       " channels but the reference " + std::to_string(ref.Channels.size()));
    if (in.Frames() != ref.Frames())
      throw TToolError(path + " has " + std::to_string(in.Frames()) + " frames but the " +
                       "reference " + std::to_string(ref.Frames()));
  }

  size_t shortest = hasRef ? ref.Frames() : std::numeric_limits<size_t>::max();
  for (const auto& in : inputs)
    shortest = std::min(shortest, in.Frames());
  const int fft = FittingFftSize(wantedFft, shortest);
  if (!pngPath.empty() && fft == 0)
    throw TToolError("the files are too short for a spectrum (at least 64 frames)");

  size_t nameWidth = 4;
  for (const auto& in : inputs)
    nameWidth = std::max(nameWidth, Stem(in.Path).size());
  std::printf("%-*s  %9s  %9s", static_cast<int>(nameWidth), "file", "peak dBFS", "rms dBFS");
  if (hasRef) std::printf("  %9s  %9s", "gain dB", "SNR dB");
  std::printf("\n");

  std::vector<TPlotCurve> curves;
  if (hasRef && fft > 0)
    curves.push_back({"reference (" + Stem(ref.Path) + ")", "", true,
                      AveragedSpectrum(ref.Channels, fft, ref.SampleRate)});
  for (const auto& in : inputs) {
    double peak = 0.0, energy = 0.0, cross = 0.0, refEnergy = 0.0;
    for (size_t c = 0; c < in.Channels.size(); ++c)
      for (size_t i = 0; i < in.Frames(); ++i) {
        const double v = in.Channels[c][i];
        peak = std::max(peak, std::fabs(v));
        energy += v * v;
        if (hasRef) {
          const double r = RefChannel(ref, c)[i];
          cross += v * r;
          refEnergy += r * r;
        }
      }
    const double samples = static_cast<double>(in.Frames() * in.Channels.size());
    std::printf("%-*s  %9s  %9s", static_cast<int>(nameWidth), Stem(in.Path).c_str(),
                DbText(2.0 * Db(peak)).c_str(), DbText(Db(energy / samples)).c_str());
    std::string note;
    std::vector<std::vector<float>> noise = in.Channels;
    if (hasRef) {
      if (refEnergy == 0.0) throw TToolError("the reference " + ref.Path + " is silent");
      const double gain = cross / refEnergy;
      double noiseEnergy = 0.0;
      for (size_t c = 0; c < noise.size(); ++c)
        for (size_t i = 0; i < in.Frames(); ++i) {
          const double n = in.Channels[c][i] - gain * RefChannel(ref, c)[i];
          noise[c][i] = static_cast<float>(n);
          noiseEnergy += n * n;
        }
      const double snr = Db(gain * gain * refEnergy / noiseEnergy);
      std::printf("  %9s  %9s", DbText(2.0 * Db(std::fabs(gain))).c_str(), DbText(snr).c_str());
      note = "SNR " + DbText(snr) + " dB";
    }
    std::printf("\n");
    if (fft > 0)
      curves.push_back({Stem(in.Path), note, false, AveragedSpectrum(noise, fft, in.SampleRate)});
  }
  std::fflush(stdout);

  if (!pngPath.empty()) {
    const std::string title = hasRef ? "Noise spectrum" : "Spectrum";
    const std::string subtitle =
        (hasRef ? "output minus the gain-matched reference " + Stem(ref.Path) + ", " : "") +
        std::to_string(fft) + "-point Hann, half overlap, averaged over frames and channels; " +
        "0 dB = full-scale sine";
    WriteSpectrumPlot(pngPath, title, subtitle, curves);
  }
  return 0;
}

} // namespace qlhost
