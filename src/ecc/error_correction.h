#ifndef QRIMAGE_SRC_ECC_ERROR_CORRECTION_H
#define QRIMAGE_SRC_ECC_ERROR_CORRECTION_H

#include <cstdint>

#include "api/encode_state.h"

namespace qrimage {

// Splits the data codewords into the version's blocks and computes each
// block's error-correction codewords. Returns 0, or minus the number of
// blocks that had no generator polynomial.
int ComputeErrorCorrection(EncodeState& state);

// Writes the total - dataCount error-correction codewords of one block.
// Returns 0, or -1 (writing nothing) when no generator polynomial of that
// degree exists.
int EncodeBlock(std::uint8_t* eccOut, const std::uint8_t* data, int total, int dataCount);

// Data codewords column by column across the blocks, then the ECC
// codewords the same way, into finalCodewords.
void InterleaveCodewords(EncodeState& state);

}  // namespace qrimage

#endif
