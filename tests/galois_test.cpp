// Field tables, generator polynomials and the block encoder.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "ecc/error_correction.h"
#include "ecc/galois.h"
#include "ecc/generator_polynomials.h"
#include "qrimage.h"
#include "test_util.h"

namespace qrimage {
namespace {

class GaloisTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { qrtest::CallQRImageOnce(); }
};

TEST_F(GaloisTest, KnownEntries) {
  const GaloisTables& t = galoisTables;
  EXPECT_EQ(t.expTable[0], 0);
  EXPECT_EQ(t.expTable[1], 1);
  EXPECT_EQ(t.expTable[2], 2);
  EXPECT_EQ(t.expTable[9], 0x1D);
  EXPECT_EQ(t.expTable[10], 0x3A);
  EXPECT_EQ(t.expTable[255], 0x8E);
  EXPECT_EQ(t.logTable[0], 0);
  EXPECT_EQ(t.logTable[1], 1);
  EXPECT_EQ(t.logTable[2], 2);
  EXPECT_EQ(t.logTable[3], 26);
  EXPECT_EQ(t.logTable[0x1D], 9);
  EXPECT_EQ(t.logTable[0x8E], 255);
  EXPECT_EQ(t.addTable[2][3], 27);  // alpha + alpha^2 = 6 = alpha^26
  EXPECT_EQ(t.addTable[1][1], 0);
  EXPECT_EQ(t.addTable[0][0], 0);
  EXPECT_EQ(t.mulTable[2][2], 3);
  EXPECT_EQ(t.mulTable[255][2], 1);
  EXPECT_EQ(t.mulTable[255][255], 254);
}

TEST_F(GaloisTest, TablesAreConsistentFieldArithmetic) {
  const GaloisTables& t = galoisTables;
  std::array<int, 256> seen{};
  for (int r = 0; r < 256; ++r) {
    ++seen[t.expTable[r]];
    EXPECT_EQ(t.logTable[t.expTable[r]], r);
    EXPECT_EQ(t.expTable[t.logTable[r]], r);
  }
  for (int v = 0; v < 256; ++v) {
    EXPECT_EQ(seen[v], 1) << "value " << v;
  }
  for (int a = 0; a < 256; ++a) {
    EXPECT_EQ(t.addTable[0][a], a);
    EXPECT_EQ(t.addTable[a][a], 0);
    EXPECT_EQ(t.mulTable[1][a], a);
    EXPECT_EQ(t.mulTable[0][a], 0);
    EXPECT_EQ(t.mulTable[a][0], 0);
    for (int b = 0; b < 256; ++b) {
      ASSERT_EQ(t.addTable[a][b], t.addTable[b][a]);
      ASSERT_EQ(t.mulTable[a][b], t.mulTable[b][a]);
      // Sums are XORs of field values; products agree with shift-and-add.
      ASSERT_EQ(t.expTable[t.addTable[a][b]], t.expTable[a] ^ t.expTable[b]);
      ASSERT_EQ(t.expTable[t.mulTable[a][b]], detail::FieldMultiply(t.expTable[a], t.expTable[b]));
    }
  }
}

TEST(GeneratorPolynomials, KnownCoefficients) {
  auto find = [](int degree) {
    for (const auto& p : kGeneratorPolynomials) {
      if (p[0] == degree) {
        return std::vector<int>(p.begin(), p.begin() + degree + 1);
      }
    }
    return std::vector<int>{};
  };
  EXPECT_EQ(find(2), (std::vector<int>{2, 2, 26}));
  EXPECT_EQ(find(7), (std::vector<int>{7, 22, 103, 239, 150, 147, 230, 88}));
  EXPECT_EQ(find(10), (std::vector<int>{10, 46, 33, 95, 65, 71, 119, 62, 47, 68, 252}));
  EXPECT_TRUE(find(38).empty());
}

TEST(GeneratorPolynomials, EveryPowerOfAlphaBelowTheDegreeIsARoot) {
  for (const auto& p : kGeneratorPolynomials) {
    const int degree = p[0];
    std::uint8_t root = 1;
    for (int i = 0; i < degree; ++i) {
      // Horner from x^m down, with the implied leading 1.
      std::uint8_t value = 1;
      for (int k = degree - 1; k >= 0; --k) {
        std::uint8_t coefficient = 0;
        if (p[k + 1] != 0) {
          coefficient = 1;
          for (int e = 1; e < p[k + 1]; ++e) {
            coefficient = detail::FieldMultiply(coefficient, 2);
          }
        }
        value = detail::FieldMultiply(value, root) ^ coefficient;
      }
      EXPECT_EQ(value, 0) << "degree " << degree << " root alpha^" << i;
      root = detail::FieldMultiply(root, 2);
    }
  }
}

TEST_F(GaloisTest, EncodesTheVersion1MBlock) {
  const std::uint8_t data[16] = {0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11,
                                 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11};
  std::uint8_t ecc[10] = {};
  ASSERT_EQ(EncodeBlock(ecc, data, 26, 16), 0);
  const std::uint8_t expected[10] = {0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55};
  EXPECT_TRUE(std::equal(ecc, ecc + 10, expected));
}

TEST_F(GaloisTest, AllZeroDataGivesAllZeroEcc) {
  const std::uint8_t data[40] = {};
  std::uint8_t ecc[30];
  std::fill(ecc, ecc + 30, 0x5A);
  ASSERT_EQ(EncodeBlock(ecc, data, 70, 40), 0);
  for (std::uint8_t b : ecc) {
    EXPECT_EQ(b, 0);
  }
}

TEST_F(GaloisTest, DegreesWithoutAPolynomialFailAndWriteNothing) {
  const std::uint8_t data[20] = {1, 2, 3};
  for (int degree = 0; degree <= 80; ++degree) {
    bool listed = false;
    for (std::uint8_t d : kGeneratorDegrees) {
      listed = listed || d == degree;
    }
    std::uint8_t ecc[80];
    std::fill(ecc, ecc + 80, 0x77);
    const int result = EncodeBlock(ecc, data, 20 + degree, 20);
    if (listed) {
      EXPECT_EQ(result, 0) << degree;
    } else {
      EXPECT_EQ(result, -1) << degree;
      EXPECT_TRUE(std::all_of(ecc, ecc + 80, [](std::uint8_t b) { return b == 0x77; })) << degree;
    }
  }
}

}  // namespace
}  // namespace qrimage
