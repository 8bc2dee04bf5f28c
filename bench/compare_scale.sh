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
