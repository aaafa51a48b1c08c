#!/usr/bin/env bash
# Checks an installed tree and builds the consumer example against it twice:
# with CMake's find_package and with pkg-config. MODE says where the tree
# comes from:
#   install  `cmake --install` into a fresh prefix;
#   deb      the three Debian packages of a build for /usr with a maintainer,
#            their files, control fields and dependencies checked, lintian
#            run over them, then unpacked with `dpkg-deb -x` and used there.
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

# Every file and link of the tree, relative to the prefix, after the package
# that holds it ("-": a plain install only), with the library version and the
# build configuration written as X.Y and CONFIG. Each package also holds its
# changelog and copyright file.
packages=(libqrimage1 libqrimage-dev qrimage)
expected_files() {
  echo "qrimage bin/qrimage
libqrimage-dev include/qrimage.h
libqrimage-dev $libdir/cmake/qrimage/qrimageConfig.cmake
libqrimage-dev $libdir/cmake/qrimage/qrimageConfigVersion.cmake
libqrimage-dev $libdir/cmake/qrimage/qrimageTargets-CONFIG.cmake
libqrimage-dev $libdir/cmake/qrimage/qrimageTargets.cmake
libqrimage-dev $libdir/libqrimage.so -> libqrimage.so.1
libqrimage1 $libdir/libqrimage.so.1 -> libqrimage.so.1.X.Y
libqrimage1 $libdir/libqrimage.so.1.X.Y
libqrimage-dev $libdir/pkgconfig/qrimage.pc
- share/doc/qrimage/LICENSE
qrimage share/man/man1/qrimage.1.gz"
  for p in "${packages[@]}"; do
    echo "deb $p share/doc/$p/changelog.gz"$'\n'"deb $p share/doc/$p/copyright"
  done
}
check_file_list() {
  local listed expected
  listed=$(sed -E 's/\.so\.1\.[0-9]+\.[0-9]+/.so.1.X.Y/g; s/Targets-[a-z]+\.cmake/Targets-CONFIG.cmake/' | sort)
  if [[ $mode == install ]]; then
    expected=$(expected_files | grep -v '^deb ' | cut -d' ' -f2- | sort)
  else
    expected=$(expected_files | grep -v '^- ' | sed 's/^deb //' | sort)
  fi
  [[ $listed == "$expected" ]] ||
    fail "$1 lists other files than expected:"$'\n'"$(diff <(echo "$expected") <(echo "$listed"))"
}

case $mode in
install)
  prefix=$work/prefix
  cmake --install "$build" --config "$config" --prefix "$prefix" >/dev/null
  (cd "$prefix" && find . -type l -printf '%P -> %l\n' -o ! -type d -printf '%P\n') |
    check_file_list "the installed tree"
  # The shared library holds only what QRImage reaches: not the plain rules.
  [[ $(nm -C "$prefix/$libdir/libqrimage.so.1") != *'ScoreRuns('* ]] || fail "libqrimage.so.1 holds ScoreRuns"
  # The pkg-config file names the prefix as given.
  pc_prefix=$prefix pc_options=()
  ;;
deb)
  [[ -n $(command -v dpkg-shlibdeps) && -n $(command -v lintian) ]] || {
    echo "skipped: the package test needs the Debian packages dpkg-dev and lintian"
    exit 77
  }
  # A build of the library and the tool for /usr, with a maintainer.
  cmake -S "$source" -B "$work/build" -G "$generator" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_BUILD_TYPE="$config" -DQRIMAGE_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
    -DCPACK_PACKAGE_CONTACT="qrimage tests <tests@example.org>" >/dev/null || fail "configuring failed"
  cmake --build "$work/build" -j 2 >/dev/null || fail "building failed"
  cpack -G DEB --config "$work/build/CPackConfig.cmake" -C "$config" -B "$work/package" >/dev/null ||
    fail "cpack -G DEB failed"
  # The library goes to the multiarch folder.
  libdir=lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
  declare -A deb
  for p in "${packages[@]}"; do
    deb[$p]=$(echo "$work"/package/"${p}"_*.deb)
    [[ -f ${deb[$p]} ]] || fail "cpack made no package $p"
    for field in Package Version Section Maintainer Description Depends; do
      [[ -n $(dpkg-deb -f "${deb[$p]}" "$field") ]] || fail "$p: the control field $field is empty"
    done
    dpkg-deb -x "${deb[$p]}" "$work/root"
  done
  for p in "${packages[@]}"; do
    dpkg-deb -c "${deb[$p]}" | awk -v p="$p" '$1 !~ /^d/ { $1 = $2 = $3 = $4 = $5 = ""; sub(/^ *\.\/usr\//, ""); print p, $0 }'
  done | check_file_list "dpkg-deb -c"
  [[ $(dpkg-deb -I "${deb[libqrimage1]}" shlibs) == "libqrimage 1 libqrimage1 (>= "* ]] ||
    fail "no shlibs entry for libqrimage.so.1"
  [[ $(dpkg-deb -f "${deb[libqrimage-dev]}" Depends) == "libqrimage1 (= $(dpkg-deb -f "${deb[libqrimage1]}" Version))"* ]] ||
    fail "libqrimage-dev does not depend on libqrimage1 of its version"
  [[ $(dpkg-deb -f "${deb[qrimage]}" Description) != *"QRImage("* ]] || fail "qrimage describes the library"
  lintian --fail-on error "${deb[@]}" 2>/dev/null || fail "lintian reports errors"
  prefix=$work/root/usr
  # Each shared library that the tool and the library link directly (their
  # NEEDED entries, found where the loader finds them) must come from a
  # package named in Depends of the program's package.
  checked=""
  for binary in qrimage:bin/qrimage libqrimage1:"$libdir"/libqrimage.so.1; do
    depends=", $(dpkg-deb -f "${deb[${binary%%:*}]}" Depends | sed -E 's/ *\([^)]*\)//g'),"
    binary=$prefix/${binary#*:}
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
  # The packages' pkg-config file names /usr; the unpacked tree is elsewhere.
  pc_prefix=/usr pc_options=(--define-variable=prefix="$prefix")
  ;;
*) fail "unknown mode (install or deb)" ;;
esac

soname=$(objdump -p "$prefix/$libdir/libqrimage.so" | awk '$1 == "SONAME" { print $2 }')
[[ $soname == libqrimage.so.1 ]] || fail "SONAME is '$soname'"
# A host that loads the library loads the C library with it, nothing else.
needed=$(objdump -p "$prefix/$libdir/libqrimage.so.1" | awk '$1 == "NEEDED" { print $2 }')
[[ $needed == libc.so.6 ]] || fail "libqrimage.so.1 needs" "$needed"

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
[[ $("$pkg_config" --variable=includedir qrimage) == "$pc_prefix/include" ]] ||
  fail "pkg-config gives includedir $("$pkg_config" --variable=includedir qrimage)"
# shellcheck disable=SC2046  # the flags are meant to split into words
"$cxx" -std=c++20 -Wall -Wextra -Werror "$source/examples/consumer/main.cpp" \
  $("$pkg_config" "${pc_options[@]}" --cflags --libs qrimage) \
  -Wl,-rpath,"$("$pkg_config" "${pc_options[@]}" --variable=libdir qrimage)" -o "$work/pkg-consumer" ||
  fail "the pkg-config consumer did not build"
check_consumer "$work/pkg-consumer" "$work/pkg.bmp"

# 3. docs/install.md's commands for a prefix, as they stand, in a copy of the examples.
if [[ $mode == install ]]; then
  commands=$(awk '/install_test.sh runs this block/ { on = 1; next } on && /^```sh/ { next }
                  on && /^```/ { exit } on' "$source/docs/install.md")
  [[ -n $commands ]] || fail "found no commands to run in docs/install.md"
  mkdir "$work/docs" && cp -r "$source/examples" "$work/docs/"
  (cd "$work/docs" && PREFIX=$prefix bash -euo pipefail -c \
    "pkg-config() { \"$pkg_config\" \"\$@\"; }; c++() { \"$cxx\" \"\$@\"; }; ${commands//\$PREFIX\/lib\//\$PREFIX/$libdir/}") \
    >"$work/docs.log" 2>&1 || fail "docs/install.md's commands failed:"$'\n'"$commands"$'\n'"$(cat "$work/docs.log")"
fi

echo "$mode test passed: $prefix"
