#!/usr/bin/env bash
# repair finds blocks away from their places: a byte added at the start of two
# of four pieces (all their blocks found shifted), a piece renamed and one
# moved into a subfolder, named after the index; par2 repairs the same set.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"
command -v par2 > /dev/null || fail "par2 is not installed (scripts/install-missing.sh par2)"

head -c 1000000 /dev/urandom > src
"$cli" segment --quiet --recovery 5 src p. 4 || fail "segment --recovery"
mkdir keep
cp p.? keep/

for n in 1 3; do
    { printf 'X'; cat "keep/p.$n"; } > "p.$n"
done
"$cli" repair p..par2 > out 2> err || fail "repair of shifted pieces: $(cat out err)"
grep -q '^p.1: rebuilt (it was damaged: .*longer than listed, 62 of 62 blocks intact, 62 of them at other places)' out ||
    fail "repair's line of a shifted piece: $(cat out)"
for n in 1 2 3 4; do cmp -s "p.$n" "keep/p.$n" || fail "p.$n after the repair"; done

# Renamed and moved: found only where the repair is told to look.
mv p.2 renamed
mkdir sub
mv p.4 sub/
rc=0
"$cli" repair p..par2 > out 2> err || rc=$?
[[ $rc -eq 1 ]] || fail "repair without the moved pieces: status $rc"
# verify searches the same files, and says what it found in each.
rc=0
"$cli" verify p..par2 renamed sub/p.4 src > out 2> err || rc=$?
[[ $rc -eq 1 ]] || fail "verify with the moved pieces: status $rc"
grep -q '"renamed" holds 62 blocks of the set: 62 of "p.2"\.' err || fail "verify's note of renamed: $(cat err)"
grep -q '"sub/p.4" holds 62 blocks of the set: 62 of "p.4"\.' err || fail "verify's note of sub/p.4: $(cat err)"
grep -q "'shardix-cli repair' can rebuild them" err || fail "verify's verdict with the moved pieces: $(cat err)"
rc=0
"$cli" verify src.sha256 renamed > out 2> err || rc=$?
[[ $rc -eq 2 ]] || fail "verify of a checksum list with files to search: status $rc"
"$cli" repair p..par2 renamed sub/p.4 > out 2> err || fail "repair with the moved pieces: $(cat out err)"
{ grep -q '^p.2: rebuilt (it was missing)$' out && grep -q '^p.4: rebuilt (it was missing)$' out; } ||
    fail "repair's lines with the moved pieces: $(cat out)"
for n in 1 2 3 4; do cmp -s "p.$n" "keep/p.$n" || fail "p.$n after the second repair"; done

# The same damage mended by par2: the set carries what its search needs.
{ printf 'Y'; cat keep/p.2; } > p.2
par2 repair -q p..par2 > out 2>&1 || fail "par2 repair of a shifted piece: $(cat out)"
cmp -s p.2 keep/p.2 || fail "p.2 after par2's repair"
passed
