#ifndef QRIMAGE_SRC_ECC_ERROR_CORRECTION_H
#define QRIMAGE_SRC_ECC_ERROR_CORRECTION_H

#include <cstdint>

#include "state/encode_state.h"

namespace qrimage {

// Splits the data codewords into the version's blocks and computes each
// block's error-correction codewords. Returns 0, or minus the number of
// blocks that had no generator polynomial.
int ComputeErrorCorrection(EncodeState& state);

// Writes the total - dataCount error-correction codewords of one block.
// Returns 0, or -1 (writing nothing) when no generator polynomial of that
// degree exists.
int EncodeBlock(std::uint8_t* eccOut, const std::uint8_t* data, int total, int dataCount);

// The products of every feedback value with the coefficients of one
// generator, in field values: row f, byte i holds f x g_(m-1-i), the
// highest coefficient first, and zeros from byte m on. Built for each call
// from eight rows by linearity (row f is the sum of the rows of f's bits),
// it turns each division step into one row load and one exclusive or.
constexpr int kProductRowBytes = 32;
struct ProductTable {
  alignas(16) std::uint8_t row[256][kProductRowBytes];
  int m;  // degree of the generator
};

// Fills `table` for the generator of degree m. Returns false (and builds
// nothing) when there is no such generator or m > kProductRowBytes.
bool BuildProductTable(int m, ProductTable& table);

// The error-correction codewords of `blocks` consecutive blocks of
// dataCount data codewords each, the same as EncodeBlock writes, through
// the table. Builds without SSE2 run the scalar form; both are declared so
// that the tests run each.
void EncodeBlocksByTable(const ProductTable& table, std::uint8_t* eccOut, const std::uint8_t* data,
                         int blocks, int dataCount);
void EncodeBlocksByTableScalar(const ProductTable& table, std::uint8_t* eccOut,
                               const std::uint8_t* data, int blocks, int dataCount);

// Data codewords column by column across the blocks, then the ECC
// codewords the same way, into finalCodewords.
void InterleaveCodewords(EncodeState& state);

}  // namespace qrimage

#endif
