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
"$cli" --help > usage.txt && grep -q "shardix-cli segment" usage.txt || fail "no usage"
"$cli" --version > version.txt && grep -q "2\.3" version.txt || fail "no version"

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
# Pieces by size, as split -b cuts them, sizes around the pieces' edges; an
# empty file gives one empty piece (split writes none); more than 999 are refused.
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
"$cli" segment --force --size 1 whole far 2>err && fail "cut 6000 bytes into 6000 pieces"
grep -q "at most 999" err && [[ ! -e far1 ]] || fail "too many pieces: no reason, or a piece written"
usage segment --size 0 whole sz
usage segment --size 1.5K whole sz
usage segment --size 10 whole sz 3
usage segment whole sz
usage assemble --manifest m --no-manifest fresh one
[[ ! -e sz1 && ! -e fresh ]] || fail "a usage error created files"

# A manifest that sha256sum -c reads, in the pieces' folder and in a copy of it
# elsewhere, for names with a blank, a backslash and a line feed; the whole
# file's line checks the assembled file there.
mkdir pieces
name=$'a b\\c\nd'
head -c 3000001 /dev/urandom > "$name"
"$cli" segment --manifest --size 1M "$name" "pieces/$name." || fail "segment with a manifest"
"$cli" segment --manifest --size 1M "$name" "pieces/$name." 2>err && fail "replaced a manifest"
"$cli" segment --force --manifest --size 1M "$name" "pieces/$name." || fail "--force"
cp -r pieces elsewhere
cd elsewhere
sha256sum -c --strict --ignore-missing "$name..sha256" > out || fail "sha256sum -c: $(cat out)"
[[ $(grep -c ': OK$' out) -eq 3 ]] || fail "sha256sum -c did not check the three pieces"
"$cli" assemble "$name" "$name.3" "$name.1" "$name.2" 2>err && fail "assembled pieces out of order"
grep -q "is out of order" err && [[ ! -e $name ]] || fail "order: $(cat err)"
"$cli" assemble "$name" "$name.1" "$name.2" "$name.3" 2>err || fail "assemble: $(cat err)"
grep -q "matches 3 segments and the whole file" err || fail "no word of the check"
sha256sum -c --strict "$name..sha256" > /dev/null || fail "sha256sum -c: the assembled file"
"$cli" verify "$PWD/$name..sha256" > out || fail "verify of good pieces"
[[ $(grep -c ': OK$' out) -eq 4 ]] || fail "verify: $(cat out)"
cp "$name..sha256" kept
"$cli" assemble --force "$name..sha256" "$name.1" "$name.2" "$name.3" 2>err && fail "over the manifest"
cmp -s kept "$name..sha256" && grep -q "is the manifest that the pieces" err || fail "$(cat err)"

# Pieces lost, cut short, swapped and changed: named by verify and refused by
# assemble before writing, or found while it copies.
rm "$name"
mv "$name.1" p && mv "$name.2" "$name.1" && mv p "$name.2"
rc=0; "$cli" verify --quiet "$name..sha256" > out 2>err || rc=$?
[[ $rc -eq 1 && $(wc -l < out) -eq 2 ]] || fail "swapped: $rc $(cat out)"
grep -Eq '\.1: different: it holds the bytes listed for ".*\.2"$' out || fail "$(cat out)"
grep -Eq '\.2: different: it holds the bytes listed for ".*\.1"$' out || fail "$(cat out)"
grep -q "2 of the 4 listed files are not right" err || fail "no summary: $(cat err)"
"$cli" assemble joined "$name.1" "$name.2" "$name.3" 2>err && fail "assembled swapped pieces"
grep -q 'they are the bytes listed for "' err && grep -q '\.2"; "joined" does not match' err ||
    fail "swapped: $(cat err)"
rm joined
mv "$name.1" p && mv "$name.2" "$name.1" && mv p "$name.2"
truncate -s -1 "$name.3"
"$cli" verify "$name..sha256" > out 2>/dev/null && fail "verify passed a shortened piece"
grep -q ": shorter: 902848 bytes instead of 902849" out && grep -q "not there" out || fail "$(cat out)"
"$cli" assemble joined "$name.1" "$name.2" "$name.3" 2>err && fail "assembled a shortened piece"
grep -q "902848 bytes long" err && [[ ! -e joined ]] || fail "shortened: $(cat err)"
tail -c 1 "../$name" >> "$name.3"
printf 'X' | dd of="$name.2" bs=1 seek=5000 conv=notrunc status=none
"$cli" assemble joined "$name.1" "$name.2" "$name.3" 2>err && fail "assembled a changed piece"
grep -q "The bytes of \"$name.2\" do not match" err && [[ -e joined ]] || fail "changed: $(cat err)"
"$cli" assemble --no-manifest --force joined "$name.1" "$name.2" "$name.3" || fail "--no-manifest"
rm "$name.2"
"$cli" verify "$name..sha256" > out 2>&1 && fail "verify passed with a piece missing"
grep -q "d.2: missing" out || fail "a missing piece not named"
"$cli" assemble --force joined "$name.1" "$name.3" 2>err && fail "assembled without a piece"
grep -q "piece 2 of the 3 pieces listed in \"$name..sha256\", is missing" err || fail "$(cat err)"
cd ..

# --sort puts numbered pieces in number order and finds the ones missing.
for k in 1 2 3 4 5 6 7 8 9 10 11 12; do echo "$k" > "s$k"; done
"$cli" assemble --sort sorted s12 s1 s3 s10 s11 s2 s4 s5 s6 s7 s8 s9 || fail "--sort"
seq 1 12 | cmp -s - sorted || fail "--sort: not in number order"
echo "f00d  s1" > s.sha256 # a glob such as s* takes the list in too: never joined
"$cli" assemble --sort globbed s* 2>err && fail "a checksum list joined in"
grep -q '"s.sha256" is a list of checksums' err && [[ ! -e globbed ]] || fail "$(cat err)"
rm s.sha256
"$cli" assemble --sort gaps s1 s10 s12 s2 s4 2>err && fail "--sort with pieces missing"
grep -q '"s3" is missing between "s2" and "s4". "s5" to "s9" are missing between "s4" and "s10".' err &&
    [[ ! -e gaps ]] || fail "gaps: $(cat err)"
echo A > a && echo B > bb && echo C > ccc
"$cli" assemble --sort bylength bb a ccc && [[ $(cat bylength) == $(cat a bb ccc) ]] || fail "--sort by length"

# The progress line: on a terminal, and cleared; nothing of it elsewhere or with --quiet.
head -c 30000000 /dev/urandom > big
script -qec "$cli segment --size 10M big q" /dev/null < /dev/null > tty || fail "under a terminal"
grep -q $'segment: [0-9]*%  .* of 28.6 MiB.*\r\e\\[K' tty || fail "no progress line on a terminal: $(cat -A tty)"
script -qec "$cli assemble --quiet qq q1 q2 q3" /dev/null < /dev/null > tty
[[ ! -s tty ]] || fail "a progress line with --quiet"
"$cli" segment --force --manifest --size 10M big q 2> err && "$cli" verify q.sha256 > /dev/null 2>> err &&
    "$cli" assemble --force qq q1 q2 q3 2>> err || fail "runs for the progress line"
[[ $(cat err) == 'shardix-cli: "qq" matches 3 segments and the whole file in "q.sha256".' ]] ||
    fail "standard error is not a terminal, yet: $(cat -A err)"
# The glob's order p1 p10 p11 p2 .. is refused unless told; the output typed
# last, a TARGET that is one of the pieces, never replaces it.
"$cli" assemble globbed s[0-9]* 2>err && fail "joined a glob out of number order"
grep -q '"s12" is given before "s2"' err && [[ ! -e globbed ]] || fail "glob: $(cat err)"
"$cli" assemble --as-given globbed s1 s10 && [[ $(cat globbed) == $(cat s1 s10) ]] || fail "--as-given"
cp s1 s1.kept
"$cli" assemble --force s1 s2 s3 s4 out.mp4 2>err && fail "the output typed last"
grep -q 'TARGET "s1" is itself a piece of "s"' err && cmp -s s1 s1.kept || fail "$(cat err)"
ln s1 t.link
"$cli" append t.link s1 s2 2>err && fail "appended to a link of a source"
grep -q '"t.link" and "s1" are one file' err && cmp -s s1 s1.kept || fail "$(cat err)"

# Cutting again without a manifest removes the old one, saying so.
"$cli" segment --force --size 10M big q 2>err && [[ ! -e q.sha256 ]] &&
    grep -q 'removed "q.sha256"' err || fail "the old manifest: $(cat err)"

# SIGINT and SIGTERM stop a run between two pieces: 130 and 143, a message that
# names the output and what it holds, and those bytes kept. The source is
# sparse, so that the run lasts without taking the disk.
truncate -s 40G sparse
set -m # a job of its own, whose SIGINT is not ignored as a background job's
for signal in INT:130 TERM:143; do
    rm -f stopped
    "$cli" assemble stopped sparse 2> err &
    pid=$!
    for ((i = 0; i < 3000; i++)); do
        [[ -s stopped ]] && break
        sleep 0.01
    done
    kill -"${signal%%:*}" "$pid"
    rc=0
    wait "$pid" || rc=$?
    [[ $rc -eq ${signal##*:} ]] || fail "SIG${signal%%:*}: status $rc, $(cat err)"
    kept=$(stat -c %s stopped)
    [[ $(cat err) == "shardix-cli: The run was stopped.  \"stopped\" was left with $kept bytes." ]] ||
        fail "SIG${signal%%:*}: $(cat err)"
    ((kept % 4000000 == 0 && kept < 40 * 1024 ** 3)) || fail "SIG${signal%%:*}: $kept bytes kept"
    cmp -s -n "$kept" stopped sparse || fail "SIG${signal%%:*}: the bytes kept differ"
done
set +m
rm -f stopped sparse
echo "cli: all checks passed"
