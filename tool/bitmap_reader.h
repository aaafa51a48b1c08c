// Reads back the 1-bit bitmap files the library writes, for the terminal
// preview. Only what the library produces is accepted: an uncompressed
// 1-bit-per-pixel square image with a 40-byte information header.
#ifndef QRIMAGE_TOOL_BITMAP_READER_H
#define QRIMAGE_TOOL_BITMAP_READER_H

#include <string>
#include <vector>

namespace qrtool {

struct Bitmap {
  int side = 0;             // width and height in pixels
  std::vector<bool> light;  // side * side pixels, top row first, left to right

  bool Light(int x, int y) const { return light[static_cast<std::size_t>(y) * side + x]; }
};

// Fills `bitmap` from the file at `path`. On failure returns false and sets
// `error` to a short reason.
bool ReadBitmap(const char* path, Bitmap& bitmap, std::string& error);

}  // namespace qrtool

#endif
