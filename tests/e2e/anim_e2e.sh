#!/usr/bin/env bash
# Runs the real program on the X display and plays it as a user would: the
# first view the right way out (view.sh), S, D and A strike poses other than
# the idle one, a held arrow walks the
# character (its pose and the scene behind it change), walking on into the
# low wall ahead stops it there with "COLLISIONE!!!", Escape ends it with 0.
# Usage: anim_e2e.sh <branto> <output folder>
set -u
branto=$1 out=$2
mkdir -p "$out"
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/view.sh"
require xdotool xwininfo import convert compare
hold() { xdotool keydown "$1" sleep "$2"; }
release() { xdotool keyup "$1"; }

# Where the character stands at the start, and a part of the scene beside it.
figure=260x480+382+140
scene=300x560+0+120

start 140 anim
answer_question Escape
main_window
xdotool windowfocus "$id"
wait_first_view first
check_first_view "$out/first.png"
sleep 1.5

# Idle: the breathing moves the figure only a little.
shot idle1
sleep 0.4
shot idle2
idle=$(differ idle1 idle2 $figure)

# Each strike key held, its pose shot in mid-move: shots until one shows the
# strike (a busy machine draws fewer frames, so one shot at a fixed time may
# catch the pose at its start or its end).
for key in s d a; do
    xdotool keydown $key
    for _ in 1 2 3 4 5 6 7 8; do
        shot strike_$key
        n=$(differ idle1 strike_$key $figure)
        [ "$n" -gt $((idle * 3 + 1500)) ] && break
    done
    release $key
    sleep 0.6
    echo "idle $idle, key $key: $n pixels differ"
    [ "$n" -gt $((idle * 3 + 1500)) ] || fail "key $key: the pose barely differs from idle ($n against $idle)"
done

# Walking: the figure's pose changes and the scene beside it moves past.
shot before
hold Up 0.8
shot walking1
sleep 0.5
shot walking2
n=$(differ before walking1 $figure)
echo "walking: figure $n pixels differ"
[ "$n" -gt $((idle * 3 + 1500)) ] || fail "walking: the figure barely changed ($n)"
n=$(differ walking1 walking2 $scene)
[ "$n" -gt 2000 ] || fail "walking: the scene did not move past ($n)"

# On into the wall: the scene comes to rest while the arrow is still held.
stopped=
for i in $(seq 80); do
    sleep 0.5
    shot wall_$i
    if [ "$i" -gt 1 ]; then
        n=$(differ wall_$((i - 1)) wall_$i $scene)
        [ "$n" -lt 50 ] && stopped=$i && break
    fi
done
[ -n "$stopped" ] || fail "the character never stopped"
sleep 1.5
shot wall_held
n=$(differ wall_$stopped wall_held $scene)
[ "$n" -lt 50 ] || fail "held against the wall, the character went on ($n)"
# The message shows where it is drawn, and not before the collision.
awk -v l="$(brightest wall_held 150x26+30+60)" 'BEGIN { exit !(l > 0.8) }' ||
    fail "no COLLISIONE!!! at (30, 60)"
awk -v l="$(brightest idle1 150x26+30+60)" 'BEGIN { exit !(l < 0.8) }' ||
    fail "a message at (30, 60) before any collision"
release Up

kill -0 "$pid" 2>/dev/null || fail "the program ended early"
quit_with_escape
echo "ok: anim"
