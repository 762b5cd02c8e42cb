#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program from the build
# folder, where its settings store shardix.mdb lies.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
exec ./shardix
