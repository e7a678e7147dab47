#include "platform/Text.h"

// Provisional metrics until the FreeType renderer lands: advances of half the em.
namespace {
int EmOf(const TFont& font) {
  return font.Height < 0 ? -font.Height : font.Height * 7 / 8;
}
} // namespace

TTextExtent MeasureText(const TFont& font, std::string_view text) {
  const int em = EmOf(font);
  return TTextExtent{static_cast<int>(text.size()) * em / 2, em + em / 8};
}

void RenderText(TBitmap32&, const TRect&, const TRect&, const TFont&, std::string_view,
                TAlignment) {}

std::string ResolvedFace(const TFont& font) {
  return font.Name;
}
