// An independent check of a finished symbol, shared by the tests and the
// fuzz target. It rebuilds what a symbol must hold from the symbol's
// geometry and the block table alone: the function patterns, the format
// and version words (as BCH code words worked out here), the codewords
// read back along the placement path under the chosen mask, each block's
// error correction, the data codeword stream, and the bitmap's pixels.
#ifndef QRIMAGE_TESTS_SYMBOL_CHECKER_H
#define QRIMAGE_TESTS_SYMBOL_CHECKER_H

#include <cstdint>
#include <string>

#include "test_util.h"

namespace qrtest {

// Codewords a version holds: its modules less the finder patterns with
// their separators, the format, version, timing and alignment modules, / 8.
int TotalCodewords(int version);
// Data codewords at level index `level` (0 L .. 3 H): the total less the
// error-correction codewords of the block table.
int DataCodewords(int version, int level);
// Text bytes that fit: the data bits less the 4-bit mode and the 8-bit
// (versions 1 to 9) or 16-bit count, / 8.
int ByteCapacity(int version, int level);

// Remainder of `value` (already shifted left past the check bits) modulo
// the BCH generator polynomial `generator` of `generatorBits` bits.
std::uint32_t BchRemainder(std::uint32_t value, std::uint32_t generator, int generatorBits);

// Checks the symbol that a QRImage(text, level letter) call which returned
// `result` left in the encode state, and the bitmap `file` it wrote, where
// `level` is the letter's index. Returns what does not hold, or "".
std::string CheckSymbol(const std::string& text, int level, int result, const Bytes& file);

}  // namespace qrtest

#endif
