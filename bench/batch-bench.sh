#!/usr/bin/env bash
# Times batched splits (--cards, --max-bytes) against the one-card split of
# the same source, with the default writers and with one, alternating, each
# into a fresh folder in tmpfs; prints medians, the ratio to the one-card
# split, the spread and peak memory. Goals: a batched split at most 1.05 x
# the one-card split, under 32 MiB.
#   bench/batch-bench.sh [ROUNDS]
set -euo pipefail
rounds=${1:-9}
source "$(dirname "$0")/inputs.sh"
commands=("one-card=$split {src} {out}"
  "cards-1=$split --cards 1 {src} {out}"
  "cards-500=$split --cards 500 {src} {out}"
  "max-bytes-5M=$split --max-bytes 5M {src} {out}"
  "one-card-j1=$split --jobs 1 {src} {out}"
  "cards-1-j1=$split --jobs 1 --cards 1 {src} {out}")
echo "machine: $(nproc) processors; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 bench/compare.py --reference one-card --rounds "$rounds" --source "$small" --source "$some" \
  --source "$photos" "${commands[@]}"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
