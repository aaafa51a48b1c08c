#include "preview.h"

#include <cstdint>
#include <vector>

#include "output/bitmap.h"

namespace qrtool {

void PrintPreview(std::FILE* out, const SymbolView& symbol, bool colour) {
  std::fputs(RenderHalfBlocks(symbol, colour).c_str(), out);
}

void PrintPreview(std::FILE* out, const Bitmap& bitmap, bool colour) {
  constexpr int kBorder = qrimage::kQuietZoneModules;
  const int size = bitmap.side - 2 * kBorder;
  std::vector<std::uint8_t> modules(size > 0 ? static_cast<std::size_t>(size) * size : 0);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      modules[static_cast<std::size_t>(y) * size + x] =
          bitmap.Light(x + kBorder, y + kBorder) ? 0xFF : 0x00;
    }
  }
  PrintPreview(out, SymbolView{modules.data(), size, size > 0 ? size : 0}, colour);
}

}  // namespace qrtool
