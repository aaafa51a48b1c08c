// The shortest split of a text into numeric, alphanumeric and byte
// segments.
#ifndef QRIMAGE_SRC_TOOL_CORE_SEGMENTS_SEGMENTATION_H
#define QRIMAGE_SRC_TOOL_CORE_SEGMENTS_SEGMENTATION_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tool_core/segments/segment_table.h"

namespace qrimage {

// `length` characters of the text from byte `start` on, in `mode`.
struct Segment {
  SegmentMode mode;
  std::uint32_t start;
  std::uint32_t length;

  bool operator==(const Segment&) const = default;
};

// Bits of the shortest split of the `length` bytes at `text` into segments,
// each with its mode indicator and count, for a version of `range` (see
// VersionRange). With `segments` given, the split replaces its contents.
// An empty text is one empty byte segment.
std::int64_t ShortestSegments(const std::uint8_t* text, std::size_t length, int range,
                              std::vector<Segment>* segments);

// The longest prefix of the `length` bytes at `text` whose shortest split
// for `range` takes at most `budget` bits; with `wholeUtf8`, only prefixes
// that end before a UTF-8 lead byte or at the end count. 0 when none but the
// empty prefix fits.
std::size_t LongestPrefixWithin(const std::uint8_t* text, std::size_t length, int range,
                                std::int64_t budget, bool wholeUtf8);

}  // namespace qrimage

#endif
