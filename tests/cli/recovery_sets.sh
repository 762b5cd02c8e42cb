#!/usr/bin/env bash
# A recovery set is found by its id among the recovery files of its folder:
# any of them opens it, the index lost, destroyed or cut short; files of
# other sets, and of another version of the set (made again over changed
# files, it keeps its id), are named and left out. A cut made again with
# --force over an earlier one removes that cut's volumes, so that par2 too
# repairs what is left. Both ways with par2.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"
command -v par2 > /dev/null || fail "par2 is not installed (scripts/install-missing.sh par2)"

head -c 1000000 /dev/urandom > src
"$cli" segment --quiet --recovery 10 src p. 4 || fail "the first cut"
mkdir first
cp p.* first/
# A change past the pieces' first 16 KiB: the set made again keeps its id.
printf 'XXXXXXXX' | dd of=src bs=1 seek=600000 conv=notrunc status=none
"$cli" segment --force --recovery 30 src p. 4 2> err || fail "the cut made again: $(cat err)"
{ grep -q '^shardix-cli: removed "p..vol15+10.par2": a volume of the recovery files of an earlier cut' err &&
    [[ ! -e p..vol15+10.par2 ]]; } || fail "the earlier cut's volume: $(cat err)"
mkdir second
cp p.* second/

# par2 repairs the set made again.
rm p.2
par2 repair -q p..par2 > out || fail "par2 repair after the cut made again: $(cat out)"
cat p.{1..4} | cmp -s - src || fail "par2 rebuilt a wrong p.2"

# The earlier cut's volume put back beside the index lost: repair given any
# volume goes by the volume's version, names the other and the files read.
cp first/p..vol15+10.par2 .
rm p.3 p..par2
"$cli" repair p..vol31+32.par2 > out 2> err || fail "repair without the index: $(cat out err)"
{ grep -q '^shardix-cli: "p..vol15+10.par2" holds another version of this set.s packets .*, left out.$' err &&
    grep -q '^shardix-cli: "p..par2" is not there: the set was read from "p..vol31+32.par2", .* and 3 more files.$' err &&
    grep -q '^p.3: rebuilt (it was missing)$' out; } || fail "repair without the index: $(cat out err)"
cat p.{1..4} | cmp -s - src || fail "rebuilt a wrong p.3"
# Named, the earlier volume chooses its own version: too few blocks of it.
rm p.3
rc=0
"$cli" repair p..vol15+10.par2 > out 2> err || rc=$?
{ [[ $rc -eq 1 ]] && grep -q 'only 10 recovery blocks are at hand' err; } ||
    fail "the earlier version named: status $rc, $(cat err)"

# The index destroyed, or cut short: what the volumes hold is enough.
cp second/p.* .
rm p..vol15+10.par2 p.1
head -c 100 second/p..par2 > p..par2
"$cli" repair p..par2 > out 2> err || fail "repair of a cut index: $(cat out err)"
{ grep -q '^shardix-cli: "p..par2" holds no intact packet of the set: the set was read from ' err &&
    cmp -s p.1 second/p.1; } || fail "repair of a cut index: $(cat out err)"
dd if=/dev/zero of=p..par2 bs=4096 count=2 status=none
rm p.4
"$cli" repair --quiet p..par2 > out 2> err || fail "repair of a zeroed index: $(cat out err)"
cmp -s p.4 second/p.4 || fail "rebuilt a wrong p.4"

# Volumes of two sets beside a destroyed index: refused, both named; the
# volume named chooses.
mkdir other
head -c 300000 /dev/urandom > other/src
"$cli" segment --quiet --recovery 10 other/src other/p. 4 || fail "the other set"
cp other/p..vol3+4.par2 p..vol07+08.par2.old.par2
rc=0
"$cli" verify p..par2 > out 2> err || rc=$?
{ [[ $rc -eq 1 ]] && grep -q '"p..par2" cannot be used: it holds no intact PAR 2.0 packet (bytes 0 to 8191 .*), and the files "p..\*.par2" beside it hold packets of 2 recovery sets' err; } ||
    fail "two sets beside a destroyed index: status $rc, $(cat err)"
"$cli" verify p..vol00+01.par2 > out 2> err || fail "verify of a volume: $(cat out err)"
grep -q '^shardix-cli: "p..vol07+08.par2.old.par2" belongs to another recovery set, left out.$' err ||
    fail "the other set's volume: $(cat err)"

# We repair par2's set without its index, beside a set of par2's of another name.
mkdir theirs
cp src theirs/data.bin
head -c 50000 /dev/urandom > theirs/other.bin
(cd theirs && par2 create -q -q -s16384 -r20 -n3 data.par2 data.bin > /dev/null &&
    par2 create -q -q -r20 other.par2 other.bin > /dev/null) || fail "par2 create"
rm theirs/data.par2
printf 'ZZZZ' | dd of=theirs/data.bin bs=1 seek=70000 conv=notrunc status=none
volumes=(theirs/data.vol*.par2)
"$cli" repair "${volumes[0]}" > out 2> err || fail "repair of par2's set without its index: $(cat out err)"
{ cmp -s theirs/data.bin src && grep -q '^theirs/data.bin: rebuilt .*"theirs/data.bin.1"$' out &&
    grep -q '^shardix-cli: "theirs/other.par2" belongs to another recovery set, left out.$' err; } ||
    fail "par2's set without its index: $(cat out err)"
passed
