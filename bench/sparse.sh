#!/usr/bin/env bash
# Times shardix-cli on a sparse file: SIZE_GIB long, DATA_MIB of random data in
# extents of 128 KiB scattered over it (one at a random place in every stretch
# of the same length), the rest holes. Segment, assemble and join are paired
# with `cp --sparse=always` of the same file, and segment and assemble also
# with split and cat, which write every zero. Segment with a manifest and
# recovery files is paired with the same run on a dense file of the same
# bytes, and segment with a manifest with the SHA-256 of as many zeros, the
# floor of a manifest's time. Each round runs every pair once, in alternating
# order, and every output is removed before each timed run of either side.
# Prints the medians and the ratios ours / peer (median and worst), then the
# room that the outputs of one more run of each of ours take on the disk
# against the data they hold. Every output is compared with its source.
#
#   bench/sparse.sh [SIZE_GIB] [DATA_MIB] [ROUNDS] [SLOW_ROUNDS]   (defaults: 16 256 5 1)
# SLOW_ROUNDS are those of the pairs with split and cat, with checksums and
# with the dense file, each of which takes minutes at 16 GiB. The file is cut
# into 4 pieces: at 16 GiB they start at block boundaries, as the source's
# extents do.
#   CLI=path/to/shardix-cli BENCH_DIR=/somewhere bench/sparse.sh
# The dense file and its pieces take twice SIZE_GIB on the disk.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/paired.sh
source "$here/paired.sh"
size_gib=${1:-16}
data_mib=${2:-256}
rounds=${3:-5}
slow_rounds=${4:-1}
cli=$(realpath "${CLI:-$here/../build/shardix-cli}")
[[ -x $cli ]] || { echo "build shardix-cli first (bash scripts/setup.sh)" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
work=$(mktemp -d "${BENCH_DIR:-/tmp}/shardix-sparse.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

size=$((size_gib << 30))
extent=$((128 << 10))
extents=$((data_mib * 1024 * 1024 / extent))
stride=$((size / extents))
echo "Preparing a sparse file of $size bytes with $extents extents of $extent bytes in $work ..."
truncate -s "$size" src
awk -v n="$extents" -v stride="$stride" -v e="$extent" 'BEGIN {
        srand(29)
        for (k = 0; k < n; k++) printf "%.0f\n", k * stride + int(rand() * int((stride - e) / 4096)) * 4096
    }' | while read -r at; do
    dd if=/dev/urandom of=src bs="$extent" count=1 seek="$at" oflag=seek_bytes conv=notrunc \
        status=none
done
echo "It takes $(($(stat -c '%b * %B' src))) bytes on the disk"
if ((slow_rounds > 0)); then
    echo "A dense copy of it ..."
    cp --sparse=never src dense
fi
pieces=()
for k in $(seq 1 4); do pieces+=("seg$k"); done
"$cli" segment src seg 4 # the pieces to assemble and join, made once

# same SOURCE FILE...: the files joined in order hold the bytes of SOURCE.
same() {
    local source=$1; shift
    cat "$@" | cmp -s - "$source" || { echo "wrong bytes in $*" >&2; exit 1; }
}
# room FILE...: the bytes the files take on the disk (their blocks of data
# and those in which the file system maps them), and, after a slash, those of
# their extents of data alone (FIEMAP, by filefrag -v).
room() {
    local blocks extents
    sync
    blocks=$(stat -c '%b %B' "$@" | awk '{sum += $1 * $2} END {print sum + 0}')
    extents=$(filefrag -v "$@" | awk '/^File size of .* blocks of [0-9]+ bytes\)$/ {bs = $(NF - 1)}
        /^ *[0-9]+:/ {n = split($0, f, ":"); sum += f[4] * bs} END {print sum + 0}')
    echo "$blocks / $extents"
}

# Every output of any pair goes before each timed run: the dense ones are large.
clear() { rm -f out* dout* joined copy; }
seg_ours() { clear; run seg_ours "$cli" segment src out 4; }
seg_peer() { clear; run seg_peer cp --sparse=always src copy; }
split_ours() { clear; run split_ours "$cli" segment src out 4; }
split_peer() { clear; run split_peer split -n 4 src out; }
asm_ours() { clear; run asm_ours "$cli" assemble --no-manifest joined "${pieces[@]}"; }
asm_peer() { clear; run asm_peer cp --sparse=always src copy; }
cat_ours() { clear; run cat_ours "$cli" assemble --no-manifest joined "${pieces[@]}"; }
cat_peer() { clear; run cat_peer sh -c 'cat "$@" > joined' sh "${pieces[@]}"; }
join_ours() { clear; run join_ours "$cli" join --output joined seg1; }
join_peer() { clear; run join_peer cp --sparse=always src copy; }
checked=(--manifest --recovery 1 --block-size 64M)
chk_ours() { clear; run chk_ours "$cli" segment "${checked[@]}" src out 4; }
chk_peer() { clear; run chk_peer "$cli" segment "${checked[@]}" dense dout 4; }
man_ours() { clear; run man_ours "$cli" segment --manifest src out 4; }
man_peer() {
    # shellcheck disable=SC2016 # the inner sh expands $1, the length
    run man_peer sh -c 'head -c "$1" /dev/zero | openssl dgst -sha256' sh "$size"
}

cat src "${pieces[@]}" > /dev/null # warm the page cache
play_rounds "$rounds" seg asm join
slow=()
if ((slow_rounds > 0)); then
    play_rounds "$slow_rounds" split cat chk man
    slow=("split:segment into 4 vs split -n 4" "cat:assemble 4 vs cat"
        "chk:segment ${checked[*]}: sparse vs dense" "man:segment --manifest vs SHA-256 of zeros")
fi

# One more run of each of ours, its outputs checked and measured.
rm -f out* dout* joined copy
"$cli" segment src out 4
outs=(out{1..4})
same src "${outs[@]}"
seg_room=$(room "${outs[@]}")
rm -f out*
"$cli" assemble --no-manifest joined "${pieces[@]}"
same src joined
asm_room=$(room joined)
rm -f joined
"$cli" join --output joined seg1
same src joined
join_room=$(room joined)
rm -f joined
cp --sparse=always src copy
copy_room=$(room copy)
src_room=$(room src)
rm -f copy
if ((slow_rounds > 0)); then
    "$cli" segment "${checked[@]}" src out 4
    same src "${outs[@]}"
    sha256sum -c --quiet out.sha256
fi
rm -f out* dense

report "$size" "$rounds (the last four: $slow_rounds)" \
    "seg:segment into 4 vs cp --sparse=always" "asm:assemble 4 vs cp --sparse=always" \
    "join:join vs cp --sparse=always" "${slow[@]}"
block=$(stat -f -c %S src)
echo
echo "Data $((extents * extent)) bytes in $extents extents; block $block. Room taken (bytes on the disk /"
echo "bytes of the extents of data), allowed: the data and a block a piece:"
echo "source:                $src_room"
echo "cp --sparse=always:    $copy_room"
echo "segment into 4 (ours): $seg_room (allowed $((extents * extent + 4 * block)))"
echo "assemble 4 (ours):     $asm_room (allowed $((extents * extent + block)))"
echo "join (ours):           $join_room (allowed $((extents * extent + block)))"
