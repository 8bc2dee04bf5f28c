#!/usr/bin/env bash
# Runs the checks of .clang-tidy over the sources of src/ and apps/ of a configured build
# (its compile_commands.json; default build/test). Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}

if ! command -v clang-tidy >/dev/null 2>&1; then
  echo "tidy: clang-tidy not found, skipped"
  exit 0
fi
mapfile -t files < <(git ls-files 'src/*.cpp' 'apps/*.cpp')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if printf '%s\n' "${files[@]}" |
  xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet >"$log" 2>/dev/null; then
  echo "tidy: ${#files[@]} files, no findings"
else
  grep -E 'warning:|error:' "$log" | sort -u >&2 || cat "$log" >&2
  echo "tidy: findings above (checks in .clang-tidy)" >&2
  exit 1
fi
