// Mask templates, module placement, format and version information.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "ecc/block_layout.h"
#include "state/encode_state.h"
#include "symbol/symbol.h"
#include "symbol_checker.h"

namespace qrimage {
namespace {

using Module = std::pair<int, int>;

std::uint8_t& At(ModuleGrid& grid, int r, int c) {
  return grid[r * GRID_STRIDE + c];
}

void Templates(int version) {
  encodeState.version = version;
  BuildMaskTemplates(encodeState);
}

int CountReserved(int version) {
  const int n = SymbolSize(version);
  int reserved = 0;
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      reserved += At(encodeState.maskTemplates[0], r, c) == MODULE_RESERVED;
    }
  }
  return reserved;
}

// Remainder modules after the last codeword bit, by version.
int RemainderBits(int version) {
  if (version >= 2 && version <= 6)
    return 7;
  if ((version >= 14 && version <= 20) || (version >= 28 && version <= 34))
    return 3;
  if (version >= 21 && version <= 27)
    return 4;
  return 0;
}

int TotalCodewords(int version) {
  const BlockLayoutEntry& e = BlockLayoutFor(version, 0);
  return e.blocks1 * e.total1 + e.blocks2 * e.total2;
}

TEST(MaskTemplates, ReservedModulesLeaveRoomForExactlyTheCodewords) {
  Templates(1);
  EXPECT_EQ(CountReserved(1), 233);
  for (int version = 1; version <= 40; ++version) {
    Templates(version);
    const int n = SymbolSize(version);
    EXPECT_EQ(n * n - CountReserved(version), 8 * TotalCodewords(version) + RemainderBits(version))
        << version;
    // Every template reserves the same modules, and nothing else takes a
    // value other than 0x00 or 0xFF.
    for (int m = 0; m < 8; ++m) {
      for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
          const std::uint8_t t = At(encodeState.maskTemplates[m], r, c);
          ASSERT_EQ(t == MODULE_RESERVED,
                    At(encodeState.maskTemplates[0], r, c) == MODULE_RESERVED);
          ASSERT_TRUE(t == MODULE_RESERVED || t == MODULE_DARK || t == MODULE_LIGHT);
        }
      }
    }
    EXPECT_EQ(At(encodeState.maskTemplates[5], n - 8, 8), MODULE_RESERVED);
  }
}

TEST(MaskTemplates, VersionAreasFromVersion7) {
  Templates(6);
  for (int a = 0; a <= 5; ++a) {
    for (int b = 30; b <= 32; ++b) {
      EXPECT_NE(At(encodeState.maskTemplates[0], a, b), MODULE_RESERVED);
      EXPECT_NE(At(encodeState.maskTemplates[0], b, a), MODULE_RESERVED);
    }
  }
  Templates(7);
  for (int a = 0; a <= 5; ++a) {
    for (int b = 34; b <= 36; ++b) {
      EXPECT_EQ(At(encodeState.maskTemplates[3], a, b), MODULE_RESERVED);
      EXPECT_EQ(At(encodeState.maskTemplates[3], b, a), MODULE_RESERVED);
    }
  }
  std::set<Module> centers;
  ForEachAlignmentCenter(7, [&](int r, int c) { centers.insert({r, c}); });
  EXPECT_EQ(centers, (std::set<Module>{{6, 22}, {22, 6}, {22, 22}, {22, 38}, {38, 22}, {38, 38}}));
  int count40 = 0;
  ForEachAlignmentCenter(40, [&](int, int) { ++count40; });
  EXPECT_EQ(count40, 46);
}

TEST(MaskTemplates, MaskConditions) {
  Templates(1);
  const std::uint8_t at0x9[8] = {0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF};
  const std::uint8_t at5x11[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF};
  for (int m = 0; m < 8; ++m) {
    EXPECT_EQ(At(encodeState.maskTemplates[m], 0, 9), at0x9[m]) << m;
    EXPECT_EQ(At(encodeState.maskTemplates[m], 5, 11), at5x11[m]) << m;
  }
  // Mask 1 is horizontal stripes on even rows, mask 2 vertical ones every third column.
  Templates(10);
  EXPECT_EQ(At(encodeState.maskTemplates[1], 10, 20), MODULE_DARK);
  EXPECT_EQ(At(encodeState.maskTemplates[1], 11, 20), MODULE_LIGHT);
  EXPECT_EQ(At(encodeState.maskTemplates[2], 11, 21), MODULE_DARK);
  EXPECT_EQ(At(encodeState.maskTemplates[2], 11, 22), MODULE_LIGHT);
}

TEST(MaskTemplates, DependOnTheCurrentVersionOnly) {
  const int n = SymbolSize(2);
  auto corner = [&] {
    std::vector<std::uint8_t> bytes;
    for (int m = 0; m < 8; ++m) {
      for (int r = 0; r < n; ++r) {
        bytes.insert(bytes.end(), &At(encodeState.maskTemplates[m], r, 0),
                     &At(encodeState.maskTemplates[m], r, 0) + n);
      }
    }
    return bytes;
  };
  for (ModuleGrid& t : encodeState.maskTemplates) {
    t.fill(0x00);
  }
  Templates(2);
  const std::vector<std::uint8_t> clean = corner();
  Templates(3);
  EXPECT_EQ(At(encodeState.maskTemplates[0], 22, 22), MODULE_RESERVED);
  Templates(2);
  EXPECT_EQ(corner(), clean);
  EXPECT_NE(At(encodeState.maskTemplates[0], 21, 21), MODULE_RESERVED);
  EXPECT_EQ(At(encodeState.maskTemplates[0], 18, 18), MODULE_RESERVED);
}

// Places codewords for `version` with only the given bits set and returns
// the dark modules outside the function patterns.
std::set<Module> DarkDataModules(int version, const std::vector<int>& bits) {
  Templates(version);
  std::memset(encodeState.finalCodewords, 0, sizeof encodeState.finalCodewords);
  for (int bit : bits) {
    encodeState.finalCodewords[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
  }
  encodeState.level = 0;
  PlaceModules(encodeState);
  std::set<Module> dark;
  const int n = SymbolSize(version);
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      if (At(encodeState.maskTemplates[0], r, c) != MODULE_RESERVED &&
          At(encodeState.matrix, r, c) == MODULE_DARK) {
        dark.insert({r, c});
      }
    }
  }
  return dark;
}

TEST(Placement, Version1ZigZag) {
  const Module codeword0[8] = {{20, 20}, {20, 19}, {19, 20}, {19, 19},
                               {18, 20}, {18, 19}, {17, 20}, {17, 19}};
  for (int bit = 0; bit < 8; ++bit) {
    EXPECT_EQ(DarkDataModules(1, {bit}), (std::set<Module>{codeword0[bit]})) << bit;
  }
  EXPECT_EQ(DarkDataModules(1, {23}), (std::set<Module>{{9, 19}}));  // top of the first pair
  EXPECT_EQ(DarkDataModules(1, {24}), (std::set<Module>{{9, 18}}));  // codeword 3, downward
  EXPECT_EQ(DarkDataModules(1, {207}), (std::set<Module>{{12, 0}}));
  EXPECT_EQ(DarkDataModules(1, {}).size(), 0u);
  EXPECT_EQ(DarkDataModules(2, {351}), (std::set<Module>{{13, 1}}));  // version 2's last bit
}

TEST(Placement, RemainderModulesStayLight) {
  Templates(40);
  std::memset(encodeState.finalCodewords, 0xFF, sizeof encodeState.finalCodewords);
  encodeState.version = 2;
  BuildMaskTemplates(encodeState);
  encodeState.level = 0;
  PlaceModules(encodeState);
  const std::set<Module> remainder = {{13, 0}, {14, 1}, {14, 0}, {15, 1},
                                      {15, 0}, {16, 1}, {16, 0}};
  int light = 0;
  for (int r = 0; r < 25; ++r) {
    for (int c = 0; c < 25; ++c) {
      if (At(encodeState.maskTemplates[0], r, c) != MODULE_RESERVED &&
          At(encodeState.matrix, r, c) == MODULE_LIGHT) {
        ++light;
        EXPECT_TRUE(remainder.count({r, c})) << r << "," << c;
      }
    }
  }
  EXPECT_EQ(light, 7);
}

TEST(Placement, FunctionPatterns) {
  DarkDataModules(2, {});
  const ModuleGrid& m = encodeState.matrix;
  auto dark = [&](int r, int c) { return m[r * GRID_STRIDE + c] == MODULE_DARK; };
  for (int a = 0; a < 7; ++a) {
    for (int b = 0; b < 7; ++b) {
      const bool expected = kFinderPattern[a][b] == MODULE_DARK;
      EXPECT_EQ(dark(a, b), expected);
      EXPECT_EQ(dark(a, 18 + b), expected);
      EXPECT_EQ(dark(18 + a, b), expected);
    }
  }
  for (int k = 8; k <= 16; ++k) {
    EXPECT_EQ(dark(6, k), k % 2 == 0);
    EXPECT_EQ(dark(k, 6), k % 2 == 0);
  }
  for (int a = 0; a < 5; ++a) {
    for (int b = 0; b < 5; ++b) {
      EXPECT_EQ(dark(16 + a, 16 + b), kAlignmentPattern[a][b] == MODULE_DARK);
    }
  }
  EXPECT_TRUE(dark(18, 18));
  // Separators, format areas and the dark module are left light.
  for (int k = 0; k <= 8; ++k) {
    EXPECT_FALSE(dark(7, k));
    EXPECT_FALSE(dark(k, 7));
    if (k != 6) {
      EXPECT_FALSE(dark(8, k));
      EXPECT_FALSE(dark(k, 8));
    }
  }
  EXPECT_FALSE(dark(17, 8));
}

// Darkened modules when format/version information is drawn on a light symbol.
std::set<Module> FormatModules(int version, int level, int mask) {
  const int n = SymbolSize(version);
  encodeState.version = version;
  encodeState.level = static_cast<std::uint8_t>(level);
  encodeState.maskIndex = static_cast<std::uint8_t>(mask);
  for (int r = 0; r < n; ++r) {
    std::memset(&At(encodeState.matrix, r, 0), MODULE_LIGHT, n);
  }
  PlaceFormatAndVersionInfo(encodeState);
  std::set<Module> dark;
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      if (At(encodeState.matrix, r, c) == MODULE_DARK) {
        dark.insert({r, c});
      }
    }
  }
  return dark;
}

TEST(FormatInfo, Version1LevelLMask0) {
  EXPECT_EQ(FormatModules(1, kLevelL, 0), (std::set<Module>{{8, 0},
                                                            {8, 1},
                                                            {8, 2},
                                                            {8, 4},
                                                            {8, 5},
                                                            {8, 7},
                                                            {8, 8},
                                                            {7, 8},
                                                            {2, 8},
                                                            {20, 8},
                                                            {19, 8},
                                                            {18, 8},
                                                            {16, 8},
                                                            {15, 8},
                                                            {14, 8},
                                                            {8, 13},
                                                            {8, 14},
                                                            {8, 18},
                                                            {13, 8}}));
}

// Every word is a code word: unmasked, its top bits are its index (the
// level indicator and the mask, or the version) and the rest the BCH
// check bits of them.
TEST(FormatInfo, TablesHoldTheBchCodeWords) {
  for (std::uint32_t index = 0; index < 32; ++index) {
    const std::uint32_t word = kFormatInfo[index] ^ 0x5412u;
    EXPECT_EQ(word >> 10, index);
    EXPECT_EQ(qrtest::BchRemainder(word, 0x537, 11), 0u) << index;
  }
  for (std::uint32_t version = 7; version <= 40; ++version) {
    const std::uint32_t word = kVersionInfo[version - 7];
    EXPECT_EQ(word >> 12, version);
    EXPECT_EQ(qrtest::BchRemainder(word, 0x1F25, 13), 0u) << version;
  }
}

TEST(FormatInfo, WordsForEveryLevelAndMask) {
  // Both copies carry the word; read them back in bit order.
  for (int level = 0; level < 4; ++level) {
    for (int mask = 0; mask < 8; ++mask) {
      const std::set<Module> dark = FormatModules(3, level, mask);
      const int n = SymbolSize(3);
      const Module first[15] = {{0, 8}, {1, 8}, {2, 8}, {3, 8}, {4, 8}, {5, 8}, {7, 8}, {8, 8},
                                {8, 7}, {8, 5}, {8, 4}, {8, 3}, {8, 2}, {8, 1}, {8, 0}};
      unsigned word1 = 0;
      unsigned word2 = 0;
      for (int bit = 0; bit < 15; ++bit) {
        word1 |= static_cast<unsigned>(dark.count(first[bit])) << bit;
        const Module second = bit < 8 ? Module{8, n - 1 - bit} : Module{n - 15 + bit, 8};
        word2 |= static_cast<unsigned>(dark.count(second)) << bit;
      }
      const unsigned expected = kFormatInfo[kFormatLevelBits[level] * 8 + mask];
      EXPECT_EQ(word1, expected);
      EXPECT_EQ(word2, expected);
      // Unmasked, the word gives back the indicator and the mask.
      EXPECT_EQ((expected ^ 0x5412) >> 10,
                static_cast<unsigned>(kFormatLevelBits[level] << 3 | mask));
    }
  }
}

TEST(FormatInfo, DarkModuleAndVersionBlocks) {
  for (int version = 1; version <= 40; ++version) {
    const int n = SymbolSize(version);
    const std::set<Module> dark = FormatModules(version, kLevelH, 7);
    EXPECT_TRUE(dark.count({n - 8, 8})) << version;
    if (version < 7) {
      EXPECT_EQ(dark.size(), 1u + 2 * __builtin_popcount(kFormatInfo[2 * 8 + 7])) << version;
    }
  }
  std::set<Module> dark = FormatModules(7, kLevelM, 0);  // word 0x5412
  const std::set<Module> lower = {{34, 4}, {35, 1}, {35, 2}, {35, 3},
                                  {35, 4}, {36, 0}, {36, 3}, {36, 4}};
  const std::set<Module> upper = {{0, 36}, {1, 35}, {2, 35}, {3, 35},
                                  {3, 36}, {4, 34}, {4, 35}, {4, 36}};
  std::set<Module> versionModules;
  for (const Module& m : dark) {
    if ((m.first >= 34 && m.first <= 36 && m.second <= 5) ||
        (m.second >= 34 && m.second <= 36 && m.first <= 5)) {
      versionModules.insert(m);
    }
  }
  std::set<Module> expected = lower;
  expected.insert(upper.begin(), upper.end());
  EXPECT_EQ(versionModules, expected);
}

}  // namespace
}  // namespace qrimage
