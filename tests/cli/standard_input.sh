#!/usr/bin/env bash
# segment --size SIZE - BASEPATH cuts a pipe as split -b cuts the file: with a
# manifest hashed on the way, which names the whole file after the base name
# and which sha256sum -c checks once the pieces are joined, and a join script
# that joins them into it; with --digits too. COUNT needs a length: a usage
# error with -. SIGTERM while the pipe is silent ends the run at once,
# keeping the whole pieces and no part of the next.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

head -c 5000003 /dev/urandom > src
mkdir got
head -c 5000003 src | "$cli" segment --size 1M --manifest --join-script - got/stream. ||
    fail "segment from a pipe"
split -b 1M src ref.
[[ $(find got -name 'stream.[0-9]*' | wc -l) -eq 5 ]] || fail "not 5 pieces: $(ls got)"
k=1
for ref in ref.*; do
    cmp -s "$ref" "got/stream.$k" || fail "got/stream.$k is not split's $ref"
    k=$((k + 1))
done
grep -q '  stream$' got/stream..sha256 || fail "the whole file is not named stream"
env -i PATH=/usr/bin:/bin dash got/stream..join.sh || fail "the join script"
cmp -s got/stream src || fail "the join script did not give the input"
(cd got && sha256sum -c --strict stream..sha256 > /dev/null) || fail "sha256sum -c"

head -c 250000 src | "$cli" segment --digits 3 --size 100K - d || fail "--digits 3 from a pipe"
[[ $(echo d*) == "d001 d002 d003" ]] || fail "names: $(echo d*)"
cat d001 d002 d003 | cmp -s - <(head -c 250000 src) || fail "--digits 3: other bytes"
expect_usage_error segment - q 3 < src
expect_usage_error segment --recovery 10 --size 1M - r < src

mkfifo feed
exec 3<> feed # a writer that stays, silent, so that the pipe never ends
head -c 5000 src >&3
"$cli" segment --size 2K - s < feed 2> err &
pid=$!
started+=("$pid")
for ((i = 0; i < 500; i++)); do
    [[ -e s2 ]] && break
    sleep 0.01
done
kill -TERM "$pid"
for ((i = 0; i < 500; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.01
done
kill -0 "$pid" 2>/dev/null && fail "SIGTERM did not stop a run that waits for its input"
rc=0
wait "$pid" || rc=$?
started=()
exec 3>&-
[[ $rc -eq 143 ]] || fail "SIGTERM: status $rc, $(cat err)"
# s2 is there once 4096 bytes were read; the rest of the 5000 may come later.
grep -Eq 'stopped after (4[0-9]{3}|5000) bytes of "standard input"\.  "s2" and the pieces before it' \
    err || fail "$(cat err)"
cmp -s <(cat s1 s2) <(head -c 4096 src) || fail "the whole pieces kept are not the input's"
[[ -z $(find . -name '*s3*') ]] || fail "a part of s3 is left: $(find . -name '*s3*')"
passed
