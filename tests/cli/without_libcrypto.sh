#!/usr/bin/env bash
# A system whose libcrypto cannot be loaded (here: a file that is no library
# found first on the library path): every run that needs a SHA-256 ends with
# status 1 and says why, the cut of a file and that of standard input alike,
# and verify says it for each file; MD5, which is our own, still works.
# shellcheck source=tests/cli/common.sh
source "$(dirname "$0")/common.sh"

mkdir lib
echo "no library" > lib/libcrypto.so.3
without() { LD_LIBRARY_PATH="$PWD/lib" "$cli" "$@"; }
why="The checksums need the system's libcrypto (Debian's libssl3), which cannot be loaded: "
head -c 300000 /dev/urandom > f
"$cli" segment --manifest f p 2 || fail "segment with libcrypto"

expect_refusal() {
    local rc=0
    without "$@" > out 2> err < f || rc=$?
    [[ $rc -eq 1 ]] || fail "status $rc, not 1: $* $(cat err)"
    grep -qF "$why$PWD/lib/libcrypto.so.3: " out err || fail "$*: $(cat err)"
}
expect_refusal segment --manifest f q 2
expect_refusal segment --manifest --size 100K - s
expect_refusal verify p.sha256
[[ $(grep -cF "cannot be read: $why" out) -eq 3 ]] || fail "verify: $(cat out)"

md5sum p1 p2 f > p.md5
without verify p.md5 > out || fail "verify of MD5s: $(cat out)"
[[ $(grep -c ': OK$' out) -eq 3 ]] || fail "verify of MD5s: $(cat out)"
passed
