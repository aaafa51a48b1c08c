#!/usr/bin/env bash
# Installs the build into a fresh prefix, checks the installed tree and
# builds the consumer example against it twice: with CMake's find_package
# and with pkg-config.
# usage: install_test.sh BUILD_DIR SOURCE_DIR CONFIG GENERATOR CXX PKG_CONFIG LIBDIR
# (LIBDIR: the library folder relative to the prefix, as configured)
set -euo pipefail
build=$1 source=$2 config=$3 generator=$4 cxx=$5 pkg_config=$6 libdir=$7

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() {
  echo "install test: $*" >&2
  exit 1
}

cmake --install "$build" --config "$config" --prefix "$prefix" >/dev/null

for f in include/qrimage.h bin/qrimage "$libdir/libqrimage.so" "$libdir/libqrimage.so.1" \
  "$libdir/cmake/qrimage/qrimageConfig.cmake" "$libdir/cmake/qrimage/qrimageConfigVersion.cmake" \
  "$libdir/pkgconfig/qrimage.pc"; do
  [[ -e $prefix/$f ]] || fail "$f is not installed"
done
soname=$(objdump -p "$prefix/$libdir/libqrimage.so" | awk '$1 == "SONAME" { print $2 }')
[[ $soname == libqrimage.so.1 ]] || fail "SONAME is '$soname'"

# The installed tool runs on its own and writes a bitmap.
"$prefix/bin/qrimage" --version | grep -q '^qrimage [0-9]' || fail "qrimage --version"
"$prefix/bin/qrimage" -n -o "$work/tool.bmp" "installed tool" >/dev/null
[[ $(head -c 2 "$work/tool.bmp") == BM ]] || fail "the installed tool wrote no bitmap"

# Checks that a consumer ran and wrote a version 1 symbol (29 x 29 pixels, 178 bytes).
check_consumer() {
  local program=$1 bmp=$2 output
  output=$("$program" "$bmp") || fail "$program failed: $output"
  [[ $output == "version 1" ]] || fail "$program printed '$output'"
  [[ $(stat -c %s "$bmp") == 178 ]] || fail "$bmp is $(stat -c %s "$bmp") bytes"
}

# 1. CMake package.
cmake -S "$source/examples/consumer" -B "$work/cmake-build" -G "$generator" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null ||
  fail "find_package(qrimage) did not configure"
cmake --build "$work/cmake-build" >/dev/null || fail "the find_package consumer did not build"
check_consumer "$work/cmake-build/consumer" "$work/cmake.bmp"

# 2. pkg-config.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
[[ $("$pkg_config" --modversion qrimage) == [0-9]*.[0-9]*.[0-9]* ]] || fail "pkg-config --modversion"
# shellcheck disable=SC2046  # the flags are meant to split into words
"$cxx" -std=c++20 -Wall -Wextra -Werror "$source/examples/consumer/main.cpp" \
  $("$pkg_config" --cflags --libs qrimage) \
  -Wl,-rpath,"$("$pkg_config" --variable=libdir qrimage)" -o "$work/pkg-consumer" ||
  fail "the pkg-config consumer did not build"
check_consumer "$work/pkg-consumer" "$work/pkg.bmp"

echo "install test passed: $prefix"
