#!/usr/bin/env bash
# Runs the real program on the X display and drives it as a user would.
# Usage: program_e2e.sh <scenario> <branto> <xdelete> <output folder>
#   no        answer No, check the 1024x768 window, screenshot, Escape -> 0
#   close     answer No, close the window as its close button does -> 0
#   yes       answer Yes on a 1024x768 screen: full screen, Escape -> 0
#   nodisplay no display at all: a clear message and a failing status
set -u
scenario=$1 branto=$2 xdelete=$3 out=$4
mkdir -p "$out"
SKIP=77
title="BRANTO - by MERVO"
question="Apertura Applicazione"
pid=

fail() {
    echo "FAIL: $*" >&2
    # The program runs in its own process group (with its message box child).
    [ -n "$pid" ] && kill -9 -- "-$pid" 2>/dev/null
    exit 1
}

# Polls until a window of that name is mapped; prints its xwininfo.
wait_window() {
    local name=$1 info
    for _ in $(seq 100); do
        info=$(xwininfo -name "$name" 2>/dev/null) && grep -q IsViewable <<<"$info" && {
            echo "$info"
            return 0
        }
        sleep 0.1
    done
    return 1
}

field() { sed -n "s/^ *$1: *//p" <<<"$2" | head -1; }
window_id() { sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p' <<<"$1" | head -1; }

answer_question() {
    local info id
    info=$(wait_window "$question") || fail "no question box"
    id=$(window_id "$info")
    # The box does not take the focus by itself.
    xdotool windowfocus "$id"
    sleep 0.1
    xdotool key "$1"
}

wait_exit() {
    wait "$pid"
    local rc=$?
    pid=
    [ "$rc" -eq 0 ] || fail "exit status $rc, expected 0"
}

start() {
    setsid timeout -k 2 30 "$branto" >"$out/$scenario.stdout" 2>"$out/$scenario.stderr" &
    pid=$!
}

if [ "$scenario" = nodisplay ]; then
    env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout -k 2 20 "$branto" \
        >"$out/nodisplay.stdout" 2>"$out/nodisplay.stderr"
    rc=$?
    [ "$rc" -ne 0 ] && [ "$rc" -lt 124 ] || fail "exit status $rc, expected a failure"
    grep -q "No display" "$out/nodisplay.stderr" || fail "no message on standard error"
    echo "ok: $(cat "$out/nodisplay.stderr")"
    exit 0
fi

[ -n "${DISPLAY:-}" ] || { echo "no display"; exit $SKIP; }
for tool in xdotool xwininfo import; do
    command -v $tool >/dev/null || { echo "$tool missing"; exit $SKIP; }
done

case "$scenario" in
no)
    start
    answer_question Escape
    info=$(wait_window "$title") || fail "no main window"
    [ "$(field Width "$info")" = 1024 ] && [ "$(field Height "$info")" = 768 ] ||
        fail "client area $(field Width "$info")x$(field Height "$info"), expected 1024x768"
    sleep 0.5
    import -window root "$out/windowed.png" || fail "no screenshot"
    xdotool windowfocus "$(window_id "$info")"
    xdotool keydown Escape sleep 0.1 keyup Escape
    wait_exit
    ;;
close)
    start
    answer_question Escape
    info=$(wait_window "$title") || fail "no main window"
    sleep 0.3
    "$xdelete" "$(window_id "$info")" || fail "xdelete"
    wait_exit
    ;;
yes)
    root=$(xwininfo -root)
    [ "$(field Width "$root")x$(field Height "$root")" = 1024x768 ] ||
        { echo "full screen needs a 1024x768 screen"; exit $SKIP; }
    start
    answer_question Return
    info=$(wait_window "$title") || fail "no main window"
    sleep 0.5
    info=$(xwininfo -name "$title")
    [ "$(field 'Absolute upper-left X' "$info"),$(field 'Absolute upper-left Y' "$info")" = 0,0 ] &&
        [ "$(field Width "$info")x$(field Height "$info")" = 1024x768 ] ||
        fail "not full screen: $(grep -E 'Absolute|Width|Height' <<<"$info" | tr -s ' \n' ' ')"
    import -window root "$out/fullscreen.png" || fail "no screenshot"
    xdotool windowfocus "$(window_id "$info")"
    xdotool keydown Escape sleep 0.1 keyup Escape
    wait_exit
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "ok: $scenario"
