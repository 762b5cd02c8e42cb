#!/usr/bin/env bash
# --sort puts numbered pieces in number order and finds the ones missing; the
# glob's order p1 p10 p11 p2 .. is refused unless told; a checksum list taken in
# by a glob is never joined; the output typed last, a TARGET that is one of the
# pieces, never replaces it.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

for k in 1 2 3 4 5 6 7 8 9 10 11 12; do echo "$k" > "s$k"; done
"$cli" assemble --sort sorted s12 s1 s3 s10 s11 s2 s4 s5 s6 s7 s8 s9 || fail "--sort"
seq 1 12 | cmp -s - sorted || fail "--sort: not in number order"
echo "f00d  s1" > s.sha256 # a glob such as s* takes the list in too: never joined
"$cli" assemble --sort globbed s* 2>err && fail "a checksum list joined in"
{ grep -q '"s.sha256" is a list of checksums' err && [[ ! -e globbed ]]; } || fail "$(cat err)"
rm s.sha256
"$cli" assemble --sort gaps s1 s10 s12 s2 s4 2>err && fail "--sort with pieces missing"
{ grep -q '"s3" is missing between "s2" and "s4". "s5" to "s9" are missing between "s4" and "s10".' err &&
    [[ ! -e gaps ]]; } || fail "gaps: $(cat err)"
echo A > a && echo B > bb && echo C > ccc
{ "$cli" assemble --sort bylength bb a ccc && [[ $(cat bylength) == $(cat a bb ccc) ]]; } ||
    fail "--sort by length"

"$cli" assemble globbed s[0-9]* 2>err && fail "joined a glob out of number order"
{ grep -q '"s12" is given before "s2"' err && [[ ! -e globbed ]]; } || fail "glob: $(cat err)"
grep -q 'Give --sort to join them in number order' err || fail "no way out told: $(cat err)"
{ "$cli" assemble --as-given globbed s1 s10 && [[ $(cat globbed) == $(cat s1 s10) ]]; } ||
    fail "--as-given"
cp s1 s1.kept
"$cli" assemble --force s1 s2 s3 s4 out.mp4 2>err && fail "the output typed last"
{ grep -q 'TARGET "s1" is itself a piece of "s"' err && cmp -s s1 s1.kept; } || fail "$(cat err)"
passed
