#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them: whole QRImage calls at
# versions 1 to 40, levels L and H, the same texts through libqrencode's
# encoder (the peer, when installed), and the pipeline steps alone at
# version 40. Prints the median and fastest of REPS repetitions, then the
# table of ratios to the peer (medians of per-repetition ratios; the
# repetitions of all cases are interleaved at random, so both sides of a
# ratio see the same load).
#   scripts/bench.sh                     # all cases
#   scripts/bench.sh 'BM_(QRImage|Peer)' # cases matching a filter
# Environment: BUILD_DIR (build/bench), REPS (5).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(libbenchmark-dev libqrencode-dev pkg-config)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages; install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi

build=${BUILD_DIR:-build/bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQRIMAGE_BUILD_BENCHMARKS=ON \
  -DQRIMAGE_BUILD_TESTS=OFF -DQRIMAGE_BUILD_TOOL=OFF >/dev/null
cmake --build "$build" -j 2 --target qrimage_bench

echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
results="$build/bench-results.json"
"$build/bench/qrimage_bench" --benchmark_filter="${1:-.}" \
  --benchmark_repetitions="${REPS:-5}" --benchmark_enable_random_interleaving=true \
  --benchmark_display_aggregates_only=true \
  --benchmark_out="$results" --benchmark_out_format=json 2>&1 |
  grep -Ev '_(mean|stddev|cv)\b'
echo
bench/ratios.py "$results"
