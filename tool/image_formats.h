// The picture formats the tool writes a symbol in, all drawn from the same
// module grid: 1-bit BMP (the library's layout), 1-bit PNG, SVG, PDF,
// EPS, binary PBM and the half-block text picture of the terminal preview.
#ifndef QRIMAGE_TOOL_IMAGE_FORMATS_H
#define QRIMAGE_TOOL_IMAGE_FORMATS_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "colours.h"

namespace qrtool {

enum class ImageType { kBmp, kPng, kSvg, kPdf, kEps, kPbm, kTxt };

// How a picture type gives its printed size.
enum class Sizing {
  kPixelsPerMetre,  // raster, the resolution stored in the file
  kPoints,          // vector, sized in points at the resolution
  kUnstated,        // raster without a stored resolution: taken as BMP
  kNone,            // text: no printed size
};

// What each picture type can do, one row per type in ImageType's order,
// which is the order help and messages list them in.
struct ImageTypeTraits {
  ImageType type;
  std::string_view name;  // the -t name and the file extension that choose it
  bool colours;           // other colours than black and white
  bool transparency;      // a transparent background
  Sizing sizing;
  bool cssPixels;  // vector sized in CSS pixels (96 per inch) without -d or a physical --size
  bool inks;       // colours as printing inks (cmyk:C,M,Y,K)
};
inline constexpr ImageTypeTraits kImageTypes[] = {
    {ImageType::kBmp, "bmp", true, false, Sizing::kPixelsPerMetre, false, false},
    {ImageType::kPng, "png", true, true, Sizing::kPixelsPerMetre, false, false},
    {ImageType::kSvg, "svg", true, true, Sizing::kPoints, true, false},
    {ImageType::kPdf, "pdf", true, false, Sizing::kPoints, false, true},
    {ImageType::kEps, "eps", true, false, Sizing::kPoints, false, true},
    {ImageType::kPbm, "pbm", false, false, Sizing::kUnstated, false, false},
    {ImageType::kTxt, "txt", false, false, Sizing::kNone, false, false},
};

inline constexpr const ImageTypeTraits& Traits(ImageType type) {
  return kImageTypes[static_cast<int>(type)];
}
inline constexpr std::string_view ImageTypeName(ImageType type) {
  return Traits(type).name;
}
inline constexpr bool TakesColours(ImageType type) {
  return Traits(type).colours;
}
inline constexpr bool TakesTransparency(ImageType type) {
  return Traits(type).transparency;
}
// The names alone, indexed by ImageType.
inline constexpr auto kImageTypeNames = [] {
  std::array<std::string_view, std::size(kImageTypes)> names{};
  for (std::size_t i = 0; i < names.size(); ++i) {
    names[i] = kImageTypes[i].name;
  }
  return names;
}();

// The names of the types whose `property` is `value` (all types with nullptr),
// joined like "bmp, png, svg, pdf, eps, pbm, txt" or, with `last`, "png or svg".
std::string ImageTypeNameList(bool ImageTypeTraits::*property = nullptr, const char* last = ", ",
                              bool value = true);

// Case-insensitive. Leaves *type alone and returns false for other names.
bool ImageTypeFromName(std::string_view name, ImageType* type);

enum class PathType { kFound, kNoExtension, kUnknown };
// The type a file name's extension asks for. `-` and names without an
// extension (or ending in a dot) give kNoExtension; an extension that is
// not a type name gives kUnknown. *type is set to the type for kFound and
// to kBmp, the default, for kNoExtension.
PathType ImageTypeFromPath(std::string_view path, ImageType* type);

// A finished symbol: size x size modules, row r at modules + r * stride,
// a module dark iff its byte is 0x00. The quiet zone is not included.
struct SymbolView {
  const std::uint8_t* modules;
  int stride;
  int size;
};

inline constexpr int kMinScale = 1;
inline constexpr int kMaxScale = 64;
inline constexpr int kMinDpi = 1;
inline constexpr int kMaxDpi = 100000;
// Light modules around the symbol on each side: the library's four by
// default; readers need at least one to find the symbol.
inline constexpr int kDefaultMargin = 4;
inline constexpr int kMaxMargin = 64;
// The resolution a file without -d is sized at: PDF, EPS and PBM exactly;
// BMP and PNG store the library's 2834 pixels per metre, a whole number
// just under it (71.98 dpi); an SVG is sized in CSS pixels instead.
inline constexpr int kDefaultDpi = 72;

struct ImageOptions {
  int scale = 1;  // pixels per module side, kMinScale..kMaxScale
  int dpi = 0;    // kMinDpi..kMaxDpi, or 0 for the library's 2834 pixels per metre (72 dpi)
  int margin = kDefaultMargin;  // quiet zone in modules, 0..kMaxMargin
  Colour foreground = kBlack;   // dark modules
  Colour background = kWhite;   // light modules and the quiet zone, or kTransparent
  double sidePoints = 0;        // SVG, PDF, EPS: the side in points; 0 for the scale at the dpi
  bool physicalSide = false;    // sidePoints is a --size in mm, cm, in or pt
  // The colours as given in inks (PDF and EPS); foreground and background
  // then hold their RGB conversion. With one colour in inks the page is all
  // inks: the other is written as InksFromColour gives it.
  std::optional<Inks> foregroundInks = std::nullopt;
  std::optional<Inks> backgroundInks = std::nullopt;
};

// Whether readers can tell the dark modules from the light ones: the
// foreground darker, with a contrast ratio of at least 3:1 (colours given
// in inks by their RGB conversion). A transparent background is taken as
// white, what it is most often put on. False, with *error set, otherwise.
bool ColoursReadable(const ImageOptions& options, std::string* error);

// Whether a picture of `type` is sized in CSS pixels: an SVG without -d or
// a physical --size shows one pixel of the picture as one CSS pixel.
bool InCssPixels(ImageType type, const ImageOptions& options);

// Whether a picture of `type` can be drawn with `options`: the options in
// range and colours the type can hold. False, with *error set, otherwise.
bool PictureFits(ImageType type, const ImageOptions& options, std::string* error);

// Whether the picture of a symbol of `size` modules a side has a page size
// readers take (PDF), which RenderImage checks as well. False, with *error
// set, otherwise.
bool PageFits(ImageType type, const ImageOptions& options, int size, std::string* error);

// Puts the whole file for `symbol` into *out, the quiet zone included and
// scaled like the modules. Returns false, with *error set, when the
// picture does not fit (PictureFits, which the tool asks first), or when
// `type` is png and the tool was built without libpng (on Windows the
// system's encoder writes PNG: png_windows.h) or that encoder failed.
bool RenderImage(const SymbolView& symbol, ImageType type, const ImageOptions& options,
                 std::string* out, std::string* error);

// The symbol in Unicode half blocks, quiet zone included, one line per two
// pixel rows of `scale` x `scale` pixels per module. The block characters
// are the light pixels and the blank the dark ones, so the symbol shows the
// right way round on a dark background; with `terminalColours` every line
// is wrapped in escape codes forcing bright white on black, so it is also
// right on a light terminal. The odd last pixel row is drawn over a dark
// lower half.
std::string RenderHalfBlocks(const SymbolView& symbol, bool terminalColours, int scale = 1,
                             int margin = kDefaultMargin);

// Whether this build can write PNG.
bool PngAvailable();

// Side of the picture in pixels, quiet zone included.
int PictureSide(int size, const ImageOptions& options);

// Side of the printed picture at 100 %, in millimetres, as the file
// stores it: BMP and PNG the whole pixels per metre (from the dpi, or 2834
// when dpi is 0, which is 71.98 dpi); SVG, PDF and EPS their side in points at
// the dpi (72 when 0) or sidePoints, an SVG in CSS pixels its pixels at 96
// dpi (InCssPixels); PBM stores no resolution: its pixels at the dpi.
// Text pictures have no printed size: 0.
double PrintedMillimetres(int size, ImageType type, const ImageOptions& options);

}  // namespace qrtool

#endif
