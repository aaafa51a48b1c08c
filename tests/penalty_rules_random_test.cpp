// The packed penalty rules against the plain ones, on many random and
// structured grids of every symbol size, packed by both packing routines:
// the mask search scores candidates with word-wide bit tricks, and a
// single wrong bit would change scores only now and then.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "mask/mask.h"
#include "mask/penalty_rules_packed.h"
#include "state/encode_state.h"
#include "symbol/symbol.h"

namespace qrimage {
namespace {

// A grid as the rules see it: 177 x 177 bytes, row stride GRID_STRIDE.
using Grid = std::vector<std::uint8_t>;

// --- Grids ----------------------------------------------------------------

class Grids {
 public:
  explicit Grids(unsigned seed) : random_(seed) {}

  // Kind 0-2: random modules with 10, 50 and 85 % dark. 3: a checkerboard
  // under uniform rectangles of random size and colour. 4: rows and
  // columns built from finder-like windows, light margins and single
  // modules. 5: long stripes. 6: random with a few bytes that are neither
  // dark nor light. 7: random under uniform rectangles from one module to
  // whole rows wide (runs across the words of a row) and two modules wide
  // down to whole columns long. Outside the corner: junk the rules must
  // not read.
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
          case 7:
            m = Chance(percent[kind % 7]) ? MODULE_DARK : MODULE_LIGHT;
            break;
          case 5:
            m = ((i / (1 + n / 9)) + (j % 7 == 0)) % 2 ? MODULE_DARK : MODULE_LIGHT;
            break;
          default:
            m = (i + j) % 2 ? MODULE_DARK : MODULE_LIGHT;
        }
      }
    }
    if (kind == 3 || kind == 7) {
      for (int r = 0; r < n; ++r) {
        const bool wide = kind == 7 && r % 2 == 0;
        const int h = kind == 3 ? 1 + Below(10) : wide ? 1 + Below(4) : 1 + Below(n);
        const int w = kind == 3 ? 1 + Below(10) : wide ? 1 + Below(n) : 2;
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

PackedGrid packedSse2;  // by PackGrid, SSE2 where the target has it
PackedGrid packedScalar;

// Grid k packed by both routines, which must agree on the N x N corner.
void PackBoth(int k, int n) {
  PackGrid(k, n, packedSse2);
  PackGridScalar(k, n, packedScalar);
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(std::memcmp(&packedSse2.dark[i], &packedScalar.dark[i], sizeof(RowBits)), 0) << i;
    ASSERT_EQ(std::memcmp(&packedSse2.light[i], &packedScalar.light[i], sizeof(RowBits)), 0) << i;
  }
}

// The packed rules on grid `packedInto` against the plain ones on grid
// `plainOn`, the grid after it, all three loaded with the same grid; the
// baseline blocks rule marks the third. The runs rule is
// compared on grids of dark and light modules only, which is all it is
// made for.
void ExpectSameScores(int packedInto, int plainOn, int n, bool twoValued) {
  ASSERT_NO_FATAL_FAILURE(PackBoth(packedInto, n));
  // Scalar packing with the baseline forms, SSE2 packing with the fastest.
  const std::pair<const PackedGrid*, RuleForm> forms[] = {{&packedScalar, RuleForm::kBaseline},
                                                          {&packedSse2, RuleForm::kFastest}};
  for (const auto& [packed, form] : forms) {
    if (twoValued) {
      ASSERT_EQ(ScoreRunsPacked(n, *packed, form), ScoreRuns(plainOn, n));
    }
    ASSERT_EQ(CountExtraFinderPatternsPacked(n, *packed, form),
              CountExtraFinderPatterns(plainOn, n));
    ASSERT_EQ(ScoreDarkBalancePacked(n, *packed, form), ScoreDarkBalance(plainOn, n));
  }
  const int blocks = ScoreBlocks(plainOn, n);
  ASSERT_EQ(ScoreBlocksPacked(packedInto, n, packedSse2), blocks);
  ASSERT_EQ(ScoreBlocksPacked(plainOn + 1, n, packedScalar, RuleForm::kBaseline), blocks);
  // Same marks, and nothing written outside the corner.
  for (int marked : {packedInto, plainOn + 1}) {
    ASSERT_EQ(
        std::memcmp(maskedCandidates[marked].data(), maskedCandidates[plainOn].data(), kGridBytes),
        0)
        << marked;
  }
}

TEST(PenaltyRulesRandom, PackedMatchPlainOnEveryVersionSize) {
  Grids grids(20261208);
  for (int version = 1; version <= kMaxVersion; ++version) {
    const int n = SymbolSize(version);
    for (int kind = 0; kind < 8; ++kind) {
      for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(testing::Message() << "N " << n << " kind " << kind << " round " << round);
        // Grid k for the packed forms, the next one for the plain forms.
        const int k = (version + kind + round) % (kMaskCount - 2);
        const Grid g = grids.Make(kind, n);
        for (int copy = k; copy <= k + 2; ++copy) {
          Load(copy, g);
        }
        ASSERT_NO_FATAL_FAILURE(ExpectSameScores(k, k + 1, n, kind != 6));
        // Again on the marked grid: no block is found twice.
        ASSERT_NO_FATAL_FAILURE(ExpectSameScores(k, k + 1, n, false));
      }
    }
  }
  std::memset(maskedCandidates, 0, sizeof maskedCandidates);
}

// Candidates derived from the symbol packed once against the byte
// candidates packed one by one, on every version's reserved map with
// random modules.
TEST(PenaltyRulesRandom, DerivedCandidatesMatchPackedOnes) {
  std::mt19937 random(14);
  static PackedSymbol symbol;
  for (int version = 1; version <= kMaxVersion; ++version) {
    const int n = SymbolSize(version);
    encodeState.version = version;
    BuildMaskTemplates(encodeState);
    for (std::uint8_t& m : encodeState.matrix) {
      m = random() % 2 ? MODULE_DARK : MODULE_LIGHT;
    }
    PackSymbol(encodeState, n, symbol);
    for (int k = 0; k < kMaskCount; ++k) {
      for (int p = 0; p < kGridBytes; ++p) {
        const std::uint8_t v = encodeState.matrix[p];
        maskedCandidates[k][p] = encodeState.maskTemplates[k][p] == MODULE_DARK ? 0xFF - v : v;
      }
      DeriveCandidate(symbol, k, n, packedSse2);
      PackGridScalar(k, n, packedScalar);
      for (int i = 0; i < n; ++i) {
        ASSERT_EQ(std::memcmp(&packedSse2.dark[i], &packedScalar.dark[i], sizeof(RowBits)), 0)
            << version << " " << k << " " << i;
        ASSERT_EQ(std::memcmp(&packedSse2.light[i], &packedScalar.light[i], sizeof(RowBits)), 0)
            << version << " " << k << " " << i;
      }
    }
  }
  std::memset(maskedCandidates, 0, sizeof maskedCandidates);
}

}  // namespace
}  // namespace qrimage
