#!/usr/bin/env bash
# End-to-end checks of the desktop's media controls: media_controls_e2e.sh CASE, with $MIRVO the
# program, a display in $DISPLAY and a session bus in $DBUS_SESSION_BUS_ADDRESS (scripts/test
# starts private ones when none is there). The program is driven over the bus with dbus-send,
# as media keys and desktop widgets drive it, and its change signals are read with dbus-monitor.
set -uo pipefail

test_case=${1:?which case}
e2e_prefix=mirvo-media-e2e
# shellcheck source=tests/e2e/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

bus_name=org.mpris.MediaPlayer2.mirvo
player=org.mpris.MediaPlayer2.Player

call() { dbus-send --session --print-reply --dest="$bus_name" /org/mpris/MediaPlayer2 "$@"; }
# property INTERFACE NAME: the reply to a Get, as dbus-send prints it.
property() { call org.freedesktop.DBus.Properties.Get "string:$1" "string:$2" 2>/dev/null; }
# The string value of a property of the player or the root interface.
text_property() { property "$1" "$2" | sed -n 's/^ *variant *string "\(.*\)"$/\1/p'; }
# The string value of one entry of the player's Metadata.
metadata() { property "$player" Metadata | grep -A1 "string \"$1\"" | sed -n 's/^ *variant *string "\(.*\)"$/\1/p'; }
has_owner() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# start_on_the_bus ARGS...: starts Mirvo on the album, waits for its window and for its name
# on the session bus; $pid is the program.
start_on_the_bus() {
    "$MIRVO" "$@" "$work/album" >"$work/out" 2>"$work/err" &
    pid=$!
    wait_for_window 200
    for _ in $(seq 1 100); do
        has_owner "$bus_name" && break
        sleep 0.1
    done
    has_owner "$bus_name" || fail "$bus_name is not on the session bus"
}

# wait_for TENTHS EXPECTED COMMAND...: waits until COMMAND prints EXPECTED; fails after TENTHS.
wait_for() {
    local tenths=$1 expected=$2 got=""
    shift 2
    for _ in $(seq 1 "$tenths"); do
        got=$("$@")
        [ "$got" = "$expected" ] && return 0
        kill -0 "$pid" 2>/dev/null || fail "the program ended while waiting for '$expected'"
        sleep 0.1
    done
    fail "$* gave '$got', expected '$expected'"
}

tagged_tone() { # file, frequency, title, [album]
    ffmpeg -loglevel error -f lavfi -i "sine=frequency=$2:duration=30" -metadata "title=$3" \
        -metadata "artist=Ann Tester" ${4:+-metadata "album=$4"} "$1" || fail "ffmpeg failed"
}

case "$test_case" in
media_controls)
    # Mirvo appears on the bus as a media player; its metadata is the file's tags, PlayPause
    # pauses, Next moves on, each change is signalled, and Quit ends it.
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || exit 77
    mkdir -p "$work/album"
    tagged_tone "$work/album/1 first.flac" 440 "First Song" "Bus Album"
    tagged_tone "$work/album/2 second.flac" 550 "Second Song"
    tagged_tone "$work/album/10 third.flac" 660 "Third Song"

    dbus-monitor --session "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged'" \
        >"$work/monitor" 2>&1 &
    monitor=$!
    second=""
    trap 'kill "$monitor" $second 2>/dev/null; wait "$monitor" $second 2>/dev/null; cleanup' EXIT
    # The monitor prints its own name once it listens.
    for _ in $(seq 1 50); do
        [ -s "$work/monitor" ] && break
        sleep 0.1
    done

    start_on_the_bus --windowed --no-notices

    [ "$(text_property org.mpris.MediaPlayer2 Identity)" = Mirvo ] || fail "Identity is not Mirvo"
    [ "$(text_property org.mpris.MediaPlayer2 DesktopEntry)" = mirvo ] || fail "DesktopEntry is not mirvo"
    wait_for 50 Playing text_property "$player" PlaybackStatus
    wait_for 50 "First Song" metadata xesam:title
    [ "$(metadata xesam:album)" = "Bus Album" ] || fail "the album is not the file's tag"
    property "$player" Metadata | grep -A3 'string "xesam:artist"' | grep -q 'string "Ann Tester"' ||
        fail "the artist is not the file's tag"
    property "$player" CanGoNext | grep -q 'boolean true' || fail "CanGoNext is false on the first track"

    call "$player.PlayPause" >/dev/null || fail "PlayPause failed"
    wait_for 50 Paused text_property "$player" PlaybackStatus
    call "$player.Next" >/dev/null || fail "Next failed"
    wait_for 50 "Second Song" metadata xesam:title
    # A paused player stays paused on the next track.
    [ "$(text_property "$player" PlaybackStatus)" = Paused ] || fail "Next while paused started playing"
    call "$player.Play" >/dev/null || fail "Play failed"
    wait_for 50 Playing text_property "$player" PlaybackStatus
    # Stop, then Play: the same track from its beginning.
    call "$player.Stop" >/dev/null || fail "Stop failed"
    wait_for 50 Stopped text_property "$player" PlaybackStatus
    call "$player.Play" >/dev/null || fail "Play failed"
    wait_for 50 Playing text_property "$player" PlaybackStatus
    [ "$(metadata xesam:title)" = "Second Song" ] || fail "Play after Stop did not resume the same track"
    position=$(property "$player" Position | sed -n 's/^ *variant *int64 \([0-9]*\)$/\1/p')
    [ -n "$position" ] && [ "$position" -lt 10000000 ] || fail "the position after Play is '$position' µs, not near the start"

    # Each of those changes was signalled as it happened.
    for _ in $(seq 1 20); do
        grep -q 'string "Second Song"' "$work/monitor" && break
        sleep 0.1
    done
    grep -q 'string "Paused"' "$work/monitor" || fail "no PropertiesChanged said Paused"
    grep -q 'string "Second Song"' "$work/monitor" || fail "no PropertiesChanged told of the next track"

    # A second Mirvo takes a name of its own beside the first.
    "$MIRVO" --windowed=320x200 --no-notices --frames 2000 "$work/album" >"$work/out2" 2>"$work/err2" &
    second=$!
    for _ in $(seq 1 150); do
        has_owner "$bus_name.instance$second" && break
        sleep 0.1
    done
    has_owner "$bus_name.instance$second" || fail "the second program is not on the bus as instance$second"
    kill "$second"
    wait "$second" 2>/dev/null
    has_program_output "$work/err2" && fail "the second program complained: $(head -1 "$work/err2")"

    call org.mpris.MediaPlayer2.Quit >/dev/null || fail "Quit failed"
    for _ in $(seq 1 150); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "Quit did not end the program"
    wait "$pid"
    status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "exit status $status after Quit"
    has_program_output "$work/err" && fail "unexpected standard error"
    has_owner "$bus_name" && fail "the name stayed on the bus after Quit"
    ;;

no_session_bus)
    # Without a session bus the program runs as before and says nothing about it.
    tagged_tone "$work/song.flac" 440 "Song"
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" run_mirvo --windowed --frames 40 "$work/song.flac"
    [ "$status" -eq 0 ] || fail "exit status $status without a session bus"
    has_program_output "$work/err" && fail "unexpected standard error without a session bus"
    ;;

seeking_and_modes)
    # Seeking, LoopStatus and Shuffle through a real client (playerctl) and by hand (busctl), and
    # the keys that do the same; the first file is a VBR MP3 whose length is only estimated.
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || exit 77
    command -v playerctl >/dev/null || fail "playerctl is not installed (scripts/packages.txt)"
    mkdir -p "$work/album"
    ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=40" -f lavfi -i "anoisesrc=d=40:a=0.2" \
        -filter_complex amix=inputs=2 -c:a libmp3lame -q:a 4 -write_xing 0 -metadata "title=Estimated Song" \
        "$work/album/1 estimated.mp3" || fail "ffmpeg failed"
    tagged_tone "$work/album/2 second.flac" 550 "Second Song"

    dbus-monitor --session "type='signal',interface='$player',member='Seeked'" >"$work/seeked" 2>&1 &
    monitor=$!
    trap 'kill "$monitor" 2>/dev/null; wait "$monitor" 2>/dev/null; cleanup' EXIT
    for _ in $(seq 1 50); do
        [ -s "$work/seeked" ] && break
        sleep 0.1
    done

    start_on_the_bus --windowed=480x270 --no-notices
    wait_for 50 Playing text_property "$player" PlaybackStatus
    wait_for 50 "Estimated Song" metadata xesam:title
    property "$player" CanSeek | grep -q 'boolean true' || fail "CanSeek is false for a file"

    # position_in LOW HIGH: the position (what is heard) lies between LOW and HIGH seconds.
    position_in() {
        local micros
        for _ in $(seq 1 30); do
            micros=$(property "$player" Position | sed -n 's/^ *variant *int64 \([0-9]*\)$/\1/p')
            [ -n "$micros" ] && [ "$micros" -ge "$(($1 * 1000000))" ] && [ "$micros" -le "$(($2 * 1000000))" ] &&
                return 0
            sleep 0.1
        done
        fail "the position is '$micros' µs, not between $1 and $2 s"
    }
    playerctl --player=mirvo position 20 || fail "playerctl position failed"
    position_in 19 22
    grep -q 'int64 20000000' "$work/seeked" || sleep 0.5
    grep -q 'int64 20000000' "$work/seeked" || fail "no Seeked signal said 20 s"
    # Plain arrows seek, Shift makes it 30 s; back before the start is the start.
    key Right
    position_in 24 28
    key shift+Left
    position_in 0 3

    playerctl --player=mirvo loop Track || fail "playerctl loop failed"
    wait_for 30 Track text_property "$player" LoopStatus
    [ "$(playerctl --player=mirvo loop)" = Track ] || fail "playerctl reads another loop status"
    playerctl --player=mirvo shuffle On || fail "playerctl shuffle failed"
    wait_for 30 On playerctl --player=mirvo shuffle
    # R goes on from Track to None, X turns shuffle off again.
    key r
    wait_for 30 None text_property "$player" LoopStatus
    key x
    wait_for 30 Off playerctl --player=mirvo shuffle
    busctl --user set-property "$bus_name" /org/mpris/MediaPlayer2 "$player" LoopStatus s Sometimes 2>/dev/null &&
        fail "a loop status that does not exist was taken"

    # A position for a track that is not the current one moves nothing.
    busctl --user call "$bus_name" /org/mpris/MediaPlayer2 "$player" SetPosition ox \
        /org/mirvo/Mirvo/Track/999 30000000 || fail "SetPosition failed"
    position_in 0 5
    # Past the end of a file whose length is an estimate: the next track plays.
    busctl --user call "$bus_name" /org/mpris/MediaPlayer2 "$player" Seek x 600000000 || fail "Seek failed"
    wait_for 50 "Second Song" metadata xesam:title
    wait_for 30 Playing text_property "$player" PlaybackStatus
    position_in 0 5

    call org.mpris.MediaPlayer2.Quit >/dev/null || fail "Quit failed"
    for _ in $(seq 1 150); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    wait "$pid"
    status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "exit status $status after Quit"
    has_program_output "$work/err" && fail "unexpected standard error"
    ;;

minimized_draws_nothing)
    # Minimised, the window draws nothing while the music plays on; shown again, it draws at
    # once. Minimising needs a window manager: a small one runs for the case.
    command -v twm >/dev/null || fail "twm is not installed (scripts/packages.txt)"
    # The display server has only its built-in font; twm refuses to start without its fonts.
    printf 'RandomPlacement\nNoGrabServer\n' >"$work/twmrc"
    for font in TitleFont ResizeFont MenuFont IconFont IconManagerFont; do
        echo "$font \"fixed\"" >>"$work/twmrc"
    done
    LC_ALL=C twm -f "$work/twmrc" >/dev/null 2>&1 &
    wm=$!
    trap 'kill "$wm" 2>/dev/null; wait "$wm" 2>/dev/null; cleanup' EXIT
    tagged_tone "$work/song.flac" 440 "Song"
    kill -0 "$wm" 2>/dev/null || fail "the window manager did not start"
    # A peak line every ten frames drawn.
    "$MIRVO" --windowed=320x200 --no-notices --report-spectrum-peak "$work/song.flac" >"$work/out" 2>"$work/err" &
    pid=$!
    wait_for_window 200
    drawn() { grep -c '^spectrum peak' "$work/err"; }
    sleep 1
    before=$(drawn)
    sleep 1
    [ "$(drawn)" -gt "$before" ] || fail "no frames drawn while the window shows"
    xdotool windowminimize --sync "$wid" || fail "xdotool could not minimise the window"
    sleep 0.5
    minimized=$(drawn)
    sleep 2
    [ "$(drawn)" -le "$((minimized + 1))" ] || fail "$(($(drawn) - minimized))0 frames drawn while minimised"
    xdotool windowmap --sync "$wid"
    for _ in $(seq 1 30); do
        [ "$(drawn)" -gt "$((minimized + 2))" ] && break
        sleep 0.1
    done
    [ "$(drawn)" -gt "$((minimized + 2))" ] || fail "no frames drawn once shown again"
    stop_mirvo
    [ "$status" -eq 0 ] || fail "exit status $status"
    ;;

*)
    echo "unknown case $test_case" >&2
    exit 2
    ;;
esac
exit 0
