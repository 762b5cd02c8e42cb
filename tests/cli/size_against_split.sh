#!/usr/bin/env bash
# Pieces by size, as split -b cuts them, sizes around the pieces' edges; an
# empty file gives one empty piece (split writes none); more than 999 are refused.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

for sizebytes in 1000:1000 1000:999 1000:1001 999:1 4194305:1M 4194304:1M 4194303:1MiB \
    2000001:1MB 5:1K 0:7; do
    size=${sizebytes%%:*} bytes=${sizebytes##*:}
    head -c "$size" /dev/urandom > src
    rm -f part* ref.*
    "$cli" segment --size "$bytes" src part || fail "segment $size by $bytes"
    split -b "$bytes" -d -a 3 src ref.
    n=$(find . -name 'ref.*' | wc -l)
    for ((k = 1; k <= n; k++)); do
        cmp -s "part$k" "$(printf 'ref.%03d' $((k - 1)))" || fail "piece $k of $size by $bytes differs from split -b"
    done
    ((n > 0)) || { [[ -f part1 && ! -s part1 ]] || fail "no empty piece for an empty file"; n=1; }
    [[ ! -e "part$((n + 1))" ]] || fail "an extra piece for $size by $bytes"
done

head -c 6000 /dev/urandom > whole
"$cli" segment --force --size 1 whole far 2>err && fail "cut 6000 bytes into 6000 pieces"
{ grep -q "at most 999" err && [[ ! -e far1 ]]; } || fail "too many pieces: no reason, or a piece written"
passed
