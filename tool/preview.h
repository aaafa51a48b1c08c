// Draws a symbol in a terminal with Unicode half blocks: each character
// cell shows two pixel rows.
#ifndef QRIMAGE_TOOL_PREVIEW_H
#define QRIMAGE_TOOL_PREVIEW_H

#include <cstdio>

#include "bitmap_reader.h"
#include "image_formats.h"

namespace qrtool {

// Prints RenderHalfBlocks(symbol, colour) at one pixel per module.
void PrintPreview(std::FILE* out, const SymbolView& symbol, bool colour);

// The same for a bitmap the library wrote: its four-pixel light border is
// taken as the quiet zone and every other pixel as one module.
void PrintPreview(std::FILE* out, const Bitmap& bitmap, bool colour);

}  // namespace qrtool

#endif
