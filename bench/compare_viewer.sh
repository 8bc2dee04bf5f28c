# Text viewer figures (a section of bench/compare.sh): opening an 8 GiB file with its first
# screen and going to its end, against head and tail; the line count run to completion in idle
# time against `wc -l`; then the microbenchmarks of one idle step and of a 50 MB single line.

huge=$(ensure_file viewer-8g.txt --size $((8 << 30)))
lines=$(ensure_file layout-lines.txt --size "$BENCH_SIZE")

# fastest_ms N CMD...: the fastest wall time of N runs in milliseconds (process start included,
# as for the peer), output discarded; sets MS_TAKEN.
fastest_ms() {
  local n=$1 best="" t0 t1 ms
  shift
  for ((i = 0; i < n; i++)); do
    t0=$EPOCHREALTIME
    "$@" >/dev/null 2>&1
    t1=$EPOCHREALTIME
    ms=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", (b - a) * 1000 }')
    if [[ -z $best ]] || awk -v a="$ms" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$ms
    fi
  done
  MS_TAKEN=$best
}

# ms_figure LABEL OURS PEER PEER_NAME LIMIT_MS OURS_KB PEER_KB: a line of times in ms with the
# ratio, the absolute limit, and the peak memory of both (limit 32 MB for ours).
ms_figure() {
  awk -v l="$1" -v o="$2" -v p="$3" -v n="$4" -v lim="$5" -v okb="$6" -v pkb="$7" 'BEGIN {
    r = (p > 0) ? o / p : 0
    printf "  %-40s %8.2f ms   %-12s %8.2f ms   ratio %5.2f  (limit %s ms: %s)\n", l, o, n, p, r, lim, (o <= lim) ? "ok" : "OVER"
    printf "  %-40s %8d KB   %-12s %8d KB   (limit 32768 KB: %s)\n", "  peak memory", okb, n, pkb, (okb <= 32768) ? "ok" : "OVER"
  }'
}

size_gib=$(awk -v s="$(stat -c %s "$huge")" 'BEGIN { printf "%.0f", s / 1073741824 }')
# The pages the commands read come from the page cache, for ours and the peers alike.
head -c $((64 << 20)) "$huge" >/dev/null
tail -c $((64 << 20)) "$huge" >/dev/null

fastest_ms 20 head -n 50 "$huge"
head_ms=$MS_TAKEN
measure head -n 50 "$huge"
head_kb=$PEAK_KB
fastest_ms 20 "$KXTOOL" view "$huge" --rows 50
view_ms=$MS_TAKEN
measure "$KXTOOL" view "$huge" --rows 50
ms_figure "open $size_gib GiB, first screen (kxtool view)" "$view_ms" "$head_ms" "head -n 50" 10 "$PEAK_KB" "$head_kb"

fastest_ms 20 tail -n 50 "$huge"
tail_ms=$MS_TAKEN
measure tail -n 50 "$huge"
tail_kb=$PEAK_KB
fastest_ms 20 "$KXTOOL" view "$huge" --rows 50 --end
end_ms=$MS_TAKEN
measure "$KXTOOL" view "$huge" --rows 50 --end
ms_figure "open $size_gib GiB, go to its end (view --end)" "$end_ms" "$tail_ms" "tail -n 50" 10 "$PEAK_KB" "$tail_kb"

# The background count run to completion through the idle handler, not wrapped.
cat "$lines" >/dev/null
best_of 3 wc -l "$lines"
wc_s=$SECONDS_TAKEN
best_of 3 "$KXTOOL" view "$lines" --rows 50 --wrap none --exact
figure "count $((BENCH_SIZE >> 20)) MiB in idle time (view --exact)" "$SECONDS_TAKEN" "$wc_s" "wc -l" 3
echo "    peak memory of the count: $PEAK_KB KB"

if [[ -x $BENCH_BIN/bench_viewer ]]; then
  echo "  microbenchmarks (limits: open and end 10 ms and 32 MB heap, idle step 1 ms, every step"
  echo "  over the 50 MB line 200 ms). OpenFirstScreen and GotoEnd/0 time the viewer's own work;"
  echo "  OpenAndPaint and GotoEnd/1 add the headless platform's window and its paint into pixels"
  "$BENCH_BIN/bench_viewer" --benchmark_filter=-BM_LineNumbers 2>/dev/null |
    awk '/^BM_/ { line = sprintf("    %-44s %10s %s", $1, $2, $3); for (i = 4; i <= NF; i++) if ($i ~ /=/) line = line "  " $i; print line }'
fi
