# Helpers of the end-to-end runs, sourced by each script after it has set
# `branto` (the program) and `out` (the folder for its output and shots).
# The program runs in its own process group (with its message box child);
# `pid` is that group while it runs, `info` and `id` the main window's
# xwininfo and id once main_window has seen it.

SKIP=77
title="BRANTO - by MERVO"
question="Apertura Applicazione"
pid=

fail() {
    echo "FAIL: $*" >&2
    [ -n "$pid" ] && kill -9 -- "-$pid" 2>/dev/null
    exit 1
}

# Skips the run without a display or without one of the given tools.
require() {
    [ -n "${DISPLAY:-}" ] || { echo "no display"; exit $SKIP; }
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "$tool missing"; exit $SKIP; }
    done
}

# start <seconds> <name>: the program, killed after that long; its output in
# $out/<name>.stdout and .stderr.
start() {
    setsid timeout -k 2 "$1" "$branto" >"$out/$2.stdout" 2>"$out/$2.stderr" &
    pid=$!
}

# Polls until a window of that name is mapped; prints its xwininfo. A busy
# machine may take long to start the program: up to 30 s.
wait_window() {
    local name=$1 info until=$((SECONDS + 30))
    while [ "$SECONDS" -le "$until" ]; do
        info=$(xwininfo -name "$name" 2>/dev/null) && grep -q IsViewable <<<"$info" && {
            echo "$info"
            return 0
        }
        sleep 0.1
    done
    return 1
}

field() { sed -n "s/^ *$1: *//p" <<<"$2" | head -1; }

# wait_client <WxH> [X,Y]: polls the main window until its client area has that
# size (and, when given, its top left corner that place), for up to 30 s: the
# program sizes its window only after the question is answered. $info holds the
# last xwininfo.
wait_client() {
    local until=$((SECONDS + 30))
    while :; do
        info=$(xwininfo -id "$id")
        [ "$(field Width "$info")x$(field Height "$info")" = "$1" ] &&
            { [ -z "${2:-}" ] ||
                [ "$(field 'Absolute upper-left X' "$info"),$(field 'Absolute upper-left Y' "$info")" = "$2" ]; } &&
            return 0
        [ "$SECONDS" -le "$until" ] || return 1
        sleep 0.1
    done
}
window_id() { sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p' <<<"$1" | head -1; }

# answer_question <key>: the start question answered with that key.
answer_question() {
    local info
    info=$(wait_window "$question") || fail "no question box"
    # The box does not take the focus by itself; the key goes once it has it.
    xdotool windowfocus --sync "$(window_id "$info")" || fail "the question box does not take the focus"
    xdotool key "$1"
}

main_window() {
    info=$(wait_window "$title") || fail "no main window"
    id=$(window_id "$info")
}

# shot <name> [window]: a screenshot of the main window (or the one given)
# in $out/<name>.png.
shot() { import -window "${2:-$id}" "$out/$1.png" || fail "no screenshot $1"; }

# brightest <name> <box>: the brightest grey level (0..1) of a box WxH+X+Y of a shot.
brightest() { convert "$out/$1.png" -crop "$2" +repage -colorspace Gray -format '%[fx:maxima]' info:; }

wait_exit() {
    wait "$pid"
    local rc=$?
    pid=
    [ "$rc" -eq 0 ] || fail "exit status $rc, expected 0"
}

# Escape pressed as a user does, then the program must end with status 0.
quit_with_escape() {
    xdotool keydown Escape sleep 0.1 keyup Escape
    wait_exit
}
