#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them: whole QRImage calls at
# versions 1 to 40, levels L and H, and the pipeline steps alone at
# version 40. Prints the median, fastest and slowest of REPS repetitions.
#   scripts/bench.sh                     # all cases
#   scripts/bench.sh 'BM_QRImage/.*/40'  # cases matching a filter
# Environment: BUILD_DIR (build/bench), REPS (5).
set -euo pipefail
cd "$(dirname "$0")/.."

if ! dpkg-query -W -f='${Status}' libbenchmark-dev 2>/dev/null | grep -q "install ok installed"; then
  if [[ $(id -u) -eq 0 ]]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends libbenchmark-dev
  else
    echo "Google Benchmark is missing; install it with: sudo apt-get install libbenchmark-dev" >&2
    exit 1
  fi
fi

build=${BUILD_DIR:-build/bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQRIMAGE_BUILD_BENCHMARKS=ON \
  -DQRIMAGE_BUILD_TESTS=OFF -DQRIMAGE_BUILD_TOOL=OFF >/dev/null
cmake --build "$build" -j 2 --target qrimage_bench

echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
"$build/bench/qrimage_bench" --benchmark_filter="${1:-.}" \
  --benchmark_repetitions="${REPS:-5}" --benchmark_report_aggregates_only=true 2>&1 |
  grep -Ev '_(mean|stddev|cv)\b'
