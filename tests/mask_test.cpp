// Penalty rules on hand-made grids, and mask selection on real symbols.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/version_select.h"
#include "ecc/error_correction.h"
#include "ecc/galois.h"
#include "mask/mask.h"
#include "state/encode_state.h"
#include "symbol/symbol.h"
#include "test_util.h"

namespace qrimage {
namespace {

constexpr int kN = 21;
constexpr int kGrid = 2;  // the candidate slot the hand-made grids use

std::uint8_t& Cell(int r, int c) {
  return maskedCandidates[kGrid][r * GRID_STRIDE + c];
}

void Checkerboard() {
  for (int r = 0; r < kN; ++r) {
    for (int c = 0; c < kN; ++c) {
      Cell(r, c) = (r + c) % 2 == 0 ? MODULE_DARK : MODULE_LIGHT;
    }
  }
}

void FillRect(int top, int left, int height, int width, std::uint8_t value) {
  for (int r = top; r < top + height; ++r) {
    for (int c = left; c < left + width; ++c) {
      Cell(r, c) = value;
    }
  }
}

// Row 10 of the checkerboard replaced by `row`, D dark and L light.
void CheckerboardWithRow(const std::string& row) {
  ASSERT_EQ(row.size(), static_cast<size_t>(kN));
  Checkerboard();
  for (int c = 0; c < kN; ++c) {
    Cell(10, c) = row[c] == 'D' ? MODULE_DARK : MODULE_LIGHT;
  }
}

TEST(PenaltyRules, UniformGrids) {
  for (std::uint8_t colour : {MODULE_LIGHT, MODULE_DARK}) {
    FillRect(0, 0, kN, kN, colour);
    EXPECT_EQ(ScoreRuns(kGrid, kN), 675);
    EXPECT_EQ(ScoreDarkBalance(kGrid, kN), 100);
    EXPECT_EQ(CountExtraFinderPatterns(kGrid, kN), -18);
    EXPECT_EQ(ScoreBlocks(kGrid, kN), 1083);
    // One 20 x 20 block; the last row and column stay unmarked.
    EXPECT_EQ(Cell(19, 19), MODULE_RESERVED);
    EXPECT_EQ(Cell(20, 5), colour);
    EXPECT_EQ(Cell(5, 20), colour);
  }
}

TEST(PenaltyRules, Runs) {
  Checkerboard();
  EXPECT_EQ(ScoreRuns(kGrid, kN), 3);
  EXPECT_EQ(ScoreBlocks(kGrid, kN), 0);
  Checkerboard();
  EXPECT_EQ(CountExtraFinderPatterns(kGrid, kN), -18);
  FillRect(10, 4, 1, 5, MODULE_DARK);
  EXPECT_EQ(ScoreRuns(kGrid, kN), 3);  // a run of exactly 5 costs nothing
  FillRect(10, 4, 1, 7, MODULE_DARK);
  EXPECT_EQ(ScoreRuns(kGrid, kN), 5);
  Checkerboard();
  FillRect(3, 9, 8, 1, MODULE_LIGHT);  // a column run: 8 light, with row 2 light too
  EXPECT_EQ(ScoreRuns(kGrid, kN), 3 + 9 - 5);
}

TEST(PenaltyRules, DarkBalanceSteps) {
  const int cases[][2] = {{212, 0}, {207, 10},  {199, 10}, {185, 20},
                          {0, 100}, {441, 100}, {230, 0},  {238, 10}};
  for (const auto& c : cases) {
    FillRect(0, 0, kN, kN, MODULE_LIGHT);
    for (int i = 0; i < c[0]; ++i) {
      Cell(i / kN, i % kN) = MODULE_DARK;
    }
    EXPECT_EQ(ScoreDarkBalance(kGrid, kN), c[1]) << c[0] << " dark";
  }
}

TEST(PenaltyRules, BlocksAreGreedyRectangles) {
  struct Case {
    int top, left, height, width, score;
  };
  const Case cases[] = {
      {5, 5, 2, 2, 3},  {5, 5, 3, 3, 12}, {5, 5, 4, 4, 27},  {4, 4, 5, 5, 48},
      {5, 5, 3, 5, 24}, {5, 5, 5, 3, 24}, {5, 5, 2, 4, 9},   {19, 5, 2, 2, 0},
      {5, 19, 2, 2, 0}, {18, 5, 3, 3, 6}, {4, 14, 3, 6, 30}, {4, 16, 3, 5, 18},
  };
  for (const Case& c : cases) {
    Checkerboard();
    FillRect(c.top, c.left, c.height, c.width, MODULE_DARK);
    EXPECT_EQ(ScoreBlocks(kGrid, kN), c.score)
        << c.height << "x" << c.width << " at " << c.top << "," << c.left;
  }
  // An L: a 2 x 4 block first, then a separate 2 x 2 one below it.
  Checkerboard();
  FillRect(4, 4, 2, 4, MODULE_DARK);
  FillRect(6, 4, 2, 2, MODULE_DARK);
  EXPECT_EQ(ScoreBlocks(kGrid, kN), 12);
  // Light blocks count the same way.
  Checkerboard();
  FillRect(4, 16, 3, 5, MODULE_LIGHT);
  EXPECT_EQ(ScoreBlocks(kGrid, kN), 18);
  EXPECT_EQ(Cell(4, 19), MODULE_RESERVED);
  EXPECT_EQ(Cell(4, 20), MODULE_LIGHT);
}

TEST(PenaltyRules, UniformRectangle) {
  Checkerboard();
  FillRect(2, 3, 4, 5, MODULE_LIGHT);
  EXPECT_TRUE(IsUniformRectangle(2, 3, MODULE_LIGHT, 4, 5, kGrid));
  EXPECT_FALSE(IsUniformRectangle(2, 3, MODULE_LIGHT, 4, 6, kGrid));
  EXPECT_FALSE(IsUniformRectangle(2, 3, MODULE_DARK, 1, 1, kGrid));
  EXPECT_TRUE(IsUniformRectangle(2, 3, MODULE_DARK, 0, 5, kGrid));
  EXPECT_TRUE(IsUniformRectangle(2, 3, MODULE_DARK, 5, 0, kGrid));
}

TEST(PenaltyRules, FinderLikeWindows) {
  struct Case {
    const char* row;
    int hits;
  };
  const Case cases[] = {
      {"DLDDDLDLDLDLDLDLDLDLD", 1},  // at the left edge
      {"DLDLDLDLDLDLDLDLDDDLD", 1},  // at the right edge
      {"DLLLLLDLDDDLDLDLDLDLD", 1},  // after four light modules
      {"LLDLDDDLDLDLDLDLDLDLD", 0},  // column 2: no margin test
      {"DLLDLLDLDDDLDLLLLDLDL", 0},  // light modules after a window do not count
      {"DLDLDLDLDLDLDDDLDLLLL", 0}, {"DLDDDLDLDDDLDLDLDLDLD", 1},  // two windows sharing column 6
      {"DLLLLDLDDDLDDLDDDLDLL", 1},  // the second window has no light margin
  };
  for (const Case& c : cases) {
    CheckerboardWithRow(c.row);
    EXPECT_EQ(CountExtraFinderPatterns(kGrid, kN) + 18, c.hits) << c.row;
  }
}

// Runs the pipeline up to the unmasked symbol for `text` at `level`.
void UnmaskedSymbol(const std::string& text, char level) {
  qrtest::CallQRImageOnce();
  std::memcpy(textBuffer, text.c_str(), text.size() + 1);
  ASSERT_EQ(SelectVersion(static_cast<std::uint8_t>(level), encodeState), 0);
  BuildDataCodewords(encodeState);
  ASSERT_EQ(ComputeErrorCorrection(encodeState), 0);
  InterleaveCodewords(encodeState);
  BuildMaskTemplates(encodeState);
  PlaceModules(encodeState);
}

struct RuleScores {
  int runs, finders, balance, blocks, total;
  bool operator==(const RuleScores&) const = default;
};

std::ostream& operator<<(std::ostream& out, const RuleScores& s) {
  return out << s.runs << " " << s.finders << " " << s.balance << " " << s.blocks << " = "
             << s.total;
}

// Each rule's result on every candidate of the current unmasked symbol,
// with the candidates built here by plain inversion under the templates.
std::vector<RuleScores> ScoreAllMasks() {
  const int n = SymbolSize(encodeState.version);
  std::vector<RuleScores> scores;
  for (int k = 0; k < 8; ++k) {
    for (int r = 0; r < n; ++r) {
      for (int c = 0; c < n; ++c) {
        const int p = r * GRID_STRIDE + c;
        const std::uint8_t v = encodeState.matrix[p];
        maskedCandidates[k][p] = encodeState.maskTemplates[k][p] == 0 ? 0xFF - v : v;
      }
    }
    RuleScores s{ScoreRuns(k, n), CountExtraFinderPatterns(k, n), ScoreDarkBalance(k, n),
                 ScoreBlocks(k, n), 0};
    s.total = s.runs + (s.finders != 0 ? 40 : 0) + s.balance + s.blocks;
    scores.push_back(s);
  }
  return scores;
}

TEST(MaskSelection, HelloWorldAtLevelM) {
  UnmaskedSymbol("HELLO WORLD", 'M');
  ASSERT_EQ(encodeState.version, 1);
  const std::vector<RuleScores> expected = {
      {71, 1, 0, 153, 264}, {83, 1, 0, 174, 297}, {66, 1, 10, 159, 275}, {70, 0, 10, 153, 233},
      {74, 0, 0, 156, 230}, {72, 1, 0, 156, 268}, {80, 1, 0, 186, 306},  {76, 1, 10, 129, 255}};
  EXPECT_EQ(ScoreAllMasks(), expected);
  SelectAndApplyMask(encodeState);
  EXPECT_EQ(encodeState.maskIndex, 4);
}

TEST(MaskSelection, SixtyCapitalAAtLevelH) {
  UnmaskedSymbol(std::string(60, 'A'), 'H');
  ASSERT_EQ(encodeState.version, 7);
  const std::vector<RuleScores> scores = ScoreAllMasks();
  const int totals[8] = {865, 947, 1248, 821, 1149, 994, 1039, 908};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(scores[k].total, totals[k]) << k;
  }
  EXPECT_EQ(scores[3], (RuleScores{162, 1, 10, 609, 821}));
  SelectAndApplyMask(encodeState);
  EXPECT_EQ(encodeState.maskIndex, 3);
}

TEST(MaskSelection, AppliesTheChosenMaskAndKeepsReservedModules) {
  UnmaskedSymbol(std::string(500, '\x9D'), 'Q');
  const int n = SymbolSize(encodeState.version);
  const ModuleGrid before = encodeState.matrix;
  encodeState.matrix[n] = 0x5A;  // outside the corner: must not change
  maskedCandidates[7][GRID_STRIDE * 176 + 176] = 0x33;
  SelectAndApplyMask(encodeState);
  const int mask = encodeState.maskIndex;
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      const int p = r * GRID_STRIDE + c;
      const std::uint8_t t = encodeState.maskTemplates[mask][p];
      ASSERT_EQ(encodeState.matrix[p], t == MODULE_DARK ? 0xFF - before[p] : before[p]);
      if (t == MODULE_RESERVED) {
        for (int k = 0; k < 8; ++k) {
          ASSERT_TRUE(maskedCandidates[k][p] == before[p] || maskedCandidates[k][p] == 0x80);
        }
      }
    }
  }
  EXPECT_EQ(encodeState.matrix[n], 0x5A);
  EXPECT_EQ(maskedCandidates[7][GRID_STRIDE * 176 + 176], 0);
}

}  // namespace
}  // namespace qrimage
