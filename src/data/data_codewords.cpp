// The byte-mode bit stream, packed into codewords and padded.
#include "data/version_select.h"

namespace qrimage {

namespace {

// With an ECI header the stream is 0111, the designator 26 (UTF-8) in 8
// bits, then byte mode 0100: two whole codewords, so the count and every
// text byte fall on codeword boundaries. The terminator and the zero bits
// completing its codeword take one codeword, left out when the text fills
// the symbol.
int WriteEciSegment(const EncodeState& state, std::uint8_t* out) {
  constexpr std::uint8_t kUtf8Designator = 26;
  int n = 0;
  out[n++] = static_cast<std::uint8_t>(0x70 | (kUtf8Designator >> 4));
  out[n++] = static_cast<std::uint8_t>((kUtf8Designator & 0x0F) << 4 | 0x4);
  const int length = state.textLength;
  if (CountBits(state.version) == 16) {
    out[n++] = static_cast<std::uint8_t>(length >> 8);
  }
  out[n++] = static_cast<std::uint8_t>(length);
  for (int i = 0; i < length; ++i) {
    out[n++] = state.text[i];
  }
  if (n < state.dataCodewordCount) {
    out[n++] = 0x00;
  }
  return n;
}

}  // namespace

void BuildDataCodewords(EncodeState& state) {
  std::uint8_t* out = state.dataCodewords;
  const std::uint8_t* text = state.text;
  const int length = state.textLength;

  int n = 0;
  if (state.eci) {
    n = WriteEciSegment(state, out);
  } else {
    // Mode 0100 and the count; the count is 8 bits up to version 9 and 16
    // bits from version 10. The header ends half-way through a codeword, so
    // every text byte below straddles two codewords.
    int pending;  // low nibble still to be written, in the high half of a codeword
    if (state.version < 10) {
      out[n++] = static_cast<std::uint8_t>(0x40 | (length >> 4));
      pending = length & 0x0F;
    } else {
      out[n++] = static_cast<std::uint8_t>(0x40 | (length >> 12));
      out[n++] = static_cast<std::uint8_t>(length >> 4);
      pending = length & 0x0F;
    }
    for (int i = 0; i < length; ++i) {
      out[n++] = static_cast<std::uint8_t>((pending << 4) | (text[i] >> 4));
      pending = text[i] & 0x0F;
    }
    // The terminator 0000 fills the low half of the last codeword.
    out[n++] = static_cast<std::uint8_t>(pending << 4);
  }

  for (bool even = true; n < state.dataCodewordCount; even = !even) {
    out[n++] = even ? 0xEC : 0x11;
  }
}

}  // namespace qrimage
