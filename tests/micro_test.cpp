// Micro QR symbols: the format information and the mask evaluation against
// values worked out by hand, and every version, level and mode read back
// by ZXingReader at its capacity and one character past it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "test_util.h"
#include "tool_core/micro/micro_symbol.h"

namespace {

using namespace qrimage;

const std::uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

TEST(MicroQr, FormatWordsAndTheStandardsExample) {
  // (symbol number << 2 | mask) << 10 plus its remainder modulo 0x537, XOR
  // 0x4445; e.g. M2-L mask 0: 0x1000 -> remainder 0x1EB -> 0x11EB ^ 0x4445.
  const std::uint16_t words[8] = {0x4445, 0x5099, 0x6DFD, 0x7921, 0x06DE, 0x1202, 0x2F66, 0x3BBA};
  for (int number = 0; number < 8; ++number) {
    EXPECT_EQ(MicroFormatWord(number, number % 4), words[number]) << number;
  }
  EXPECT_EQ(MicroFormatWord(1, 0), 0x55AE);
  // "01234567" in M2-L (level 0): mode 0, count 1000, 012 345 67 in 10, 10 and 7
  // bits, a 5-bit terminator, zero bits to the codeword's end.
  MicroPlan plan;
  ASSERT_TRUE(PlanMicro(Bytes("01234567"), 8, 0, false, 2, 2, plan));
  EXPECT_EQ(
      MicroCodewords(Bytes("01234567"), plan),
      (std::vector<std::uint8_t>{0x40, 0x18, 0xAC, 0xC3, 0x00, 0x86, 0x0D, 0x22, 0xAE, 0x30}));
}

TEST(MicroQr, MaskScoreCountsTheRightAndBottomEdges) {
  Symbol symbol{};
  symbol.size = 11;
  std::fill(symbol.modules, symbol.modules + 121, MODULE_LIGHT);
  symbol.modules[10] = symbol.modules[110] = MODULE_DARK;  // timing ends: not counted
  for (int k : {1, 4, 10}) {
    symbol.modules[k * 11 + 10] = MODULE_DARK;  // right edge: SUM1 = 3, corner included
  }
  for (int k : {2, 3, 5, 6, 7}) {
    symbol.modules[110 + k] = MODULE_DARK;  // bottom edge: SUM2 = 5 + corner = 6
  }
  EXPECT_EQ(MicroMaskScore(symbol), 3 * 16 + 6);
  for (int k : {5, 6, 7, 8}) {
    symbol.modules[k * 11 + 10] = MODULE_DARK;  // SUM1 = 7 > SUM2
  }
  EXPECT_EQ(MicroMaskScore(symbol), 6 * 16 + 7);
}

void WritePgm(const Symbol& symbol, const std::string& path) {
  constexpr int kScale = 4;
  constexpr int kQuiet = 2;
  const int side = (symbol.size + 2 * kQuiet) * kScale;
  std::ofstream out(path, std::ios::binary);
  out << "P5\n" << side << ' ' << side << "\n255\n";
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const int r = y / kScale - kQuiet;
      const int c = x / kScale - kQuiet;
      const bool inside = r >= 0 && c >= 0 && r < symbol.size && c < symbol.size;
      out.put(static_cast<char>(inside ? symbol.modules[r * symbol.size + c] : MODULE_LIGHT));
    }
  }
}

TEST(MicroQr, EveryVersionLevelAndModeReadsBackAtAndPastCapacity) {
  if (!qrtest::HaveTool("ZXingReader")) {
    GTEST_SKIP() << "ZXingReader is not installed";
  }
  const std::string alphabets[3] = {"31415926535897932384626433832795",
                                    "AB CD$EF%GH*IJ+KL-MN.OP/QR:", "micro symbols, byte mode!"};
  int row = 0;
  for (int version = 1; version <= kMicroMaxVersion; ++version) {
    for (int level = version == 1 ? kMicroDetectionOnly : 0; MicroHasLevel(version, level);
         ++level) {
      for (int mode = 0; mode <= kByteMode && MicroCountBits(mode, version) > 0; ++mode) {
        const int capacity = MicroCharacterCapacity(version, level, mode);
        for (int extra = 0; extra <= 1; ++extra, ++row) {
          std::string text;
          for (int i = 0; i < capacity + extra; ++i) {
            text += alphabets[mode][i % alphabets[mode].size()];
          }
          std::ostringstream name;
          name << 'M' << version << " level " << level << " mode " << mode << ' ' << text;
          MicroPlan plan;
          const bool planned = PlanMicro(Bytes(text), text.size(), std::max(level, 0), false,
                                         version, kMicroMaxVersion, plan);
          if (extra == 0) {
            ASSERT_TRUE(planned && plan.version == version && plan.level == level) << name.str();
          } else if (!planned) {
            EXPECT_EQ(version, kMicroMaxVersion) << name.str();
            continue;
          } else {
            EXPECT_TRUE(plan.version > version) << name.str();
          }
          // Odd rows take a forced mask, even ones the evaluated mask,
          // whose score no other mask beats.
          Symbol symbol;
          const int forced = row % 2 != 0 ? row / 2 % kMicroMaskCount : kMicroEvaluatedMask;
          const int mask = EncodeMicro(Bytes(text), plan, forced, symbol);
          ASSERT_TRUE(mask >= 0 && (forced < 0 || mask == forced)) << name.str();
          ASSERT_EQ(symbol.size, MicroSymbolSize(plan.version));
          for (int other = 0; forced < 0 && other < kMicroMaskCount; ++other) {
            Symbol alternative;
            EncodeMicro(Bytes(text), plan, other, alternative);
            EXPECT_GE(MicroMaskScore(symbol), MicroMaskScore(alternative)) << name.str();
          }
          const std::string path = qrtest::ScratchPath("micro" + std::to_string(row) + ".pgm");
          WritePgm(symbol, path);
          EXPECT_EQ(qrtest::CommandOutput("ZXingReader -format MicroQRCode -bytes " + path +
                                          " 2>/dev/null"),
                    text)
              << name.str() << " mask " << mask;
        }
      }
    }
  }
}

}  // namespace
