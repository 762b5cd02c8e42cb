# shellcheck shell=bash
# Sourced by each test of shardix-cli, with the tool as its first argument:
# stops the test at the first command that fails, makes a scratch folder of the
# test's own and enters it, and, when the test ends, passed or failed, stops the
# processes it started (those whose ids it added to `started`) and removes the
# folder.
set -euo pipefail
# shellcheck disable=SC2034 # read by the tests that source this file
cli=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/shardix-cli-test.XXXXXX")
started=()
cleanup() {
    local pid
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    chmod -R u+rwx "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# expect_usage_error ARGUMENTS...: the tool ends with a usage error (status 2).
expect_usage_error() {
    local rc=0
    "$cli" "$@" 2>/dev/null || rc=$?
    [[ $rc -eq 2 ]] || fail "not a usage error (status $rc): $*"
}

# passed: the last line of a test that got to its end.
passed() {
    echo "$(basename "$0" .sh): all checks passed"
}
