// The encoder's door for programs built with the library, such as the
// command-line tool: one call turns planned segments into a finished
// symbol and hands back a copy of it, so the caller works on it without
// holding up other callers. This code is the tool's, never the library's.
#ifndef QRIMAGE_SRC_TOOL_CORE_ENCODE_H
#define QRIMAGE_SRC_TOOL_CORE_ENCODE_H

#include <cstdint>

#include "api/encode_symbol.h"
#include "state/symbol_tables.h"
#include "tool_core/segments/symbol_plan.h"

namespace qrimage {

// A finished symbol, format and version information included: size x size
// modules, row r at modules + r * size, each MODULE_DARK or MODULE_LIGHT.
// The quiet zone is not part of it.
struct Symbol {
  int version;
  int size;
  int mask;  // the mask written
  std::uint8_t modules[kMaxSymbolSize * kMaxSymbolSize];
};

// Segments in, finished symbol out: writes the data codewords of `plan`
// (its headers and its segments of `text`, the bytes the segments index),
// then error correction, placement, mask (`mask`, 0 to 7, or the evaluated
// one with kEvaluatedMask) and format and version information, and copies
// the symbol into `symbol`. Returns the version, -1 (the QRImage input
// error) when the plan's version or level or the mask is out of range or
// its segments do not fit or do not suit their modes, or -2 when the error
// correction failed or the library's lock could not be taken. Callers in
// several threads take turns.
int EncodeSegments(const std::uint8_t* text, const SymbolPlan& plan, Symbol& symbol,
                   int mask = kEvaluatedMask);

}  // namespace qrimage

#endif
