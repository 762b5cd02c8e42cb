#!/usr/bin/env bash
# The installed launcher, set up in a scratch prefix with a stand-in program that
# records the folder it was started in, how many arguments it got and the folder
# the user works in (SHARDIX_WORKING_FOLDER), and its arguments one a line.
# Usage: launcher.sh LAUNCHER PROGRAM_FROM_BIN STORE_FROM_BIN
set -euo pipefail
launcher=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

bin=$work/prefix/bin
mkdir -p "$bin" "$(dirname "$bin/$2")" "$(dirname "$bin/$3")" "$work/stubs"
install -m 755 "$launcher" "$bin/shardix"
# shellcheck disable=SC2016 # the stand-in expands these when it runs
printf '#!/bin/sh\necho "$PWD $# ${SHARDIX_WORKING_FOLDER-unset}" > "$STUB_LOG"\nprintf "%%s\\n" "$@" > "$STUB_LOG.args"\n' > "$bin/$2"
chmod 755 "$bin/$2"
pristine=$bin/$3
echo "pristine store" > "$pristine"
log=$work/started

# run ENV... : the launcher with only the given environment, from $from (by
# default $work), with the arguments in $args (none by default); its standard
# error goes to $work/err.
run() {
    rm -f "$log"
    local -a given=()
    [[ -n ${args:-} ]] && read -ra given <<< "$args"
    (cd "${from:-$work}" && env -i PATH="${STUB_PATH:-}/usr/bin:/bin" STUB_LOG="$log" "$@" \
        "$bin/shardix" "${given[@]}" 2>"$work/err")
}
# started_in FOLDER [WORKING]: the program started in FOLDER without arguments,
# told that the user works in WORKING (by default $work, where run starts).
started_in() { [[ -f $log && $(cat "$log") == "$1 0 ${2-$work}" ]]; }

# A new user: the folder is made private, the pristine store copied, nothing else left.
run HOME="$work/new" || fail "new user: $(cat "$work/err")"
folder=$work/new/.local/share/shardix
started_in "$folder" || fail "new user: not started in $folder without arguments"
cmp -s "$pristine" "$folder/shardix.mdb" || fail "new user: store not copied"
[[ $(stat -c %a "$folder") == 700 ]] || fail "new user: data folder not private"
[[ $(ls -A "$folder") == shardix.mdb ]] || fail "new user: left $(find "$folder" -mindepth 1 -printf '%f ')"

# The user's folder: the one the launcher was started in, from a terminal; from
# the menu (--from-menu), empty: the program takes the home folder. One told
# already is kept.
mkdir -p "$work/new/My Documents"
{ from="$work/new/My Documents" run HOME="$work/new" && started_in "$folder" "$work/new/My Documents"; } ||
    fail "started in My Documents: $(cat "$log")"
rm -f "$log"
{ (cd "$work" && env -i PATH=/usr/bin:/bin STUB_LOG="$log" HOME="$work/new" "$bin/shardix" --from-menu) &&
    started_in "$folder" ""; } || fail "from the menu: $(cat "$log")"
{ run HOME="$work/new" SHARDIX_WORKING_FOLDER=/x && started_in "$folder" /x; } || fail "told: $(cat "$log")"

# A file to start with goes on as an absolute path after "--", from a
# terminal and from the menu (the entry's %f); an option goes to the program,
# which refuses the ones it does not know, before the data folder is made.
mkdir -p "$work/new/films"
{ from="$work/new" args="films/a.mkv" run HOME="$work/new" &&
    [[ $(cat "$log.args") == $'--\n'"$work/new/films/a.mkv" ]]; } || fail "a relative FILE: $(cat "$log.args")"
{ from="$work/new" args="--from-menu /x/b.iso" run HOME="$work/new" && [[ $(cat "$log") == "$folder 2 " ]] &&
    [[ $(cat "$log.args") == $'--\n/x/b.iso' ]]; } || fail "a FILE from the menu: $(cat "$log.args")"
{ args="--bogus" run HOME="$work/none2" && [[ $(cat "$log.args") == --bogus && ! -e $work/none2 ]]; } ||
    fail "an unknown option: $(cat "$log.args")"

# --help and --version go to the program, before the data folder is made.
for option in --help --version; do
    rm -f "$log"
    (cd "$work" && env -i PATH=/usr/bin:/bin STUB_LOG="$log" HOME="$work/none" "$bin/shardix" "$option") ||
        fail "$option"
    [[ $(cat "$log") == "$work 1 unset" && ! -e $work/none ]] || fail "$option: $(cat "$log")"
done

# A store that is there, in any capitals, is kept as it is.
echo "user's setting" > "$folder/shardix.mdb"
{ run HOME="$work/new" && started_in "$folder"; } || fail "second start"
grep -q "user's setting" "$folder/shardix.mdb" || fail "existing store overwritten"
mv "$folder/shardix.mdb" "$folder/ShardiX.MDB"
{ run HOME="$work/new" && started_in "$folder"; } || fail "start with ShardiX.MDB"
[[ $(ls -A "$folder") == ShardiX.MDB ]] || fail "a second store beside ShardiX.MDB"

# XDG_DATA_HOME when absolute; a relative or empty one is ignored.
{ run HOME="$work/h" XDG_DATA_HOME="$work/xdg" && started_in "$work/xdg/shardix"; } || fail "XDG_DATA_HOME"
for value in xdg ""; do
    { run HOME="$work/h" XDG_DATA_HOME="$value" && started_in "$work/h/.local/share/shardix"; } ||
        fail "XDG_DATA_HOME='$value' not ignored"
done
{ run XDG_DATA_HOME="$work/nohome" && started_in "$work/nohome/shardix"; } || fail "HOME unset"

# Failures: a message on standard error, status 1, the program not started.
fails_with() {
    local rc=0
    run "${@:2}" || rc=$?
    [[ $rc -eq 1 && ! -e $log ]] || fail "$1: status $rc, or the program started"
    grep -q "^shardix: .*$1" "$work/err" || fail "$1: message was '$(cat "$work/err")'"
}
printf '#!/bin/sh\n' > "$work/stubs/getent"
chmod 755 "$work/stubs/getent"
STUB_PATH=$work/stubs: fails_with "no home folder" HOME=relative
touch "$work/file"
fails_with "cannot create the data folder $work/file/shardix: Not a directory" XDG_DATA_HOME="$work/file"
mkdir -p "$work/dir/shardix/shardix.mdb"
fails_with "cannot put a settings store" XDG_DATA_HOME="$work/dir"

# A copy cut short leaves no store, not even half of one, and no temporary file.
# shellcheck disable=SC2016 # the stand-in expands these when it runs
printf '#!/bin/sh\nhead -c 3 "$2" > "$3"; echo "cp: error writing: No space left on device" >&2; exit 1\n' \
    > "$work/stubs/cp"
chmod 755 "$work/stubs/cp"
STUB_PATH=$work/stubs: fails_with "No space left on device" XDG_DATA_HOME="$work/full"
[[ -z $(ls -A "$work/full/shardix") ]] || fail "cut copy left $(ls -A "$work/full/shardix")"

mv "$pristine" "$pristine.gone"
fails_with "pristine settings store .* is missing" XDG_DATA_HOME="$work/broken"
echo "launcher: all checks passed"
