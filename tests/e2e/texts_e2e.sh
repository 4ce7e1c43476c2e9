#!/usr/bin/env bash
# Runs the real program on the X display: the texts of the screen show in the
# font at their places, the frame rate's label and figure stay apart, and the
# figure changes; C switches to the camera the mouse turns, and the mouse
# turns it; Escape ends it with status 0.
# Usage: texts_e2e.sh <branto> <output folder>
set -u
branto=$1 out=$2
mkdir -p "$out"
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/view.sh"
require xdotool xwininfo import convert compare

# The white pixels of a box: the texts are white, the scene is not.
whites() { convert "$1" -crop "$2" +repage -colorspace Gray -threshold 90% "$3"; }

start 40 texts
answer_question Escape
main_window
xdotool windowfocus "$id"

# The texts: white glyphs in boxes from their top-left corners.
sleep 1.2
shot texts1
for corner in 81,30 204,30 819,30 819,691; do
    x=${corner%,*} y=${corner#*,}
    level=$(brightest texts1 "90x26+$x+$y")
    awk -v l="$level" 'BEGIN { exit !(l > 0.9) }' || fail "no white text at ($x,$y): $level"
done

# "Frame Rate:" ends before its figure begins: only the scene shows in the
# columns just left of the figure.
apart() {
    local level
    level=$(brightest "$1" 11x26+192+30)
    awk -v l="$level" 'BEGIN { exit !(l < 0.9) }' || fail "$1: \"Frame Rate:\" runs into the figure ($level)"
}
apart texts1

# The scene between the texts at the top and the one at the bottom.
scene=1024x560+0+80
# C switches to the camera at the character's head, looking ahead: most of
# the view changes. A held C switches again every half second, so C is only
# tapped, and tapped again should a busy machine draw no frame while it was
# down.
looking=
for _ in 1 2 3; do
    xdotool keydown c sleep 0.25 keyup c
    for _ in $(seq 10); do
        shot look
        [ "$(differ texts1 look $scene)" -gt 200000 ] && looking=yes && break 2
        sleep 0.2
    done
done
[ -n "$looking" ] || fail "C did not switch to the other camera: the view stayed"

# The mouse moved right turns that camera: the scene slides across the view.
xdotool mousemove_relative 60 0
turned=
for _ in $(seq 30); do
    shot turned
    [ "$(differ look turned $scene)" -gt 100000 ] && turned=yes && break
    sleep 0.1
done
[ -n "$turned" ] || fail "the mouse did not turn the camera"

# The figure changes from one second to the next (compare answers 1 for
# images that differ).
figure() { whites "$1" 90x26+204+30 "$2"; }
figure "$out/texts1.png" "$out/figure1.png"
changed=
for n in 2 3 4; do
    sleep 1.1
    shot texts$n
    apart texts$n
    figure "$out/texts$n.png" "$out/figure$n.png"
    compare -metric AE "$out/figure1.png" "$out/figure$n.png" null: 2>/dev/null
    [ $? -eq 1 ] && changed=yes && break
done
[ -n "$changed" ] || fail "the frame-rate figure did not change"

kill -0 "$pid" 2>/dev/null || fail "the program ended early"
xdotool windowfocus "$id"
quit_with_escape
[ ! -s "$out/texts.stderr" ] || fail "debugger output: $(cat "$out/texts.stderr")"
echo "ok: texts"
