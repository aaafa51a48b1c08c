// The monochrome bitmap file.
#include "output/bitmap.h"

#include <cstdint>
#include <cstring>

#include "output/output_file.h"

namespace qrimage {
namespace {

constexpr int kQuietZone = kQuietZoneModules;
constexpr int kMaxImageSide = SymbolSize(kMaxVersion) + 2 * kQuietZone;  // 185
constexpr int kMaxRowBytes = BitmapRowBytes(kMaxImageSide);              // 24
constexpr int kHeaderBytes = kBitmapHeaderBytes;
constexpr std::uint32_t kPixelsPerMetre = kBitmapPixelsPerMetre;

void PutLittleEndian(std::uint8_t* at, std::uint32_t value, int bytes) {
  for (int b = 0; b < bytes; ++b) {
    at[b] = static_cast<std::uint8_t>(value >> (8 * b));
  }
}

void BuildHeaders(std::uint8_t (&h)[kHeaderBytes], int side, int imageSize) {
  std::memset(h, 0, sizeof h);
  h[0] = 'B';
  h[1] = 'M';
  PutLittleEndian(h + 2, kHeaderBytes + imageSize, 4);
  PutLittleEndian(h + 10, kHeaderBytes, 4);
  PutLittleEndian(h + 14, 40, 4);
  PutLittleEndian(h + 18, side, 4);
  PutLittleEndian(h + 22, side, 4);  // positive: bottom-up rows
  PutLittleEndian(h + 26, 1, 2);     // planes
  PutLittleEndian(h + 28, 1, 2);     // bits per pixel
  PutLittleEndian(h + 34, imageSize, 4);
  PutLittleEndian(h + 38, kPixelsPerMetre, 4);
  PutLittleEndian(h + 42, kPixelsPerMetre, 4);
  std::memcpy(h + kBitmapFileHeaderBytes + kBitmapInfoHeaderBytes, kBitmapPalette,
              kBitmapPaletteBytes);
}

// Image rows top first. Quiet rows are all ones, padding bits included;
// symbol rows have a 1 for every light pixel and zero padding bits.
void ComposeImage(const EncodeState& state, int n, int rowBytes,
                  std::uint8_t (&rows)[kMaxImageSide][kMaxRowBytes]) {
  const int side = n + 2 * kQuietZone;
  // One byte per pixel of a symbol row, 1 for light: the quiet zone on
  // both sides, then zeros up to the padded row end.
  std::uint8_t light[kMaxRowBytes * 8];
  for (int t = 0; t < side; ++t) {
    std::uint8_t* row = rows[t];
    const int r = t - kQuietZone;
    if (r < 0 || r >= n) {
      std::memset(row, 0xFF, rowBytes);
      continue;
    }
    std::memset(light, 0, sizeof light);
    std::memset(light, 1, side);
    const std::uint8_t* modules = &state.matrix[r * GRID_STRIDE];
    for (int c = 0; c < n; ++c) {
      light[kQuietZone + c] = modules[c] == MODULE_LIGHT;
    }
    // Eight pixels to a byte, the leftmost in the top bit.
    for (int b = 0; b < rowBytes; ++b) {
      const std::uint8_t* p = light + 8 * b;
      row[b] = static_cast<std::uint8_t>(p[0] << 7 | p[1] << 6 | p[2] << 5 | p[3] << 4 | p[4] << 3 |
                                         p[5] << 2 | p[6] << 1 | p[7]);
    }
  }
}

}  // namespace

int WriteBitmapFile(const EncodeState& state, const char* path) {
  const int n = SymbolSize(state.version);
  const int side = n + 2 * kQuietZone;
  const int rowBytes = BitmapRowBytes(side);
  const int imageSize = side * rowBytes;

  std::uint8_t headers[kHeaderBytes];
  BuildHeaders(headers, side, imageSize);
  std::uint8_t rows[kMaxImageSide][kMaxRowBytes];
  ComposeImage(state, n, rowBytes, rows);

  OutputFile file;
  if (!OpenOutputFile(path, file)) {
    return -1;
  }
  bool written = WriteOutputFile(file, headers, 14) && WriteOutputFile(file, headers + 14, 40) &&
                 WriteOutputFile(file, headers + 54, 4) && WriteOutputFile(file, headers + 58, 4);
  for (int t = side - 1; written && t >= 0; --t) {
    written = WriteOutputFile(file, rows[t], rowBytes);
  }
  if (!written) {
    DiscardOutputFile(file, true);
    return -1;
  }
  if (!CloseOutputFile(file)) {
    DiscardOutputFile(file, false);
    return -1;
  }
  return 0;
}

}  // namespace qrimage
