// Every version and level, filled to capacity, leaves a symbol that the
// independent symbol checker accepts.
#include <gtest/gtest.h>

#include <string>

#include "data/version_select.h"
#include "qrimage.h"
#include "symbol_checker.h"
#include "test_util.h"

namespace {

TEST(SymbolChecker, EveryVersionAndLevelAtCapacity) {
  const std::string path = qrtest::ScratchPath("checked.bmp");
  for (int version = 1; version <= 40; ++version) {
    for (int level = 0; level < 4; ++level) {
      const std::string text =
          qrtest::MixedText(qrtest::ByteCapacity(version, level), version * 4 + level);
      const int result = QRImage(text.c_str(), qrimage::kLevelLetters[level], path.c_str());
      EXPECT_EQ(qrtest::CheckSymbol(text, level, result, qrtest::ReadFile(path)), "")
          << "version " << version << " level " << level;
    }
  }
}

}  // namespace
