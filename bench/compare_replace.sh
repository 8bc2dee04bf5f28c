# Replace figures (a section of bench/compare.sh): every occurrence of a frequent word of the
# generated text ("line", about one per line: some ten million in 1 GiB) replaced through the
# editor's replace-all (kxtool replace) beside sed 's/line/other/g' on the same file, the two
# outputs compared; then the memory the run adds over a run that finds nothing, against the bytes
# it replaced; one undo compared with the original file; and how long a cancel request waits.

lines=$(ensure_file layout-lines.txt --size "$BENCH_SIZE")
replace_dir=$(mktemp -d "$BENCH_DIR/replace.XXXXXX")

best_of 2 sh -c "sed 's/line/other/g' '$lines' > '$replace_dir/sed.txt'"
sed_seconds=$SECONDS_TAKEN
best_of 2 "$KXTOOL" replace line other "$lines" --out "$replace_dir/ours.txt"
ours_seconds=$SECONDS_TAKEN
ours_kb=$PEAK_KB
figure "replace-all of a frequent word" "$ours_seconds" "$sed_seconds" "sed s///g" 3
if cmp -s "$replace_dir/ours.txt" "$replace_dir/sed.txt"; then
  echo "    the output is byte for byte sed's"
else
  echo "    the output DIFFERS from sed's"
fi
rm -f "$replace_dir/sed.txt"

# Memory: the same run with a word found nowhere is the baseline.
best_of 1 "$KXTOOL" replace qzqzqzqz other "$lines" --out "$replace_dir/none.txt"
base_kb=$PEAK_KB
rm -f "$replace_dir/none.txt"
"$KXTOOL" replace line other "$lines" --out "$replace_dir/ours.txt" \
  --undo-out "$replace_dir/undone.txt" --stats 2>"$replace_dir/stats.txt" >/dev/null
count=$(awk -F': ' '/^replacements/ { print $2 }' "$replace_dir/stats.txt")
reports=$(awk -F': ' '/^progress reports/ { print $2 }' "$replace_dir/stats.txt")
gap=$(awk -F': ' '/^longest gap/ { print $2 + 0 }' "$replace_dir/stats.txt")
replaced_mb=$(awk -v n="$count" 'BEGIN { printf "%.1f", n * 4 / 1048576 }')
growth_mb=$(awk -v a="$ours_kb" -v b="$base_kb" 'BEGIN { printf "%.1f", (a - b) / 1024 }')
echo "    $count replacements, $reports progress reports, longest gap between two $gap ms"
echo "    peak memory $((ours_kb / 1024)) MB, $growth_mb MB over a run that replaces nothing" \
  "($((base_kb / 1024)) MB), for $replaced_mb MB of replaced bytes"
if cmp -s "$replace_dir/undone.txt" "$lines"; then
  echo "    one undo gives back the original file byte for byte"
else
  echo "    one undo does NOT give back the original file"
fi
rm -f "$replace_dir/undone.txt" "$replace_dir/ours.txt"

"$KXTOOL" replace line other "$lines" --out "$replace_dir/cancelled.txt" --cancel-after 1000 \
  --stats 2>"$replace_dir/stats.txt" >/dev/null
wait_ms=$(awk -F': ' '/^cancel honoured after/ { print $2 + 0 }' "$replace_dir/stats.txt")
cancelled=$(awk -F': ' '/^replacements/ { print $2 }' "$replace_dir/stats.txt")
within_limit "a cancel request waits (at 1 s, $cancelled replaced)" "$wait_ms" ms 100
rm -rf "$replace_dir"
