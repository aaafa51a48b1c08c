#include "image_formats.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "api/symbol_tables.h"
#include "output/bitmap.h"

#ifdef QRIMAGE_TOOL_HAVE_PNG
#include <png.h>

#include <csetjmp>
#endif

namespace qrtool {
namespace {

using qrimage::kQuietZoneModules;

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The picture as pixels: the symbol with its quiet zone, every module
// `scale` x `scale` pixels.
class Raster {
 public:
  Raster(const SymbolView& symbol, int scale)
      : symbol_(symbol), scale_(scale), side_((symbol.size + 2 * kQuietZoneModules) * scale) {}

  int side() const { return side_; }

  // The symbol row pixel row y shows, or -1 in the quiet zone.
  int ModuleRow(int y) const {
    const int r = y / scale_ - kQuietZoneModules;
    return r >= 0 && r < symbol_.size ? r : -1;
  }

  bool Light(int x, int y) const {
    const int r = ModuleRow(y);
    const int c = x / scale_ - kQuietZoneModules;
    return r < 0 || c < 0 || c >= symbol_.size ||
           symbol_.modules[r * symbol_.stride + c] != qrimage::MODULE_DARK;
  }

  // Packs pixel row y eight pixels to a byte, leftmost in the top bit; a 1
  // bit is a light pixel when `oneIsLight`, a dark one otherwise. Bits past
  // the last pixel are 0.
  void PackRow(int y, bool oneIsLight, std::uint8_t* out, int bytes) const {
    std::memset(out, 0, bytes);
    for (int x = 0; x < side_; ++x) {
      if (Light(x, y) == oneIsLight) {
        out[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
  }

 private:
  SymbolView symbol_;
  int scale_;
  int side_;
};

std::uint32_t PixelsPerMetre(int dpi) {
  return dpi == 0 ? qrimage::kBitmapPixelsPerMetre
                  : static_cast<std::uint32_t>(std::lround(dpi / 0.0254));
}

// The library's file layout at any scale: quiet-zone rows are all 1 bits,
// padding included; symbol rows have 0 padding bits.
void RenderBmp(const Raster& raster, const ImageOptions& options, std::string* out) {
  const int side = raster.side();
  const int rowBytes = qrimage::BitmapRowBytes(side);
  const std::uint32_t imageBytes = static_cast<std::uint32_t>(rowBytes) * side;
  out->clear();
  out->reserve(qrimage::kBitmapHeaderBytes + imageBytes);
  std::uint8_t headers[qrimage::kBitmapHeaderBytes];
  qrimage::BuildBitmapHeaders(headers, side, imageBytes, PixelsPerMetre(options.dpi));
  out->append(reinterpret_cast<const char*>(headers), sizeof headers);

  std::vector<std::uint8_t> row(rowBytes);
  for (int y = side - 1; y >= 0; --y) {
    // Rows of one module row are equal; pack once per module row.
    if (y == side - 1 || raster.ModuleRow(y) != raster.ModuleRow(y + 1)) {
      if (raster.ModuleRow(y) < 0) {
        std::memset(row.data(), 0xFF, rowBytes);
      } else {
        raster.PackRow(y, true, row.data(), rowBytes);
      }
    }
    out->append(reinterpret_cast<const char*>(row.data()), rowBytes);
  }
}

// Binary netpbm bitmap: a 1 bit is black.
void RenderPbm(const Raster& raster, std::string* out) {
  const int side = raster.side();
  const int rowBytes = (side + 7) / 8;
  *out = "P4\n" + std::to_string(side) + " " + std::to_string(side) + "\n";
  std::vector<std::uint8_t> row(rowBytes);
  for (int y = 0; y < side; ++y) {
    if (y == 0 || raster.ModuleRow(y) != raster.ModuleRow(y - 1)) {
      raster.PackRow(y, false, row.data(), rowBytes);
    }
    out->append(reinterpret_cast<const char*>(row.data()), rowBytes);
  }
}

// One path of the dark modules, a closed rectangle per horizontal run, in
// module units; the picture's size is set by width and height.
void RenderSvg(const SymbolView& symbol, const ImageOptions& options, std::string* out) {
  const int modules = symbol.size + 2 * kQuietZoneModules;
  const int pixels = modules * options.scale;
  char side[32];
  if (options.dpi == 0) {
    std::snprintf(side, sizeof side, "%d", pixels);
  } else {
    std::snprintf(side, sizeof side, "%.3fmm", pixels * 25.4 / options.dpi);
  }
  char head[400];
  std::snprintf(head, sizeof head,
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%s\" "
                "height=\"%s\" viewBox=\"0 0 %d %d\" shape-rendering=\"crispEdges\">\n"
                "<rect width=\"%d\" height=\"%d\" fill=\"#fff\"/>\n"
                "<path fill=\"#000\" d=\"",
                side, side, modules, modules, modules, modules);
  *out = head;
  for (int r = 0; r < symbol.size; ++r) {
    const std::uint8_t* row = symbol.modules + r * symbol.stride;
    for (int c = 0; c < symbol.size;) {
      if (row[c] != qrimage::MODULE_DARK) {
        ++c;
        continue;
      }
      int end = c;
      while (end < symbol.size && row[end] == qrimage::MODULE_DARK) {
        ++end;
      }
      char run[64];
      std::snprintf(run, sizeof run, "M%d %dh%dv1h-%dz", c + kQuietZoneModules,
                    r + kQuietZoneModules, end - c, end - c);
      out->append(run);
      c = end;
    }
  }
  out->append("\"/>\n</svg>\n");
}

#ifdef QRIMAGE_TOOL_HAVE_PNG

// Where libpng's output goes. No exception may cross libpng's C code: a
// failed allocation is noted here and thrown once libpng is done.
struct PngSink {
  std::string* out;
  bool outOfMemory;
};

void AppendPngData(png_structp png, png_bytep data, png_size_t length) {
  PngSink& sink = *static_cast<PngSink*>(png_get_io_ptr(png));
  try {
    if (!sink.outOfMemory) {
      sink.out->append(reinterpret_cast<const char*>(data), length);
    }
  } catch (const std::bad_alloc&) {
    sink.outOfMemory = true;
  }
}

void FlushPngData(png_structp) {}

// Writes the picture through `png`. libpng reports errors by jumping back
// to the setjmp here, so this function holds nothing that needs a
// destructor.
bool WritePng(png_structp png, png_infop info, const Raster& raster, std::uint32_t ppm,
              std::uint8_t* row, int rowBytes) {
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  const int side = raster.side();
  png_set_IHDR(png, info, side, side, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (int y = 0; y < side; ++y) {
    if (y == 0 || raster.ModuleRow(y) != raster.ModuleRow(y - 1)) {
      raster.PackRow(y, true, row, rowBytes);
    }
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  return true;
}

// 1-bit greyscale, a 1 bit white; the resolution in a pHYs chunk.
bool RenderPng(const Raster& raster, const ImageOptions& options, std::string* out,
               std::string* error) {
  std::vector<std::uint8_t> row((raster.side() + 7) / 8);
  out->clear();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  bool written = false;
  PngSink sink{out, false};
  if (info != nullptr) {
    png_set_write_fn(png, &sink, AppendPngData, FlushPngData);
    written = WritePng(png, info, raster, PixelsPerMetre(options.dpi), row.data(),
                       static_cast<int>(row.size()));
  }
  png_destroy_write_struct(&png, &info);
  if (sink.outOfMemory) {
    throw std::bad_alloc();
  }
  if (!written) {
    *error = "libpng could not write the picture";
  }
  return written;
}

#endif

}  // namespace

std::string ImageTypeNameList() {
  std::string list;
  for (std::string_view name : kImageTypeNames) {
    if (!list.empty()) {
      list += ", ";
    }
    list += name;
  }
  return list;
}

bool ImageTypeFromName(std::string_view name, ImageType* type) {
  for (std::size_t i = 0; i < kImageTypeNames.size(); ++i) {
    const std::string_view known = kImageTypeNames[i];
    bool same = name.size() == known.size();
    for (std::size_t k = 0; same && k < name.size(); ++k) {
      same = Lower(name[k]) == known[k];
    }
    if (same) {
      *type = static_cast<ImageType>(i);
      return true;
    }
  }
  return false;
}

PathType ImageTypeFromPath(std::string_view path, ImageType* type) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (path == "-" || dot == std::string_view::npos || dot + 1 == name.size()) {
    return PathType::kNoExtension;
  }
  return ImageTypeFromName(name.substr(dot + 1), type) ? PathType::kFound : PathType::kUnknown;
}

bool PngAvailable() {
#ifdef QRIMAGE_TOOL_HAVE_PNG
  return true;
#else
  return false;
#endif
}

bool RenderImage(const SymbolView& symbol, ImageType type, const ImageOptions& options,
                 std::string* out, std::string* error) {
  if (options.scale < kMinScale || options.scale > kMaxScale ||
      (options.dpi != 0 && (options.dpi < kMinDpi || options.dpi > kMaxDpi))) {
    *error = "scale or resolution out of range";
    return false;
  }
  const Raster raster(symbol, options.scale);
  switch (type) {
    case ImageType::kBmp:
      RenderBmp(raster, options, out);
      return true;
    case ImageType::kPng:
#ifdef QRIMAGE_TOOL_HAVE_PNG
      return RenderPng(raster, options, out, error);
#else
      *error =
          "this qrimage was built without libpng; install libpng-dev (Debian, Ubuntu) or "
          "libpng-devel and build it again";
      return false;
#endif
    case ImageType::kSvg:
      RenderSvg(symbol, options, out);
      return true;
    case ImageType::kPbm:
      RenderPbm(raster, out);
      return true;
    case ImageType::kTxt:
      *out = RenderHalfBlocks(symbol, false, options.scale);
      return true;
  }
  *error = "unknown picture type";
  return false;
}

std::string RenderHalfBlocks(const SymbolView& symbol, bool terminalColours, int scale) {
  // Indexed by (top light) * 2 + (bottom light): blank, lower half block,
  // upper half block, full block, spelled as UTF-8 bytes.
  static const char* const kCells[4] = {" ", "\xE2\x96\x84", "\xE2\x96\x80", "\xE2\x96\x88"};
  const Raster raster(symbol, scale);
  const int side = raster.side();
  std::string picture;
  for (int y = 0; y < side; y += 2) {
    if (terminalColours) {
      picture += "\x1b[97;40m";
    }
    for (int x = 0; x < side; ++x) {
      const bool top = raster.Light(x, y);
      const bool bottom = y + 1 < side && raster.Light(x, y + 1);
      picture += kCells[(top ? 2 : 0) + (bottom ? 1 : 0)];
    }
    if (terminalColours) {
      picture += "\x1b[0m";
    }
    picture += '\n';
  }
  return picture;
}

double PrintedMillimetres(int size, ImageType type, const ImageOptions& options) {
  const double pixels = (size + 2.0 * kQuietZoneModules) * options.scale;
  switch (type) {
    case ImageType::kTxt:
      return 0;
    case ImageType::kSvg:
      return pixels * 25.4 / (options.dpi == 0 ? 96 : options.dpi);
    default:
      return pixels * 1000.0 / PixelsPerMetre(options.dpi);
  }
}

}  // namespace qrtool
