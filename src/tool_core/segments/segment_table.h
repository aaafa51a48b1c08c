// The tool's data encoding: the one table of segment modes, their headers,
// character sets and bit costs, read by the segmentation, the bit stream
// writer and the capacity checks alike.
#ifndef QRIMAGE_SRC_TOOL_CORE_SEGMENTS_SEGMENT_TABLE_H
#define QRIMAGE_SRC_TOOL_CORE_SEGMENTS_SEGMENT_TABLE_H

#include <array>
#include <cstdint>

#include "state/symbol_tables.h"

namespace qrimage {

// The first three modes in order of the characters they take: numeric holds
// the digits, alphanumeric 45 characters (the digits among them), byte mode
// any byte. Kanji mode holds the two-byte Shift JIS codes of JIS X 0208
// (kanji.h), 13 bits each.
enum SegmentMode : std::uint8_t {
  kNumericMode = 0,
  kAlphanumericMode = 1,
  kByteMode = 2,
  kKanjiMode = 3
};
constexpr int kSegmentModeCount = 4;

// Every segment, and every header ahead of them, starts with a 4-bit mode
// indicator.
constexpr int kModeIndicatorBits = 4;
inline constexpr std::uint8_t kModeIndicator[kSegmentModeCount] = {0b0001, 0b0010, 0b0100, 0b1000};
constexpr std::uint8_t kEciIndicator = 0b0111;
constexpr std::uint8_t kStructuredAppendIndicator = 0b0011;

// ECI: one 8-bit designator (values below 128); 26 is UTF-8. The header's
// 12 bits are kEciHeaderBits.
constexpr int kEciDesignatorBits = 8;
constexpr int kUtf8Designator = 26;
static_assert(kModeIndicatorBits + kEciDesignatorBits == kEciHeaderBits);

// Structured append: the symbol's position (from 0) and the symbol count
// less one, 4 bits each, then the parity byte of the whole text.
constexpr int kSequenceFieldBits = 4;
constexpr int kParityBits = 8;
constexpr int kStructuredAppendHeaderBits =
    kModeIndicatorBits + 2 * kSequenceFieldBits + kParityBits;
constexpr int kMaxSequenceSymbols = 1 << kSequenceFieldBits;  // 16

// The character count field widens twice: versions 1-9, 10-26 and 27-40.
constexpr int kVersionRangeCount = 3;
inline constexpr int kFirstVersionOfRange[kVersionRangeCount] = {1, 10, 27};
inline constexpr int kLastVersionOfRange[kVersionRangeCount] = {9, 26, 40};
constexpr int VersionRange(int version) {
  return version < kFirstVersionOfRange[1] ? 0 : version < kFirstVersionOfRange[2] ? 1 : 2;
}

// Bits of the character count, by mode and version range.
inline constexpr std::uint8_t kCountBits[kSegmentModeCount][kVersionRangeCount] = {
    {10, 12, 14},  // numeric
    {9, 11, 13},   // alphanumeric
    {8, 16, 16},   // byte
    {8, 10, 12},   // kanji
};

// The library writes byte mode only, with its own count width; both agree.
constexpr bool ByteCountWidthsAgree() {
  for (int version = kMinVersion; version <= kMaxVersion; ++version) {
    if (CountBits(version) != kCountBits[kByteMode][VersionRange(version)]) {
      return false;
    }
  }
  return true;
}
static_assert(ByteCountWidthsAgree());

// Data bits of a group of characters, by the number of characters in it:
// numeric packs three digits into 10 bits (two into 7, one into 4),
// alphanumeric two characters into 11 bits (one into 6), byte mode 8 bits
// each.
constexpr int kNumericGroup = 3;
inline constexpr std::uint8_t kNumericGroupBits[kNumericGroup + 1] = {0, 4, 7, 10};
constexpr int kAlphanumericGroup = 2;
inline constexpr std::uint8_t kAlphanumericGroupBits[kAlphanumericGroup + 1] = {0, 6, 11};
constexpr int kByteBits = 8;
// A Kanji character: two bytes of the text, 13 bits in the symbol.
constexpr int kKanjiBytes = 2;
constexpr int kKanjiBits = 13;

// The alphanumeric characters in the order of their values 0 to 44.
inline constexpr char kAlphanumericSet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
constexpr int kAlphanumericCount = 45;
static_assert(sizeof kAlphanumericSet == kAlphanumericCount + 1);

// Per byte value: its alphanumeric value (kNotAlphanumeric when it has
// none), and the narrowest mode that holds it.
constexpr std::uint8_t kNotAlphanumeric = 0xFF;
inline constexpr std::array<std::uint8_t, 256> kAlphanumericValue = [] {
  std::array<std::uint8_t, 256> values{};
  values.fill(kNotAlphanumeric);
  for (int i = 0; i < kAlphanumericCount; ++i) {
    values[static_cast<unsigned char>(kAlphanumericSet[i])] = static_cast<std::uint8_t>(i);
  }
  return values;
}();
inline constexpr std::array<std::uint8_t, 256> kNarrowestMode = [] {
  std::array<std::uint8_t, 256> modes{};
  for (int c = 0; c < 256; ++c) {
    modes[c] = c >= '0' && c <= '9'                        ? kNumericMode
               : kAlphanumericValue[c] != kNotAlphanumeric ? kAlphanumericMode
                                                           : kByteMode;
  }
  return modes;
}();

// Data bits of `count` characters in `mode`, and of a whole segment with its
// header in a version of `range`.
constexpr std::int64_t DataBits(SegmentMode mode, std::int64_t count) {
  switch (mode) {
    case kNumericMode:
      return count / kNumericGroup * kNumericGroupBits[kNumericGroup] +
             kNumericGroupBits[count % kNumericGroup];
    case kAlphanumericMode:
      return count / kAlphanumericGroup * kAlphanumericGroupBits[kAlphanumericGroup] +
             kAlphanumericGroupBits[count % kAlphanumericGroup];
    case kKanjiMode:
      return count * kKanjiBits;
    default:
      return count * kByteBits;
  }
}
// The characters of a segment of `bytes` bytes of the text.
constexpr std::int64_t Characters(SegmentMode mode, std::int64_t bytes) {
  return mode == kKanjiMode ? bytes / kKanjiBytes : bytes;
}
constexpr std::int64_t SegmentBits(SegmentMode mode, std::int64_t count, int range) {
  return kModeIndicatorBits + kCountBits[mode][range] + DataBits(mode, count);
}

// The data bits a version holds at a level: its data codewords, 8 bits each.
inline int CapacityBits(int version, int level) {
  return 8 * DataCodewordCount(version, level);
}

}  // namespace qrimage

#endif
