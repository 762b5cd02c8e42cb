#!/usr/bin/env bash
# Checks that every C++ source and header of the repository is laid out as the
# repository's .clang-format says (clang-format --dry-run --Werror). Installs
# clang-format when it is missing. To lay out a file: clang-format -i FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-missing.sh clang-format
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"
echo "check-format: ${#sources[@]} files laid out as .clang-format says"
