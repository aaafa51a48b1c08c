// Step 7: the eight mask templates and, in template 0, the reserved map.
#include <cstring>

#include "symbol/symbol.h"

namespace qrimage {
namespace {

void MarkReserved(std::uint8_t* grid, int top, int left, int height, int width) {
  for (int r = top; r < top + height; ++r) {
    std::memset(grid + r * GRID_STRIDE + left, MODULE_RESERVED, width);
  }
}

// Whether data mask `mask` inverts module (i, j).
bool MaskInverts(int mask, int i, int j) {
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

  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const int p = i * GRID_STRIDE + j;
      const bool isReserved = reserved[p] == MODULE_RESERVED;
      for (int mask = 0; mask < kMaskCount; ++mask) {
        state.maskTemplates[mask][p] = isReserved                ? MODULE_RESERVED
                                       : MaskInverts(mask, i, j) ? MODULE_DARK
                                                                 : MODULE_LIGHT;
      }
    }
  }
}

}  // namespace qrimage
