#!/usr/bin/env bash
# SIGINT and SIGTERM stop a run between two pieces: 130 and 143, a message that
# names the output and what it holds, and those bytes kept. The source is
# sparse, so that the run lasts without taking the disk.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

truncate -s 40G sparse
set -m # a job of its own, whose SIGINT is not ignored as a background job's
for signal in INT:130 TERM:143; do
    rm -f stopped
    "$cli" assemble stopped sparse 2> err &
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
    [[ $(cat err) == "shardix-cli: The run was stopped.  \"stopped\" was left with $kept bytes.  shardix-cli append completes it from the same pieces." ]] ||
        fail "SIG${signal%%:*}: $(cat err)"
    ((kept % 4000000 == 0 && kept < 40 * 1024 ** 3)) || fail "SIG${signal%%:*}: $kept bytes kept"
    cmp -s -n "$kept" stopped sparse || fail "SIG${signal%%:*}: the bytes kept differ"
done
set +m
passed
