// The tool's one call from a text to the symbols that hold it: the
// character set chosen once, the smallest symbol or the shortest
// structured-append sequence, the level raised as far as the versions
// allow; or why there is none, with what a message about it needs.
#ifndef QRIMAGE_SRC_TOOL_CORE_PLAN_H
#define QRIMAGE_SRC_TOOL_CORE_PLAN_H

#include <cstddef>
#include <string_view>
#include <vector>

#include "tool_core/encode.h"
#include "tool_core/segments/symbol_plan.h"
#include "tool_core/text.h"

namespace qrimage {

// QR Code symbols (versions 1 to 40) or Micro QR symbols (M1 to M4).
enum class SymbolKind : std::uint8_t { kQr, kMicro };

struct PlanRequest {
  int level = 1;           // index in kLevelLetters: the least level
  int minVersion = 1;      // the smallest version a symbol may have
  bool strict = false;     // exactly minVersion, for every symbol
  bool boost = true;       // the highest level that keeps the versions
  bool split = false;      // a structured-append sequence when needed
  bool countSplit = true;  // for a text too long: the symbols a sequence takes
  CharsetChoice charset = CharsetChoice::kDefault;
  // Micro QR: minVersion is 1 to 4 (M1 only when asked for), no split, and
  // no ECI: a text beyond ASCII goes in Kanji segments or is refused.
  SymbolKind kind = SymbolKind::kQr;
};

enum class PlanFault : std::uint8_t {
  kNone,
  kNotUtf8,       // the choice takes UTF-8 only: TextPlan::where
  kNotLatin1,     // a character outside ISO-8859-1: TextPlan::where
  kTooLong,       // no symbol (with split no 16) holds it: TextPlan::shortfall
  kNeedsVersion,  // strict: one symbol needs TextPlan::version
  kNeedsSymbols,  // strict with split: more than 16 symbols of minVersion
  kNotAscii,      // Micro QR: beyond ASCII and not in Shift JIS: TextPlan::where
};

// How far a text too long falls short, in the form the symbols hold.
struct Shortfall {
  // Up to the level asked: the bytes of the longest prefix one symbol of
  // version 40 holds at each level (as a byte segment when bytes only).
  std::size_t held[kLevelCount] = {};
  // The symbols a sequence at the level asked would take; 0 when more
  // than 16, and when not counted (split asked, bytes only, !countSplit).
  int symbols = 0;
};

struct TextPlan {
  SymbolKind kind = SymbolKind::kQr;
  SymbolText text;
  std::vector<SymbolPlan> symbols;  // empty unless fault is kNone
  PlanFault fault = PlanFault::kNone;
  TextFault where;
  Shortfall shortfall;  // QR Code symbols only
  int version = 0;      // kNeedsVersion

  // The modules a side of its symbols.
  int Modules() const;
};

// By default a text that would go as UTF-8 behind the ECI header and can
// go in Shift JIS (ToShiftJis) goes whichever way fits and takes fewer
// symbols, then a smaller version, then fewer bits; when neither fits, the
// Shift JIS form's fault is given.
TextPlan PlanText(std::string_view text, const PlanRequest& request);

// The shortfall of `text` as PlanText measures it for `request`, for a
// text that was not planned (read only in part, say).
Shortfall MeasureShortfall(const SymbolText& text, const PlanRequest& request);

// Writes symbol `index` of a plan without fault into `symbol` with `mask`
// (QR Code 0 to 7, Micro QR 0 to 3) or the evaluated one (kEvaluatedMask;
// symbol.mask tells which). Returns the version, or below 0 as
// EncodeSegments does.
int EncodePlanned(const TextPlan& plan, std::size_t index, int mask, Symbol& symbol);

}  // namespace qrimage

#endif
