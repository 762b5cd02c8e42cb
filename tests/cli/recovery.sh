#!/usr/bin/env bash
# Recovery files: segment --recovery writes a set that par2 verifies and
# repairs, beside a manifest that agrees with it; repair rebuilds a missing and
# a damaged piece (the damaged one kept as NAME.1), also of a set that par2
# made, and with too few blocks says how many are missing and changes
# nothing; verify reads an index as it reads a manifest; bad values of the
# options are usage errors that name the option.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"
command -v par2 > /dev/null || fail "par2 is not installed (scripts/install-missing.sh par2)"

# 4 MiB in 16 pieces of 64 blocks of 4096 bytes: 1024 blocks, 103 recovery blocks.
head -c 4194304 /dev/urandom > src
"$cli" segment --recovery 10 --manifest src p. 16 2> err || fail "segment --recovery: $(cat err)"
grep -q 'wrote "p..par2" and 7 volumes: 103 recovery blocks for the 1024 blocks of 4096 bytes' err ||
    fail "what segment --recovery wrote: $(cat err)"
par2 verify -q p..par2 > out || fail "par2 verify of our set: $(cat out)"
sha256sum -c --strict --ignore-missing p..sha256 > /dev/null || fail "the manifest beside the set"
"$cli" verify p..par2 > out || fail "verify of an intact set: $(cat out)"
[[ $(grep -c ': OK$' out) -eq 16 && $(head -n 1 out) == "p.1: OK" && $(tail -n 1 out) == "p.16: OK" ]] ||
    fail "verify's lines: $(cat out)"
mkdir keep
cp p.* keep/

# Zero-padded names are the names the index lists.
mkdir padded
"$cli" segment --quiet --recovery 5 --digits 2 src padded/q 12 || fail "--recovery --digits"
(cd padded && par2 verify -q q.par2 > /dev/null) || fail "par2 verify of q01 .. q12"

# One piece deleted, another damaged in one block: rebuilt, the damaged one set aside.
rm p.2
printf 'XXXX' | dd of=p.4 bs=1 seek=5000 conv=notrunc status=none
cp p.4 damaged
rc=0
"$cli" verify p..par2 > out 2> err || rc=$?
[[ $rc -eq 1 ]] || fail "verify of a damaged set: status $rc"
{ grep -q '^p.2: missing$' out && grep -q '^p.4: damaged: .*63 of 64 blocks intact$' out; } ||
    fail "verify's lines of a damaged set: $(cat out)"
grep -q '2 of the 16 listed files are not right.  65 of the 1024 blocks are missing' err ||
    fail "verify's verdict: $(cat err)"
"$cli" repair p..par2 > out 2> err || fail "repair: $(cat out err)"
{ grep -q '^p.2: rebuilt (it was missing)$' out && grep -q '^p.4: rebuilt .*"p.4.1"$' out &&
    grep -q 'rebuilt 2 of the 16 files' err; } || fail "repair's lines: $(cat out err)"
cmp -s damaged p.4.1 || fail "the damaged piece was not kept as p.4.1"
cat p.{1..16} | cmp -s - src || fail "the repaired pieces are not the source"
sha256sum -c --strict --ignore-missing p..sha256 > /dev/null || fail "the manifest after repair"

# Too many lost: nothing changes, and the message says how many blocks are missing.
rm p.4.1 p.3 p.5
state() { ls -l --time-style=full-iso p.*; sha256sum p.*; }
state > before
rc=0
"$cli" repair p..par2 > out 2> err || rc=$?
[[ $rc -eq 1 ]] || fail "repair with too few blocks: status $rc"
grep -q '128 blocks are missing and only 103 recovery blocks are at hand: 25 more are needed' err ||
    fail "too few blocks: $(cat err)"
state | cmp -s before - || fail "a repair that could not changed files"

# par2 repairs a set we made.
cp keep/p.* .
rm p.7
par2 repair -q p..par2 > out || fail "par2 repair of our set: $(cat out)"
cmp -s p.7 keep/p.7 || fail "par2 rebuilt a wrong p.7"

# A damaged volume is told and left out; what the others hold is enough. --quiet
# shows only the files that are not right; a file that holds no packet is refused.
cp keep/p.* .
printf 'ZZZZZZZZ' | dd of=p..vol063+40.par2 bs=1 seek=50000 conv=notrunc status=none
rm p.5
rc=0
"$cli" verify --quiet p..par2 > out 2> err || rc=$?
{ [[ $rc -eq 1 && $(cat out) == "p.5: missing" ]] && grep -q '"p..vol063+40.par2": bytes' err &&
    grep -q '102 recovery blocks are at hand' err; } || fail "a damaged volume: $(cat out err)"
"$cli" repair --quiet p..par2 > out 2> err || fail "repair beside a damaged volume: $(cat err)"
cmp -s p.5 keep/p.5 || fail "rebuilt a wrong p.5"
echo 'not a recovery file' > x.par2
rc=0
"$cli" verify x.par2 2> err || rc=$?
{ [[ $rc -eq 1 ]] && grep -q '"x.par2" cannot be used: it holds no intact PAR 2.0 packet' err; } ||
    fail "not an index: status $rc, $(cat err)"

# We repair a set par2 made (its own block size, recovery in its own volumes).
mkdir theirs
split -b 500000 -d src theirs/q.
(cd theirs && par2 create -q -q -s65536 -r25 -n3 q.par2 q.0* > /dev/null) || fail "par2 create"
cp theirs/q.03 q03
rm theirs/q.03
printf 'YYYY' | dd of=theirs/q.05 bs=1 seek=10 conv=notrunc status=none
"$cli" repair --quiet theirs/q.par2 > out || fail "repair of par2's set: $(cat out)"
{ cmp -s q03 theirs/q.03 && cat theirs/q.0? | cmp -s - src; } || fail "par2's set repaired wrong"

# --size, --block-size and --force; the index without --force is left alone.
"$cli" segment --size 1M --recovery 5 --block-size 64K src s. 2> err || fail "--block-size: $(cat err)"
grep -q 'for the 64 blocks of 65536 bytes' err || fail "--block-size: $(cat err)"
par2 verify -q s..par2 > /dev/null || fail "par2 verify of a set of --block-size"
rm s.1
"$cli" segment --size 1M --recovery 5 src s. 2> err && fail "replaced s..par2 without --force"
grep -q '"s..par2" already exists; not replaced' err || fail "$(cat err)"
"$cli" segment --force --quiet --size 1M --recovery 5 src s. 2> err || fail "--force: $(cat err)"
# Of the earlier cut's volumes, named otherwise than the new ones, each is told removed.
[[ $(grep -vc '^shardix-cli: removed "s..vol[0-9]*+[0-9]*.par2": a volume of the recovery files of an earlier cut' err) -eq 0 &&
    $(grep -c removed err) -eq 3 ]] || fail "--quiet told: $(cat err)"
par2 verify -q s..par2 > /dev/null || fail "par2 verify of the set made again"

# An empty source has nothing to protect: refused, nothing written.
: > empty
"$cli" segment --recovery 10 empty e. 2 2> err && fail "protected an empty source"
{ grep -q 'nothing to protect' err && ! compgen -G 'e.*' > /dev/null; } || fail "empty: $(cat err)"

for bad in "--recovery 0" "--recovery 101" "--recovery ten" "--recovery 10 --block-size 4097" \
    "--recovery 10 --block-size 1G" "--recovery 10 --block-size 0" "--block-size 4096"; do
    # shellcheck disable=SC2086 # the option and its value, split on purpose
    expect_usage_error segment $bad src b. 4
    option=${bad% *}
    option=${option##* }
    # shellcheck disable=SC2086
    "$cli" segment $bad src b. 4 2> err || true
    grep -q -- "^shardix-cli: $option " err || fail "no word of $option: $(cat err)"
done
! compgen -G 'b.*' > /dev/null || fail "a usage error wrote pieces"
passed
