// Averaged power spectra: Hann-windowed frames with half overlap (Welch's method), scaled so
// that a full-scale sine reads 1.0 (0 dB) in its bin.
#pragma once

#include <cstddef>
#include <vector>

namespace qlhost {

struct TSpectrum {
  int FftSize = 0;
  double SampleRate = 0.0;
  std::vector<double> Power; // FftSize / 2 + 1 bins, bin k at k * SampleRate / FftSize Hz

  double BinHz(size_t k) const { return static_cast<double>(k) * SampleRate / FftSize; }
};

// The largest power of two from 64 up to `wanted` that fits into `frames`; 0 if none does.
int FittingFftSize(int wanted, size_t frames);

// Averages the frames of every channel. Every channel must hold at least `fftSize` samples.
TSpectrum AveragedSpectrum(const std::vector<std::vector<float>>& channels, int fftSize,
                           double sampleRate);

} // namespace qlhost
