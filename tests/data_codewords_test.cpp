// Version selection and the data codewords: the library's byte mode, and
// the tool's shortest segments.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "data/version_select.h"
#include "qrimage.h"
#include "state/encode_state.h"
#include "symbol_checker.h"
#include "test_util.h"
#include "tool_core/segments/symbol_plan.h"

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

const std::uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

// The tool's data codewords of a planned symbol.
std::vector<int> Codewords(const std::string& text, const SymbolPlan& plan) {
  std::uint8_t out[kMaxDataCodewords];
  const int count = DataCodewordCount(plan.version, plan.level);
  EXPECT_TRUE(
      WriteSegmentStream(Bytes(text), plan.segments, plan.headers, plan.version, out, count));
  return std::vector<int>(out, out + count);
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

// The tool's byte segment behind a version floor, or the ECI header 0111 +
// designator 26: its 12 bits push a text that fills version 1 into version
// 2, and a full symbol has no room for the terminator.
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
    const int level = static_cast<int>(std::string("LMQH").find(row.level));
    SymbolPlan plan;
    ASSERT_TRUE(PlanBytes(row.length, level, row.floor, row.eci, plan));
    EXPECT_EQ(plan.version, row.version);
    const std::vector<int> words = Codewords(std::string(row.length, 'a'), plan);
    EXPECT_EQ(std::vector<int>(words.begin(), words.begin() + row.head.size()), row.head);
    EXPECT_EQ(words.back(), row.last);
  }
  SymbolPlan plan;
  EXPECT_FALSE(PlanBytes(0, 1, 0, false, plan));
  EXPECT_FALSE(PlanBytes(0, 1, 41, false, plan));
}

// The tool's streams: "01234567" numeric, 0001, count 8 in 10 bits, 012 345
// in 10 bits each, 67 in 7, terminator; "AC-42" alphanumeric, 0010, count 5
// in 9 bits, 10 * 45 + 12, 41 * 45 + 4 in 11 bits each, 2 in 6, terminator;
// Shift JIS 0x938C Kanji, 1000, count 1 in 8 bits, 0x124C as 0x12 * 0xC0 +
// 0x4C = 3532 in 13 bits, terminator.
TEST(DataCodewords, NumericAndAlphanumericStreams) {
  struct Row {
    std::string text;
    int level;
    std::vector<int> head;
    bool shiftJis = false;
  };
  const Row rows[] = {{"01234567", 1, {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11}},
                      {"AC-42", 0, {0x20, 0x29, 0xCE, 0xE7, 0x21, 0x00, 0xEC, 0x11}},
                      {"\x93\x8C", 0, {0x80, 0x16, 0xE6, 0x00, 0xEC, 0x11}, true}};
  for (const Row& row : rows) {
    SymbolPlan plan;
    ASSERT_TRUE(
        PlanSymbol(Bytes(row.text), row.text.size(), row.level, 1, false, plan, row.shiftJis));
    const std::vector<int> words = Codewords(row.text, plan);
    EXPECT_EQ(std::vector<int>(words.begin(), words.begin() + row.head.size()), row.head)
        << row.text;
  }
}

// Shortest splits worked out by hand: bits of the mode indicators, counts
// and data, for versions 1-9 (range 0), 10-26 (1) and 27-40 (2).
TEST(Segments, ShortestSplitsKnownByHand) {
  struct Row {
    std::string text;
    int range;
    std::int64_t bits;
    std::vector<Segment> segments;
    bool shiftJis = false;
  };
  const Row rows[] = {
      // Numeric 4 + 10 + 3 * 10 + 4.
      {"0123456789", 0, 48, {{kNumericMode, 0, 10}}},
      // Alphanumeric 4 + 9 + 11 (byte: 4 + 8 + 16).
      {"A1", 0, 24, {{kAlphanumericMode, 0, 2}}},
      // 4 + 9 + 3 * 11; the narrowest mode of each character would switch 5 times.
      {"A1B2C3", 0, 46, {{kAlphanumericMode, 0, 6}}},
      // Byte 4 + 8 + 24 = 36; byte "a" 20 then numeric 4 + 10 + 7 = 41.
      {"a12", 0, 36, {{kByteMode, 0, 3}}},
      // Alphanumeric 4 + 9 + 7 * 11 = 90, numeric 4 + 10 + 4 * 10 + 7 = 61.
      {"HTTPS://X.ORG/12345678901234",
       0,
       151,
       {{kAlphanumericMode, 0, 14}, {kNumericMode, 14, 14}}},
      // 20 + (4 + 10 + 20) + 20 = 74 against all byte 12 + 64 = 76; with the
      // wider counts 28 + 36 + 28 = 92 against 20 + 64 = 84.
      {"a123456b", 0, 74, {{kByteMode, 0, 1}, {kNumericMode, 1, 6}, {kByteMode, 7, 1}}},
      {"a123456b", 1, 84, {{kByteMode, 0, 8}}},
      // An empty text is one empty byte segment: 4 + 8, 4 + 16.
      {"", 0, 12, {{kByteMode, 0, 0}}},
      {"", 2, 20, {{kByteMode, 0, 0}}},
      // Shift JIS: Kanji 4 + 8 + 2 * 13 = 38, then alphanumeric 4 + 9 + 6 =
      // 19 (the second byte of 0x8341 is 'A'); with 12-bit counts 4 + 12 + 26.
      {"\x93\x8C\x8B\x9E"
       "A",
       0,
       57,
       {{kKanjiMode, 0, 4}, {kAlphanumericMode, 4, 1}},
       true},
      {"\x83\x41\x83\x41", 2, 42, {{kKanjiMode, 0, 4}}, true},
  };
  for (const Row& row : rows) {
    std::vector<Segment> segments;
    EXPECT_EQ(
        ShortestSegments(Bytes(row.text), row.text.size(), row.range, &segments, row.shiftJis),
        row.bits)
        << row.text << " range " << row.range;
    EXPECT_EQ(segments, row.segments) << row.text << " range " << row.range;
  }
}

// Against every split of short texts over digits, alphanumeric-only and
// byte-only characters, and in Shift JIS texts Kanji characters (one with
// an 'A' as its second byte) too, tried one by one.
TEST(Segments, ShortestSplitIsTheLeastOfAllSplits) {
  const std::vector<std::string> alphabet = {"0", "7", "A", "-", "a", "\x93\x8C", "\x83\x41"};
  std::uint32_t seed = 1;
  for (int trial = 0; trial < 6000; ++trial) {
    const bool shiftJis = trial % 2 == 1;
    std::vector<std::string> chars;
    for (int length = trial / 2 % 10; length > 0; --length) {
      seed = seed * 1103515245u + 12345u;
      chars.push_back(alphabet[(seed >> 16) % (shiftJis ? alphabet.size() : 5)]);
    }
    const std::string text = std::accumulate(chars.begin(), chars.end(), std::string());
    const int range = trial % kVersionRangeCount;
    // least[i]: the fewest bits for chars[i..]; each segment in each mode that holds it.
    const auto modeOf = [](const std::string& c) {
      return c.size() == 2
                 ? kKanjiMode
                 : static_cast<SegmentMode>(kNarrowestMode[static_cast<std::uint8_t>(c[0])]);
    };
    std::vector<std::int64_t> least(chars.size() + 1, 0);
    for (int i = static_cast<int>(chars.size()) - 1; i >= 0; --i) {
      least[i] = INT64_MAX;
      for (int mode = 0; mode < kSegmentModeCount; ++mode) {
        const auto m = static_cast<SegmentMode>(mode);
        for (std::size_t j = i + 1; j <= chars.size() && modeOf(chars[j - 1]) <= mode &&
                                    (m == kKanjiMode) == (modeOf(chars[j - 1]) == kKanjiMode);
             ++j) {
          least[i] = std::min(least[i], SegmentBits(m, j - i, range) + least[j]);
        }
      }
    }
    std::vector<Segment> segments;
    const std::int64_t bits =
        ShortestSegments(Bytes(text), text.size(), range, &segments, shiftJis);
    if (!text.empty()) {
      EXPECT_EQ(bits, least[0]) << text << " range " << range;
    }
    EXPECT_EQ(SegmentsBits(segments, range), bits) << text;
    std::uint8_t out[kMaxDataCodewords];
    EXPECT_TRUE(WriteSegmentStream(Bytes(text), segments, {}, 40, out, 2956)) << text;
    std::uint32_t covered = 0;
    for (const Segment& segment : segments) {
      EXPECT_EQ(segment.start, covered) << text;
      covered += segment.length;
    }
    EXPECT_EQ(covered, text.size()) << text;
  }
}

// Version 40 at L holds 23648 bits: 7089 digits (4 + 14 + 2363 * 10 bits),
// 4296 alphanumeric characters (4 + 13 + 2148 * 11 = 23645), 2953 bytes; at
// H 10208 bits, 3057 digits. One character more takes two symbols.
TEST(Segments, LargestSymbolAndSequences) {
  struct Row {
    char c;
    std::size_t longest;
    int level;
  };
  for (const Row& row :
       {Row{'7', 7089, 0}, Row{'Z', 4296, 0}, Row{'z', 2953, 0}, Row{'7', 3057, 3}}) {
    const std::string text(row.longest + 1, row.c);
    EXPECT_EQ(LongestPrefixHeld(Bytes(text), text.size(), row.level, false, false), row.longest);
    SymbolPlan plan;
    EXPECT_TRUE(PlanSymbol(Bytes(text), row.longest, row.level, 1, false, plan));
    EXPECT_EQ(plan.version, 40);
    EXPECT_FALSE(PlanSymbol(Bytes(text), text.size(), row.level, 1, false, plan));
    EXPECT_EQ(SymbolsNeeded(Bytes(text), text.size(), row.level, false, false), 2);
  }
}

TEST(DataCodewords, BytesPastTheCountAreLeftAlone) {
  std::memset(encodeState.dataCodewords, 0x33, sizeof encodeState.dataCodewords);
  Codewords("abc", 'H');
  EXPECT_EQ(encodeState.dataCodewordCount, 9);
  EXPECT_EQ(encodeState.dataCodewords[9], 0x33);
}

}  // namespace
}  // namespace qrimage
