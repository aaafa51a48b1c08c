#ifndef QRIMAGE_SRC_DATA_VERSION_SELECT_H
#define QRIMAGE_SRC_DATA_VERSION_SELECT_H

#include <cstdint>

#include "state/encode_state.h"

namespace qrimage {

// Points `text` at textBuffer, measures it, maps `letter` to a level and
// picks the smallest version from `minVersion` up that holds the text, with
// an ECI header when `eci` is set. Returns 0, -1 for a bad letter or a
// floor outside 1..40, or -2 when even version 40 is too small.
int SelectVersion(std::uint8_t letter, EncodeState& state, int minVersion = kMinVersion,
                  bool eci = false);

// Data codewords of the version chosen above: the ECI header if asked for,
// mode, count, text bytes, terminator and pad codewords.
void BuildDataCodewords(EncodeState& state);

}  // namespace qrimage

#endif
