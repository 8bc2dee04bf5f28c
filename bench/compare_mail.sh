# Mail figures (a section of bench/compare.sh): uuencoding a 100 MB file into a text container
# and uudecoding it out of one (kxtool uuencode / uudecode), each beside uuencode / uudecode on
# the same file in the same run. KESTREL_MAIL_SIZE sets the file's size (default 100,000,000).

mail_size=${KESTREL_MAIL_SIZE:-100000000}
data=$BENCH_DIR/mail-random.bin
if [[ ! -f $data || $(stat -c %s "$data") -ne $mail_size ]]; then
  head -c "$mail_size" /dev/urandom >"$data"
fi
work=$BENCH_DIR/mail-work
rm -rf "$work"
mkdir -p "$work/ours" "$work/theirs"
cat "$data" >/dev/null
label_mb=$((mail_size / 1000000))

# Encoding: theirs to standard output, ours into an edit stream, then saved (flushed to disk).
best_of 3 bash -c 'exec uuencode "$1" data.bin >"$2"' _ "$data" "$work/theirs.uu"
peer_s=$SECONDS_TAKEN
best_of 3 bash -c 'uuencode "$1" data.bin >"$2" && exec sync "$2"' _ "$data" "$work/synced.uu"
synced_s=$SECONDS_TAKEN
best_of 3 "$KXTOOL" uuencode "$data" --out "$work/ours.uu" --name data.bin
ours_s=$SECONDS_TAKEN ours_kb=$PEAK_KB
figure "uuencode $label_mb MB into a text container" "$ours_s" "$peer_s" "uuencode" 3
figure "  the same, the peer's file flushed too" "$ours_s" "$synced_s" "uuencode+sync"
printf '  %-46s %9d KB   %-14s %9d KB\n' "  peak memory" "$ours_kb" "file" $((mail_size >> 10))

# Decoding the same text (uuencode's), each into a fresh file.
best_of 3 bash -c 'rm -f "$2"; exec uudecode -o "$2" "$1"' _ "$work/theirs.uu" "$work/theirs/data.bin"
peer_s=$SECONDS_TAKEN
best_of 3 bash -c 'rm -f "$2/data.bin"; exec "$KXTOOL" uudecode "$1" --dir "$2"' _ "$work/theirs.uu" "$work/ours"
figure "uudecode $label_mb MB out of a text container" "$SECONDS_TAKEN" "$peer_s" "uudecode" 3
printf '  %-46s %9d KB   %-14s %9d KB\n' "  peak memory" "$PEAK_KB" "file" $((mail_size >> 10))
cmp -s "$data" "$work/ours/data.bin" || echo "  MISMATCH: the decoded file differs from the original" >&2
rm -rf "$work"
