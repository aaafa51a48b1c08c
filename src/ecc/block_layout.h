#ifndef QRIMAGE_SRC_ECC_BLOCK_LAYOUT_H
#define QRIMAGE_SRC_ECC_BLOCK_LAYOUT_H

#include <cstdint>

#include "state/encode_state.h"

namespace qrimage {

// Reed-Solomon block structure of one version and level. Group 2, when
// present, has blocks one data codeword longer than group 1 and the same
// number of error-correction codewords per block.
struct BlockLayoutEntry {
  std::uint8_t blocks1;
  std::uint8_t total1;  // codewords per group-1 block, data and ECC
  std::uint8_t data1;   // data codewords per group-1 block
  std::uint8_t blocks2;
  std::uint8_t total2;
  std::uint8_t data2;
};

// Entry of version v and level l at (v - 1) * 4 + l.
extern const BlockLayoutEntry kBlockLayout[kMaxVersion * 4];

inline const BlockLayoutEntry& BlockLayoutFor(int version, int level) {
  return kBlockLayout[(version - 1) * 4 + level];
}

}  // namespace qrimage

#endif
