# Layout and search, each beside a standard tool for the same work: display lines counted with
# CountLines (and with one GetNextLine a line) against `wc -l`, an absent 12-byte pattern searched
# against `grep -F`, and a 50 MB single line counted and searched. Sourced by bench/compare.sh.
export LC_ALL=C # grep at its fastest

lines=$(ensure_file layout-lines.txt --size "$BENCH_SIZE")
single=$(ensure_file layout-single-50m.txt --size $((50 << 20)) --single-line)
pattern=zqxjkvbwpmfy
cat "$lines" "$single" >/dev/null # into the page cache

best_of 3 wc -l "$lines"
wc_s=$SECONDS_TAKEN
best_of 3 "$KXTOOL" count "$lines"
figure "kxtool count (not wrapped)" "$SECONDS_TAKEN" "$wc_s" "wc -l" 2
echo "    peak memory of kxtool count: $PEAK_KB KB for a file of $BENCH_SIZE bytes"
best_of 3 "$KXTOOL" count --wrap 800 "$lines"
figure "kxtool count --wrap 800" "$SECONDS_TAKEN" "$wc_s" "wc -l" 5
# The same counts with one GetNextLine call a line, as a caller walking the lines makes them.
best_of 3 "$KXTOOL" count --each "$lines"
figure "kxtool count --each" "$SECONDS_TAKEN" "$wc_s" "wc -l"
best_of 3 "$KXTOOL" count --each --wrap 800 "$lines"
figure "kxtool count --each --wrap 800" "$SECONDS_TAKEN" "$wc_s" "wc -l"

export ALLOW_STATUS=1 # nothing found
best_of 3 grep -F -c "$pattern" "$lines"
grep_s=$SECONDS_TAKEN
best_of 3 "$KXTOOL" search --case "$pattern" "$lines"
forward_s=$SECONDS_TAKEN
figure "kxtool search --case (absent)" "$forward_s" "$grep_s" "grep -F -c" 1
best_of 3 "$KXTOOL" search --case --back "$pattern" "$lines"
figure "kxtool search --case --back (absent)" "$SECONDS_TAKEN" "$forward_s" "forwards" 1.5
best_of 3 grep -F -i -c "$pattern" "$lines"
grepi_s=$SECONDS_TAKEN
best_of 3 "$KXTOOL" search "$pattern" "$lines"
figure "kxtool search, any case (absent)" "$SECONDS_TAKEN" "$grepi_s" "grep -F -i -c" 1.5

# within LIMIT seconds: one line of the table without a peer
within() {
  awk -v l="$1" -v o="$2" -v lim="$3" 'BEGIN {
    printf "  %-46s %9.3f s   (limit %s s: %s)\n", l, o, lim, (o <= lim) ? "ok" : "OVER" }'
}
best_of 3 "$KXTOOL" count "$single"
within "kxtool count, one 50 MB line" "$SECONDS_TAKEN" 1
best_of 3 "$KXTOOL" search --case "$pattern" "$single"
within "kxtool search, one 50 MB line (absent)" "$SECONDS_TAKEN" 1
unset ALLOW_STATUS
