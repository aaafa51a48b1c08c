#include "image_formats.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "output/bitmap.h"
#include "report.h"
#include "state/symbol_tables.h"

// PNG through libpng, or on Windows through the system's encoder.
#ifdef QRIMAGE_TOOL_HAVE_PNG
#include <png.h>

#include <csetjmp>
#define QRIMAGE_TOOL_WRITES_PNG
#elif defined(QRIMAGE_TOOL_PNG_WIC)
#include "png_windows.h"
#define QRIMAGE_TOOL_WRITES_PNG
#endif

namespace qrtool {
namespace {

static_assert(kDefaultMargin == qrimage::kQuietZoneModules,
              "the tool's default quiet zone is the library's");
static_assert(
    [] {
      for (std::size_t i = 0; i < std::size(kImageTypes); ++i) {
        if (static_cast<std::size_t>(kImageTypes[i].type) != i) {
          return false;
        }
      }
      return true;
    }(),
    "one row per picture type, in ImageType's order");

// How pixel rows are packed: bottom row first or top row first; a 1 bit
// light or dark; bits past the last pixel 0, or in the quiet zone's rows
// all 1 (the library's bitmap layout).
struct RowPacking {
  bool bottomUp;
  bool oneIsLight;
  bool lightPadding;
};

// The picture as pixels: the symbol with its quiet zone, every module
// `scale` x `scale` pixels.
class Raster {
 public:
  Raster(const SymbolView& symbol, int scale, int margin)
      : symbol_(symbol),
        scale_(scale),
        margin_(margin),
        side_((symbol.size + 2 * margin) * scale) {}

  int side() const { return side_; }

  // The symbol row pixel row y shows, or -1 in the quiet zone.
  int ModuleRow(int y) const {
    const int r = y / scale_ - margin_;
    return r >= 0 && r < symbol_.size ? r : -1;
  }

  bool Light(int x, int y) const {
    const int r = ModuleRow(y);
    const int c = x / scale_ - margin_;
    return r < 0 || c < 0 || c >= symbol_.size ||
           symbol_.modules[r * symbol_.stride + c] != qrimage::MODULE_DARK;
  }

  // Calls emit() for every pixel row, packed into row[0..rowBytes) eight
  // pixels to a byte, leftmost in the top bit. Rows of one module row are
  // packed once.
  template <typename Emit>
  void ForEachPackedRow(const RowPacking& packing, std::uint8_t* row, int rowBytes,
                        Emit emit) const {
    for (int i = 0; i < side_; ++i) {
      const int y = packing.bottomUp ? side_ - 1 - i : i;
      if (i > 0 && ModuleRow(y) == ModuleRow(packing.bottomUp ? y + 1 : y - 1)) {
        emit();
        continue;
      }
      const bool filled = ModuleRow(y) < 0 && packing.lightPadding;
      std::memset(row, filled ? 0xFF : 0, rowBytes);
      for (int x = 0; x < side_ && !filled; ++x) {
        if (Light(x, y) == packing.oneIsLight) {
          row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
      }
      emit();
    }
  }

 private:
  SymbolView symbol_;
  int scale_;
  int margin_;
  int side_;
};

// Red, green or blue of a colour: the byte `shift` bits up.
std::uint8_t Channel(Colour colour, int shift) {
  return static_cast<std::uint8_t>(colour >> shift);
}

// The symbol's dark modules as horizontal runs: calls run(column, row,
// length) for each, in module units, quiet zone not counted.
template <typename Run>
void ForEachDarkRun(const SymbolView& symbol, Run run) {
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
      run(c, r, end - c);
      c = end;
    }
  }
}

int DpiOrDefault(const ImageOptions& options) {
  return options.dpi == 0 ? kDefaultDpi : options.dpi;
}

// The side of an SVG or PDF picture in points.
double SidePoints(int modules, const ImageOptions& options) {
  return options.sidePoints > 0 ? options.sidePoints
                                : modules * options.scale * 72.0 / DpiOrDefault(options);
}

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
  // The palette's two entries, blue, green, red and a zero byte each: a 0
  // bit is a dark pixel.
  std::uint8_t* palette = headers + qrimage::kBitmapHeaderBytes - qrimage::kBitmapPaletteBytes;
  for (const Colour colour : {options.foreground, options.background}) {
    for (const int shift : {0, 8, 16, 24}) {
      *palette++ = shift < 24 ? Channel(colour, shift) : 0;
    }
  }
  out->append(reinterpret_cast<const char*>(headers), sizeof headers);

  std::vector<std::uint8_t> row(rowBytes);
  raster.ForEachPackedRow({.bottomUp = true, .oneIsLight = true, .lightPadding = true}, row.data(),
                          rowBytes,
                          [&] { out->append(reinterpret_cast<char*>(row.data()), rowBytes); });
}

// Binary netpbm bitmap: a 1 bit is black.
void RenderPbm(const Raster& raster, std::string* out) {
  const int side = raster.side();
  const int rowBytes = (side + 7) / 8;
  *out = "P4\n" + std::to_string(side) + " " + std::to_string(side) + "\n";
  std::vector<std::uint8_t> row(rowBytes);
  raster.ForEachPackedRow({.bottomUp = false, .oneIsLight = false, .lightPadding = false},
                          row.data(), rowBytes,
                          [&] { out->append(reinterpret_cast<char*>(row.data()), rowBytes); });
}

// A number for SVG, PDF and EPS, no trailing zeros: ten decimals at most, so
// that a module stays its size at the finest resolution too.
std::string Decimal(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.10f", value);
  std::string number = text;
  number.erase(number.find_last_not_of('0') + 1);
  if (number.back() == '.') {
    number.pop_back();
  }
  return number;
}

std::string HexColour(Colour colour) {
  return std::string("#").append(Hex(colour, 6, false));
}

// CSS pixels an inch: how browsers and other SVG renderers size a length
// given in pixels, whatever the screen.
constexpr double kCssPixelsPerInch = 96;

// One path of the dark modules, a closed rectangle per horizontal run, in
// module units; the picture's size is set by width and height: in CSS
// pixels, so that it shows at its pixel count on a web page, or with -d or
// a physical --size in points (1/72 inch), which renderers take exactly at
// any resolution.
void RenderSvg(const SymbolView& symbol, const ImageOptions& options, std::string* out) {
  const int modules = symbol.size + 2 * options.margin;
  // Without -d the resolution is 72 dpi: as many pixels as points.
  const std::string side =
      Decimal(SidePoints(modules, options)) + (InCssPixels(ImageType::kSvg, options) ? "" : "pt");
  char head[400];
  std::snprintf(head, sizeof head,
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%s\" "
                "height=\"%s\" viewBox=\"0 0 %d %d\" shape-rendering=\"crispEdges\">\n",
                side.c_str(), side.c_str(), modules, modules);
  *out = head;
  if (options.background != kTransparent) {
    *out += "<rect width=\"" + std::to_string(modules) + "\" height=\"" + std::to_string(modules) +
            "\" fill=\"" + HexColour(options.background) + "\"/>\n";
  }
  *out += "<path fill=\"" + HexColour(options.foreground) + "\" d=\"";
  ForEachDarkRun(symbol, [&](int c, int r, int length) {
    char run[64];
    std::snprintf(run, sizeof run, "M%d %dh%dv1h-%dz", c + options.margin, r + options.margin,
                  length, length);
    out->append(run);
  });
  out->append("\"/>\n</svg>\n");
}

// The smallest contrast ratio the colours may have: the WCAG figure for
// graphics that must be told apart.
constexpr double kMinContrast = 3.0;

// A colour as the operands of a vector type's colour operator: red, green
// and blue, or with `inks` cyan, magenta, yellow and black, each 0 to 1;
// a page with one colour in inks has both in inks.
std::string ColourOperands(Colour colour, const std::optional<Inks>& given, bool inks) {
  std::string operands;
  if (inks) {
    const Inks shares = given.value_or(InksFromColour(colour));
    for (const double share : {shares.cyan, shares.magenta, shares.yellow, shares.black}) {
      operands += Decimal(share) + " ";
    }
    return operands;
  }
  for (const int shift : {16, 8, 0}) {
    operands += Decimal(Channel(colour, shift) / 255.0) + " ";
  }
  return operands;
}

bool InInks(const ImageOptions& options) {
  return options.foregroundInks.has_value() || options.backgroundInks.has_value();
}

// The fill colour operator: `rg` for RGB and `k` for inks in PDF,
// setrgbcolor and setcmykcolor in PostScript.
std::string FillColour(ImageType type, const ImageOptions& options, bool foreground) {
  const bool inks = InInks(options);
  const std::string operands =
      foreground ? ColourOperands(options.foreground, options.foregroundInks, inks)
                 : ColourOperands(options.background, options.backgroundInks, inks);
  if (type == ImageType::kPdf) {
    return operands + (inks ? "k\n" : "rg\n");
  }
  return operands + (inks ? "setcmykcolor\n" : "setrgbcolor\n");
}

// The page sizes PDF readers take, in points.
constexpr int kMinPdfPoints = 3;
constexpr int kMaxPdfPoints = 14400;

// One page the size of the picture at its resolution (a pixel is 72 / dpi
// points), the background and the dark runs as filled rectangles in module
// units, no fonts.
void RenderPdf(const SymbolView& symbol, const ImageOptions& options, std::string* out) {
  const int modules = symbol.size + 2 * options.margin;
  const std::string side = Decimal(SidePoints(modules, options));
  const std::string unit = Decimal(SidePoints(modules, options) / modules);
  // Module units, origin at the top left, as in the other formats.
  std::string content = unit + " 0 0 -" + unit + " 0 " + side + " cm\n" +
                        FillColour(ImageType::kPdf, options, false) + "0 0 " +
                        std::to_string(modules) + " " + std::to_string(modules) + " re f\n" +
                        FillColour(ImageType::kPdf, options, true);
  ForEachDarkRun(symbol, [&](int c, int r, int length) {
    content += std::to_string(c + options.margin) + " " + std::to_string(r + options.margin) + " " +
               std::to_string(length) + " 1 re\n";
  });
  content += "f\n";

  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + side + " " + side +
          "] /Resources << >> /Contents 4 0 R >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
  };
  *out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::string xref = "xref\n0 5\n0000000000 65535 f \n";
  int number = 1;
  for (const std::string& object : objects) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", out->size());
    xref += entry;
    *out += std::to_string(number++) + " 0 obj\n" + object + "\nendobj\n";
  }
  const std::size_t xrefAt = out->size();
  *out += xref + "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + std::to_string(xrefAt) +
          "\n%%EOF\n";
}

// PNG rows: top row first, a 1 bit light.
[[maybe_unused]] constexpr RowPacking kPngRows{
    .bottomUp = false, .oneIsLight = true, .lightPadding = false};

// Rectangles filled at a time in EPS: a path of one holds 5 points at most
// (a move, three lines and the close), and printers take paths of 1,500.
constexpr int kEpsRunsPerFill = 250;

// Encapsulated PostScript of one page the size of the picture at its
// resolution, in the bounding box rounded outward to whole points: the
// background and the dark runs as filled rectangles in module units, no
// fonts, nothing past the first language level but setcmykcolor.
void RenderEps(const SymbolView& symbol, const ImageOptions& options, std::string* out) {
  const int modules = symbol.size + 2 * options.margin;
  const double points = SidePoints(modules, options);
  const std::string side = Decimal(points);
  const std::string box = std::to_string(static_cast<long>(std::ceil(std::stod(side))));
  const std::string unit = Decimal(points / modules);
  *out = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 " + box + " " + box +
         "\n%%HiResBoundingBox: 0 0 " + side + " " + side +
         "\n%%Creator: qrimage\n%%LanguageLevel: 1\n" +
         (InInks(options) ? "%%Extensions: CMYK\n" : "") +
         "%%Pages: 1\n%%EndComments\n"
         // x y w r: a rectangle w modules wide and one high at column x, row y.
         "/r { 3 1 roll moveto dup 0 rlineto 0 1 rlineto neg 0 rlineto closepath } bind def\n"
         "gsave\n"
         // Module units, origin at the top left, as in the other formats.
         "[" +
         unit + " 0 0 -" + unit + " 0 " + side + "] concat\n" +
         FillColour(ImageType::kEps, options, false) + "0 0 moveto " + std::to_string(modules) +
         " 0 rlineto 0 " + std::to_string(modules) + " rlineto -" + std::to_string(modules) +
         " 0 rlineto closepath fill\n" + FillColour(ImageType::kEps, options, true);
  int runs = 0;
  ForEachDarkRun(symbol, [&](int c, int r, int length) {
    *out += std::to_string(c + options.margin) + " " + std::to_string(r + options.margin) + " " +
            std::to_string(length) + " r\n";
    if (++runs % kEpsRunsPerFill == 0) {
      *out += "fill\n";
    }
  });
  *out += (runs % kEpsRunsPerFill != 0 ? "fill\n" : "") + std::string("grestore\n%%EOF\n");
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
bool WritePng(png_structp png, png_infop info, const Raster& raster, const ImageOptions& options,
              std::uint8_t* row, int rowBytes) {
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  const int side = raster.side();
  const bool grey = options.foreground == kBlack && options.background == kWhite;
  png_set_IHDR(png, info, side, side, 1, grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!grey) {
    // Index 0 dark, 1 light, as the grey levels; a transparent background
    // is white to readers that ignore transparency.
    const bool transparent = options.background == kTransparent;
    const Colour light = transparent ? kWhite : options.background;
    png_color palette[2];
    for (int i = 0; i < 2; ++i) {
      const Colour colour = i == 0 ? options.foreground : light;
      palette[i] = {Channel(colour, 16), Channel(colour, 8), Channel(colour, 0)};
    }
    png_set_PLTE(png, info, palette, 2);
    if (transparent) {
      png_byte alpha[2] = {255, 0};
      png_set_tRNS(png, info, alpha, 2, nullptr);
    }
  }
  const std::uint32_t ppm = PixelsPerMetre(options.dpi);
  png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  raster.ForEachPackedRow(kPngRows, row, rowBytes, [&] { png_write_row(png, row); });
  png_write_end(png, nullptr);
  return true;
}

// 1 bit a pixel, a 1 bit light: greyscale in black and white, else two
// palette entries; the resolution in a pHYs chunk.
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
    written = WritePng(png, info, raster, options, row.data(), static_cast<int>(row.size()));
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

#elif defined(QRIMAGE_TOOL_PNG_WIC)

bool RenderPng(const Raster& raster, const ImageOptions& options, std::string* out,
               std::string* error) {
  std::vector<std::uint8_t> row((raster.side() + 7) / 8);
  const auto rows = [&](const std::function<bool(const std::uint8_t*)>& write) {
    bool writing = true;
    raster.ForEachPackedRow(kPngRows, row.data(), static_cast<int>(row.size()),
                            [&] { writing = writing && write(row.data()); });
  };
  return EncodePngWithWic(raster.side(), options.foreground, options.background,
                          PixelsPerMetre(options.dpi), rows, out, error);
}

#endif

}  // namespace

std::string ImageTypeNameList(bool ImageTypeTraits::*property, const char* last, bool value) {
  std::vector<std::string_view> names;
  for (const ImageTypeTraits& traits : kImageTypes) {
    if (property == nullptr || traits.*property == value) {
      names.push_back(traits.name);
    }
  }
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    list += std::string(i == 0 ? "" : i + 1 == names.size() ? last : ", ") + std::string(names[i]);
  }
  return list;
}

bool ImageTypeFromName(std::string_view name, ImageType* type) {
  for (const ImageTypeTraits& traits : kImageTypes) {
    const std::string_view known = traits.name;
    bool same = name.size() == known.size();
    for (std::size_t k = 0; same && k < name.size(); ++k) {
      same = std::tolower(static_cast<unsigned char>(name[k])) == known[k];
    }
    if (same) {
      *type = traits.type;
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
    *type = ImageType::kBmp;
    return PathType::kNoExtension;
  }
  return ImageTypeFromName(name.substr(dot + 1), type) ? PathType::kFound : PathType::kUnknown;
}

bool InCssPixels(ImageType type, const ImageOptions& options) {
  return Traits(type).cssPixels && options.dpi == 0 && !options.physicalSide;
}

int PictureSide(int size, const ImageOptions& options) {
  return (size + 2 * options.margin) * options.scale;
}

bool PngAvailable() {
#ifdef QRIMAGE_TOOL_WRITES_PNG
  return true;
#else
  return false;
#endif
}

bool PictureFits(ImageType type, const ImageOptions& options, std::string* error) {
  const std::string name(ImageTypeName(type));
  if (options.scale < kMinScale || options.scale > kMaxScale ||
      (options.dpi != 0 && (options.dpi < kMinDpi || options.dpi > kMaxDpi)) ||
      options.margin < 0 || options.margin > kMaxMargin || options.foreground == kTransparent) {
    *error = "scale, resolution, margin or colour out of range";
  } else if (options.background == kTransparent && !TakesTransparency(type)) {
    *error = "a transparent background needs a " +
             ImageTypeNameList(&ImageTypeTraits::transparency, " or ") + " picture, not " + name;
  } else if ((options.foreground != kBlack || options.background != kWhite) &&
             !TakesColours(type)) {
    *error = "a " + name + " picture is black and white only: no --fg or --bg";
  } else if (InInks(options) && !Traits(type).inks) {
    *error = "colours in inks (cmyk:) need a " + ImageTypeNameList(&ImageTypeTraits::inks, " or ") +
             " picture, not " + name + ": give --fg and --bg as RRGGBB";
  } else {
    return true;
  }
  return false;
}

bool ColoursReadable(const ImageOptions& options, std::string* error) {
  const bool transparent = options.background == kTransparent;
  const Colour background = transparent ? kWhite : options.background;
  const double dark = Luminance(options.foreground);
  const double light = Luminance(background);
  const double ratio = (light + 0.05) / (dark + 0.05);
  if (dark < light && ratio >= kMinContrast) {
    return true;
  }
  const std::string colours =
      ColourName(options.foreground, options.foregroundInks) + " " +
      (dark >= light ? "is not darker than the background " : "on ") +
      (transparent ? Hex(kWhite, 6, false) : ColourName(background, options.backgroundInks));
  if (dark >= light) {
    *error = "the foreground " + colours + ": readers look for dark modules on a light ground";
    return false;
  }
  // Cut, not rounded, so that a ratio just under the least never shows as it.
  char figures[64];
  std::snprintf(figures, sizeof figures, "%.2f:1, at least %.0f:1", std::floor(ratio * 100) / 100,
                kMinContrast);
  *error = "the colours " + colours + " are too close to scan: their contrast ratio is " + figures +
           " is needed";
  return false;
}

bool PageFits(ImageType type, const ImageOptions& options, int size, std::string* error) {
  const double pagePoints = SidePoints(size + 2 * options.margin, options);
  if (type == ImageType::kPdf && (pagePoints < kMinPdfPoints || pagePoints > kMaxPdfPoints)) {
    *error = "a PDF page is " + std::to_string(kMinPdfPoints) + " to " +
             std::to_string(kMaxPdfPoints) + " pt a side, this one would be " +
             Decimal(pagePoints) + " pt: change -s, --size, -m or -d";
    return false;
  }
  return true;
}

bool RenderImage(const SymbolView& symbol, ImageType type, const ImageOptions& options,
                 std::string* out, std::string* error) {
  if (!PictureFits(type, options, error) || !PageFits(type, options, symbol.size, error)) {
    return false;
  }
  const Raster raster(symbol, options.scale, options.margin);
  switch (type) {
    case ImageType::kBmp:
      RenderBmp(raster, options, out);
      return true;
    case ImageType::kPng:
#ifdef QRIMAGE_TOOL_WRITES_PNG
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
    case ImageType::kPdf:
      RenderPdf(symbol, options, out);
      return true;
    case ImageType::kEps:
      RenderEps(symbol, options, out);
      return true;
    case ImageType::kPbm:
      RenderPbm(raster, out);
      return true;
    case ImageType::kTxt:
      *out = RenderHalfBlocks(symbol, false, options.scale, options.margin);
      return true;
  }
  *error = "unknown picture type";
  return false;
}

std::string RenderHalfBlocks(const SymbolView& symbol, bool terminalColours, int scale,
                             int margin) {
  // Indexed by (top light) * 2 + (bottom light): blank, lower half block,
  // upper half block, full block, spelled as UTF-8 bytes.
  static const char* const kCells[4] = {" ", "\xE2\x96\x84", "\xE2\x96\x80", "\xE2\x96\x88"};
  const Raster raster(symbol, scale, margin);
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
  const double pixels = PictureSide(size, options);
  switch (Traits(type).sizing) {
    case Sizing::kNone:
      return 0;
    case Sizing::kPoints:
      // SidePoints is the side in CSS pixels as well (72 dpi without -d).
      return SidePoints(size + 2 * options.margin, options) * 25.4 /
             (InCssPixels(type, options) ? kCssPixelsPerInch : 72);
    case Sizing::kUnstated:
      return pixels * 25.4 / DpiOrDefault(options);
    case Sizing::kPixelsPerMetre:
      break;
  }
  return pixels * 1000.0 / PixelsPerMetre(options.dpi);
}

}  // namespace qrtool
