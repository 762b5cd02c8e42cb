#!/usr/bin/env bash
# Refusals and their exit status (1): an existing output without --force, a
# TARGET among the inputs, counts the file cannot take, a missing input; nothing
# destroyed before the inputs are known, messages never in an output, and the
# file-size limit a failure, not the end of the process.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

echo abc > one
echo def > two
"$cli" assemble one one two 2>/dev/null && fail "replaced an existing file without --force"
"$cli" assemble --force one one two 2>err && fail "assembled into one of its inputs"
grep -q "is one of the files to be assembled" err || fail "no reason given for the refusal"
"$cli" segment one part 2
"$cli" segment one part 2 2>/dev/null && fail "replaced an existing first piece without --force"
"$cli" segment --force one part 9 2>err && fail "cut 4 bytes into 9"
grep -q "Spock" err || fail "wrong message for a count larger than the file"
"$cli" append one missing 2>err && fail "appended from a missing file"
grep -q '"missing": A file with the specified name does not exist' err || fail "missing source not named"

# Nothing destroyed before the inputs are known; messages never land in an output.
echo precious > keep
"$cli" assemble --force keep one misspelled 2>/dev/null && fail "assembled from a missing input"
[[ $(cat keep) == precious ]] || fail "the target was emptied before its inputs were checked"
rc=0
"$cli" assemble out.bin one one misspelled 2>&- || rc=$?
[[ $rc -eq 1 && ! -s out.bin ]] || fail "standard error closed: status $rc, or text in the output"

# Beyond the file-size limit a write fails with a message; the process is not killed.
head -c 6000 /dev/urandom > whole
rc=0
(ulimit -f 8; exec "$cli" assemble --force big whole whole) 2>err || rc=$?
{ [[ $rc -eq 1 ]] && grep -q "largest size allowed" err; } || fail "file-size limit: status $rc"
passed
