// The encoder's door for programs built with the library, such as the
// command-line tool: one call turns planned segments into a finished
// symbol and hands back a copy of it, so the caller works on it without
// holding up other callers. This code is the tool's, never the library's.
#ifndef QRIMAGE_SRC_API_ENCODE_H
#define QRIMAGE_SRC_API_ENCODE_H

#include <cstddef>
#include <cstdint>

#include "segments/symbol_plan.h"
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

// Segments in, finished symbol out: writes the data codewords of `plan`
// (its headers and its segments of `text`, the bytes the segments index),
// then error correction, placement, mask and format and version
// information, and copies the symbol into `symbol`. Returns the version,
// -1 (the QRImage input error) when the plan's version or level is out of
// range or its segments do not fit or do not suit their modes, or -2 when
// the error correction failed or the library's lock could not be taken.
// Callers in several threads take turns.
int EncodeSegments(const std::uint8_t* text, const SymbolPlan& plan, Symbol& symbol);

// Encodes the `length` bytes at `text` as one byte segment with the level
// letter `level` ('L', 'M', 'Q' or 'H') in the smallest version from
// options.minVersion up that holds them, and copies the symbol into
// `symbol`. Returns the version, -1 (the QRImage input error) for a null
// text, a NUL byte in it, a bad level or floor, or a text too long for
// version 40, or -2 as EncodeSegments. Without a floor or ECI header the
// symbol is the one QRImage writes for the text.
int Encode(const char* text, std::size_t length, int level, const EncodeOptions& options,
           Symbol& symbol);

}  // namespace qrimage

#endif
