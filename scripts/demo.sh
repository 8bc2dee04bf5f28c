#!/usr/bin/env bash
# Release build, then the main job: kxtool on a generated sample file, and the text viewer on a
# generated 1 GiB sample at its start, middle and end, with a few printed pages. Screenshots and
# pages go to build/demo (KESTREL_DEMO_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target kxtool

kxtool="$build/apps/kxtool/kxtool"
sample="${TMPDIR:-/tmp}/kestrel-demo-sample.txt"
trap 'rm -f "$sample"' EXIT
awk 'BEGIN { for (i = 1; i <= 200000; i++) printf "line %d: the quick brown fox jumps over the lazy dog\r\n", i }' >"$sample"

"$kxtool" --version
"$kxtool" info "$sample"

# The text viewer on 1 GiB: the file is read through one sliding window, never loaded whole.
out=${KESTREL_DEMO_DIR:-build/demo}
mkdir -p "$out"
big="$out/sample-1g.txt"
if [[ ! -f $big ]]; then
  "$kxtool" generate "$big" --size $((1 << 30))
fi
size=$(stat -c %s "$big")
echo
echo "== kxtool view: the start of $big"
"$kxtool" view "$big" --rows 20 --png "$out/view-start.png"
echo
echo "== kxtool view: the middle (offset $((size / 2))); line numbers there are estimated"
"$kxtool" view "$big" --rows 20 --offset $((size / 2)) --png "$out/view-middle.png"
echo
echo "== kxtool view: the end"
"$kxtool" view "$big" --rows 20 --end --png "$out/view-end.png"
echo
echo "== kxtool print: pages 1 to 3"
"$kxtool" print "$big" --out "$out/print" --pages 1-3
echo
echo "Screenshots and printed pages are in $out"
