#!/usr/bin/env python3
"""Enlarges a bitmap that QRImage wrote by a whole factor: every pixel becomes
FACTOR x FACTOR pixels of the same colour (nearest neighbour, no smoothing),
so that screens, printers and readers get even, sharp-edged modules. The
printed size stays the same: the pixels per metre grow by the factor too.
Standard library only.

usage: scale_bitmap.py INPUT OUTPUT [FACTOR]   (FACTOR a whole number, default 8)
"""
import struct
import sys


def scale_bitmap(data, factor):
    """Returns the 1-bit BMP file `data` enlarged `factor` times."""
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    x_per_metre, y_per_metre = struct.unpack_from("<ii", data, 38)
    if data[:2] != b"BM" or bits != 1 or width <= 0 or height <= 0 or factor < 1:
        raise ValueError("needs a 1-bit bottom-up BMP and a factor of 1 or more")
    row_bytes = (width + 31) // 32 * 4  # rows are padded to 4 bytes
    new_width = width * factor
    new_row_bytes = (new_width + 31) // 32 * 4
    rows = []
    for y in range(height):
        row = data[offset + y * row_bytes:offset + (y + 1) * row_bytes]
        pixels = format(int.from_bytes(row, "big"), f"0{row_bytes * 8}b")[:width]
        wide = "".join(pixel * factor for pixel in pixels).ljust(new_row_bytes * 8, "0")
        rows.append(int(wide, 2).to_bytes(new_row_bytes, "big") * factor)
    image = b"".join(rows)

    # The headers and the palette as they were, with the new sizes.
    header = bytearray(data[:offset])
    struct.pack_into("<I", header, 2, offset + len(image))
    struct.pack_into("<ii", header, 18, new_width, height * factor)
    struct.pack_into("<I", header, 34, len(image))
    struct.pack_into("<ii", header, 38, x_per_metre * factor, y_per_metre * factor)
    return bytes(header) + image


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.strip().splitlines()[-1])
    factor = int(sys.argv[3]) if len(sys.argv) == 4 else 8
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    with open(sys.argv[2], "wb") as f:
        f.write(scale_bitmap(data, factor))


if __name__ == "__main__":
    main()
