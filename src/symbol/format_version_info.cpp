// Step 10: format and version information, after masking. Only dark
// modules are written; a 0 bit leaves its (light, reserved) module alone.
#include "symbol/symbol.h"

namespace qrimage {

// BCH(15,5) code words with generator 0x537, XORed with 0x5412.
const std::uint16_t kFormatInfo[32] = {
    0x5412, 0x5125, 0x5E7C, 0x5B4B, 0x45F9, 0x40CE, 0x4F97, 0x4AA0, 0x77C4, 0x72F3, 0x7DAA,
    0x789D, 0x662F, 0x6318, 0x6C41, 0x6976, 0x1689, 0x13BE, 0x1CE7, 0x19D0, 0x0762, 0x0255,
    0x0D0C, 0x083B, 0x355F, 0x3068, 0x3F31, 0x3A06, 0x24B4, 0x2183, 0x2EDA, 0x2BED};

// BCH(18,6) code words with generator 0x1F25, versions 7 to 40.
const std::uint32_t kVersionInfo[34] = {
    0x07C94, 0x085BC, 0x09A99, 0x0A4D3, 0x0BBF6, 0x0C762, 0x0D847, 0x0E60D, 0x0F928,
    0x10B78, 0x1145D, 0x12A17, 0x13532, 0x149A6, 0x15683, 0x168C9, 0x177EC, 0x18EC4,
    0x191E1, 0x1AFAB, 0x1B08E, 0x1CC1A, 0x1D33F, 0x1ED75, 0x1F250, 0x209D5, 0x216F0,
    0x228BA, 0x2379F, 0x24B0B, 0x2542E, 0x26A64, 0x27541, 0x28C69};

namespace {

void Darken(ModuleGrid& matrix, int row, int column) {
  matrix[row * GRID_STRIDE + column] = MODULE_DARK;
}

bool BitSet(std::uint32_t word, int bit) {
  return (word >> bit) & 1;
}

void PlaceFormatInfo(ModuleGrid& matrix, int n, std::uint16_t word) {
  for (int bit = 14; bit >= 0; --bit) {
    if (!BitSet(word, bit)) {
      continue;
    }
    // First copy: along row 8 left of the top-left finder (bits 14..9),
    // the corner (8..6), then up column 8 (5..0), skipping timing modules.
    if (bit >= 9) {
      Darken(matrix, 8, 14 - bit);
    } else if (bit == 8) {
      Darken(matrix, 8, 7);
    } else if (bit >= 6) {
      Darken(matrix, bit + 1, 8);  // bit 7 at (8, 8), bit 6 at (7, 8)
    } else {
      Darken(matrix, bit, 8);
    }
    // Second copy: up column 8 from the bottom (bits 14..8), then along
    // row 8 to the right edge (bits 7..0).
    if (bit >= 8) {
      Darken(matrix, n - 15 + bit, 8);
    } else {
      Darken(matrix, 8, n - 1 - bit);
    }
  }
}

void PlaceVersionInfo(ModuleGrid& matrix, int n, std::uint32_t word) {
  for (int bit = 0; bit < 18; ++bit) {
    if (BitSet(word, bit)) {
      Darken(matrix, n - 11 + bit % 3, bit / 3);  // lower-left block
      Darken(matrix, bit / 3, n - 11 + bit % 3);  // its mirror, upper right
    }
  }
}

}  // namespace

void PlaceFormatAndVersionInfo(EncodeState& state) {
  const int n = SymbolSize(state.version);
  const int indicator = kFormatLevelBits[state.level & 3] & 3;
  PlaceFormatInfo(state.matrix, n, kFormatInfo[indicator * 8 + (state.maskIndex & 7)]);
  Darken(state.matrix, n - 8, 8);
  if (state.version >= 7) {
    PlaceVersionInfo(state.matrix, n, kVersionInfo[state.version - 7]);
  }
}

}  // namespace qrimage
