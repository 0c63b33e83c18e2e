#!/usr/bin/env bash
# How much of a core the program takes in a window, as a person runs it: the start-up music
# playing, 1280x720, on the display's own GL. Two figures per program:
#
#   bench/window-cpu.sh [--seconds S] [--scenes] [--music FILE] MIRVO [MIRVO...]
#
# - minimised: CPU time (user + system, from /proc/PID/stat) over S seconds (default 10) while
#   the window is minimised (xdotool windowminimize);
# - with --scenes, for each built-in scene: the cores it takes while shown and the frames per
#   second it draws (a line of --report-spectrum-peak every ten frames).
# --music plays FILE instead of the start-up music (loud broadband music costs the scenes most).
# Name the program before a change and after it to compare them in the same run, on the same
# machine and display. Starts its own Xvfb with a small window manager (twm: minimising needs
# one), and a PulseAudio with a null sink when none answers.
set -euo pipefail

seconds=10
scenes=false
music=()
programs=()
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --scenes) scenes=true; shift ;;
    --music) music=("$2"); shift 2 ;;
    *) programs+=("$1"); shift ;;
    esac
done
[ ${#programs[@]} -gt 0 ] || programs=(build/mirvo)

work=$(mktemp -d /tmp/mirvo-window-cpu.XXXXXX)
# The settings of whoever runs it would change what is measured.
export XDG_CONFIG_HOME="$work/config"
started=()
cleanup() {
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

for n in $(seq 150 199); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
done
Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp +extension GLX +render -noreset >/dev/null 2>&1 &
started+=($!)
export DISPLAY=":$n"
for _ in $(seq 1 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
# The display server has only its built-in font; twm refuses to start without its fonts.
printf 'RandomPlacement\nNoGrabServer\n' >"$work/twmrc"
for font in TitleFont ResizeFont MenuFont IconFont IconManagerFont; do
    echo "$font \"fixed\"" >>"$work/twmrc"
done
LC_ALL=C twm -f "$work/twmrc" >/dev/null 2>&1 &
started+=($!)

if ! pactl info >/dev/null 2>&1; then
    export XDG_RUNTIME_DIR="$work" PULSE_RUNTIME_PATH="$work/pulse"
    pulseaudio --daemonize=no --exit-idle-time=-1 -n --load=module-native-protocol-unix \
        --load="module-null-sink sink_name=bench_null" >"$work/pulse.log" 2>&1 &
    started+=($!)
    for _ in $(seq 1 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    pactl set-default-sink bench_null
fi

ticks=$(getconf CLK_TCK)
# cpu_ticks PID: user + system time of the process so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
drawn() { grep -c '^spectrum peak' "$work/err" || true; }

# measure PID: "cores fps" over the next $seconds seconds.
measure() {
    local cpu0 cpu1 frames0 frames1 t0 t1
    cpu0=$(cpu_ticks "$1")
    frames0=$(drawn)
    t0=$(date +%s%N)
    sleep "$seconds"
    cpu1=$(cpu_ticks "$1")
    frames1=$(drawn)
    t1=$(date +%s%N)
    awk -v c="$((cpu1 - cpu0))" -v hz="$ticks" -v f="$((frames1 - frames0))" -v ns="$((t1 - t0))" \
        'BEGIN { s = ns / 1e9; printf "%.3f %.0f", c / hz / s, f * 10 / s }'
}

# start PROGRAM ARGS...: sets $pid and $wid once the window shows.
start() {
    "$@" --no-settings --windowed=1280x720 --no-notices --report-spectrum-peak "${music[@]}" >/dev/null 2>"$work/err" &
    pid=$!
    wid=""
    for _ in $(seq 1 300); do
        wid=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1) && [ -n "$wid" ] && break
        sleep 0.1
    done
    [ -n "$wid" ] || { echo "no window from $1" >&2; exit 1; }
    # Start-up (decoding, shader compiles) is not what is measured.
    sleep 3
}
stop() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

echo "GL: $(glxinfo 2>/dev/null | sed -n 's/^OpenGL renderer string: //p'), $(nproc) cores, ${seconds} s each"
for program in "${programs[@]}"; do
    start "$program"
    shown=$(measure "$pid")
    xdotool windowminimize --sync "$wid"
    sleep 1
    minimised=$(measure "$pid")
    stop
    echo "$program: shown ${shown% *} cores at ${shown#* } fps; minimised ${minimised% *} cores (${minimised#* } fps)"
    if $scenes; then
        for scene in galaxy tree triangles; do
            start "$program" --scene "$scene"
            figures=$(measure "$pid")
            stop
            echo "$program: $scene ${figures% *} cores at ${figures#* } fps"
        done
    fi
done
