#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each in turn for half the bounded
# time over its seed corpus: qrimage_fuzz over fuzz/corpus, the tool
# core's qrimage_plan_fuzz over fuzz/corpus_plan. New inputs go to scratch
# folders, so the repository's corpora are left as they are. Any finding
# fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD_DIR:-${BUILD_DIR:-build/test}-fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-2}

CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQRIMAGE_BUILD_FUZZER=ON -DQRIMAGE_BUILD_TESTS=OFF -DQRIMAGE_BUILD_TOOL=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all"
cmake --build "$build" --target qrimage_fuzz qrimage_plan_fuzz -j "$jobs"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# target, corpus, longest input: past version 40's capacity for QRImage,
# past a few symbols of a sequence for the planner.
run() {
  mkdir "$scratch/$1"
  echo "== $1"
  "$build/fuzz/$1" -max_total_time="$(((seconds + 1) / 2))" -max_len="$3" -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/$1-" \
    "$scratch/$1" "$2"
}
run qrimage_fuzz fuzz/corpus 3100
run qrimage_plan_fuzz fuzz/corpus_plan 12000
