#!/usr/bin/env bash
# Installs the Debian packages Shardix! needs (only those missing) and builds
# everything into build/. Arguments go to CMake (scripts/test.sh passes
# -DSHARDIX_WERROR=ON). Run as root on Debian bookworm.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-missing.sh g++ cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev libgl-dev \
    libsqlcipher-dev sqlcipher libssl-dev libcli11-dev libgtest-dev libgmock-dev xvfb xauth time \
    help2man zlib1g-dev libgf-complete-dev par2

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build -j"$(nproc)"
