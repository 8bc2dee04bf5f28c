#!/usr/bin/env bash
# Checks the written style: every tracked C++ file as .clang-format lays it out.
# Prints each difference and exits non-zero when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.h' '*.cpp' 2>/dev/null || find src apps bench tests -name '*.h' -o -name '*.cpp')
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "style: the files above differ from .clang-format (clang-format -i FILE mends them)" >&2
  exit 1
fi
