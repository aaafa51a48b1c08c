// What the tool's symbols hold: the version, the level and the segments of
// one symbol, or of each symbol of a structured-append sequence.
#ifndef QRIMAGE_SRC_TOOL_CORE_SEGMENTS_SYMBOL_PLAN_H
#define QRIMAGE_SRC_TOOL_CORE_SEGMENTS_SYMBOL_PLAN_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tool_core/segments/segment_stream.h"

namespace qrimage {

constexpr int kLevelCount = 4;

struct SymbolPlan {
  int version = 0;
  int level = 0;  // index in kLevelLetters
  SymbolHeaders headers;
  std::vector<Segment> segments;  // positions in the whole text
  std::int64_t bits = 0;          // headers and segments, no terminator
};

// The smallest version from `minVersion` up that holds the text's shortest
// segments at `level`, behind an ECI header if `eci`; false when version 40
// does not hold them. With `shiftJis` the text is in Shift JIS and its
// two-byte characters go in Kanji segments (see ShortestSegments); so in
// the functions below.
bool PlanSymbol(const std::uint8_t* text, std::size_t length, int level, int minVersion, bool eci,
                SymbolPlan& plan, bool shiftJis = false);

// The same with the whole text as one byte segment.
bool PlanBytes(std::size_t length, int level, int minVersion, bool eci, SymbolPlan& plan);

// The highest level, from the plan's own up, at which every symbol keeps
// its version.
int HighestLevel(std::span<const SymbolPlan> symbols);

// A text longer than one symbol holds at `level`, as a structured-append
// sequence: the fewest symbols (at most 16) of a version from `minVersion`
// to `maxVersion`, then the smallest such version, every symbol of it with
// its own shortest segments. The cuts are those of the highest level at
// which that many symbols of that version still hold the text, so that
// HighestLevel raises every symbol to it; with `wholeUtf8` they fall only
// between UTF-8 characters, else between any two bytes. A text that fits
// one symbol of those versions is one plain symbol. False when 16 symbols
// do not hold it.
bool PlanSequence(const std::uint8_t* text, std::size_t length, int level, int minVersion,
                  int maxVersion, bool eci, bool wholeUtf8, std::vector<SymbolPlan>& symbols,
                  bool shiftJis = false);

// For the message about a text too long: the bytes of its longest prefix
// that one symbol holds at `level`, and the symbols a sequence would need
// (0 when more than 16), cut as PlanSequence does.
std::size_t LongestPrefixHeld(const std::uint8_t* text, std::size_t length, int level, bool eci,
                              bool wholeUtf8, bool shiftJis = false);
int SymbolsNeeded(const std::uint8_t* text, std::size_t length, int level, bool eci, bool wholeUtf8,
                  bool shiftJis = false);

}  // namespace qrimage

#endif
