# Editor figures (a section of bench/compare.sh): one keystroke on a 4 GiB text near its start, in
# its middle (reached by an estimated jump, the count not run) and at its end, from the key's
# message to the repainted window, beside the same keystroke on a 64 KiB text; then the peak
# memory after 100,000 typed characters against the unedited figure. The 4 GiB text is generated
# into a temporary folder and deleted after.

if [[ -x $BENCH_BIN/bench_editor ]]; then
  editor_dir=$(mktemp -d "$BENCH_DIR/editor.XXXXXX")
  "$KXTOOL" generate "$editor_dir/editor-4g.txt" --size $((4 << 30)) >/dev/null
  echo "  one keystroke, mean over 200 (limit 1 ms each, repaint included; the peer: a 64 KiB text)"
  KESTREL_BENCH_FILE=$editor_dir/editor-4g.txt "$BENCH_BIN/bench_editor" \
    --benchmark_filter='BM_Keystroke' --benchmark_format=json 2>/dev/null | awk '
    function flush() {
      if (name == "") return
      split(name, a, "/"); size = a[2]; place = a[3]; key = a[4]
      sub(/.*:/, "", size); sub(/.*:/, "", place); sub(/.*:/, "", key)
      t[size, place, key] = time; w[size, place, key] = worst; name = ""
    }
    /"name":/ { flush(); name = $2; gsub(/[",]/, "", name) }
    /"real_time":/ { time = $2; sub(/,$/, "", time) }
    /"worst_ms":/ { worst = $2; sub(/,$/, "", worst) }
    END {
      flush()
      split("near the start,in the middle,at the end", places, ",")
      split("a character,Enter,Backspace,word delete,undo", keys, ",")
      for (p = 0; p < 3; p++) for (k = 0; k < 5; k++) {
        big = t["4294967296", p, k] + 0; small = t["65536", p, k] + 0
        printf "  %-12s %-15s %8.1f us (worst %6.3f ms)   64 KiB %8.1f us   ratio %5.2f  (limit 1000 us: %s)\n",
          keys[k + 1], places[p + 1], big, w["4294967296", p, k], small, (small > 0) ? big / small : 0,
          (big <= 1000) ? "ok" : "OVER"
      }
    }'
  declare -A typing=()
  while read -r name value; do
    typing[$name]=$value
  done < <(KESTREL_BENCH_FILE=$editor_dir/editor-4g.txt bench_counters "$BENCH_BIN/bench_editor" \
    'BM_TypingMemory')
  within_limit "peak memory growth after 100,000 characters" "${typing[growth_MB]}" MB 32
  printf '    (unedited peak %.1f MB, edited %.1f MB; open %.2f ms, jump to the middle %.2f ms)\n' \
    "${typing[unedited_peak_MB]}" "${typing[edited_peak_MB]}" "${typing[open_ms]}" "${typing[jump_ms]}"
  rm -rf "$editor_dir"
else
  echo "  (no bench_editor: configure with -DKESTREL_BENCH=ON for the editor's figures)"
fi
