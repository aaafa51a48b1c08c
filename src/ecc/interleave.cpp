// The order in which codewords are laid into the symbol.
#include "ecc/block_layout.h"
#include "ecc/error_correction.h"
#include "state/encode_state.h"

namespace qrimage {

void InterleaveCodewords(EncodeState& state) {
  const BlockLayoutEntry& layout = BlockLayoutFor(state.version, state.level);
  const int blocks = layout.blocks1 + layout.blocks2;
  const int eccPerBlock = layout.total1 - layout.data1;
  const int group2Start = layout.blocks1 * layout.data1;
  std::uint8_t* out = state.finalCodewords;

  // Start of block j's data codewords.
  auto blockData = [&](int j) {
    return j < layout.blocks1 ? j * layout.data1
                              : group2Start + (j - layout.blocks1) * layout.data2;
  };

  for (int i = 0; i < layout.data1; ++i) {
    for (int j = 0; j < blocks; ++j) {
      *out++ = state.dataCodewords[blockData(j) + i];
    }
  }
  // Group-2 blocks have one data codeword more.
  for (int j = layout.blocks1; j < blocks; ++j) {
    *out++ = state.dataCodewords[blockData(j) + layout.data1];
  }
  for (int i = 0; i < eccPerBlock; ++i) {
    for (int j = 0; j < blocks; ++j) {
      *out++ = state.eccCodewords[j * eccPerBlock + i];
    }
  }
}

}  // namespace qrimage
