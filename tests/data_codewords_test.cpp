// Version selection and the byte-mode data codewords.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/version_select.h"
#include "qrimage.h"
#include "state/encode_state.h"
#include "symbol_checker.h"
#include "test_util.h"

namespace qrimage {
namespace {

// Runs the first two steps on `text` the way the entry point does.
int Select(const std::string& text, std::uint8_t letter, int floor = 1, bool eci = false) {
  std::memcpy(textBuffer, text.c_str(), text.size() + 1);
  return SelectVersion(letter, encodeState, floor, eci);
}

std::vector<int> Codewords(const std::string& text, char level, int floor = 1, bool eci = false) {
  EXPECT_EQ(Select(text, static_cast<std::uint8_t>(level), floor, eci), 0);
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
      EXPECT_EQ(encodeState.dataCodewordCount, qrtest::DataCodewords(version, level));
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

TEST(SelectVersion, CapacitiesFollowFromGeometryAndBlocks) {
  for (int version = 1; version <= 40; ++version) {
    for (int level = 0; level < 4; ++level) {
      EXPECT_EQ(kByteCapacity[version - 1][level], qrtest::ByteCapacity(version, level))
          << "version " << version << " level " << level;
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
  for (int level = 0; level < 4; ++level) {
    const std::string tooLong(qrtest::ByteCapacity(40, level) + 1, 'a');
    EXPECT_EQ(QRImage(tooLong.c_str(), kLevelLetters[level], path.c_str()), QRIMAGE_ERROR_INPUT);
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
  for (int level = 0; level < 4; ++level) {
    const std::vector<int> words = Codewords("", kLevelLetters[level]);
    EXPECT_EQ(encodeState.version, 1);
    const int pads = qrtest::DataCodewords(1, level) - 2;
    ASSERT_EQ(static_cast<int>(words.size()), 2 + pads);
    EXPECT_EQ(words[0], 0x40);
    EXPECT_EQ(words[1], 0x00);
    for (int i = 0; i < pads; ++i) {
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

// A version floor, and the ECI header 0111 + designator 26 before byte
// mode: its 12 bits push a text that fills version 1 into version 2, and a
// full symbol has no room for the terminator.
TEST(DataCodewords, VersionFloorAndEciHeader) {
  struct Row {
    int length;
    char level;
    int floor;
    bool eci;
    int version;
    std::vector<int> head;
    int last;
  };
  const Row rows[] = {{3, 'M', 1, true, 1, {0x71, 0xA4, 0x03, 0x61, 0x61, 0x61, 0x00, 0xEC}, 0xEC},
                      {13, 'M', 1, true, 1, {0x71, 0xA4, 0x0D, 0x61}, 0x61},
                      {14, 'M', 1, true, 2, {0x71, 0xA4, 0x0E, 0x61}, 0x11},
                      {300, 'L', 1, true, 11, {0x71, 0xA4, 0x01, 0x2C, 0x61}, 0xEC},
                      {3, 'M', 7, false, 7, {0x40, 0x36, 0x16, 0x16, 0x10, 0xEC}, 0xEC}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.length << " bytes, floor " << row.floor);
    const std::vector<int> words =
        Codewords(std::string(row.length, 'a'), row.level, row.floor, row.eci);
    EXPECT_EQ(encodeState.version, row.version);
    EXPECT_EQ(std::vector<int>(words.begin(), words.begin() + row.head.size()), row.head);
    EXPECT_EQ(words.back(), row.last);
  }
  EXPECT_EQ(Select("", 'M', 0), -1);
  EXPECT_EQ(Select("", 'M', 41), -1);
}

TEST(DataCodewords, BytesPastTheCountAreLeftAlone) {
  std::memset(encodeState.dataCodewords, 0x33, sizeof encodeState.dataCodewords);
  Codewords("abc", 'H');
  EXPECT_EQ(encodeState.dataCodewordCount, 9);
  EXPECT_EQ(encodeState.dataCodewords[9], 0x33);
}

}  // namespace
}  // namespace qrimage
