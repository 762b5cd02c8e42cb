#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test
# through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh -DSHARDIX_WERROR=ON
cd build
ctest --output-on-failure -j"$(nproc)"
