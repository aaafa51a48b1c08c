#!/usr/bin/env bash
# Builds the libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs it for a bounded time over the
# seed corpus in fuzz/corpus. New inputs go to a scratch folder, so the
# repository's corpus is left as it is. Any finding fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD_DIR:-${BUILD_DIR:-build/test}-fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-2}

CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQRIMAGE_BUILD_FUZZER=ON -DQRIMAGE_BUILD_TESTS=OFF -DQRIMAGE_BUILD_TOOL=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all"
cmake --build "$build" --target qrimage_fuzz -j "$jobs"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$build/fuzz/qrimage_fuzz" -max_total_time="$seconds" -max_len=3100 -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/" \
  "$scratch" fuzz/corpus
