#!/usr/bin/env bash
# Times shardix-cli against the standard tools on file systems that can share
# blocks between files (Btrfs, XFS with reflink), each made in an image file and
# mounted through a loop device of its own: assemble against cat, a cut by size
# against split -b and a cut into 10 against split -n, on one file of random
# bytes. The pieces to assemble are cut once by split -b, so that both sides
# join the same separate files. Each round runs every pair once, in alternating
# order, and every output is removed (and the file system synced) before each
# timed run of either side. Prints, per file system and operation, the median
# wall time of each side, the median and the worst of the rounds' ratios
# ours / peer, and the space of their own that each side's outputs take: the
# bytes of their extents that FIEMAP (filefrag -v) does not mark as shared,
# after one more run of each (on Btrfs also the exclusive bytes of ours as
# `btrfs filesystem du` counts them). Every output is compared with the source.
#
# Needs root (mount, losetup), mkfs.btrfs (btrfs-progs) and mkfs.xfs (xfsprogs);
# without root it says so and does nothing, a file system without its mkfs is
# skipped. It unmounts and detaches only what it made, also when it fails.
#
#   bench/loopfs.sh [SIZE_MIB] [ROUNDS] [PIECE]     (defaults: 1024 MiB, 9 rounds, 64M)
#   FILESYSTEMS="btrfs xfs ext4" CLI=path/to/shardix-cli BENCH_DIR=/somewhere bench/loopfs.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
size_mib=${1:-1024}
rounds=${2:-9}
piece=${3:-64M}
filesystems=${FILESYSTEMS:-btrfs xfs}
cli=$(realpath "${CLI:-$here/../build/shardix-cli}")
if ((EUID != 0)); then
    echo "bench/loopfs.sh: skipped: mounting file system images needs root" >&2
    exit 0
fi
[[ -x $cli ]] || { echo "build shardix-cli first (bash scripts/setup.sh)" >&2; exit 1; }

work=$(mktemp -d "${BENCH_DIR:-/tmp}/shardix-loopfs.XXXXXX")
mounted=() # mount points this script mounted
devices=() # loop devices this script attached
clean_up() {
    cd /
    local m d
    for m in "${mounted[@]}"; do umount "$m" || umount -l "$m" || true; done
    for d in "${devices[@]}"; do losetup -d "$d" || true; done
    rm -rf "$work"
}
trap clean_up EXIT
trap 'exit 130' INT TERM

# mkfs_for FS IMAGE: makes the file system; fails when its tool is missing.
mkfs_for() {
    case $1 in
        btrfs) command -v mkfs.btrfs > /dev/null && mkfs.btrfs -q -f "$2" > /dev/null ;;
        xfs) command -v mkfs.xfs > /dev/null && mkfs.xfs -q -f -m reflink=1 "$2" ;;
        ext4) command -v mkfs.ext4 > /dev/null && mkfs.ext4 -q -F "$2" ;;
        *) echo "unknown file system $1" >&2; return 1 ;;
    esac
}

# run LABEL COMMAND...: one timed run, after a sync; appends the seconds to LABEL.times.
run() {
    local label=$1; shift
    sync
    local t0=$EPOCHREALTIME
    "$@" > /dev/null
    local t1=$EPOCHREALTIME
    awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.6f\n", b - a}' >> "$results/$label.times"
}

# same_as_source LABEL FILE...: the files joined in order are the source, byte for byte.
same_as_source() {
    local label=$1; shift
    cat "$@" | cmp -s - src || { echo "$fs: $label wrote wrong bytes" >&2; exit 1; }
}
# outputs BASE COUNT: the names BASE1 .. BASECOUNT, into the array `names`.
outputs() { names=(); local k; for ((k = 1; k <= $2; k++)); do names+=("$1$k"); done; }

# Each side of an operation: its command, and a timed run with the outputs removed first.
asm_ours_run() { "$cli" assemble --no-manifest joined "${pieces[@]}"; }
asm_peer_run() { sh -c 'cat "$@" > joined' sh "${pieces[@]}"; }
asm_clear() { rm -f joined; }
asm_check() { same_as_source assemble joined; }
size_ours_run() { "$cli" segment --size "$piece" src out; }
size_peer_run() { split -b "$piece" src out; }
size_clear() { rm -f out*; }
size_check() { outputs out "${#pieces[@]}"; same_as_source "segment --size" "${names[@]}"; }
ten_ours_run() { "$cli" segment src out 10; }
ten_peer_run() { split -n 10 src out; }
ten_clear() { rm -f out*; }
ten_check() { outputs out 10; same_as_source "segment into 10" "${names[@]}"; }
timed() { "${1}_clear"; run "${1}_$2" "${1}_${2}_run"; }

# unshared FILE...: bytes of the files' extents that FIEMAP does not mark as
# shared with another file: the space they take of their own.
unshared() {
    filefrag -v "$@" | awk '/^File size of .* blocks of [0-9]+ bytes\)$/ {bs = $(NF - 1)}
        /^ *[0-9]+:/ {n = split($0, f, ":"); if (f[n] !~ /shared/) sum += f[4] * bs}
        END {print sum + 0}'
}

# added OP SIDE: the space of their own that the outputs of one more run take.
added() {
    "${1}_clear"
    "${1}_${2}_run" > /dev/null
    sync
    if [[ $1 == asm ]]; then unshared joined; else unshared out*; fi
}

# exclusive FILE...: bytes of the files that no other file shares, as Btrfs counts them.
exclusive() { btrfs filesystem du --raw "$@" | awk 'NR > 1 {sum += $2} END {print sum + 0}'; }

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
mib() { awk -v b="$1" 'BEGIN {printf "%.1f", b / 1048576}'; }

report=()
for fs in $filesystems; do
    image=$work/$fs.img
    mnt=$work/$fs
    results=$work/$fs.results
    mkdir -p "$mnt" "$results"
    # The source, the pieces, and the outputs of one side at a time, with room to spare.
    truncate -s "$((size_mib * 5 + 1024))M" "$image"
    if ! mkfs_for "$fs" "$image"; then
        echo "$fs: skipped: cannot make the file system (is its mkfs installed?)" >&2
        continue
    fi
    dev=$(losetup --find --show "$image")
    devices+=("$dev")
    mount "$dev" "$mnt"
    mounted+=("$mnt")
    cd "$mnt"
    echo "$fs on $dev: preparing ${size_mib} MiB of random bytes ..."
    head -c "$((size_mib * 1024 * 1024))" /dev/urandom > src
    split -b "$piece" -d -a 3 src piece.
    pieces=(piece.*)
    cat src "${pieces[@]}" > /dev/null # warm the page cache

    for ((i = 1; i <= rounds; i++)); do
        echo "$fs: round $i of $rounds"
        for op in asm size ten; do
            if ((i % 2)); then timed "$op" ours; "${op}_check"; timed "$op" peer
            else timed "$op" peer; timed "$op" ours; "${op}_check"; fi
        done
    done
    for op in asm size ten; do
        for side in ours peer; do
            added "$op" "$side" > "$results/${op}_$side.added"
        done
    done
    if [[ $fs == btrfs ]]; then
        size_clear; size_ours_run; asm_clear; asm_ours_run
        outputs out "${#pieces[@]}"
        echo "btrfs filesystem du: exclusive bytes of our assembled file $(exclusive joined)," \
            "of our pieces cut by size $(exclusive "${names[@]}")"
    fi
    rm -f out* joined

    for op in "asm:assemble ${#pieces[@]} pieces vs cat" "size:segment --size $piece vs split -b $piece" \
        "ten:segment into 10 vs split -n 10"; do
        key=${op%%:*} name=${op#*:}
        ours=$(median < "$results/${key}_ours.times")
        peer=$(median < "$results/${key}_peer.times")
        paste -d' ' "$results/${key}_ours.times" "$results/${key}_peer.times" |
            awk '{print $1 / $2}' > "$results/$key.ratios"
        report+=("$(printf '%-6s %-38s %9.3f %9.3f %8.3f %8.3f %11s %11s' "$fs" "$name" "$ours" \
            "$peer" "$(median < "$results/$key.ratios")" "$(sort -g "$results/$key.ratios" | tail -n 1)" \
            "$(mib "$(cat "$results/${key}_ours.added")")" "$(mib "$(cat "$results/${key}_peer.added")")")")
    done
    cd "$work"
    umount "$mnt"
    unset 'mounted[-1]'
    losetup -d "$dev"
    unset 'devices[-1]'
    rm -f "$image"
done

echo
echo "File: $size_mib MiB, $rounds rounds; times are medians, ratios ours / peer per round;"
echo "space: MiB of the outputs of one run that no other file shares (FIEMAP)"
printf '%-6s %-38s %9s %9s %8s %8s %11s %11s\n' fs operation "ours (s)" "peer (s)" median worst \
    "ours space" "peer space"
printf '%s\n' "${report[@]}"
