#include "preview.h"

namespace qrtool {

void PrintPreview(std::FILE* out, const Bitmap& bitmap, bool colour) {
  // Indexed by (top light) * 2 + (bottom light): blank, lower half block,
  // upper half block, full block, spelled as UTF-8 bytes.
  static const char* const kCells[4] = {" ", "\xE2\x96\x84", "\xE2\x96\x80", "\xE2\x96\x88"};
  for (int y = 0; y < bitmap.side; y += 2) {
    if (colour) {
      std::fputs("\x1b[97;40m", out);
    }
    for (int x = 0; x < bitmap.side; ++x) {
      const bool top = bitmap.Light(x, y);
      const bool bottom = y + 1 < bitmap.side && bitmap.Light(x, y + 1);
      std::fputs(kCells[(top ? 2 : 0) + (bottom ? 1 : 0)], out);
    }
    if (colour) {
      std::fputs("\x1b[0m", out);
    }
    std::fputc('\n', out);
  }
}

}  // namespace qrtool
