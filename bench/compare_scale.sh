# Figures at scale (a section of bench/compare.sh), each beside its peer measured in the same run,
# with the ratio and the goal. One block per subject; a new subject adds a block of its own.
# KESTREL_SCALE_BLOCKS picks blocks by name (default: "wrap edits numbers", all of them).

scale_blocks=" ${KESTREL_SCALE_BLOCKS:-wrap edits numbers} "

# --- Wrapping at scale: narrow wraps of long lines, the viewer's count of long paragraphs, and
# idle steps over long lines. The texts are the generated words without tabs (no control byte at
# all: the scans find nothing to stop at), and folded into paragraphs of 1 KB, 60 KB and 1 MB.
if [[ $scale_blocks == *" wrap "* ]]; then
  wrap_words() { # NAME SIZE [FOLD]: the generated words, tabs made spaces, folded when asked
    local path=$BENCH_DIR/$1
    if [[ ! -f $path ]]; then
      "$KXTOOL" generate "$path.tmp" --size "$2" --single-line >/dev/null
      if [[ -n ${3:-} ]]; then tr '\t' ' ' <"$path.tmp" | fold -b -w "$(($3 - 1))" >"$path"; else tr '\t' ' ' <"$path.tmp" >"$path"; fi
      rm -f "$path.tmp"
    fi
    echo "$path"
  }
  # seconds_figure LABEL OURS PEER PEER_NAME LIMIT_S: a time with its peer, ratio and absolute limit.
  seconds_figure() {
    awk -v l="$1" -v o="$2" -v p="$3" -v n="$4" -v lim="$5" 'BEGIN {
      r = (p > 0) ? o / p : 0
      printf "  %-46s %9.3f s   %-14s %9.3f s   ratio %6.2f  (limit %s s: %s)\n", l, o, n, p, r, lim, (o <= lim) ? "ok" : "OVER" }'
  }
  line100=$(wrap_words wrap-line-100m.txt $((100 << 20)))
  cat "$line100" >/dev/null
  best_of 3 wc -l "$line100"
  wc_line_s=$SECONDS_TAKEN
  echo "  one 100 MB line of words without tabs (goal: linear in the bytes, under 2 s at any width)"
  for px in 1 8 24; do
    best_of 3 "$KXTOOL" count --wrap "$px" "$line100"
    seconds_figure "kxtool count --wrap $px" "$SECONDS_TAKEN" "$wc_line_s" "wc -l" 2
  done
  for chars in 1 3; do
    best_of 3 "$KXTOOL" view "$line100" --end --wrap "$chars"
    seconds_figure "kxtool view --end --wrap $chars" "$SECONDS_TAKEN" "$wc_line_s" "wc -l" 2
  done

  # The viewer's count to completion in idle time against kxtool count at the same width (100
  # characters of 8 pixels), whatever the paragraphs' length; unwrapped against wc -l. The count's
  # own time is view --exact less view alone (opening and the first screen).
  viewer_count() { # FILE WRAP: sets VIEW_OPEN_S, VIEW_EXACT_S and VIEW_COUNT_S
    best_of 3 "$KXTOOL" view "$1" --rows 25 --wrap "$2"
    VIEW_OPEN_S=$SECONDS_TAKEN
    best_of 3 "$KXTOOL" view "$1" --rows 25 --wrap "$2" --exact
    VIEW_EXACT_S=$SECONDS_TAKEN
    VIEW_COUNT_S=$(awk -v e="$VIEW_EXACT_S" -v o="$VIEW_OPEN_S" 'BEGIN { d = e - o; printf "%.3f", (d > 0 ? d : 0) }')
  }
  echo "  viewer count to completion (view --exact) against kxtool count at the same width"
  for para in 1024 61440 1048576 single; do
    if [[ $para == single ]]; then
      f=$(ensure_file layout-single-50m.txt --size $((50 << 20)) --single-line)
      name="one 50 MB line"
    else
      f=$(wrap_words "wrap-para-$para.txt" $((256 << 20)) "$para")
      name="256 MB, $((para >> 10)) KB paragraphs"
    fi
    cat "$f" >/dev/null
    best_of 3 "$KXTOOL" count --wrap 800 "$f"
    count_s=$SECONDS_TAKEN
    viewer_count "$f" 100
    figure "$name: count, wrap 100" "$VIEW_COUNT_S" "$count_s" "count --wrap 800" 1.5
    echo "    (view --exact $VIEW_EXACT_S s, of which opening and the screen $VIEW_OPEN_S s)"
    best_of 3 "$KXTOOL" count "$f"
    count_s=$SECONDS_TAKEN
    best_of 3 wc -l "$f"
    wc_s=$SECONDS_TAKEN
    # Unwrapped, the whole of view --exact: opening a text of long lines measures them, which
    # is the count's work done early.
    viewer_count "$f" none
    figure "$name: view --exact, not wrapped" "$VIEW_EXACT_S" "$wc_s" "wc -l" 2
    echo "    (of which opening and the screen $VIEW_OPEN_S s, the count $VIEW_COUNT_S s; kxtool count $count_s s)"
    if [[ $para == 1048576 ]]; then
      best_of 3 bash -c 'fold -s -w 100 "$1" | wc -l' _ "$f"
      echo "    (fold -s -w 100 | wc -l: $SECONDS_TAKEN s)"
    fi
  done

  # Idle steps and the first screen over long lines (the microbenchmark BM_LongLines: 32 lines of
  # 1 MB, 32 of 10 MB; BM_SingleLine: one line of 50 MB), not wrapped and wrapped at the window.
  # open_ms is the first paint (rows of long lines it cannot measure within its budget are left
  # to idle time); screen_ms is when idle steps, one after the other, have drawn the last row.
  if [[ -x $BENCH_BIN/bench_viewer ]]; then
    echo "  long lines in the viewer (limits: first screen 20 ms, every idle step 2 ms)"
    "$BENCH_BIN/bench_viewer" --benchmark_filter='BM_LongLines|BM_SingleLine' 2>/dev/null |
      awk '/^BM_/ { line = sprintf("    %-44s", $1); for (i = 4; i <= NF; i++) if ($i ~ /=/) line = line "  " $i; print line }'
  fi
fi

if [[ $scale_blocks == *" edits "* ]]; then
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
fi

[[ $scale_blocks == *" numbers "* ]] || return 0

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
for item in "$huge none" "$lines_file none" "$lines_file screen" "$single none" "$single screen" \
  "$log none" "$log screen" "$BENCH_DIR/storage-text.txt none"; do
  read -r file wrap <<<"$item"
  [[ -f $file ]] || continue
  estimated=$(last_line "$file" "$wrap")
  exact=$(last_line "$file" "$wrap" --exact)
  awk -v l="estimated last line, $(basename "$file") ($wrap)" -v o="$estimated" -v p="$exact" 'BEGIN {
    e = (p > 0) ? 100 * (o > p ? o - p : p - o) / p : (o == p ? 0 : 100)
    printf "  %-46s %12d   %-8s %12d   off %6.3f%%  (limit 1%%: %s)\n", l, o, "count", p, e, (e <= 1) ? "ok" : "OVER" }'
done

if [[ -x $BENCH_BIN/bench_viewer ]]; then
  for item in "$huge 0" "$log 0" "$log 1"; do
    read -r file wrapped <<<"$item"
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
for item in "$huge 50000000" "$log 5000000"; do
  read -r file number <<<"$item"
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
