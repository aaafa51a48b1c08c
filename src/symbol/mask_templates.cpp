// The eight mask templates and, in template 0, the reserved map.
#include <cstring>

#include "symbol/symbol.h"

namespace qrimage {
namespace {

void MarkReserved(std::uint8_t* grid, int top, int left, int height, int width) {
  for (int r = top; r < top + height; ++r) {
    std::memset(grid + r * GRID_STRIDE + left, MODULE_RESERVED, width);
  }
}

// One tile of each mask, worked out at compile time: 0x00 where the mask
// inverts, 0xFF where it keeps. Every mask repeats after kMaskRowPeriod
// rows and as many columns, so a tile is all of it.
struct MaskTiles {
  std::uint8_t tile[kMaskCount][kMaskRowPeriod][kMaskRowPeriod];
};
constexpr MaskTiles MakeMaskTiles() {
  MaskTiles tiles{};
  for (int mask = 0; mask < kMaskCount; ++mask) {
    for (int i = 0; i < kMaskRowPeriod; ++i) {
      for (int j = 0; j < kMaskRowPeriod; ++j) {
        tiles.tile[mask][i][j] = MaskInverts(mask, i, j) ? MODULE_DARK : MODULE_LIGHT;
      }
    }
  }
  return tiles;
}
constexpr MaskTiles kMaskTiles = MakeMaskTiles();

// One period of rows of every mask, as wide as the symbol (rounded up to
// whole tiles). Filled from the tiles on each call: a table of whole rows
// would be 17 KB of constant data, a third of the Windows DLL.
constexpr int kMaskRowWidth = (GRID_STRIDE + kMaskRowPeriod - 1) / kMaskRowPeriod * kMaskRowPeriod;
std::uint8_t maskRows[kMaskCount][kMaskRowPeriod][kMaskRowWidth];

// Repeats each tile row across `width` columns, a whole tile row (a copy
// of fixed size, which the compiler does in two moves) at a time.
void FillMaskRows(int width) {
  for (int mask = 0; mask < kMaskCount; ++mask) {
    for (int i = 0; i < kMaskRowPeriod; ++i) {
      std::uint8_t* row = maskRows[mask][i];
      for (int j = 0; j < width; j += kMaskRowPeriod) {
        std::memcpy(row + j, kMaskTiles.tile[mask][i], kMaskRowPeriod);
      }
    }
  }
}

// A template row: the mask row where `keep` is 0xFF, MODULE_RESERVED where
// it is 0x00. The three rows never overlap, which lets the compiler blend
// many modules at a time without checking.
void BlendRow(std::uint8_t* __restrict out, const std::uint8_t* __restrict pattern,
              const std::uint8_t* __restrict keep, int n) {
  for (int j = 0; j < n; ++j) {
    out[j] = static_cast<std::uint8_t>((pattern[j] & keep[j]) | (MODULE_RESERVED & ~keep[j]));
  }
}

}  // namespace

void BuildMaskTemplates(EncodeState& state) {
  const int n = SymbolSize(state.version);
  std::uint8_t* reserved = state.maskTemplates[0].data();

  // Template 0 starts clean so that no mark of an earlier, different
  // version survives, then takes this version's reserved areas.
  for (int r = 0; r < n; ++r) {
    std::memset(reserved + r * GRID_STRIDE, MODULE_LIGHT, n);
  }
  MarkReserved(reserved, 0, 0, 9, 9);      // top-left finder, separator, format
  MarkReserved(reserved, 0, n - 8, 9, 8);  // top-right
  MarkReserved(reserved, n - 8, 0, 8, 9);  // bottom-left, with the dark module
  if (state.version >= 7) {
    MarkReserved(reserved, 0, n - 11, 6, 3);  // version information, upper
    MarkReserved(reserved, n - 11, 0, 3, 6);  // and lower
  }
  MarkReserved(reserved, 6, 8, 1, n - 16);  // timing row
  MarkReserved(reserved, 8, 6, n - 16, 1);  // timing column
  ForEachAlignmentCenter(state.version, [&](int row, int column) {
    MarkReserved(reserved, row - 2, column - 2, 5, 5);
  });

  FillMaskRows(n);
  // Each template row is its mask row with the reserved marks laid over
  // it by a branch-free blend (keep is 0xFF at a free module and 0x00 at a
  // reserved one).
  for (int i = 0; i < n; ++i) {
    std::uint8_t keep[GRID_STRIDE];
    for (int j = 0; j < n; ++j) {
      keep[j] = reserved[i * GRID_STRIDE + j] == MODULE_RESERVED ? 0x00 : 0xFF;
    }
    for (int mask = 0; mask < kMaskCount; ++mask) {
      BlendRow(state.maskTemplates[mask].data() + i * GRID_STRIDE,
               maskRows[mask][i % kMaskRowPeriod], keep, n);
    }
  }
}

}  // namespace qrimage
