#!/usr/bin/env bash
# Times the desktop program against shardix-cli, driven as a user would drive
# it: the last step is set up by keyboard and mouse, then one press of Enter (or
# a click on OK) starts the run, and the completion message's window appearing
# ends it (bench/keytime). The command-line tool runs on the same files in the
# same round, before or after the program in turn. The completion message is
# known by its title, "Shardix!" (the main window is up already). The page cache
# is warm, and on both sides the last run's outputs are removed (and an append's
# target made again) just before the timed run, never seconds before: a virtual
# machine that hands freed memory back to its host a few seconds after it is
# freed makes a run that writes into such memory several times slower.
#
#   bench/gui.sh [SIZE_MIB] [ROUNDS]        (defaults: 1024 MiB, 7 rounds)
#   OPS="segment append" VERBOSE=1 bench/gui.sh   (some commands; every round's times)
#
# Runs its own X server (Xvfb) with a window manager (openbox) on display :7.
# Each command's program stays open across the rounds; the first round of each
# includes what the program does once (its first message box).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
size_mib=${1:-1024}
rounds=${2:-7}
build=${BUILD:-$here/../build}
bash "$here/../scripts/install-missing.sh" xvfb openbox xdotool x11-utils libx11-dev libxtst-dev \
    sqlcipher time
work=$(mktemp -d "${BENCH_DIR:-/tmp}/shardix-gui.XXXXXX")
export DISPLAY=:7
# The processes this script started, by their ids: the X server, the window
# manager and the program of the command being timed.
xvfb='' openbox='' program=''
stop() { # PID...: stops those of them that were started, and waits for them to end
    local pid
    for pid in "$@"; do
        [[ -n $pid ]] || continue
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
cleanup() {
    stop "$program" "$openbox" "$xvfb"
    rm -rf "$work"
}
trap cleanup EXIT
cc -O2 -o "$work/keytime" "$here/keytime.c" -lX11 -lXtst
Xvfb :7 -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
openbox >/dev/null 2>&1 &
openbox=$!
sleep 1

echo "Preparing ${size_mib} MiB of random bytes in $work ..."
mkdir "$work/seg" "$work/asm" "$work/app" "$work/out"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$work/seg/src"
cp "$work/seg/src" "$work/app/src"
keep=$(( $(stat -c %s "$work/seg/src") * 2 / 5 ))
head -c "$keep" "$work/seg/src" > "$work/prefix"
"$build/shardix-cli" segment "$work/seg/src" "$work/asm/seg" 10
for d in seg asm app; do
    "$build/shardix-make-store" "$work/$d/shardix.mdb"
    sqlcipher "$work/$d/shardix.mdb" "PRAGMA key='658lock-ofthefiles'; UPDATE settings SET showAgain = 0;" >/dev/null
done
# Freshly written pages cost their first readers more: read everything a few
# times, and run each command three times on each side untimed, before the rounds.
for _ in 1 2 3; do cat "$work/seg/src" "$work/app/src" "$work/prefix" "$work"/asm/seg* > /dev/null; done

wait_window() { xdotool search --sync --onlyvisible --name "$1" >/dev/null; sleep 0.3; }
# Clicks at (x, y) twips of the client area of the window named $1; a fourth
# argument is what xdotool does there instead of "click 1" ("": nothing).
click_at() {
    local id x y action=(click 1)
    (($# < 4)) || read -ra action <<< "$4"
    id=$(xdotool search --onlyvisible --name "$1" | head -n 1)
    x=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {print $4}')
    y=$(xwininfo -id "$id" | awk '/Absolute upper-left Y/ {print $4}')
    xdotool mousemove $((x + $2 / 15)) $((y + $3 / 15)) "${action[@]}"
    sleep 0.2
}
start_program() {
    (cd "$work/$1" && exec "$build/shardix" >/dev/null 2>&1) &
    program=$!
    wait_window '^Shardix!$'
}
stop_program() { stop "$program"; program=''; sleep 0.5; }
timed_cli() { # LABEL COMMAND...
    local label=$1; shift
    sync
    local t0=$EPOCHREALTIME
    "$@"
    awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN {printf "%.6f\n", b - a}' >> "$work/$label.cli"
}

# The last step of each command, set up in the program and timed.
gui_segment() {
    xdotool key alt+f s; wait_window "file to SEGMENT"
    click_at "file to SEGMENT" 4300 2870; xdotool key ctrl+a; xdotool type src; xdotool key Return
    wait_window "BASE name"
    xdotool type out; xdotool key Tab; xdotool type 10
    rm -f "$work"/seg/out*; sync
    "$work/keytime" Return "Shardix!" >> "$work/seg.gui"
    sleep 0.2; xdotool key Return; sleep 0.5
}
gui_assemble() {
    # The last output out of the program's folder, so that the list of pieces
    # stays as it was, and kept until the run.
    [[ -e $work/asm/joined ]] && mv "$work/asm/joined" "$work/stale"
    xdotool key alt+f a; wait_window "files to ASSEMBLE"
    # seg1, seg10, seg2 .. seg9 and the store last: all but the last
    click_at "files to ASSEMBLE" 3500 330; xdotool key shift+End shift+Up
    click_at "files to ASSEMBLE" 700 3420; wait_window "choice"; xdotool key Return
    wait_window "NAME for assembled"
    xdotool type joined
    rm -f "$work/stale"; sync
    "$work/keytime" Return "Shardix!" >> "$work/asm.gui"
    sleep 0.2; xdotool key Return; sleep 0.5
}
gui_append() {
    [[ -e $work/app/target ]] || cp "$work/prefix" "$work/app/target"
    xdotool key alt+f p; wait_window "append TO"
    click_at "append TO" 4300 2870; xdotool key ctrl+a; xdotool type target; xdotool key Return
    wait_window "append FROM"
    click_at "append FROM" 4300 3500; xdotool type src
    click_at "append FROM" 700 3420 "" # the pointer on OK
    rm -f "$work/app/target"; cp "$work/prefix" "$work/app/target"; sync
    "$work/keytime" click "Shardix!" >> "$work/app.gui"
    sleep 0.2; xdotool key Return; sleep 0.5
    cmp -s "$work/app/target" "$work/app/src" || { echo "the program appended wrongly" >&2; exit 1; }
}
cli_segment() { rm -f "$work"/seg/out*; timed_cli seg "$build/shardix-cli" segment "$work/seg/src" "$work/seg/out" 10; }
cli_assemble() { # into a folder of its own: the program's list of pieces stays as it was
    rm -f "$work/out/joined"
    timed_cli asm "$build/shardix-cli" assemble "$work/out/joined" "$work"/asm/seg{1..10}
}
cli_append() {
    rm -f "$work/app/target"; cp "$work/prefix" "$work/app/target"
    timed_cli app "$build/shardix-cli" append "$work/app/target" "$work/app/src"
}

# One program for each command, kept open across the rounds, as a user would.
for op in ${OPS:-segment assemble append}; do
    key=$(case $op in segment) echo seg ;; assemble) echo asm ;; append) echo app ;; esac)
    start_program "$key"
    for _ in 1 2 3; do "gui_$op"; "cli_$op"; done # untimed: the first runs warm things up
    rm "$work/$key.cli" "$work/$key.gui"
    for ((i = 1; i <= rounds; i++)); do
        echo "$op: round $i of $rounds"
        if ((i % 2)); then "gui_$op"; "cli_$op"; else "cli_$op"; "gui_$op"; fi
    done
    stop_program
done

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
echo
echo "File: $size_mib MiB, $rounds rounds; times are medians, ratios program / tool per round"
printf '%-10s %12s %9s %8s %8s\n' operation "program (s)" "tool (s)" median worst
for op in seg asm app; do
    [[ -s $work/$op.gui ]] || continue
    paste -d' ' "$work/$op.gui" "$work/$op.cli" | awk '{print $1 / $2}' > "$work/$op.ratio"
    [[ -n ${VERBOSE:-} ]] && paste "$work/$op.gui" "$work/$op.cli" "$work/$op.ratio" >&2
    printf '%-10s %12.3f %9.3f %8.2f %8.2f\n' "$op" "$(median < "$work/$op.gui")" \
        "$(median < "$work/$op.cli")" "$(median < "$work/$op.ratio")" \
        "$(sort -g "$work/$op.ratio" | tail -n 1)"
done
