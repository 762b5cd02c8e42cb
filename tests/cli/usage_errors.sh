#!/usr/bin/env bash
# --help and --version; usage errors end with status 2 and create nothing;
# COUNT is one number, and "--" ends the options.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

{ "$cli" --help > usage.txt && grep -q "shardix-cli segment" usage.txt; } || fail "no usage"
grep -q "(2 to 999) equal pieces" usage.txt || fail "the largest count is not in the usage"
{ "$cli" --version > version.txt && grep -q "2\.3" version.txt; } || fail "no version"

echo abc > one
echo def > two
head -c 6000 /dev/urandom > whole
expect_usage_error
expect_usage_error frobnicate
expect_usage_error segment --force one cut 12345
for count in "1 2" 3x -1 abc ""; do expect_usage_error segment one cut "$count"; done
expect_usage_error segment one cut 3 extra
expect_usage_error assemble --force --force fresh one two
expect_usage_error append --force one two
expect_usage_error assemble --bogus fresh one
expect_usage_error assemble fresh
expect_usage_error segment --size 0 whole sz
expect_usage_error segment --size 1.5K whole sz
expect_usage_error segment --size 10 whole sz 3
expect_usage_error segment whole sz
expect_usage_error assemble --manifest m --no-manifest fresh one
expect_usage_error assemble --sort --as-given fresh one two
[[ -z $(find . -name 'cut*' -o -name 'sz*' -o -name fresh) ]] || fail "a usage error created files"

{ "$cli" segment one cut 03 && [[ -e cut3 && ! -e cut4 ]]; } || fail "03 is not 3"
{ "$cli" assemble -- -x one two && cmp -s ./-x <(cat one two); } || fail "a name after -- is not a file"
passed
