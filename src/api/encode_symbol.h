// The encoding half of a call, shared by QRImage and the tool's
// EncodeSegments.
#ifndef QRIMAGE_SRC_API_ENCODE_SYMBOL_H
#define QRIMAGE_SRC_API_ENCODE_SYMBOL_H

#include "state/encode_state.h"

namespace qrimage {

// Builds the field tables on the process's first encoding.
void PrepareGaloisTables();

// Encodes the text in textBuffer at `level` ('L', 'M', 'Q' or 'H') in the
// smallest version that holds it, and leaves the finished symbol, format
// and version information included, in encodeState.matrix (top-left N x N
// of the grid, N = SymbolSize of the result). Returns the version,
// QRIMAGE_ERROR_INPUT (-1) for a bad level or a text too long, or
// QRIMAGE_ERROR_ENCODING (-2) when the error correction failed. The field
// tables must be ready.
//
// The caller holds a CallLock from before it fills textBuffer until it has
// read the matrix: all of this is the one static encode state.
int EncodeSymbol(int level);

// FinishSymbol's mask: the one of the lowest penalty.
constexpr int kEvaluatedMask = -1;

// The steps after the data codewords: from the dataCodewords,
// dataCodewordCount, version and level in `state`, the error correction,
// the interleaved codewords, the placement, the mask (`mask`, 0 to 7, or
// the evaluated one; maskIndex tells which) and the format and version
// information. Returns the version, or QRIMAGE_ERROR_ENCODING when
// the error correction failed. The field tables must be ready, and the
// caller holds a CallLock as above.
int FinishSymbol(EncodeState& state, int mask = kEvaluatedMask);

}  // namespace qrimage

#endif
