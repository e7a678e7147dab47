// Text in pictures: measuring and drawing one line of 8-bit text (Windows-1252 code page) with a
// font description. Faces that are not installed are substituted: "Arial" by a metric-compatible
// face, anything else missing by the system's sans face. Glyphs are grey-scale antialiased and
// blended in the font colour onto what the picture already holds; the same text, font and
// picture give the same pixels every time on one machine.
//
// Linux draws with fontconfig and FreeType, Windows with GDI.
#pragma once

#include "platform/Bitmap32.h"
#include "platform/Types.h"

#include <string>
#include <string_view>

struct TTextExtent {
  int Width = 0;  // sum of the advances
  int Height = 0; // the line: ascent plus descent, internal leading included
  friend bool operator==(const TTextExtent&, const TTextExtent&) = default;
};

TTextExtent MeasureText(const TFont& font, std::string_view text);

// Draws `text` into `target` inside `box` (picture coordinates), aligned horizontally in the
// box with its line's top at the box's top, touching no pixel outside box ∩ clip ∩ picture.
// Only glyph pixels change; the box's background is the caller's.
void RenderText(TBitmap32& target, const TRect& box, const TRect& clip, const TFont& font,
                std::string_view text, TAlignment alignment);

// The face the renderer actually uses for a font name, after substitution.
std::string ResolvedFace(const TFont& font);
