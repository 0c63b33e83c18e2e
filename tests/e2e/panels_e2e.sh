#!/usr/bin/env bash
# End-to-end checks of the parameter panels and of the star shaders at start-up:
# panels_e2e.sh CASE, with $MIRVO the program and a display in $DISPLAY. The window is
# 1280x720, where the "Spectrum" panel, made first, sits in the top-left corner with its
# "Display Spectrum" checkbox and "Visual Gain" field at the places named below.
# Set MIRVO_E2E_KEEP=DIR to keep the screenshots.
set -uo pipefail

test_case=${1:?which case}
e2e_prefix=mirvo-panels-e2e
# shellcheck source=tests/e2e/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

checkbox_x=165
checkbox_y=128
gain_x=196
gain_y=76

# The places above are those of scale 1, whatever the display's own DPI setting.
start_mirvo() {
    MIRVO_CONTENT_SCALE="${MIRVO_CONTENT_SCALE:-1}" "$MIRVO" --windowed=1280x720 --scene triangles "$@" >"$work/out" 2>"$work/err" &
    pid=$!
    wait_for_window 200
    xdotool mousemove --window "$wid" 640 600 >/dev/null 2>&1
    xdotool windowfocus --sync "$wid" >/dev/null 2>&1
    sleep 2
}

# Clicks at a place of the window: COUNT clicks DELAY ms apart.
click_at() {
    xdotool mousemove --window "$wid" "$1" "$2" >/dev/null 2>&1
    sleep 0.2
    xdotool click --repeat "$3" --delay "$4" 1
}

shot() {
    import -window "$wid" "$work/$1.png" 2>/dev/null || fail "cannot capture the window"
}

at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }

# Share of the checkbox's square drawn in the blue of a tick.
ticked_share() {
    convert "$work/$1.png" -alpha off -crop 16x16+$((checkbox_x - 8))+$((checkbox_y - 8)) +repage \
        -fuzz 20% -fill '#FE01FD' -opaque '#4296FA' -fuzz 0 -fill black +opaque '#FE01FD' \
        -fill white -opaque '#FE01FD' -format '%[fx:mean]' info:
}

# Share of the top 200 rows that is the panels' grey: gone when they hide.
panel_share() {
    convert "$work/$1.png" -alpha off -crop 1280x200+0+0 +repage -colorspace HSL -separate -delete 0 \
        \( -clone 0 -threshold 10% -negate \) \( -clone 1 -threshold 8% \) -delete 0,1 \
        -compose multiply -composite -format '%[fx:mean]' info:
}

# Width of the first panel's title bar: the run of light pixels along row $2 from the left.
first_title_width() {
    convert "$work/$1.png" -alpha off -crop 1280x1+0+"$2" +repage -colorspace Gray txt:- |
        awk -F'[(),: ]+' 'NR > 1 { x = $1; v = $3 + 0
                 if (start < 0 && v > 60) start = x
                 else if (start >= 0 && end < 0 && v < 40) end = x }
             BEGIN { start = -1; end = -1 }
             END { print (start < 0 ? 0 : (end < 0 ? 1280 : end) - start) }'
}

case "$test_case" in
hidden_panels_take_no_clicks)
    start_mirvo
    # While the panels are hidden: two clicks where the checkbox will be, and a double
    # click on the value field, which would open it for typing.
    click_at "$checkbox_x" "$checkbox_y" 2 250
    sleep 0.3
    click_at "$gain_x" "$gain_y" 2 60
    sleep 0.5
    key t
    sleep 1
    shot 1-shown
    key t
    sleep 1
    shot 2-hidden
    # With the panels up, a click on the same place does tick the box.
    key t
    sleep 1
    click_at "$checkbox_x" "$checkbox_y" 1 0
    sleep 1
    shot 3-clicked
    stop_mirvo
    [ "$status" -eq 0 ] || fail "exit status $status"

    at_least 0.02 "$(ticked_share 1-shown)" || fail "a click made while the panels were hidden ticked the box"
    at_least "$(panel_share 1-shown)" 0.1 || fail "T did not show the panels"
    at_least 0.02 "$(panel_share 2-hidden)" ||
        fail "the second T did not hide the panels: a stale click had opened a text field"
    at_least "$(ticked_share 3-clicked)" 0.05 || fail "no tick after a click on the shown checkbox: wrong place?"
    ;;

content_scale)
    for scale in 1 2; do
        MIRVO_CONTENT_SCALE=$scale start_mirvo
        key t
        sleep 1
        shot "scale-$scale"
        stop_mirvo
        [ "$status" -eq 0 ] || fail "exit status $status at scale $scale"
    done
    # The title bars start 16 pixels down; row 22 lies in them at either scale.
    one=$(first_title_width scale-1 22)
    two=$(first_title_width scale-2 22)
    at_least "$one" 200 || fail "no panel title at scale 1 (width $one)"
    at_least "$two" "$(awk -v w="$one" 'BEGIN { print 1.8 * w }')" ||
        fail "a forced content scale of 2 did not enlarge the panels ($one -> $two pixels)"
    ;;

empty_shader)
    resources_of_build="$(dirname "$MIRVO")/resources"
    mkdir -p "$work/bin/resources"
    cp "$MIRVO" "$work/bin/mirvo"
    cp "$resources_of_build"/* "$work/bin/resources/"
    MIRVO="$work/bin/mirvo"
    for blank in stars.vert stars.frag; do
        cp "$resources_of_build"/stars.* "$work/bin/resources/"
        if [ "$blank" = stars.vert ]; then
            : >"$work/bin/resources/$blank"
        else
            printf '\n  \n' >"$work/bin/resources/$blank"
        fi
        run_mirvo --windowed --frames 10
        [ "$status" -eq 1 ] || fail "a blank $blank: exit status $status, expected 1"
        [ "$(wc -l <"$work/err")" -eq 1 ] || fail "a blank $blank: expected one line on standard error"
        grep -qF "$blank" "$work/err" || fail "the error line does not name $blank"
    done
    ;;

*)
    fail "no such case"
    ;;
esac
exit 0
