#!/usr/bin/env bash
# Runs the real program on the X display once for each of two walks from the
# start, Left into the block and Right into the pier: the arrow held, the
# character comes to a stop against what stands in its way, "COLLISIONE!!!"
# shows at (30, 60) and stays while the arrow is held; Escape ends it with 0.
# Usage: collide_e2e.sh <branto> <output folder>
set -u
branto=$1 out=$2
mkdir -p "$out"
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/view.sh"
require xdotool xwininfo import convert compare

# Whether "COLLISIONE!!!" shows where it is drawn: white text at (30, 60).
message() { awk -v l="$(brightest "$1" 150x26+30+60)" 'BEGIN { exit !(l > 0.8) }'; }

# Parts of the scene on both sides of the figure, clear of the texts and of
# the figure's reach (it goes on walking in place, its sword swinging).
left=340x560+0+120 right=304x560+720+120

walk_into() {
    local key=$1 name=collide_$1 i seen=
    start 180 "$name"
    answer_question Escape
    main_window
    xdotool windowfocus "$id"
    sleep 1
    shot "${name}_start"
    message "${name}_start" && fail "$key: a message before any walk"

    xdotool keydown "$key"
    for i in $(seq 200); do
        sleep 0.5
        shot "${name}_$i"
        message "${name}_$i" && seen=$i && break
    done
    [ -n "$seen" ] || fail "$key: no COLLISIONE!!! at (30, 60)"

    # Held against it: the scene stays put and the message stays.
    sleep 1
    shot "${name}_held1"
    sleep 1
    shot "${name}_held2"
    message "${name}_held2" || fail "$key: the message went while the arrow was held"
    n=$(($(differ "${name}_held1" "${name}_held2" $left) + $(differ "${name}_held1" "${name}_held2" $right)))
    [ "$n" -lt 50 ] || fail "$key: held against the obstacle, the character went on ($n)"
    xdotool keyup "$key"

    kill -0 "$pid" 2>/dev/null || fail "$key: the program ended early"
    quit_with_escape
    echo "$key: stopped with the message after about $((seen / 2)) s"
}

walk_into Left
walk_into Right
echo "ok: collide"
