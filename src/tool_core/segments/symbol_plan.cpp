#include "tool_core/segments/symbol_plan.h"

#include <algorithm>

namespace qrimage {

namespace {

// A lower bound of the shortest split's bits in any range: no mode packs a
// digit into fewer than 10/3 bits, another alphanumeric character into
// fewer than 11/2, any other byte into fewer than 8, and there is at least
// one mode indicator and count. A Kanji character of a Shift JIS text
// takes 13 bits.
std::int64_t LeastPossibleBits(const std::uint8_t* text, std::size_t length, bool shiftJis) {
  constexpr int kSixths[kSegmentModeCount] = {
      6 * kNumericGroupBits[kNumericGroup] / kNumericGroup,
      6 * kAlphanumericGroupBits[kAlphanumericGroup] / kAlphanumericGroup, 6 * kByteBits,
      6 * kKanjiBits};
  static_assert(kSixths[0] * kNumericGroup == 6 * kNumericGroupBits[kNumericGroup] &&
                kSixths[1] * kAlphanumericGroup == 6 * kAlphanumericGroupBits[kAlphanumericGroup]);
  std::int64_t sixths = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const bool kanji = shiftJis && text[i] >= 0x80;
    sixths += kSixths[kanji ? std::uint8_t{kKanjiMode} : kNarrowestMode[text[i]]];
    i += kanji ? kKanjiBytes - 1 : 0;
  }
  return (sixths + 5) / 6 + kModeIndicatorBits + kCountBits[kByteMode][0];
}

// The smallest version from `first` to the range's last that holds `bits`
// at `level`, or 0.
int SmallestVersionHolding(std::int64_t bits, int level, int first, int range) {
  for (int version = first; version <= kLastVersionOfRange[range]; ++version) {
    if (bits <= CapacityBits(version, level)) {
      return version;
    }
  }
  return 0;
}

bool ValidRequest(int level, int minVersion) {
  return level >= 0 && level < kLevelCount && minVersion >= kMinVersion &&
         minVersion <= kMaxVersion;
}

// Splits text at the cuts found by GreedyCuts for `version` into one plan
// per symbol.
void PlanPieces(const std::uint8_t* text, std::size_t length, const std::vector<std::size_t>& ends,
                int version, int level, bool eci, bool shiftJis, std::vector<SymbolPlan>& symbols) {
  const int count = static_cast<int>(ends.size());
  const std::uint8_t parity = Parity(text, length);
  symbols.assign(ends.size(), SymbolPlan{});
  std::size_t start = 0;
  for (int i = 0; i < count; ++i) {
    SymbolPlan& plan = symbols[i];
    plan.version = version;
    plan.level = level;
    plan.headers.sequence = StructuredAppend{i, count, parity};
    plan.headers.eci = eci;
    plan.bits =
        plan.headers.Bits() + ShortestSegments(text + start, ends[i] - start, VersionRange(version),
                                               &plan.segments, shiftJis);
    for (Segment& segment : plan.segments) {
      segment.start += static_cast<std::uint32_t>(start);
    }
    start = ends[i];
  }
}

// The ends of the greedy pieces for `version`: each symbol takes the longest
// prefix of the rest that it holds at `level`. Empty when a piece would be
// empty or more than `most` symbols are needed.
std::vector<std::size_t> GreedyCuts(const std::uint8_t* text, std::size_t length, int version,
                                    int level, bool eci, bool utf8, bool shiftJis, int most) {
  const std::int64_t budget =
      CapacityBits(version, level) - kStructuredAppendHeaderBits - (eci ? kEciHeaderBits : 0);
  std::vector<std::size_t> ends;
  for (std::size_t start = 0; start < length;) {
    const std::size_t taken = LongestPrefixWithin(text + start, length - start,
                                                  VersionRange(version), budget, utf8, shiftJis);
    if (taken == 0 || static_cast<int>(ends.size()) == most) {
      return {};
    }
    start += taken;
    ends.push_back(start);
  }
  return ends;
}

}  // namespace

bool PlanSymbol(const std::uint8_t* text, std::size_t length, int level, int minVersion, bool eci,
                SymbolPlan& plan, bool shiftJis) {
  if (!ValidRequest(level, minVersion)) {
    return false;
  }
  const int headerBits = eci ? kEciHeaderBits : 0;
  // A wider count never makes a split shorter, so each range's result is
  // a lower bound for the ranges after it.
  std::int64_t leastBits = headerBits + LeastPossibleBits(text, length, shiftJis);
  for (int range = VersionRange(minVersion); range < kVersionRangeCount; ++range) {
    const int first = std::max(minVersion, kFirstVersionOfRange[range]);
    if (leastBits > CapacityBits(kLastVersionOfRange[range], level)) {
      continue;
    }
    const std::int64_t bits =
        headerBits + ShortestSegments(text, length, range, &plan.segments, shiftJis);
    leastBits = bits;
    const int version = SmallestVersionHolding(bits, level, first, range);
    if (version != 0) {
      plan.version = version;
      plan.level = level;
      plan.headers = SymbolHeaders{{}, eci};
      plan.bits = bits;
      return true;
    }
  }
  return false;
}

bool PlanBytes(std::size_t length, int level, int minVersion, bool eci, SymbolPlan& plan) {
  if (!ValidRequest(level, minVersion)) {
    return false;
  }
  for (int version = minVersion; version <= kMaxVersion; ++version) {
    const std::int64_t bits =
        (eci ? kEciHeaderBits : 0) +
        SegmentBits(kByteMode, static_cast<std::int64_t>(length), VersionRange(version));
    if (bits <= CapacityBits(version, level)) {
      plan.version = version;
      plan.level = level;
      plan.headers = SymbolHeaders{{}, eci};
      plan.segments.assign(1, Segment{kByteMode, 0, static_cast<std::uint32_t>(length)});
      plan.bits = bits;
      return true;
    }
  }
  return false;
}

int HighestLevel(std::span<const SymbolPlan> symbols) {
  if (symbols.empty()) {
    return 0;
  }
  for (int level = kLevelCount - 1; level > symbols[0].level; --level) {
    const bool held = std::all_of(symbols.begin(), symbols.end(), [level](const SymbolPlan& plan) {
      return plan.bits <= CapacityBits(plan.version, level);
    });
    if (held) {
      return level;
    }
  }
  return symbols[0].level;
}

bool PlanSequence(const std::uint8_t* text, std::size_t length, int level, int minVersion,
                  int maxVersion, bool eci, bool wholeUtf8, std::vector<SymbolPlan>& symbols,
                  bool shiftJis) {
  symbols.assign(1, SymbolPlan{});
  if (PlanSymbol(text, length, level, minVersion, eci, symbols[0], shiftJis) &&
      symbols[0].version <= maxVersion) {
    return true;
  }
  symbols.clear();
  if (!ValidRequest(level, minVersion) || maxVersion < minVersion || maxVersion > kMaxVersion) {
    return false;
  }
  // Greedy cuts give the fewest symbols of a version: a piece's shortest
  // split never grows when characters are taken off its front.
  int count = kMaxSequenceSymbols + 1;
  int version = 0;
  for (int v = minVersion; v <= maxVersion && count > 2; ++v) {
    const std::size_t pieces =
        GreedyCuts(text, length, v, level, eci, wholeUtf8, shiftJis, count - 1).size();
    if (pieces != 0) {
      count = static_cast<int>(pieces);
      version = v;
    }
  }
  if (version == 0) {
    return false;
  }
  // At `level` itself the cuts are found, so the search ends there.
  std::vector<std::size_t> ends;
  for (int cutLevel = kLevelCount - 1; ends.empty() && cutLevel >= level; --cutLevel) {
    ends = GreedyCuts(text, length, version, cutLevel, eci, wholeUtf8, shiftJis, count);
  }
  PlanPieces(text, length, ends, version, level, eci, shiftJis, symbols);
  return true;
}

std::size_t LongestPrefixHeld(const std::uint8_t* text, std::size_t length, int level, bool eci,
                              bool wholeUtf8, bool shiftJis) {
  const std::int64_t budget = CapacityBits(kMaxVersion, level) - (eci ? kEciHeaderBits : 0);
  return LongestPrefixWithin(text, length, VersionRange(kMaxVersion), budget, wholeUtf8, shiftJis);
}

int SymbolsNeeded(const std::uint8_t* text, std::size_t length, int level, bool eci, bool wholeUtf8,
                  bool shiftJis) {
  std::vector<SymbolPlan> symbols;
  if (!PlanSequence(text, length, level, kMinVersion, kMaxVersion, eci, wholeUtf8, symbols,
                    shiftJis)) {
    return 0;
  }
  return static_cast<int>(symbols.size());
}

}  // namespace qrimage
