// Draws a bitmap in a terminal with Unicode half blocks: each character
// cell shows two pixel rows.
#ifndef QRIMAGE_TOOL_PREVIEW_H
#define QRIMAGE_TOOL_PREVIEW_H

#include <cstdio>

#include "bitmap_reader.h"

namespace qrtool {

// The block characters stand for light pixels and the blank for dark ones,
// so a dark background shows the symbol the right way round. With
// `colour`, every line is wrapped in escape codes that force bright white
// on black, so the picture is also right on a light terminal. An odd last
// row is drawn over a dark lower half.
void PrintPreview(std::FILE* out, const Bitmap& bitmap, bool colour);

}  // namespace qrtool

#endif
