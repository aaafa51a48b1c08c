// Step 9: try all eight masks, keep the cheapest, apply it.
#include <cstring>

#include "mask/mask.h"

namespace qrimage {
namespace {

// Module of `matrix` under the template byte of one mask: inverted where
// the template is 0x00, kept where it is 0xFF or reserved.
inline std::uint8_t Masked(std::uint8_t module, std::uint8_t templateByte) {
  return templateByte == MODULE_DARK ? static_cast<std::uint8_t>(MODULE_LIGHT - module) : module;
}

void BuildCandidates(const EncodeState& state, int n) {
  std::memset(maskedCandidates, 0, sizeof maskedCandidates);
  for (int k = 0; k < kMaskCount; ++k) {
    const std::uint8_t* templ = state.maskTemplates[k].data();
    std::uint8_t* grid = maskedCandidates[k].data();
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        const int p = i * GRID_STRIDE + j;
        grid[p] = Masked(state.matrix[p], templ[p]);
      }
    }
  }
}

int ScoreCandidate(int k, int n) {
  int score = ScoreRuns(k, n);
  if (CountExtraFinderPatterns(k, n) != 0) {
    score += 40;
  }
  score += ScoreDarkBalance(k, n);
  score += ScoreBlocks(k, n);  // last: it marks the grid
  return score;
}

}  // namespace

void SelectAndApplyMask(EncodeState& state) {
  const int n = SymbolSize(state.version);
  BuildCandidates(state, n);

  int scores[kMaskCount];
  for (int k = 0; k < kMaskCount; ++k) {
    scores[k] = ScoreCandidate(k, n);
  }
  int best = 0;
  for (int k = 1; k < kMaskCount; ++k) {
    if (scores[k] < scores[best]) {
      best = k;
    }
  }
  state.maskIndex = static_cast<std::uint8_t>(best);

  const std::uint8_t* templ = state.maskTemplates[best].data();
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const int p = i * GRID_STRIDE + j;
      state.matrix[p] = Masked(state.matrix[p], templ[p]);
    }
  }
}

}  // namespace qrimage
