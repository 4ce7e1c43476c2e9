#!/usr/bin/env bash
# Runs the real program on the X display and drives it as a user would.
# Usage: program_e2e.sh <scenario> <branto> <xdelete> <output folder>
#   no        answer No, check the 1024x768 window and the scene in it, Escape -> 0
#   close     answer No, close the window as its close button does -> 0
#   yes       answer Yes on a 1024x768 screen: full screen, the scene over the
#             whole screen, Escape -> 0
#   nodisplay no display at all: a clear message and a failing status
set -u
scenario=$1 branto=$2 xdelete=$3 out=$4
mkdir -p "$out"
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/view.sh"

if [ "$scenario" = nodisplay ]; then
    env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout -k 2 20 "$branto" \
        >"$out/nodisplay.stdout" 2>"$out/nodisplay.stderr"
    rc=$?
    [ "$rc" -ne 0 ] && [ "$rc" -lt 124 ] || fail "exit status $rc, expected a failure"
    grep -q "No display" "$out/nodisplay.stderr" || fail "no message on standard error"
    echo "ok: $(cat "$out/nodisplay.stderr")"
    exit 0
fi

require xdotool xwininfo import convert

case "$scenario" in
no)
    start 30 "$scenario"
    answer_question Escape
    main_window
    wait_client 1024x768 || fail "client area $(field Width "$info")x$(field Height "$info"), expected 1024x768"
    wait_first_view windowed
    check_first_view "$out/windowed.png"
    xdotool windowfocus "$id"
    quit_with_escape
    ;;
close)
    start 30 "$scenario"
    answer_question Escape
    main_window
    sleep 0.3
    "$xdelete" "$id" || fail "xdelete"
    wait_exit
    ;;
yes)
    root=$(xwininfo -root)
    [ "$(field Width "$root")x$(field Height "$root")" = 1024x768 ] ||
        { echo "full screen needs a 1024x768 screen"; exit $SKIP; }
    start 30 "$scenario"
    answer_question Return
    main_window
    wait_client 1024x768 0,0 || fail "not full screen: $(grep -E 'Absolute|Width|Height' <<<"$info" | tr -s ' \n' ' ')"
    # The screen itself, not the window: the scene must cover it all.
    wait_first_view fullscreen root
    check_first_view "$out/fullscreen.png"
    xdotool windowfocus "$id"
    quit_with_escape
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "ok: $scenario"
