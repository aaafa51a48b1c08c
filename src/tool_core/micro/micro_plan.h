// Micro QR symbols (M1 to M4): their capacities, the shortest split of a
// text with their own headers, and the smallest symbol that holds it.
#ifndef QRIMAGE_SRC_TOOL_CORE_MICRO_MICRO_PLAN_H
#define QRIMAGE_SRC_TOOL_CORE_MICRO_MICRO_PLAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tool_core/segments/segmentation.h"

namespace qrimage {

// Versions 1 to 4 are M1 to M4, 11 to 17 modules a side.
constexpr int kMicroMinVersion = 1;
constexpr int kMicroMaxVersion = 4;
constexpr int MicroSymbolSize(int version) {
  return 2 * version + 9;
}

// M1 only detects errors: its plans carry this level. M2 and M3 take L and
// M, M4 L, M and Q (level indexes as in kLevelLetters).
constexpr int kMicroDetectionOnly = -1;
bool MicroHasLevel(int version, int level);

// The symbol number written in the format information (M1 0, M2-L 1, M2-M
// 2, M3-L 3, M3-M 4, M4-L 5, M4-M 6, M4-Q 7), -1 for no such symbol.
int MicroSymbolNumber(int version, int level);

// Data bits and error correction codewords of a symbol. M1 and M3 end their
// data with a codeword of 4 bits, so their bits are not a multiple of 8.
int MicroDataBits(int version, int level);
int MicroEccCodewords(int version, int level);
constexpr int MicroDataCodewords(int dataBits) {
  return (dataBits + 7) / 8;
}

// Modes a version takes (M1 numeric, M2 also alphanumeric, M3 and M4 all
// four; mode 3 is Kanji), and the bits of a segment of `count` characters
// in `mode` with its mode indicator and count; -1 when the version does not
// take the mode or the count does not fit its field.
constexpr int kMicroModeCount = 4;
std::int64_t MicroSegmentBits(int mode, std::int64_t count, int version);
int MicroModeIndicatorBits(int version);
int MicroCountBits(int mode, int version);

// The most characters of `mode` one segment carries in a symbol (0 when the
// version does not take the mode).
int MicroCharacterCapacity(int version, int level, int mode);

// Bits of the shortest split of the text into segments a version takes,
// and the split in `segments` when given; -1 when no split exists (a
// character the version has no mode for). An empty text is one empty
// numeric segment. With `shiftJis` the text is in Shift JIS and each of
// its two-byte characters goes in a Kanji segment (M3 and M4 only).
std::int64_t MicroShortestSegments(const std::uint8_t* text, std::size_t length, int version,
                                   std::vector<Segment>* segments, bool shiftJis = false);

struct MicroPlan {
  int version = 0;                  // 1 to 4
  int level = kMicroDetectionOnly;  // index in kLevelLetters, or kMicroDetectionOnly
  std::vector<Segment> segments;    // positions in the text
  std::int64_t bits = 0;            // segments with headers, no terminator
};

// The smallest symbol from `minVersion` to `maxVersion` that holds the text
// at `level` or above (any level for M1, which is tried only when
// `minVersion` is 1); with `boost`, the level is then raised as far as the
// version still holds the text. False when none holds it.
bool PlanMicro(const std::uint8_t* text, std::size_t length, int level, bool boost, int minVersion,
               int maxVersion, MicroPlan& plan, bool shiftJis = false);

// The smallest symbol from `minVersion` to `maxVersion` that holds the
// whole text as one byte segment at `level` (M3 and M4 have byte mode).
bool PlanMicroBytes(std::size_t length, int level, int minVersion, int maxVersion, MicroPlan& plan);

}  // namespace qrimage

#endif
