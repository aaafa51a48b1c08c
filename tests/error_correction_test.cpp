// Block structure, the per-block encoder loop and interleaving.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "data/version_select.h"
#include "ecc/block_layout.h"
#include "ecc/error_correction.h"
#include "ecc/galois.h"
#include "state/encode_state.h"
#include "symbol_checker.h"
#include "test_util.h"

namespace qrimage {
namespace {

TEST(BlockLayout, EveryEntryIsConsistent) {
  const std::set<int> eccLengths = {7, 10, 13, 15, 16, 17, 18, 20, 22, 24, 26, 28, 30};
  for (int version = 1; version <= 40; ++version) {
    for (int level = 0; level < 4; ++level) {
      SCOPED_TRACE(testing::Message() << "version " << version << " level " << level);
      const BlockLayoutEntry& e = BlockLayoutFor(version, level);
      EXPECT_GE(e.blocks1, 1);
      EXPECT_EQ(e.blocks1 * e.total1 + e.blocks2 * e.total2, qrtest::TotalCodewords(version));
      EXPECT_EQ(e.blocks1 * e.data1 + e.blocks2 * e.data2, qrtest::DataCodewords(version, level));
      if (e.blocks2 > 0) {
        EXPECT_EQ(e.total2, e.total1 + 1);
        EXPECT_EQ(e.data2, e.data1 + 1);
      } else {
        EXPECT_EQ(e.total2, 0);
        EXPECT_EQ(e.data2, 0);
      }
      EXPECT_TRUE(eccLengths.count(e.total1 - e.data1));
      EXPECT_LE(e.total1 + (e.blocks2 ? 1 : 0), 153);
      EXPECT_LE(e.data1 + (e.blocks2 ? 1 : 0), 123);
      EXPECT_LE(e.blocks1 + e.blocks2, 81);
      // Levels protect more as they go from L to H.
      if (level > 0) {
        const BlockLayoutEntry& lower = BlockLayoutFor(version, level - 1);
        EXPECT_LT(e.blocks1 * e.data1 + e.blocks2 * e.data2,
                  lower.blocks1 * lower.data1 + lower.blocks2 * lower.data2);
      }
    }
  }
  EXPECT_EQ(qrtest::TotalCodewords(1), 26);
  EXPECT_EQ(qrtest::TotalCodewords(40), 3706);
}

class ErrorCorrectionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { qrtest::CallQRImageOnce(); }
  // Sets up version and level with data codewords 1, 2, 3, ... (mod 251).
  static void Prepare(int version, int level) {
    encodeState.version = version;
    encodeState.level = static_cast<std::uint8_t>(level);
    for (int i = 0; i < kMaxDataCodewords; ++i) {
      encodeState.dataCodewords[i] = static_cast<std::uint8_t>(i % 251 + 1);
    }
  }
};

TEST_F(ErrorCorrectionTest, Version5QBlocks) {
  Prepare(5, kLevelQ);
  ASSERT_EQ(ComputeErrorCorrection(encodeState), 0);
  EXPECT_EQ(encodeState.group1BlockCount, 2);
  EXPECT_EQ(encodeState.group2BlockCount, 2);
  EXPECT_EQ(encodeState.group1EccTotal, 36);
  EXPECT_EQ(encodeState.group2EccTotal, 36);
  EXPECT_EQ(encodeState.eccCodewordCount, 72);
  // Each block's ECC sits at 18 x block and comes from its own data.
  const int dataStart[4] = {0, 15, 30, 46};
  const int dataCount[4] = {15, 15, 16, 16};
  for (int b = 0; b < 4; ++b) {
    std::uint8_t ecc[18];
    ASSERT_EQ(
        EncodeBlock(ecc, encodeState.dataCodewords + dataStart[b], dataCount[b] + 18, dataCount[b]),
        0);
    EXPECT_EQ(0, std::memcmp(ecc, encodeState.eccCodewords + 18 * b, 18)) << b;
  }
}

// Every version and level on pseudo-random data: the symbol's codewords
// (product table or field tables, as the size decides) and both forms of the
// table division, SSE2 where built and scalar, agree block by block with
// EncodeBlock, the division through the field tables.
TEST_F(ErrorCorrectionTest, EveryLayoutMatchesTheFieldTableDivision) {
  std::uint32_t x = 1;
  for (int version = 1; version <= 40; ++version) {
    for (int level = 0; level < 4; ++level) {
      SCOPED_TRACE(testing::Message() << "version " << version << " level " << level);
      Prepare(version, level);
      for (std::uint8_t& d : encodeState.dataCodewords) {
        x = x * 1103515245u + 12345u;
        d = static_cast<std::uint8_t>(x >> 16);
      }
      ASSERT_EQ(ComputeErrorCorrection(encodeState), 0);
      const BlockLayoutEntry& e = BlockLayoutFor(version, level);
      const int m = e.total1 - e.data1;
      std::uint8_t expected[kMaxEccCodewords];
      const std::uint8_t* data = encodeState.dataCodewords;
      for (int b = 0; b < e.blocks1 + e.blocks2; ++b) {
        const int count = b < e.blocks1 ? e.data1 : e.data2;
        ASSERT_EQ(EncodeBlock(expected + b * m, data, count + m, count), 0);
        data += count;
      }
      const int eccTotal = (e.blocks1 + e.blocks2) * m;
      EXPECT_EQ(0, std::memcmp(encodeState.eccCodewords, expected, eccTotal));

      static ProductTable table;
      ASSERT_TRUE(BuildProductTable(m, table));
      for (auto encode : {EncodeBlocksByTable, EncodeBlocksByTableScalar}) {
        std::uint8_t ecc[kMaxEccCodewords];
        encode(table, ecc, encodeState.dataCodewords, e.blocks1, e.data1);
        encode(table, ecc + e.blocks1 * m, encodeState.dataCodewords + e.blocks1 * e.data1,
               e.blocks2, e.data2);
        EXPECT_EQ(0, std::memcmp(ecc, expected, eccTotal));
      }
    }
  }
  ProductTable table;
  EXPECT_FALSE(BuildProductTable(34, table));  // a generator, but longer than a row
  EXPECT_FALSE(BuildProductTable(9, table));   // no generator
}

TEST_F(ErrorCorrectionTest, LargestTotals) {
  Prepare(21, kLevelM);
  ASSERT_EQ(ComputeErrorCorrection(encodeState), 0);
  EXPECT_EQ(encodeState.group1BlockCount, 17);
  EXPECT_EQ(encodeState.group2BlockCount, 0);
  EXPECT_EQ(encodeState.group2EccTotal, 0);
  EXPECT_EQ(encodeState.eccCodewordCount, 442);

  Prepare(40, kLevelH);
  std::memset(encodeState.eccCodewords, 0xAB, sizeof encodeState.eccCodewords);
  ASSERT_EQ(ComputeErrorCorrection(encodeState), 0);
  EXPECT_EQ(encodeState.group1BlockCount + encodeState.group2BlockCount, 81);
  EXPECT_EQ(encodeState.eccCodewordCount, kMaxEccCodewords);
}

// Interleaves with every data and ECC codeword holding its own index
// (mod 256) and returns the data part and, in eccOrder, the ECC part.
std::vector<int> InterleavedOrder(int version, int level, std::vector<int>& eccOrder) {
  encodeState.version = version;
  encodeState.level = static_cast<std::uint8_t>(level);
  const BlockLayoutEntry& e = BlockLayoutFor(version, level);
  const int dataTotal = e.blocks1 * e.data1 + e.blocks2 * e.data2;
  const int eccTotal = (e.blocks1 + e.blocks2) * (e.total1 - e.data1);
  for (int i = 0; i < dataTotal; ++i) {
    encodeState.dataCodewords[i] = static_cast<std::uint8_t>(i);
  }
  for (int i = 0; i < eccTotal; ++i) {
    encodeState.eccCodewords[i] = static_cast<std::uint8_t>(i);
  }
  InterleaveCodewords(encodeState);
  std::vector<int> dataOrder(encodeState.finalCodewords, encodeState.finalCodewords + dataTotal);
  eccOrder.assign(encodeState.finalCodewords + dataTotal,
                  encodeState.finalCodewords + dataTotal + eccTotal);
  return dataOrder;
}

TEST(Interleave, Version5Q) {
  std::vector<int> ecc;
  const std::vector<int> data = InterleavedOrder(5, kLevelQ, ecc);
  // Blocks A, B, C, D start at 0, 15, 30, 46.
  std::vector<int> expected;
  for (int i = 0; i < 15; ++i) {
    for (int start : {0, 15, 30, 46}) {
      expected.push_back(start + i);
    }
  }
  expected.push_back(30 + 15);
  expected.push_back(46 + 15);
  EXPECT_EQ(data, expected);
  std::vector<int> expectedEcc;
  for (int i = 0; i < 18; ++i) {
    for (int b = 0; b < 4; ++b) {
      expectedEcc.push_back(b * 18 + i);
    }
  }
  EXPECT_EQ(ecc, expectedEcc);
}

TEST(Interleave, Version7H) {
  std::vector<int> ecc;
  const std::vector<int> data = InterleavedOrder(7, kLevelH, ecc);
  ASSERT_EQ(data.size() + ecc.size(), 196u);
  std::vector<int> expected;
  for (int i = 0; i < 13; ++i) {
    for (int b = 0; b < 5; ++b) {
      expected.push_back(b * 13 + i);
    }
  }
  expected.push_back(4 * 13 + 13);  // the fifth block's 14th codeword, alone
  EXPECT_EQ(data, expected);
  for (int i = 0; i < 26 * 5; ++i) {
    EXPECT_EQ(ecc[i], (i % 5) * 26 + i / 5) << i;
  }
}

TEST(Interleave, Version21MHasNoExtraColumn) {
  std::vector<int> ecc;
  const std::vector<int> data = InterleavedOrder(21, kLevelM, ecc);
  ASSERT_EQ(data.size(), 42u * 17);
  ASSERT_EQ(ecc.size(), 26u * 17);
  for (int i = 0; i < 42 * 17; ++i) {
    EXPECT_EQ(data[i], ((i % 17) * 42 + i / 17) % 256) << i;
  }
  for (int i = 0; i < 26 * 17; ++i) {
    EXPECT_EQ(ecc[i], ((i % 17) * 26 + i / 17) % 256) << i;
  }
}

TEST(Interleave, SingleBlockIsDataThenEcc) {
  std::vector<int> ecc;
  const std::vector<int> data = InterleavedOrder(1, kLevelL, ecc);
  ASSERT_EQ(data.size(), 19u);
  ASSERT_EQ(ecc.size(), 7u);
  for (int i = 0; i < 19; ++i) {
    EXPECT_EQ(data[i], i);
  }
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(ecc[i], i);
  }
}

}  // namespace
}  // namespace qrimage
