#include "tool_core/segments/segment_stream.h"

#include "tool_core/segments/bit_writer.h"
#include "tool_core/segments/kanji.h"

namespace qrimage {

namespace {

constexpr int kTerminatorBits = 4;

void PutNumeric(BitWriter& bits, const std::uint8_t* digits, std::uint32_t length) {
  std::uint32_t i = 0;
  for (; i + kNumericGroup <= length; i += kNumericGroup) {
    const std::uint32_t value =
        (digits[i] - '0') * 100 + (digits[i + 1] - '0') * 10 + (digits[i + 2] - '0');
    bits.Put(value, kNumericGroupBits[kNumericGroup]);
  }
  std::uint32_t value = 0;
  for (std::uint32_t j = i; j < length; ++j) {
    value = value * 10 + (digits[j] - '0');
  }
  bits.Put(value, kNumericGroupBits[length - i]);
}

void PutAlphanumeric(BitWriter& bits, const std::uint8_t* chars, std::uint32_t length) {
  std::uint32_t i = 0;
  for (; i + kAlphanumericGroup <= length; i += kAlphanumericGroup) {
    const std::uint32_t value =
        kAlphanumericValue[chars[i]] * kAlphanumericCount + kAlphanumericValue[chars[i + 1]];
    bits.Put(value, kAlphanumericGroupBits[kAlphanumericGroup]);
  }
  if (i < length) {
    bits.Put(kAlphanumericValue[chars[i]], kAlphanumericGroupBits[1]);
  }
}

}  // namespace

bool FitsMode(const std::uint8_t* text, const Segment& segment) {
  if (segment.mode == kKanjiMode) {
    if (segment.length % kKanjiBytes != 0) {
      return false;
    }
    for (std::uint32_t i = 0; i < segment.length; i += kKanjiBytes) {
      if (!IsKanjiCode(text[segment.start + i], text[segment.start + i + 1])) {
        return false;
      }
    }
    return true;
  }
  for (std::uint32_t i = 0; i < segment.length; ++i) {
    if (kNarrowestMode[text[segment.start + i]] > segment.mode) {
      return false;
    }
  }
  return true;
}

// The characters of one segment, in its mode's groups of bits.
void PutCharacters(BitWriter& writer, const std::uint8_t* chars, const Segment& segment) {
  switch (segment.mode) {
    case kNumericMode:
      PutNumeric(writer, chars, segment.length);
      break;
    case kAlphanumericMode:
      PutAlphanumeric(writer, chars, segment.length);
      break;
    case kKanjiMode:
      for (std::uint32_t i = 0; i < segment.length; i += kKanjiBytes) {
        writer.Put(KanjiValue(chars[i], chars[i + 1]), kKanjiBits);
      }
      break;
    default:
      for (std::uint32_t i = 0; i < segment.length; ++i) {
        writer.Put(chars[i], kByteBits);
      }
      break;
  }
}

std::uint8_t Parity(const std::uint8_t* text, std::size_t length) {
  std::uint8_t parity = 0;
  for (std::size_t i = 0; i < length; ++i) {
    parity ^= text[i];
  }
  return parity;
}

std::int64_t SegmentsBits(std::span<const Segment> segments, int range) {
  std::int64_t bits = 0;
  for (const Segment& segment : segments) {
    bits += SegmentBits(segment.mode, Characters(segment.mode, segment.length), range);
  }
  return bits;
}

bool WriteSegmentStream(const std::uint8_t* text, std::span<const Segment> segments,
                        const SymbolHeaders& headers, int version, std::uint8_t* out,
                        int codewords) {
  const int range = VersionRange(version);
  const std::int64_t capacity = 8 * static_cast<std::int64_t>(codewords);
  const std::int64_t bits = headers.Bits() + SegmentsBits(segments, range);
  if (bits > capacity) {
    return false;
  }
  for (const Segment& segment : segments) {
    if (Characters(segment.mode, segment.length) >> kCountBits[segment.mode][range] != 0 ||
        !FitsMode(text, segment)) {
      return false;
    }
  }
  if (headers.sequence) {
    const StructuredAppend& sequence = *headers.sequence;
    if (sequence.count < 2 || sequence.count > kMaxSequenceSymbols || sequence.position < 0 ||
        sequence.position >= sequence.count) {
      return false;
    }
  }

  BitWriter writer(out);
  if (headers.sequence) {
    writer.Put(kStructuredAppendIndicator, kModeIndicatorBits);
    writer.Put(static_cast<std::uint32_t>(headers.sequence->position), kSequenceFieldBits);
    writer.Put(static_cast<std::uint32_t>(headers.sequence->count - 1), kSequenceFieldBits);
    writer.Put(headers.sequence->parity, kParityBits);
  }
  if (headers.eci) {
    writer.Put(kEciIndicator, kModeIndicatorBits);
    writer.Put(kUtf8Designator, kEciDesignatorBits);
  }
  for (const Segment& segment : segments) {
    writer.Put(kModeIndicator[segment.mode], kModeIndicatorBits);
    writer.Put(static_cast<std::uint32_t>(Characters(segment.mode, segment.length)),
               kCountBits[segment.mode][range]);
    PutCharacters(writer, text + segment.start, segment);
  }
  // A full symbol has no room for the whole terminator: what is left of it
  // is left out.
  writer.Put(0, static_cast<int>(std::min<std::int64_t>(kTerminatorBits, capacity - bits)));
  writer.Align();
  for (int n = writer.Codewords(), k = 0; n < codewords; ++n, k ^= 1) {
    out[n] = kPadCodewords[k];
  }
  return true;
}

}  // namespace qrimage
