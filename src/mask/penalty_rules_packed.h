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

// Which form of a rule runs. kFastest takes what the processor offers:
// the popcount instruction where it has one, SSE2 stores for the block
// marks where the build has them. kBaseline is what runs without either;
// the tests run it on any processor.
enum class RuleForm { kFastest, kBaseline };

int ScoreRunsPacked(int n, const PackedGrid& packed, RuleForm form = RuleForm::kFastest);
int CountExtraFinderPatternsPacked(int n, const PackedGrid& packed,
                                   RuleForm form = RuleForm::kFastest);
int ScoreDarkBalancePacked(int n, const PackedGrid& packed, RuleForm form = RuleForm::kFastest);
// Marks the counted modules in grid k, as ScoreBlocks does.
int ScoreBlocksPacked(int k, int n, const PackedGrid& packed, RuleForm form = RuleForm::kFastest);

}  // namespace qrimage

#endif
