#!/usr/bin/env bash
# --digits N: zero-padded names, byte for byte split -d's pieces, that the
# glob and ls give in join order; the manifest lists them; assemble takes them
# in the glob's order, puts them in order with --sort and names a gap by its
# padded name. Digits too few for the pieces are refused before anything is
# written: a usage error for COUNT, a refusal for SIZE.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

head -c 3000001 /dev/urandom > src
"$cli" segment --digits 2 --manifest --size 250K src p || fail "segment --digits 2"
split -b 250K -d -a 2 --numeric-suffixes=1 src ref.
for ref in ref.*; do
    cmp -s "$ref" "p${ref#ref.}" || fail "p${ref#ref.} is not split's ${ref}"
done
[[ $(printf '%s\n' p[0-9]*) == $(printf 'p%02d\n' {1..12}) ]] || fail "names: $(echo p[0-9]*)"
[[ $(ls p[0-9]*) == $(printf 'p%02d\n' {1..12}) ]] || fail "ls order: $(ls p[0-9]*)"
cat p[0-9]* | cmp -s - src || fail "the glob's order is not the join order"
grep -q '  p01$' p.sha256 || fail "the manifest does not list p01"
sha256sum -c --strict --ignore-missing p.sha256 > /dev/null || fail "sha256sum -c"

{ "$cli" assemble globbed p[0-9]* 2>err && cmp -s globbed src; } || fail "assemble p[0-9]*: $(cat err)"
grep -q 'matches 12 pieces and the whole file' err || fail "not checked: $(cat err)"
"$cli" assemble --no-manifest --sort sorted p12 p03 p01 p10 p02 p04 p05 p06 p07 p08 p09 p11 ||
    fail "--sort"
cmp -s sorted src || fail "--sort: not in number order"
"$cli" assemble --no-manifest out p02 p01 p03 2>err && fail "joined p02 before p01"
grep -q '"p02" is given before "p01"' err || fail "order: $(cat err)"
rm p05
for order in --sort ""; do
    # shellcheck disable=SC2086 # no option at all is one of the cases
    "$cli" assemble --no-manifest $order gap p[0-9]* 2>err && fail "joined with p05 missing ($order)"
    grep -q '"p05" is missing between "p04" and "p06"' err || fail "gap ($order): $(cat err)"
done
"$cli" assemble --force p01 p02 p03 p04 out 2>err && fail "the output typed last"
grep -q 'TARGET "p01" is itself a piece of "p"' err || fail "$(cat err)"

expect_usage_error segment --digits 1 src q 12
expect_usage_error segment --digits 0 src q 3
expect_usage_error segment --digits 10 src q 3
"$cli" segment --digits 1 --size 250K src q 2>err && fail "12 pieces in one digit"
grep -q 'cut into 12 pieces, which 1 digit cannot number' err || fail "$(cat err)"
[[ -z $(find . -name 'q*') ]] || fail "digits too few, and pieces were written"
passed
