// The shortest split of a text into numeric, alphanumeric, byte and Kanji
// segments.
#ifndef QRIMAGE_SRC_TOOL_CORE_SEGMENTS_SEGMENTATION_H
#define QRIMAGE_SRC_TOOL_CORE_SEGMENTS_SEGMENTATION_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tool_core/segments/segment_table.h"

namespace qrimage {

// `length` bytes of the text from byte `start` on, in `mode`: as many
// characters, or half as many in Kanji mode.
struct Segment {
  SegmentMode mode;
  std::uint32_t start;
  std::uint32_t length;

  bool operator==(const Segment&) const = default;
};

// Bits of the shortest split of the `length` bytes at `text` into segments,
// each with its mode indicator and count, for a version of `range` (see
// VersionRange). With `segments` given, the split replaces its contents.
// An empty text is one empty byte segment. With `shiftJis` the text is in
// Shift JIS (kanji.h) and each of its two-byte characters goes in a Kanji
// segment; a Shift JIS text that breaks off or holds a code Kanji mode
// cannot write has no split (the result exceeds every capacity).
std::int64_t ShortestSegments(const std::uint8_t* text, std::size_t length, int range,
                              std::vector<Segment>* segments, bool shiftJis = false);

// The longest prefix of the `length` bytes at `text` whose shortest split
// for `range` takes at most `budget` bits; with `wholeUtf8`, only prefixes
// that end before a UTF-8 lead byte or at the end count. 0 when none but the
// empty prefix fits. With `shiftJis` as for ShortestSegments, prefixes end
// between characters.
std::size_t LongestPrefixWithin(const std::uint8_t* text, std::size_t length, int range,
                                std::int64_t budget, bool wholeUtf8, bool shiftJis = false);

}  // namespace qrimage

#endif
