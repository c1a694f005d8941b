#!/usr/bin/env bash
# quillmere-split --names against the numbered split on the generated
# benchmark sources (10,000 small cards; 15,000 cards with photos).
#   bench/names-bench.sh [ROUNDS]
set -euo pipefail
rounds=${1:-11}
source "$(dirname "$0")/inputs.sh"
python3 bench/names_bench.py "$split" "$rounds" "$small" "$photos"
