// The unmasked symbol: function patterns and codeword bits.
#include <cstring>

#include "ecc/block_layout.h"
#include "symbol/symbol.h"

namespace qrimage {
namespace {

// Lays the codeword bits, most significant bit first, along the two-column
// zig-zag: column pairs from the right edge, alternately upward and
// downward, right column before left in each row, skipping reserved
// modules and the vertical timing column. Modules left after the last bit
// (the remainder) stay light.
void PlaceCodewordBits(EncodeState& state, int n, int codewordCount) {
  const std::uint8_t* reserved = state.maskTemplates[0].data();
  std::uint8_t* matrix = state.matrix.data();
  const int bitCount = codewordCount * 8;
  int bit = 0;
  bool upward = true;
  for (int right = n - 1; right >= 1; right -= 2) {
    if (right == 6) {
      right = 5;
    }
    for (int step = 0; step < n; ++step) {
      const int row = upward ? n - 1 - step : step;
      for (int column = right; column >= right - 1; --column) {
        const int p = row * GRID_STRIDE + column;
        if (reserved[p] == MODULE_RESERVED || bit >= bitCount) {
          continue;
        }
        // The bit is stored without a branch on it (1 gives 0x00, dark; 0
        // keeps 0xFF, light): the bits are random, so such a branch would be
        // mispredicted at every other module.
        const unsigned value = (state.finalCodewords[bit >> 3] >> (7 - (bit & 7))) & 1;
        matrix[p] = static_cast<std::uint8_t>(value - 1);
        ++bit;
      }
    }
    upward = !upward;
  }
}

void DrawTimingPatterns(ModuleGrid& matrix, int n) {
  for (int k = 8; k <= n - 9; k += 2) {
    matrix[6 * GRID_STRIDE + k] = MODULE_DARK;
    matrix[k * GRID_STRIDE + 6] = MODULE_DARK;
  }
}

void DrawAlignmentPattern(ModuleGrid& matrix, int row, int column) {
  for (int a = 0; a < 5; ++a) {
    std::memcpy(&matrix[(row - 2 + a) * GRID_STRIDE + column - 2], kAlignmentPattern[a], 5);
  }
}

}  // namespace

void DrawFinderPattern(int top, ModuleGrid& grid, int left) {
  for (int a = 0; a < 7; ++a) {
    std::memcpy(&grid[(top + a) * GRID_STRIDE + left], kFinderPattern[a], 7);
  }
}

void PlaceModules(EncodeState& state) {
  const int n = SymbolSize(state.version);
  const BlockLayoutEntry& layout = BlockLayoutFor(state.version, state.level);
  const int codewordCount = layout.blocks1 * layout.total1 + layout.blocks2 * layout.total2;

  for (int r = 0; r < n; ++r) {
    std::memset(&state.matrix[r * GRID_STRIDE], MODULE_LIGHT, n);
  }
  PlaceCodewordBits(state, n, codewordCount);
  DrawFinderPattern(0, state.matrix, 0);
  DrawFinderPattern(0, state.matrix, n - 7);
  DrawFinderPattern(n - 7, state.matrix, 0);
  DrawTimingPatterns(state.matrix, n);
  ForEachAlignmentCenter(
      state.version, [&](int row, int column) { DrawAlignmentPattern(state.matrix, row, column); });
}

}  // namespace qrimage
