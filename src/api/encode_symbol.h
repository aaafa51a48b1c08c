// The encoding half of a QRImage call, for callers that want the finished
// module grid rather than the library's bitmap file.
#ifndef QRIMAGE_SRC_API_ENCODE_SYMBOL_H
#define QRIMAGE_SRC_API_ENCODE_SYMBOL_H

namespace qrimage {

// Encodes `text` (NUL-terminated bytes) at `level` ('L', 'M', 'Q' or 'H')
// and leaves the finished symbol, format and version information included,
// in encodeState.matrix (top-left N x N of the grid, N = SymbolSize of the
// result). Returns the version, QRIMAGE_ERROR_INPUT (-1) for a null text, a
// bad level or a text too long for the level, or QRIMAGE_ERROR_ENCODING (-2)
// when the error correction failed.
//
// The caller must hold a CallLock from before this call until it has read
// the matrix: the call works on the one static encode state.
int EncodeSymbol(const char* text, int level);

}  // namespace qrimage

#endif
