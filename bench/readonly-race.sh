#!/usr/bin/env bash
# The read-only race, many times over: quillmere-split writes 3,000 small
# cards with 2 to 8 writers while, at a random moment, its folder is made
# read-only. Afterwards the folder must hold exactly vCard1.vcf to vCardN.vcf,
# N being the count the message gives, each its card. Runs as an ordinary
# user (root may write into a read-only folder): as the one named in
# QUILLMERE_BENCH_USER, else a user "quillmere-bench" made for it. The number
# of writers is drawn from QUILLMERE_RACE_JOBS (default "2 3 4 6 8").
#   [QUILLMERE_SPLIT=other/build] bench/readonly-race.sh [RUNS]   (as root)
set -euo pipefail
runs=${1:-300}
source "$(dirname "$0")/inputs.sh"
user=${QUILLMERE_BENCH_USER:-quillmere-bench}
if [ "$(id -u)" -eq 0 ] && ! id "$user" >/dev/null 2>&1; then
  useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
fi
scratch=$(mktemp -d /tmp/quillmere-race.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
python3 tools/gen_cards.py 3000 "$scratch/in.vcf" >/dev/null
cp "${QUILLMERE_SPLIT:-$split}" "$scratch/quillmere-split"
chown -R "$user" "$scratch"
as_user=(runuser -u "$user" --)
[ "$(id -u)" -eq 0 ] || as_user=()
"${as_user[@]}" python3 - "$runs" "$scratch" <<'PY'
import os, random, re, subprocess, sys, time
runs, scratch = int(sys.argv[1]), sys.argv[2]
tool, source = f"{scratch}/quillmere-split", f"{scratch}/in.vcf"
cards = open(source, "rb").read().split(b"END:VCARD")  # card n ends the n-th piece
random.seed(int(os.environ.get("QUILLMERE_RACE_SEED", "2026")))
bad = failed = 0
for run in range(runs):
    out = f"{scratch}/out{run}"
    os.mkdir(out)
    jobs = random.choice(os.environ.get("QUILLMERE_RACE_JOBS", "2 3 4 6 8").split())
    child = subprocess.Popen([tool, "-j", str(jobs), source, out], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    time.sleep(random.uniform(0, 0.03))
    os.chmod(out, 0o555)
    stdout, stderr = child.communicate()
    text = (stdout + stderr).decode(errors="replace")
    said = re.search(r"\((\d+) vCards? (?:was|were) saved before", text) or re.search(r"^(\d+) vCards Saved in", text, re.M)
    names = set(os.listdir(out))
    os.chmod(out, 0o755)
    if child.returncode != 0:
        failed += 1
    n = int(said.group(1)) if said else -1
    want = {f"vCard{i}.vcf" for i in range(1, n + 1)}
    whole = all(open(f"{out}/vCard{i}.vcf", "rb").read().endswith(b"END:VCARD\r\n") for i in range(1, n + 1) if f"vCard{i}.vcf" in names)
    if names != want or not whole:
        bad += 1
        extra = sorted(names - want, key=lambda s: int(re.sub(r"\D", "", s) or 0))
        print(f"run {run} (-j{jobs}): message says {n}, folder holds {len(names)}; extra {extra[:5]}, missing {sorted(want - names)[:5]}: {text.strip()}")
    for name in names:
        os.remove(f"{out}/{name}")
    os.rmdir(out)
print(f"{runs} runs, {failed} stopped by the read-only folder, {bad} with a folder that is not exactly vCard1..N of the message")
sys.exit(1 if bad else 0)
PY
