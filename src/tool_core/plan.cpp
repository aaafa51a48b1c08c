#include "tool_core/plan.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "state/symbol_tables.h"
#include "tool_core/micro/micro_symbol.h"

namespace qrimage {

namespace {

const std::uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

bool BytesOnly(const PlanRequest& request) {
  return request.charset == CharsetChoice::kBytes;
}

// The smallest symbol, or with split the shortest sequence of versions up
// to `maxVersion`, that holds the text at the level asked; false when none
// does.
bool PlanSymbols(const SymbolText& text, const PlanRequest& request, int maxVersion,
                 std::vector<SymbolPlan>& symbols) {
  const std::string& bytes = text.bytes;
  if (request.split) {
    return PlanSequence(Bytes(bytes), bytes.size(), request.level, request.minVersion, maxVersion,
                        text.Eci(), text.WholeUtf8(), symbols, text.ShiftJis());
  }
  symbols.assign(1, SymbolPlan{});
  return BytesOnly(request)
             ? PlanBytes(bytes.size(), request.level, request.minVersion, text.Eci(), symbols[0])
             : PlanSymbol(Bytes(bytes), bytes.size(), request.level, request.minVersion, text.Eci(),
                          symbols[0], text.ShiftJis());
}

// Plans `plan.text` for the request: the symbols with the level raised, or
// the fault.
void PlanRead(TextPlan& plan, const PlanRequest& request) {
  std::vector<SymbolPlan>& symbols = plan.symbols;
  // Strict with split: as many symbols as it takes of that version.
  const int maxVersion = request.strict && request.split ? request.minVersion : kMaxVersion;
  if (!PlanSymbols(plan.text, request, maxVersion, symbols)) {
    const bool held =
        maxVersion != kMaxVersion && PlanSymbols(plan.text, request, kMaxVersion, symbols);
    plan.fault = held ? PlanFault::kNeedsSymbols : PlanFault::kTooLong;
    if (!held) {
      plan.shortfall = MeasureShortfall(plan.text, request);
    }
    symbols.clear();
    return;
  }
  if (request.strict && symbols[0].version != request.minVersion) {
    plan.fault = PlanFault::kNeedsVersion;
    plan.version = symbols[0].version;
    symbols.clear();
    return;
  }
  const int level = request.boost && !BytesOnly(request) ? HighestLevel(symbols) : request.level;
  for (SymbolPlan& symbol : symbols) {
    symbol.level = level;
  }
}

// Whether `kanji` is the better plan than `utf8`: it fits where the other
// does not, or both fit and it takes fewer symbols, then a smaller
// version, then fewer bits. When neither fits, the Kanji form's fault is
// the one told.
bool KanjiWins(const TextPlan& kanji, const TextPlan& utf8) {
  if (kanji.fault != PlanFault::kNone || utf8.fault != PlanFault::kNone) {
    return utf8.fault != PlanFault::kNone;
  }
  const auto size = [](const std::vector<SymbolPlan>& symbols) {
    std::int64_t bits = 0;
    for (const SymbolPlan& symbol : symbols) {
      bits += symbol.bits;
    }
    return std::make_tuple(symbols.size(), symbols[0].version, bits);
  };
  return size(kanji.symbols) < size(utf8.symbols);
}

// A Micro QR symbol names no character set: a text beyond ASCII goes in
// Kanji segments where it converts to Shift JIS, and is otherwise refused
// unless the request made it bytes (ISO-8859-1 or as given). `given` is
// the length of the text before a byte-order mark was dropped.
bool ReadMicroText(TextPlan& plan, const PlanRequest& request, std::size_t given) {
  const std::string& bytes = plan.text.bytes;
  const auto beyond = std::find_if(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<std::uint8_t>(c) >= 0x80; });
  if (request.charset != CharsetChoice::kDefault || beyond == bytes.end()) {
    return true;
  }
  SymbolText shiftJis;
  if (plan.text.Eci() && ToShiftJis(plan.text, shiftJis)) {
    plan.text = std::move(shiftJis);
    return true;
  }
  plan.fault = PlanFault::kNotAscii;
  plan.where.at = static_cast<std::size_t>(beyond - bytes.begin()) + (given - bytes.size());
  return false;
}

// The smallest Micro QR symbol for `plan.text`, or the fault.
void PlanMicroRead(TextPlan& plan, const PlanRequest& request) {
  const std::string& bytes = plan.text.bytes;
  MicroPlan micro;
  const bool held =
      BytesOnly(request)
          ? PlanMicroBytes(bytes.size(), request.level, request.minVersion, kMicroMaxVersion, micro)
          : PlanMicro(Bytes(bytes), bytes.size(), request.level, request.boost, request.minVersion,
                      kMicroMaxVersion, micro, plan.text.ShiftJis());
  if (!held || (request.strict && micro.version != request.minVersion)) {
    plan.fault = held ? PlanFault::kNeedsVersion : PlanFault::kTooLong;
    plan.version = micro.version;
    return;
  }
  plan.symbols.assign(
      1, SymbolPlan{micro.version, micro.level, {}, std::move(micro.segments), micro.bits});
}

}  // namespace

int TextPlan::Modules() const {
  return kind == SymbolKind::kMicro ? MicroSymbolSize(symbols[0].version)
                                    : SymbolSize(symbols[0].version);
}

int EncodePlanned(const TextPlan& plan, std::size_t index, int mask, Symbol& symbol) {
  const SymbolPlan& planned = plan.symbols[index];
  const std::uint8_t* const text = Bytes(plan.text.bytes);
  if (plan.kind == SymbolKind::kMicro) {
    const MicroPlan micro{planned.version, planned.level, planned.segments, planned.bits};
    return EncodeMicro(text, micro, mask, symbol) < 0 ? -1 : planned.version;
  }
  return EncodeSegments(text, planned, symbol, mask);
}

Shortfall MeasureShortfall(const SymbolText& text, const PlanRequest& request) {
  Shortfall shortfall;
  const std::string& bytes = text.bytes;
  for (int level = 0; level <= request.level && level < kLevelCount; ++level) {
    shortfall.held[level] =
        BytesOnly(request) ? static_cast<std::size_t>(ByteCapacity(kMaxVersion, level, text.Eci()))
                           : LongestPrefixHeld(Bytes(bytes), bytes.size(), level, text.Eci(),
                                               text.WholeUtf8(), text.ShiftJis());
  }
  if (!request.split && !BytesOnly(request) && request.countSplit) {
    shortfall.symbols = SymbolsNeeded(Bytes(bytes), bytes.size(), request.level, text.Eci(),
                                      text.WholeUtf8(), text.ShiftJis());
  }
  return shortfall;
}

TextPlan PlanText(std::string_view text, const PlanRequest& request) {
  TextPlan plan;
  plan.kind = request.kind;
  if (!ReadText(text, request.charset, plan.text, plan.where)) {
    plan.fault = plan.where.length == 0 ? PlanFault::kNotUtf8 : PlanFault::kNotLatin1;
    return plan;
  }
  if (request.kind == SymbolKind::kMicro) {
    if (ReadMicroText(plan, request, text.size())) {
      PlanMicroRead(plan, request);
    }
    return plan;
  }
  PlanRead(plan, request);
  // By default a text beyond ASCII goes without the ECI header, its
  // characters beyond ASCII in Kanji segments, where it can and that is
  // smaller: Kanji mode's 13 bits beat UTF-8's 24 for a kanji, but each
  // switch between ASCII and Kanji segments costs a header. Readers take a
  // symbol with Kanji segments behind the UTF-8 header as no text at all.
  TextPlan kanji;
  if (request.charset == CharsetChoice::kDefault && plan.text.Eci() &&
      ToShiftJis(plan.text, kanji.text)) {
    PlanRead(kanji, request);
    if (KanjiWins(kanji, plan)) {
      return kanji;
    }
  }
  return plan;
}

}  // namespace qrimage
