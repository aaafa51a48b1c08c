#!/usr/bin/env bash
# usage: scripts/batch_speed.sh QRIMAGE [DIR]   (DIR: default /dev/shm)
# 1,000 symbols (one short URL each) written into DIR by one process with
# --batch, then by one process per symbol; elapsed and CPU time of each.
set -euo pipefail
q=$(realpath "$1") dir=${2:-/dev/shm}
work=$(mktemp -d "$dir/batch_speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
seq -f 'https://example.org/item/%06g' 1 1000 > "$work/list.txt"
mkdir "$work/batch" "$work/single" && sync
export q work
/usr/bin/time -f "one process:     %e s elapsed, %U s user + %S s system" \
  "$q" --batch "$work/list.txt" -q -o "$work/batch/%04d.bmp"
sync
/usr/bin/time -f "1,000 processes: %e s elapsed, %U s user + %S s system" bash -c '
  n=0
  while IFS= read -r text; do
    n=$((n + 1))
    "$q" -nq -o "$work/single/$n.bmp" "$text"
  done < "$work/list.txt"'
