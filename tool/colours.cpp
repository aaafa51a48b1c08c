#include "colours.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "report.h"

namespace qrtool {

Colour ColourFromInks(const Inks& inks) {
  Colour colour = 0;
  for (const double ink : {inks.cyan, inks.magenta, inks.yellow}) {
    colour = colour << 8 | static_cast<Colour>(std::lround(255 * (1 - ink) * (1 - inks.black)));
  }
  return colour;
}

Inks InksFromColour(Colour colour) {
  const double red = (colour >> 16 & 0xFF) / 255.0;
  const double green = (colour >> 8 & 0xFF) / 255.0;
  const double blue = (colour & 0xFF) / 255.0;
  const double black = 1 - std::max({red, green, blue});
  if (black >= 1) {
    return {0, 0, 0, 1};
  }
  return {(1 - red - black) / (1 - black), (1 - green - black) / (1 - black),
          (1 - blue - black) / (1 - black), black};
}

double Luminance(Colour colour) {
  double sum = 0;
  const double weights[3] = {0.2126, 0.7152, 0.0722};
  for (int i = 0; i < 3; ++i) {
    const double c = (colour >> (16 - 8 * i) & 0xFF) / 255.0;
    sum += weights[i] * (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
  }
  return sum;
}

std::string ColourName(Colour colour, const std::optional<Inks>& inks) {
  if (!inks) {
    return Hex(colour, 6, false);
  }
  char name[96];
  std::snprintf(name, sizeof name, "cmyk:%g,%g,%g,%g", inks->cyan * 100, inks->magenta * 100,
                inks->yellow * 100, inks->black * 100);
  return name;
}

}  // namespace qrtool
