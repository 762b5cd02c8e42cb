#!/usr/bin/env bash
# Times the recovery engine (through tools/recovery-bench) against par2cmdline
# on one file of random bytes cut into 10 pieces, the page cache warm, with the
# same block size and number of recovery blocks on both sides: the block size
# our plan chooses for PERCENT, the count it gives. Each round runs both
# sides of each operation once, in alternating order; every output is removed
# (and the pieces restored) before each timed run of either side, each side's
# outputs just before its own run: this machine hands memory freed a few
# seconds before back to its host, and takes it back slowly.
#
#   create: recovery-bench create     vs  par2 create -s BLOCK -c COUNT
#   repair: recovery-bench repair     vs  par2 repair, one piece deleted, of
#           a set made by par2 create
#   verify: recovery-bench verify     vs  par2 verify, all pieces intact
#
# Prints, per operation, the median wall time of each side, the median and the
# worst of the rounds' ratios ours / peer, and the peak resident memory.
#
#   bench/recovery.sh [SIZE_MIB] [ROUNDS] [PERCENT]   (defaults: 256 MiB, 5 rounds, 10 %)
#   BENCH=path/to/recovery-bench KERNEL=gf-complete BLOCK=1048576 BENCH_DIR=/somewhere \
#       bench/recovery.sh
#   CLI=build/shardix-cli OPS=repair bench/recovery.sh 256 3
#   PEER=../shared/peers/par2-turbo CLI=build/shardix-cli OPS="segment repair verify" \
#       bench/recovery.sh 256 5
# KERNEL picks our multiply-add kernel (the fastest by default), BLOCK a block
# size other than the plan's. CLI runs our repair and verify through the tool
# (`shardix-cli repair` and `verify` of the index) instead of recovery-bench;
# our create stays recovery-bench's, the engine fed once, against par2 create
# of the same blocks. OPS names the operations to time (default: create repair
# verify). PEER is the program timed against ours (par2 by default; any
# with par2's command line). The operation "segment" (with CLI) times
# `shardix-cli segment --recovery` of the whole file into the 10 pieces, the
# cut included, against the peer's create of the same blocks over the pieces.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
size_mib=${1:-256}
rounds=${2:-5}
percent=${3:-10}
bench=${BENCH:-$here/../build/recovery-bench}
peer=${PEER:-par2}
kernel=()
[[ -n ${KERNEL:-} ]] && kernel=(--kernel "$KERNEL")
read -r -a ops <<< "${OPS:-create repair verify}"
checker=("$bench")
if [[ -n ${CLI:-} ]]; then
    [[ -x $CLI ]] || { echo "CLI=$CLI is not a program (cmake --build build --target shardix-cli)" >&2; exit 1; }
    [[ -z ${KERNEL:-} ]] || { echo "KERNEL is recovery-bench's: the tool takes the fastest" >&2; exit 1; }
    checker=("$CLI")
fi
[[ -x $bench ]] || { echo "build recovery-bench first (cmake --build build --target recovery-bench)" >&2; exit 1; }
command -v par2 > /dev/null || { echo "needs par2 (Debian package par2)" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
work=$(mktemp -d "${BENCH_DIR:-/tmp}/shardix-recovery-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "Preparing ${size_mib} MiB of random bytes in 10 pieces in $work ..."
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > src
split -n 10 -d src piece.
pieces=(piece.0*)
mkdir keep
cp "${pieces[@]}" keep/
if [[ " ${ops[*]} " == *" segment "* ]]; then
    [[ -n ${CLI:-} ]] || { echo "the operation segment needs CLI" >&2; exit 1; }
    mv src keep/src
else
    rm src
fi
plan=$("$bench" plan -r "$percent" -s "${BLOCK:-0}" "${pieces[@]}" | head -n 1)
block=$(awk '{print $3}' <<< "$plan" | tr -d ,)
count=$(awk '{print $7}' <<< "$plan")
echo "Plan: $plan"
# The set that both sides repair, made by par2.
par2 create -q -q -s"$block" -c"$count" set.par2 "${pieces[@]}" > /dev/null
mv set*.par2 keep/
cat keep/* > /dev/null # warm the page cache

# run LABEL COMMAND...: one timed run; appends "seconds kib" to LABEL.times.
run() {
    local label=$1; shift
    sync
    local t0=$EPOCHREALTIME
    /usr/bin/time -v -o time.out "$@" > /dev/null 2>&1 || { echo "$label failed: $*" >&2; cat time.out >&2; exit 1; }
    local t1=$EPOCHREALTIME
    local rss
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.out)
    awk -v a="$t0" -v b="$t1" -v r="$rss" 'BEGIN {printf "%.6f %s\n", b - a, r}' >> "$label.times"
}

# fresh: the pieces as made, nothing else.
fresh() { rm -f piece.* set*.par2; cp keep/piece.* .; }
# broken: the pieces and par2's set, one piece (the round's) deleted.
broken() { fresh; cp keep/set*.par2 .; rm "${pieces[$1]}"; }
check() { cmp -s "$1" "keep/$1" || { echo "$2 left a wrong $1" >&2; exit 1; }; }

create_ours() { fresh; run create_ours "$bench" create --quiet "${kernel[@]}" -s "$block" -r "$percent" set.par2 "${pieces[@]}"; }
peer_create() { fresh; run "$1" "$peer" create -q -q -s"$block" -c"$count" set.par2 "${pieces[@]}"; }
create_peer() { peer_create create_peer; }
# The cut: each side's outputs removed just before its own run (ours, the
# 1.1 GB of pieces and volumes p.*, are left until then: fresh keeps them),
# so that each side's writes take the memory its last outputs freed, as the
# peer's take that of its volumes; a first run of ours, untimed, leaves them.
cut=("${CLI:-}" segment --quiet --recovery "$percent" --block-size "$block" keep/src p. 10)
segment_ours() { rm -f p.*; run segment_ours "${cut[@]}"; }
segment_peer() { peer_create segment_peer; }
if [[ " ${ops[*]} " == *" segment "* ]]; then
    "${cut[@]}" > /dev/null
fi
repair_ours() { broken "$1"; run repair_ours "${checker[@]}" repair --quiet "${kernel[@]}" set.par2; check "${pieces[$1]}" ours; }
repair_peer() { broken "$1"; run repair_peer "$peer" repair -q -q set.par2; check "${pieces[$1]}" par2; }
verify_ours() { fresh; cp keep/set*.par2 .; run verify_ours "${checker[@]}" verify --quiet "${kernel[@]}" set.par2; }
verify_peer() { fresh; cp keep/set*.par2 .; run verify_peer "$peer" verify -q -q set.par2; }

for ((i = 1; i <= rounds; i++)); do
    echo "round $i of $rounds"
    lost=$(((i - 1) % 10))
    for op in "${ops[@]}"; do
        if ((i % 2)); then "${op}_ours" "$lost"; "${op}_peer" "$lost"
        else "${op}_peer" "$lost"; "${op}_ours" "$lost"; fi
    done
done
rm -f piece.* set*.par2 p.*

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
maxrss() { awk '$2 > m {m = $2} END {print m}' "$1.times"; }

echo
echo "${size_mib} MiB in 10 pieces, $percent %: $plan; kernel ${KERNEL:-fastest}; $rounds rounds;" \
    "repair and verify by ${checker[0]##*/}; peer ${peer##*/}"
echo "times are medians, ratios ours / peer per round"
printf '%-40s %9s %9s %8s %8s %12s %12s\n' operation "ours (s)" "peer (s)" median worst \
    "ours RSS" "peer RSS"
for op in "create:create" "segment:segment --recovery vs create" "repair:repair one lost piece" \
    "verify:verify, all intact"; do
    key=${op%%:*} name=${op#*:}
    [[ -f ${key}_ours.times ]] || continue
    ours=$(cut -d' ' -f1 "${key}_ours.times" | median)
    peer=$(cut -d' ' -f1 "${key}_peer.times" | median)
    paste -d' ' "${key}_ours.times" "${key}_peer.times" | awk '{print $1 / $3}' > "$key.ratios"
    printf '%-40s %9.3f %9.3f %8.3f %8.3f %8s KiB %8s KiB\n' "$name" "$ours" "$peer" \
        "$(median < "$key.ratios")" "$(sort -g "$key.ratios" | tail -n 1)" \
        "$(maxrss "${key}_ours")" "$(maxrss "${key}_peer")"
done
