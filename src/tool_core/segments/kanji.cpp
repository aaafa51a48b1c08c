#include "tool_core/segments/kanji.h"

#include <algorithm>

namespace qrimage {

std::uint16_t ShiftJisCode(char32_t character) {
  const KanjiPair* const end = kKanjiTable + kKanjiTableSize;
  const KanjiPair* const found = std::lower_bound(
      kKanjiTable, end, character,
      [](const KanjiPair& pair, char32_t wanted) { return pair.unicode < wanted; });
  return found != end && found->unicode == character ? found->shiftJis : 0;
}

}  // namespace qrimage
