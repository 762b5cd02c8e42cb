#!/usr/bin/env bash
# Builds the fuzzers of the readers of files a user may be handed by anyone
# with clang into build-fuzz/ (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 600) on JOBS
# workers (default 1): par2_index_fuzzer (recovery indexes and volumes, from
# seeds made here: the indexes and volumes of small sets written by
# recovery-bench and by par2) and checksum_list_fuzzer (checksum lists of
# every kind, .sfv and .crc files, from the corpus). The inputs they find
# worth keeping grow in build-fuzz/corpus-*/ from run to run. Every input that
# makes one fail lands in tests/recovery/corpus/par2/ or .../lists/, which the
# tests replay (FuzzerCorpus.*): fix the fault, then commit the input. The
# corpora there also hold the few inputs that reach every branch the runs
# found, chosen with
#   build-fuzz/FUZZER -merge=1 -use_counters=0 NEW_DIR build-fuzz/corpus-KIND
#
#   scripts/fuzz-recovery.sh [SECONDS] [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
jobs=${2:-1}
corpus=$PWD/tests/recovery/corpus
build=$PWD/build-fuzz
bash scripts/install-missing.sh clang-14 libclang-rt-14-dev cmake ninja-build pkg-config \
    libssl-dev zlib1g-dev libgf-complete-dev libcli11-dev par2
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSHARDIX_BUILD_GUI=OFF -DSHARDIX_BUILD_TESTS=OFF -DSHARDIX_BUILD_FUZZER=ON > /dev/null
cmake --build build-fuzz -j2 --target par2_index_fuzzer checksum_list_fuzzer recovery-bench

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/seeds"
mkdir -p build-fuzz/corpus-par2 build-fuzz/corpus-lists
# Seeds: whole indexes (their first byte 0: hashes fixed by the target), an
# index followed by a volume, and by two.
(
    cd "$work"
    head -c 70000 /dev/urandom > data.one
    head -c 9000 /dev/urandom > data.two
    "$build/recovery-bench" create --quiet -s 4096 -r 20 ours.par2 data.one data.two
    par2 create -q -q -s2048 -c5 theirs.par2 data.one data.two
    for index in ours theirs; do
        { printf '\0'; cat "$index.par2"; } > "seeds/$index"
        volumes=("$index".vol*.par2)
        { printf '\0'; cat "$index.par2"; printf '\n--volume--\n'; cat "${volumes[0]}"; } \
            > "seeds/$index-volume"
        { printf '\0'; cat "${volumes[0]}"; printf '\n--volume--\n'; cat "${volumes[1]}"; \
            printf '\n--volume--\n'; cat "$index.par2"; } > "seeds/$index-volumes"
    done
)
cd "$work"
# fuzz FUZZER KIND SEEDS...
fuzz() {
    local fuzzer=$1 kind=$2
    shift 2
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/$fuzzer" -max_total_time="$seconds" -jobs="$jobs" -workers="$jobs" \
        -max_len=200000 -rss_limit_mb=1024 -malloc_limit_mb=256 \
        -artifact_prefix="$corpus/$kind/" "$build/corpus-$kind" "$@" || true
    tail -n 3 fuzz-*.log 2> /dev/null || true
}
fuzz par2_index_fuzzer par2 seeds "$corpus/par2"
fuzz checksum_list_fuzzer lists "$corpus/lists"
echo "The corpora, with any input that failed, in $corpus:"
ls "$corpus"/*
