// Small value types shared by the controls, the text renderer and the window backends.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// A rectangle with exclusive right and bottom edges.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  static constexpr TRect FromSize(int left, int top, int width, int height) {
    return TRect{left, top, left + width, top + height};
  }
  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  constexpr bool Contains(TPoint p) const {
    return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom;
  }
  constexpr bool Intersects(const TRect& o) const {
    return !IsEmpty() && !o.IsEmpty() && Left < o.Right && o.Left < Right && Top < o.Bottom &&
           o.Top < Bottom;
  }
  // The common part; an empty rectangle when there is none.
  constexpr TRect Intersect(const TRect& o) const {
    TRect r{std::max(Left, o.Left), std::max(Top, o.Top), std::min(Right, o.Right),
            std::min(Bottom, o.Bottom)};
    return r.IsEmpty() ? TRect{} : r;
  }
  // The smallest rectangle holding both; empty rectangles add nothing.
  constexpr TRect Union(const TRect& o) const {
    if (IsEmpty()) return o;
    if (o.IsEmpty()) return *this;
    return TRect{std::min(Left, o.Left), std::min(Top, o.Top), std::max(Right, o.Right),
                 std::max(Bottom, o.Bottom)};
  }
  constexpr TRect Offset(int dx, int dy) const {
    return TRect{Left + dx, Top + dy, Right + dx, Bottom + dy};
  }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// Colours as the window system stores them: 0x00BBGGRR, red in the lowest byte.
using TColor = uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;

// A colour as a pixel of TBitmap32 (0x00RRGGBB): red and blue swap places.
constexpr uint32_t ColorToPixel(TColor c) {
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// A small set over an enumeration with fewer than 32 members.
template <typename E> class TSet {
public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E e : items)
      FBits |= Bit(e);
  }
  constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
  constexpr TSet& Include(E e) {
    FBits |= Bit(e);
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    FBits &= ~Bit(e);
    return *this;
  }
  constexpr TSet With(E e) const { return TSet(*this).Include(e); }
  constexpr TSet Without(E e) const { return TSet(*this).Exclude(e); }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint32_t Bits() const { return FBits; }
  constexpr TSet operator+(TSet o) const { return FromBits(FBits | o.FBits); }
  constexpr TSet operator-(TSet o) const { return FromBits(FBits & ~o.FBits); }
  constexpr TSet operator*(TSet o) const { return FromBits(FBits & o.FBits); }
  static constexpr TSet FromBits(uint32_t bits) {
    TSet s;
    s.FBits = bits;
    return s;
  }
  friend constexpr bool operator==(TSet a, TSet b) { return a.FBits == b.FBits; }

private:
  static constexpr uint32_t Bit(E e) { return 1u << static_cast<unsigned>(e); }
  uint32_t FBits = 0;
};

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;

// The shift-state member of a button.
constexpr TShiftStateItem ButtonShift(TMouseButton b) {
  return b == mbLeft ? ssLeft : b == mbRight ? ssRight : ssMiddle;
}

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;

// Character sets, numbered as the Windows font mapper numbers them.
using TFontCharset = uint8_t;
constexpr TFontCharset AnsiCharset = 0;
constexpr TFontCharset DefaultCharset = 1;
constexpr TFontCharset SymbolCharset = 2;

// A font description. A negative Height is the character height in pixels without the face's
// internal leading (the em size); a positive one is the full cell height.
struct TFont {
  std::string Name = "MS Sans Serif";
  int Height = -11;
  TColor Color = clBlack;
  TFontStyles Style;
  TFontCharset Charset = DefaultCharset;
  friend bool operator==(const TFont&, const TFont&) = default;
};
