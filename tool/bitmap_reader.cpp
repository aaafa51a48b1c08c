#include "bitmap_reader.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace qrtool {
namespace {

// Largest image the library writes is 185 pixels square; anything far
// beyond that is not one of its files.
constexpr long kMaxSide = 1024;
constexpr std::size_t kHeaderBytes = 62;  // file header, information header, two palette entries

std::uint32_t LittleEndian(const unsigned char* at, int bytes) {
  std::uint32_t value = 0;
  for (int b = bytes - 1; b >= 0; --b) {
    value = (value << 8) | at[b];
  }
  return value;
}

bool ReadWholeFile(const char* path, std::vector<unsigned char>& bytes, std::string& error) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  unsigned char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (bytes.size() > kHeaderBytes + kMaxSide * kMaxSide) {
      break;
    }
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = "read error";
    return false;
  }
  return true;
}

// A palette entry (blue, green, red, reserved) counts as light when its
// colour is nearer white than black.
bool PaletteLight(const unsigned char* entry) {
  return entry[0] + entry[1] + entry[2] > 382;
}

}  // namespace

bool ReadBitmap(const char* path, Bitmap& bitmap, std::string& error) {
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(path, bytes, error)) {
    return false;
  }
  const unsigned char* h = bytes.data();
  if (bytes.size() < kHeaderBytes || h[0] != 'B' || h[1] != 'M') {
    error = "not a bitmap file";
    return false;
  }
  const std::uint32_t dataOffset = LittleEndian(h + 10, 4);
  const long width = static_cast<std::int32_t>(LittleEndian(h + 18, 4));
  const long height = static_cast<std::int32_t>(LittleEndian(h + 22, 4));
  if (LittleEndian(h + 14, 4) != 40 || LittleEndian(h + 26, 2) != 1 ||
      LittleEndian(h + 28, 2) != 1 || LittleEndian(h + 30, 4) != 0) {
    error = "not an uncompressed 1-bit bitmap";
    return false;
  }
  // Positive height: rows are stored bottom-up, as the library writes them.
  if (width <= 0 || width > kMaxSide || height != width) {
    error = "not a square bottom-up image";
    return false;
  }
  const std::size_t rowBytes = static_cast<std::size_t>((width + 31) / 32 * 4);
  if (dataOffset < kHeaderBytes || bytes.size() < dataOffset + rowBytes * height) {
    error = "the file is shorter than its header says";
    return false;
  }
  const bool lightForBit[2] = {PaletteLight(h + 54), PaletteLight(h + 58)};

  bitmap.side = static_cast<int>(width);
  bitmap.light.assign(static_cast<std::size_t>(width * width), false);
  for (int y = 0; y < bitmap.side; ++y) {
    const unsigned char* row = h + dataOffset + rowBytes * (bitmap.side - 1 - y);
    for (int x = 0; x < bitmap.side; ++x) {
      const int bit = (row[x >> 3] >> (7 - (x & 7))) & 1;
      bitmap.light[static_cast<std::size_t>(y) * bitmap.side + x] = lightForBit[bit];
    }
  }
  return true;
}

}  // namespace qrtool
