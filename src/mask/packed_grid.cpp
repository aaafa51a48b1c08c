// Byte grid to bit sets.
#include "mask/packed_grid.h"

#include "symbol/symbol.h"

#include <cstddef>
#include <cstring>

#if QRIMAGE_POPCNT
#include <cpuid.h>
#endif

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QRIMAGE_PACK_SSE2 1
#endif

namespace qrimage {
namespace {

#if QRIMAGE_PACK_SSE2
// The other way to pack a row (see ScalarPacking).
struct Sse2Packing {
  static void PackRow(const std::uint8_t* row, int n, std::size_t room, RowBits& dark,
                      RowBits& light);
};
using FastestPacking = Sse2Packing;
#else
using FastestPacking = ScalarPacking;
#endif

#if QRIMAGE_PACK_SSE2
// Sixteen modules at a time: compare every byte with 0x00 and with 0xFF
// and collect the byte results' top bits. The last piece of a row takes
// up to 15 bytes past it (the next row, or the area outside the corner).
// Only at the very end of a grid's storage, where nothing may be read past,
// does a padded copy stand in.
void Sse2Packing::PackRow(const std::uint8_t* row, int n, std::size_t room, RowBits& dark,
                          RowBits& light) {
  std::uint64_t d = 0;  // pieces of the word being filled
  std::uint64_t l = 0;
  const __m128i zero = _mm_setzero_si128();
  const __m128i ones = _mm_set1_epi8(-1);
  for (int x = 0; x < n; x += 16) {
    __m128i v;
    if (x + 16 <= static_cast<int>(room)) {
      v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    } else {
      alignas(16) std::uint8_t tail[16];
      std::memset(tail, MODULE_RESERVED, sizeof tail);
      std::memcpy(tail, row + x, room - x);
      v = _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
    }
    const int shift = x & 63;  // 16-bit piece x / 16 holds bits x .. x + 15
    d |= std::uint64_t(static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))))
         << shift;
    l |= std::uint64_t(static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, ones))))
         << shift;
    if (shift == 48 || x + 16 >= n) {
      dark.w[x >> 6] = d;
      light.w[x >> 6] = l;
      d = 0;
      l = 0;
    }
  }
  for (int i = (n + 63) / 64; i < kRowWords; ++i) {
    dark.w[i] = 0;
    light.w[i] = 0;
  }
}
#endif

// The rows of each mask over one period, bit j set where the mask inverts
// column j.
struct MaskBits {
  RowBits row[kMaskCount][kMaskRowPeriod];
};
constexpr MaskBits MakeMaskBits() {
  MaskBits bits{};
  for (int mask = 0; mask < kMaskCount; ++mask) {
    for (int i = 0; i < kMaskRowPeriod; ++i) {
      for (int j = 0; j < GRID_STRIDE; ++j) {
        bits.row[mask][i].w[j >> 6] |= std::uint64_t{MaskInverts(mask, i, j)} << (j & 63);
      }
    }
  }
  return bits;
}
constexpr MaskBits kMaskBits = MakeMaskBits();

}  // namespace

#if QRIMAGE_POPCNT
// Asked with cpuid on the first call rather than through the compiler's
// feature table, which would add an initialiser run at load. The mask
// search runs under the call lock, so a plain remembered answer will do:
// no guard of a thread-safe static (and no runtime support for one).
bool HasPopcnt() {
  static int answer = 0;  // 0 not asked yet, 1 no, 2 yes
  if (answer == 0) {
    unsigned a, b, c, d;
    answer = __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_POPCNT) != 0 ? 2 : 1;
  }
  return answer == 2;
}
#endif

void PackGridRows(const std::uint8_t* grid, std::size_t room, int n, PackedGrid& packed) {
  PackRows<FastestPacking>(grid, room, n, packed);
}

void PackSymbol(const EncodeState& state, int n, PackedSymbol& symbol) {
  PackGridRows(state.matrix.data(), kGridBytes, n, symbol.modules);
  // Template 0 holds 0x00 or 0xFF at every module a mask may invert and
  // MODULE_RESERVED at the others.
  static PackedGrid templ;
  PackGridRows(state.maskTemplates[0].data(), kGridBytes, n, templ);
  for (int i = 0; i < n; ++i) {
    symbol.maskable[i] = templ.dark[i] | templ.light[i];
  }
}

void DeriveCandidate(const PackedSymbol& symbol, int mask, int n, PackedGrid& packed) {
  const RowBits* maskRows = kMaskBits.row[mask];
  for (int i = 0; i < n; ++i) {
    // Inverting swaps dark and light.
    const RowBits invert = maskRows[i % kMaskRowPeriod] & symbol.maskable[i];
    const RowBits& dark = symbol.modules.dark[i];
    const RowBits& light = symbol.modules.light[i];
    packed.dark[i] = (dark & ~invert) | (light & invert);
    packed.light[i] = (light & ~invert) | (dark & invert);
  }
}

}  // namespace qrimage
