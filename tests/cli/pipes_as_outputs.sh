#!/usr/bin/env bash
# Pipes as outputs are refused at once, never waited on, and before any piece
# is written.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

echo abc > one
echo def > two
refused_pipe() {
    local rc=0
    timeout 10 "$cli" "$@" 2>err || rc=$?
    { [[ $rc -eq 1 ]] && grep -q "it is a pipe" err; } || fail "pipe as output: status $rc for $*"
}
mkfifo fifo
refused_pipe assemble --force fifo one two
mkfifo fif2
refused_pipe segment --force one fif 3
[[ ! -e fif1 ]] || fail "a piece was written before a later pipe was refused"
refused_pipe append fifo one
passed
