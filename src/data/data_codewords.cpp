// The byte-mode bit stream, packed into codewords and padded.
#include "data/version_select.h"

namespace qrimage {

void BuildDataCodewords(EncodeState& state) {
  std::uint8_t* out = state.dataCodewords;
  const std::uint8_t* text = state.text;
  const int length = state.textLength;

  // Mode 0100 and the count; the count is 8 bits up to version 9 and 16
  // bits from version 10. The header ends half-way through a codeword, so
  // every text byte below straddles two codewords.
  int n = 0;
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

  for (bool even = true; n < state.dataCodewordCount; even = !even) {
    out[n++] = even ? 0xEC : 0x11;
  }
}

}  // namespace qrimage
