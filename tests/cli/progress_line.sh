#!/usr/bin/env bash
# The progress line: on a terminal, and cleared; nothing of it elsewhere or
# with --quiet.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

head -c 30000000 /dev/urandom > big
script -qec "$cli segment --size 10M big q" /dev/null < /dev/null > screen || fail "under a terminal"
grep -q $'segment: [0-9]*%  .* of 28.6 MiB.*\r\e\\[K' screen ||
    fail "no progress line on a terminal: $(cat -A screen)"
script -qec "$cli assemble --quiet qq q1 q2 q3" /dev/null < /dev/null > screen
[[ ! -s screen ]] || fail "a progress line with --quiet"
{ "$cli" segment --force --manifest --size 10M big q 2> err &&
    "$cli" verify q.sha256 > /dev/null 2>> err &&
    "$cli" assemble --force qq q1 q2 q3 2>> err; } || fail "runs for the progress line"
[[ $(cat err) == 'shardix-cli: "qq" matches 3 pieces and the whole file in "q.sha256".' ]] ||
    fail "standard error is not a terminal, yet: $(cat -A err)"
passed
