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
"$cli" segment --force one part 9 2>err && fail "cut 4 bytes into 9"
grep -q "Spock" err || fail "wrong message for a count larger than the file"
"$cli" append one missing 2>err && fail "appended from a missing file"
grep -q '"missing": A file with the specified name does not exist' err || fail "missing source not named"
"$cli" --help | grep -q "shardix-cli segment" || fail "no usage"
"$cli" --version | grep -q "2\.3" || fail "no version"

head -c 6000 /dev/urandom > whole

# Usage errors: exit 2, and nothing is created.
usage() {
    local rc=0
    "$cli" "$@" 2>/dev/null || rc=$?
    [[ $rc -eq 2 ]] || fail "not a usage error (status $rc): $*"
}
usage
usage frobnicate
usage segment --force one cut 12345
for count in "1 2" 3x -1 abc ""; do usage segment one cut "$count"; done
usage segment one cut 3 extra
usage assemble --force --force fresh one two
usage append --force one two
usage assemble --bogus fresh one
usage assemble fresh
ls cut* fresh 2>/dev/null && fail "a usage error created files"
"$cli" segment one cut 03 && [[ -e cut3 && ! -e cut4 ]] || fail "03 is not 3"
"$cli" assemble -- -x one two && cmp -s ./-x <(cat one two) || fail "a name after -- is not a file"

# Nothing destroyed before the inputs are known; messages never land in an output.
echo precious > keep
"$cli" assemble --force keep one misspelled 2>/dev/null && fail "assembled from a missing input"
[[ $(cat keep) == precious ]] || fail "the target was emptied before its inputs were checked"
rc=0; "$cli" assemble out.bin one one misspelled 2>&- || rc=$?
[[ $rc -eq 1 && ! -s out.bin ]] || fail "standard error closed: status $rc, or text in the output"

# Beyond the file-size limit a write fails with a message; the process is not killed.
rc=0; (ulimit -f 8; exec "$cli" assemble --force big whole whole) 2>err || rc=$?
[[ $rc -eq 1 ]] && grep -q "largest size allowed" err || fail "file-size limit: status $rc"

# Pipes as outputs are refused at once, never waited on.
mkfifo fifo
for args in "assemble --force fifo one two" "segment --force one fif 3" "append fifo one"; do
    [[ $args == segment* ]] && mkfifo fif2
    rc=0; timeout 10 "$cli" $args 2>err || rc=$?
    [[ $rc -eq 1 ]] && grep -q "it is a pipe" err || fail "pipe as output: status $rc for $args"
done
[[ ! -e fif1 ]] || fail "a segment was written before a later pipe was refused"

# Append checks what it completes; a target it cannot read is no empty file.
head -c 1000 /dev/urandom > other
head -c 2400 whole > prefix
cp prefix t
"$cli" append t other 2>err && fail "appended to a target that is not the beginning of the source"
grep -q "does not hold the beginning" err && cmp -s t prefix || fail "foreign target changed"
cp prefix t
chmod 200 t
chmod 755 .
rc=0
if [[ $(id -u) -eq 0 ]]; then
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$cli" append t whole 2>err || rc=$?
else
    "$cli" append t whole 2>err || rc=$?
fi
chmod 600 t
[[ $rc -eq 1 ]] && grep -q "Permission denied" err && cmp -s t prefix ||
    fail "an unreadable target: status $rc, $(cat err)"
echo "cli: all checks passed"
