// The split is a dynamic programme over the end of each segment: a text
// fits a Micro QR symbol only when it is short (no symbol holds more than
// kMaxTextBytes bytes), so every start and mode of the last segment is
// tried, and the count field's limit is checked exactly.
#include "tool_core/micro/micro_plan.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "tool_core/segments/kanji.h"
#include "tool_core/segments/segment_table.h"

namespace qrimage {

namespace {

// M4-L holds 35 digits; no character takes fewer bits than a digit.
constexpr std::size_t kMaxTextBytes = 35;

constexpr int kLevelCount = 3;  // L, M, Q
constexpr int kNoSymbol = -1;

// clang-format off
// Data bits by version and level; M1 has one entry for its one symbol.
constexpr int kDataBits[kMicroMaxVersion][kLevelCount] = {
    { 20, kNoSymbol, kNoSymbol},  // M1
    { 40,  32, kNoSymbol},        // M2
    { 84,  68, kNoSymbol},        // M3
    {128, 112,  80},              // M4
};
constexpr int kEccCodewords[kMicroMaxVersion][kLevelCount] = {
    {2, kNoSymbol, kNoSymbol},
    {5, 6, kNoSymbol},
    {6, 8, kNoSymbol},
    {8, 10, 14},
};
// Count bits by mode (numeric, alphanumeric, byte, Kanji) and version; 0
// where the version does not take the mode.
constexpr int kCountBitsByMode[kMicroModeCount][kMicroMaxVersion] = {
    {3, 4, 5, 6},
    {0, 3, 4, 5},
    {0, 0, 4, 5},
    {0, 0, 3, 4},
};
// clang-format on

bool ValidVersion(int version) {
  return version >= kMicroMinVersion && version <= kMicroMaxVersion;
}

// The row of the tables for a symbol: M1's one entry whatever the level.
int LevelColumn(int version, int level) {
  if (!ValidVersion(version)) {
    return kNoSymbol;
  }
  if (version == kMicroMinVersion) {
    return 0;
  }
  if (level < 0 || level >= kLevelCount || kDataBits[version - 1][level] == kNoSymbol) {
    return kNoSymbol;
  }
  return level;
}

}  // namespace

bool MicroHasLevel(int version, int level) {
  return version == kMicroMinVersion ? level == kMicroDetectionOnly
                                     : LevelColumn(version, level) != kNoSymbol;
}

int MicroSymbolNumber(int version, int level) {
  if (!MicroHasLevel(version, level)) {
    return kNoSymbol;
  }
  // Symbols are numbered in order of version, then level.
  int number = 0;
  for (int v = kMicroMinVersion; v < version; ++v) {
    number += v == kMicroMinVersion ? 1 : v == kMicroMaxVersion ? 3 : 2;
  }
  return number + (version == kMicroMinVersion ? 0 : level);
}

int MicroDataBits(int version, int level) {
  const int column = LevelColumn(version, level);
  return column == kNoSymbol ? kNoSymbol : kDataBits[version - 1][column];
}

int MicroEccCodewords(int version, int level) {
  const int column = LevelColumn(version, level);
  return column == kNoSymbol ? kNoSymbol : kEccCodewords[version - 1][column];
}

int MicroModeIndicatorBits(int version) {
  return version - 1;
}

int MicroCountBits(int mode, int version) {
  return mode >= 0 && mode < kMicroModeCount && ValidVersion(version)
             ? kCountBitsByMode[mode][version - 1]
             : 0;
}

std::int64_t MicroSegmentBits(int mode, std::int64_t count, int version) {
  const int countBits = MicroCountBits(mode, version);
  if (countBits == 0 || count >> countBits != 0) {
    return -1;
  }
  return MicroModeIndicatorBits(version) + countBits +
         DataBits(static_cast<SegmentMode>(mode), count);
}

int MicroCharacterCapacity(int version, int level, int mode) {
  const int capacity = MicroDataBits(version, level);
  int count = 0;
  for (;;) {
    const std::int64_t bits = MicroSegmentBits(mode, count + 1, version);
    if (bits < 0 || bits > capacity) {
      return count;
    }
    ++count;
  }
}

namespace {

// Whether the text breaks between bytes `start - 1` and `start`: not
// inside a Shift JIS character (whose lead byte is 0x80 or above).
std::vector<bool> CharacterStarts(const std::uint8_t* text, std::size_t length, bool shiftJis) {
  std::vector<bool> starts(length + 1, true);
  for (std::size_t i = 0; shiftJis && i < length; ++i) {
    if (text[i] >= 0x80 && i + 1 < length) {
      starts[++i] = false;
    }
  }
  return starts;
}

// The narrowest mode of the character at `start` (Kanji for a Shift JIS
// character Kanji mode writes, -1 for one it does not).
int CharacterMode(const std::uint8_t* text, std::size_t length, std::size_t start, bool shiftJis) {
  if (!shiftJis || text[start] < 0x80) {
    return kNarrowestMode[text[start]];
  }
  return start + 1 < length && IsKanjiCode(text[start], text[start + 1]) ? kKanjiMode : -1;
}

constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();

// least[end] and last[end]: the best split of the text's first `end`
// bytes from the best splits of its shorter prefixes. Kanji characters go
// in segments of their own, the others in their narrowest common mode or
// wider.
void BestEndingAt(const std::uint8_t* text, std::size_t length, std::size_t end, int version,
                  bool shiftJis, const std::vector<bool>& starts, std::int64_t* least,
                  Segment* last) {
  if (!starts[end]) {
    return;
  }
  int narrowest = -1;
  for (std::size_t start = end; start-- > 0;) {
    if (!starts[start]) {
      continue;
    }
    const int mode = CharacterMode(text, length, start, shiftJis);
    if (mode < 0 || (narrowest >= 0 && (mode == kKanjiMode) != (narrowest == kKanjiMode))) {
      return;
    }
    narrowest = std::max(narrowest, mode);
    if (least[start] == kNone) {
      continue;
    }
    const int widest = narrowest == kKanjiMode ? kKanjiMode : kByteMode;
    const auto count = static_cast<std::uint32_t>(end - start);
    for (int m = narrowest; m <= widest; ++m) {
      const std::int64_t bits =
          MicroSegmentBits(m, Characters(static_cast<SegmentMode>(m), count), version);
      if (bits >= 0 && least[start] + bits < least[end]) {
        least[end] = least[start] + bits;
        last[end] = Segment{static_cast<SegmentMode>(m), static_cast<std::uint32_t>(start), count};
      }
    }
  }
}

}  // namespace

std::int64_t MicroShortestSegments(const std::uint8_t* text, std::size_t length, int version,
                                   std::vector<Segment>* segments, bool shiftJis) {
  if (!ValidVersion(version) || length > kMaxTextBytes) {
    return -1;
  }
  if (length == 0) {
    if (segments != nullptr) {
      segments->assign(1, Segment{kNumericMode, 0, 0});
    }
    return MicroSegmentBits(kNumericMode, 0, version);
  }
  // least[i]: bits of the best split of the first i bytes; last[i]: the
  // last segment of it.
  std::int64_t least[kMaxTextBytes + 1];
  Segment last[kMaxTextBytes + 1];
  least[0] = 0;
  const std::vector<bool> starts = CharacterStarts(text, length, shiftJis);
  for (std::size_t end = 1; end <= length; ++end) {
    least[end] = kNone;
    BestEndingAt(text, length, end, version, shiftJis, starts, least, last);
  }
  if (least[length] == kNone) {
    return -1;
  }
  if (segments != nullptr) {
    segments->clear();
    for (std::size_t end = length; end > 0; end = last[end].start) {
      segments->insert(segments->begin(), last[end]);
    }
  }
  return least[length];
}

bool PlanMicro(const std::uint8_t* text, std::size_t length, int level, bool boost, int minVersion,
               int maxVersion, MicroPlan& plan, bool shiftJis) {
  for (int version = std::max(minVersion, kMicroMinVersion);
       version <= std::min(maxVersion, kMicroMaxVersion); ++version) {
    const int asked = version == kMicroMinVersion ? kMicroDetectionOnly : level;
    if (!MicroHasLevel(version, asked)) {
      continue;
    }
    std::vector<Segment> segments;
    const std::int64_t bits = MicroShortestSegments(text, length, version, &segments, shiftJis);
    if (bits < 0 || bits > MicroDataBits(version, asked)) {
      continue;
    }
    int chosen = asked;
    while (boost && version != kMicroMinVersion && MicroHasLevel(version, chosen + 1) &&
           bits <= MicroDataBits(version, chosen + 1)) {
      ++chosen;
    }
    plan.version = version;
    plan.level = chosen;
    plan.segments = std::move(segments);
    plan.bits = bits;
    return true;
  }
  return false;
}

bool PlanMicroBytes(std::size_t length, int level, int minVersion, int maxVersion,
                    MicroPlan& plan) {
  for (int version = std::max(minVersion, kMicroMinVersion);
       version <= std::min(maxVersion, kMicroMaxVersion); ++version) {
    const std::int64_t bits =
        MicroSegmentBits(kByteMode, static_cast<std::int64_t>(length), version);
    if (bits >= 0 && MicroHasLevel(version, level) && bits <= MicroDataBits(version, level)) {
      plan = {version, level, {{kByteMode, 0, static_cast<std::uint32_t>(length)}}, bits};
      return true;
    }
  }
  return false;
}

}  // namespace qrimage
