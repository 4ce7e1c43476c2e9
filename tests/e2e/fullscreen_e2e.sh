#!/usr/bin/env bash
# Runs the real program full screen on screens of other sizes than its own,
# each on an X server of this run's own, and checks the whole screen as a
# user sees it.
# Usage: fullscreen_e2e.sh <scenario> <branto> <xdelete> <xfocus> <output folder>
#   wide       1920x1080: bars left and right, the texts at their scaled places;
#              switching to another window asks for the program to be
#              minimised; back in front, it draws and takes keys; Escape -> 0
#   desktop    the same with a window manager (openbox): minimised when another
#              window takes the focus, full screen again when chosen
#   square     1280x1024: bars above and below; closed as by its close button -> 0
#   term       1280x1024: SIGTERM to the program while full screen -> 0, as a
#              normal quit
#   failstart  1920x1080, the character's file missing: start-up fails after
#              the device went full screen -> E_FAIL, "Initialization Failed"
#   small      800x600, too small for 1024x768: the device is not made, the
#              reason and "Initialization Failed" are written -> E_FAIL
# After each, no window of the program is left on the screen.
set -u
scenario=$1 branto=$2 xdelete=$3 xfocus=$4 out=$5
mkdir -p "$out"
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/view.sh"

for tool in Xvfb xdotool xwininfo import convert compare; do
    command -v "$tool" >/dev/null || { echo "$tool missing"; exit $SKIP; }
done

# An X server of this run's own with one screen of that size; DISPLAY points
# at it. The server picks a free display number and writes it once it listens.
# -noreset: a client that connects while the server resets (as it does whenever
# its last client leaves) is refused.
xvfb=
own_screen() {
    local file="$out/$scenario.display"
    rm -f "$file"
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$file" 2>"$out/$scenario.xvfb.log" &
    xvfb=$!
    for _ in $(seq 400); do
        [ "$(wc -l <"$file")" -ge 1 ] && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.05
    done
    local number
    number=$(head -1 "$file")
    [ -n "$number" ] || fail "no X server of $1"
    export DISPLAY=:$number SDL_VIDEODRIVER=x11
}
trap '[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null' EXIT

# Where the 1024x768 frame shows: the largest scale that fits, centred.
scale= fx= fy= fw= fh=
frame_of() {
    read -r scale fx fy fw fh < <(awk -v w="$1" -v h="$2" 'BEGIN {
        s = w / 1024 < h / 768 ? w / 1024 : h / 768
        fw = int(1024 * s + 0.5); fh = int(768 * s + 0.5)
        printf "%s %d %d %d %d\n", s, (w - fw) / 2, (h - fh) / 2, fw, fh }')
}
# A box WxH+X+Y of the frame (in its own pixels) where it shows on the screen.
on_screen() {
    awk -v s="$scale" -v fx="$fx" -v fy="$fy" -v w="$1" -v h="$2" -v x="$3" -v y="$4" \
        'BEGIN { printf "%dx%d+%d+%d\n", w * s, h * s, fx + x * s, fy + y * s }'
}
mean() { convert "$out/$1.png" -crop "$2" +repage -colorspace Gray -format '%[fx:mean]' info:; }
# grab <name> <box>: a shot of only that box of the screen (quicker to take).
grab() { import -window root -crop "$2" +repage "$out/$1.png" || fail "no screenshot $1"; }
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

# What is wrong with the whole screen shot <name> (nothing when right): black
# bars, the frame where it belongs, its texts at their scaled places.
screen_fault() {
    local width=$1 height=$2 name=$3
    local bars=()
    [ "$fx" -gt 0 ] && bars+=("${fx}x$height+0+0" "$((width - fx - fw))x$height+$((fx + fw))+0")
    [ "$fy" -gt 0 ] && bars+=("${width}x$fy+0+0" "${width}x$((height - fy - fh))+0+$((fy + fh))")
    [ ${#bars[@]} -gt 0 ] || { echo "no bars expected on ${width}x$height"; return; }
    local box
    for box in "${bars[@]}"; do
        [ "$(brightest "$name" "$box")" = 0 ] || { echo "the bar $box is not black"; return; }
    done
    # The frame reaches its rectangle's edges: the scene shows in its outer
    # pixels on each side.
    for box in "4x$fh+$fx+$fy" "4x$fh+$((fx + fw - 4))+$fy" "${fw}x4+$fx+$fy" "${fw}x4+$fx+$((fy + fh - 4))"; do
        above "$(mean "$name" "$box")" 0.05 || { echo "no scene at the frame's edge $box"; return; }
    done
    local corner x y level
    for corner in 81,30 204,30 819,30 819,691; do
        x=${corner%,*} y=${corner#*,}
        box=$(on_screen 90 26 "$x" "$y")
        level=$(brightest "$name" "$box")
        above "$level" 0.9 || { echo "no white text at ($x,$y), on the screen $box: $level"; return; }
    done
}

# check_screen <width> <height> <name>: the whole screen shot until it is
# right. A window manager may still be carrying out the full-screen request
# when the first frames show; a screen that never comes right fails.
check_screen() {
    local n fault
    for n in $(seq 50); do
        shot "$3" root
        fault=$(screen_fault "$@")
        [ -z "$fault" ] && return 0
        sleep 0.1
    done
    fail "$fault"
}

# The frame cut from the screen and brought back to 1024x768 is the program's
# first view, undistorted: wall, floor and character where they belong.
check_frame_view() {
    convert "$out/$1.png" -crop "${fw}x$fh+$fx+$fy" +repage -resize '1024x768!' "$out/$1_frame.png"
    check_first_view "$out/$1_frame.png"
}

# Nothing of the program is left: no window of it, the screen back to black.
nothing_left() {
    xwininfo -root -tree | grep -qF -e "\"$title\"" -e "\"$question\"" &&
        fail "a window of the program is still there"
    shot after root
    [ "$(brightest after 100%x100%+0+0)" = 0 ] || fail "the screen still shows something"
}

# start_full_screen <WxH>: the program started on this run's screen of that
# size, answered Yes, full screen over the whole screen.
start_full_screen() {
    local width=${1%x*} height=${1#*x}
    frame_of "$width" "$height"
    start 60 "$scenario"
    answer_question Return
    main_window
    wait_client "$1" 0,0 ||
        fail "not full screen: $(grep -E 'Absolute|Width|Height' <<<"$info" | tr -s ' \n' ' ')"
}

# wait_drawn <width> <height>: waits until the program's frames show on the
# screen: the scene in the middle, a text in its corner, and the first bar
# black (until then the screen may still show what was there before).
wait_drawn() {
    local n edge
    [ "$fx" -gt 0 ] && edge="${fx}x$2+0+0" || edge="$1x$fy+0+0"
    for n in $(seq 200); do
        grab drawn_middle "$(on_screen 200 200 412 284)"
        grab drawn_text "$(on_screen 90 26 819 691)"
        grab drawn_edge "$edge"
        above "$(mean drawn_middle 100%x100%+0+0)" 0.05 &&
            above "$(brightest drawn_text 100%x100%+0+0)" 0.9 &&
            [ "$(brightest drawn_edge 100%x100%+0+0)" = 0 ] && return 0
        sleep 0.1
    done
    fail "the program's frames do not show"
}

# A held arrow turns the character: the floor beside it moves. The program is
# in front and takes keys.
turns_with_right() {
    local floor n turned=
    floor=$(on_screen 300 300 0 420)
    grab floor_before "$floor"
    xdotool keydown Right
    for n in $(seq 100); do
        sleep 0.1
        grab floor_turning "$floor"
        [ "$(differ floor_before floor_turning "${floor%%+*}+0+0")" -gt 2000 ] && turned=yes && break
    done
    xdotool keyup Right
    [ -n "$turned" ] || fail "$1: the program did not take the arrow key"
}

# Waits until the window's map state (xwininfo) is the one given.
wait_map_state() {
    local n
    for n in $(seq 100); do
        xwininfo -id "$id" | grep -q "Map State: $1" && return 0
        sleep 0.1
    done
    fail "the window is not $1: $(xwininfo -id "$id" | grep 'Map State')"
}

# Exit status of the program, which must end by itself.
ended_with() {
    wait "$pid"
    local rc=$?
    pid=
    [ "$rc" -eq "$1" ] || fail "exit status $rc, expected $1"
}

case "$scenario" in
wide)
    own_screen 1920x1080
    start_full_screen 1920x1080
    wait_drawn 1920 1080
    check_screen 1920 1080 wide
    check_frame_view wide
    # Another window takes the focus: the program asks to be minimised (no
    # window manager here to do it).
    asked=$("$xfocus" 20) || fail "xfocus"
    [ "$asked" = "iconify $id" ] || fail "no request to minimise the program's window ($asked)"
    # Chosen again: it draws and takes keys.
    xdotool windowfocus "$id"
    turns_with_right "back in front"
    check_screen 1920 1080 wide_back
    quit_with_escape
    ;;
desktop)
    # As on a desktop, with a window manager that carries out the requests.
    command -v openbox >/dev/null || { echo "openbox missing"; exit $SKIP; }
    own_screen 1920x1080
    openbox --sm-disable >"$out/openbox.log" 2>&1 &
    for n in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.1
    done
    start_full_screen 1920x1080
    wait_drawn 1920 1080
    check_screen 1920 1080 desktop
    check_frame_view desktop
    xprop -id "$id" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN || fail "not full screen for the desktop"
    # Switched away: minimised, the desktop shows.
    asked=$("$xfocus" 20) || fail "xfocus"
    [ "$asked" = "iconify $id" ] || fail "no request to minimise the program's window ($asked)"
    wait_map_state IsUnMapped
    xprop -id "$id" WM_STATE | grep -q Iconic || fail "not minimised: $(xprop -id "$id" WM_STATE)"
    # Chosen again: full screen as before, drawing and taking keys.
    xdotool windowactivate "$id"
    wait_map_state IsViewable
    wait_client 1920x1080 0,0 || fail "not full screen again: $(grep -E 'Absolute|Width|Height' <<<"$info" | tr -s ' \n' ' ')"
    turns_with_right "restored"
    check_screen 1920 1080 desktop_back
    quit_with_escape
    ;;
square)
    own_screen 1280x1024
    start_full_screen 1280x1024
    wait_drawn 1280 1024
    check_screen 1280 1024 square
    check_frame_view square
    "$xdelete" "$id" || fail "xdelete"
    ended_with 0
    ;;
term)
    own_screen 1280x1024
    start_full_screen 1280x1024
    wait_drawn 1280 1024
    kill -TERM "$(pgrep -P "$pid" -x branto)"
    ended_with 0
    ;;
failstart)
    # A run tree like the real one without the character's folder.
    tree="$out/failtree"
    rm -rf "$tree"
    mkdir -p "$tree/bin"
    cp "$branto" "$tree/bin/"
    for item in Level01 Immagini Alfabeto Particle.vsh; do
        ln -s "$(cd "$(dirname "$branto")/.." && pwd)/$item" "$tree/$item"
    done
    branto="$tree/bin/$(basename "$branto")"
    own_screen 1920x1080
    start 60 "$scenario"
    answer_question Return
    ended_with 5  # E_FAIL, as the process's status
    # The device was made: start-up got as far as the character.
    grep -q "not available" "$out/$scenario.stderr" && fail "no full-screen device: $(cat "$out/$scenario.stderr")"
    grep -q 'Ninja.x' "$out/$scenario.stderr" || fail "start-up failed elsewhere: $(cat "$out/$scenario.stderr")"
    grep -q "Initialization Failed" "$out/$scenario.stderr" || fail "no \"Initialization Failed\""
    ;;
small)
    own_screen 800x600
    start 60 "$scenario"
    answer_question Return
    ended_with 5
    grep -q "Full screen 1024x768 is not available: the display is 800x600" "$out/$scenario.stderr" ||
        fail "no reason given: $(cat "$out/$scenario.stderr")"
    grep -q "Initialization Failed" "$out/$scenario.stderr" || fail "no \"Initialization Failed\""
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
nothing_left
echo "ok: $scenario"
