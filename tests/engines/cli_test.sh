#!/usr/bin/env bash
# shardix-cli against split, cat and tail on random files: byte for byte.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

for sizecount in 2:2 10:3 10:10 1000:7 4000000:2 8000001:3 9000000:999 12345678:16; do
    size=${sizecount%%:*} n=${sizecount##*:}
    head -c "$size" /dev/urandom > src
    rm -f part* ref.*
    "$cli" segment src part "$n" || fail "segment $size into $n"
    split -n "$n" -d -a 3 src ref.
    for ((k = 1; k <= n; k++)); do
        cmp -s "part$k" "$(printf 'ref.%03d' $((k - 1)))" || fail "segment $k of $size/$n differs from split"
    done
    [[ ! -e "part$((n + 1))" ]] || fail "an extra segment was written"

    parts=()
    for ((k = 1; k <= n; k++)); do parts+=("part$k"); done
    rm -f joined
    "$cli" assemble joined "${parts[@]}" || fail "assemble $size/$n"
    cat "${parts[@]}" | cmp -s - joined || fail "assembled file differs from cat"

    # Append to a 40% prefix, from the segments and from the whole file.
    keep=$((size * 2 / 5))
    head -c "$keep" src > t1
    cp t1 t2
    "$cli" append t1 "${parts[@]}" || fail "append from segments"
    tail -c +$((keep + 1)) src >> t2
    cmp -s t1 t2 || fail "append differs from tail"
    cmp -s t1 src || fail "appended file is not the source"
done

# Refusals and exit statuses.
echo abc > one
echo def > two
"$cli" assemble one one two 2>/dev/null && fail "replaced an existing file without --force"
"$cli" assemble --force one one two 2>err && fail "assembled into one of its inputs"
grep -q "is one of the files to be assembled" err || fail "no reason given for the refusal"
"$cli" segment one part 2 2>/dev/null && fail "replaced an existing first segment without --force"
"$cli" segment --force one part 1 2>/dev/null && fail "accepted a count of 1"
"$cli" segment --force one part 12345 2>/dev/null && fail "accepted a count of five digits"
"$cli" segment --force one part 9 2>err && fail "cut 4 bytes into 9"
grep -q "Spock" err || fail "wrong message for a count larger than the file"
"$cli" append one missing 2>err && fail "appended from a missing file"
grep -q "does not exist" err || fail "wrong message for a missing source"
"$cli" --help | grep -q "shardix-cli segment" || fail "no usage"
rc=0; "$cli" frobnicate 2>/dev/null || rc=$?
[[ $rc -eq 2 ]] || fail "unknown command not a usage error"
echo "cli: all checks passed"
