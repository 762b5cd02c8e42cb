#!/usr/bin/env bash
# shardix-make-store is harmless: --help and --version write no file, an
# existing file is left alone without --force, and --force replaces it with a
# store. Usage: make_store.sh MAKE_STORE VERSION
set -euo pipefail
tool=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$tool" --help | grep -q "^Usage: shardix-make-store \[--force\] PATH" || fail "--help"
[[ $("$tool" --version) == "shardix-make-store (Shardix!) $version" ]] || fail "--version"
[[ -z $(ls -A) ]] || fail "an option was taken for a file: $(ls -A)"
rc=0
"$tool" 2> err || rc=$?
[[ $rc -eq 2 ]] || fail "no PATH: status $rc"

echo "a video" > video.mp4
rc=0
"$tool" video.mp4 2> err || rc=$?
[[ $rc -eq 1 && $(cat video.mp4) == "a video" ]] || fail "replaced an existing file (status $rc)"
grep -q '"video.mp4" already exists; not replaced (use --force to replace it).' err || fail "$(cat err)"
"$tool" --force video.mp4 || fail "--force"
[[ $(head -c 15 video.mp4) != "SQLite format 3" && $(stat -c %s video.mp4) -gt 1000 ]] ||
    fail "--force wrote no store"
{ "$tool" -- -new.mdb && [[ -s -new.mdb ]]; } || fail "a name after --"
[[ $(find . -mindepth 1 -printf '%f\n' | sort | tr '\n' ' ') == "-new.mdb err video.mp4 " ]] ||
    fail "left $(ls -A)"
echo "make-store: all checks passed"
