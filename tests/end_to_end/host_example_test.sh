#!/usr/bin/env bash
# Compiles a host example in another language against the built library,
# runs it and decodes the bitmap it writes: the decoded text must be TEXT.
# Skipped (status 77) when the language's compiler or runtime is missing.
# usage: host_example_test.sh csharp|pascal SOURCE LIBRARY_DIR WORK_DIR TEXT
set -euo pipefail
language=$1 source=$2 libdir=$3 work=$4 text=$5

fail() {
  echo "$language example: $*" >&2
  exit 1
}
need() {
  command -v "$1" >/dev/null || {
    echo "skipped: $1 is not installed (Debian package $2)"
    exit 77
  }
}
need zbarimg zbar-tools
magick=$(command -v convert || command -v magick) || fail "needs ImageMagick (convert or magick)"

rm -rf "$work"
mkdir -p "$work"
bmp=$work/example.bmp
# Both find the library by name, as an installed program would.
export LD_LIBRARY_PATH=$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
case $language in
csharp)
  need mcs mono-mcs
  need mono mono-runtime
  program=(mono "$work/example.exe")
  compile=(mcs -warnaserror+ -out:"$work/example.exe" "$source")
  ;;
pascal)
  need fpc fpc
  program=("$work/example")
  compile=(fpc -Sew -vw -Fl"$libdir" -FE"$work" -o"$work/example" "$source")
  ;;
*) fail "unknown language" ;;
esac
log=$("${compile[@]}" 2>&1) || fail "did not compile:"$'\n'"$log"
"${program[@]}" "$bmp" "$text" || fail "failed"

# zbar finds symbols of one pixel per module unreliably: scale up first.
decoded=$("$magick" "$bmp" -scale 400% pgm:- | zbarimg --raw -q - 2>/dev/null) ||
  fail "zbarimg found no symbol in $bmp"
[[ $decoded == "$text" ]] || fail "decoded '$decoded', expected '$text'"
echo "$language example passed: '$decoded'"
