#!/usr/bin/env bash
# The program beside a plain SDL2 + OpenGL program of ours that draws the same
# frame (recorded from the program's generated data by scene_capture), in one
# virtual X server of 1024x768, in pairs, the order alternating from pair to
# pair. For each: frames per second, the CPU time (all threads) a frame takes,
# time to the first frame (the program's from the answer to its start
# question, the plain one's from its start) and peak memory; then min and
# median of each and of the ratios. On a busy machine frames per second swing
# with the other load; the CPU time per frame much less.
#   bench/side_by_side.sh [--build DIR] [--runs N] [--seconds S] [--display N] [--full-screen]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$here/../build
runs=5
seconds=5
display=
answer=Escape  # No: a window; Return: full screen
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        --display) display=$2; shift 2 ;;
        --full-screen) answer=Return; shift ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
build=$(cd "$build" && pwd)
for tool in Xvfb xdotool xwininfo python3; do
    command -v $tool >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
for f in bin/branto bench/plain_gl bench/scene_capture bench/frame_probe.so; do
    [ -e "$build/$f" ] || { echo "$build/$f is missing: build first" >&2; exit 1; }
done

out=$(mktemp -d)
xvfb=
pid=
cleanup() {
    [ -z "$pid" ] || kill -9 -- "-$pid" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$out"
}
trap cleanup EXIT

"$build/bench/scene_capture" "$out/scene.bin" >&2

# One X server for every run; it says which display it took when none is given.
if [ -n "$display" ]; then
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>"$out/xvfb.log" &
    xvfb=$!
else
    exec 3>"$out/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>"$out/xvfb.log" &
    xvfb=$!
    exec 3>&-
fi
for _ in $(seq 100); do
    [ -n "$display" ] || display=$(cat "$out/display" 2>/dev/null || true)
    [ -n "$display" ] && DISPLAY=":$display" xwininfo -root >/dev/null 2>&1 && break
    sleep 0.05
done
export DISPLAY=":$display" SDL_VIDEODRIVER=x11

viewable() { xwininfo -name "$1" 2>/dev/null | grep -q IsViewable; }
# wait_viewable <window> <log>: false, with the program's output, when the
# window does not come or the program ends first.
wait_viewable() {
    for _ in $(seq 400); do
        viewable "$1" && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "no window \"$1\"; the program wrote:" >&2
    cat "$2" >&2
    [ -z "$pid" ] || kill -9 -- "-$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=
    return 1
}
window_id() { xwininfo -name "$1" | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p'; }

# run <name> <probe file> <command...>: with the probe, measured for $seconds.
run() {
    local name=$1 probe=$2
    shift 2
    FRAME_PROBE_OUT=$probe LD_PRELOAD=$build/bench/frame_probe.so setsid "$@" >"$out/$name.log" 2>&1 &
    pid=$!
}
quit() {
    xdotool keydown Escape sleep 0.1 keyup Escape
    timeout 20 tail --pid="$pid" -f /dev/null || { echo "$1 did not quit" >&2; kill -9 -- "-$pid"; }
    wait "$pid" || true
    pid=
}

run_plain() {
    run plain "$1" "$build/bench/plain_gl" "$out/scene.bin"
    wait_viewable plain_gl "$out/plain.log" || return 1
    sleep "$seconds"
    quit plain_gl
}

run_program() {
    # From its own folder, as its data lies beside it.
    cd "$build/bin"
    run branto "$1" ./branto
    cd - >/dev/null
    wait_viewable "Apertura Applicazione" "$out/branto.log" || return 1
    local box
    box=$(window_id "Apertura Applicazione")
    xdotool windowfocus "$box"
    # The box takes keys once it has the focus.
    for _ in $(seq 50); do
        xdotool key "$answer"
        sleep 0.1
        viewable "Apertura Applicazione" || break
    done
    wait_viewable "BRANTO - by MERVO" "$out/branto.log" || return 1
    sleep "$seconds"
    quit branto
}

# A run whose program could not start (a busy machine's X connection now and
# then fails) is made again, at most twice.
measured() {
    local attempt
    for attempt in 1 2 3; do
        "$@" && return 0
        echo "run again: $*" >&2
    done
    echo "gave up: $*" >&2
    exit 1
}

for i in $(seq "$runs"); do
    if [ $((i % 2)) -eq 1 ]; then
        measured run_plain "$out/plain.$i"
        measured run_program "$out/branto.$i"
    else
        measured run_program "$out/branto.$i"
        measured run_plain "$out/plain.$i"
    fi
    echo "pair $i done" >&2
done

python3 - "$out" "$runs" <<'EOF'
import statistics, sys
out, runs = sys.argv[1], int(sys.argv[2])

def read(path):
    values, swaps = {}, []
    for line in open(path):
        key, *value = line.split()
        if key == "swap":
            swaps.append((int(value[0]) / 1e9, int(value[1]) / 1e9))
        else:
            values[key] = int(value[0])
    return values, swaps

def measure(path, program):
    values, swaps = read(path)
    if program:
        # The first frame of the message loop: the first swap once the cursor is hidden.
        frames = [s for s in swaps if s[0] >= values["hidden"] / 1e9]
        first = (frames[0][0] - values["answer"] / 1e9) * 1000
    else:
        frames = swaps
        first = frames[0][0] * 1000
    # After a second of warming up, to the last frame.
    steady = [s for s in frames if s[0] >= frames[0][0] + 1.0]
    fps = (len(steady) - 1) / (steady[-1][0] - steady[0][0])
    cpu = (steady[-1][1] - steady[0][1]) / (len(steady) - 1) * 1000
    return fps, first, values["peak_kb"] / 1024, cpu

rows = []
for i in range(1, runs + 1):
    p = measure(f"{out}/plain.{i}", False)
    b = measure(f"{out}/branto.{i}", True)
    rows.append((p, b))
    print(f"pair {i}: plain {p[0]:6.1f} fps {p[3]:5.2f} ms CPU {p[1]:5.1f} ms {p[2]:5.1f} MB | "
          f"branto {b[0]:6.1f} fps {b[3]:5.2f} ms CPU {b[1]:5.1f} ms {b[2]:5.1f} MB | "
          f"fps ratio {b[0] / p[0]:.3f}, CPU ratio plain/branto {p[3] / b[3]:.3f}")

def line(name, values, unit, fmt="{:.1f}"):
    print(f"{name:32s} min {fmt.format(min(values))} {unit:4s} median {fmt.format(statistics.median(values))} {unit}")

print()
line("plain frames per second", [p[0] for p, b in rows], "")
line("branto frames per second", [b[0] for p, b in rows], "")
line("fps ratio branto/plain", [b[0] / p[0] for p, b in rows], "", "{:.3f}")
line("plain CPU per frame", [p[3] for p, b in rows], "ms", "{:.2f}")
line("branto CPU per frame", [b[3] for p, b in rows], "ms", "{:.2f}")
line("CPU per frame ratio plain/branto", [p[3] / b[3] for p, b in rows], "", "{:.3f}")
line("plain start to first frame", [p[1] for p, b in rows], "ms")
line("branto answer to first frame", [b[1] for p, b in rows], "ms")
line("plain peak memory", [p[2] for p, b in rows], "MB")
line("branto peak memory", [b[2] for p, b in rows], "MB")
line("peak memory ratio branto/plain", [b[2] / p[2] for p, b in rows], "", "{:.3f}")
EOF
