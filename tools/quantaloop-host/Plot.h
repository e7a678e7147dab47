// The spectrum plot: averaged spectra as lines on a logarithmic frequency axis with a dB grid
// and a legend by colour, written as a PNG.
#pragma once

#include "Spectrum.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qlhost {

struct TPlotCurve {
  std::string Name;
  std::string Note;       // shown after the name in the legend, e.g. the SNR
  bool Reference = false; // drawn first, in grey, beneath the others
  TSpectrum Spectrum;
};

// Writes 8-bit pixels, RGB or RGBA by `alpha`, row after row, as a PNG file; the file appears
// whole or not at all. Throws TToolError when it cannot be written.
void WritePng(const std::string& path, const uint8_t* pixels, int width, int height, bool alpha);

void WriteSpectrumPlot(const std::string& path, const std::string& title,
                       const std::string& subtitle, const std::vector<TPlotCurve>& curves);

} // namespace qlhost
