// The bitmap file: header bytes, pixel rows, and how paths are handled.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "output/bitmap.h"
#include "qrimage.h"
#include "state/encode_state.h"
#include "test_util.h"

namespace qrimage {
namespace {

using qrtest::Bytes;

TEST(Bitmap, Version1FileLayout) {
  const std::string path = qrtest::ScratchPath("v1.bmp");
  ASSERT_EQ(QRImage("HELLO WORLD", 'M', path.c_str()), 1);
  const Bytes file = qrtest::ReadFile(path);
  ASSERT_EQ(file.size(), 178u);
  const Bytes header = {'B', 'M', 178, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,    // file header
                        40, 0, 0, 0, 29, 0, 0, 0, 29, 0, 0, 0, 1, 0, 1, 0,  // size, w, h,
                                                                            // planes, bpp
                        0, 0, 0, 0, 116, 0, 0, 0, 0x12, 0x0B, 0, 0, 0x12, 0x0B, 0, 0, 0, 0, 0, 0, 0,
                        0, 0, 0,                           // colours used, important
                        0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};  // black, white
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 62), header);

  // Stored rows 0-3 and 25-28 are the quiet zone; symbol rows end in three
  // zero padding bits after their 29 pixels.
  for (int stored = 0; stored < 29; ++stored) {
    const Bytes row(file.begin() + 62 + 4 * stored, file.begin() + 66 + 4 * stored);
    if (stored < 4 || stored >= 25) {
      EXPECT_EQ(row, (Bytes{0xFF, 0xFF, 0xFF, 0xFF})) << stored;
    } else {
      EXPECT_EQ(row[3] & 0x07, 0) << stored;
      EXPECT_EQ(row[0] & 0xF0, 0xF0) << stored;  // left quiet zone
      EXPECT_EQ(row[3] & 0x78, 0x78) << stored;  // right quiet zone, pixels 25-28
    }
  }
}

TEST(Bitmap, PixelsShowTheMatrixWithTheFinderTopLeft) {
  const std::string path = qrtest::ScratchPath("pixels.bmp");
  // Symbol widths 21, 81 and 177: rows of 4, 12 and 24 bytes; 81 last.
  for (const auto& [text, version] : {std::pair{std::string(11, 'p'), 1},
                                      {std::string(1663, 'p'), 40},
                                      {std::string(300, 'p'), 16}}) {
    ASSERT_EQ(QRImage(text.c_str(), 'Q', path.c_str()), version);
    const qrtest::Bitmap bitmap = qrtest::ReadBitmap(qrtest::ReadFile(path));
    const int n = SymbolSize(version);
    ASSERT_EQ(bitmap.width, n + 8);
    ASSERT_EQ(bitmap.height, n + 8);
    for (int y = 0; y < n + 8; ++y) {
      for (int x = 0; x < n + 8; ++x) {
        const int r = y - 4;
        const int c = x - 4;
        const bool quiet = r < 0 || r >= n || c < 0 || c >= n;
        const bool light = quiet || encodeState.matrix[r * GRID_STRIDE + c] == MODULE_LIGHT;
        ASSERT_EQ(bitmap.White(x, y), light) << version << ": " << x << "," << y;
      }
    }
  }
  const qrtest::Bitmap bitmap = qrtest::ReadBitmap(qrtest::ReadFile(path));
  // The top-left finder's dark ring starts 4 pixels in from each edge.
  for (int k = 0; k < 7; ++k) {
    EXPECT_FALSE(bitmap.White(4 + k, 4));
    EXPECT_FALSE(bitmap.White(4, 4 + k));
  }
  EXPECT_TRUE(bitmap.White(5, 5));
  EXPECT_FALSE(bitmap.White(6, 6));
}

// Both forms of the row packing, on pixel bytes of every kind and row
// lengths odd and even: bit 7 - k of byte b is pixel 8b + k, set for
// light only.
TEST(Bitmap, PixelRowPacking) {
  std::uint8_t pixels[24 * 8];
  std::uint32_t x = 7;
  for (std::uint8_t& p : pixels) {
    x = x * 1103515245u + 12345u;
    const std::uint8_t kinds[] = {MODULE_LIGHT, MODULE_DARK, MODULE_RESERVED, 0x7F, 0xFE};
    p = kinds[(x >> 16) % 5];
  }
  for (auto pack : {PackPixelRow, PackPixelRowScalar}) {
    for (int bytes : {1, 2, 3, 23, 24}) {
      std::uint8_t out[24];
      pack(pixels, bytes, out);
      for (int p = 0; p < 8 * bytes; ++p) {
        ASSERT_EQ((out[p / 8] >> (7 - p % 8)) & 1, pixels[p] == MODULE_LIGHT) << bytes << " " << p;
      }
    }
  }
}

TEST(Bitmap, Version40Size) {
  const std::string path = qrtest::ScratchPath("v40.bmp");
  ASSERT_EQ(QRImage(std::string(2331, '\xE9').c_str(), 'M', path.c_str()), 40);
  const Bytes file = qrtest::ReadFile(path);
  ASSERT_EQ(file.size(), 4502u);
  EXPECT_EQ(qrtest::LittleEndian(file, 2, 4), 4502u);
  EXPECT_EQ(qrtest::LittleEndian(file, 18, 4), 185u);
  EXPECT_EQ(qrtest::LittleEndian(file, 22, 4), 185u);
  EXPECT_EQ(qrtest::LittleEndian(file, 34, 4), 4440u);
  for (int i = 0; i < 24; ++i) {
    EXPECT_EQ(file[62 + i], 0xFF);  // bottom quiet row
  }
  // A symbol row's last byte: quiet pixel 184, then seven zero padding bits.
  EXPECT_EQ(file[62 + 4 * 24 + 23], 0x80);
}

TEST(Bitmap, ReplacesALongerFile) {
  const std::string path = qrtest::ScratchPath("replace.bmp");
  qrtest::WriteFile(path, Bytes(10000, 0x55));
  ASSERT_EQ(QRImage("short", 'H', path.c_str()), 1);
  EXPECT_EQ(qrtest::ReadFile(path).size(), 178u);
}

TEST(Bitmap, UnopenablePathsGiveFileErrorAndCreateNothing) {
  const std::string missing = qrtest::ScratchDir() + "/no-such-folder/x.bmp";
  EXPECT_EQ(QRImage("text", 'M', missing.c_str()), QRIMAGE_ERROR_FILE);
  EXPECT_FALSE(qrtest::FileExists(qrtest::ScratchDir() + "/no-such-folder"));
  EXPECT_EQ(QRImage("text", 'M', ""), QRIMAGE_ERROR_FILE);
  EXPECT_EQ(QRImage("text", 'M', nullptr), QRIMAGE_ERROR_FILE);
  EXPECT_EQ(QRImage("text", 'M', qrtest::ScratchDir().c_str()), QRIMAGE_ERROR_FILE);

  // 259 bytes is the longest path accepted; 260 is refused.
  const std::string dir = qrtest::ScratchDir() + "/";
  const std::string longest = dir + std::string(259 - dir.size(), 'a');
  const std::string tooLong = dir + std::string(260 - dir.size(), 'b');
  EXPECT_EQ(QRImage("text", 'M', tooLong.c_str()), QRIMAGE_ERROR_FILE);
  EXPECT_FALSE(qrtest::FileExists(tooLong));
  EXPECT_EQ(QRImage("text", 'M', longest.c_str()), 1);
  EXPECT_TRUE(qrtest::FileExists(longest));
}

TEST(Bitmap, FailedEncodingsLeaveAnExistingFileAlone) {
  const std::string path = qrtest::ScratchPath("kept.bmp");
  const Bytes before(321, 0x42);
  qrtest::WriteFile(path, before);
  EXPECT_EQ(QRImage("text", 'x', path.c_str()), QRIMAGE_ERROR_INPUT);
  EXPECT_EQ(QRImage(std::string(1274, 'h').c_str(), 'H', path.c_str()), QRIMAGE_ERROR_INPUT);
  EXPECT_EQ(QRImage(nullptr, 'H', path.c_str()), QRIMAGE_ERROR_INPUT);
  EXPECT_EQ(qrtest::ReadFile(path), before);
}

}  // namespace
}  // namespace qrimage
