#!/usr/bin/env bash
# Installs what the tests need (as root; otherwise names what is missing),
# builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ git clang-format libgtest-dev zbar-tools imagemagick)
# Windows DLLs: cross compilers, and wine to run the 64-bit one.
packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine64)
# The 32-bit DLL under wine's 32-bit loader (the i386 architecture is added for it).
packages+=(wine32:i386)
# The 32-bit DLL on an emulated CPU, and the i386 Linux build under qemu.
packages+=(python3-unicorn python3-pefile qemu-user g++-multilib)
# Host examples, the tool's end-to-end tests and the install test.
packages+=(gcc python3 pkg-config binutils)
# The manual page test and the Debian package (cpack's dependency list).
packages+=(man-db groff-base dpkg-dev)
# The Debian packages are checked against Debian's rules.
packages+=(lintian)
# The C# and Free Pascal host examples. fp-compiler is the compiler and its
# run-time units (about 100 MB); the full fpc package would add some 500 MB
# of libraries that the example does not use.
packages+=(mono-mcs mono-runtime fp-compiler)
# The tool's PNG output, and reading its pictures back (SVG rendering, PDF and EPS pages and their
# ink coverage, a second decoder).
packages+=(libpng-dev librsvg2-bin zxing-cpp-tools poppler-utils ghostscript)
# Sanitizer builds, the fuzzer and the leak checks of scripts/sanitize.sh and scripts/fuzz.sh.
packages+=(clang libclang-rt-14-dev valgrind)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Packages of another architecture need it added to dpkg first.
add_architectures=()
for p in "${missing[@]}"; do
  arch=${p#*:}
  if [[ $p == *:* ]] && ! dpkg --print-foreign-architectures | grep -qx "$arch" &&
    [[ " ${add_architectures[*]} " != *" $arch "* ]]; then
    add_architectures+=("$arch")
  fi
done
if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    export DEBIAN_FRONTEND=noninteractive
    for arch in "${add_architectures[@]}"; do
      dpkg --add-architecture "$arch"
    done
    apt-get update
    apt-get install -y "${missing[@]}"
  else
    echo "Missing packages; install them with:" >&2
    for arch in "${add_architectures[@]}"; do
      echo "  sudo dpkg --add-architecture $arch" >&2
    done
    echo "  sudo apt-get update && sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi

build=${BUILD_DIR:-build/test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)"
# Sanitizer builds, valgrind over the tool, and about a minute of fuzzing.
# SKIP_SANITIZE=1 leaves them out for a quick local run. The two fuzz
# targets run one after the other on one core beside the sanitizer pass,
# which leaves a core idle at times (configuring, the valgrind checks one
# after another); their output follows.
if [[ ${SKIP_SANITIZE:-0} != 1 ]]; then
  fuzz_log=$build-fuzz.log
  FUZZ_BUILD_DIR="$build-fuzz" scripts/fuzz.sh >"$fuzz_log" 2>&1 &
  fuzz=$!
  sanitized=0 fuzzed=0
  scripts/sanitize.sh "$build" || sanitized=$?
  wait "$fuzz" || fuzzed=$?
  echo "== libFuzzer (scripts/fuzz.sh)"
  cat "$fuzz_log"
  if ((sanitized || fuzzed)); then
    echo "test: the sanitizer pass or the fuzzer failed" >&2
    exit 1
  fi
fi

# The main suite last, so its summary closes the output.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
