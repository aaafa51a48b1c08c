// The four penalty rules, module by module. These are the reference forms
// the tests hold the packed forms in penalty_rules_packed.cpp to: the mask
// search runs only those, and these are built into the tests' support
// library alone.
//
// Example patterns below write dark modules as D and light ones as L.
#include <algorithm>

#include "mask/mask.h"

namespace qrimage {
namespace {

// Row `line` (across) or column `line` (down) of grid k, module x of it at [x].
class Line {
 public:
  Line(int k, int line, bool down)
      : first_(maskedCandidates[k].data() + (down ? line : line * GRID_STRIDE)),
        step_(down ? GRID_STRIDE : 1) {}
  std::uint8_t operator[](int x) const { return first_[x * step_]; }

  // Whether the modules from x on read `pattern` (D dark, L light).
  bool Reads(int x, const char* pattern) const {
    for (; *pattern != '\0'; ++pattern, ++x) {
      if ((*this)[x] != (*pattern == 'D' ? MODULE_DARK : MODULE_LIGHT)) {
        return false;
      }
    }
    return true;
  }

 private:
  const std::uint8_t* first_;
  int step_;
};

// Calls f(line) for every row and every column of grid k.
template <typename F>
void ForEachLine(int k, int n, F f) {
  for (int i = 0; i < n; ++i) {
    f(Line(k, i, false));
    f(Line(k, i, true));
  }
}

}  // namespace

// Runs: each row and each column splits into maximal runs of equal
// modules, and a run longer than 5 modules adds its length less 5. The
// result is that sum plus 3, once per grid.
//   L D D D D D L   a run of 5: nothing
//   L D D D D D D D L   a run of 7: 2
int ScoreRuns(int k, int n) {
  int sum = kRunPenaltyBase;
  ForEachLine(k, n, [&](const Line& line) {
    int run = 1;
    for (int x = 1; x <= n; ++x) {
      if (x < n && line[x] == line[x - 1]) {
        ++run;
      } else {
        sum += std::max(run - 5, 0);
        run = 1;
      }
    }
  });
  return sum;
}

// Finder-like windows: seven modules of a row or column reading
// D L D D D L D. Each line is scanned from its start; a window at j is a hit
// when it starts at the line's start (j = 0), ends at its end (j = N - 7),
// or follows four light modules. The scan goes on at j + 7 after a hit and
// at j + 1 otherwise. The three finder patterns give 18 hits in every
// candidate, so the result is the number of hits minus 18.
//   L L L L D L D D D L D   a hit: four light modules before the window
//   L L D L D D D L D       no hit: the window starts at 2, after only two
int CountExtraFinderPatterns(int k, int n) {
  int hits = 0;
  ForEachLine(k, n, [&](const Line& line) {
    int j = 0;
    while (j <= n - 7) {
      const bool margin = j == 0 || j == n - 7 || (j >= 4 && line.Reads(j - 4, "LLLL"));
      if (margin && line.Reads(j, "DLDDDLD")) {
        ++hits;
        j += 7;
      } else {
        ++j;
      }
    }
  });
  return hits - kFinderPatternWindows;
}

// Dark balance: P is the percentage of dark modules, whole percents rounded
// down, and the result is 10 for each 5 % that P lies away from 50, taken
// to the nearest step.
//   P = 48 .. 52: 0;   P = 46 or 53: 10;   P = 41: 20
int ScoreDarkBalance(int k, int n) {
  int dark = 0;
  for (int i = 0; i < n; ++i) {
    const std::uint8_t* row = maskedCandidates[k].data() + i * GRID_STRIDE;
    dark += static_cast<int>(std::count(row, row + n, MODULE_DARK));
  }
  return DarkBalanceFromCount(dark, n);
}

// Blocks: uniform areas are covered greedily by rectangles, each scoring
// 3 x (width - 1) x (height - 1). Visiting the modules in row order, a
// module not yet in a block starts one when the largest uniform square at
// it has a side m of at least 2. The square is widened column by column as
// far as its m rows go; only when it cannot take one more column is it
// lengthened row by row instead. No block reaches the last row or column.
// Every module of a counted block is marked MODULE_RESERVED, which equals
// neither colour, so no module is counted twice.
// Inside a larger grid, each of these dark areas is one block scoring 6:
//   D D D L      D D L
//   D D D L      D D L      2 x 3 (widened) and 3 x 2 (lengthened)
//   L L L L      D D L
int ScoreBlocks(int k, int n) {
  int sum = 0;
  for (int i = 0; i + 2 < n; ++i) {  // no block starts in the last two rows
    for (int j = 0; j < n; ++j) {
      const std::uint8_t colour = maskedCandidates[k][i * GRID_STRIDE + j];
      if (colour == MODULE_RESERVED) {
        continue;
      }
      int s = 2;
      while (i + s < n && j + s < n && IsUniformRectangle(i, j, colour, s, s, k)) {
        ++s;
      }
      const int m = s - 1;
      if (m < 2) {
        continue;
      }
      int width = m;
      int height = m;
      if (j + m + 1 < n && IsUniformRectangle(i, j, colour, m, m + 1, k)) {
        width = m + 1;
        while (j + width + 1 < n && IsUniformRectangle(i, j, colour, m, width + 1, k)) {
          ++width;
        }
      } else {
        while (i + height + 1 < n && IsUniformRectangle(i, j, colour, height + 1, m, k)) {
          ++height;
        }
      }
      sum += kBlockPenaltyPerSquare * (width - 1) * (height - 1);
      for (int r = i; r < i + height; ++r) {
        std::fill_n(&maskedCandidates[k][r * GRID_STRIDE + j], width, MODULE_RESERVED);
      }
    }
  }
  return sum;
}

bool IsUniformRectangle(int top, int left, std::uint8_t colour, int height, int width, int k) {
  for (int r = top; r < top + height; ++r) {
    for (int c = left; c < left + width; ++c) {
      if (maskedCandidates[k][r * GRID_STRIDE + c] != colour) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace qrimage
