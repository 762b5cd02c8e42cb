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
# shellcheck source=bench/paired.sh
source "$here/paired.sh"
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

play_rounds "$rounds" seg asm app man self ver
rm -f out* joined target

report "$size" "$rounds" "seg:segment into 10 vs split -n 10" "asm:assemble 10 vs cat" \
    "app:append 60% vs tail -c +K >>" "man:segment --manifest vs split + sha256sum" \
    "self:segment --manifest vs segment" "ver:verify vs sha256sum -c"
