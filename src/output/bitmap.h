#ifndef QRIMAGE_SRC_OUTPUT_BITMAP_H
#define QRIMAGE_SRC_OUTPUT_BITMAP_H

#include <cstdint>

#include "api/encode_state.h"

namespace qrimage {

// Writes the symbol in `matrix` as a 1-bit-per-pixel bitmap with a
// 4-module quiet zone. Returns 0, or -1 when the file could not be opened
// or written in full.
int WriteBitmapFile(const EncodeState& state, const char* path);

// Packs 8 x `bytes` pixels, one byte each (MODULE_LIGHT for light, any
// other value dark), into `bytes` bytes of a bitmap row: 1 for light, the
// leftmost pixel in the top bit. Builds without SSE2 run the scalar form;
// both are declared so that the tests run each.
void PackPixelRow(const std::uint8_t* pixels, int bytes, std::uint8_t* out);
void PackPixelRowScalar(const std::uint8_t* pixels, int bytes, std::uint8_t* out);

}  // namespace qrimage

#endif
