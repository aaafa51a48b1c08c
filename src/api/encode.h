// The encoder's door for programs built with the library, such as the
// command-line tool: one call encodes a text and hands back a copy of the
// finished symbol, so the caller works on it without holding up other
// callers.
#ifndef QRIMAGE_SRC_API_ENCODE_H
#define QRIMAGE_SRC_API_ENCODE_H

#include <cstddef>
#include <cstdint>

#include "state/symbol_tables.h"

namespace qrimage {

struct EncodeOptions {
  int minVersion = kMinVersion;  // the smallest version the symbol may have
  bool eci = false;              // an ECI header (UTF-8) before the text
};

// A finished symbol, format and version information included: size x size
// modules, row r at modules + r * size, each MODULE_DARK or MODULE_LIGHT.
// The quiet zone is not part of it.
struct Symbol {
  int version;
  int size;
  std::uint8_t modules[kMaxSymbolSize * kMaxSymbolSize];
};

// Encodes the `length` bytes at `text` with the level letter `level` ('L',
// 'M', 'Q' or 'H') in the smallest version from options.minVersion up that
// holds them, and copies the symbol into `symbol`. Returns the version, -1
// (the QRImage input error) for a null text, a NUL byte in it, a bad level
// or floor, or a text too long for version 40, or -2 when the error
// correction failed or the library's lock could not be taken. Callers in
// several threads take turns; nothing is allocated.
int Encode(const char* text, std::size_t length, int level, const EncodeOptions& options,
           Symbol& symbol);

}  // namespace qrimage

#endif
