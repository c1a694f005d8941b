#!/usr/bin/env bash
# Builds quillmere-split and splits the bundled sample into build/sample-output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh"
cmake --preset native >/dev/null
cmake --build --preset native --target quillmere-split
out="$root/build/sample-output"
rm -rf "$out"; mkdir -p "$out"
"$root/build/native/quillmere-split" "$root/samples/contacts.vcf" "$out"
echo "The cards are in $out:"
ls -l "$out"
