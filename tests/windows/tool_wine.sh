#!/usr/bin/env bash
# The Windows tool under wine, with the ANSI code page 1252: a text given on
# the command line must arrive whole, as UTF-8 bytes, and give the same file
# as the Linux tool; an output path is passed on in the ANSI code page.
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
echo "wine tool: OK"
