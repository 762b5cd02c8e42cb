#!/usr/bin/env bash
# Checks the direction of the includes (see ARCHITECTURE.md): a folder includes
# headers of its own and of the layers below it only, never of a layer above it
# or beside it, in either form ("folder/x.h" or <folder/x.h>), and never by a
# path that climbs out of its folder ("../"); the errors library, the engines
# and the command-line tool include no Qt. The build enforces the same through
# each library's include roots and links; this names the include.
set -euo pipefail
cd "$(dirname "$0")/.."

# The folders each folder may include from, besides itself.
declare -A below=(
    [errors]=""
    [engines]="errors"
    [cli]="errors engines"
    [store]="errors"
    [platform]="errors"
    [dialog]="errors engines platform"
    [notices]="errors platform store"
    [app]="errors engines store platform dialog notices"
    [tools]="errors engines store"
)
problems=0
# Every folder with sources has its place, except the tests, which may use any.
for folder in $(git ls-files '*.cpp' '*.h' | grep / | cut -d/ -f1 | sort -u); do
    if [[ $folder != tests && -z ${below[$folder]+set} ]]; then
        echo "$folder/: a folder of sources that has no layer here" >&2
        problems=$((problems + 1))
    fi
done
for folder in "${!below[@]}"; do
    allowed=" $folder ${below[$folder]} "
    while IFS=: read -r file line folderIncluded; do
        if [[ $allowed != *" $folderIncluded "* ]]; then
            echo "$file:$line: $folder/ includes from $folderIncluded/, which is not below it" >&2
            problems=$((problems + 1))
        fi
    done < <(git ls-files "$folder/*.cpp" "$folder/*.h" |
        xargs -r grep -HnE '^\s*#\s*include\s+["<][^">/]+/' |
        sed -E 's|^([^:]+):([0-9]+):\s*#\s*include\s+["<]([^">/]+)/.*|\1:\2:\3|' |
        while IFS=: read -r file line included; do
            # Only the project's own folders count; <sys/stat.h> is no layer.
            if [[ -n ${below[$included]+set} || -d $included ]] && [[ $included != . ]]; then
                echo "$file:$line:$included"
            fi
        done)
    while read -r hit; do
        echo "$hit: $folder/ includes by a path that climbs out of its folder" >&2
        problems=$((problems + 1))
    done < <(git ls-files "$folder/*.cpp" "$folder/*.h" | xargs -r grep -HnE '^\s*#\s*include\s+["<]\.\./')
done
for folder in errors engines cli; do
    while read -r hit; do
        echo "$hit: $folder/ includes Qt" >&2
        problems=$((problems + 1))
    done < <(git ls-files "$folder/*.cpp" "$folder/*.h" | xargs -r grep -HnE '^\s*#\s*include\s+<Q')
done
((problems == 0)) || { echo "check-layers: $problems include(s) against the layers" >&2; exit 1; }
echo "check-layers: every include goes to the same layer or one below"
