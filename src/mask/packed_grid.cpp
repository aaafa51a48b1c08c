// Byte grid to bit sets.
#include "mask/packed_grid.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QRIMAGE_PACK_SSE2 1
#endif

namespace qrimage {
namespace {

#if QRIMAGE_PACK_SSE2
// Sixteen modules at a time: compare every byte with 0x00 and with 0xFF
// and collect the byte results' top bits. The row's tail goes through a
// padded copy, so nothing past the row (or past the last grid) is read;
// the padding byte 0x80 is neither dark nor light.
void PackRow(const std::uint8_t* row, int n, RowBits& dark, RowBits& light) {
  std::uint16_t d[4 * kRowWords] = {};
  std::uint16_t l[4 * kRowWords] = {};
  const __m128i zero = _mm_setzero_si128();
  const __m128i ones = _mm_set1_epi8(-1);
  for (int x = 0; x < n; x += 16) {
    __m128i v;
    if (x + 16 <= n) {
      v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    } else {
      alignas(16) std::uint8_t tail[16];
      std::memset(tail, MODULE_RESERVED, sizeof tail);
      std::memcpy(tail, row + x, n - x);
      v = _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
    }
    d[x / 16] = static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
    l[x / 16] = static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, ones)));
  }
  // Little-endian: 16-bit piece p holds bits 16p .. 16p + 15 of the row.
  for (int i = 0; i < kRowWords; ++i) {
    dark.w[i] = d[4 * i] | std::uint64_t{d[4 * i + 1]} << 16 | std::uint64_t{d[4 * i + 2]} << 32 |
                std::uint64_t{d[4 * i + 3]} << 48;
    light.w[i] = l[4 * i] | std::uint64_t{l[4 * i + 1]} << 16 | std::uint64_t{l[4 * i + 2]} << 32 |
                 std::uint64_t{l[4 * i + 3]} << 48;
  }
}
#else
void PackRow(const std::uint8_t* row, int n, RowBits& dark, RowBits& light) {
  dark = RowBits{};
  light = RowBits{};
  for (int x = 0; x < n; ++x) {
    dark.w[x >> 6] |= std::uint64_t{row[x] == MODULE_DARK} << (x & 63);
    light.w[x >> 6] |= std::uint64_t{row[x] == MODULE_LIGHT} << (x & 63);
  }
}
#endif

}  // namespace

void PackGrid(int k, int n, PackedGrid& packed) {
  const std::uint8_t* grid = maskedCandidates[k].data();
  const RowBits columns = BitRange(0, n);
  bool twoValued = true;
  for (int i = 0; i < n; ++i) {
    PackRow(grid + i * GRID_STRIDE, n, packed.dark[i], packed.light[i]);
    const RowBits either = packed.dark[i] | packed.light[i];
    twoValued = twoValued && IsEmpty(either ^ columns);
  }
  packed.twoValued = twoValued;
}

}  // namespace qrimage
