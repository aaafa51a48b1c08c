// The encoding half of a call, shared by QRImage and Encode.
#ifndef QRIMAGE_SRC_API_ENCODE_SYMBOL_H
#define QRIMAGE_SRC_API_ENCODE_SYMBOL_H

namespace qrimage {

// Encodes the text in textBuffer at `level` ('L', 'M', 'Q' or 'H'), in the
// smallest version from `minVersion` up, with an ECI header if `eci`, and
// leaves the finished symbol, format and version information included, in
// encodeState.matrix (top-left N x N of the grid, N = SymbolSize of the
// result). Returns the version, QRIMAGE_ERROR_INPUT (-1) for a bad level or
// floor or a text too long, or QRIMAGE_ERROR_ENCODING (-2) when the error
// correction failed.
//
// The caller holds a CallLock from before it fills textBuffer until it has
// read the matrix: all of this is the one static encode state.
int EncodeSymbol(int level, int minVersion, bool eci);

}  // namespace qrimage

#endif
