// A candidate grid with one bit per module, so that the penalty rules can
// test 64 modules with one word operation. Row i of the grid becomes two
// bit sets: bit j of dark[i] is set when module (i, j) is MODULE_DARK, bit j
// of light[i] when it is MODULE_LIGHT; a module holding any other byte (a
// block mark) is in neither. Bits at columns N and beyond are 0.
#ifndef QRIMAGE_SRC_MASK_PACKED_GRID_H
#define QRIMAGE_SRC_MASK_PACKED_GRID_H

#include <bit>
#include <cstddef>
#include <cstdint>

#include "state/encode_state.h"

namespace qrimage {

constexpr int kRowWords = (GRID_STRIDE + 63) / 64;  // 3 words hold 177 bits

// Part of a grid row as a bit set of W words; bit j is bit j % 64 of
// word j / 64. The rules work on as many words as the symbol needs (one up
// to version 11, N = 61), so small symbols cost little.
template <int W>
struct Bits {
  std::uint64_t w[W];
};
using RowBits = Bits<kRowWords>;  // a whole row, as stored

// Words needed for N modules.
constexpr int WordsFor(int n) {
  return (n + 63) / 64;
}

// The first W words of a stored row.
template <int W>
inline Bits<W> Head(const RowBits& row) {
  Bits<W> r;
  for (int i = 0; i < W; ++i) {
    r.w[i] = row.w[i];
  }
  return r;
}

struct PackedGrid {
  RowBits dark[GRID_STRIDE];
  RowBits light[GRID_STRIDE];
};

// Packs the N x N corner of `grid`, of which `room` bytes may be read,
// sixteen modules at a time where the target has SSE2.
void PackGridRows(const std::uint8_t* grid, std::size_t room, int n, PackedGrid& packed);

// The unmasked symbol packed once for all eight candidates: its modules,
// and the modules a mask may invert (all but the function, format and
// version modules).
struct PackedSymbol {
  PackedGrid modules;
  RowBits maskable[GRID_STRIDE];
};
// Packs the N x N corners of the matrix and of the reserved map (template
// 0) of `state`.
void PackSymbol(const EncodeState& state, int n, PackedSymbol& symbol);
// The candidate of `mask` from the packed symbol, by exclusive or with the
// mask's bit rows: the bit sets PackGrid gives for that candidate's grid.
void DeriveCandidate(const PackedSymbol& symbol, int mask, int n, PackedGrid& packed);

// Bit set operations.

template <int W>
inline Bits<W> operator&(const Bits<W>& a, const Bits<W>& b) {
  Bits<W> r;
  for (int i = 0; i < W; ++i) {
    r.w[i] = a.w[i] & b.w[i];
  }
  return r;
}
template <int W>
inline Bits<W> operator|(const Bits<W>& a, const Bits<W>& b) {
  Bits<W> r;
  for (int i = 0; i < W; ++i) {
    r.w[i] = a.w[i] | b.w[i];
  }
  return r;
}
template <int W>
inline Bits<W> operator^(const Bits<W>& a, const Bits<W>& b) {
  Bits<W> r;
  for (int i = 0; i < W; ++i) {
    r.w[i] = a.w[i] ^ b.w[i];
  }
  return r;
}
template <int W>
inline Bits<W> operator~(const Bits<W>& a) {
  Bits<W> r;
  for (int i = 0; i < W; ++i) {
    r.w[i] = ~a.w[i];
  }
  return r;
}

// Bit j of the result is bit j - s of `a` (0 for j < s): each column sees
// the module s columns before it. 0 < s < 64.
template <int W>
inline Bits<W> FromLowerColumns(const Bits<W>& a, int s) {
  Bits<W> r;
  r.w[0] = a.w[0] << s;
  for (int i = 1; i < W; ++i) {
    r.w[i] = (a.w[i] << s) | (a.w[i - 1] >> (64 - s));
  }
  return r;
}
// Bit j of the result is bit j + s of `a`: each column sees the module s
// columns after it. 0 < s < 64.
template <int W>
inline Bits<W> FromHigherColumns(const Bits<W>& a, int s) {
  Bits<W> r;
  for (int i = 0; i + 1 < W; ++i) {
    r.w[i] = (a.w[i] >> s) | (a.w[i + 1] << (64 - s));
  }
  r.w[W - 1] = a.w[W - 1] >> s;
  return r;
}

// Counting set bits. The popcount instruction is not part of the x86-64
// baseline, and std::popcount becomes a library call where it may be
// missing, so the rules that count come in two forms, by their counter.
//
// SpelledOutCount reduces each word to eight byte counts (at most 8 each),
// adds the words' byte counts, and sums the bytes with one multiplication
// (at most 3 x 8 per byte for the three words of a row).
struct SpelledOutCount {
  static std::uint64_t ByteCounts(std::uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    return (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  }
  template <int W>
  static int Of(const Bits<W>& a) {
    static_assert(W * 8 <= 255, "byte counts must not overflow");
    std::uint64_t bytes = 0;
    for (int i = 0; i < W; ++i) {
      bytes += ByteCounts(a.w[i]);
    }
    return static_cast<int>((bytes * 0x0101010101010101ull) >> 56);
  }
};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QRIMAGE_POPCNT 1
// The instruction, written out so that no compiler option is needed for
// it; run only where HasPopcnt() says the processor has it.
struct PopcntCount {
  template <int W>
  static int Of(const Bits<W>& a) {
    std::uint64_t count = 0;
    for (int i = 0; i < W; ++i) {
      std::uint64_t c;
      asm("popcntq %1, %0" : "=r"(c) : "r"(a.w[i]));
      count += c;
    }
    return static_cast<int>(count);
  }
};
// Whether this processor has the popcount instruction (asked once).
bool HasPopcnt();
#endif

template <int W>
inline bool IsEmpty(const Bits<W>& a) {
  std::uint64_t any = 0;
  for (int i = 0; i < W; ++i) {
    any |= a.w[i];
  }
  return any == 0;
}
template <int W>
inline bool TestBit(const Bits<W>& a, int j) {
  return (a.w[j >> 6] >> (j & 63)) & 1;
}

// Lowest set bit, or -1 when there is none.
template <int W>
inline int FirstBit(const Bits<W>& a) {
  for (int i = 0; i < W; ++i) {
    if (a.w[i] != 0) {
      return 64 * i + std::countr_zero(a.w[i]);
    }
  }
  return -1;
}

// Bits j .. j + count - 1 set, all others clear; j + count <= 64 W.
template <int W = kRowWords>
inline Bits<W> BitRange(int j, int count) {
  Bits<W> r{};
  for (int i = 0; i < W; ++i) {
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

// Bits c .. 63 of a word; all of them for c <= 0, none for c >= 64.
inline std::uint64_t FromBit(int c) {
  return c <= 0 ? ~0ull : c >= 64 ? 0 : ~0ull << c;
}

// Columns j .. j + 63 of a row as one word, bit 0 for column j.
inline std::uint64_t Window(const RowBits& row, int j) {
  const int q = j >> 6;
  const int b = j & 63;
  const std::uint64_t next = q + 1 < kRowWords ? row.w[q + 1] : 0;
  // (next << 1) << (63 - b) is next << (64 - b), also for b = 0.
  return (row.w[q] >> b) | ((next << 1) << (63 - b));
}

// Clears columns j .. j + count - 1 of a row; count < 64.
inline void ClearColumns(RowBits& row, int j, int count) {
  const std::uint64_t bits = (1ull << count) - 1;
  const int q = j >> 6;
  const int b = j & 63;
  row.w[q] &= ~(bits << b);
  if (q + 1 < kRowWords) {
    row.w[q + 1] &= ~((bits >> 1) >> (63 - b));
  }
}

// One way to pack a row: PackRow packs the first n modules of `row`, where
// `room` bytes may be read from `row` on. Bits from column n on may be
// set; the caller clears them.
struct ScalarPacking {
  static void PackRow(const std::uint8_t* row, int n, std::size_t, RowBits& dark, RowBits& light) {
    dark = RowBits{};
    light = RowBits{};
    for (int x = 0; x < n; ++x) {
      dark.w[x >> 6] |= std::uint64_t{row[x] == MODULE_DARK} << (x & 63);
      light.w[x >> 6] |= std::uint64_t{row[x] == MODULE_LIGHT} << (x & 63);
    }
  }
};

// Packs the N x N corner of `grid`, of which `room` bytes may be read.
template <typename Packing>
void PackRows(const std::uint8_t* grid, std::size_t room, int n, PackedGrid& packed) {
  const RowBits columns = BitRange(0, n);
  for (int i = 0; i < n; ++i) {
    Packing::PackRow(grid + i * GRID_STRIDE, n, room - i * GRID_STRIDE, packed.dark[i],
                     packed.light[i]);
    packed.dark[i] = packed.dark[i] & columns;
    packed.light[i] = packed.light[i] & columns;
  }
}

// Bytes that may be read from the start of candidate k: up to the end of
// the last one.
inline std::size_t CandidateRoom(int k) {
  return static_cast<std::size_t>(kMaskCount - k) * kGridBytes;
}

// Grid k of maskedCandidates packed, as PackGridRows does and one module
// at a time (what PackGridRows does on other targets). The mask search
// derives its candidates instead; these are for the tests, and being
// inline, they are compiled only where they are called.
inline void PackGrid(int k, int n, PackedGrid& packed) {
  PackGridRows(maskedCandidates[k].data(), CandidateRoom(k), n, packed);
}
inline void PackGridScalar(int k, int n, PackedGrid& packed) {
  PackRows<ScalarPacking>(maskedCandidates[k].data(), CandidateRoom(k), n, packed);
}

}  // namespace qrimage

#endif
