#!/usr/bin/env bash
# The slower checks, run by scripts/test.sh before the main test suite:
#   1. the library, the tool and their tests built with AddressSanitizer
#      and UndefinedBehaviorSanitizer (clang);
#   2. the concurrency tests built with ThreadSanitizer;
#   3. the command-line tool from the main build under valgrind on every
#      failure path (and one success): no leak, no invalid access, no
#      descriptor left open, and the expected outcome on disk.
# Usage: scripts/sanitize.sh [MAIN_BUILD_DIR]   (default build/test)
set -euo pipefail
cd "$(dirname "$0")/.."

main_build=${1:-${BUILD_DIR:-build/test}}
jobs=${JOBS:-2}
failures=0

echo "== AddressSanitizer + UndefinedBehaviorSanitizer: the library, the tool and their tests"
asan=${main_build}-asan
# The C host examples link the instrumented library, so C is built the same way.
# The Windows DLLs and the i386 build are not instrumented: they are built
# and tested once, in the main build.
asan_flags="-O1 -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B "$asan" -DCMAKE_BUILD_TYPE=Debug -DQRIMAGE_CROSS_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$asan_flags" -DCMAKE_C_FLAGS="$asan_flags"
cmake --build "$asan" -j "$jobs"
# Left to the main build: the package tests and the static checks (labels
# package and static), which run nothing instrumented, and the Python
# ctypes example, which loads the instrumented library into a Python built
# without the sanitizer runtime.
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$asan" --output-on-failure -j "$jobs" -LE '^(package|static)$' -E '^example_ctypes$' ||
  failures=$((failures + 1))

echo "== ThreadSanitizer: concurrent callers"
tsan=${main_build}-tsan
CXX=clang++ cmake -S . -B "$tsan" -DCMAKE_BUILD_TYPE=Debug -DQRIMAGE_BUILD_TOOL=OFF -DQRIMAGE_CROSS_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-O1 -fsanitize=thread"
cmake --build "$tsan" --target qrimage_concurrency_tests -j "$jobs"
# Forking while another thread calls is erratic in time under this
# sanitizer (10 s to over two minutes for the same test here); the main
# and the address sanitizer passes run that test.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir "$tsan" --output-on-failure -j "$jobs" -R '^Concurrency\.' \
  -E 'ChildrenForkedDuringCalls' || failures=$((failures + 1))

echo "== valgrind: the command-line tool on each failure path"
tool=$main_build/qrimage
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
long_text=$(head -c 100000 /dev/zero | tr '\0' 'x')
v40_text=$(head -c 2331 /dev/zero | tr '\0' 'M')

# check NAME EXPECTED_EXIT FILE_AFTER COMMAND...: runs COMMAND under
# valgrind (inside ${wrapper[@]} when set) with a time limit. FILE_AFTER
# says what $out (the tool's -o path) must be afterwards: "none" (nothing
# there), "bmp" (a bitmap), or "kept" (not looked at here). The log goes
# through a pipe so that a file-size limit on the tool does not cut it.
wrapper=()
check() {
  local name=$1 expected=$2 after=$3
  shift 3
  local log=$scratch/$name.log status
  set +e
  timeout 120 "${wrapper[@]}" valgrind --quiet --log-fd=9 --leak-check=full \
    --show-leak-kinds=all --errors-for-leak-kinds=all --track-fds=yes --error-exitcode=99 \
    "$@" 9>&1 >/dev/null 2>&1 | cat >"$log"
  status=${PIPESTATUS[0]}
  set -e
  local problem=""
  [[ $status -eq $expected ]] || problem="exit status $status, expected $expected"
  grep -qE "ERROR SUMMARY: [1-9]|definitely lost|indirectly lost|possibly lost|still reachable" "$log" &&
    problem+=" valgrind errors"
  # Every descriptor open at exit must have been inherited, not opened by the tool.
  awk '/Open file descriptor/ { getline next_line; if (next_line !~ /inherited from parent/) bad = 1 }
       END { exit bad }' "$log" || problem+=" descriptor left open"
  case $after in
    none) [[ ! -e $out ]] || problem+=" file left at $out" ;;
    bmp) [[ $(head -c 2 "$out") == BM ]] || problem+=" no bitmap at $out" ;;
    kept) ;;
  esac
  if [[ -n $problem ]]; then
    echo "FAIL $name:$problem"
    cat "$log"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

out=$scratch/out.bmp
# Exit statuses of the tool: 1 text too long, 3 file error, 4 bad level,
# 5 NUL byte in the input, 8 a failed batch record, 9 not ISO-8859-1.
check bad-level 4 none "$tool" -l x -o "$out" text
check text-too-long 1 none "$tool" -l L -o "$out" "$long_text"
check missing-folder 3 none "$tool" -o "$scratch/missing/x.bmp" text
printf 'a\0b' >"$scratch/nul.txt"
check nul-in-input 5 none "$tool" -i "$scratch/nul.txt" -o "$out"
out=""
check empty-path 3 kept "$tool" -o "" text
out=$scratch/$(head -c 270 /dev/zero | tr '\0' 'p')
check path-too-long 3 none "$tool" -o "$out" text
out=$scratch
# The folder's name may have any extension: the type is given.
check path-is-folder 3 kept "$tool" -t bmp -o "$out" text
out=$scratch/fifo
mkfifo "$out"
check fifo-without-reader 3 kept "$tool" -o "$out" text
[[ -p $out ]] || { echo "FAIL fifo-without-reader: the FIFO is gone"; failures=$((failures + 1)); }
out=$scratch/full
# A private full-disk node (root only); writing to it must fail.
if mknod "$out" c 1 7 2>/dev/null && ! (echo x >"$out") 2>/dev/null; then
  check full-device 3 kept "$tool" -o "$out" "$v40_text"
  [[ -c $out ]] || { echo "FAIL full-device: the node is gone"; failures=$((failures + 1)); }
else
  echo "skip full-device: cannot make a working device node here"
fi
out=$scratch/limited.bmp
# A 1 KiB file-size limit with SIGXFSZ ignored: the 4502-byte file fails part way.
wrapper=(bash -c 'ulimit -f 1; trap "" XFSZ; exec "$@"' limit)
check file-size-limit 3 none "$tool" -l M -o "$out" "$v40_text"
wrapper=()
out=$scratch/ok.bmp
check success 0 bmp "$tool" -l M -o "$out" "$v40_text"
out=$scratch/refused.png
check latin1-refused 9 none "$tool" --latin1 -s 4 -o "$out" "5 €"
# A batch of every type, one text too long: exit 8, the others written.
printf 'one\n%s\nthree\nfour\nfive' "$long_text" >"$scratch/list.txt"
for type in bmp png svg pbm txt; do
  check "batch-$type" 8 kept "$tool" --batch "$scratch/list.txt" -s 3 -o "$scratch/b%d.$type"
done

if ((failures)); then
  echo "sanitize: $failures check(s) failed" >&2
  exit 1
fi
echo "sanitize: all checks passed"
