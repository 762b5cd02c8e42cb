#!/usr/bin/env bash
# Pieces lost, cut short, swapped and changed: named by verify and refused by
# assemble before writing, or found while it copies.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

mkdir pieces
name=$'a b\\c\nd'
# The name in messages: it holds a line break, so it is shown in the
# shell-escape form ('a b\c'$'\n''d.2' for "$name.2"), never raw.
escaped="'a b\\c'\$'\\n''d"
head -c 3000001 /dev/urandom > "$name"
"$cli" segment --manifest --size 1M "$name" "pieces/$name." || fail "segment with a manifest"
cd pieces

mv "$name.1" p && mv "$name.2" "$name.1" && mv p "$name.2"
rc=0
"$cli" verify --quiet "$name..sha256" > out 2>err || rc=$?
[[ $rc -eq 1 && $(wc -l < out) -eq 2 ]] || fail "swapped: $rc $(cat out)"
grep -Eq '\.1: different: it holds the bytes listed for ".*\.2"$' out || fail "$(cat out)"
grep -Eq '\.2: different: it holds the bytes listed for ".*\.1"$' out || fail "$(cat out)"
grep -q "2 of the 4 listed files are not right" err || fail "no summary: $(cat err)"
"$cli" assemble joined "$name.1" "$name.2" "$name.3" 2>err && fail "assembled swapped pieces"
grep -qF "they are the bytes listed for $escaped.2'; \"joined\" does not match" err ||
    fail "swapped: $(cat err)"
# A known-wrong output does not keep its name.
[[ ! -e joined && -e joined.damaged ]] || fail "swapped: the wrong file kept its name"
grep -q 'it is "joined.damaged"' err || fail "swapped: not told where: $(cat err)"
rm joined.damaged
mv "$name.1" p && mv "$name.2" "$name.1" && mv p "$name.2"

truncate -s -1 "$name.3"
"$cli" verify "$name..sha256" > out 2>/dev/null && fail "verify passed a shortened piece"
{ grep -q ": shorter: 902848 bytes instead of 902849" out && grep -q "not there" out; } ||
    fail "$(cat out)"
"$cli" assemble joined "$name.1" "$name.2" "$name.3" 2>err && fail "assembled a shortened piece"
{ grep -q "902848 bytes long" err && [[ ! -e joined ]]; } || fail "shortened: $(cat err)"
tail -c 1 "../$name" >> "$name.3"

printf 'X' | dd of="$name.2" bs=1 seek=5000 conv=notrunc status=none
"$cli" assemble joined "$name.1" "$name.2" "$name.3" 2>err && fail "assembled a changed piece"
{ grep -qF "The bytes of $escaped.2' do not match" err && [[ ! -e joined ]]; } || fail "changed: $(cat err)"
# A replaced TARGET stays as it was.
echo old > joined
"$cli" assemble --force joined "$name.1" "$name.2" "$name.3" 2>err && fail "replaced with a changed piece"
{ [[ $(cat joined) == old ]] && grep -q 'holds what it held before' err; } || fail "replaced: $(cat err)"
# append takes the bytes it appended away again.
head -c 100 "$name.1" > partial
"$cli" append partial "$name.1" "$name.2" "$name.3" 2>err && fail "appended a changed piece"
{ [[ $(stat -c %s partial) -eq 100 ]] && grep -q 'taken away' err; } || fail "append: $(cat err)"
rm joined partial joined.damaged
"$cli" assemble --no-manifest --force joined "$name.1" "$name.2" "$name.3" || fail "--no-manifest"

rm "$name.2"
"$cli" verify "$name..sha256" > out 2>&1 && fail "verify passed with a piece missing"
grep -q "d.2: missing" out || fail "a missing piece not named"
"$cli" assemble --force joined "$name.1" "$name.3" 2>err && fail "assembled without a piece"
grep -qF "piece 2 of the 3 pieces listed in $escaped..sha256', is missing" err || fail "$(cat err)"
passed
