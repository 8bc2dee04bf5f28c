# Figures at scale (a section of bench/compare.sh), each beside its peer measured in the same run,
# with the ratio and the goal. One block per subject; a new subject adds a block of its own.

text=$(ensure_file storage-text.txt --size "$BENCH_SIZE")
scale_out=$BENCH_DIR/scale-out.txt
cat "$text" >/dev/null # into the page cache, for ours and the peers alike

# cp of the text to a new file, the fastest of 3 (each after the previous copy is deleted and the
# disk has caught up): the peer of every save below.
best_of 3 bash -c 'rm -f "$2"; sync; exec cp "$1" "$2"' _ "$text" "$scale_out"
cp_s=$SECONDS_TAKEN

# --- Many scattered edits: 1,000,000 random one-byte inserts and deletes in the text.
# The microbenchmark times the edits (processor time per edit over the first and the last 10,000),
# then saves the result three times, each to a new file as cp writes one (the fastest counts), and
# counts the heap the edits took per segment.
if [[ -x $BENCH_BIN/bench_storage ]]; then
  declare -A scattered=()
  while read -r name value; do
    scattered[$name]=$value
  done < <(KESTREL_BENCH_FILE=$text KESTREL_BENCH_OUT=$scale_out \
    bench_counters "$BENCH_BIN/bench_storage" 'BM_ScatteredEdits')
  figure_in us "cost per edit, edits 990,001 to 1,000,000" "${scattered[last_edit_us]}" \
    "${scattered[first_edit_us]}" "edits 1-10,000" 2
  figure "save after 1,000,000 edits (fastest of 3)" "${scattered[save_s]}" "$cp_s" "cp" 2
  within_limit "heap per segment ($(printf '%.0f' "${scattered[segments]}") segments)" \
    "${scattered[bytes_per_segment]}" B 100
else
  echo "  (no bench_storage: configure with -DKESTREL_BENCH=ON for the figures of the edits)"
fi
# The whole job through kxtool edit, reading the script included, against cp: no goal of its own
# (it holds a million edits), it shows what the user waits for.
scripts=$BENCH_DIR/scale-scripts
mkdir -p "$scripts"
scattered_script=$scripts/scattered-1m-$BENCH_SIZE.txt
[[ -f $scattered_script ]] ||
  awk -v size="$BENCH_SIZE" -v n=1000000 'BEGIN { srand(42); for (i = 0; i < n; i++) { p = int(rand() * (size - n)); if (i % 2 == 0) print "insert " p " x"; else print "delete " p " 1" } }' >"$scattered_script"
measure bash -c 'rm -f "$3"; sync; exec "$KXTOOL" edit "$1" --script "$2" --out "$3"' _ \
  "$text" "$scattered_script" "$scale_out"
figure "edit 1,000,000 times and save (kxtool edit)" "$SECONDS_TAKEN" "$cp_s" "cp"
rm -f "$scale_out"

# --- Line numbers in the viewer. Estimates before the count has run: the last line of each test
# file (the peer is the exact figure the count arrives at; limit 1% off) and estimated jumps to a
# quarter, half, three quarters and nine tenths of the text (bench_viewer BM_LineNumbers, limit 1%
# off). Exact jumps: `kxtool view --line` to display line 49,999,999 of the 8 GiB file (its line
# 50,000,000) against `sed -n 'Np;Nq'` (limit a third of its time), the row shown checked against
# sed's; and, once the count has run, jumps to twenty line numbers spread over the text from the
# count's checkpoints (the slowest, limit 5 ms), beside sed for the farthest line.
huge=$(ensure_file viewer-8g.txt --size $((8 << 30)))
lines_file=$(ensure_file layout-lines.txt --size "$BENCH_SIZE")
single=$(ensure_file layout-single-50m.txt --size $((50 << 20)) --single-line)
# A log whose first 100 lines are 10 KB long: the first lines counted say little of the rest.
log=$BENCH_DIR/scale-log-long-start.txt
if [[ ! -f $log ]]; then
  awk 'BEGIN { s = "w"; while (length(s) < 10239) s = s s; s = substr(s, 1, 10239); for (i = 0; i < 100; i++) print s }' >"$log"
  head -c $((BENCH_SIZE - 1024000)) "$lines_file" >>"$log"
fi
cat "$huge" "$log" >/dev/null

# last_line FILE WRAP [--exact]: the viewer's last line (estimated, or exact after the count).
last_line() {
  "$KXTOOL" view "$1" --rows 1 --wrap "$2" ${3:-} | tail -n 1 | sed -n 's/.* last-line=\([0-9]*\) .*/\1/p'
}
for spec in "$huge none" "$lines_file none" "$lines_file screen" "$single none" "$single screen" \
  "$log none" "$log screen" "$BENCH_DIR/storage-text.txt none"; do
  read -r file wrap <<<"$spec"
  [[ -f $file ]] || continue
  estimated=$(last_line "$file" "$wrap")
  exact=$(last_line "$file" "$wrap" --exact)
  awk -v l="estimated last line, $(basename "$file") ($wrap)" -v o="$estimated" -v p="$exact" 'BEGIN {
    e = (p > 0) ? 100 * (o > p ? o - p : p - o) / p : (o == p ? 0 : 100)
    printf "  %-46s %12d   %-8s %12d   off %6.3f%%  (limit 1%%: %s)\n", l, o, "count", p, e, (e <= 1) ? "ok" : "OVER" }'
done

if [[ -x $BENCH_BIN/bench_viewer ]]; then
  for spec in "$huge 0" "$log 0" "$log 1"; do
    read -r file wrapped <<<"$spec"
    declare -A numbers=()
    while read -r name value; do
      numbers[$name]=$value
    done < <(KESTREL_BENCH_FILE=$file bench_counters "$BENCH_BIN/bench_viewer" "BM_LineNumbers/$wrapped/")
    mode=$([[ $wrapped == 1 ]] && echo screen || echo none)
    within_limit "estimated jumps off, $(basename "$file") ($mode)" "${numbers[jump_error_pct]}" % 1
    # The peer: sed to the last line's number (the farthest a jump may go).
    farthest=$(printf '%.0f' "${numbers[lines]}")
    if [[ $wrapped == 0 ]]; then
      best_of 1 sed -n "${farthest}p;${farthest}q" "$file"
      figure_in ms "jump to a line number, counted (slowest of 20)" "${numbers[slowest_jump_ms]}" \
        "$(awk -v s="$SECONDS_TAKEN" 'BEGIN { print s * 1000 }')" "sed, last line"
    fi
    within_limit "  the same, slowest of 20 ($mode)" "${numbers[slowest_jump_ms]}" ms 5
    printf '    slowest first jump (from the disk) %.2f ms; %.0f checkpoints (%.0f KB) for %.0f lines; count %.1f s\n' \
      "${numbers[slowest_first_jump_ms]}" "${numbers[checkpoints]}" "${numbers[checkpoint_KB]}" \
      "${numbers[lines]}" "${numbers[count_s]}"
  done
else
  echo "  (no bench_viewer: configure with -DKESTREL_BENCH=ON for the figures of the jumps)"
fi

# The exact jump before any count: kxtool view --line against sed, and the same row.
for spec in "$huge 50000000" "$log 5000000"; do
  read -r file number <<<"$spec"
  best_of 3 sed -n "${number}p;${number}q" "$file"
  sed_s=$SECONDS_TAKEN
  best_of 3 "$KXTOOL" view "$file" --line $((number - 1)) --wrap none --rows 1 --width 8000
  ours_s=$SECONDS_TAKEN
  figure "line $number of $(basename "$file") (view --line)" "$ours_s" "$sed_s" "sed -n Np;Nq" 0.33
  ours_row=$("$KXTOOL" view "$file" --line $((number - 1)) --wrap none --rows 1 --width 8000 | head -n 1 | cut -f 2-)
  sed_row=$(sed -n "${number}p;${number}q" "$file")
  if [[ ${sed_row:0:100} == "${ours_row:0:100}" ]]; then
    echo "    the row shown is sed's line $number"
  else
    echo "    WRONG ROW: ours '${ours_row:0:60}', sed '${sed_row:0:60}'"
  fi
done
