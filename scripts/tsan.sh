#!/usr/bin/env bash
# Builds the engines' tests with ThreadSanitizer into build-tsan/ and runs them:
# the checksum readers, the verifier, the recovery engine's workers and the copy
# run threads of their own. The desktop program is not built (no engine thread
# runs there that these tests do not run), nor the large-file test (8 GiB).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-missing.sh g++ cmake ninja-build pkg-config libssl-dev libcli11-dev \
    libgtest-dev zlib1g-dev libgf-complete-dev par2

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSHARDIX_WERROR=ON \
    -DSHARDIX_BUILD_GUI=OFF -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
cmake --build build-tsan -j2 --target errors_tests io_tests checksums_tests names_tests \
    manifest_tests operations_tests shared_extents_tests sparse_files_tests recovery_tests

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
cd build-tsan
# Every test program built here; not the large file's (8 GiB), nor the tool's
# script tests (cli_*), which run shardix-cli, not built in this tree.
ctest --output-on-failure -j2 -E 'large_file|LargeFile|cli_matches|^cli_'
