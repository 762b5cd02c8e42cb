#!/usr/bin/env bash
# Times shardix-cli against the standard tools on one file of random bytes, the
# page cache warm, each pair run alternately. Prints, per operation, the median
# wall time of each side, the ratio ours / peer, and the peak resident memory.
#
#   bench/run.sh [SIZE_MIB] [RUNS]        (defaults: 1024 MiB, 7 runs)
#   CLI=path/to/shardix-cli BENCH_DIR=/somewhere bench/run.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
size_mib=${1:-1024}
runs=${2:-7}
cli=${CLI:-$here/../build/shardix-cli}
[[ -x $cli ]] || { echo "build shardix-cli first (bash scripts/setup.sh)" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
work=$(mktemp -d "${BENCH_DIR:-/tmp}/shardix-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "Preparing ${size_mib} MiB of random bytes in $work ..."
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > src
size=$(stat -c %s src)
keep=$((size * 2 / 5))
head -c "$keep" src > prefix
cat src prefix > /dev/null # warm the page cache

# run LABEL COMMAND...: one timed run; appends "seconds kib" to LABEL.times.
run() {
    local label=$1; shift
    sync
    local t0=$EPOCHREALTIME
    /usr/bin/time -v -o time.out "$@" > /dev/null
    local t1=$EPOCHREALTIME
    local rss
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.out)
    awk -v a="$t0" -v b="$t1" -v r="$rss" 'BEGIN {printf "%.6f %s\n", b - a, r}' >> "$label.times"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
maxrss() { awk '$2 > m {m = $2} END {print m}' "$1.times"; }

parts=()
for k in $(seq 1 10); do parts+=("seg$k"); done
split -n 10 src seg_peer. # segments to assemble from, made once
"$cli" segment --force src seg 10

for ((i = 1; i <= runs; i++)); do
    echo "round $i of $runs"
    # Segment into 10: ours, then split.
    rm -f out*; run seg_ours "$cli" segment --force src out 10
    rm -f out*; run seg_peer split -n 10 src out
    # Assemble 10 pieces: ours, then cat.
    rm -f joined; run asm_ours "$cli" assemble --force joined "${parts[@]}"
    rm -f joined; run asm_peer sh -c 'cat "$@" > joined' sh "${parts[@]}"
    # Append to a 40% prefix: ours, then tail.
    cp prefix target; run app_ours "$cli" append target src
    cmp -s target src || { echo "append produced a wrong file" >&2; exit 1; }
    cp prefix target; run app_peer sh -c 'tail -c +$(($1 + 1)) src >> target' sh "$keep"
    cmp -s target src || { echo "tail produced a wrong file" >&2; exit 1; }
done

echo
echo "File: $size bytes, $runs runs each, median wall time"
printf '%-34s %10s %10s %8s %14s %14s\n' operation "ours (s)" "peer (s)" ratio "ours max RSS" "peer max RSS"
for op in "seg:segment into 10 vs split -n 10" "asm:assemble 10 vs cat" "app:append 60% vs tail -c +K >>"; do
    key=${op%%:*} name=${op#*:}
    ours=$(cut -d' ' -f1 "${key}_ours.times" | median)
    peer=$(cut -d' ' -f1 "${key}_peer.times" | median)
    printf '%-34s %10.3f %10.3f %8.2f %11s KiB %11s KiB\n' "$name" "$ours" "$peer" \
        "$(awk -v a="$ours" -v b="$peer" 'BEGIN {print a / b}')" "$(maxrss "${key}_ours")" "$(maxrss "${key}_peer")"
done
