#!/usr/bin/env bash
# Shader scenes in the real program: a shader that shows the music it hears, bad shaders from
# the command line and from a folder, a save picked up while the window shows, and a render
# whose frames carry their own number. shader_e2e.sh CASE, with $MIRVO the program.
set -uo pipefail

test_case=${1:?which case}
e2e_prefix=mirvo-shader-e2e
# shellcheck source=tests/e2e/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

expect_status() {
    [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

# The mean of one channel (r, g or b) of a screenshot, 0 to 1.
channel_mean() { # image, channel
    convert "$work/$1.png" -alpha off -channel "$2" -separate -format '%[fx:mean]' info:
}
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

# Red as loud as the spectrum's bin of a 1 kHz tone, green as quiet: at the rate the shader is
# told, so the bin is the tone's at any rate.
write_tone_meter() {
    cat >"$1" <<'GLSL'
void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    float bin = 1000.0 / (iSampleRate / 2048.0);
    float level = texture(iChannel0, vec2((bin + 0.5) / 512.0, 0.25)).x;
    fragColor = vec4(level, 1.0 - level, 0.0, 1.0);
}
GLSL
}

case "$test_case" in
shows_the_music_it_hears)
    sox -n -r 44100 -c 2 "$work/tone.wav" synth 20 sine 1000 vol 0.5 2>/dev/null || fail "sox failed"
    write_tone_meter "$work/meter.glsl"
    run_mirvo --windowed=320x180 --no-notices --frames 150 --screenshot "$work/tone.png" \
        --shader "$work/meter.glsl" "$work/tone.wav"
    expect_status 0
    red=$(channel_mean tone r)
    green=$(channel_mean tone g)
    above "$red" 0.8 || fail "the tone's bin reads $red, not loud"
    above 0.2 "$green" || fail "green $green: the shader did not hear the tone"

    sox -n -r 48000 -c 2 "$work/quiet.wav" synth 20 sine 3000 vol 0.5 2>/dev/null || fail "sox failed"
    run_mirvo --windowed=320x180 --no-notices --frames 150 --screenshot "$work/other.png" \
        --shader "$work/meter.glsl" "$work/quiet.wav"
    expect_status 0
    above 0.3 "$(channel_mean other r)" || fail "a 3 kHz tone lit the 1 kHz bin"
    ;;

bad_shaders_say_where)
    printf '%s\n' 'void mainImage(out vec4 c, in vec2 p)' '{' '    c = vec4(nothing, 1.0);' '}' >"$work/broken.glsl"
    run_mirvo --windowed=320x180 --frames 5 --shader "$work/broken.glsl"
    expect_status 1
    [ "$(program_lines "$work/err")" -eq 1 ] || fail "expected one line on standard error"
    grep -q "broken.glsl:3: .*nothing" "$work/err" || fail "the line does not name file, line 3 and the name"

    run_mirvo --windowed=320x180 --frames 5 --scene no-such-scene
    expect_status 2
    [ "$(program_lines "$work/err")" -eq 1 ] || fail "--scene with no such scene: expected one line"

    # A folder of good and bad: every bad one told, the good ones drawn, the music playing on.
    mkdir "$work/folder"
    head -c 3000 /dev/urandom >"$work/folder/1 binary.glsl"
    { printf '/*'; head -c $((10 * 1024 * 1024)) /dev/zero | tr '\0' ' '; printf '*/\n'; } >"$work/folder/2 huge.glsl"
    printf '%s\n' 'void mainImage(out vec4 c, in vec2 p) { c = texture(iChannel7, p); }' >"$work/folder/3 seven.glsl"
    cp "$work/broken.glsl" "$work/folder/4 broken.frag"
    printf '%s\n' '// iChannel1: missing.png' \
        'void mainImage(out vec4 c, in vec2 p) { c = vec4(0.0, 0.0, 1.0, 1.0) + 0.0 * texture(iChannel1, p); }' \
        >"$work/folder/5 blue.glsl"
    sox -n -r 48000 -c 2 "$work/music.wav" synth 20 sine 440 vol 0.5 2>/dev/null || fail "sox failed"
    run_mirvo --windowed=320x180 --frames 60 --screenshot "$work/folder.png" --no-notices \
        --shader "$work/folder" "$work/music.wav"
    expect_status 0
    grep -q "1 binary.glsl: is not a text file" "$work/err" || fail "the binary file is not told"
    grep -q "2 huge.glsl: is 10.0 MB" "$work/err" || fail "the huge file is not told"
    grep -q "3 seven.glsl:1: reads iChannel7" "$work/err" || fail "iChannel7 is not told"
    grep -q "4 broken.frag:3: " "$work/err" || fail "the compile failure is not told with its line"
    grep -q "5 blue.glsl: iChannel1 'missing.png': no such file; noise instead" "$work/err" ||
        fail "the missing image is not told"
    above "$(channel_mean folder b)" 0.9 || fail "the good shader of the folder is not what shows"
    ;;

an_endless_loop_ends)
    # A loop that never ends hangs the GL, and with it the window or the whole display. Each of
    # these ends once the pixel's steps are spent, and the colour after them shows.
    cat >"$work/endless.glsl" <<'GLSL'
void mainImage(out vec4 c, in vec2 p)
{
    float x = 0.0;
    for (;;) { x += 1.0; }
    while (x > -1.0) { x += 1.0; }
    int i = 0;
    do { i++; } while (i >= 0 || x > 0.0);
    c = vec4(0.0, 1.0, 0.0, 1.0);
}
GLSL
    "$MIRVO" --windowed=64x36 --frames 3 --no-notices --screenshot "$work/endless.png" \
        --shader "$work/endless.glsl" >"$work/out" 2>"$work/err" &
    pid=$!
    for _ in $(seq 1 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid"
        fail "still drawing its first frames after a minute"
    fi
    wait "$pid"
    status=$?
    expect_status 0
    above "$(channel_mean endless g)" 0.9 || fail "the colour after the loops does not show"
    ;;

a_save_shows_at_once)
    printf '%s\n' 'void mainImage(out vec4 c, in vec2 p) { c = vec4(1.0, 0.0, 0.0, 1.0); }' >"$work/live.glsl"
    "$MIRVO" --windowed=320x180 --no-notices --shader "$work/live.glsl" >"$work/out" 2>"$work/err" &
    pid=$!
    wait_for_window 200
    sleep 2
    import -window "$wid" "$work/red.png" 2>/dev/null || fail "cannot capture the window"
    # Written the way editors save: a new file renamed over the old one.
    printf '%s\n' 'void mainImage(out vec4 c, in vec2 p) { c = vec4(0.0, 0.0, 1.0, 1.0); }' >"$work/live.new"
    mv "$work/live.new" "$work/live.glsl"
    sleep 1
    import -window "$wid" "$work/blue.png" 2>/dev/null || fail "cannot capture the window"
    printf '%s\n' 'void mainImage(out vec4 c, in vec2 p)' '{' '    c = oops;' '}' >"$work/live.glsl"
    sleep 1
    import -window "$wid" "$work/still-blue.png" 2>/dev/null || fail "cannot capture the window"
    stop_mirvo
    expect_status 0
    above "$(channel_mean red r)" 0.9 || fail "the first version does not show"
    above "$(channel_mean blue b)" 0.9 || fail "the saved version did not show within a second"
    above "$(channel_mean still-blue b)" 0.9 || fail "a failing save did not keep the last good version"
    grep -q "live.glsl:3: " "$work/err" || fail "the failing save is not told with its line"
    ;;

render_frames_carry_their_number)
    sox -n -r 48000 -c 2 "$work/music.wav" synth 1 sine 440 vol 0.5 2>/dev/null || fail "sox failed"
    printf '%s\n' 'void mainImage(out vec4 c, in vec2 p)' '{' \
        '    float n = abs(iTime * 10.0 - float(iFrame)) < 0.001 ? float(iFrame) : 0.0;' \
        '    c = vec4(vec3(n * 20.0 / 255.0), 1.0);' '}' >"$work/count.glsl"
    run_mirvo --render "$work/out.y4m" --size 64x36 --fps 10 --scene-interval 0 --shader "$work/count.glsl" \
        "$work/music.wav"
    expect_status 0
    python3 - "$work/out.y4m" "$(dirname "${BASH_SOURCE[0]}")" <<'PY' || fail "frames do not carry iFrame = n, iTime = n / fps"
import sys
sys.path.insert(0, sys.argv[2])
from y4m_luma import luma_frames
_, _, frames = luma_frames(sys.argv[1])
assert len(frames) == 10, len(frames)
means = [sum(luma) / len(luma) for luma in frames]
# Each frame 20 levels up on the last (about 17 in limited-range luma): iFrame counted them,
# and iTime agreed with it on every one.
steps = [b - a for a, b in zip(means, means[1:])]
assert all(15 < step < 22 for step in steps), means
PY
    ;;

*)
    fail "no such case"
    ;;
esac
