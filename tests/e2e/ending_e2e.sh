#!/usr/bin/env bash
# How the real program ends whatever the system or the window system does.
# Usage: ending_e2e.sh <scenario> <branto> <output folder>
#   term_question  SIGTERM to the program while the start question is up: it
#                  ends at once with 0, its question box with it
#   kill_question  SIGKILL to the program while the question is up: the box
#                  (its helper process) goes too
#   int_running    SIGINT while it runs: the normal quit, 0
#   windowclose    its window destroyed by another client: the normal quit, 0
#   dummy          a video driver that cannot make the window: a message and
#                  a failing status
set -u
scenario=$1 branto=$2 out=$3
mkdir -p "$out"
. "$(dirname "$0")/lib.sh"

# The program itself (the child of `timeout`, the group's leader).
program() { pgrep -P "$pid" -x branto | head -1; }

# Polls until the program's process group holds no live process (zombies
# wait for init to reap them: they hold no window), for at most $1 seconds.
group_gone() {
    local group=$1 until=$((SECONDS + $2))
    while [ "$SECONDS" -le "$until" ]; do
        ps -o stat= -g "$group" | grep -qv '^Z' || return 0
        sleep 0.05
    done
    return 1
}

# Polls until process $1 has ended, for at most $2 seconds.
ended_within() {
    local until=$((SECONDS + $2))
    while [ "$SECONDS" -le "$until" ]; do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.05
    done
    return 1
}

if [ "$scenario" = dummy ]; then
    SDL_VIDEODRIVER=dummy timeout -k 2 20 "$branto" >"$out/dummy.stdout" 2>"$out/dummy.stderr"
    rc=$?
    [ "$rc" -ne 0 ] && [ "$rc" -lt 124 ] || fail "exit status $rc, expected a failure"
    grep -q "window could not be made" "$out/dummy.stderr" || fail "no message: $(cat "$out/dummy.stderr")"
    echo "ok: $(cat "$out/dummy.stderr")"
    exit 0
fi

require xdotool xwininfo pgrep
start 40 "$scenario"
group=$pid

case "$scenario" in
term_question)
    wait_window "$question" >/dev/null || fail "no question box"
    kill -TERM "$(program)"
    ended_within "$pid" 15 || fail "still running 15 s after SIGTERM"
    wait_exit
    group_gone "$group" 5 || fail "left behind: $(ps -o pid,stat,args -g "$group")"
    ;;
kill_question)
    wait_window "$question" >/dev/null || fail "no question box"
    kill -KILL "$(program)"
    wait "$pid"
    pid=
    group_gone "$group" 5 || fail "left behind: $(ps -o pid,stat,args -g "$group")"
    ! xwininfo -name "$question" >/dev/null 2>&1 || fail "the question box outlived the program"
    ;;
int_running)
    answer_question Escape
    main_window
    kill -INT "$(program)"
    ended_within "$pid" 15 || fail "still running 15 s after SIGINT"
    wait_exit
    ;;
windowclose)
    answer_question Escape
    main_window
    xdotool windowclose "$id"
    ended_within "$pid" 15 || fail "still running 15 s after its window was destroyed"
    wait_exit
    ! grep -q "X Error" "$out/$scenario.stderr" || fail "$(cat "$out/$scenario.stderr")"
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "ok: $scenario"
