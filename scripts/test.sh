#!/usr/bin/env bash
# Checks the style, builds with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as
# errors, runs the checks of .clang-tidy and every test (the headless ones and the Qt platform's,
# test_qt, offscreen and under xvfb-run); then builds the fuzz targets with clang and runs each
# briefly from its seed corpus.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
./scripts/check-style.sh

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DKESTREL_SANITIZE=ON -DKESTREL_WERROR=ON -DKESTREL_TESTS=ON -DKESTREL_QT=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
# Likely bugs and needless copies (.clang-tidy), over the build's compile commands.
./scripts/check-tidy.sh "$build"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 900

# The fuzz stage: a clang build of its own, then KESTREL_FUZZ_SECONDS (30) of each target from its
# seed corpus; new inputs and any failing one go to build/fuzz/runs/<name>. 0 seconds skips it.
fuzz_seconds=${KESTREL_FUZZ_SECONDS:-30}
if [[ $fuzz_seconds == 0 ]]; then
  echo "fuzz: skipped (KESTREL_FUZZ_SECONDS=0)"
  exit 0
fi
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found, fuzz stage skipped"
  exit 0
fi
fuzz=build/fuzz
cmake -S . -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DKESTREL_FUZZ=ON -DKESTREL_TESTS=OFF -DKESTREL_QT=OFF -DKESTREL_WERROR=ON >/dev/null
cmake --build "$fuzz" -j "$(nproc)" --target fuzz_targets
failed=0
for source in tests/fuzz/*_fuzz.cpp; do
  name=$(basename "$source" _fuzz.cpp)
  run="$fuzz/runs/$name"
  if [[ ! -d tests/fuzz/corpus/$name ]]; then
    echo "fuzz: $name has no seed corpus in tests/fuzz/corpus/$name" >&2
    failed=1
    continue
  fi
  rm -rf "$run"
  mkdir -p "$run/corpus"
  if "$fuzz/tests/fuzz/${name}_fuzz" -max_total_time="$fuzz_seconds" -max_len=4096 -timeout=20 \
    -rss_limit_mb=2048 -artifact_prefix="$run/" "$run/corpus" "tests/fuzz/corpus/$name" \
    >"$run/log" 2>&1; then
    echo "fuzz: $name: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$run/log")"
  else
    tail -n 40 "$run/log"
    echo "fuzz: $name FAILED; replay the input it saved with $fuzz/tests/fuzz/${name}_fuzz $run/<file>" >&2
    failed=1
  fi
done
exit $failed
