// A candidate grid with one bit per module, so that the penalty rules can
// test 64 modules with one word operation. Row i of the grid becomes two
// bit sets: bit j of dark[i] is set when module (i, j) is MODULE_DARK, bit j
// of light[i] when it is MODULE_LIGHT. Bits at columns N and beyond are 0.
#ifndef QRIMAGE_SRC_MASK_PACKED_GRID_H
#define QRIMAGE_SRC_MASK_PACKED_GRID_H

#include <bit>
#include <cstdint>

#include "api/encode_state.h"

namespace qrimage {

constexpr int kRowWords = (GRID_STRIDE + 63) / 64;  // 3 words hold 177 bits

// One grid row as a bit set; bit j is bit j % 64 of word j / 64.
struct RowBits {
  std::uint64_t w[kRowWords];
};

struct PackedGrid {
  RowBits dark[GRID_STRIDE];
  RowBits light[GRID_STRIDE];
  // Every module of the N x N corner is dark or light. Candidates always
  // are; a grid holding other bytes (a second ScoreBlocks, or a test grid)
  // is scored by the plain byte-by-byte forms of the rules instead.
  bool twoValued;
};

// Packs the N x N corner of grid k of maskedCandidates.
void PackGrid(int k, int n, PackedGrid& packed);

// Bit set operations on rows. "Up" moves bits to higher columns.

inline RowBits operator&(const RowBits& a, const RowBits& b) {
  return {{a.w[0] & b.w[0], a.w[1] & b.w[1], a.w[2] & b.w[2]}};
}
inline RowBits operator|(const RowBits& a, const RowBits& b) {
  return {{a.w[0] | b.w[0], a.w[1] | b.w[1], a.w[2] | b.w[2]}};
}
inline RowBits operator^(const RowBits& a, const RowBits& b) {
  return {{a.w[0] ^ b.w[0], a.w[1] ^ b.w[1], a.w[2] ^ b.w[2]}};
}
inline RowBits operator~(const RowBits& a) {
  return {{~a.w[0], ~a.w[1], ~a.w[2]}};
}

// Bit j of the result is bit j - s of `a` (0 for j < s); 0 < s < 64.
inline RowBits ShiftUp(const RowBits& a, int s) {
  return {
      {a.w[0] << s, (a.w[1] << s) | (a.w[0] >> (64 - s)), (a.w[2] << s) | (a.w[1] >> (64 - s))}};
}
// Bit j of the result is bit j + s of `a`; 0 < s < 64.
inline RowBits ShiftDown(const RowBits& a, int s) {
  return {
      {(a.w[0] >> s) | (a.w[1] << (64 - s)), (a.w[1] >> s) | (a.w[2] << (64 - s)), a.w[2] >> s}};
}

// Set bits of one word. Spelled out because std::popcount becomes a
// library call when the target may lack the popcount instruction.
inline int PopCount64(std::uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((x * 0x0101010101010101ull) >> 56);
}
inline int PopCount(const RowBits& a) {
  return PopCount64(a.w[0]) + PopCount64(a.w[1]) + PopCount64(a.w[2]);
}
inline bool IsEmpty(const RowBits& a) {
  return (a.w[0] | a.w[1] | a.w[2]) == 0;
}
inline bool TestBit(const RowBits& a, int j) {
  return (a.w[j >> 6] >> (j & 63)) & 1;
}

// Lowest set bit, or -1 when there is none.
inline int FirstBit(const RowBits& a) {
  for (int i = 0; i < kRowWords; ++i) {
    if (a.w[i] != 0) {
      return 64 * i + std::countr_zero(a.w[i]);
    }
  }
  return -1;
}

// Bits j .. j + count - 1 set, all others clear; j + count <= 192.
inline RowBits BitRange(int j, int count) {
  RowBits r{};
  for (int i = 0; i < kRowWords; ++i) {
    const int lo = j - 64 * i;          // range start, relative to this word
    const int hi = j + count - 64 * i;  // range end (exclusive)
    const int from = lo < 0 ? 0 : lo;
    const int to = hi > 64 ? 64 : hi;
    if (from < to) {
      const std::uint64_t upTo = to == 64 ? ~0ull : (1ull << to) - 1;
      r.w[i] = upTo & ~((1ull << from) - 1);
    }
  }
  return r;
}

// Number of consecutive set bits from bit j upward.
inline int RunFrom(const RowBits& a, int j) {
  int i = j >> 6;
  // The shift brings zeros in at the top, so the count stops at the word end.
  int run = std::countr_one(a.w[i] >> (j & 63));
  while (run == 64 * (i + 1) - j && ++i < kRowWords) {
    run += std::countr_one(a.w[i]);
  }
  return run;
}

}  // namespace qrimage

#endif
