// The spectrum plot: averaged spectra as lines on a logarithmic frequency axis with a dB grid
// and a legend by colour, written as a PNG.
#pragma once

#include "Spectrum.h"

#include <string>
#include <vector>

namespace qlhost {

struct TPlotCurve {
  std::string Name;
  std::string Note;       // shown after the name in the legend, e.g. the SNR
  bool Reference = false; // drawn first, in grey, beneath the others
  TSpectrum Spectrum;
};

void WriteSpectrumPlot(const std::string& path, const std::string& title,
                       const std::string& subtitle, const std::vector<TPlotCurve>& curves);

} // namespace qlhost
