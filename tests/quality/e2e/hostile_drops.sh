#!/usr/bin/env bash
# Hostile files dropped on the running program: with $MIRVO the program (an AddressSanitizer
# build in scripts/sanitize) and a display in $DISPLAY. Every input that cannot be played
# costs one line on standard error and nothing else; afterwards the program still answers
# keys, plays the good file, and quits cleanly, with no sanitizer report. MIRVO_PRELOAD is
# preloaded into the program only (scripts/sanitize keeps the GL driver resident with it).
#   hostile_drops.sh unplayable | truncated | long_header | deleted_while_playing
set -uo pipefail

test_case=${1:?which case}
e2e_prefix=mirvo-hostile
fail_lines=60
# shellcheck source=tests/e2e/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../e2e/harness.sh"

tone() { # file, seconds, channels
    ffmpeg -nostdin -y -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$2" -ac "$3" "$1" ||
        fail "ffmpeg cannot make $1"
}

# A WAV header announcing ten hours of 22.05 kHz mono silence, followed by one second of it.
le32() { printf '%08x' "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/' | xargs -0 printf; }
long_header_wav() {
    local data=$((10 * 3600 * 22050 * 2))
    {
        printf 'RIFF'
        le32 $((data + 36))
        printf 'WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x22\x56\x00\x00\x44\xac\x00\x00\x02\x00\x10\x00data'
        le32 $data
        head -c $((22050 * 2)) /dev/zero
    } >"$1"
}

# Starts the program with the given arguments and waits for its window; $wid names it.
start_mirvo() {
    LD_PRELOAD="${MIRVO_PRELOAD:-}" "$MIRVO" --windowed "$@" >"$work/out" 2>"$work/err" &
    pid=$!
    wait_for_window 600
    xdotool mousemove --window "$wid" 5 5 >/dev/null 2>&1
    sleep "${settle:-4}"
}

corner_brightness() {
    import -window "$wid" "$work/shot.png" 2>/dev/null || fail "cannot capture the window"
    convert "$work/shot.png" -alpha off -crop 1x1+2+2 -format '%[fx:max(r,max(g,b))]' info:
}

# The galaxy draws on black, the tree on a dark colour: Option+Right must get from one to the
# other, or the program has stopped answering. Polled, as an instrumented build draws slowly.
wait_for_corner() { # awk condition on b, what failed
    for _ in $(seq 1 40); do
        kill -0 "$pid" 2>/dev/null || fail "the program died"
        awk -v b="$(corner_brightness)" "BEGIN { exit !($1) }" && return 0
        sleep 0.5
    done
    fail "$2"
}

expect_scene_switch() {
    wait_for_corner "b < 0.005" "the galaxy is not showing"
    key alt+Right
    wait_for_corner "b >= 0.005" "Option+Right did not switch the scene"
}

quit_mirvo() {
    kill -0 "$pid" 2>/dev/null || fail "the program died"
    key ctrl+q
    for _ in $(seq 1 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "Ctrl+Q did not end the program"
    wait "$pid"
    local status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "exit status $status"
}

# The program's own lines start with its name; a sanitizer's report also fails the exit status.
# The software renderer's frame-rate advice comes and goes with the machine's load.
program_lines() { grep '^mirvo:' "$work/err" | grep -cv '^mirvo: the software renderer holds '; }

expect_error_lines() { # count
    local lines
    lines=$(program_lines)
    [ "$lines" -eq "$1" ] || fail "expected $1 lines on standard error, got $lines"
}

case "$test_case" in
unplayable)
    : >"$work/zero bytes.mp3"
    echo "this is not music" >"$work/text.mp3"
    convert -size 16x16 xc:red "png:$work/picture.ogg" || fail "cannot make a PNG"
    ffmpeg -nostdin -y -v error -f lavfi -i "sine=duration=1" -c:a libopus "$work/opus.ogg" || fail "no Opus"
    echo "not for your ears" >"$work/unreadable.mp3"
    chmod 000 "$work/unreadable.mp3"
    mkfifo "$work/pipe.mp3"
    mkdir "$work/a folder.mp3"
    tone "$work/good.wav" 20 1
    bad=("zero bytes.mp3" text.mp3 picture.ogg unreadable.mp3 pipe.mp3 "missing 100% file.mp3")
    # One after another into the running program, as a person would drop them.
    drops=(--test-drop-one-by-one)
    # Opus in an Ogg file is music, though not Vorbis: it plays like the good file.
    for name in "${bad[@]}" "a folder.mp3" opus.ogg good.wav; do drops+=(--test-drop "$work/$name"); done

    start_mirvo "${drops[@]}"
    expect_scene_switch
    quit_mirvo
    for name in "${bad[@]}"; do
        [ "$(grep -cF -- "$name" "$work/err")" -eq 1 ] || fail "not one line for '$name'"
    done
    [ "$(grep -cF -- "a folder.mp3" "$work/err")" -eq 1 ] || fail "not one line for the folder"
    grep -qF good.wav "$work/err" && fail "the good file was refused"
    grep -qF opus.ogg "$work/err" && fail "the Opus file was refused"
    [ "$(program_lines)" -le $((${#bad[@]} + 1)) ] || fail "more lines on standard error than bad files"
    ;;

truncated)
    # Truncated files open and play what they hold, or are refused with a line; either way the
    # program goes on.
    tone "$work/full.mp3" 3 2
    head -c 3000 "$work/full.mp3" >"$work/truncated.mp3"
    ffmpeg -nostdin -y -v error -f lavfi -i "sine=duration=3" -c:a libvorbis "$work/full.ogg" || fail "no Vorbis"
    head -c 6000 "$work/full.ogg" >"$work/truncated.ogg"
    start_mirvo --test-drop "$work/truncated.ogg" --test-drop "$work/truncated.mp3"
    expect_scene_switch
    quit_mirvo
    [ "$(program_lines)" -le 2 ] || fail "more lines on standard error than dropped files"
    [ "$(grep '^mirvo:' "$work/err" | grep -vcE 'truncated\.(ogg|mp3)')" -eq 0 ] || fail "a line that names neither file"
    ;;

long_header)
    long_header_wav "$work/ten hours.wav"
    start_mirvo --test-drop "$work/ten hours.wav"
    expect_scene_switch
    quit_mirvo
    expect_error_lines 0
    ;;

deleted_while_playing)
    tone "$work/doomed.wav" 30 2
    start_mirvo "$work/doomed.wav"
    rm "$work/doomed.wav"
    sleep 2
    expect_scene_switch
    quit_mirvo
    expect_error_lines 0
    ;;

*)
    fail "unknown case"
    ;;
esac
exit 0
