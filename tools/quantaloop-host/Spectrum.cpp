#include "Spectrum.h"

#include <cmath>
#include <fftw3.h>
#include <memory>
#include <numbers>

namespace qlhost {

int FittingFftSize(int wanted, size_t frames) {
  int n = 64;
  while (n * 2 <= wanted)
    n *= 2;
  while (n >= 64 && static_cast<size_t>(n) > frames)
    n /= 2;
  return n >= 64 ? n : 0;
}

TSpectrum AveragedSpectrum(const std::vector<std::vector<float>>& channels, int fftSize,
                           double sampleRate) {
  TSpectrum s;
  s.FftSize = fftSize;
  s.SampleRate = sampleRate;
  const size_t n = static_cast<size_t>(fftSize), bins = n / 2 + 1;
  s.Power.assign(bins, 0.0);

  std::vector<double> window(n);
  double windowSum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                     static_cast<double>(n));
    windowSum += window[i];
  }
  // Amplitude of a sine of peak A is A * windowSum / 2 in its bin.
  const double scale = 2.0 / windowSum;

  std::unique_ptr<double, decltype(&fftw_free)> in(fftw_alloc_real(n), &fftw_free);
  std::unique_ptr<fftw_complex, decltype(&fftw_free)> out(fftw_alloc_complex(bins), &fftw_free);
  fftw_plan plan =
      fftw_plan_dft_r2c_1d(fftSize, in.get(), out.get(), FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
  size_t frames = 0;
  const size_t hop = n / 2;
  for (const auto& channel : channels) {
    for (size_t start = 0; start + n <= channel.size(); start += hop) {
      for (size_t i = 0; i < n; ++i)
        in.get()[i] = channel[start + i] * window[i];
      fftw_execute(plan);
      for (size_t k = 0; k < bins; ++k) {
        const double re = out.get()[k][0] * scale, im = out.get()[k][1] * scale;
        s.Power[k] += re * re + im * im;
      }
      ++frames;
    }
  }
  fftw_destroy_plan(plan);
  if (frames > 0)
    for (double& p : s.Power)
      p /= static_cast<double>(frames);
  return s;
}

} // namespace qlhost
