#!/usr/bin/env bash
# --help and --version; usage errors end with status 2 and create nothing;
# COUNT is one number, and "--" ends the options.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

{ "$cli" --help > usage.txt && grep -q "^  segment " usage.txt; } || fail "no usage"
grep -q "(2 to 999) equal pieces" usage.txt || fail "the largest count is not in the usage"
{ "$cli" help > help.txt && cmp -s usage.txt help.txt; } || fail "help is not --help"

# Each command's usage: its synopsis and every option it takes, the same by
# "help COMMAND" and "COMMAND --help", short; the long text is the manual's.
declare -A options=(
    [segment]="--force --manifest --join-script --digits --size --recovery --block-size --quiet"
    [assemble]="--force --sort --as-given --manifest --no-manifest --quiet"
    [append]="--sort --as-given --manifest --no-manifest --quiet"
    [join]="--force --output --first --manifest --no-manifest --quiet"
    [verify]="--quiet" [repair]="--quiet")
for command in "${!options[@]}"; do
    "$cli" help "$command" > "help-$command" || fail "help $command"
    "$cli" "$command" --help > "dash-$command" || fail "$command --help"
    "$cli" "$command" x -h > "h-$command" || fail "$command x -h"
    { cmp -s "help-$command" "dash-$command" && cmp -s "help-$command" "h-$command"; } ||
        fail "$command: help COMMAND and COMMAND --help differ"
    grep -q "^Usage: shardix-cli $command " "help-$command" || fail "$command: no synopsis"
    for option in ${options[$command]} --help; do
        grep -q -- "^  \(-h, \)\?$option\b" "help-$command" || fail "$command: $option not described"
    done
    (($(wc -l < "help-$command") < 40)) || fail "$command: its usage is the manual"
done

# A command that is not there is named, with the one meant; help of one too.
rc=0
"$cli" sgement x 1 2> err || rc=$?
{ [[ $rc -eq 2 ]] && grep -q "unknown command 'sgement'; did you mean 'segment'?" err; } ||
    fail "a misspelt command: status $rc, $(cat err)"
rc=0
"$cli" frobnicate 2> err || rc=$?
{ [[ $rc -eq 2 ]] && grep -q "unknown command 'frobnicate'$" err; } || fail "an unknown command: $(cat err)"
expect_usage_error help frobnicate
expect_usage_error help segment assemble
rc=0
"$cli" segment one x 1 2> err || rc=$?
{ [[ $rc -eq 2 ]] && grep -q "Try 'shardix-cli help segment'" err; } || fail "segment COUNT 1: $rc, $(cat err)"
{ "$cli" --version > version.txt && grep -q "2\.3" version.txt; } || fail "no version"

echo abc > one
echo def > two
head -c 6000 /dev/urandom > whole
expect_usage_error
expect_usage_error frobnicate
expect_usage_error segment --force one cut 12345
for count in "1 2" 3x -1 abc "" 0 1 1000; do expect_usage_error segment one cut "$count"; done
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
