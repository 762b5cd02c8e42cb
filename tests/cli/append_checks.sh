#!/usr/bin/env bash
# Append checks what it completes: a target that is not the beginning of the
# sources, or one of them under another name, is left alone; a target it cannot
# read is no empty file.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

head -c 6000 /dev/urandom > whole
head -c 1000 /dev/urandom > other
head -c 2400 whole > prefix
cp prefix t
"$cli" append t other 2>err && fail "appended to a target that is not the beginning of the source"
{ grep -q "does not hold the beginning" err && cmp -s t prefix; } || fail "foreign target changed"

cp prefix t
chmod 200 t
chmod 755 .
rc=0
if [[ $(id -u) -eq 0 ]]; then
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$cli" append t whole 2>err || rc=$?
else
    "$cli" append t whole 2>err || rc=$?
fi
chmod 600 t
{ [[ $rc -eq 1 ]] && grep -q "Permission denied" err && cmp -s t prefix; } ||
    fail "an unreadable target: status $rc, $(cat err)"

echo 1 > s1
echo 2 > s2
cp s1 s1.kept
ln s1 t.link
"$cli" append t.link s1 s2 2>err && fail "appended to a link of a source"
{ grep -q '"t.link" and "s1" are one file' err && cmp -s s1 s1.kept; } || fail "$(cat err)"
passed
