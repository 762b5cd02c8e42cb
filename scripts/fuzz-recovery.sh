#!/usr/bin/env bash
# Builds the fuzzer of the recovery index parser with clang into build-fuzz/
# (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs it for
# SECONDS (default 600) on JOBS workers (default 1), from seeds made here: the
# indexes and a volume of small sets written by recovery-bench and by par2.
# The inputs it finds worth keeping grow in build-fuzz/corpus/ from run to
# run. Every input that makes it fail lands in tests/recovery/corpus/, which
# the tests replay (FuzzerCorpus.EveryInputIsHandled): fix the fault, then
# commit the input. The corpus there also holds the few inputs that reach
# every branch the runs found, chosen with
#   build-fuzz/par2_index_fuzzer -merge=1 -use_counters=0 NEW_DIR build-fuzz/corpus
#
#   scripts/fuzz-recovery.sh [SECONDS] [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
jobs=${2:-1}
corpus=$PWD/tests/recovery/corpus
fuzzer=$PWD/build-fuzz/par2_index_fuzzer
bash scripts/install-missing.sh clang-14 libclang-rt-14-dev cmake ninja-build pkg-config \
    libssl-dev zlib1g-dev libgf-complete-dev libcli11-dev par2
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSHARDIX_BUILD_GUI=OFF -DSHARDIX_BUILD_TESTS=OFF -DSHARDIX_BUILD_FUZZER=ON > /dev/null
cmake --build build-fuzz -j2 --target par2_index_fuzzer recovery-bench

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/seeds"
mkdir -p build-fuzz/corpus
found=$PWD/build-fuzz/corpus
# Seeds: whole indexes (their first byte 0: hashes fixed by the target) and an
# index followed by a volume.
(
    cd "$work"
    head -c 70000 /dev/urandom > data.one
    head -c 9000 /dev/urandom > data.two
    "$OLDPWD/build-fuzz/recovery-bench" create --quiet -s 4096 -r 20 ours.par2 data.one data.two
    par2 create -q -q -s2048 -c5 theirs.par2 data.one data.two
    for index in ours theirs; do
        { printf '\0'; cat "$index.par2"; } > "seeds/$index"
        volumes=("$index".vol*.par2)
        { printf '\0'; cat "$index.par2"; printf '\n--volume--\n'; cat "${volumes[0]}"; } \
            > "seeds/$index-volume"
    done
)
cd "$work"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$fuzzer" -max_total_time="$seconds" -jobs="$jobs" -workers="$jobs" -max_len=200000 \
    -rss_limit_mb=1024 -malloc_limit_mb=256 -artifact_prefix="$corpus/" "$found" seeds || true
tail -n 3 fuzz-*.log 2> /dev/null || true
echo "Inputs that failed, kept in $corpus:"
ls "$corpus"
