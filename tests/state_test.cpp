// Calls that follow other calls write exactly what a first call would.
#include <gtest/gtest.h>

#include <string>

#include "qrimage.h"
#include "test_util.h"

namespace {

using qrtest::Bytes;

Bytes EncodeHere(const std::string& text, char level) {
  const std::string path = qrtest::ScratchPath("here.bmp");
  EXPECT_GT(QRImage(text.c_str(), level, path.c_str()), 0);
  return qrtest::ReadFile(path);
}

struct Sequence {
  const char* name;
  std::string before;  // encoded first, at level H
  std::string text;    // then this, compared with a fresh process
  char level;
};

TEST(State, LaterCallsMatchAFreshProcess) {
  const Sequence sequences[] = {
      {"short after long", std::string(1270, 'L'), "short", 'M'},
      {"version 6 after 7", std::string(64, 'A'), std::string(58, 'b'), 'H'},
      {"version 2 after 3", std::string(24, 'c'), std::string(14, 'd'), 'H'},
      {"remainder bits after a longer text", std::string(1200, '\xC3'), std::string(40, 'e'), 'L'},
      {"version 1 after 40", std::string(1273, 'z'), "", 'Q'},
  };
  for (const Sequence& s : sequences) {
    SCOPED_TRACE(s.name);
    EncodeHere(s.before, 'H');
    const Bytes here = EncodeHere(s.text, s.level);
    ASSERT_FALSE(here.empty());
    EXPECT_EQ(here, qrtest::EncodeInFreshProcess(s.text, s.level));
  }
}

TEST(State, FailedCallsDoNotAffectTheNext) {
  const std::string path = qrtest::ScratchPath("after-failure.bmp");
  QRImage(std::string(2953, 'x').c_str(), 'L', path.c_str());
  EXPECT_EQ(QRImage(std::string(2954, 'y').c_str(), 'L', path.c_str()), QRIMAGE_ERROR_INPUT);
  EXPECT_EQ(QRImage("abc", 'x', path.c_str()), QRIMAGE_ERROR_INPUT);
  EXPECT_EQ(QRImage("abc", 'L', "/nonexistent-folder/x.bmp"), QRIMAGE_ERROR_FILE);
  EXPECT_EQ(EncodeHere("after failures", 'L'), qrtest::EncodeInFreshProcess("after failures", 'L'));
}

TEST(State, RepeatedCallsAreIdentical) {
  const Bytes first = EncodeHere("same twice", 'Q');
  EXPECT_EQ(EncodeHere("same twice", 'Q'), first);
}

}  // namespace
