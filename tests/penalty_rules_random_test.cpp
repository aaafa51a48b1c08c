// The penalty rules against plain forms of them written here from their
// wording, module by module, on many random and structured grids of every
// symbol size: the library scores candidates with word-wide bit tricks,
// and a single wrong bit would change scores only now and then.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "api/encode_state.h"
#include "mask/mask.h"

namespace qrimage {
namespace {

// A grid as the rules see it: 177 x 177 bytes, row stride GRID_STRIDE.
using Grid = std::vector<std::uint8_t>;

// --- Plain forms of the rules -------------------------------------------

int PlainRuns(const Grid& g, int n) {
  int sum = 0;
  for (int line = 0; line < n; ++line) {
    for (int across = 0; across < 2; ++across) {
      auto at = [&](int x) {
        return across ? g[x * GRID_STRIDE + line] : g[line * GRID_STRIDE + x];
      };
      int x = 0;
      while (x < n) {
        int end = x;
        while (end + 1 < n && at(end + 1) == at(x)) {
          ++end;
        }
        const int length = end - x + 1;
        sum += length > 5 ? length - 5 : 0;
        x = end + 1;
      }
    }
  }
  return sum + 3;
}

int PlainFinderHits(const Grid& g, int n) {
  static const char kWindow[] = "DLDDDLD";
  int hits = 0;
  for (int line = 0; line < n; ++line) {
    for (int across = 0; across < 2; ++across) {
      auto at = [&](int x) {
        return across ? g[x * GRID_STRIDE + line] : g[line * GRID_STRIDE + x];
      };
      auto is = [&](int x, char c) { return at(x) == (c == 'D' ? MODULE_DARK : MODULE_LIGHT); };
      int j = 0;
      while (j <= n - 7) {
        bool window = true;
        for (int t = 0; t < 7; ++t) {
          window = window && is(j + t, kWindow[t]);
        }
        bool margin = j == 0 || j == n - 7;
        if (j >= 4) {
          margin = margin || (is(j - 4, 'L') && is(j - 3, 'L') && is(j - 2, 'L') && is(j - 1, 'L'));
        }
        if (window && margin) {
          ++hits;
          j += 7;
        } else {
          ++j;
        }
      }
    }
  }
  return hits - 18;
}

int PlainDarkBalance(const Grid& g, int n) {
  int dark = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      dark += g[i * GRID_STRIDE + j] == MODULE_DARK;
    }
  }
  const int percent = 100 * dark / (n * n);
  const int d = percent > 50 ? percent - 50 : 50 - percent;
  return 10 * static_cast<int>(d / 5.0 + 0.5);
}

bool Uniform(const Grid& g, int top, int left, int height, int width, std::uint8_t colour) {
  for (int r = top; r < top + height; ++r) {
    for (int c = left; c < left + width; ++c) {
      if (g[r * GRID_STRIDE + c] != colour) {
        return false;
      }
    }
  }
  return true;
}

// Marks `g` as the rule marks the candidate.
int PlainBlocks(Grid& g, int n) {
  int sum = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const std::uint8_t colour = g[i * GRID_STRIDE + j];
      if (colour == MODULE_RESERVED || i + 2 >= n) {
        continue;
      }
      int s = 2;
      while (i + s < n && j + s < n && Uniform(g, i, j, s, s, colour)) {
        ++s;
      }
      const int m = s - 1;
      if (m < 2) {
        continue;
      }
      int width = m;
      int height = m;
      if (j + m + 1 < n && Uniform(g, i, j, m, m + 1, colour)) {
        width = m + 1;
        while (j + width + 1 < n && Uniform(g, i, j, m, width + 1, colour)) {
          ++width;
        }
      } else {
        while (i + height + 1 < n && Uniform(g, i, j, height + 1, m, colour)) {
          ++height;
        }
      }
      sum += 3 * (width - 1) * (height - 1);
      for (int r = i; r < i + height; ++r) {
        for (int c = j; c < j + width; ++c) {
          g[r * GRID_STRIDE + c] = MODULE_RESERVED;
        }
      }
    }
  }
  return sum;
}

// --- Grids ----------------------------------------------------------------

class Grids {
 public:
  explicit Grids(unsigned seed) : random_(seed) {}

  // Kind 0-2: random modules with 10, 50 and 85 % dark. 3: a checkerboard
  // under uniform rectangles of random size and colour. 4: rows and
  // columns built from finder-like windows, light margins and single
  // modules. 5: long stripes. 6: random with a few bytes that are neither
  // dark nor light. Outside the corner: junk the rules must not read.
  Grid Make(int kind, int n) {
    Grid g(kGridBytes);
    for (std::uint8_t& b : g) {
      b = static_cast<std::uint8_t>(random_());
    }
    const int percent[] = {10, 50, 85};
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        std::uint8_t& m = g[i * GRID_STRIDE + j];
        switch (kind) {
          case 0:
          case 1:
          case 2:
            m = Chance(percent[kind]) ? MODULE_DARK : MODULE_LIGHT;
            break;
          case 5:
            m = ((i / (1 + n / 9)) + (j % 7 == 0)) % 2 ? MODULE_DARK : MODULE_LIGHT;
            break;
          default:
            m = (i + j) % 2 ? MODULE_DARK : MODULE_LIGHT;
        }
      }
    }
    if (kind == 3) {
      for (int r = 0; r < n; ++r) {
        const int h = 1 + Below(10), w = 1 + Below(10);
        const int top = Below(n - h + 1), left = Below(n - w + 1);
        const std::uint8_t colour = Chance(50) ? MODULE_DARK : MODULE_LIGHT;
        for (int i = top; i < top + h; ++i) {
          std::memset(&g[i * GRID_STRIDE + left], colour, w);
        }
      }
    }
    if (kind == 4) {
      for (int i = 0; i < n; ++i) {
        WindowLine(g, n, i, Chance(50));
      }
    }
    if (kind == 6) {
      for (int t = 0; t < 1 + n / 10; ++t) {
        g[Below(n) * GRID_STRIDE + Below(n)] = Chance(50) ? MODULE_RESERVED : 0x37;
      }
    }
    return g;
  }

 private:
  bool Chance(int percent) { return static_cast<int>(random_() % 100) < percent; }
  int Below(int limit) { return static_cast<int>(random_() % limit); }

  // Fills row or column `line` with pieces that make and break windows.
  // Half the lines end in two overlapping windows, the second at the edge,
  // where the first one's hit decides whether the second is looked at.
  void WindowLine(Grid& g, int n, int line, bool column) {
    static const char* kPieces[] = {"DLDDDLD", "LLLL", "D", "L", "LLLLDLDDDLD", "DLD"};
    static const char* kTails[] = {"LLLLDLDDDLDLDDDLD", "LLLLDLDDDLDDDLD", "LDLDDDLDLDDDLD"};
    auto put = [&](int x, char c) {
      g[column ? x * GRID_STRIDE + line : line * GRID_STRIDE + x] =
          c == 'D' ? MODULE_DARK : MODULE_LIGHT;
    };
    int x = 0;
    while (x < n) {
      for (const char* p = kPieces[Below(6)]; *p != '\0' && x < n; ++p, ++x) {
        put(x, *p);
      }
    }
    if (Chance(50)) {
      const std::string tail = kTails[Below(3)];
      for (std::size_t t = 0; t < tail.size(); ++t) {
        put(n - static_cast<int>(tail.size()) + static_cast<int>(t), tail[t]);
      }
    }
  }

  std::mt19937 random_;
};

void Load(int k, const Grid& g) {
  std::memcpy(maskedCandidates[k].data(), g.data(), kGridBytes);
}

TEST(PenaltyRulesRandom, MatchPlainFormsOnEveryVersionSize) {
  Grids grids(20261208);
  for (int version = 1; version <= kMaxVersion; ++version) {
    const int n = SymbolSize(version);
    for (int kind = 0; kind < 7; ++kind) {
      for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(testing::Message() << "N " << n << " kind " << kind << " round " << round);
        const int k = (version + kind + round) % kMaskCount;
        Grid g = grids.Make(kind, n);
        Load(k, g);
        ASSERT_EQ(ScoreRuns(k, n), PlainRuns(g, n));
        ASSERT_EQ(CountExtraFinderPatterns(k, n), PlainFinderHits(g, n));
        ASSERT_EQ(ScoreDarkBalance(k, n), PlainDarkBalance(g, n));
        ASSERT_EQ(ScoreBlocks(k, n), PlainBlocks(g, n));
        // Same marks, and nothing written outside the corner.
        ASSERT_EQ(std::memcmp(maskedCandidates[k].data(), g.data(), kGridBytes), 0);
        // A second run sees the marks: no block is found twice.
        ASSERT_EQ(ScoreBlocks(k, n), PlainBlocks(g, n));
        ASSERT_EQ(ScoreRuns(k, n), PlainRuns(g, n));
      }
    }
  }
  std::memset(maskedCandidates, 0, sizeof maskedCandidates);
}

}  // namespace
}  // namespace qrimage
