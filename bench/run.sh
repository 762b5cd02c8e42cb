#!/usr/bin/env bash
# Times shardix-cli against the standard tools on one file of random bytes, the
# page cache warm; segmenting with a manifest also against segmenting without.
# Each round runs every pair once, in alternating order, and every output is
# removed before each timed run of either side, so that both write fresh files.
# Prints, per operation, the median wall time of each side, the median and the
# worst of the rounds' ratios ours / peer, and the peak resident memory.
#
#   bench/run.sh [SIZE_MIB] [ROUNDS]        (defaults: 1024 MiB, 9 rounds)
#   CLI=path/to/shardix-cli BENCH_DIR=/somewhere bench/run.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
size_mib=${1:-1024}
rounds=${2:-9}
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
parts=()
for k in $(seq 1 10); do parts+=("seg$k"); done
"$cli" segment --manifest src seg 10 # the pieces to assemble from and to verify, made once
cat src prefix "${parts[@]}" seg.sha256 > /dev/null # warm the page cache

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

# Each side of an operation: removes the outputs, prepares the input, runs.
seg_ours() { rm -f out*; run seg_ours "$cli" segment src out 10; }
seg_peer() { rm -f out*; run seg_peer split -n 10 src out; }
asm_ours() { rm -f joined; run asm_ours "$cli" assemble --no-manifest joined "${parts[@]}"; }
asm_peer() { rm -f joined; run asm_peer sh -c 'cat "$@" > joined' sh "${parts[@]}"; }
man_ours() { rm -f out*; run man_ours "$cli" segment --manifest src out 10; }
man_peer() { rm -f out*; run man_peer sh -c 'split -n 10 src out && sha256sum out?? src > out.sha256'; }
self_ours() { rm -f out*; run self_ours "$cli" segment --manifest src out 10; }
self_peer() { rm -f out*; run self_peer "$cli" segment src out 10; }
ver_ours() { run ver_ours "$cli" verify seg.sha256; }
ver_peer() { run ver_peer sha256sum -c seg.sha256; }
app_ours() {
    rm -f target; cp prefix target
    run app_ours "$cli" append --no-manifest target src
    cmp -s target src || { echo "append produced a wrong file" >&2; exit 1; }
}
app_peer() {
    rm -f target; cp prefix target
    # shellcheck disable=SC2016 # the inner sh expands $1, the length kept
    run app_peer sh -c 'tail -c +$(($1 + 1)) src >> target' sh "$keep"
    cmp -s target src || { echo "tail produced a wrong file" >&2; exit 1; }
}

for ((i = 1; i <= rounds; i++)); do
    echo "round $i of $rounds"
    for op in seg asm app man self ver; do
        if ((i % 2)); then "${op}_ours"; "${op}_peer"; else "${op}_peer"; "${op}_ours"; fi
    done
done
rm -f out* joined target

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
maxrss() { awk '$2 > m {m = $2} END {print m}' "$1.times"; }

echo
echo "File: $size bytes, $rounds rounds; times are medians, ratios ours / peer per round"
printf '%-44s %9s %9s %8s %8s %12s %12s\n' operation "ours (s)" "peer (s)" median worst \
    "ours RSS" "peer RSS"
for op in "seg:segment into 10 vs split -n 10" "asm:assemble 10 vs cat" \
    "app:append 60% vs tail -c +K >>" "man:segment --manifest vs split + sha256sum" \
    "self:segment --manifest vs segment" "ver:verify vs sha256sum -c"; do
    key=${op%%:*} name=${op#*:}
    ours=$(cut -d' ' -f1 "${key}_ours.times" | median)
    peer=$(cut -d' ' -f1 "${key}_peer.times" | median)
    paste -d' ' "${key}_ours.times" "${key}_peer.times" | awk '{print $1 / $3}' > "$key.ratios"
    printf '%-44s %9.3f %9.3f %8.2f %8.2f %8s KiB %8s KiB\n' "$name" "$ours" "$peer" \
        "$(median < "$key.ratios")" "$(sort -g "$key.ratios" | tail -n 1)" \
        "$(maxrss "${key}_ours")" "$(maxrss "${key}_peer")"
done
