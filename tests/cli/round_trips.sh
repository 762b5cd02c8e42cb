#!/usr/bin/env bash
# Cut into COUNT pieces, byte for byte as split -n, assembled as cat joins them,
# and appended to a prefix as tail completes it, for sizes around the copy's
# 4,000,000-byte slices and counts up to the largest.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

for sizecount in 2:2 10:3 10:10 1000:7 4000000:2 8000001:3 9000000:999 12345678:16; do
    size=${sizecount%%:*} n=${sizecount##*:}
    head -c "$size" /dev/urandom > src
    rm -f part* ref.*
    "$cli" segment src part "$n" || fail "segment $size into $n"
    split -n "$n" -d -a 3 src ref.
    for ((k = 1; k <= n; k++)); do
        cmp -s "part$k" "$(printf 'ref.%03d' $((k - 1)))" || fail "piece $k of $size/$n differs from split"
    done
    [[ ! -e "part$((n + 1))" ]] || fail "an extra piece was written"

    parts=()
    for ((k = 1; k <= n; k++)); do parts+=("part$k"); done
    rm -f joined
    "$cli" assemble joined "${parts[@]}" || fail "assemble $size/$n"
    cat "${parts[@]}" | cmp -s - joined || fail "assembled file differs from cat"

    # Append to a 40% prefix, from the pieces and from the whole file.
    keep=$((size * 2 / 5))
    head -c "$keep" src > t1
    cp t1 t2
    "$cli" append t1 "${parts[@]}" || fail "append from pieces"
    tail -c +$((keep + 1)) src >> t2
    cmp -s t1 t2 || fail "append differs from tail"
    cmp -s t1 src || fail "appended file is not the source"
done
passed
