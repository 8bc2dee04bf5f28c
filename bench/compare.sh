#!/usr/bin/env bash
# Side-by-side figures: each of our measurements beside a standard tool's for the same work,
# measured in the same run, with the ratio. Usage:
#   bench/compare.sh [SECTION...]      (sections: the bench/compare_*.sh files, default all)
# Environment: KESTREL_BENCH_SIZE (bytes of the test files, default 1 GiB),
#              KESTREL_BENCH_DIR (where the test files go, default $TMPDIR or /tmp),
#              KESTREL_BENCH_BUILD (the Release build directory, default build/bench),
#              KESTREL_SCALE_BLOCKS (the blocks of the scale section to run, default all).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=${KESTREL_BENCH_BUILD:-build/bench}
if [[ ! -x $build/apps/kxtool/kxtool ]] || [[ ${KESTREL_BENCH_REBUILD:-1} == 1 ]]; then
  ./scripts/setup.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_BENCH=ON \
    -DKESTREL_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" >/dev/null
fi
export KXTOOL=$root/$build/apps/kxtool/kxtool
export BENCH_BIN=$root/$build/bench
export BENCH_SIZE=${KESTREL_BENCH_SIZE:-$((1 << 30))}
export BENCH_DIR=${KESTREL_BENCH_DIR:-${TMPDIR:-/tmp}}/kestrel-bench
mkdir -p "$BENCH_DIR"

# shellcheck source=bench/compare_lib.sh
source bench/compare_lib.sh

sections=("$@")
if [[ ${#sections[@]} -eq 0 ]]; then
  for f in bench/compare_*.sh; do
    name=${f#bench/compare_}; name=${name%.sh}
    [[ $name == lib ]] || sections+=("$name")
  done
fi
echo "Kestrel side-by-side figures ($(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, files of $BENCH_SIZE bytes in $BENCH_DIR)"
for s in "${sections[@]}"; do
  echo
  echo "== $s"
  # shellcheck disable=SC1090
  source "bench/compare_$s.sh"
done
