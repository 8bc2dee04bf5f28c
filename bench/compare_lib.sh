# Helpers for the compare sections: timing, peak memory and the figure table.
# A section is a bench/compare_<name>.sh file sourced by compare.sh, with KXTOOL, BENCH_BIN,
# BENCH_SIZE and BENCH_DIR set.

# measure CMD...: runs the command once with its output discarded; sets SECONDS_TAKEN (wall
# seconds, 4 decimals) and PEAK_KB (maximum resident set size). Fails on a failing command
# unless ALLOW_STATUS lists its exit status.
measure() {
  local out status start end
  out=$(mktemp)
  set +e
  # The wall time from bash's clock (time's own is in hundredths of a second), the peak from time.
  start=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o "$out" "$@" >/dev/null 2>&1
  status=$?
  end=$EPOCHREALTIME
  set -e
  if [[ $status -ne 0 && " ${ALLOW_STATUS:-} " != *" $status "* ]]; then
    echo "command failed ($status): $*" >&2
    rm -f "$out"
    return 1
  fi
  read -r PEAK_KB < <(tail -n 1 "$out")
  SECONDS_TAKEN=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
  rm -f "$out"
}

# best_of N CMD...: the fastest of N runs (page cache warm after the first); sets SECONDS_TAKEN
# and PEAK_KB of that run.
best_of() {
  local n=$1 best="" best_kb=""
  shift
  for ((i = 0; i < n; i++)); do
    measure "$@"
    if [[ -z $best ]] || awk -v a="$SECONDS_TAKEN" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$SECONDS_TAKEN
      best_kb=$PEAK_KB
    fi
  done
  SECONDS_TAKEN=$best
  PEAK_KB=$best_kb
}

# figure LABEL OURS PEER PEER_NAME [LIMIT]: one line of the table, with the ratio ours/peer and,
# when LIMIT is given, whether the ratio is within it.
figure() {
  local label=$1 ours=$2 peer=$3 peer_name=$4 limit=${5:-}
  awk -v l="$label" -v o="$ours" -v p="$peer" -v n="$peer_name" -v lim="$limit" 'BEGIN {
    r = (p > 0) ? o / p : 0
    verdict = ""
    if (lim != "") verdict = (r <= lim) ? sprintf("  (limit %sx: ok)", lim) : sprintf("  (limit %sx: OVER)", lim)
    printf "  %-46s %9.3f s   %-14s %9.3f s   ratio %6.2f%s\n", l, o, n, p, r, verdict
  }'
}

# ensure_file NAME GENERATOR-ARGS...: makes $BENCH_DIR/NAME with `kxtool generate` once.
ensure_file() {
  local name=$1
  shift
  local path=$BENCH_DIR/$name
  if [[ ! -f $path ]]; then
    "$KXTOOL" generate "$path" "$@" >/dev/null
  fi
  echo "$path"
}

# figure_in UNIT LABEL OURS PEER PEER_NAME [LIMIT]: as figure, for values in UNIT (ms, us, KB...).
figure_in() {
  local unit=$1 label=$2 ours=$3 peer=$4 peer_name=$5 limit=${6:-}
  awk -v u="$unit" -v l="$label" -v o="$ours" -v p="$peer" -v n="$peer_name" -v lim="$limit" 'BEGIN {
    r = (p > 0) ? o / p : 0
    verdict = ""
    if (lim != "") verdict = (r <= lim) ? sprintf("  (limit %sx: ok)", lim) : sprintf("  (limit %sx: OVER)", lim)
    printf "  %-46s %9.3f %-2s  %-14s %9.3f %-2s  ratio %6.2f%s\n", l, o, u, n, p, u, r, verdict
  }'
}

# within_limit LABEL VALUE UNIT LIMIT: a figure without a peer, against an absolute limit.
within_limit() {
  awk -v l="$1" -v v="$2" -v u="$3" -v lim="$4" 'BEGIN {
    printf "  %-46s %9.3f %-2s  (limit %s %s: %s)\n", l, v, u, lim, u, (v <= lim) ? "ok" : "OVER" }'
}

# bench_counters PROGRAM FILTER: runs the microbenchmarks of PROGRAM matching FILTER (the
# environment passes through) and prints "NAME VALUE" for each counter of the first one.
bench_counters() {
  "$1" --benchmark_filter="$2" --benchmark_format=json 2>/dev/null | awk '
    /"benchmarks"/ { inside = 1 }
    inside && /^    }/ { exit }
    inside && /^      "[A-Za-z_0-9]+": -?[0-9.]+(e[-+]?[0-9]+)?,?$/ {
      name = $1; gsub(/[":]/, "", name); value = $2; sub(/,$/, "", value); print name, value }'
}
