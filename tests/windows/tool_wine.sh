#!/usr/bin/env bash
# The Windows tool under wine, with the ANSI code page 1252: a text given on
# the command line must arrive whole, as UTF-8 bytes, and give the same file
# as the Linux tool; an output path is passed on in the ANSI code page. A
# PNG comes from the system's encoder with the Linux tool's pixels.
# Run through wine_test.sh, which names wine64 in QRIMAGE_WINE.
# usage: wine_test.sh WINE64 tool_wine.sh QRIMAGE_EXE LINUX_QRIMAGE
set -euo pipefail
exe=$(realpath "$1") linux=$(realpath "$2") wine_run=$(dirname "$(realpath "$0")")/wine_run.sh
scratch=$(mktemp -d)
# The runs share the prefix's wine server; it is ended before the removal.
trap '"$wine_run"; rm -rf "$scratch"' EXIT
cd "$scratch"
# The C.UTF-8 locale gives wine's English defaults: ANSI code page 1252.
export LC_ALL=C.UTF-8 WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
run() { "$QRIMAGE_WINE" "$exe" -n "$@"; }

text='€ 😀 Ω'
run -o wine.bmp "$text"
"$linux" -nq -o linux.bmp "$text"
cmp wine.bmp linux.bmp

run -o café.bmp 'x'  # é is in code page 1252
"$linux" -nq -o x.bmp 'x'
cmp café.bmp x.bmp

# An input file is opened by its UTF-16 name: any character will do.
printf 'line one\r\nline two\n' >'Ω.txt'
run -i 'Ω.txt' -o input.bmp
"$linux" -nq -i 'Ω.txt' -o input-linux.bmp
cmp input.bmp input-linux.bmp

# Ω is not: the path cannot reach the library as it is.
if run -o 'Ω.bmp' 'x' 2>err.txt; then
  echo "a path outside the ANSI code page was accepted" >&2
  exit 1
fi
grep -q "cannot write 'Ω.bmp': the path has a character outside the ANSI code page" err.txt

# PNG from the system's encoder: the Linux tool's chunks (1 bit a pixel,
# palette, transparency, pixels per metre) and pixels, read by ZXingReader.
chunks() {
  python3 -c 'import struct, sys, zlib
data, at, image = open(sys.argv[1], "rb").read(), 8, b""
while at < len(data):
    length, kind = struct.unpack(">I4s", data[at:at + 8])
    body, at = data[at + 8:at + 8 + length], at + 12 + length
    if kind == b"IDAT": image += body
    else: print(kind.decode(), body.hex())
print("pixels", zlib.decompress(image).hex())' "$1"
}
for options in '-s 2' '-s 3 -d 300 --fg #1a237e --bg #fff59d' '--bg transparent'; do
  # shellcheck disable=SC2086
  run $options -o wine.png 'PNG from wine'
  # shellcheck disable=SC2086
  "$linux" -nq $options -o linux.png 'PNG from wine'
  chunks linux.png >linux.txt
  chunks wine.png >wine.txt
  diff linux.txt wine.txt
  ZXingReader wine.png | grep -q '^Text: *"PNG from wine"$'
done
echo "wine tool: OK"
