#!/usr/bin/env bash
# The scene as a user first sees it: the real program answered No, a
# screenshot of its window, and facts about it (no golden image): the
# character stands in the middle, unlike the floor beside it, the floor and
# the wall are textured, and each shows where the generated data puts it,
# the right way out (view.sh).
# Usage: scene_e2e.sh <branto> <output folder>
set -u
branto=$1 out=$2
mkdir -p "$out"
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/view.sh"
require xdotool xwininfo import convert

start 30 scene
answer_question Escape
main_window
wait_first_view scene
shot="$out/scene.png"
xdotool windowfocus "$id"
quit_with_escape

# The client area from its top left corner; on a screen of its size the
# window's frame pushes its right and bottom edges off the screen.
read -r w h <<<"$(convert "$shot" -format "%w %h" info:)"
[ "$w" -ge 1000 ] && [ "$h" -ge 700 ] || fail "screenshot of ${w}x$h, expected about 1024x768"

# Mean colour (0..255 per channel) and number of distinct colours of a region WxH+X+Y.
mean() { convert "$shot" -crop "$1" +repage -format "%[fx:mean.r*255] %[fx:mean.g*255] %[fx:mean.b*255]" info:; }
colours() { convert "$shot" -crop "$1" +repage -unique-colors -format "%w" info:; }
distance() { awk -v a="$1" -v b="$2" 'BEGIN { split(a, p); split(b, q);
    printf "%d", sqrt((p[1]-q[1])^2 + (p[2]-q[2])^2 + (p[3]-q[3])^2) }'; }

# The follow camera looks at the character from behind and above: its body
# fills the middle of the frame, the floor lies on either side of it.
centre=$(mean 40x100+492+260)
left=$(mean 40x100+300+260)
right=$(mean 40x100+684+260)
for side in "$left" "$right"; do
    d=$(distance "$centre" "$side")
    [ "$d" -ge 40 ] || fail "the middle ($centre) looks like the floor beside it ($side)"
done

# Textured surfaces: many colours, not one flat shade, and not black.
for region in 300x200+40+520 300x200+684+520 400x80+312+20; do
    n=$(colours "$region")
    [ "$n" -ge 64 ] || fail "region $region has $n colours: not textured"
    d=$(distance "$(mean "$region")" "0 0 0")
    [ "$d" -ge 30 ] || fail "region $region is black"
done
check_first_view "$shot"
echo "ok: middle $centre, floor $left / $right"
