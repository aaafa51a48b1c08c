#ifndef QRIMAGE_SRC_DATA_VERSION_SELECT_H
#define QRIMAGE_SRC_DATA_VERSION_SELECT_H

#include <cstdint>

#include "state/encode_state.h"

namespace qrimage {

// Points `text` at textBuffer, measures it, maps `letter` to a level and
// picks the smallest version that holds the text. Returns 0, -1 for a bad
// letter, or -2 when even version 40 is too small.
int SelectVersion(std::uint8_t letter, EncodeState& state);

// Data codewords of the version chosen above: mode, count, text bytes,
// terminator and pad codewords.
void BuildDataCodewords(EncodeState& state);

}  // namespace qrimage

#endif
