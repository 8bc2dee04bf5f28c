# Figures at scale (a section of bench/compare.sh), each beside its peer measured in the same run,
# with the ratio and the goal. One block per subject; a new subject adds a block of its own.
# KESTREL_SCALE_BLOCKS picks blocks by name (default: "wrap edits", all of them).

scale_blocks=" ${KESTREL_SCALE_BLOCKS:-wrap edits} "

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
  # own time is view --exact less view alone (opening and the first screen, which an unwrapped
  # long line makes measure whole a few times).
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
    viewer_count "$f" none
    figure "$name: count, not wrapped" "$VIEW_COUNT_S" "$wc_s" "wc -l" 2
    echo "    (view --exact $VIEW_EXACT_S s, of which opening and the screen $VIEW_OPEN_S s; kxtool count $count_s s)"
    if [[ $para == 1048576 ]]; then
      best_of 3 bash -c 'fold -s -w 100 "$1" | wc -l' _ "$f"
      echo "    (fold -s -w 100 | wc -l: $SECONDS_TAKEN s)"
    fi
  done

  # Idle steps and the first screen over long lines (the microbenchmark BM_LongLines: 32 lines of
  # 1 MB, 4 of 10 MB; BM_SingleLine: one line of 50 MB), not wrapped and wrapped at the window.
  if [[ -x $BENCH_BIN/bench_viewer ]]; then
    echo "  long lines in the viewer (limits: first screen 20 ms, every idle step 2 ms)"
    "$BENCH_BIN/bench_viewer" --benchmark_filter='BM_LongLines|BM_SingleLine' 2>/dev/null |
      awk '/^BM_/ { line = sprintf("    %-44s", $1); for (i = 4; i <= NF; i++) if ($i ~ /=/) line = line "  " $i; print line }'
  fi
fi

[[ $scale_blocks == *" edits "* ]] || return 0

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
