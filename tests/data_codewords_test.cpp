// Version selection and the byte-mode data codewords.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "api/encode_state.h"
#include "api/version_select.h"
#include "ecc/block_layout.h"
#include "qrimage.h"
#include "test_util.h"

namespace qrimage {
namespace {

// Runs the first two steps on `text` the way the entry point does.
int Select(const std::string& text, std::uint8_t letter) {
  std::memcpy(textBuffer, text.c_str(), text.size() + 1);
  return SelectVersion(letter, encodeState);
}

std::vector<int> Codewords(const std::string& text, char level) {
  EXPECT_EQ(Select(text, static_cast<std::uint8_t>(level)), 0);
  BuildDataCodewords(encodeState);
  return std::vector<int>(encodeState.dataCodewords,
                          encodeState.dataCodewords + encodeState.dataCodewordCount);
}

TEST(SelectVersion, EveryCapacityBoundary) {
  for (int level = 0; level < 4; ++level) {
    const auto letter = static_cast<std::uint8_t>(kLevelLetters[level]);
    for (int version = 1; version <= 40; ++version) {
      const int capacity = kByteCapacity[version - 1][level];
      ASSERT_EQ(Select(std::string(capacity, 'x'), letter), 0);
      EXPECT_EQ(encodeState.version, version);
      EXPECT_EQ(encodeState.level, level);
      // The data codeword count agrees with the block structure.
      const BlockLayoutEntry& e = BlockLayoutFor(version, level);
      EXPECT_EQ(encodeState.dataCodewordCount, e.blocks1 * e.data1 + e.blocks2 * e.data2);
      const int next = Select(std::string(capacity + 1, 'x'), letter);
      if (version < 40) {
        ASSERT_EQ(next, 0);
        EXPECT_EQ(encodeState.version, version + 1);
      } else {
        EXPECT_EQ(next, -2);
        EXPECT_EQ(encodeState.version, 40);  // left as the last success set it
      }
    }
  }
}

TEST(SelectVersion, TellingCapacities) {
  const int expected[][5] = {{1, 17, 14, 11, 7},
                             {2, 32, 26, 20, 14},
                             {9, 230, 180, 130, 98},
                             {10, 271, 213, 151, 119},
                             {40, 2953, 2331, 1663, 1273}};
  for (const auto& row : expected) {
    for (int level = 0; level < 4; ++level) {
      EXPECT_EQ(kByteCapacity[row[0] - 1][level], row[level + 1]);
    }
  }
}

TEST(SelectVersion, OnlyTheFourUpperCaseLettersAreLevels) {
  for (int letter = 0; letter < 256; ++letter) {
    const bool valid = letter == 'L' || letter == 'M' || letter == 'Q' || letter == 'H';
    EXPECT_EQ(Select("", static_cast<std::uint8_t>(letter)), valid ? 0 : -1) << letter;
    EXPECT_EQ(encodeState.textLength, 0);
  }
}

TEST(SelectVersion, EntryPointRejectsBadLevelsAndLongTextsWithoutAFile) {
  const std::string path = qrtest::ScratchPath("rejected.bmp");
  for (char level : {'l', 'm', 'q', 'h', 'A', '\0', ' '}) {
    EXPECT_EQ(QRImage("", level, path.c_str()), QRIMAGE_ERROR_INPUT);
  }
  const int limits[4] = {2953, 2331, 1663, 1273};
  for (int level = 0; level < 4; ++level) {
    EXPECT_EQ(
        QRImage(std::string(limits[level] + 1, 'a').c_str(), kLevelLetters[level], path.c_str()),
        QRIMAGE_ERROR_INPUT);
  }
  EXPECT_FALSE(qrtest::FileExists(path));
  EXPECT_EQ(QRImage(std::string(2953, 'a').c_str(), 'L', path.c_str()), 40);
}

TEST(SelectVersion, OnlyTheLowByteOfTheLevelCounts) {
  const std::string plain = qrtest::ScratchPath("q.bmp");
  const std::string high = qrtest::ScratchPath("q-high.bmp");
  ASSERT_EQ(QRImage("level test", 'Q', plain.c_str()), 1);
  ASSERT_EQ(QRImage("level test", static_cast<int>(0x7A5B3C00u | 'Q'), high.c_str()), 1);
  EXPECT_EQ(qrtest::ReadFile(plain), qrtest::ReadFile(high));
  EXPECT_EQ(QRImage("level test", 0x100 | 'q', high.c_str()), QRIMAGE_ERROR_INPUT);
}

TEST(DataCodewords, AbcAtLevelM) {
  EXPECT_EQ(Codewords("abc", 'M'),
            (std::vector<int>{0x40, 0x36, 0x16, 0x26, 0x30, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11,
                              0xEC, 0x11, 0xEC, 0x11, 0xEC}));
}

TEST(DataCodewords, EmptyTextIsHeaderThenPads) {
  const int pads[4] = {17, 14, 11, 7};
  for (int level = 0; level < 4; ++level) {
    const std::vector<int> words = Codewords("", kLevelLetters[level]);
    EXPECT_EQ(encodeState.version, 1);
    ASSERT_EQ(static_cast<int>(words.size()), 2 + pads[level]);
    EXPECT_EQ(words[0], 0x40);
    EXPECT_EQ(words[1], 0x00);
    for (int i = 0; i < pads[level]; ++i) {
      EXPECT_EQ(words[2 + i], i % 2 ? 0x11 : 0xEC);
    }
  }
}

TEST(DataCodewords, SixteenBitCountFromVersion10) {
  const std::string text(271, '\xA7');
  const std::vector<int> words = Codewords(text, 'L');
  EXPECT_EQ(encodeState.version, 10);
  ASSERT_EQ(words.size(), 274u);  // full: no pad codeword
  EXPECT_EQ(words[0], 0x40);
  EXPECT_EQ(words[1], 0x10);  // 271 = 0x010F
  EXPECT_EQ(words[2], 0xF0 | 0xA);
  EXPECT_EQ(words[3], 0x7A);
  EXPECT_EQ(words[273], 0x70);  // last low nibble, then the terminator
}

TEST(DataCodewords, FullTextHasNoPadAndEndsWithTheTerminator) {
  const std::vector<int> words = Codewords(std::string(17, '\x5C'), 'L');
  ASSERT_EQ(words.size(), 19u);
  EXPECT_EQ(words[0], 0x41);  // count 17 = 0x11
  EXPECT_EQ(words[1], 0x15);
  EXPECT_EQ(words[18], 0xC0);
}

TEST(DataCodewords, AllFFTextFillsEveryDataNibble) {
  const std::vector<int> words = Codewords(std::string(100, '\xFF'), 'M');
  EXPECT_EQ(encodeState.version, 6);
  EXPECT_EQ(words[0], 0x46);  // count 100 = 0x64
  EXPECT_EQ(words[1], 0x4F);
  for (int i = 2; i <= 100; ++i) {
    EXPECT_EQ(words[i], 0xFF) << i;
  }
  EXPECT_EQ(words[101], 0xF0);
  EXPECT_EQ(words[102], 0xEC);
}

TEST(DataCodewords, BytesPastTheCountAreLeftAlone) {
  std::memset(encodeState.dataCodewords, 0x33, sizeof encodeState.dataCodewords);
  Codewords("abc", 'H');
  EXPECT_EQ(encodeState.dataCodewordCount, 9);
  EXPECT_EQ(encodeState.dataCodewords[9], 0x33);
}

}  // namespace
}  // namespace qrimage
