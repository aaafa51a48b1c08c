// The bit stream of a symbol's data codewords, most significant bit first.
#ifndef QRIMAGE_SRC_TOOL_CORE_SEGMENTS_BIT_WRITER_H
#define QRIMAGE_SRC_TOOL_CORE_SEGMENTS_BIT_WRITER_H

#include <cstdint>

namespace qrimage {

// Most significant bit first, eight bits to a codeword.
class BitWriter {
 public:
  explicit BitWriter(std::uint8_t* out) : out(out) {}

  // `count` <= 25 bits of `value`.
  void Put(std::uint32_t value, int count) {
    pending = pending << count | value;
    pendingBits += count;
    while (pendingBits >= 8) {
      pendingBits -= 8;
      out[written++] = static_cast<std::uint8_t>(pending >> pendingBits);
    }
  }
  // Zero bits up to the codeword's end.
  void Align() {
    if (pendingBits > 0) {
      Put(0, 8 - pendingBits);
    }
  }
  int Codewords() const { return written; }
  int Bits() const { return 8 * written + pendingBits; }

 private:
  std::uint8_t* out;
  std::uint64_t pending = 0;
  int pendingBits = 0;
  int written = 0;
};

}  // namespace qrimage

#endif
