#!/usr/bin/env bash
# Takes screenshots of the desktop program at every step of its three file
# commands, of each message box those steps show, of the notice before Append,
# of the About window and of the start-up boxes, driven by the keyboard under
# Xvfb and openbox. Two builds' screenshots compared show whether a change of
# the code changed what the user sees:
#
#   scripts/screenshots.sh BUILD_A shots-a
#   scripts/screenshots.sh BUILD_B shots-b
#   scripts/screenshots.sh --compare shots-a shots-b
#
# A text cursor blinks, so each view is taken three times, a third of a second
# apart; two builds match when each view shows the same set of images. The
# files lie in one fixed folder (the lists show its path), made anew each time.
# Runs its own X server on DISPLAY (default :42) and stops what it started by
# the ids it started them with.
set -euo pipefail

if [[ ${1:-} == --compare ]]; then
    # Each side: one folder of screenshots, or several separated by commas
    # (runs of one build, for views whose focus depends on the window system's
    # timing); a view is the same when both sides show the same set of images.
    IFS=, read -ra a <<<"$2"
    IFS=, read -ra b <<<"$3"
    differing=0
    images() { # VIEW FOLDER...: the view's distinct images, as checksums of their pixels
        local view=$1
        shift
        for folder in "$@"; do
            for f in "$folder/$view".*.png; do identify -format '%#\n' "$f"; done
        done | sort -u
    }
    for view in $(find "${a[@]}" "${b[@]}" -name '*.png' -printf '%f\n' |
        sed 's/\.[0-9]\.png$//' | sort -u); do
        if [[ $(images "$view" "${a[@]}") == "$(images "$view" "${b[@]}")" ]]; then
            echo "same       $view ($(images "$view" "${a[@]}" | wc -l) distinct image(s))"
        else
            pixels=$(compare -metric AE "${a[0]}/$view.1.png" "${b[0]}/$view.1.png" null: 2>&1 || true)
            echo "DIFFERENT  $view ($pixels pixels differ in the first images)"
            differing=$((differing + 1))
        fi
    done
    ((differing == 0)) || { echo "$differing view(s) differ" >&2; exit 1; }
    exit 0
fi

build=$(realpath "$1")
out=$(mkdir -p "$2" && realpath "$2")
display=${DISPLAY_NUMBER:-:42}
work=/tmp/shardix-screenshots
rm -f "$out"/*.png
rm -rf "$work"
mkdir -p "$work/store" "$work/files" "$work/nostore"
"$build/shardix-make-store" "$work/store/shardix.mdb" >/dev/null
seq 1 20000 >"$work/files/movie"
head -c 40000 "$work/files/movie" >"$work/files/short"

export DISPLAY=$display
program=
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
stop() {
    for id in $program ${wm:-} $xvfb; do
        kill "$id" 2>/dev/null || true
    done
}
trap stop EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
wm=$!
sleep 1

# Settles, then takes the screen three times: VIEW.1.png to VIEW.3.png.
shot() {
    sleep 0.8
    for i in 1 2 3; do
        import -window root "$out/$1.$i.png"
        sleep 0.33
    done
}
key() { xdotool key --delay 80 "$@"; sleep 0.4; }
# Clicks at (x, y) pixels of the window named $1, then moves the pointer out of
# the way, so that nothing shows as hovered.
click_in() {
    xdotool mousemove --window "$(xdotool search --onlyvisible --name "$1" | head -n 1)" "$2" "$3" \
        click 1 mousemove 0 0
    sleep 0.4
}
type_text() { xdotool type --delay 40 "$1"; sleep 0.3; }
start() { # FOLDER: the program started there
    (cd "$1" && SHARDIX_WORKING_FOLDER="$work/files" exec "$build/shardix" >/dev/null 2>&1) &
    program=$!
}
wait_for() { xdotool search --sync --onlyvisible --name "$1" >/dev/null; }
ended() { wait "$program" || true; program=; }

# Started without a store: asked for it; Cancel ends the program.
start "$work/nostore"
wait_for '^Shardix!$'
shot start-find-store
key Escape
shot start-no-store
key Return
ended

start "$work/store"
wait_for '^Shardix!$'
xdotool mousemove 0 0
shot main-window
key alt+f
shot main-file-menu
key s
wait_for 'to SEGMENT$'
shot segment-1
key alt+o
shot segment-1-no-name
key Return
type_text 'a/b'
key alt+o
shot segment-1-path-in-name
key Return
type_text 'film'
key alt+o
shot segment-1-no-such-file
key Return
type_text 'movie'
key alt+o
wait_for 'BASE name for each segment$'
shot segment-2
key alt+o
shot segment-2-count-below-two
key Return
type_text '3'
key shift+Tab
type_text 'part'
shot segment-2-filled
key alt+o
shot segment-done
key Return

key alt+f s
wait_for 'to SEGMENT$'
click_in 'to SEGMENT$' 288 191 # the name box
type_text 'movie'
key Return
wait_for 'BASE name for each segment$'
type_text 'part'
key Tab
type_text '3'
key alt+o
shot segment-overwrite-question
key Return
shot segment-2-after-no
key Escape

key alt+f a
wait_for 'files to ASSEMBLE$'
shot assemble-1
key alt+o
shot assemble-1-too-few
key Return
type_text 'part1'
key shift+Down shift+Down
shot assemble-1-picked
key alt+o
shot assemble-reorder-question
key Return
wait_for 'NAME for assembled file$'
shot assemble-2
key alt+o
shot assemble-2-no-name
key Return
type_text 'whole'
key alt+o
shot assemble-done
key Return

key alt+f p
wait_for '^Shardix! - Info$'
shot append-notice
key Return
wait_for 'file to append TO$'
shot append-1
key alt+o
shot append-1-no-name
key Return
type_text 'short'
key alt+o
wait_for 'file\(s\) to append FROM$'
shot append-2
key alt+o
shot append-2-none-picked
key Return
type_text 'movie'
shot append-2-picked
key alt+o
shot append-done
key Return

key alt+h a
wait_for '^About Shardix!$'
shot about
key Return
key alt+f x
ended
cmp -s "$work/files/short" "$work/files/movie" || echo "append: the file was not completed" >&2
echo "screenshots: $(find "$out" -name '*.1.png' | wc -l) views in $out"
