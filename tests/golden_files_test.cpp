// Pins every written file: for each version and level, texts of a few
// lengths and byte mixes are encoded and the FNV-1a hash of each file is
// compared with tests/data/golden_files.txt. The list was produced by the
// first, plainly written encoder (commit 3127547) with
//   qrimage_golden_tests --print > tests/data/golden_files.txt
// so any later change of a written byte (a different mask choice above
// all) shows up here. Regenerate it only for an intended change of output.
// `qrimage_golden_tests --texts` lists the cases' level letters and texts
// (in hex), one line per case in the same order, for checks of builds that
// cannot run this program.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/version_select.h"
#include "qrimage.h"
#include "test_util.h"

namespace {

struct GoldenCase {
  int version;
  int level;  // index into kLevelLetters
  char kind;  // c capacity, m smallest text of the version, r one repeated byte
  std::string text;
};

// Three texts per version and level: the version's capacity in a mix of
// ASCII and 0x80..0xFF, the shortest text that needs the version with
// every byte value 0x01..0xFF in turn, and a middle length of one byte.
std::vector<GoldenCase> GoldenCases() {
  static const char kRepeated[4] = {'A', '\xFF', '\x80', ' '};
  std::vector<GoldenCase> cases;
  for (int v = 1; v <= qrimage::kMaxVersion; ++v) {
    for (int l = 0; l < 4; ++l) {
      const int capacity = qrimage::kByteCapacity[v - 1][l];
      const int shortest = v == 1 ? 1 : qrimage::kByteCapacity[v - 2][l] + 1;
      cases.push_back({v, l, 'c', qrtest::MixedText(capacity, static_cast<unsigned>(v * 4 + l))});
      std::string cycling;
      for (int i = 0; i < shortest; ++i) {
        cycling.push_back(static_cast<char>(1 + (i + v) % 255));
      }
      cases.push_back({v, l, 'm', cycling});
      cases.push_back({v, l, 'r', std::string((shortest + capacity) / 2, kRepeated[(v + l) % 4])});
    }
  }
  return cases;
}

std::uint64_t Fnv1a(const qrtest::Bytes& bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (std::uint8_t b : bytes) {
    hash = (hash ^ b) * 1099511628211ull;
  }
  return hash;
}

// "version level kind length result hash", one line per case.
std::string Encode(const GoldenCase& c, const std::string& path) {
  const char letter = qrimage::kLevelLetters[c.level];
  const int result = QRImage(c.text.c_str(), letter, path.c_str());
  char line[96];
  std::snprintf(line, sizeof line, "%d %c %c %zu %d %016llx", c.version, letter, c.kind,
                c.text.size(), result,
                static_cast<unsigned long long>(Fnv1a(qrtest::ReadFile(path))));
  return line;
}

std::vector<std::string> ReadGoldenLines() {
  std::ifstream in(QRIMAGE_GOLDEN_FILE);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') {
      lines.push_back(line);
    }
  }
  return lines;
}

TEST(GoldenFiles, EveryVersionAndLevelWritesTheRecordedFile) {
  const std::vector<GoldenCase> cases = GoldenCases();
  const std::vector<std::string> golden = ReadGoldenLines();
  ASSERT_EQ(golden.size(), cases.size()) << "missing or stale " << QRIMAGE_GOLDEN_FILE;
  const std::string path = qrtest::ScratchPath("golden.bmp");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Encode(cases[i], path), golden[i]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--print") == 0) {
    const std::string path = qrtest::ScratchPath("golden.bmp");
    std::printf("# version level kind length result fnv1a-64 (see golden_files_test.cpp)\n");
    for (const GoldenCase& c : GoldenCases()) {
      std::printf("%s\n", Encode(c, path).c_str());
    }
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--texts") == 0) {
    for (const GoldenCase& c : GoldenCases()) {
      std::printf("%c ", qrimage::kLevelLetters[c.level]);
      for (unsigned char b : c.text) {
        std::printf("%02x", b);
      }
      std::printf("\n");
    }
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
