#ifndef QRIMAGE_SRC_API_VERSION_SELECT_H
#define QRIMAGE_SRC_API_VERSION_SELECT_H

#include <cstdint>

#include "api/encode_state.h"

namespace qrimage {

// The level letters in index order: L 0, M 1, Q 2, H 3.
inline constexpr char kLevelLetters[4] = {'L', 'M', 'Q', 'H'};

// Bytes a single byte-mode segment can carry, by version (row = version - 1)
// and level.
extern const std::uint16_t kByteCapacity[kMaxVersion][4];

// Points `text` at textBuffer, measures it, maps `letter` to a level and
// picks the smallest version that holds the text. Returns 0, -1 for a bad
// letter or -2 when even version 40 is too small.
int SelectVersion(std::uint8_t letter, EncodeState& state);

// Data codewords of the version chosen above: mode, count, text bytes,
// terminator and pad codewords.
void BuildDataCodewords(EncodeState& state);

}  // namespace qrimage

#endif
