#include "tool_core/plan.h"

#include "state/symbol_tables.h"

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
                        text.Eci(), text.WholeUtf8(), symbols);
  }
  symbols.assign(1, SymbolPlan{});
  return BytesOnly(request)
             ? PlanBytes(bytes.size(), request.level, request.minVersion, text.Eci(), symbols[0])
             : PlanSymbol(Bytes(bytes), bytes.size(), request.level, request.minVersion, text.Eci(),
                          symbols[0]);
}

}  // namespace

Shortfall MeasureShortfall(const SymbolText& text, const PlanRequest& request) {
  Shortfall shortfall;
  const std::string& bytes = text.bytes;
  for (int level = 0; level <= request.level && level < kLevelCount; ++level) {
    shortfall.held[level] =
        BytesOnly(request)
            ? static_cast<std::size_t>(ByteCapacity(kMaxVersion, level, text.Eci()))
            : LongestPrefixHeld(Bytes(bytes), bytes.size(), level, text.Eci(), text.WholeUtf8());
  }
  if (!request.split && !BytesOnly(request) && request.countSplit) {
    shortfall.symbols =
        SymbolsNeeded(Bytes(bytes), bytes.size(), request.level, text.Eci(), text.WholeUtf8());
  }
  return shortfall;
}

TextPlan PlanText(std::string_view text, const PlanRequest& request) {
  TextPlan plan;
  if (!ReadText(text, request.charset, plan.text, plan.where)) {
    plan.fault = plan.where.length == 0 ? PlanFault::kNotUtf8 : PlanFault::kNotLatin1;
    return plan;
  }
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
    return plan;
  }
  if (request.strict && symbols[0].version != request.minVersion) {
    plan.fault = PlanFault::kNeedsVersion;
    plan.version = symbols[0].version;
    symbols.clear();
    return plan;
  }
  const int level = request.boost && !BytesOnly(request) ? HighestLevel(symbols) : request.level;
  for (SymbolPlan& symbol : symbols) {
    symbol.level = level;
  }
  return plan;
}

}  // namespace qrimage
