#!/usr/bin/env bash
# Runs the real program on the X display: the texts of the screen show in the
# font at their places and the frame-rate figure changes; keys and the mouse
# are taken; Escape ends it with status 0.
# Usage: texts_e2e.sh <branto> <output folder>
set -u
branto=$1 out=$2
mkdir -p "$out"
SKIP=77
pid=

fail() {
    echo "FAIL: $*" >&2
    [ -n "$pid" ] && kill -9 -- "-$pid" 2>/dev/null
    exit 1
}

[ -n "${DISPLAY:-}" ] || { echo "no display"; exit $SKIP; }
for tool in xdotool xwininfo import convert compare; do
    command -v $tool >/dev/null || { echo "$tool missing"; exit $SKIP; }
done

wait_window() {
    local info
    for _ in $(seq 100); do
        info=$(xwininfo -name "$1" 2>/dev/null) && grep -q IsViewable <<<"$info" && {
            echo "$info"
            return 0
        }
        sleep 0.1
    done
    return 1
}
window_id() { sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p' <<<"$1" | head -1; }

# The brightest grey level (0..1) of a box of a screenshot.
brightest() { convert "$1" -crop "$2" +repage -colorspace Gray -format '%[fx:maxima]' info:; }
# The white pixels of a box: the texts are white, the scene is not.
whites() { convert "$1" -crop "$2" +repage -colorspace Gray -threshold 90% "$3"; }

setsid timeout -k 2 40 "$branto" >"$out/texts.stdout" 2>"$out/texts.stderr" &
pid=$!

info=$(wait_window "Apertura Applicazione") || fail "no question box"
xdotool windowfocus "$(window_id "$info")"
sleep 0.1
xdotool key Escape
info=$(wait_window "BRANTO - by MERVO") || fail "no main window"
id=$(window_id "$info")
xdotool windowfocus "$id"

# The texts: white glyphs in boxes from their top-left corners.
sleep 1.2
import -window "$id" "$out/texts1.png" || fail "no screenshot"
for corner in 81,30 204,30 819,30 819,691; do
    x=${corner%,*} y=${corner#*,}
    level=$(brightest "$out/texts1.png" "90x26+$x+$y")
    awk -v l="$level" 'BEGIN { exit !(l > 0.9) }' || fail "no white text at ($x,$y): $level"
done

# Keys and the mouse as a user gives them: C held, the mouse moved.
xdotool keydown c sleep 0.7 keyup c
xdotool mousemove_relative 40 0 sleep 0.1 mousemove_relative -- -40 25

# The figure changes from one second to the next (compare answers 1 for
# images that differ).
figure() { whites "$1" 90x26+204+30 "$2"; }
figure "$out/texts1.png" "$out/figure1.png"
changed=
for n in 2 3 4; do
    sleep 1.1
    import -window "$id" "$out/texts$n.png" || fail "no screenshot"
    figure "$out/texts$n.png" "$out/figure$n.png"
    compare -metric AE "$out/figure1.png" "$out/figure$n.png" null: 2>/dev/null
    [ $? -eq 1 ] && changed=yes && break
done
[ -n "$changed" ] || fail "the frame-rate figure did not change"

kill -0 "$pid" 2>/dev/null || fail "the program ended early"
xdotool windowfocus "$id"
xdotool keydown Escape sleep 0.1 keyup Escape
wait "$pid"
rc=$?
pid=
[ "$rc" -eq 0 ] || fail "exit status $rc, expected 0"
[ ! -s "$out/texts.stderr" ] || fail "debugger output: $(cat "$out/texts.stderr")"
echo "ok: texts"
