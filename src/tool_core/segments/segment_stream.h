// The data codewords of one symbol: headers, segments, terminator, padding.
#ifndef QRIMAGE_SRC_TOOL_CORE_SEGMENTS_SEGMENT_STREAM_H
#define QRIMAGE_SRC_TOOL_CORE_SEGMENTS_SEGMENT_STREAM_H

#include <cstdint>
#include <optional>
#include <span>

#include "tool_core/segments/bit_writer.h"
#include "tool_core/segments/segmentation.h"

namespace qrimage {

// One symbol's place in a structured-append sequence, and the parity byte
// of the whole text (the XOR of all its bytes).
struct StructuredAppend {
  int position;  // from 0
  int count;     // 2 to 16
  std::uint8_t parity;
};

// What precedes the segments in a symbol: a structured-append header, then
// an ECI header naming UTF-8.
struct SymbolHeaders {
  std::optional<StructuredAppend> sequence;
  bool eci = false;

  int Bits() const {
    return (sequence ? kStructuredAppendHeaderBits : 0) + (eci ? kEciHeaderBits : 0);
  }
};

std::uint8_t Parity(const std::uint8_t* text, std::size_t length);

// Pad codewords, in turn, after the terminator.
inline constexpr std::uint8_t kPadCodewords[2] = {0xEC, 0x11};

// Whether every character of the segment is one its mode can write.
bool FitsMode(const std::uint8_t* text, const Segment& segment);

// Writes the characters of a segment that fits its mode (`chars` is its
// first), in its mode's groups of bits; QR and Micro QR alike.
void PutCharacters(BitWriter& writer, const std::uint8_t* chars, const Segment& segment);

// Total bits of the segments for a version of `range`.
std::int64_t SegmentsBits(std::span<const Segment> segments, int range);

// Writes the `codewords` data codewords of a symbol of `version`: the
// headers, the segments of `text`, the terminator (as much of its 4 bits as
// there is room for), zero bits to the codeword's end, then pad codewords
// 0xEC and 0x11 in turn. Returns false, writing nothing, when the stream
// does not fit or a segment is not what its mode takes.
bool WriteSegmentStream(const std::uint8_t* text, std::span<const Segment> segments,
                        const SymbolHeaders& headers, int version, std::uint8_t* out,
                        int codewords);

}  // namespace qrimage

#endif
