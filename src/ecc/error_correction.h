#ifndef QRIMAGE_SRC_ECC_ERROR_CORRECTION_H
#define QRIMAGE_SRC_ECC_ERROR_CORRECTION_H

#include <cstdint>
#include <cstring>

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
// the table. Builds without SSE2 run the scalar form below; the tests run
// each. Being inline, the scalar form is compiled only where it is called.
void EncodeBlocksByTable(const ProductTable& table, std::uint8_t* eccOut, const std::uint8_t* data,
                         int blocks, int dataCount);

// The remainder register R of the division, highest coefficient first:
// R[0] is the coefficient of x^(m-1). A data codeword d gives the feedback
// f = d + R[0]; R moves one place towards R[0] (x times R, less the x^m
// term that f cancels) and takes on f x g, row f of the table.
inline void EncodeOneByTable(const ProductTable& table, std::uint8_t* eccOut,
                             const std::uint8_t* data, int dataCount) {
  const int m = table.m;
  std::uint8_t r[kProductRowBytes + 1] = {};  // r[m] stays 0
  for (int j = 0; j < dataCount; ++j) {
    const std::uint8_t* product = table.row[data[j] ^ r[0]];
    for (int i = 0; i < m; ++i) {
      r[i] = r[i + 1] ^ product[i];
    }
  }
  std::memcpy(eccOut, r, m);
}

inline void EncodeBlocksByTableScalar(const ProductTable& table, std::uint8_t* eccOut,
                                      const std::uint8_t* data, int blocks, int dataCount) {
  for (int b = 0; b < blocks; ++b) {
    EncodeOneByTable(table, eccOut + b * table.m, data + b * dataCount, dataCount);
  }
}

// Data codewords column by column across the blocks, then the ECC
// codewords the same way, into finalCodewords.
void InterleaveCodewords(EncodeState& state);

}  // namespace qrimage

#endif
