#!/usr/bin/env python3
"""Calls QRImage from Python through ctypes and checks the bitmap it writes.

usage: ctypes_example.py [LIBRARY [OUTPUT]]
"""
import ctypes
import os
import struct
import sys
import tempfile


def load_qrimage(library):
    """Returns QRImage from the shared library or DLL at `library`."""
    if sys.platform == "win32" and struct.calcsize("P") == 4:
        # 32-bit Windows: stdcall, exported under its decorated name.
        function = getattr(ctypes.WinDLL(library), "_QRImage@12")
    else:
        function = ctypes.CDLL(library).QRImage
    function.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p]
    function.restype = ctypes.c_int
    return function


def main():
    default = "qrimage.dll" if sys.platform == "win32" else "libqrimage.so.1"
    library = sys.argv[1] if len(sys.argv) > 1 else default
    path = sys.argv[2] if len(sys.argv) > 2 else "ctypes_example.bmp"
    qrimage = load_qrimage(library)

    # Bytes go in as they are; ISO-8859-1 is the symbols' default character set
    # (readers may still guess at it: see docs/hosts.md).
    text = "Grüße from Python".encode("latin-1")
    version = qrimage(text, ord("H"), path.encode())
    if not 1 <= version <= 40:
        sys.exit(f"QRImage returned {version}")

    with open(path, "rb") as f:
        data = f.read()
    side = 4 * version + 25
    width, height = struct.unpack_from("<ii", data, 18)
    bits, = struct.unpack_from("<H", data, 28)
    expected = 62 + side * ((side + 31) // 32 * 4)
    if data[:2] != b"BM" or (width, height, bits) != (side, side, 1) or len(data) != expected:
        sys.exit(f"{path}: unexpected bitmap {width}x{height}, {bits} bpp, {len(data)} bytes")
    print(f"{path}: version {version}, {side} x {side} pixels, {len(data)} bytes")

    # -1: text too long for the level (1273 bytes at most at H).
    # -3: the file cannot be written.
    missing = os.path.join(tempfile.gettempdir(), "no-such-folder-for-qrimage", "x.bmp")
    results = (qrimage(b"x" * 1274, ord("H"), path.encode()),
               qrimage(b"x", ord("L"), missing.encode()))
    if results != (-1, -3):
        sys.exit(f"unexpected error results {results}")


if __name__ == "__main__":
    main()
