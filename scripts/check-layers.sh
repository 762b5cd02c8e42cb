#!/usr/bin/env bash
# Checks the direction of the includes (see ARCHITECTURE.md): a library includes
# headers of its own and of the libraries below it only, never of one above it
# or beside it, in either form ("folder/x.h" or <folder/x.h>), and never by a
# path that climbs out of its folder ("../"); each engine library
# (engines/io, engines/names, ...) counts as a library of its own. The errors
# library, the engines and the command-line tool include no Qt. And no link
# without a use: a library or program that links one of ours includes one of
# its headers. The build enforces the directions through each library's include
# roots and links; this names the include. And the headers of engines/io,
# engines/checksums and engines/recovery raise nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

# The libraries each library may include from, besides itself.
engines="engines/io engines/checksums engines/names engines/manifest engines/operations engines/recovery"
declare -A below=(
    [errors]=""
    [engines/io]="errors"
    [engines/checksums]="errors engines/io"
    [engines/names]="errors engines/io"
    [engines/manifest]="errors engines/io engines/checksums engines/names"
    [engines/operations]="errors engines/io engines/checksums engines/names engines/manifest"
    [engines/recovery]="errors engines/io engines/checksums"
    [cli]="errors $engines"
    [store]="errors"
    [platform]="errors"
    [dialog]="errors $engines platform"
    [notices]="errors platform store"
    [app]="errors $engines store platform dialog notices"
    [tools]="errors $engines store"
)

# The library of each path read, one a line: its first folder, or its first
# two under engines/ (engines/io/Copy.h is of engines/io).
libraries_of() {
    sed -E 's#^(engines/[^/]+)/.*#\1#; t; s#/.*##'
}

problems=0
# Every folder with sources has its place, except the tests, which may use any.
for folder in $(git ls-files '*.cpp' '*.h' | grep / | libraries_of | sort -u); do
    if [[ $folder != tests && -z ${below[$folder]+set} ]]; then
        echo "$folder/: a folder of sources that has no layer here" >&2
        problems=$((problems + 1))
    fi
done
for folder in "${!below[@]}"; do
    allowed=" $folder ${below[$folder]} "
    while IFS=: read -r file line library; do
        # Only the project's own folders count; <sys/stat.h> is no layer.
        if [[ -n ${below[$library]+set} || -d ${library%%/*} ]] && [[ $library != . ]] &&
            [[ $allowed != *" $library "* ]]; then
            echo "$file:$line: $folder/ includes from $library/, which is not below it" >&2
            problems=$((problems + 1))
        fi
    done < <(git ls-files "$folder/*.cpp" "$folder/*.h" |
        xargs -r grep -HnE '^\s*#\s*include\s+["<][^">/]+/' |
        sed -E 's|^([^:]+):([0-9]+):\s*#\s*include\s+["<]([^">]+)[">].*|\1:\2:\3|' |
        sed -E 's#^([^:]+:[0-9]+:)(engines/[^/]+)/.*#\1\2#; t; s#^([^:]+:[0-9]+:)([^/]+)/.*#\1\2#')
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

# The libraries whose every function reports its failures as values (Result)
# raise nothing in their headers: no inline function raises, and none is
# declared never to return. What a .cpp raises, its guarded() catches; the
# tests of these libraries call the functions on failing files.
for folder in engines/io engines/checksums engines/recovery; do
    while read -r hit; do
        echo "$hit: $folder/ raises in a header; its failures are values" >&2
        problems=$((problems + 1))
    done < <(git ls-files "$folder/*.h" |
        xargs -r grep -HnE '^[^/]*(\bfail\(|\bthrow\b|rethrow_exception|valueOrRaise\(|\[\[noreturn\]\])')
done

# The folder whose headers a target of ours offers: shardix_io is engines/io,
# shardix_engines all of engines/, shardix_version the generated shardix/.
folder_of_target() {
    case $1 in
    shardix_engines) echo engines ;;
    shardix_version) echo shardix ;;
    shardix_*) if [[ -d engines/${1#shardix_} ]]; then echo "engines/${1#shardix_}"; else echo "${1#shardix_}"; fi ;;
    esac
}
# Each target_link_libraries of a library or program of ours, as
# "CMAKELISTS TARGET LINKED...", on one line.
links() {
    local list
    for list in $(git ls-files '*CMakeLists.txt' | grep -v '^tests/'); do
        { tr '\n' ' ' < "$list" | grep -oE 'target_link_libraries\([^)]*\)' || true; } |
            sed -E "s|^target_link_libraries\( *|$list |; s|\)$||"
    done
}
while read -r list target linked; do
    [[ " $linked " == *" INTERFACE "* ]] && continue
    user=$(folder_of_target "$target")
    [[ -n $user && -d $user ]] || user=$(dirname "$list")
    for item in $linked; do
        used=$(folder_of_target "$item")
        [[ -n $used ]] || continue
        if ! git ls-files "$user/*.cpp" "$user/*.h" |
            xargs -r grep -qE "^\s*#\s*include\s+[\"<]$used/"; then
            echo "$list: $target links $item but includes nothing of $used/" >&2
            problems=$((problems + 1))
        fi
    done
done < <(links)
((problems == 0)) || { echo "check-layers: $problems include(s), link(s) or raising header(s) against the layers" >&2; exit 1; }
echo "check-layers: every include goes to the same library or one below it, every link is used," \
    "the headers of io, checksums and recovery raise nothing"
