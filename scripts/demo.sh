#!/usr/bin/env bash
# The main job: a Release build, then kxedit on a large text file (FILE, or a generated 1 GiB
# sample). Where a display exists kxedit opens in a window; otherwise (and always before that)
# it renders offscreen screenshots of the start, an estimated middle and the end of the file,
# types a line in the middle and saves the edited text as a copy, and prints the first pages to
# a PDF. Pictures go to build/demo (KESTREL_DEMO_DIR).
#   ./scripts/demo.sh [FILE]
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF -DKESTREL_QT=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target kxtool kxedit

kxtool="$build/apps/kxtool/kxtool"
kxedit="$build/apps/kxedit/kxedit"
out=${KESTREL_DEMO_DIR:-build/demo}
mkdir -p "$out"
file=${1:-}
if [[ -z $file ]]; then
  file="$out/sample-1g.txt"
  if [[ ! -f $file ]]; then
    echo "== generating a 1 GiB sample: $file"
    "$kxtool" generate "$file" --size $((1 << 30))
  fi
fi
[[ -r $file ]] || { echo "demo: cannot read $file" >&2; exit 1; }
"$kxtool" info "$file"

# The line in the middle of the bytes (lines unwrapped), as the viewer estimates it without
# counting: its number stays provisional ("~" in the status bar) until the count gets there.
size_bytes=$(stat -c %s "$file")
middle=$("$kxtool" view "$file" --rows 1 --wrap none --offset $((size_bytes / 2)) |
  sed -n 's/.* line=\([0-9]*\).*/\1/p')
middle=$((${middle:-0} + 1))
size=1100x720
echo
echo "== kxedit offscreen: the start, with a selection"
"$kxedit" "$file" --size "$size" --screenshot "$out/kxedit-start.png" \
  --keys "Down Down Down Right Right Right Right Shift+Down Shift+Down Shift+End"
echo "== kxedit offscreen: the middle (line $middle, estimated)"
"$kxedit" "$file" --size "$size" --screenshot "$out/kxedit-middle.png" --wrap none --goto "$middle" \
  --keys "Shift+Ctrl+Right Shift+Ctrl+Right"
echo "== kxedit offscreen: the end"
"$kxedit" "$file" --size "$size" --screenshot "$out/kxedit-end.png" --keys "Ctrl+End PgUp PgDown"
echo "== kxedit offscreen: a line typed at the middle, the whole text saved as a copy"
"$kxedit" "$file" --size "$size" --screenshot "$out/kxedit-edit.png" --wrap none --goto "$middle" \
  --keys "Home Shift+E d i t e d Space h e r e Return" --save-as "$out/sample-edited.txt"
echo "   in the copy, as grep finds it: $(grep -n -m1 '^Edited here' "$out/sample-edited.txt")"
echo "== kxedit: the first pages printed to PDF"
"$kxedit" "$file" --print "$out/kxedit-pages.pdf" --pages 1-3
echo
echo "Screenshots: $out/kxedit-start.png $out/kxedit-middle.png $out/kxedit-end.png $out/kxedit-edit.png"
echo "Printed pages: $out/kxedit-pages.pdf"

if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  echo
  echo "== kxedit in a window (close it to end the demo)"
  "$kxedit" "$file"
fi
