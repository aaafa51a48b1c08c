// The four penalty rules that score one masked candidate.
//
// Each rule works on the candidate packed into bit sets (see
// packed_grid.h): a row of up to 177 modules is three 64-bit words, and a
// word operation on the rows of two neighbouring grid rows compares 64
// columns at once. Grids that hold bytes other than dark and light (only
// tests make them) are scored by the plain byte-by-byte forms at the end
// of the anonymous namespace, which follow the rules' wording directly.
#include <algorithm>

#include "mask/mask.h"

namespace qrimage {
namespace {

PackedGrid scratch;  // for the rules called one at a time

// --- Runs -------------------------------------------------------------
//
// A run of L > 5 equal modules scores L - 5, which is the number of its
// modules that close a window of six equal modules. So the rule counts
// the modules x whose five neighbours before them all have their colour:
// with e(x) = "module x equals module x - 1", those where e(x) .. e(x - 4)
// all hold.

// Rows: e as a bit set of the row, then the five-fold overlap.
int RowRunPenalty(const RowBits& dark, const RowBits& columns) {
  // Equal neighbours have the same dark bit; column 0 has no left neighbour.
  const RowBits equal = ~(dark ^ ShiftUp(dark, 1)) & columns & ShiftUp(columns, 1);
  RowBits six = equal;
  for (int s = 1; s <= 4; ++s) {
    six = six & ShiftUp(equal, s);
  }
  return PopCount(six);
}

// --- Finder-like windows ------------------------------------------------
//
// Window start s: dark, light, dark, dark, dark, light, dark from s on.
RowBits WindowStarts(const RowBits& d, const RowBits& l) {
  return d & ShiftDown(l, 1) & ShiftDown(d, 2) & ShiftDown(d, 3) & ShiftDown(d, 4) &
         ShiftDown(l, 5) & ShiftDown(d, 6);
}

// Hits in one row. A counted window makes the scan go on 7 modules later,
// so a window that starts inside a counted one is passed over; a start is
// counted when it lies at or after the end of the last counted window.
int CountRowHits(RowBits starts) {
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

// --- Blocks -------------------------------------------------------------
//
// The greedy cover works on bit sets of the modules still free to join a
// block, one set per colour. Counting a block clears its modules there (and
// marks them in the byte grid). The last row and column are left out of the
// sets, so a square or a rectangle stops short of them without bound tests.
struct FreeModules {
  RowBits colour[2][GRID_STRIDE];  // [0] dark, [1] light
};
FreeModules freeModules;

// Columns j where the 2 x 2 square at (i, j) is free and of one colour.
RowBits SquareStarts(const RowBits* f, int i) {
  return f[i] & ShiftDown(f[i], 1) & f[i + 1] & ShiftDown(f[i + 1], 1);
}

// Counts the block whose top-left module is (i, j), a free module of
// colour set f that starts a uniform 2 x 2 square; returns its width and
// adds its score.
int CountBlock(std::uint8_t* grid, RowBits* f, int i, int j, int& sum) {
  // Largest square: side m + 1 fits when rows i .. i + m all have a run
  // of at least m + 1 free modules from column j.
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
  sum += 3 * (width - 1) * (height - 1);
  const RowBits taken = ~BitRange(j, width);
  for (int r = i; r < i + height; ++r) {
    f[r] = f[r] & taken;
    std::fill_n(grid + r * GRID_STRIDE + j, width, MODULE_RESERVED);
  }
  return width;
}

// --- Plain forms, for grids that are not all dark and light -----------

int PlainLineRuns(const std::uint8_t* line, int step, int n) {
  int sum = 0;
  int run = 1;
  for (int x = 1; x < n; ++x) {
    if (line[x * step] == line[(x - 1) * step]) {
      ++run;
    } else {
      sum += run > 5 ? run - 5 : 0;
      run = 1;
    }
  }
  return sum + (run > 5 ? run - 5 : 0);
}

int PlainScoreRuns(int k, int n) {
  const std::uint8_t* grid = maskedCandidates[k].data();
  int sum = 0;
  for (int i = 0; i < n; ++i) {
    sum += PlainLineRuns(grid + i * GRID_STRIDE, 1, n);
    sum += PlainLineRuns(grid + i, GRID_STRIDE, n);
  }
  return sum + 3;
}

int PlainScoreBlocks(int k, int n) {
  std::uint8_t* grid = maskedCandidates[k].data();
  int sum = 0;
  for (int i = 0; i + 2 < n; ++i) {  // no block starts in the last two rows
    for (int j = 0; j < n; ++j) {
      const std::uint8_t colour = grid[i * GRID_STRIDE + j];
      if (colour == MODULE_RESERVED) {
        continue;  // already inside a counted block
      }
      // Growing from side s - 1 to s only needs the new bottom row and
      // right column checked.
      int s = 2;
      while (i + s < n && j + s < n && IsUniformRectangle(i + s - 1, j, colour, 1, s, k) &&
             IsUniformRectangle(i, j + s - 1, colour, s - 1, 1, k)) {
        ++s;
      }
      const int side = s - 1;
      if (side < 2) {
        continue;
      }
      int height = side;
      int width = side;
      if (j + side + 1 < n && IsUniformRectangle(i, j + side, colour, side, 1, k)) {
        width = side + 1;
        while (j + width + 1 < n && IsUniformRectangle(i, j + width, colour, side, 1, k)) {
          ++width;
        }
      } else {
        while (i + height + 1 < n && IsUniformRectangle(i + height, j, colour, 1, side, k)) {
          ++height;
        }
      }
      sum += 3 * (width - 1) * (height - 1);
      for (int r = i; r < i + height; ++r) {
        std::fill_n(grid + r * GRID_STRIDE + j, width, MODULE_RESERVED);
      }
    }
  }
  return sum;
}

}  // namespace

int ScoreRunsPacked(int k, int n, const PackedGrid& packed) {
  if (!packed.twoValued) {
    return PlainScoreRuns(k, n);
  }
  const RowBits columns = BitRange(0, n);
  int sum = 0;
  for (int i = 0; i < n; ++i) {
    sum += RowRunPenalty(packed.dark[i], columns);
  }
  // Columns, 64 at a time: equal[i] has bit j set when (i, j) equals
  // (i - 1, j), and `six` the overlap of the last five of them.
  RowBits equal[5];
  for (int i = 1; i < n; ++i) {
    equal[i % 5] = ~(packed.dark[i] ^ packed.dark[i - 1]) & columns;
    if (i >= 5) {
      sum += PopCount(equal[0] & equal[1] & equal[2] & equal[3] & equal[4]);
    }
  }
  return sum + 3;
}

int CountExtraFinderPatternsPacked(int, int n, const PackedGrid& packed) {
  const RowBits* d = packed.dark;
  const RowBits* l = packed.light;
  RowBits edges{};  // a window at the first or the last position needs no margin
  edges.w[0] = 1;
  edges.w[(n - 7) >> 6] |= 1ull << ((n - 7) & 63);
  int hits = 0;
  for (int i = 0; i < n; ++i) {
    // Four light modules just before the start.
    const RowBits margin =
        ShiftUp(l[i], 1) & ShiftUp(l[i], 2) & ShiftUp(l[i], 3) & ShiftUp(l[i], 4);
    const RowBits starts = WindowStarts(d[i], l[i]) & (margin | edges);
    if (!IsEmpty(starts)) {
      hits += CountRowHits(starts);
    }
  }
  // Columns, 64 at a time. A hit at row i passes over rows i + 1 .. i + 6
  // of its column, so the starts of the last six rows' hits are kept.
  RowBits counted[7] = {};
  for (int i = 0; i + 7 <= n; ++i) {
    RowBits starts = d[i] & l[i + 1] & d[i + 2] & d[i + 3] & d[i + 4] & l[i + 5] & d[i + 6];
    if (i != 0 && i != n - 7) {
      starts = i >= 4 ? starts & l[i - 1] & l[i - 2] & l[i - 3] & l[i - 4] : RowBits{};
    }
    for (int back = 1; back <= 6; ++back) {
      starts = starts & ~counted[(i + 7 - back) % 7];
    }
    counted[i % 7] = starts;
    hits += PopCount(starts);
  }
  return hits - 18;
}

int ScoreDarkBalancePacked(int n, const PackedGrid& packed) {
  int dark = 0;
  for (int i = 0; i < n; ++i) {
    dark += PopCount(packed.dark[i]);
  }
  const int percent = 100 * dark / (n * n);
  const int deviation = percent > 50 ? percent - 50 : 50 - percent;
  return 10 * static_cast<int>(deviation / 5.0 + 0.5);
}

int ScoreBlocksPacked(int k, int n, const PackedGrid& packed) {
  if (!packed.twoValued) {
    return PlainScoreBlocks(k, n);
  }
  // Free modules: all of them but the last row and column.
  const RowBits inner = BitRange(0, n - 1);
  for (int i = 0; i < n - 1; ++i) {
    freeModules.colour[0][i] = packed.dark[i] & inner;
    freeModules.colour[1][i] = packed.light[i] & inner;
  }
  freeModules.colour[0][n - 1] = RowBits{};
  freeModules.colour[1][n - 1] = RowBits{};

  std::uint8_t* grid = maskedCandidates[k].data();
  int sum = 0;
  for (int i = 0; i + 2 < n; ++i) {
    RowBits* dark = freeModules.colour[0];
    RowBits* light = freeModules.colour[1];
    // Every start found here is taken in column order. A block counted at
    // column j covers columns j .. j + width - 1 only, so the starts to its
    // right stay valid, and those it covers are dropped.
    RowBits starts = SquareStarts(dark, i) | SquareStarts(light, i);
    for (int j = FirstBit(starts); j >= 0; j = FirstBit(starts)) {
      RowBits* f = TestBit(dark[i], j) ? dark : light;
      const int width = CountBlock(grid, f, i, j, sum);
      starts = starts & ~BitRange(j, width);
    }
  }
  return sum;
}

int ScoreRuns(int k, int n) {
  PackGrid(k, n, scratch);
  return ScoreRunsPacked(k, n, scratch);
}

int CountExtraFinderPatterns(int k, int n) {
  PackGrid(k, n, scratch);
  return CountExtraFinderPatternsPacked(k, n, scratch);
}

int ScoreDarkBalance(int k, int n) {
  PackGrid(k, n, scratch);
  return ScoreDarkBalancePacked(n, scratch);
}

int ScoreBlocks(int k, int n) {
  PackGrid(k, n, scratch);
  return ScoreBlocksPacked(k, n, scratch);
}

bool IsUniformRectangle(int top, int left, std::uint8_t colour, int height, int width, int k) {
  const std::uint8_t* grid = maskedCandidates[k].data();
  for (int r = top; r < top + height; ++r) {
    for (int c = left; c < left + width; ++c) {
      if (grid[r * GRID_STRIDE + c] != colour) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace qrimage
