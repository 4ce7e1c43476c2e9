#!/usr/bin/env bash
# Runs the real program on the X display: the sword (A) throws orange sparks
# beside the character, and standing with two arrows held (no step is taken,
# nothing else on the screen moves) raises faint grey puffs of dust at its
# feet. Each is looked for in screenshots against a picture without it, as
# often as it takes within a limit; Escape then ends the program with 0.
# Usage: particles_e2e.sh <branto> <output folder>
set -u
branto=$1 out=$2/particles
mkdir -p "$out"
rm -f "$out"/*.png
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/view.sh"
require xdotool xwininfo import convert

# count <shot> <reference> <box> <test>: pixels of the box where the shot is
# brighter than the reference in the way the fx test (on the difference) asks.
count() {
    convert "$out/$1.png" "$out/$2.png" -crop "$3" +repage -compose MinusSrc -composite \
        -fx "$4 ? 1 : 0" -format '%[fx:round(mean*w*h)]' info:
}
# Added light of the sparks' colour: much red, some green, almost no blue.
orange='(r > 0.12 && g > 0.04 && b < 0.08 && r >= g)'
# Added light of the dust: grey (the channels alike) and faint.
grey='(r > 0.02 && g > 0.02 && b > 0.02 && r < 0.2 && g < 0.2 && b < 0.2 && abs(r - g) < 0.03 && abs(g - b) < 0.03)'
# Where the character stands at the start (its chest and arms), and its feet.
upper=400x420+312+140
feet=400x300+312+400
whole=1024x768+0+0

start 200 particles
answer_question Escape
main_window
xdotool windowfocus "$id"
wait_first_view first

# Sparks: A held throws a burst at once and then about every second.
shot idle
xdotool keydown a
found=
for i in $(seq 12); do
    shot sparks_$i
    n=$(count sparks_$i idle $upper "$orange")
    echo "sparks shot $i: $n orange pixels beside the character"
    if [ "$n" -gt 300 ]; then
        found=$i
        break
    fi
    sleep 0.1
done
xdotool keyup a
[ -n "$found" ] || fail "no sparks near the character"
all=$(count sparks_$found idle $whole "$orange")
[ "$all" -lt $((n + n / 10 + 20)) ] || fail "orange light away from the character ($all in all, $n beside it)"

# Dust: Up and Left together take no step and play no set, so between shots
# only the dust changes; a pixel's darkest value over the shots is the scene
# without it.
sleep 1
xdotool keydown Up keydown Left
# The keys go down one after the other: the frames between take a step.
sleep 0.5
found=
shots=0
for round in 1 2 3; do
    for i in $(seq 12); do
        shots=$((shots + 1))
        shot dust_$shots
        sleep 0.2
    done
    files=()
    for s in $(seq $shots); do files+=("$out/dust_$s.png"); done
    convert "${files[@]}" -evaluate-sequence min "$out/dust_ref.png"
    for s in $(seq $shots); do
        n=$(count dust_$s dust_ref $feet "$grey")
        if [ "$n" -gt 600 ]; then
            found=$s
            break
        fi
    done
    echo "dust after $shots shots: ${found:-none} (${n} grey pixels at the feet)"
    [ -n "$found" ] && break
done
xdotool keyup Up keyup Left
[ -n "$found" ] || fail "no dust at the character's feet"
all=$(count dust_$found dust_ref $whole "$grey")
[ "$all" -lt $((n + n / 10 + 20)) ] || fail "grey light away from the feet ($all in all, $n at the feet)"
# Faint: nothing brighter than the dust's own colour on the floor.
strong=$(count dust_$found dust_ref $feet '(r > 0.2 || g > 0.2 || b > 0.2)')
[ "$strong" -lt 50 ] || fail "the dust is not faint ($strong pixels brighten by more than a fifth)"

kill -0 "$pid" 2>/dev/null || fail "the program ended early"
quit_with_escape
grep -q "Shader assembler\|Texture:" "$out/particles.stderr" && fail "$(cat "$out/particles.stderr")"
echo "ok: particles"
