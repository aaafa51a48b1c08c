// The colours a picture is drawn in: RGB for every type that takes colours,
// printing inks (CMYK) for the vector types made for print, and how bright
// each is.
#ifndef QRIMAGE_TOOL_COLOURS_H
#define QRIMAGE_TOOL_COLOURS_H

#include <cstdint>
#include <optional>
#include <string>

namespace qrtool {

// Colours are 0xRRGGBB; kTransparent is a background PNG and SVG can have.
using Colour = std::uint32_t;
inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kWhite = 0xFFFFFF;
inline constexpr Colour kTransparent = 0xFF000000;

// A colour as the share of each printing ink, 0 to 1 (percent / 100).
struct Inks {
  double cyan = 0;
  double magenta = 0;
  double yellow = 0;
  double black = 0;
};

// R = 255 (1 - C)(1 - K), G = 255 (1 - M)(1 - K), B = 255 (1 - Y)(1 - K),
// each rounded to a whole number.
Colour ColourFromInks(const Inks& inks);

// The inverse for a colour given as RGB on a page in inks:
// K = 1 - max(R, G, B) / 255 and C = (1 - R / 255 - K) / (1 - K) and so on,
// so that white takes no ink and black the black ink alone.
Inks InksFromColour(Colour colour);

// The relative luminance of a colour, 0 for black to 1 for white (WCAG).
double Luminance(Colour colour);

// "1a237e", or "cmyk:100,60,0,20" for a colour given in inks.
std::string ColourName(Colour colour, const std::optional<Inks>& inks);

}  // namespace qrtool

#endif
