#!/usr/bin/env bash
# Builds the differential fuzzer (the fuzz preset: clang, libFuzzer, ASan and
# UBSan), seeds its corpus from ../shared/corpus (when present) and generated
# cases, and runs it for SECONDS. Exits non-zero on a crash or on any
# difference between the splitter and the whole-file model; the input that
# caused it is kept in build/fuzz/artifacts/.
#   tools/fuzz.sh SECONDS [libFuzzer options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: tools/fuzz.sh SECONDS [libFuzzer options...]" >&2
  exit 2
fi
seconds=$1
shift

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
corpus=build/fuzz/corpus
mkdir -p "$corpus" build/fuzz/artifacts
python3 tests/fuzz/make_seeds.py "$corpus" "$root/../shared/corpus"

# One job: the machine has two cores and other builds to run.
rc=0
build/fuzz/quillmere-fuzz -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
  -max_len=131072 -dict=tests/fuzz/vcard.dict -artifact_prefix=build/fuzz/artifacts/ \
  -print_final_stats=1 "$@" "$corpus" >build/fuzz/last-run.log 2>&1 || rc=$?
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' \
  build/fuzz/last-run.log || true
if [ "$rc" -ne 0 ]; then
  tail -n 40 build/fuzz/last-run.log
  echo "fuzz: FAILED (exit $rc); the input is in build/fuzz/artifacts/" >&2
else
  echo "fuzz: no crash and no difference from the model in $seconds s"
fi
exit "$rc"
