// The penalty rules on bit sets: a row of up to 177 modules is at most
// three 64-bit words (one up to N = 64), and a word operation on two grid
// rows compares 64 columns at once. One section per rule, in the order of
// penalty_rules.cpp.
#include "mask/penalty_rules_packed.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "mask/mask.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QRIMAGE_MARK_SSE2 1
#endif

namespace qrimage {
namespace {

// Runs rule(w, Count{}) with w an integral constant: the number of words
// N modules need.
template <typename Count, typename Rule>
int WithWords(int n, Rule rule) {
  switch (WordsFor(n)) {
    case 1:
      return rule(std::integral_constant<int, 1>{}, Count{});
    case 2:
      return rule(std::integral_constant<int, 2>{}, Count{});
    default:
      return rule(std::integral_constant<int, 3>{}, Count{});
  }
}

// Runs rule(w, count) with the bit counter of `form`.
template <typename Rule>
int ForWords(int n, RuleForm form, Rule rule) {
#if QRIMAGE_POPCNT
  if (form == RuleForm::kFastest && HasPopcnt()) {
    return WithWords<PopcntCount>(n, rule);
  }
#else
  (void)form;
#endif
  return WithWords<SpelledOutCount>(n, rule);
}

}  // namespace

// --- Runs -------------------------------------------------------------
//
// A run of L > 5 equal modules scores L - 5, which is the number of its
// modules that close a window of six equal modules. So the rule counts
// the modules x whose five neighbours before them all have their colour:
// with e(x) = "module x equals module x - 1", those where e(x) .. e(x - 4)
// all hold.

namespace {

// Rows: e as a bit set of the row, then the five-fold overlap.
template <int W, typename Count>
int RowRunPenalty(const Bits<W>& dark, const Bits<W>& columns) {
  // Equal neighbours have the same dark bit; column 0 has no left neighbour.
  const Bits<W> equal =
      ~(dark ^ FromLowerColumns(dark, 1)) & columns & FromLowerColumns(columns, 1);
  Bits<W> six = equal;
  for (int s = 1; s <= 4; ++s) {
    six = six & FromLowerColumns(equal, s);
  }
  return Count::Of(six);
}

template <int W, typename Count>
int Runs(const PackedGrid& packed, int n) {
  const Bits<W> columns = BitRange<W>(0, n);
  int sum = 0;
  for (int i = 0; i < n; ++i) {
    sum += RowRunPenalty<W, Count>(Head<W>(packed.dark[i]), columns);
  }
  // Columns, 64 at a time: equal[i] has bit j set when (i, j) equals
  // (i - 1, j), and the last five of them are kept.
  Bits<W> equal[5];
  for (int i = 1; i < n; ++i) {
    equal[i % 5] = ~(Head<W>(packed.dark[i]) ^ Head<W>(packed.dark[i - 1])) & columns;
    if (i >= 5) {
      sum += Count::Of(equal[0] & equal[1] & equal[2] & equal[3] & equal[4]);
    }
  }
  return sum + kRunPenaltyBase;
}

}  // namespace

int ScoreRunsPacked(int n, const PackedGrid& packed, RuleForm form) {
  return ForWords(n, form,
                  [&](auto w, auto count) { return Runs<w.value, decltype(count)>(packed, n); });
}

// --- Finder-like windows ------------------------------------------------

namespace {

// Window start s: dark, light, dark, dark, dark, light, dark from s on.
template <int W>
Bits<W> WindowStarts(const Bits<W>& d, const Bits<W>& l) {
  return d & FromHigherColumns(l, 1) & FromHigherColumns(d, 2) & FromHigherColumns(d, 3) &
         FromHigherColumns(d, 4) & FromHigherColumns(l, 5) & FromHigherColumns(d, 6);
}

// Hits in one row. A counted window makes the scan go on 7 modules later,
// so a window that starts inside a counted one is passed over; a start is
// counted when it lies at or after the end of the last counted window.
template <int W>
int CountRowHits(Bits<W> starts) {
  int hits = 0;
  int next = 0;
  for (int s = FirstBit(starts); s >= 0; s = FirstBit(starts)) {
    starts.w[s >> 6] &= ~(1ull << (s & 63));
    if (s >= next) {
      ++hits;
      next = s + 7;
    }
  }
  return hits;
}

template <int W, typename Count>
int FinderHits(const PackedGrid& packed, int n) {
  Bits<W> edges{};  // a window at the first or the last position needs no margin
  edges.w[0] = 1;
  edges.w[(n - 7) >> 6] |= 1ull << ((n - 7) & 63);
  int hits = 0;
  for (int i = 0; i < n; ++i) {
    const Bits<W> l = Head<W>(packed.light[i]);
    // Four light modules just before the start.
    const Bits<W> margin = FromLowerColumns(l, 1) & FromLowerColumns(l, 2) &
                           FromLowerColumns(l, 3) & FromLowerColumns(l, 4);
    const Bits<W> starts = WindowStarts(Head<W>(packed.dark[i]), l) & (margin | edges);
    if (!IsEmpty(starts)) {
      hits += CountRowHits(starts);
    }
  }
  // Columns, 64 at a time. A hit at row i passes over rows i + 1 .. i + 6
  // of its column, so the starts of the last six rows' hits are kept.
  auto d = [&](int i) { return Head<W>(packed.dark[i]); };
  auto l = [&](int i) { return Head<W>(packed.light[i]); };
  Bits<W> counted[7] = {};
  for (int i = 0; i + 7 <= n; ++i) {
    Bits<W> starts = d(i) & l(i + 1) & d(i + 2) & d(i + 3) & d(i + 4) & l(i + 5) & d(i + 6);
    if (i != 0 && i != n - 7) {
      starts = i >= 4 ? starts & l(i - 1) & l(i - 2) & l(i - 3) & l(i - 4) : Bits<W>{};
    }
    if (!IsEmpty(starts)) {
      for (int back = 1; back <= 6; ++back) {
        starts = starts & ~counted[(i + 7 - back) % 7];
      }
      hits += Count::Of(starts);
    }
    counted[i % 7] = starts;
  }
  return hits;
}

}  // namespace

int CountExtraFinderPatternsPacked(int n, const PackedGrid& packed, RuleForm form) {
  return ForWords(
             n, form,
             [&](auto w, auto count) { return FinderHits<w.value, decltype(count)>(packed, n); }) -
         kFinderPatternWindows;
}

// --- Dark balance ---------------------------------------------------------

int DarkBalanceFromCount(int dark, int n) {
  const int percent = 100 * dark / (n * n);
  const int deviation = percent > 50 ? percent - 50 : 50 - percent;
  return kBalancePenaltyPerStep * static_cast<int>(deviation / 5.0 + 0.5);
}

int ScoreDarkBalancePacked(int n, const PackedGrid& packed, RuleForm form) {
  const int dark = ForWords(n, form, [&](auto w, auto count) {
    int sum = 0;
    for (int i = 0; i < n; ++i) {
      sum += decltype(count)::Of(Head<w.value>(packed.dark[i]));
    }
    return sum;
  });
  return DarkBalanceFromCount(dark, n);
}

// --- Blocks -------------------------------------------------------------
//
// The greedy cover works on bit sets of the modules still free to join a
// block, one set per colour. Counting a block clears its modules there; at
// the end, the modules no longer free are marked in the byte grid. The last
// row and column are left out of the sets, so a square or a rectangle stops
// short of them without bound tests.
//
// A row at a time. Take row i and one colour, and call "pairs" the columns
// free in both rows i and i + 1. A block whose top-left module is (i, j)
// covers columns j .. j + w - 1 of rows i and i + 1, all free and of its
// colour: its top edge lies inside one run of consecutive pairs, and since
// it never covers a column outside its top edge, the block never leaves
// that run, in any row. Runs of one colour are apart, and a module is free
// in one colour at most, so the runs of both colours in row i are disjoint
// sets of columns. Whether a block fits, and what it covers, depends only
// on modules in its own columns, so the blocks of one run neither see nor
// change those of another: each run can be covered on its own, in any
// order, with the result of the column-by-column scan.
//
// Within a run of length L >= 2 starting at column a, the first block
// starts at a. If it has no 3 x 3 square (its largest square is 2 x 2):
//   - L >= 3: it widens over rows i and i + 1 as far as both go, which is
//     the whole run, and scores 3 (L - 1);
//   - L = 2: it lengthens down while both columns stay free, scoring 3 for
//     each row past row i.
// Either way that one block takes the whole run. Such runs are covered at
// once with word operations: adding the run's first bit to the pairs
// carries through the run and clears it, so pairs & ~(pairs + firsts) is
// every member of those runs, and 3 x (members less the firsts) is their
// score over rows i and i + 1; the runs of two then lengthen row by row,
// all together. Runs whose first block has a 3 x 3 or larger square are
// covered block by block.

namespace {

struct FreeModules {
  // [0] dark, [1] light; two spare rows below the last, always empty.
  RowBits colour[2][GRID_STRIDE + 2];
};
FreeModules freeModules;

// The block of colour set f whose top-left module is (i, j): the largest
// uniform square there, widened as far as its rows go, or else lengthened
// as far as its columns go. Returns its width and adds its score. Rows are
// compared as whole bit sets: square side m + 1 fits when rows i .. i + m
// all have a run of at least m + 1 free modules from column j.
int CountWideBlock(RowBits* f, int i, int j, int& sum) {
  int m = 1;
  int rowsRun = RunFrom(f[i], j);  // shortest run of rows i .. i + m - 1
  for (;;) {
    const int next = std::min(rowsRun, RunFrom(f[i + m], j));
    if (next < m + 1) {
      break;
    }
    rowsRun = next;
    ++m;
  }
  int width = m;
  int height = m;
  if (rowsRun > m) {
    width = rowsRun;  // widen as far as all m rows go; never lengthen then
  } else {
    const RowBits columns = BitRange(j, m);
    while (IsEmpty((f[i + height] & columns) ^ columns)) {
      ++height;
    }
  }
  sum += kBlockPenaltyPerSquare * (width - 1) * (height - 1);
  const RowBits taken = ~BitRange(j, width);
  for (int r = i; r < i + height; ++r) {
    f[r] = f[r] & taken;
  }
  return width;
}

// Nearly all blocks have a largest square of 2 x 2, and most are just that
// square or widened or lengthened by a little. Their shape comes from four
// row words without a branch (the outcome is random, so a branch would
// often be mispredicted); the rest go to CountWideBlock.
int CountBlock(RowBits* f, int i, int j, int& sum) {
  const std::uint64_t r0 = Window(f[i], j);
  const std::uint64_t r1 = Window(f[i + 1], j);
  const std::uint64_t r2 = Window(f[i + 2], j);
  const std::uint64_t r3 = Window(f[i + 3], j);
  const std::uint64_t rows = r0 & r1;
  const bool square3 = (rows & r2 & 7) == 7;
  const bool threeMore = ((r2 & r3 & Window(f[i + 4], j)) & 3) == 3;
  if (square3 | (rows == ~0ull) | threeMore) {
    return CountWideBlock(f, i, j, sum);
  }
  const int run = std::countr_one(rows);  // at least 2
  const bool widen = run > 2;
  // Lengthened by one or two rows (three or more went the other way).
  const bool down1 = !widen & ((r2 & 3) == 3);  // & rather than &&: no branch
  const bool down2 = down1 & ((r3 & 3) == 3);
  const int width = widen ? run : 2;
  const int height = 2 + down1 + down2;
  sum += kBlockPenaltyPerSquare * (width - 1) * (height - 1);
  ClearColumns(f[i], j, width);
  ClearColumns(f[i + 1], j, width);
  ClearColumns(f[i + 2], j, down1 ? 2 : 0);
  ClearColumns(f[i + 3], j, down2 ? 2 : 0);
  return width;
}

// a + b over W words, the carry going from each word into the next.
template <int W>
Bits<W> Add(const Bits<W>& a, const Bits<W>& b) {
  Bits<W> r;
  std::uint64_t carry = 0;
  for (int q = 0; q < W; ++q) {
    const std::uint64_t s = a.w[q] + b.w[q];
    r.w[q] = s + carry;
    carry = (s < a.w[q]) | (r.w[q] < s);
  }
  return r;
}

template <int W>
void Clear(RowBits& row, const Bits<W>& bits) {
  for (int q = 0; q < W; ++q) {
    row.w[q] &= ~bits.w[q];
  }
}

// Covers, in free set f (one colour), every run of pairs of row i whose
// first block has no 3 x 3 square, as explained above, and adds their
// scores. Returns the square starts (2 x 2 free at (i, j)) of the other
// runs, for the block-by-block path.
template <int W, typename Count>
Bits<W> CoverSimpleRuns(RowBits* f, int i, int& sum) {
  const Bits<W> pairs = Head<W>(f[i]) & Head<W>(f[i + 1]);
  const Bits<W> squares = pairs & FromHigherColumns(pairs, 1);
  const Bits<W> firsts = squares & ~FromLowerColumns(pairs, 1);  // of runs of 2 or more
  if (IsEmpty(firsts)) {
    return Bits<W>{};
  }
  const Bits<W> longer = firsts & FromHigherColumns(pairs, 2);  // runs of 3 or more
  const Bits<W> third = Head<W>(f[i + 2]);
  const Bits<W> square3 =
      longer & third & FromHigherColumns(third, 1) & FromHigherColumns(third, 2);
  const Bits<W> simple = firsts & ~square3;

  const Bits<W> members = pairs & ~Add(pairs, simple);
  sum += kBlockPenaltyPerSquare * Count::Of(members & ~simple);
  Clear(f[i], members);
  Clear(f[i + 1], members);
  // Runs of two: down while both columns are free (the empty rows below
  // the last stop it).
  Bits<W> down = simple & ~longer;
  for (int r = i + 2; !IsEmpty(down); ++r) {
    const Bits<W> row = Head<W>(f[r]);
    down = down & row & FromHigherColumns(row, 1);
    sum += kBlockPenaltyPerSquare * Count::Of(down);
    Clear(f[r], down | FromLowerColumns(down, 1));
  }
  if (IsEmpty(square3)) {
    return Bits<W>{};
  }
  return squares & ~Add(pairs, square3);
}

// Eight bytes, 0xFF for each set bit of `bits` (bit 0 for the first byte).
constexpr std::uint64_t SpreadBits(unsigned bits) {
  std::uint64_t bytes = 0;
  for (int b = 0; b < 8; ++b) {
    bytes |= ((bits >> b) & 1) ? 0xFFull << (8 * b) : 0;
  }
  return bytes;
}
struct SpreadTable {
  std::uint64_t bytes[256];
};
constexpr SpreadTable MakeSpreadTable() {
  SpreadTable t{};
  for (unsigned bits = 0; bits < 256; ++bits) {
    t.bytes[bits] = SpreadBits(bits);
  }
  return t;
}
constexpr SpreadTable kSpread = MakeSpreadTable();

// Writes MODULE_RESERVED into the modules of `row` whose bit is set in
// `marks` (columns below n - 1 only), eight at a time.
template <int W>
void MarkRowScalar(std::uint8_t* row, const Bits<W>& marks, int n) {
  for (int x = 0; x < n; x += 8) {
    const unsigned bits = (marks.w[x >> 6] >> (x & 63)) & 0xFF;
    if (bits == 0) {
      continue;
    }
    const std::uint64_t mask = kSpread.bytes[bits];
    if (x + 8 <= n) {
      std::uint64_t v;
      std::memcpy(&v, row + x, 8);
      v = (v & ~mask) | (0x8080808080808080ull & mask);
      std::memcpy(row + x, &v, 8);
    } else {
      for (int b = 0; x + b < n; ++b) {  // the row's last few modules
        if ((bits >> b) & 1) {
          row[x + b] = MODULE_RESERVED;
        }
      }
    }
  }
}

#if QRIMAGE_MARK_SSE2
// The same sixteen at a time: the sixteen bits spread to one byte each
// (0xFF where set) and the marks blended in. A piece may reach past the
// corner, never past column 175 of the row (pieces start at multiples of
// 16 below n - 1 <= 176), and writes back unchanged the bytes it does
// not mark.
template <int W>
void MarkRowSse2(std::uint8_t* row, const Bits<W>& marks, int n) {
  const __m128i bit = _mm_set_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
  const __m128i reserved = _mm_set1_epi8(static_cast<char>(MODULE_RESERVED));
  for (int x = 0; x < n - 1; x += 16) {
    const unsigned bits = (marks.w[x >> 6] >> (x & 63)) & 0xFFFF;
    if (bits == 0) {
      continue;
    }
    __m128i spread = _mm_cvtsi32_si128(static_cast<int>(bits));
    spread = _mm_unpacklo_epi8(spread, spread);  // low byte twice, high byte twice
    spread = _mm_unpacklo_epi16(spread, spread);
    spread = _mm_unpacklo_epi32(spread, spread);  // low byte 8 times, high byte 8 times
    const __m128i mask = _mm_cmpeq_epi8(_mm_and_si128(spread, bit), bit);
    auto* at = reinterpret_cast<__m128i*>(row + x);
    const __m128i v = _mm_loadu_si128(at);
    _mm_storeu_si128(at, _mm_or_si128(_mm_andnot_si128(mask, v), _mm_and_si128(mask, reserved)));
  }
}
#endif

template <int W>
void MarkRow(std::uint8_t* row, const Bits<W>& marks, int n, RuleForm form) {
#if QRIMAGE_MARK_SSE2
  if (form == RuleForm::kFastest) {
    MarkRowSse2(row, marks, n);
    return;
  }
#else
  (void)form;
#endif
  MarkRowScalar(row, marks, n);
}

template <int W, typename Count>
int Blocks(int k, int n, const PackedGrid& packed, RuleForm form) {
  // Free modules: all of them but the last row and column.
  const RowBits inner = BitRange(0, n - 1);
  for (int i = 0; i < n - 1; ++i) {
    freeModules.colour[0][i] = packed.dark[i] & inner;
    freeModules.colour[1][i] = packed.light[i] & inner;
  }
  for (int i = n - 1; i <= n + 1; ++i) {
    freeModules.colour[0][i] = RowBits{};
    freeModules.colour[1][i] = RowBits{};
  }

  int sum = 0;
  for (int i = 0; i + 2 < n; ++i) {
    const Bits<W> starts = CoverSimpleRuns<W, Count>(freeModules.colour[0], i, sum) |
                           CoverSimpleRuns<W, Count>(freeModules.colour[1], i, sum);
    if (IsEmpty(starts)) {
      continue;
    }
    // The other runs block by block, in column order. A block counted at
    // column j covers columns j .. j + width - 1 only, so the starts to its
    // right stay valid, and those it covers are passed over.
    const RowBits* dark = freeModules.colour[0];
    int covered = 0;  // columns before this one are in a block of this row
    for (int q = 0; q < W; ++q) {
      std::uint64_t bits = starts.w[q] & FromBit(covered - 64 * q);
      while (bits != 0) {
        const int j = 64 * q + std::countr_zero(bits);
        RowBits* f = freeModules.colour[1 - TestBit(dark[i], j)];  // 0 dark, 1 light
        covered = j + CountBlock(f, i, j, sum);
        bits &= FromBit(covered - 64 * q);
      }
    }
  }
  // The counted modules are those no longer free: mark them in the grid.
  std::uint8_t* grid = maskedCandidates[k].data();
  for (int i = 0; i < n - 1; ++i) {
    const Bits<W> counted = ((Head<W>(packed.dark[i]) & ~Head<W>(freeModules.colour[0][i])) |
                             (Head<W>(packed.light[i]) & ~Head<W>(freeModules.colour[1][i]))) &
                            Head<W>(inner);
    if (!IsEmpty(counted)) {
      MarkRow<W>(grid + i * GRID_STRIDE, counted, n, form);
    }
  }
  return sum;
}

}  // namespace

int ScoreBlocksPacked(int k, int n, const PackedGrid& packed, RuleForm form) {
  return ForWords(n, form, [&](auto w, auto count) {
    return Blocks<w.value, decltype(count)>(k, n, packed, form);
  });
}

}  // namespace qrimage
