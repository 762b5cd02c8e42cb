#!/usr/bin/env bash
# Checks that no function is too hard to hold in one's head, and no file too
# long: clang-tidy's readability-function-cognitive-complexity at 25 and
# readability-function-size at 60 lines a function (the lines of its body, as
# clang-tidy counts them), over every C++ source but the tests and every header
# they include; and no source, header or test (the tests' scripts too) of more
# than 400 lines. Needs the compile commands of build/ (scripts/test.sh makes
# them); installs clang-tidy when it is missing. Given sources (FILE.cpp ...),
# clang-tidy checks those and their headers only; the lengths are always
# checked in full.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-missing.sh clang-tidy
[[ -f build/compile_commands.json ]] || { echo "check-complexity: build first (bash scripts/setup.sh)" >&2; exit 1; }

config='{Checks: "-*,readability-function-cognitive-complexity,readability-function-size",
         WarningsAsErrors: "*",
         CheckOptions: [{key: readability-function-cognitive-complexity.Threshold, value: 25},
                        {key: readability-function-cognitive-complexity.DescribeBasicIncrements, value: false},
                        {key: readability-function-size.LineThreshold, value: 60}]}'
if (($# > 0)); then
    sources=("$@")
else
    mapfile -t sources < <(git ls-files '*.cpp' | grep -v '^tests/')
fi
# A header is seen through its library's include root (build/include-roots/
# errors/errors/Error.h, build/include-roots/engines-io/engines/io/Copy.h) or in
# its folder; either way it is named by its place in the sources.
folders='(errors|engines|store|platform|dialog|notices|app|cli|tools)/'
problems=0
if ! printf '%s\0' "${sources[@]}" |
    xargs -0 -n 8 -P "$(nproc)" clang-tidy -p build --quiet --config="$config" \
        --header-filter="^$PWD/(build/include-roots/[^/]+/)?$folders" \
        > build/check-complexity.log 2>&1; then
    grep -E "warning:|error:" build/check-complexity.log |
        sed -E "s|^$PWD/build/include-roots/[^/]+/||; s|^$PWD/||" | sort -u >&2
    problems=$((problems + 1))
fi
while read -r lines file; do
    if ((lines > 400)) && [[ $file != total ]]; then
        echo "$file: $lines lines, more than 400" >&2
        problems=$((problems + 1))
    fi
done < <(git ls-files '*.cpp' '*.h' 'tests/*.sh' | xargs wc -l)
((problems == 0)) || { echo "check-complexity: functions or files too large" >&2; exit 1; }
echo "check-complexity: every function within 25 of cognitive complexity and 60 lines, every file" \
    "(tests too) within 400 lines"
