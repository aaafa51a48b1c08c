// The monochrome bitmap file.
#include "output/bitmap.h"

#include <cstdint>
#include <cstring>

#include "output/output_file.h"
#include "state/encode_state.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QRIMAGE_BITMAP_SSE2 1
#endif

namespace qrimage {
namespace {

constexpr int kQuietZone = kQuietZoneModules;
constexpr int kMaxImageSide = SymbolSize(kMaxVersion) + 2 * kQuietZone;  // 185
constexpr int kMaxRowBytes = BitmapRowBytes(kMaxImageSide);              // 24
constexpr std::uint32_t kPixelsPerMetre = kBitmapPixelsPerMetre;

void PutLittleEndian(std::uint8_t* at, std::uint32_t value, int bytes) {
  for (int b = 0; b < bytes; ++b) {
    at[b] = static_cast<std::uint8_t>(value >> (8 * b));
  }
}

}  // namespace

void BuildBitmapHeaders(std::uint8_t (&h)[kBitmapHeaderBytes], int side, std::uint32_t imageBytes,
                        std::uint32_t pixelsPerMetre) {
  std::memset(h, 0, sizeof h);
  h[0] = 'B';
  h[1] = 'M';
  PutLittleEndian(h + 2, kBitmapHeaderBytes + imageBytes, 4);
  PutLittleEndian(h + 10, kBitmapHeaderBytes, 4);
  PutLittleEndian(h + 14, kBitmapInfoHeaderBytes, 4);
  PutLittleEndian(h + 18, side, 4);
  PutLittleEndian(h + 22, side, 4);  // positive: bottom-up rows
  PutLittleEndian(h + 26, 1, 2);     // planes
  PutLittleEndian(h + 28, 1, 2);     // bits per pixel
  PutLittleEndian(h + 34, imageBytes, 4);
  PutLittleEndian(h + 38, pixelsPerMetre, 4);
  PutLittleEndian(h + 42, pixelsPerMetre, 4);
  std::memcpy(h + kBitmapFileHeaderBytes + kBitmapInfoHeaderBytes, kBitmapPalette,
              kBitmapPaletteBytes);
}

namespace {

// The image rows, stored bottom-up from `rows` on. Quiet rows are all ones,
// padding bits included; symbol rows have a 1 for every light pixel and
// zero padding bits.
void ComposeImage(const EncodeState& state, int n, int rowBytes, std::uint8_t* rows) {
  const int side = n + 2 * kQuietZone;
  // One byte per pixel of a symbol row, MODULE_LIGHT for light: the quiet
  // zone on both sides, then dark up to the padded row end. Only the
  // modules change from row to row.
  alignas(16) std::uint8_t pixels[kMaxRowBytes * 8];
  std::memset(pixels, MODULE_DARK, sizeof pixels);
  std::memset(pixels, MODULE_LIGHT, side);
  for (int t = 0; t < side; ++t) {
    const int r = t - kQuietZone;
    std::uint8_t* row = rows + (side - 1 - t) * rowBytes;
    if (r < 0 || r >= n) {
      std::memset(row, 0xFF, rowBytes);
      continue;
    }
    std::memcpy(pixels + kQuietZone, &state.matrix[r * GRID_STRIDE], n);
    PackPixelRow(pixels, rowBytes, row);
  }
}

}  // namespace

void PackPixelRowScalar(const std::uint8_t* pixels, int bytes, std::uint8_t* out) {
  for (int b = 0; b < bytes; ++b) {
    const std::uint8_t* p = pixels + 8 * b;
    unsigned byte = 0;
    for (int k = 0; k < 8; ++k) {
      byte = byte << 1 | (p[k] == MODULE_LIGHT);
    }
    out[b] = static_cast<std::uint8_t>(byte);
  }
}

void PackPixelRow(const std::uint8_t* pixels, int bytes, std::uint8_t* out) {
#if QRIMAGE_BITMAP_SSE2
  // Sixteen pixels at a time: each byte compared with MODULE_LIGHT, the
  // bytes of each half put in reverse order (words reversed, then the two
  // bytes of each word swapped), so that the compare's top bits, collected
  // lowest byte first, come out leftmost pixel in the top bit.
  const __m128i light = _mm_set1_epi8(static_cast<char>(MODULE_LIGHT));
  int b = 0;
  for (; b + 2 <= bytes; b += 2) {
    __m128i v =
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 8 * b)), light);
    v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0x1B), 0x1B);
    v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(v));
    out[b] = static_cast<std::uint8_t>(bits);
    out[b + 1] = static_cast<std::uint8_t>(bits >> 8);
  }
  PackPixelRowScalar(pixels + 8 * b, bytes - b, out + b);
#else
  PackPixelRowScalar(pixels, bytes, out);
#endif
}

int WriteBitmapFile(const EncodeState& state, const char* path) {
  const int n = SymbolSize(state.version);
  const int side = n + 2 * kQuietZone;
  const int rowBytes = BitmapRowBytes(side);
  const int imageSize = side * rowBytes;

  // The whole file, composed before it is opened.
  std::uint8_t file[kBitmapHeaderBytes + kMaxImageSide * kMaxRowBytes];
  std::uint8_t headers[kBitmapHeaderBytes];
  BuildBitmapHeaders(headers, side, imageSize, kPixelsPerMetre);
  std::memcpy(file, headers, kBitmapHeaderBytes);
  ComposeImage(state, n, rowBytes, file + kBitmapHeaderBytes);

#ifdef _WIN32
  // Windows hosts see the file written as W + 4 requests: the file header,
  // the information header, each palette entry, then each row, bottom row
  // first (as the rows are stored).
  constexpr std::size_t kParts[] = {kBitmapFileHeaderBytes, kBitmapInfoHeaderBytes,
                                    kBitmapPaletteBytes / 2, kBitmapPaletteBytes / 2};
  OutputRequest requests[4 + kMaxImageSide];
  int count = 0;
  const std::uint8_t* next = file;
  for (const std::size_t part : kParts) {
    requests[count++] = {next, part};
    next += part;
  }
  for (int t = 0; t < side; ++t) {
    requests[count++] = {next, static_cast<std::size_t>(rowBytes)};
    next += rowBytes;
  }
#else
  // Elsewhere one request (one system call) writes it all, in the same order.
  const OutputRequest requests[] = {
      {file, static_cast<std::size_t>(kBitmapHeaderBytes + imageSize)}};
  const int count = 1;
#endif
  SystemErrorCode error;
  return WriteOutputRequests(path, requests, count, error) ? 0 : -1;
}

}  // namespace qrimage
