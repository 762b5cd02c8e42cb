#!/usr/bin/env bash
# SIGINT and SIGTERM stop a run between two pieces: 130 and 143, a message that
# names every file the run wrote, finished pieces too, each with its length in
# grouped digits, and those bytes kept. The source is sparse, so that the run
# lasts without taking much of the disk: its holes stay holes in an output file,
# but standard output gets every zero and a cut with checksums hashes them.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

truncate -s 40G sparse
# grouped N: N with its thousands set apart by commas.
grouped() { sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<< "$1"; }
set -m # a job of its own, whose SIGINT is not ignored as a background job's
for signal in INT:130 TERM:143; do
    rm -f stopped
    "$cli" assemble - sparse > stopped 2> err &
    pid=$!
    started+=("$pid")
    for ((i = 0; i < 3000; i++)); do
        [[ -s stopped ]] && break
        sleep 0.01
    done
    kill -"${signal%%:*}" "$pid"
    rc=0
    wait "$pid" || rc=$?
    started=() # ended: its id may be another process's now
    [[ $rc -eq ${signal##*:} ]] || fail "SIG${signal%%:*}: status $rc, $(cat err)"
    kept=$(stat -c %s stopped)
    [[ $(cat err) == "shardix-cli: The run was stopped after $kept bytes were written to standard output." ]] ||
        fail "SIG${signal%%:*}: $(cat err)"
    ((kept % 4000000 == 0 && kept < 40 * 1024 ** 3)) || fail "SIG${signal%%:*}: $kept bytes kept"
    cmp -s -n "$kept" stopped sparse || fail "SIG${signal%%:*}: the bytes kept differ"
done

# A cut stopped in its third piece names the two it finished and the third.
"$cli" segment --manifest --size 100M sparse p. 2> err &
pid=$!
started+=("$pid")
for ((i = 0; i < 3000; i++)); do
    [[ -s p.3 ]] && break
    sleep 0.01
done
kill -INT "$pid"
rc=0
wait "$pid" || rc=$?
started=()
[[ $rc -eq 130 ]] || fail "segment: status $rc, $(cat err)"
last=$(find . -name 'p.*' | sort -V | tail -n 1)
last=${last#./}
n=${last#p.}
expected="shardix-cli: The run was stopped.  It left $n files: "
if [[ $(stat -c %s "$last") == 104857600 ]]; then # stopped between two pieces
    expected+="\"p.1\" to \"$last\", $n files of 104,857,600 bytes each."
elif ((n == 3)); then
    expected+="\"p.1\" and \"p.2\" with 104,857,600 bytes each"
else
    expected+="\"p.1\" to \"p.$((n - 1))\", $((n - 1)) files of 104,857,600 bytes each"
fi
[[ $expected == *. ]] || expected+="; and \"$last\" with $(grouped "$(stat -c %s "$last")") bytes."
[[ $(cat err) == "$expected" ]] || fail "segment: $(cat err), not $expected"
set +m
passed
