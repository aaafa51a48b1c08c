// Mask selection: the eight masked candidates, their penalty rules, and
// the choice of the lowest-scoring mask.
#ifndef QRIMAGE_SRC_MASK_MASK_H
#define QRIMAGE_SRC_MASK_MASK_H

#include <cstdint>

#include "state/encode_state.h"

namespace qrimage {

// Fills maskedCandidates with one masked copy of the matrix per mask,
// scores them, stores the lowest-scoring mask (the lower number on a tie)
// in maskIndex and applies it to the matrix (ApplyMask).
void SelectAndApplyMask(EncodeState& state);

// Applies mask `mask` (0 to 7) to the matrix from its template and stores
// it in maskIndex. The templates must be built.
void ApplyMask(EncodeState& state, int mask);

// The weights of the penalty rules. How the rules differ from those of
// ISO/IEC 18004 is told where they are combined, in mask_selection.cpp.
constexpr int kRunPenaltyBase = 3;          // added once to every candidate's runs
constexpr int kFinderPatternPenalty = 40;   // once, for any window beyond the finders' own
constexpr int kBalancePenaltyPerStep = 10;  // per 5 % step away from half the modules dark
constexpr int kBlockPenaltyPerSquare = 3;   // per 2 x 2 square inside a counted block
// The finder-like windows the three finder patterns give in every candidate.
constexpr int kFinderPatternWindows = 18;

// The penalty rules in their plain form; each reads grid k of
// maskedCandidates, N modules a side. The mask search runs the packed forms
// of penalty_rules_packed.h, which give the same results; these are for the
// tests, and only their support library (qrimage_test_forms) holds them.

// Sum of (length - 5) over every row and column run longer than 5, plus
// kRunPenaltyBase.
int ScoreRuns(int k, int n);
// Finder-like 1:1:3:1:1 windows found in rows and columns, less
// kFinderPatternWindows.
int CountExtraFinderPatterns(int k, int n);
// kBalancePenaltyPerStep per 5 % step (to the nearest step) away from half
// the modules dark.
int ScoreDarkBalance(int k, int n);
// The same from the number of dark modules (with the packed forms).
int DarkBalanceFromCount(int dark, int n);
// Covers uniform areas greedily with rectangles and scores
// kBlockPenaltyPerSquare x (width - 1) x (height - 1) for each; marks
// counted modules MODULE_RESERVED in the grid.
int ScoreBlocks(int k, int n);
// Whether the height x width rectangle at (top, left) of grid k is all `colour`.
bool IsUniformRectangle(int top, int left, std::uint8_t colour, int height, int width, int k);

}  // namespace qrimage

#endif
