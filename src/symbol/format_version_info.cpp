// Format and version information, after masking. Only dark
// modules are written; a 0 bit leaves its (light, reserved) module alone.
#include "symbol/symbol.h"

namespace qrimage {

// BCH(15,5) code words with generator 0x537, XORed with 0x5412.
// clang-format off
const std::uint16_t kFormatInfo[32] = {
    0x5412, 0x5125, 0x5E7C, 0x5B4B, 0x45F9, 0x40CE, 0x4F97, 0x4AA0,  // indicator 0, masks 0 to 7
    0x77C4, 0x72F3, 0x7DAA, 0x789D, 0x662F, 0x6318, 0x6C41, 0x6976,  // indicator 1, masks 0 to 7
    0x1689, 0x13BE, 0x1CE7, 0x19D0, 0x0762, 0x0255, 0x0D0C, 0x083B,  // indicator 2, masks 0 to 7
    0x355F, 0x3068, 0x3F31, 0x3A06, 0x24B4, 0x2183, 0x2EDA, 0x2BED,  // indicator 3, masks 0 to 7
};
// clang-format on

// BCH(18,6) code words with generator 0x1F25, versions 7 to 40.
// clang-format off
const std::uint32_t kVersionInfo[34] = {
    0x07C94,  // 7
    0x085BC,  // 8
    0x09A99,  // 9
    0x0A4D3,  // 10
    0x0BBF6,  // 11
    0x0C762,  // 12
    0x0D847,  // 13
    0x0E60D,  // 14
    0x0F928,  // 15
    0x10B78,  // 16
    0x1145D,  // 17
    0x12A17,  // 18
    0x13532,  // 19
    0x149A6,  // 20
    0x15683,  // 21
    0x168C9,  // 22
    0x177EC,  // 23
    0x18EC4,  // 24
    0x191E1,  // 25
    0x1AFAB,  // 26
    0x1B08E,  // 27
    0x1CC1A,  // 28
    0x1D33F,  // 29
    0x1ED75,  // 30
    0x1F250,  // 31
    0x209D5,  // 32
    0x216F0,  // 33
    0x228BA,  // 34
    0x2379F,  // 35
    0x24B0B,  // 36
    0x2542E,  // 37
    0x26A64,  // 38
    0x27541,  // 39
    0x28C69,  // 40
};
// clang-format on

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
