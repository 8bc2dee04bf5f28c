#!/usr/bin/env bash
# Release build, then the main job: kxtool on a generated sample file.
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
