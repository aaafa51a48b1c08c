// Level letter to level index, and the smallest version that fits.
#include "data/version_select.h"

namespace qrimage {

int SelectVersion(std::uint8_t letter, EncodeState& state) {
  state.text = textBuffer;
  int length = 0;
  while (length < kTextBufferSize && textBuffer[length] != 0) {
    ++length;
  }
  state.textLength = length;

  int level = 0;
  while (level < 4 && static_cast<std::uint8_t>(kLevelLetters[level]) != letter) {
    ++level;
  }
  if (level == 4) {
    return -1;
  }
  state.level = static_cast<std::uint8_t>(level);

  for (int version = kMinVersion; version <= kMaxVersion; ++version) {
    if (kByteCapacity[version - 1][level] >= length) {
      state.version = version;
      state.dataCodewordCount = DataCodewordCount(version, level);
      return 0;
    }
  }
  return -2;
}

}  // namespace qrimage
