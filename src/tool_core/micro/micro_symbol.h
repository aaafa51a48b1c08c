// A planned Micro QR symbol written out: its data and error correction
// codewords, their placement, the mask and the format information.
#ifndef QRIMAGE_SRC_TOOL_CORE_MICRO_MICRO_SYMBOL_H
#define QRIMAGE_SRC_TOOL_CORE_MICRO_MICRO_SYMBOL_H

#include <cstdint>
#include <vector>

#include "tool_core/encode.h"
#include "tool_core/micro/micro_plan.h"

namespace qrimage {

constexpr int kMicroMaskCount = 4;
constexpr int kMicroEvaluatedMask = -1;

// The data codewords of `plan` (the last one of M1 and M3 holds 4 bits, in
// its high half) followed by the error correction codewords; empty when the
// plan's segments do not fit its symbol or do not suit their modes.
std::vector<std::uint8_t> MicroCodewords(const std::uint8_t* text, const MicroPlan& plan);

// The 15 bits of format information for a symbol number and mask.
std::uint16_t MicroFormatWord(int symbolNumber, int mask);

// How a masked symbol scores: with SUM1 the dark modules of the right edge
// and SUM2 those of the bottom edge (the timing module at either end left
// out), SUM1 * 16 + SUM2 when SUM1 <= SUM2, else SUM2 * 16 + SUM1. The
// mask of the highest score is written.
int MicroMaskScore(const Symbol& symbol);

// Writes the symbol of `plan` into `symbol` (version 1 to 4, size 11 to
// 17) with `mask` (0 to 3), or the mask of the highest score with
// kMicroEvaluatedMask. Returns the mask written, or -1 when the plan or the
// mask is out of range or its segments do not fit.
int EncodeMicro(const std::uint8_t* text, const MicroPlan& plan, int mask, Symbol& symbol);

}  // namespace qrimage

#endif
