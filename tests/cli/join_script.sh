#!/usr/bin/env bash
# --join-script writes BASE.join.sh, which joins the pieces without shardix-cli
# (a bare environment, dash, run from another folder on a copy of the pieces)
# into the name the manifest gives the whole file, so that its sha256sum -c
# passes; it refuses an output that exists and names a damaged piece. An
# existing script is replaced only with --force; a cut again without it
# removes the old one, saying so.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

mkdir out
head -c 2500000 /dev/urandom > movie.mkv
"$cli" segment --manifest --join-script --size 1M movie.mkv out/part || fail "segment"
[[ -x out/part.join.sh ]] || fail "no runnable out/part.join.sh"
cp -r out copy
bare() { (cd / && env -i PATH=/usr/bin:/bin dash "$@"); }
bare "$work/copy/part.join.sh" > said 2>&1 || fail "the script: $(cat said)"
cmp -s copy/movie.mkv movie.mkv || fail "the script did not join movie.mkv"
cp copy/movie.mkv kept
bare "$work/copy/part.join.sh" > said 2>&1 && fail "the script joined over movie.mkv"
{ grep -q '"movie.mkv" exists already' said && cmp -s copy/movie.mkv kept; } || fail "$(cat said)"
rm copy/movie.mkv
printf 'x' | dd of=copy/part2 bs=1 seek=1000 conv=notrunc status=none
bare "$work/copy/part.join.sh" > said 2>&1 && fail "a damaged piece passed"
grep -q 'part2: FAILED' said || fail "the damaged piece is not named: $(cat said)"

rm out/part1 out/part.sha256 # the first piece and the manifest are not what stops it
"$cli" segment --join-script --size 1M movie.mkv out/part 2>err && fail "replaced the script"
grep -q '"out/part.join.sh" already exists; not replaced' err || fail "$(cat err)"
"$cli" segment --force --size 1M movie.mkv out/part 2>err || fail "--force: $(cat err)"
{ [[ ! -e out/part.join.sh ]] && grep -q 'removed "out/part.join.sh"' err; } || fail "$(cat err)"
passed
