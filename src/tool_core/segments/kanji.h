// Kanji mode's characters: the two-byte Shift JIS codes of JIS X 0208 in
// 0x8140-0x9FFC and 0xE040-0xEBBF, and the Unicode characters they stand
// for. A text for Kanji segments is in Shift JIS: ASCII bytes below 0x80,
// each Kanji character two bytes, the first from 0x81 up.
#ifndef QRIMAGE_SRC_TOOL_CORE_SEGMENTS_KANJI_H
#define QRIMAGE_SRC_TOOL_CORE_SEGMENTS_KANJI_H

#include <cstdint>

namespace qrimage {

struct KanjiPair {
  std::uint16_t unicode;
  std::uint16_t shiftJis;
};

// Generated from the C library's converter by scripts/kanji_table.py,
// sorted by code point; 0x817C is left out, as readers disagree on it.
constexpr int kKanjiTableSize = 6878;
extern const KanjiPair kKanjiTable[kKanjiTableSize];

// The Shift JIS code of `character` in Kanji mode, or 0 when it has none.
std::uint16_t ShiftJisCode(char32_t character);

// Whether the two bytes from `lead` on form a code that Kanji mode can
// write, and the 13 bits it writes: the code less 0x8140 (0xC140 from
// 0xE040 on), then its high byte times 0xC0 plus its low byte.
constexpr bool IsKanjiCode(std::uint8_t lead, std::uint8_t trail) {
  const bool leadHeld = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEB);
  const bool trailHeld = trail >= 0x40 && trail <= 0xFC && trail != 0x7F;
  return leadHeld && trailHeld && !(lead == 0xEB && trail > 0xBF);
}
constexpr std::uint16_t KanjiValue(std::uint8_t lead, std::uint8_t trail) {
  const int code = (lead << 8 | trail) - (lead < 0xE0 ? 0x8140 : 0xC140);
  return static_cast<std::uint16_t>((code >> 8) * 0xC0 + (code & 0xFF));
}
static_assert(KanjiValue(0x93, 0x5F) == 0xD9F && KanjiValue(0xE4, 0xAA) == 0x1AAA &&
              KanjiValue(0xEB, 0xBF) == 0x1FFF);

}  // namespace qrimage

#endif
