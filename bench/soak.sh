#!/usr/bin/env bash
# Soak and scale: quillmere-split on sources far larger than any test uses.
#   1. 1,000,000 generated cards: count, number of files, a sample of the
#      files byte-checked against the source, peak memory (must stay under
#      32 MiB), wall time beside the floor (bench/floor.c) on the same file.
#   2. One card of 1 GB (a huge photo): the file is byte-checked; memory
#      stays flat (under 32 MiB), as the card is written while it is read.
#   3. One 200 MB line outside any card: memory stays flat (under 32 MiB).
#   4. Stops: a 2 GB line outside any card stopped by SIGINT, and a 600 MB
#      card stopped by SIGTERM while it is being written: time from the
#      signal to the exit, exit status, and what is left in the folder
#      (nothing: no part of the card, no temporary file).
# Output goes to tmpfs (/dev/shm), where file creation is steady enough to
# time. Not part of CI: it takes a few minutes and a few GB of memory.
#   bench/soak.sh [ROUNDS]      (timing rounds for step 1, default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
cd "$root"
cmake --preset native >/dev/null
cmake --build --preset native --target quillmere-split >/dev/null
split="$root/build/native/quillmere-split"
work="$root/build/soak"
mkdir -p "$work"
gcc -O2 -o "$work/floor" bench/floor.c
tmp=$(mktemp -d /dev/shm/quillmere-soak.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "SOAK FAILED: $*"; failed=1; }

# Runs a command under /usr/bin/time -v; sets $seconds and $peak_kib.
measure() {
  local log="$tmp/time.log"
  /usr/bin/time -v -o "$log" "$@" >"$tmp/stdout" 2>"$tmp/stderr" || {
    cat "$tmp/stderr"
    return 1
  }
  peak_kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$log" |
    awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
}

mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }

echo "== 1,000,000 cards"
million="$work/cards1m.vcf"
[ -f "$million" ] || python3 tools/gen_cards.py 1000000 "$million" --seed 1000000
echo "source: $(du -m "$million" | cut -f1) MB"
cat "$million" >/dev/null  # in the page cache before the first timed run
q_times=()
f_times=()
# Alternating which goes first; each run into a fresh folder, removed after
# it, so neither runs beside a million files of the other. The last run of
# quillmere-split is kept for the checks below.
run_split() {
  rm -rf "$tmp/q"
  mkdir "$tmp/q"
  measure "$split" "$million" "$tmp/q"
  q_times+=("$seconds")
  if [ "$peak_kib" -gt "${q_peak:-0}" ]; then q_peak=$peak_kib; fi
  cp "$tmp/stdout" "$tmp/q.stdout"
  echo "quillmere-split: ${seconds} s, peak $(mib "$peak_kib")"
}
run_floor() {
  mkdir "$tmp/f"
  measure "$work/floor" "$million" "$tmp/f"
  f_times+=("$seconds")
  echo "floor: ${seconds} s, peak $(mib "$peak_kib")"
  rm -rf "$tmp/f"
}
for round in $(seq 1 "$rounds"); do
  if [ $(((rounds - round) % 2)) -eq 0 ]; then
    run_floor
    run_split
  else
    run_split
    rm -rf "$tmp/q"
    run_floor
  fi
done
median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
q_median=$(median "${q_times[@]}")
f_median=$(median "${f_times[@]}")
echo "median over $rounds rounds: quillmere-split ${q_median} s, floor ${f_median} s, ratio" \
  "$(awk -v q="$q_median" -v f="$f_median" 'BEGIN { printf "%.2f", q / f }')"
[ "$q_peak" -lt 32768 ] || fail "peak memory $(mib "$q_peak") is not under 32 MiB"
echo "quillmere-split said: $(tr '\n' ' ' <"$tmp/q.stdout")"
grep -q "^1000000 vCards Saved in" "$tmp/q.stdout" || fail "the count reported is not 1000000"

# Count and a sample of the files, each compared byte for byte with the card
# cut out of the source independently (CR LF before every line, one after).
python3 - "$million" "$tmp/q" <<'EOF' || failed=1
import os, random, sys
source, folder = sys.argv[1], sys.argv[2]
data = open(source, "rb").read()
starts = []
i = data.find(b"BEGIN:VCARD\r\n")
while i >= 0:
    starts.append(i)
    i = data.find(b"BEGIN:VCARD\r\n", i + 1)
names = os.listdir(folder)
print(f"cards in the source: {len(starts)}, files written: {len(names)}")
ok = len(starts) == len(names) == 1_000_000
expected_names = {f"vCard{n}.vcf" for n in range(1, len(starts) + 1)}
if set(names) != expected_names:
    print("the file names are not vCard1.vcf .. vCard1000000.vcf"); ok = False
sample = [1, 2, len(starts)] + random.Random(7).sample(range(1, len(starts) + 1), 2000)
bad = 0
for n in sample:
    end = data.find(b"END:VCARD\r\n", starts[n - 1]) + len(b"END:VCARD\r\n")
    card = data[starts[n - 1]:end]
    want = b"\r\n" + card[:-2] + b"\r\n"
    got = open(os.path.join(folder, f"vCard{n}.vcf"), "rb").read()
    if got != want:
        bad += 1
        if bad <= 3: print(f"vCard{n}.vcf differs from card {n} of the source")
print(f"byte-checked {len(sample)} files: {len(sample) - bad} identical")
sys.exit(0 if ok and bad == 0 else 1)
EOF
rm -rf "$tmp/q"

echo "== one card of 1 GB (a huge photo)"
# A base64 photo of 1 GB in folded lines; the same line over and over keeps
# generating it quick, and the byte check is the same.
photo_line=" $(head -c 54 /dev/zero | tr '\0' 'Q' | base64 -w 0)$(printf '\r')"
bigcard="$work/card1g.vcf"
if [ ! -f "$bigcard" ]; then
  {
    printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Huge Photo\r\nPHOTO;ENCODING=b;TYPE=JPEG:\r\n'
    yes "$photo_line" | head -n 13700000 || true  # yes ends by SIGPIPE
    printf 'END:VCARD\r\n'
  } >"$bigcard"
fi
card_kib=$(($(stat -c %s "$bigcard") / 1024))
mkdir "$tmp/big"
measure "$split" "$bigcard" "$tmp/big"
echo "card $(mib "$card_kib"): $(head -n 1 "$tmp/stdout"), ${seconds} s, peak $(mib "$peak_kib")"
cmp -s <(printf '\r\n'; cat "$bigcard") "$tmp/big/vCard1.vcf" || fail "the big card's file differs from the card"
[ "$(ls -A "$tmp/big")" = vCard1.vcf ] || fail "files besides vCard1.vcf left: $(ls -A "$tmp/big")"
[ "$peak_kib" -lt 32768 ] || fail "peak memory $(mib "$peak_kib") for a $(mib "$card_kib") card: it was held"
rm -rf "$tmp/big"

echo "== one 200 MB line outside any card"
# A line of BYTES x's, then one card named NAME; made once, kept in $work.
line_then_card() {
  local bytes=$1 name=$2 file=$3
  [ -f "$file" ] && return
  {
    head -c "$bytes" /dev/zero | tr '\0' 'x'
    printf '\r\nBEGIN:VCARD\r\nFN:%s\r\nEND:VCARD\r\n' "$name"
  } >"$file"
}
longline="$work/longline.vcf"
line_then_card 200000000 "After the long line" "$longline"
mkdir "$tmp/line"
measure "$split" "$longline" "$tmp/line"
echo "line of 200 MB: $(head -n 1 "$tmp/stdout"), ${seconds} s, peak $(mib "$peak_kib")"
[ "$peak_kib" -lt 32768 ] || fail "peak memory $(mib "$peak_kib"): the long line was held"
[ "$(ls "$tmp/line")" = vCard1.vcf ] || fail "expected only vCard1.vcf after the long line"
cmp -s <(printf '\r\nBEGIN:VCARD\r\nFN:After the long line\r\nEND:VCARD\r\n') "$tmp/line/vCard1.vcf" ||
  fail "the card after the long line differs"

# Starts quillmere-split in the background; sends the signal once the
# condition (a shell command) holds, and reports the time from the signal
# to the exit, the exit status and what the folder holds.
stop_run() {
  local source=$1 folder=$2 signal=$3 condition=$4
  mkdir -p "$folder"
  "$split" "$source" "$folder" >"$tmp/stdout" 2>"$tmp/stderr" &
  local pid=$!
  for _ in $(seq 1 3000); do
    eval "$condition" && break
    sleep 0.01
  done
  local sent ended
  sent=$(date +%s%N)
  kill -s "$signal" "$pid"
  status=0
  wait "$pid" || status=$?
  ended=$(date +%s%N)
  stop_ms=$(((ended - sent) / 1000000))
  left=$(ls -A "$folder" | tr '\n' ' ')
  echo "$signal: exit ${status} after ${stop_ms} ms; said: $(cat "$tmp/stderr"); left: ${left:-nothing}"
}

echo "== a 2 GB line outside any card, stopped by SIGINT"
hugeline="$work/line2g.vcf"
line_then_card 2000000000 "Never reached" "$hugeline"
cat "$hugeline" >/dev/null
stop_run "$hugeline" "$tmp/sigint" INT "sleep 0.5; true"
[ "$status" -eq 130 ] || fail "exit status $status after SIGINT, not 130"
[ "$stop_ms" -lt 100 ] || fail "the stop took ${stop_ms} ms"
[ -z "$left" ] || fail "files left after the stop: $left"
rm -rf "$tmp/sigint"

echo "== SIGTERM while a 600 MB card is being written"
card600="$work/card600m.vcf"
if [ ! -f "$card600" ]; then
  {
    printf 'BEGIN:VCARD\r\nFN:Big\r\nPHOTO;ENCODING=b:\r\n'
    yes "$photo_line" | head -n 8200000 || true
    printf 'END:VCARD\r\n'
  } >"$card600"
fi
cat "$card600" >/dev/null
# Once the card's temporary file has passed 100 MB.
stop_run "$card600" "$tmp/sigterm" TERM \
  '[ "$(du -bc "$tmp"/sigterm/.vCard1.vcf.partial-* 2>/dev/null | tail -n 1 | cut -f1)" -gt 100000000 ] 2>/dev/null'
[ "$status" -eq 143 ] || fail "exit status $status after SIGTERM, not 143"
[ "$stop_ms" -lt 100 ] || fail "the stop took ${stop_ms} ms"
[ -z "$left" ] || fail "files left after the stop: $left (no part of a card may stay)"
rm -rf "$tmp/sigterm"

[ "$failed" -eq 0 ] && echo "soak: all checks passed"
exit "$failed"
