#!/usr/bin/env bash
# Checks an installed tree and builds the consumer example against it twice:
# with CMake's find_package and with pkg-config. MODE says where the tree
# comes from:
#   install  `cmake --install` into a fresh prefix;
#   deb      the Debian package that `cpack -G DEB` makes, its file list,
#            control fields and dependencies checked, then unpacked with
#            `dpkg-deb -x` (the tree is relocatable, so it works from there).
# usage: install_test.sh MODE BUILD_DIR SOURCE_DIR CONFIG GENERATOR CXX PKG_CONFIG LIBDIR
# (LIBDIR: the library folder relative to the prefix, as configured)
set -euo pipefail
mode=$1 build=$2 source=$3 config=$4 generator=$5 cxx=$6 pkg_config=$7 libdir=$8

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "$mode test: $*" >&2
  exit 1
}

# Every file and link of the tree, relative to the prefix, with the library
# version and the build configuration written as X.Y and CONFIG.
expected="bin/qrimage
include/qrimage.h
$libdir/cmake/qrimage/qrimageConfig.cmake
$libdir/cmake/qrimage/qrimageConfigVersion.cmake
$libdir/cmake/qrimage/qrimageTargets-CONFIG.cmake
$libdir/cmake/qrimage/qrimageTargets.cmake
$libdir/libqrimage.so -> libqrimage.so.1
$libdir/libqrimage.so.1 -> libqrimage.so.1.X.Y
$libdir/libqrimage.so.1.X.Y
$libdir/pkgconfig/qrimage.pc
share/doc/qrimage/LICENSE
share/man/man1/qrimage.1"
check_file_list() {
  local listed
  listed=$(sed -E 's/\.so\.1\.[0-9]+\.[0-9]+/.so.1.X.Y/g; s/Targets-[a-z]+\.cmake/Targets-CONFIG.cmake/' | sort)
  [[ $listed == "$expected" ]] ||
    fail "$1 lists other files than expected:"$'\n'"$(diff <(echo "$expected") <(echo "$listed"))"
}

case $mode in
install)
  prefix=$work/prefix
  cmake --install "$build" --config "$config" --prefix "$prefix" >/dev/null
  (cd "$prefix" && find . -type l -printf '%P -> %l\n' -o ! -type d -printf '%P\n') |
    check_file_list "the installed tree"
  ;;
deb)
  command -v dpkg-shlibdeps >/dev/null || {
    echo "skipped: cpack needs dpkg-shlibdeps (Debian package dpkg-dev)"
    exit 77
  }
  cpack -G DEB --config "$build/CPackConfig.cmake" -C "$config" -B "$work/package" >/dev/null ||
    fail "cpack -G DEB failed"
  deb=$(echo "$work"/package/*.deb)
  [[ -f $deb ]] || fail "cpack made no .deb"
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { $1 = $2 = $3 = $4 = $5 = ""; sub(/^ *\.\/usr\//, ""); print }' |
    check_file_list "dpkg-deb -c"
  for field in Package Version Section Maintainer Description Depends; do
    [[ -n $(dpkg-deb -f "$deb" "$field") ]] || fail "the control field $field is empty"
  done
  [[ $(dpkg-deb -I "$deb" shlibs) == "libqrimage 1 qrimage "* ]] || fail "no shlibs entry for libqrimage.so.1"
  dpkg-deb -x "$deb" "$work/root"
  prefix=$work/root/usr
  # Each shared library that the tool and the library link directly (their
  # NEEDED entries, found where the loader finds them) must come from a
  # package named in Depends.
  checked=""
  depends=", $(dpkg-deb -f "$deb" Depends | sed -E 's/ *\([^)]*\)//g'),"
  for binary in "$prefix/bin/qrimage" "$prefix/$libdir"/libqrimage.so.1.*; do
    for needed in $(ldd "$binary" | awk -v direct=" $(objdump -p "$binary" | awk '$1 == "NEEDED" { printf "%s ", $2 }')" \
      '$2 == "=>" && $3 ~ /^\// && index(direct, " " $1 " ") { print $3 }'); do
      owner=$(dpkg -S "$needed" 2>/dev/null || dpkg -S "$(readlink -f "$needed")" 2>/dev/null) ||
        fail "no installed package holds $needed, loaded by $binary"
      owner=${owner%%:*}
      [[ $depends == *", $owner,"* ]] || fail "$binary loads $needed from $owner, missing in Depends$depends"
      checked+=" $owner"
    done
  done
  [[ $checked == *" libc6"* ]] || fail "found no library that the programs link (ldd, objdump -p)"
  ;;
*) fail "unknown mode (install or deb)" ;;
esac

soname=$(objdump -p "$prefix/$libdir/libqrimage.so" | awk '$1 == "SONAME" { print $2 }')
[[ $soname == libqrimage.so.1 ]] || fail "SONAME is '$soname'"

# The tool runs on its own and writes a bitmap.
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

echo "$mode test passed: $prefix"
