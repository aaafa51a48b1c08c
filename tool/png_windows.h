// PNG on Windows, written by the system's own encoder (the Windows Imaging
// Component), so the Windows tool writes PNG without libpng.
#ifndef QRIMAGE_TOOL_PNG_WINDOWS_H
#define QRIMAGE_TOOL_PNG_WINDOWS_H

#include <cstdint>
#include <functional>
#include <string>

#include "image_formats.h"

namespace qrtool {

// Hands each pixel row, packed eight pixels to a byte with the leftmost in
// the top bit and a 1 bit light, to `write`, top row first; stops at the
// first row `write` refuses.
using PngRowSource = std::function<void(const std::function<bool(const std::uint8_t* row)>& write)>;

// Puts a PNG of side x side pixels, 1 bit a pixel, into *out: greyscale
// for black on white, otherwise two palette entries (dark, then light; a
// transparent light entry is white with no opacity), stored at
// `pixelsPerMetre`. False, with *error set, when the encoder fails.
bool EncodePngWithWic(int side, Colour foreground, Colour background, std::uint32_t pixelsPerMetre,
                      const PngRowSource& rows, std::string* out, std::string* error);

}  // namespace qrtool

#endif
