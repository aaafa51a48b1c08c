#ifndef QRIMAGE_SRC_OUTPUT_BITMAP_H
#define QRIMAGE_SRC_OUTPUT_BITMAP_H

#include "api/encode_state.h"

namespace qrimage {

// Writes the symbol in `matrix` as a 1-bit-per-pixel bitmap with a
// 4-module quiet zone. Returns 0, or -1 when the file could not be opened
// or written in full.
int WriteBitmapFile(const EncodeState& state, const char* path);

}  // namespace qrimage

#endif
