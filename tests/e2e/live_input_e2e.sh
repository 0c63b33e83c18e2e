#!/usr/bin/env bash
# Live input end to end: live_input_e2e.sh CASE, with $MIRVO the program, a display, and the
# sound server that scripts/test provides. Tones are played into a null sink of the case's own
# with paplay; the program reports the spectrum's loudest bin on standard error.
set -uo pipefail

test_case=${1:?which case}
e2e_prefix=mirvo-live-e2e
# shellcheck source=tests/e2e/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

pactl info >/dev/null 2>&1 || { echo "no sound server" >&2; exit 77; }
command -v paplay >/dev/null || { echo "no paplay" >&2; exit 77; }

sink="mirvo_e2e_live_$$"
modules=()
players=()
default_before=""
finish() {
    for player in "${players[@]}"; do
        kill "$player" 2>/dev/null
    done
    for module in "${modules[@]}"; do
        pactl unload-module "$module" 2>/dev/null
    done
    # Later cases record the default sink's monitor; give the server back its default.
    [ -n "$default_before" ] && pactl set-default-sink "$default_before" 2>/dev/null
    cleanup
}
trap finish EXIT

# add_sink [NAME]: a null sink of the case's own (default: $sink), removed at the end.
add_sink() {
    local name=${1:-$sink} module
    module=$(pactl load-module module-null-sink "sink_name=$name" \
        "sink_properties=device.description=Live_E2E_$$") || fail "cannot add a null sink"
    modules+=("$module")
}

# tone_file FREQUENCY PATH: 30 s of a sine of FREQUENCY Hz as a stereo WAV.
tone_file() {
    python3 - "$1" "$2" <<'PY'
import math, struct, sys, wave
freq, path, rate = float(sys.argv[1]), sys.argv[2], 44100
with wave.open(path, "wb") as out:
    out.setnchannels(2); out.setsampwidth(2); out.setframerate(rate)
    out.writeframes(b"".join(struct.pack("<hh", v, v)
                             for v in (int(12000 * math.sin(2 * math.pi * freq * i / rate)) for i in range(rate * 30))))
PY
}

# tone FREQUENCY [SINK]: plays a sine of FREQUENCY Hz into SINK (default: the case's sink)
# beside whatever plays already.
tone() {
    tone_file "$1" "$work/tone$1.wav"
    paplay --device="${2:-$sink}" "$work/tone$1.wav" &
    players+=($!)
}

# Stops every tone playing.
silence() {
    for player in "${players[@]}"; do
        kill "$player" 2>/dev/null
    done
    players=()
}

start_mirvo() {
    "$MIRVO" --windowed=320x240 --no-notices --report-spectrum-peak "$@" >"$work/out" 2>"$work/err" &
    pid=$!
    wait_for_window 200
}

# peak_between LOW HIGH TENTHS: waits at most TENTHS tenths of a second for a reported peak bin
# in [LOW, HIGH] that is not silence (the bins of 1 kHz and 3 kHz at 44.1 or 48 kHz and 2048
# points lie within the ranges used).
peak_between() {
    local start_line bin
    start_line=$(line_count "$work/err")
    for _ in $(seq 1 "$3"); do
        kill -0 "$pid" 2>/dev/null || fail "the program ended while capturing"
        bin=$(tail -n +"$((start_line + 1))" "$work/err" | grep -v 'level 0)' |
            sed -n 's/^spectrum peak at bin \([0-9]*\) .*/\1/p' | tail -1)
        if [ -n "$bin" ] && [ "$bin" -ge "$1" ] && [ "$bin" -le "$2" ]; then
            return 0
        fi
        sleep 0.1
    done
    fail "no spectrum peak between bins $1 and $2 (last: ${bin:-none})"
}

case "$test_case" in
tone_moves_the_peak)
    # What another program plays into the sink shows in the spectrum, and follows the tone.
    add_sink
    tone 1000
    start_mirvo --input="$sink.monitor"
    peak_between 42 47 150
    silence
    tone 3000
    peak_between 127 140 150
    stop_mirvo
    [ "$status" -eq 0 ] || fail "exit status $status"
    ;;

lost_source_falls_back)
    # The captured sink goes away: the program says so, goes on to the default monitor and
    # keeps drawing.
    add_sink
    tone 1000
    start_mirvo --input="$sink.monitor"
    peak_between 42 47 150
    silence
    pactl unload-module "${modules[0]}" || fail "cannot remove the sink"
    modules=()
    for _ in $(seq 1 50); do
        grep -q "was lost" "$work/err" && break
        sleep 0.1
    done
    grep -q "was lost" "$work/err" || fail "no word of the lost source"
    grep "was lost" "$work/err" | grep -qE "live input now from|back to the music" || fail "no fallback named"
    before=$(line_count "$work/err")
    sleep 1
    [ "$(line_count "$work/err")" -gt "$before" ] || fail "the frames stopped after the loss"
    stop_mirvo
    [ "$status" -eq 0 ] || fail "exit status $status"
    ;;

follows_the_default_sink)
    # Plain --input captures what the default output plays, and moves with it when the person
    # switches output: two sinks, a tone in each, the default switched while capturing.
    default_before=$(pactl get-default-sink) || fail "cannot read the default sink"
    add_sink
    add_sink "${sink}_other"
    tone 1000
    tone 3000 "${sink}_other"
    pactl set-default-sink "$sink" || fail "cannot set the default sink"
    start_mirvo --input
    peak_between 42 47 150
    pactl set-default-sink "${sink}_other" || fail "cannot set the default sink"
    # A second is the aim; the loaded test machine gets three.
    peak_between 127 140 30
    stop_mirvo
    [ "$status" -eq 0 ] || fail "exit status $status"
    ;;

d_key_switches_between_music_and_live_input)
    # The music is a 1 kHz tone and the desktop plays 3 kHz: D shows the desktop's sound with the
    # music waiting, D again brings the music back. The galaxy, shown first, has panel shortcuts
    # that a key of the controller must not collide with.
    tone_file 1000 "$work/music.wav"
    tone 3000 @DEFAULT_SINK@
    start_mirvo "$work/music.wav"
    peak_between 42 47 150
    key d
    peak_between 127 140 150
    key d
    peak_between 42 47 150
    stop_mirvo
    [ "$status" -eq 0 ] || fail "exit status $status"
    ;;

wrong_name_exits_2)
    run_mirvo --windowed --input=no_such_source_anywhere
    [ "$status" -eq 2 ] || fail "exit status $status, expected 2"
    [ "$(line_count "$work/err")" -eq 1 ] || fail "expected one line on standard error"
    grep -q "no_such_source_anywhere" "$work/err" || fail "the line does not name the source"
    grep -q "monitor" "$work/err" || fail "the line does not list the sources"
    ;;

no_server_plays_music)
    # No server to capture from: one line, and the music plays on.
    XDG_RUNTIME_DIR="$work" PULSE_RUNTIME_PATH="$work/none" PULSE_SERVER="unix:$work/none/native" \
        "$MIRVO" --windowed=320x240 --no-notices --report-spectrum-peak --input --frames 120 \
        >"$work/out" 2>"$work/err"
    status=$?
    [ "$status" -eq 0 ] || fail "exit status $status"
    [ "$(grep -c "live input needs a running PulseAudio or PipeWire" "$work/err")" -eq 1 ] ||
        fail "the missing server is not told in one line"
    grep -v 'level 0)' "$work/err" | grep -q "^spectrum peak" || fail "the music does not reach the spectrum"
    ;;

sources_are_listed)
    add_sink
    run_mirvo --list-audio-devices
    [ "$status" -eq 0 ] || fail "exit status $status"
    grep -qF "  $sink.monitor (Monitor of Live_E2E_$$) [monitor]" "$work/out" ||
        fail "the new sink's monitor is not listed as one"
    ;;

*)
    echo "unknown case $test_case" >&2
    exit 2
    ;;
esac
exit 0
