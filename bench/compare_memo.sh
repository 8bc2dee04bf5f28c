# Memo figures (a section of bench/compare.sh): TBigMemo on the 1 GiB text; Lines.Count costs one
# full line count (beside wc -l on the same file, measured in the same run), a second call costs
# nothing while the text is unchanged, and Lines[i] after the count is a locate in the line map.

if [[ -x $BENCH_BIN/bench_memo ]]; then
  memo_file=$BENCH_DIR/storage-text.txt
  [[ -f $memo_file ]] || "$KXTOOL" generate "$memo_file" --size $((1 << 30)) >/dev/null
  cat "$memo_file" >/dev/null # into the page cache, for ours and the peer alike
  wc_start=$(date +%s%N)
  wc -l <"$memo_file" >/dev/null
  wc_ms=$((($(date +%s%N) - wc_start) / 1000000))
  declare -A memo=()
  while read -r name value; do
    memo[$name]=$value
  done < <(KESTREL_BENCH_FILE=$memo_file bench_counters "$BENCH_BIN/bench_memo" 'BM_MemoLines')
  awk -v ours="${memo[first_count_ms]}" -v peer="$wc_ms" -v lines="${memo[lines]}" 'BEGIN {
    printf "  Lines.Count, first call  %8.0f ms   wc -l %8.0f ms   ratio %5.2f  (%d lines)\n",
      ours, peer, (peer > 0) ? ours / peer : 0, lines }'
  printf "  Lines.Count, second call %8.1f us\n" "${memo[second_count_us]}"
  printf "  Lines[i] after the count: random i %8.1f us, i near the end %8.1f us, line 0 %8.1f us\n" \
    "${memo[random_line_us]}" "${memo[near_end_line_us]}" "${memo[first_line_after_end_us]}"
fi
