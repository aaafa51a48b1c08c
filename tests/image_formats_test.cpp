// The tool's picture formats: every file is read back and compared pixel
// for pixel with the encoded module grid, and decoded by zbar and ZXing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "image_formats.h"
#include "qrimage.h"
#include "test_util.h"
#include "tool_core/encode.h"

#ifdef QRIMAGE_TOOL_HAVE_PNG
#include <png.h>
#endif

namespace {

using qrtest::Bytes;
using qrtool::Colour;
using qrtool::ImageOptions;
using qrtool::ImageType;

// A copy of the symbol the library encoded.
struct Symbol {
  int version = 0;
  int size = 0;
  std::vector<std::uint8_t> modules;  // size * size, 0x00 dark

  qrtool::SymbolView View() const { return {modules.data(), size, size}; }
  // Module (x, y) of the picture, a quiet zone of `margin` included.
  bool Dark(int x, int y, int margin) const {
    x -= margin;
    y -= margin;
    return x >= 0 && y >= 0 && x < size && y < size &&
           modules[y * size + x] == qrimage::MODULE_DARK;
  }
};

// A version floor and an ECI header for Encode.
struct EncodeOptions {
  int minVersion = qrimage::kMinVersion;
  bool eci = false;
};

// The text as one byte segment at the level letter, in the smallest version
// from the floor up: without a floor or ECI header, the symbol QRImage
// writes. Version 0 when it does not fit.
Symbol Encode(const std::string& text, char level, const EncodeOptions& options = {}) {
  static qrimage::Symbol encoded;
  Symbol symbol;
  const auto index = static_cast<int>(std::string_view("LMQH").find(level));
  qrimage::SymbolPlan plan;
  if (qrimage::PlanBytes(text.size(), index, options.minVersion, options.eci, plan)) {
    symbol.version =
        qrimage::EncodeSegments(reinterpret_cast<const std::uint8_t*>(text.data()), plan, encoded);
  }
  if (symbol.version > 0) {
    symbol.size = encoded.size;
    symbol.modules.assign(encoded.modules, encoded.modules + encoded.size * encoded.size);
  }
  return symbol;
}

// A picture read back from a file: side x side pixels, top row first.
struct Picture {
  int side = 0;
  std::vector<Colour> pixels;
  std::uint32_t pixelsPerMetre = 0;  // BMP and PNG
  std::string svgWidth;              // SVG: the width attribute
  std::string page;                  // PDF, EPS: the page drawn as PNG
};

using qrtest::LittleEndian;

#ifdef QRIMAGE_TOOL_HAVE_PNG
std::uint32_t BigEndian(const Bytes& b, std::size_t at) {
  return b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}
#endif

// The library's layout only: 62-byte header, a palette of two colours,
// square bottom-up rows with padding bits 0 on symbol rows.
testing::AssertionResult ParseBmp(const Bytes& file, Picture* picture) {
  if (file.size() < 62 || file[0] != 'B' || file[1] != 'M' ||
      LittleEndian(file, 2, 4) != file.size() || LittleEndian(file, 10, 4) != 62 ||
      LittleEndian(file, 14, 4) != 40 || LittleEndian(file, 26, 4) != 0x10001 ||
      LittleEndian(file, 30, 4) != 0 || LittleEndian(file, 38, 4) != LittleEndian(file, 42, 4)) {
    return testing::AssertionFailure() << "not the library's bitmap layout";
  }
  const int side = static_cast<int>(LittleEndian(file, 18, 4));
  const int rowBytes = (side + 31) / 32 * 4;
  if (LittleEndian(file, 22, 4) != static_cast<std::uint32_t>(side) ||
      LittleEndian(file, 34, 4) != static_cast<std::uint32_t>(rowBytes * side) ||
      file.size() != 62u + rowBytes * side) {
    return testing::AssertionFailure() << "sizes in the header do not match";
  }
  const qrtest::Bitmap bitmap = qrtest::ReadBitmap(file);
  picture->side = side;
  picture->pixelsPerMetre = LittleEndian(file, 38, 4);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      picture->pixels.push_back(LittleEndian(file, bitmap.White(x, y) ? 58 : 54, 3));
    }
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult ParsePbm(const Bytes& file, Picture* picture) {
  int width = 0, height = 0, headerBytes = 0;
  const std::string text(file.begin(), file.end());
  if (std::sscanf(text.c_str(), "P4\n%d %d\n%n", &width, &height, &headerBytes) != 2 ||
      headerBytes == 0 || width != height ||
      file.size() != headerBytes + static_cast<std::size_t>((width + 7) / 8) * height) {
    return testing::AssertionFailure() << "not a square binary PBM";
  }
  picture->side = width;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = &file[headerBytes + y * ((width + 7) / 8)];
    for (int x = 0; x < width; ++x) {
      picture->pixels.push_back((row[x / 8] >> (7 - x % 8)) & 1 ? qrtool::kBlack : qrtool::kWhite);
    }
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult ParsePng(const Bytes& file, Picture* picture) {
#ifdef QRIMAGE_TOOL_HAVE_PNG
  // Ours: 1 bit a pixel, grey or palette (IHDR); others come from pdftocairo.
  const bool ours = file.size() >= 33 && file[24] == 1 && (file[25] == 0 || file[25] == 3);
  const std::string bytes(file.begin(), file.end());
  const std::size_t phys = bytes.find("pHYs");
  if (ours && (phys == std::string::npos ||
               BigEndian(file, phys + 4) != BigEndian(file, phys + 8) || file[phys + 12] != 1)) {
    return testing::AssertionFailure() << "no square pHYs in metres";
  }
  picture->pixelsPerMetre = ours ? BigEndian(file, phys + 4) : 0;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
    return testing::AssertionFailure() << "libpng: " << image.message;
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (image.width != image.height ||
      !png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return testing::AssertionFailure() << "libpng could not read a square picture";
  }
  picture->side = static_cast<int>(image.width);
  for (std::size_t at = 0; at < rgba.size(); at += 4) {
    picture->pixels.push_back(rgba[at + 3] == 0
                                  ? qrtool::kTransparent
                                  : Colour{rgba[at]} << 16 | rgba[at + 1] << 8 | rgba[at + 2]);
  }
  return testing::AssertionSuccess();
#else
  (void)file;
  (void)picture;
  return testing::AssertionFailure() << "built without libpng";
#endif
}

std::string Attribute(const std::string& text, const std::string& name) {
  const std::size_t at = text.find(" " + name + "=\"");
  if (at == std::string::npos) {
    return "";
  }
  const std::size_t start = at + name.size() + 3;
  return text.substr(start, text.find('"', start) - start);
}

// Pixels of one module each, from the path's "Mx yhwv1h-wz" runs in its
// fill colour over the rectangle's (none: transparent); the picture's pixel
// scale is checked through the width attribute.
testing::AssertionResult ParseSvg(const Bytes& file, Picture* picture) {
  const std::string text(file.begin(), file.end());
  int side = 0;
  if (text.find("shape-rendering=\"crispEdges\"") == std::string::npos ||
      std::sscanf(Attribute(text, "viewBox").c_str(), "0 0 %d", &side) != 1 ||
      Attribute(text, "viewBox") != "0 0 " + std::to_string(side) + " " + std::to_string(side) ||
      Attribute(text, "width") != Attribute(text, "height")) {
    return testing::AssertionFailure() << "unexpected svg element:\n" << text.substr(0, 400);
  }
  const std::string square = "<rect width=\"" + std::to_string(side) + "\" height=\"" +
                             std::to_string(side) + "\" fill=\"#";
  const std::size_t rect = text.find(square);
  const std::size_t path = text.find("<path fill=\"#");
  unsigned background = qrtool::kTransparent, foreground = 0;
  if ((rect != std::string::npos &&
       std::sscanf(text.c_str() + rect + square.size(), "%6x\"/>", &background) != 1) ||
      path == std::string::npos || text.find("<path", path + 1) != std::string::npos ||
      std::sscanf(text.c_str() + path, "<path fill=\"#%6x\" d=\"", &foreground) != 1) {
    return testing::AssertionFailure() << "not one rectangle and one path";
  }
  picture->side = side;
  picture->svgWidth = Attribute(text, "width");
  picture->pixels.assign(side * side, background);
  const std::size_t runs = text.find("d=\"", path) + 3;
  const std::size_t end = text.find('"', runs);
  for (std::size_t at = runs; at < end;) {
    int x = 0, y = 0, w = 0, back = 0, used = 0;
    if (std::sscanf(text.c_str() + at, "M%d %dh%dv1h-%dz%n", &x, &y, &w, &back, &used) != 4 ||
        w != back || w <= 0 || x < 0 || y < 0 || x + w > side || y >= side) {
      return testing::AssertionFailure() << "bad run at " << text.substr(at, 30);
    }
    for (int i = x; i < x + w; ++i) {
      if (picture->pixels[y * side + i] == foreground) {
        return testing::AssertionFailure() << "runs overlap at " << i << "," << y;
      }
      picture->pixels[y * side + i] = foreground;
    }
    at += used;
  }
  return testing::AssertionSuccess();
}

// Half blocks: two pixel rows a line; blocks are light. An odd last pixel
// row must sit over a dark lower half.
testing::AssertionResult ParseHalfBlocks(const Bytes& file, Picture* picture) {
  static constexpr std::string_view kCells[4] = {" ", "\xE2\x96\x84", "\xE2\x96\x80",
                                                 "\xE2\x96\x88"};
  const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
  std::vector<std::vector<bool>> rows;
  std::size_t at = 0;
  while (at < text.size()) {
    std::vector<bool> top, bottom;
    while (at < text.size() && text[at] != '\n') {
      int cell = 0;
      while (cell < 4 && !text.substr(at).starts_with(kCells[cell])) {
        ++cell;
      }
      if (cell == 4) {
        return testing::AssertionFailure() << "unexpected byte at " << at;
      }
      top.push_back(cell < 2);  // dark
      bottom.push_back(cell % 2 == 0);
      at += kCells[cell].size();
    }
    ++at;
    rows.push_back(top);
    rows.push_back(bottom);
  }
  const int side = static_cast<int>(rows.empty() ? 0 : rows[0].size());
  if (rows.size() != static_cast<std::size_t>(side + side % 2) ||
      (side % 2 == 1 && rows.back() != std::vector<bool>(side, true))) {
    return testing::AssertionFailure() << "not a square picture (odd: over a dark half row)";
  }
  picture->side = side;
  for (int y = 0; y < side; ++y) {
    if (rows[y].size() != static_cast<std::size_t>(side)) {
      return testing::AssertionFailure() << "line " << y / 2 << " is " << rows[y].size() << " wide";
    }
    for (const bool dark : rows[y]) {
      picture->pixels.push_back(dark ? qrtool::kBlack : qrtool::kWhite);
    }
  }
  return testing::AssertionSuccess();
}

// Each object where the cross-reference table says, and the page drawn
// by poppler at the picture's resolution (through cairo: pdftoppm widens
// filled rectangles by a pixel to the right and below).
testing::AssertionResult ParsePdf(const Bytes& file, int dpi, Picture* picture) {
  const std::string text(file.begin(), file.end());
  const std::size_t xref = std::stoul(text.substr(text.rfind("startxref\n") + 10));
  int objects = 0;
  if (std::sscanf(text.c_str() + xref, "xref 0 %d", &objects) != 1) {
    return testing::AssertionFailure() << "no cross-reference table at " << xref;
  }
  const std::size_t first = text.find('\n', xref + 5) + 1;
  for (int n = 1; n < objects; ++n) {
    const std::size_t at = std::stoul(text.substr(first + 20 * n, 10));
    if (text.compare(at, std::to_string(n).size() + 6, std::to_string(n) + " 0 obj") != 0) {
      return testing::AssertionFailure() << "object " << n << " is not at " << at;
    }
  }
  const std::string pdf = qrtest::ScratchPath("picture.pdf");
  qrtest::WriteFile(pdf, file);
  const std::string png = qrtest::ScratchPath("pdf-page");
  if (std::system(("pdftocairo -png -singlefile -antialias none -r " + std::to_string(dpi) + " '" +
                   pdf + "' '" + png + "'")
                      .c_str()) != 0) {
    return testing::AssertionFailure() << "pdftocairo failed";
  }
  picture->page = png + ".png";
  return ParsePng(qrtest::ReadFile(picture->page), picture);
}

// The header and its bounding boxes, every path within the 1,500 points
// printers take (5 to a rectangle), and the page drawn by Ghostscript.
testing::AssertionResult ParseEps(const Bytes& file, int dpi, Picture* picture) {
  const std::string text(file.begin(), file.end());
  double box = 0, hiRes = 0;
  if (!text.starts_with("%!PS-Adobe-3.0 EPSF-3.0\n") ||
      std::sscanf(text.c_str() + text.find("%%BoundingBox:"), "%%%%BoundingBox: 0 0 %lf", &box) !=
          1 ||
      std::sscanf(text.c_str() + text.find("%%HiResBoundingBox:"), "%%%%HiResBoundingBox: 0 0 %lf",
                  &hiRes) != 1 ||
      box != std::ceil(hiRes) || text.find("font") != std::string::npos) {
    return testing::AssertionFailure() << "unexpected header:\n" << text.substr(0, 300);
  }
  for (std::size_t at = 0, fill; (fill = text.find("fill\n", at)) != std::string::npos;
       at = fill + 5) {
    int rectangles = 0;
    for (std::size_t r = text.find(" r\n", at); r < fill; r = text.find(" r\n", r + 3)) {
      ++rectangles;
    }
    if (rectangles * 5 > 1500) {
      return testing::AssertionFailure() << "a path of " << rectangles << " rectangles";
    }
  }
  const std::string eps = qrtest::ScratchPath("picture.eps");
  qrtest::WriteFile(eps, file);
  picture->page = qrtest::ScratchPath("eps-page.png");
  if (std::system(("gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -sDEVICE=png16m -r" +
                   std::to_string(dpi) + " -sOutputFile='" + picture->page + "' '" + eps + "'")
                      .c_str()) != 0) {
    return testing::AssertionFailure() << "gs failed";
  }
  return ParsePng(qrtest::ReadFile(picture->page), picture);
}

testing::AssertionResult ReadBack(ImageType type, const Bytes& file, Picture* picture,
                                  int dpi = 0) {
  switch (type) {
    case ImageType::kBmp:
      return ParseBmp(file, picture);
    case ImageType::kPng:
      return ParsePng(file, picture);
    case ImageType::kSvg:
      return ParseSvg(file, picture);
    case ImageType::kPdf:
      return ParsePdf(file, dpi == 0 ? qrtool::kDefaultDpi : dpi, picture);
    case ImageType::kEps:
      return ParseEps(file, dpi == 0 ? qrtool::kDefaultDpi : dpi, picture);
    case ImageType::kPbm:
      return ParsePbm(file, picture);
    case ImageType::kTxt:
      return ParseHalfBlocks(file, picture);
  }
  return testing::AssertionFailure();
}

// Every pixel against its module in its colour; SVG pictures are in modules.
testing::AssertionResult ShowsSymbol(const Picture& picture, const Symbol& symbol, int scale,
                                     const ImageOptions& options = {}) {
  const int modules = symbol.size + 2 * options.margin;
  if (picture.side != modules * scale) {
    return testing::AssertionFailure()
           << "side " << picture.side << ", expected " << modules * scale;
  }
  for (int y = 0; y < picture.side; ++y) {
    for (int x = 0; x < picture.side; ++x) {
      const Colour expected = symbol.Dark(x / scale, y / scale, options.margin)
                                  ? options.foreground
                                  : options.background;
      if (picture.pixels[y * picture.side + x] != expected) {
        return testing::AssertionFailure() << "pixel " << x << "," << y << " is " << std::hex
                                           << picture.pixels[y * picture.side + x];
      }
    }
  }
  return testing::AssertionSuccess();
}

std::string Render(const Symbol& symbol, ImageType type, const ImageOptions& options) {
  std::string out, error;
  EXPECT_TRUE(qrtool::RenderImage(symbol.View(), type, options, &out, &error)) << error;
  return out;
}

std::string WriteScratch(const std::string& contents, const std::string& name) {
  const std::string path = qrtest::ScratchPath(name);
  qrtest::WriteFile(path, Bytes(contents.begin(), contents.end()));
  return path;
}

struct Case {
  int length;
  char level;
  ImageOptions options;
  std::uint32_t pixelsPerMetre;  // in BMP and PNG files
  EncodeOptions encode;          // a version floor, an ECI header
};

// Versions 1, 5, 7, 18, 36, 3, 4 and 2, then 12 by its floor and 2 behind an
// ECI header (the 14 bytes of the UTF-8 text fill version 1 without one);
// scale 8 must decode at 1:1, and 72 dpi rounds to 2835 pixels per metre,
// not the library's 2834.
constexpr Case kCases[] = {
    {11, 'M', {1, 0}, 2834, {}},
    {60, 'Q', {2, 300}, 11811, {}},
    {150, 'L', {8, 0}, 2834, {}},
    {300, 'H', {4, 600}, 23622, {}},
    {1000, 'H', {3, 0}, 2834, {}},
    {40, 'L', {5, 72}, 2835, {}},
    {70, 'M', {3, 150, 1, 0x1a237e, 0xfff8e1}, 5906, {}},
    {20, 'Q', {4, 0, 2, 0x8b0000, qrtool::kTransparent}, 2834, {}},
    {17, 'Q', {2, 0}, 2834, {12, false}},
    {0, 'M', {2, 0}, 2834, {1, true}},
};

TEST(ImageFormats, EveryTypeShowsTheSymbolAndDecodes) {
  ASSERT_TRUE(qrtest::HaveTool("zbarimg") && qrtest::HaveTool("ZXingReader") &&
              qrtest::HaveTool("rsvg-convert") && qrtest::HaveTool("pdftocairo") &&
              qrtest::HaveTool("gs") && !qrtest::ImageMagick().empty())
      << "needs zbarimg, ZXingReader, rsvg-convert, pdftocairo, gs and ImageMagick (Debian "
         "zbar-tools, zxing-cpp-tools, librsvg2-bin, poppler-utils, ghostscript, imagemagick)";
  for (const Case& c : kCases) {
    // Behind an ECI header the bytes are UTF-8, and readers take them so.
    const std::string text =
        c.encode.eci ? "5 \u20AC \u03A9 \U0001F600!" : qrtest::MixedText(c.length, c.length);
    const Symbol symbol = Encode(text, c.level, c.encode);
    ASSERT_GE(symbol.version, c.encode.minVersion);
    const ImageOptions& options = c.options;
    for (std::size_t t = 0; t < qrtool::kImageTypeNames.size(); ++t) {
      const ImageType type = static_cast<ImageType>(t);
      const std::string name(qrtool::kImageTypeNames[t]);
      SCOPED_TRACE(testing::Message()
                   << name << ", version " << symbol.version << " level " << c.level << ", scale "
                   << options.scale << ", dpi " << options.dpi << ", margin " << options.margin);
      if ((options.background == qrtool::kTransparent && !qrtool::TakesTransparency(type)) ||
          (options.foreground != qrtool::kBlack && !qrtool::TakesColours(type))) {
        std::string out, error;
        EXPECT_FALSE(qrtool::RenderImage(symbol.View(), type, options, &out, &error));
        continue;
      }
      if (type == ImageType::kPng && !qrtool::PngAvailable()) {
        std::string out, error;
        EXPECT_FALSE(qrtool::RenderImage(symbol.View(), type, options, &out, &error));
        EXPECT_NE(error.find("libpng-dev"), std::string::npos) << error;
        std::cout << "png skipped: this build has no libpng\n";
        continue;
      }
      const std::string contents = Render(symbol, type, options);
      Picture picture;
      ASSERT_TRUE(ReadBack(type, Bytes(contents.begin(), contents.end()), &picture, options.dpi));
      const int pixelScale = type == ImageType::kSvg ? 1 : options.scale;
      EXPECT_TRUE(ShowsSymbol(picture, symbol, pixelScale, options));

      // The resolution in the file agrees with the printed size the tool reports.
      const double mm = qrtool::PrintedMillimetres(symbol.size, type, options);
      if (picture.pixelsPerMetre != 0) {
        EXPECT_EQ(picture.pixelsPerMetre, c.pixelsPerMetre);
        EXPECT_NEAR(mm, picture.side * 1000.0 / picture.pixelsPerMetre, 1e-9);
      }
      // An SVG without -d is in CSS pixels (96 an inch), with -d in points.
      const bool cssPixels = type == ImageType::kSvg && options.dpi == 0;
      if (type == ImageType::kSvg) {
        EXPECT_EQ(picture.svgWidth.ends_with("pt"), !cssPixels) << picture.svgWidth;
        EXPECT_NEAR(std::stod(picture.svgWidth), mm * (cssPixels ? 96 : 72) / 25.4, 1e-4);
      }
      if (type == ImageType::kSvg || type == ImageType::kPdf || type == ImageType::kEps ||
          type == ImageType::kPbm) {
        // Sized at 72 dpi without -d, PBM too (it stores no pixels per metre).
        const int dpi = cssPixels ? 96 : options.dpi == 0 ? qrtool::kDefaultDpi : options.dpi;
        EXPECT_NEAR(mm, qrtool::PictureSide(symbol.size, options) * 25.4 / dpi, 1e-9);
      }
      if (type == ImageType::kTxt) {
        continue;
      }

      std::string image = WriteScratch(contents, "picture." + name);
      if (type == ImageType::kPdf || type == ImageType::kEps) {
        image = picture.page;
      }
      if (type == ImageType::kSvg) {
        // At the resolution the file is sized for, a module is `scale` pixels;
        // a transparent background over white paper.
        const std::string dpi =
            std::to_string(options.dpi == 0 ? qrtool::kDefaultDpi : options.dpi);
        const std::string png = image + ".png";
        ASSERT_EQ(std::system(("rsvg-convert -b white --dpi-x " + dpi + " --dpi-y " + dpi +
                               " -o '" + png + "' '" + image + "'")
                                  .c_str()),
                  0);
        image = png;
      }
      // One pixel per module is too small for zbar: those are enlarged.
      EXPECT_TRUE(qrtest::DecodeWithZbar(image, options.scale == 1 ? 4 : 1) == text) << "zbar";
      // ZXingReader reads no PBM; it gets the same pixels as PNG.
      if (type == ImageType::kPbm) {
        ASSERT_EQ(
            std::system((qrtest::ImageMagick() + " '" + image + "' '" + image + ".png'").c_str()),
            0);
        image += ".png";
      }
      EXPECT_TRUE(qrtest::DecodeWithZxing(image) == text) << "ZXing";
      // ZXing names the designator: "\000026" (UTF-8) in hex.
      EXPECT_EQ(qrtest::CommandOutput("ZXingReader '" + image + "'").find("5C 30 30 30 30 32 36") !=
                    std::string::npos,
                c.encode.eci);
    }
  }
}

TEST(ImageFormats, ScaleOneBitmapIsTheLibrarysFile) {
  for (int version = 1; version <= 40; ++version) {
    const int level = version % 4;
    const char letter = qrimage::kLevelLetters[level];
    // One byte more than the version below holds.
    const int length = version == 1 ? 1 : qrimage::kByteCapacity[version - 2][level] + 1;
    const std::string text = qrtest::MixedText(length, version);
    const Symbol symbol = Encode(text, letter);
    ASSERT_EQ(symbol.version, version);
    const std::string path = qrtest::ScratchPath("library.bmp");
    ASSERT_EQ(QRImage(text.c_str(), letter, path.c_str()), version);
    const std::string rendered = Render(symbol, ImageType::kBmp, ImageOptions{});
    EXPECT_TRUE(Bytes(rendered.begin(), rendered.end()) == qrtest::ReadFile(path))
        << "version " << version;
  }
}

TEST(ImageFormats, OptionsOutOfRangeAreRefused) {
  const Symbol symbol = Encode("range", 'M');
  const ImageOptions bad[] = {
      {0, 0}, {qrtool::kMaxScale + 1, 0}, {1, -1}, {1, qrtool::kMaxDpi + 1}, {1, 0, -1}};
  for (const ImageOptions& options : bad) {
    std::string out, error;
    EXPECT_FALSE(qrtool::RenderImage(symbol.View(), ImageType::kBmp, options, &out, &error))
        << options.scale << " " << options.dpi;
  }
  // The largest picture: version 40 at the largest scale.
  const Symbol large = Encode(qrtest::MixedText(2953, 1), 'L');
  ASSERT_EQ(large.version, 40);
  const std::string contents =
      Render(large, ImageType::kPbm, ImageOptions{qrtool::kMaxScale, qrtool::kMaxDpi});
  Picture picture;
  ASSERT_TRUE(ParsePbm(Bytes(contents.begin(), contents.end()), &picture));
  EXPECT_TRUE(ShowsSymbol(picture, large, qrtool::kMaxScale));
}

TEST(ImageFormats, TypesFromNamesAndPaths) {
  struct Row {
    const char* path;
    qrtool::PathType result;
    ImageType type;
  };
  const Row rows[] = {
      {"qr.png", qrtool::PathType::kFound, ImageType::kPng},
      {"dir/QR.SVG", qrtool::PathType::kFound, ImageType::kSvg},
      {"a.b.Pbm", qrtool::PathType::kFound, ImageType::kPbm},
      {".txt", qrtool::PathType::kFound, ImageType::kTxt},
      {"label-%04d.bmp", qrtool::PathType::kFound, ImageType::kBmp},
      {"-", qrtool::PathType::kNoExtension, ImageType::kBmp},
      {"qr", qrtool::PathType::kNoExtension, ImageType::kBmp},
      {"qr.", qrtool::PathType::kNoExtension, ImageType::kBmp},
      {"dir.png/qr", qrtool::PathType::kNoExtension, ImageType::kBmp},
      {"dir.png\\qr", qrtool::PathType::kNoExtension, ImageType::kBmp},
      {"qr.jpg", qrtool::PathType::kUnknown, ImageType::kBmp},
      {"qr.bmpx", qrtool::PathType::kUnknown, ImageType::kBmp},
  };
  for (const Row& row : rows) {
    ImageType type = ImageType::kBmp;
    EXPECT_EQ(qrtool::ImageTypeFromPath(row.path, &type), row.result) << row.path;
    EXPECT_EQ(type, row.type) << row.path;
  }
  ImageType type = ImageType::kBmp;
  EXPECT_TRUE(qrtool::ImageTypeFromName("Svg", &type));
  EXPECT_EQ(type, ImageType::kSvg);
  EXPECT_FALSE(qrtool::ImageTypeFromName("sv", &type));
  EXPECT_FALSE(qrtool::ImageTypeFromName("", &type));
  EXPECT_EQ(qrtool::ImageTypeNameList(), "bmp, png, svg, pdf, eps, pbm, txt");
}

}  // namespace
