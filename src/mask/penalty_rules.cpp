// The four penalty rules that score one masked candidate.
#include "mask/mask.h"

namespace qrimage {
namespace {

const std::uint8_t* Grid(int k) {
  return maskedCandidates[k].data();
}

// Run score of one row or column: `step` is 1 along a row, GRID_STRIDE
// down a column.
int ScoreLineRuns(const std::uint8_t* line, int step, int n) {
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

// Dark, light, dark, dark, dark, light, dark.
bool IsFinderWindow(const std::uint8_t* m, int step) {
  return m[0] == MODULE_DARK && m[step] == MODULE_LIGHT && m[2 * step] == MODULE_DARK &&
         m[3 * step] == MODULE_DARK && m[4 * step] == MODULE_DARK && m[5 * step] == MODULE_LIGHT &&
         m[6 * step] == MODULE_DARK;
}

// Windows that start at the first module, end at the last, or follow four
// light modules. A counted window's modules never start another.
int CountLineWindows(const std::uint8_t* line, int step, int n) {
  int hits = 0;
  int x = 0;
  while (x <= n - 7) {
    const std::uint8_t* m = line + x * step;
    const bool margin = x == 0 || x == n - 7 ||
                        (x >= 4 && m[-4 * step] == MODULE_LIGHT && m[-3 * step] == MODULE_LIGHT &&
                         m[-2 * step] == MODULE_LIGHT && m[-step] == MODULE_LIGHT);
    if (margin && IsFinderWindow(m, step)) {
      ++hits;
      x += 7;
    } else {
      ++x;
    }
  }
  return hits;
}

}  // namespace

int ScoreRuns(int k, int n) {
  const std::uint8_t* grid = Grid(k);
  int sum = 0;
  for (int i = 0; i < n; ++i) {
    sum += ScoreLineRuns(grid + i * GRID_STRIDE, 1, n);
  }
  for (int j = 0; j < n; ++j) {
    sum += ScoreLineRuns(grid + j, GRID_STRIDE, n);
  }
  return sum + 3;
}

int CountExtraFinderPatterns(int k, int n) {
  const std::uint8_t* grid = Grid(k);
  int hits = 0;
  for (int i = 0; i < n; ++i) {
    hits += CountLineWindows(grid + i * GRID_STRIDE, 1, n);
  }
  for (int j = 0; j < n; ++j) {
    hits += CountLineWindows(grid + j, GRID_STRIDE, n);
  }
  return hits - 18;
}

int ScoreDarkBalance(int k, int n) {
  const std::uint8_t* grid = Grid(k);
  int dark = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      dark += grid[i * GRID_STRIDE + j] == MODULE_DARK;
    }
  }
  const int percent = 100 * dark / (n * n);
  const int deviation = percent > 50 ? percent - 50 : 50 - percent;
  return 10 * static_cast<int>(deviation / 5.0 + 0.5);
}

bool IsUniformRectangle(int top, int left, std::uint8_t colour, int height, int width, int k) {
  const std::uint8_t* grid = Grid(k);
  for (int r = top; r < top + height; ++r) {
    for (int c = left; c < left + width; ++c) {
      if (grid[r * GRID_STRIDE + c] != colour) {
        return false;
      }
    }
  }
  return true;
}

int ScoreBlocks(int k, int n) {
  std::uint8_t* grid = maskedCandidates[k].data();
  int sum = 0;
  for (int i = 0; i + 2 < n; ++i) {  // no block starts in the last two rows
    for (int j = 0; j < n; ++j) {
      const std::uint8_t colour = grid[i * GRID_STRIDE + j];
      if (colour == MODULE_RESERVED) {
        continue;  // already inside a counted block
      }
      // Largest uniform square that stops short of the last row and column.
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
        // Widen as far as the rows allow; a widened block is never lengthened.
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
        for (int c = j; c < j + width; ++c) {
          grid[r * GRID_STRIDE + c] = MODULE_RESERVED;
        }
      }
    }
  }
  return sum;
}

}  // namespace qrimage
