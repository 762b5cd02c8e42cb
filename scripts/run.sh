#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program from the build
# folder, where its settings store shardix.mdb lies, with its file lists in the
# folder this script was started in, as the installed launcher does.
set -euo pipefail
export SHARDIX_WORKING_FOLDER=$PWD
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
exec ./shardix
