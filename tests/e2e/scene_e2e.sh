#!/usr/bin/env bash
# The scene as a user first sees it: the real program answered No, a
# screenshot of its window, and coarse facts about it (no golden image):
# the character stands in the middle, unlike the floor beside it, and the
# floor and the wall are textured.
# Usage: scene_e2e.sh <branto> <output folder>
set -u
branto=$1 out=$2
mkdir -p "$out"
SKIP=77
title="BRANTO - by MERVO"
question="Apertura Applicazione"
pid=

fail() {
    echo "FAIL: $*" >&2
    [ -n "$pid" ] && kill -9 -- "-$pid" 2>/dev/null
    exit 1
}

[ -n "${DISPLAY:-}" ] || { echo "no display"; exit $SKIP; }
for tool in xdotool xwininfo import convert; do
    command -v $tool >/dev/null || { echo "$tool missing"; exit $SKIP; }
done

wait_window() {
    local info
    for _ in $(seq 100); do
        info=$(xwininfo -name "$1" 2>/dev/null) && grep -q IsViewable <<<"$info" && {
            echo "$info"
            return 0
        }
        sleep 0.1
    done
    return 1
}
window_id() { sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p' <<<"$1" | head -1; }

setsid timeout -k 2 30 "$branto" >"$out/scene.stdout" 2>"$out/scene.stderr" &
pid=$!
info=$(wait_window "$question") || fail "no question box"
xdotool windowfocus "$(window_id "$info")"
sleep 0.1
xdotool key Escape
info=$(wait_window "$title") || fail "no main window"
id=$(window_id "$info")
sleep 1
shot="$out/scene.png"
import -window "$id" "$shot" || fail "no screenshot"
xdotool windowfocus "$id"
xdotool keydown Escape sleep 0.1 keyup Escape
wait "$pid"
rc=$?
pid=
[ "$rc" -eq 0 ] || fail "exit status $rc, expected 0"

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
echo "ok: middle $centre, floor $left / $right"
