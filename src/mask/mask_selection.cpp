// Mask selection: try all eight masks, keep the cheapest, apply it.
#include <cstring>

#include "mask/mask.h"
#include "mask/penalty_rules_packed.h"

namespace qrimage {
namespace {

// The symbol under one mask: XOR with 0xFF inverts a module (0xFF - v is
// 0xFF ^ v for every byte), XOR with 0 keeps it. Template 0x00 means
// invert; 0xFF and the reserved 0x80 mean keep. Written without branches,
// so that the compiler does a row 16 or more modules at a time.
void ApplyTemplateRow(std::uint8_t* out, const std::uint8_t* modules, const std::uint8_t* templ,
                      int n) {
  for (int j = 0; j < n; ++j) {
    const std::uint8_t flip = templ[j] == MODULE_DARK ? 0xFF : 0x00;
    out[j] = modules[j] ^ flip;
  }
}

void BuildCandidates(const EncodeState& state, int n) {
  // All of it, whatever the version, so that outside the N x N corners
  // every grid reads 0x00 even after someone else wrote there; the corners
  // are then rewritten in full. One clear of the whole buffer costs less
  // than clearing around each corner row.
  std::memset(maskedCandidates, 0, sizeof maskedCandidates);
  for (int k = 0; k < kMaskCount; ++k) {
    for (int i = 0; i < n; ++i) {
      const int row = i * GRID_STRIDE;
      ApplyTemplateRow(&maskedCandidates[k][row], &state.matrix[row], &state.maskTemplates[k][row],
                       n);
    }
  }
}

// The four rules in their order, on candidate k derived from the packed
// symbol. They judge what the mask evaluation of ISO/IEC 18004 judges, but
// each counts in its own way, and deliberately so:
//   runs     N1 gives 3 for a run of 5 and 3 + (length - 5) for a longer
//            one; here a run adds only length - 5, and kRunPenaltyBase is
//            added once per candidate, whatever its runs;
//   finders  N3 gives 40 for each 1:1:3:1:1 pattern with four light
//            modules on either side; here a window counts after four light
//            modules or at an edge, and kFinderPatternPenalty is added once
//            when there is any beyond the finder patterns' own;
//   balance  N4 gives 10 for each whole 5 % step away from half dark; here
//            the step is taken to the nearest, so 46 % dark already costs
//            kBalancePenaltyPerStep;
//   blocks   N2 gives 3 for every 2 x 2 square of one colour; here uniform
//            areas are cut greedily into rectangles that stop short of the
//            last row and column, kBlockPenaltyPerSquare for each 2 x 2
//            square inside one, nothing for a square across their edges.
// Changing a rule or a weight changes which mask many texts get, and with
// it the bytes of their files: files written before would no longer be
// reproduced. Any mask decodes, so moving the rules towards the standard's
// would change the files and nothing else.
int ScoreCandidate(const PackedSymbol& symbol, int k, int n) {
  static PackedGrid packed;
  DeriveCandidate(symbol, k, n, packed);
  int score = ScoreRunsPacked(n, packed);
  if (CountExtraFinderPatternsPacked(n, packed) != 0) {
    score += kFinderPatternPenalty;
  }
  score += ScoreDarkBalancePacked(n, packed);
  score += ScoreBlocksPacked(k, n, packed);  // last: it marks the grid
  return score;
}

}  // namespace

void SelectAndApplyMask(EncodeState& state) {
  const int n = SymbolSize(state.version);
  BuildCandidates(state, n);

  static PackedSymbol symbol;
  PackSymbol(state, n, symbol);
  int scores[kMaskCount];
  for (int k = 0; k < kMaskCount; ++k) {
    scores[k] = ScoreCandidate(symbol, k, n);
  }
  int best = 0;
  for (int k = 1; k < kMaskCount; ++k) {
    if (scores[k] < scores[best]) {
      best = k;
    }
  }
  // From the template, not from grid `best`, which carries the block marks.
  ApplyMask(state, best);
}

void ApplyMask(EncodeState& state, int mask) {
  const int n = SymbolSize(state.version);
  state.maskIndex = static_cast<std::uint8_t>(mask);
  for (int i = 0; i < n; ++i) {
    const int row = i * GRID_STRIDE;
    ApplyTemplateRow(&state.matrix[row], &state.matrix[row], &state.maskTemplates[mask][row], n);
  }
}

}  // namespace qrimage
