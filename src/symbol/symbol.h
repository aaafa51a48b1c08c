// Symbol construction: mask templates (which double as the map of reserved
// modules), function patterns with the codeword bits, and the format and
// version information.
#ifndef QRIMAGE_SRC_SYMBOL_SYMBOL_H
#define QRIMAGE_SRC_SYMBOL_SYMBOL_H

#include <cstdint>

#include "state/encode_state.h"

namespace qrimage {

// Alignment pattern centre coordinates; entry of version V at [V - 1]:
// a count k, then k ascending coordinates, then zeros.
extern const std::uint8_t kAlignmentCenters[kMaxVersion][8];

// Calls visit(row, column) for every alignment pattern centre of `version`:
// every pair of listed coordinates except the three on finder patterns.
template <typename Visit>
void ForEachAlignmentCenter(int version, Visit visit) {
  const std::uint8_t* entry = kAlignmentCenters[version - 1];
  const int count = entry[0];
  const int last = SymbolSize(version) - 7;
  for (int a = 1; a <= count; ++a) {
    for (int b = 1; b <= count; ++b) {
      const int row = entry[a];
      const int column = entry[b];
      const bool onFinder =
          (row == 6 && column == 6) || (row == 6 && column == last) || (row == last && column == 6);
      if (!onFinder) {
        visit(row, column);
      }
    }
  }
}

// Whether data mask `mask` inverts module (i, j).
inline constexpr bool MaskInverts(int mask, int i, int j) {
  switch (mask) {
    case 0:
      return (i + j) % 2 == 0;
    case 1:
      return i % 2 == 0;
    case 2:
      return j % 3 == 0;
    case 3:
      return (i + j) % 3 == 0;
    case 4:
      return (i / 2 + j / 3) % 2 == 0;
    case 5:
      return (i * j) % 2 + (i * j) % 3 == 0;
    case 6:
      return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    default:
      return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
  }
}

// Every mask repeats every 12 rows and every 12 columns (the conditions
// use i and j mod 2, mod 3, and i div 2 and j div 3 mod 2).
constexpr int kMaskRowPeriod = 12;

// Writes all eight templates over the current version's N x N corner:
// MODULE_RESERVED for function, format and version modules, 0x00 where
// mask m inverts the module and 0xFF where it does not.
void BuildMaskTemplates(EncodeState& state);

inline constexpr std::uint8_t kFinderPattern[7][7] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00},
    {0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00}, {0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00},
    {0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00}, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}};

inline constexpr std::uint8_t kAlignmentPattern[5][5] = {{0x00, 0x00, 0x00, 0x00, 0x00},
                                                         {0x00, 0xFF, 0xFF, 0xFF, 0x00},
                                                         {0x00, 0xFF, 0x00, 0xFF, 0x00},
                                                         {0x00, 0xFF, 0xFF, 0xFF, 0x00},
                                                         {0x00, 0x00, 0x00, 0x00, 0x00}};

// Copies kFinderPattern into `grid` with its top-left module at (top, left).
void DrawFinderPattern(int top, ModuleGrid& grid, int left);

// Builds the unmasked symbol in `matrix`: codeword bits in zig-zag order
// into every non-reserved module, then finder, timing and alignment
// patterns. Format, version and dark modules stay light.
void PlaceModules(EncodeState& state);

// Format indicator bits by level index (L 01, M 00, Q 11, H 10).
inline constexpr std::uint8_t kFormatLevelBits[4] = {1, 0, 3, 2};
// The 15-bit format words as they appear in the symbol, by indicator * 8 + mask.
extern const std::uint16_t kFormatInfo[32];
// The 18-bit version words of versions 7 to 40 (entry version - 7).
extern const std::uint32_t kVersionInfo[34];

// Completes the masked matrix: format bits (level and mask), the always-dark
// module, and the version bits of symbols of version 7 and up.
void PlaceFormatAndVersionInfo(EncodeState& state);

}  // namespace qrimage

#endif
