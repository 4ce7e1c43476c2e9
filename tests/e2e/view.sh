# Facts about the first view, at the places where the generated level and
# character put them, so that a scene drawn inside out, upside down or not
# at all fails the run; and how much two views differ. Sourced after lib.sh.
#
# The follow camera starts 2 up and 2 behind the character, who faces the
# low brick wall (tools/datagen/level.cpp, "LowWall"): the wall's face fills
# the top of the frame and stands on the stone floor a little above the
# head; the floor fills the bottom; the character shows its back, the red
# headband across the back of its head.

# share <png> <box WxH+X+Y> <predicate>: the share (0..1) of the box's pixels
# for which the ImageMagick fx predicate (r, g, b in 0..1) holds.
share() { convert "$1" -crop "$2" +repage -fx "($3) ? 1 : 0" -format '%[fx:mean]' info:; }

# The colours of the generated textures.
stone='abs(r-g) < 0.06 && abs(g-b) < 0.06 && r > 0.2'
brick='r - g > 0.12'
headband='r > 0.45 && g < 0.2 && b < 0.2'

# differ <shot a> <shot b> <box>: how many pixels of the box differ by more
# than a little between two shots in $out.
differ() {
    compare -metric AE -fuzz 8% "$out/$1.png[$3]" "$out/$2.png[$3]" null: 2>&1 | cut -d' ' -f1
}

at_least() { awk -v v="$1" -v m="$2" 'BEGIN { exit !(v >= m) }'; }

# first_view_drawn <png>: the floor at the bottom of the frame is drawn (the
# first frame may come a while after the window maps on a busy machine).
first_view_drawn() { at_least "$(share "$1" 300x200+40+520 "$stone")" 0.8; }

# wait_first_view <name> [window]: screenshots of the main window (or the one
# given) into $out/<name>.png until the first view is drawn.
wait_first_view() {
    for _ in $(seq 100); do
        shot "$1" "${2:-$id}"
        first_view_drawn "$out/$1.png" && return 0
        sleep 0.2
    done
    fail "$1: the first view was never drawn"
}

# check_first_view <png>: fails naming the first fact of the view that does not hold.
check_first_view() {
    local png=$1 box s
    for box in 300x200+40+520 300x200+684+520; do
        s=$(share "$png" $box "$stone")
        at_least "$s" 0.8 || fail "$png: the bottom of the view ($box) is not the stone floor ($s)"
    done
    for box in 180x80+260+60 180x80+584+60; do
        s=$(share "$png" $box "$brick")
        at_least "$s" 0.6 || fail "$png: the top of the view ($box) is not the wall's brick face ($s)"
    done
    # Below the face's lower edge the floor shows; inside out, the wall's far
    # side and its underside show there instead.
    for box in 180x20+260+167 180x20+584+167; do
        s=$(share "$png" $box "$stone")
        at_least "$s" 0.8 || fail "$png: the wall's face does not end on the floor at $box ($s)"
    done
    # The band runs right across the head in some row; seen from inside the
    # head, only the knot's tails and the band's edges are red.
    s=$(convert "$png" -crop 42x40+492+160 +repage -fx "($headband) ? 1 : 0" -scale '1x40!' \
        -format '%[fx:maxima]' info:)
    at_least "$s" 0.7 || fail "$png: no red headband across the back of the head ($s of a row)"
}
