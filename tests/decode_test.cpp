// Every written symbol must decode: files from QRImage are read back by a
// real decoder (zbarimg, through ImageMagick scaling each module up to
// 4 x 4 pixels) and the decoded bytes compared with the text.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "data/version_select.h"
#include "qrimage.h"
#include "test_util.h"

namespace {

class RoundTrip : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qrtest::HaveTool("zbarimg") && !qrtest::ImageMagick().empty())
        << "needs zbarimg and ImageMagick (magick or convert)";
  }
};

TEST_P(RoundTrip, TextAtCapacityDecodesAtEveryLevel) {
  const int version = GetParam();
  for (int level = 0; level < 4; ++level) {
    const char letter = qrimage::kLevelLetters[level];
    SCOPED_TRACE(testing::Message() << "version " << version << " level " << letter);
    const int capacity = qrimage::kByteCapacity[version - 1][level];
    const std::string text = qrtest::MixedText(capacity, version * 4 + level);
    const std::string path = qrtest::ScratchPath("roundtrip.bmp");
    ASSERT_EQ(QRImage(text.c_str(), letter, path.c_str()), version);
    EXPECT_TRUE(qrtest::DecodeWithZbar(path, 4) == text) << "decoded bytes differ from the text";
  }
}

INSTANTIATE_TEST_SUITE_P(AllVersions, RoundTrip, ::testing::Range(1, 41),
                         [](const testing::TestParamInfo<int>& info) {
                           return "Version" + std::to_string(info.param);
                         });

TEST(RoundTripShort, SmallTextsDecode) {
  const std::string texts[] = {"",
                               "HELLO WORLD",
                               "a",
                               "https://example.org/?q=1&r=2",
                               std::string(60, 'A'),
                               "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"};
  for (const std::string& text : texts) {
    for (const char level : qrimage::kLevelLetters) {
      const std::string path = qrtest::ScratchPath("short.bmp");
      ASSERT_GT(QRImage(text.c_str(), level, path.c_str()), 0);
      EXPECT_TRUE(qrtest::DecodeWithZbar(path, 4) == text) << text << " at " << level;
    }
  }
}

}  // namespace
