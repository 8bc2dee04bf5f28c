# Storage figures (a section of bench/compare.sh): attaching, reading, editing and saving big
# texts through TTextStream and TEditStream, each beside its peer measured in the same run.

text=$(ensure_file storage-text.txt --size "$BENCH_SIZE")
small=$BENCH_DIR/storage-1k.txt
head -c 1024 "$text" >"$small"
huge=$BENCH_DIR/storage-sparse-10g.txt
[[ -f $huge ]] || truncate -s 10G "$huge" # a hole: no disk space, no page cache

# Attaching: opening a 10 GiB source against a 1 KiB one, 50 times each (nothing is read until a
# window is asked for). The microbenchmark times SetSourceStream alone, on generated sources.
attach50='for i in $(seq 50); do "$KXTOOL" cat "$0" --count 0; done'
best_of 3 bash -c "$attach50" "$huge"
huge_s=$SECONDS_TAKEN huge_kb=$PEAK_KB
best_of 3 bash -c "$attach50" "$small"
figure "open a 10 GiB sparse file 50 times" "$huge_s" "$SECONDS_TAKEN" "same, 1 KiB" 1.5
printf '  %-46s %9d KB   %-14s %9d KB\n' "  peak memory" "$huge_kb" "1 KiB file" "$PEAK_KB"
if [[ -x $BENCH_BIN/bench_storage ]]; then
  "$BENCH_BIN/bench_storage" --benchmark_filter='BM_Attach' 2>/dev/null |
    awk '/^BM_Attach/ { line = sprintf("  microbenchmark %-34s %8s %s", $1, $2, $3); for (i = 4; i <= NF; i++) if ($i ~ /heap/) line = line "  " $i; print line }'
fi

# Reading window by window through GetText against cat (page cache warm).
cat "$text" >/dev/null
best_of 3 cat "$text"
cat_s=$SECONDS_TAKEN
best_of 3 "$KXTOOL" cat "$text"
figure "read $((BENCH_SIZE >> 20)) MiB, 64 KiB window (kxtool cat)" "$SECONDS_TAKEN" "$cat_s" "cat" 2
best_of 3 "$KXTOOL" cat "$text" --bufsize 4096
figure "read $((BENCH_SIZE >> 20)) MiB, 4 KiB window (the default)" "$SECONDS_TAKEN" "$cat_s" "cat"

# Editing: memory grows with the inserted bytes and the segments, not with the file.
scripts=$BENCH_DIR/storage-scripts
mkdir -p "$scripts"
awk -v pos=$((BENCH_SIZE / 2)) 'BEGIN { printf "type %d ", pos; for (i = 0; i < 100000; i++) printf "%c", 97 + i % 26; printf "\n" }' >"$scripts/typing.txt"
awk -v size="$BENCH_SIZE" -v n=100000 'BEGIN { srand(42); for (i = 0; i < n; i++) { p = int(rand() * (size - n)); if (i % 2 == 0) print "insert " p " x"; else print "delete " p " 1" } }' >"$scripts/random.txt"
awk -v size="$BENCH_SIZE" -v n=1000 'BEGIN { srand(7); for (i = 0; i < n; i++) { p = int(rand() * (size - 10 * n)); if (i % 3 == 0) print "delete " p " 5"; else print "insert " p " edit" i } }' >"$scripts/scattered.txt"
: >"$scripts/empty.txt"
out=$BENCH_DIR/storage-out.txt
measure "$KXTOOL" edit "$text" --script "$scripts/empty.txt" --out "$out"
base_kb=$PEAK_KB
measure "$KXTOOL" edit "$text" --script "$scripts/typing.txt" --out "$out"
typing_kb=$PEAK_KB typing_s=$SECONDS_TAKEN
measure "$KXTOOL" edit "$text" --script "$scripts/random.txt" --out "$out"
random_kb=$PEAK_KB random_s=$SECONDS_TAKEN
printf '  %-46s %9d KB   %-14s %9d KB\n' "peak memory, no edit (then save)" "$base_kb" "file" $((BENCH_SIZE >> 10))
printf '  %-46s %9d KB   %-14s %9d KB   %.2f s\n' "  100,000 characters typed at one place" "$typing_kb" "file" $((BENCH_SIZE >> 10)) "$typing_s"
printf '  %-46s %9d KB   %-14s %9d KB   %.2f s\n' "  100,000 random 1-byte inserts/deletes" "$random_kb" "file" $((BENCH_SIZE >> 10)) "$random_s"
if [[ -x $BENCH_BIN/bench_storage ]]; then
  "$BENCH_BIN/bench_storage" --benchmark_filter='BM_TypeAtOnePlace|BM_RandomEdits' 2>/dev/null |
    awk '/^BM_/ { line = sprintf("  microbenchmark %-34s %8s %s", $1, $2, $3); for (i = 4; i <= NF; i++) if ($i ~ /=/) line = line "  " $i; print line }'
fi

# Saving: the whole text written with CopyToStream after 1,000 scattered edits, against cp; both
# write a new file, after the writes of the previous run have reached the disk.
best_of 5 bash -c 'rm -f "$2"; sync; exec cp "$1" "$2"' _ "$text" "$out"
cp_s=$SECONDS_TAKEN
best_of 5 bash -c 'rm -f "$4"; sync; exec "$KXTOOL" edit "$1" --script "$2" --out "$4"' _ "$text" "$scripts/scattered.txt" --out "$out"
figure "save after 1,000 scattered edits (kxtool edit)" "$SECONDS_TAKEN" "$cp_s" "cp" 1.5
rm -f "$out"
