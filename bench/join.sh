#!/usr/bin/env bash
# Times shardix-cli join against cat on one file of random bytes cut by split
# into 10 pieces (split's -n 10 -d names with a suffix: piece.00.bin ..), the page
# cache warm: without a checksum list against cat alone, with an .sfv file
# against cat followed by cksfv -f, with an md5sum list against cat followed by
# md5sum -c. Each set lies in a folder of its own with its one list. Each round
# runs every pair once, in alternating order, and the joined file is removed
# before each timed run of either side. Prints, per operation, the median wall
# time of each side, the median and the worst of the rounds' ratios ours / peer,
# and the peak resident memory.
#
#   bench/join.sh [SIZE_MIB] [ROUNDS]        (defaults: 1024 MiB, 5 rounds)
#   CLI=path/to/shardix-cli BENCH_DIR=/somewhere bench/join.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/paired.sh
source "$here/paired.sh"
size_mib=${1:-1024}
rounds=${2:-5}
cli=${CLI:-$here/../build/shardix-cli}
[[ -x $cli ]] || { echo "build shardix-cli first (bash scripts/setup.sh)" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
for tool in cksfv md5sum split; do
    command -v "$tool" > /dev/null || { echo "needs $tool" >&2; exit 1; }
done
work=$(mktemp -d "${BENCH_DIR:-/tmp}/shardix-join-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "Preparing ${size_mib} MiB of random bytes in $work ..."
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > src
size=$(stat -c %s src)
mkdir plain sfv md5
(cd plain && split -n 10 -d --additional-suffix=.bin ../src piece.)
for set in sfv md5; do ln plain/piece.* "$set/"; done
(cd sfv && cksfv piece.* > pieces.sfv)
(cd md5 && md5sum piece.* > pieces.md5)
rm src
cat plain/piece.* > /dev/null # warm the page cache

# Each side of an operation: removes the joined file, then runs.
plain_ours() { rm -f joined; run plain_ours "$cli" join --quiet --output joined plain/piece.04.bin; }
plain_peer() { rm -f joined; run plain_peer sh -c 'cat plain/piece.* > joined'; }
sfv_ours() { rm -f joined; run sfv_ours "$cli" join --quiet --output joined sfv/piece.04.bin; }
sfv_peer() {
    rm -f joined
    run sfv_peer sh -c 'cat sfv/piece.* > joined && cd sfv && cksfv -q -f pieces.sfv'
}
md5_ours() { rm -f joined; run md5_ours "$cli" join --quiet --output joined md5/piece.04.bin; }
md5_peer() {
    rm -f joined
    run md5_peer sh -c 'cat md5/piece.* > joined && cd md5 && md5sum --quiet -c pieces.md5'
}

play_rounds "$rounds" plain sfv md5
rm -f joined

report "$size" "$rounds" "plain:join vs cat" "sfv:join with .sfv vs cat + cksfv -f" \
    "md5:join with .md5 vs cat + md5sum -c"
