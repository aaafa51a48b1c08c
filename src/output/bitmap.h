#ifndef QRIMAGE_SRC_OUTPUT_BITMAP_H
#define QRIMAGE_SRC_OUTPUT_BITMAP_H

#include <cstdint>

#include "state/symbol_tables.h"

namespace qrimage {

struct EncodeState;

// The file's fixed layout, shared with the tool's scaled bitmaps: a 14-byte
// file header, a 40-byte information header and a two-entry palette, so the
// pixel rows start at byte 62. Palette entry 0 (a 0 bit) is black, entry 1
// white; rows are stored bottom-up, each padded to a multiple of 4 bytes.
constexpr int kBitmapFileHeaderBytes = 14;
constexpr int kBitmapInfoHeaderBytes = 40;
constexpr int kBitmapPaletteBytes = 8;
constexpr int kBitmapHeaderBytes =
    kBitmapFileHeaderBytes + kBitmapInfoHeaderBytes + kBitmapPaletteBytes;  // 62
constexpr std::uint8_t kBitmapPalette[kBitmapPaletteBytes] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};
// Resolution written into both axes: 72 dpi.
constexpr std::uint32_t kBitmapPixelsPerMetre = 2834;

constexpr int BitmapRowBytes(int widthPixels) {
  return (widthPixels + 31) / 32 * 4;
}

// The 62 bytes before the pixel rows of a `side` x `side` bitmap whose rows
// take `imageBytes` in all: both headers and the palette.
void BuildBitmapHeaders(std::uint8_t (&h)[kBitmapHeaderBytes], int side, std::uint32_t imageBytes,
                        std::uint32_t pixelsPerMetre);

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
