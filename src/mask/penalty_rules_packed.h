// The penalty rules on a candidate packed into bit sets (packed_grid.h),
// 64 modules to a word operation: the forms the mask search runs. Each
// gives the result of the rule of the same name in mask.h, on grid k
// packed by PackGrid. The runs rule needs every module dark or light, as
// in a candidate; the other three read the dark and the light sets apart
// and also see a marked module as the plain forms do.
#ifndef QRIMAGE_SRC_MASK_PENALTY_RULES_PACKED_H
#define QRIMAGE_SRC_MASK_PENALTY_RULES_PACKED_H

#include "mask/packed_grid.h"

namespace qrimage {

int ScoreRunsPacked(int n, const PackedGrid& packed);
int CountExtraFinderPatternsPacked(int n, const PackedGrid& packed);
int ScoreDarkBalancePacked(int n, const PackedGrid& packed);
// Marks the counted modules in grid k, as ScoreBlocks does.
int ScoreBlocksPacked(int k, int n, const PackedGrid& packed);
// The same marking the grid eight modules at a time without SSE2: what
// ScoreBlocksPacked does on other targets, declared for the tests.
int ScoreBlocksPackedScalar(int k, int n, const PackedGrid& packed);

}  // namespace qrimage

#endif
