#!/usr/bin/env bash
# Frame times while the player loads, from --log-frames (the time each frame was finished):
#
#   bench/frames-while-loading.sh [path/to/mirvo] [frames] [rounds]   default: 480 frames, 3 rounds
#
# 1. A drop of a folder of 2000 files, the first 1999 of them not audio (each is probed before
#    the next), then one playable, after the first frame: how many frames took more than twice
#    the run's median while the player loaded (the log's fourth column), and over the whole run.
# 2. A queue of 30000 files on the command line with a session bus (the media controls read
#    the player every frame), against the same run with one of those files: the median frame
#    time of each.
# The one-file run is also the control for the first case: a machine that is shared stalls a
# frame now and then whatever the program does.
# The cases take turns, round after round, so that a load that comes and goes falls on all
# alike; each figure is the median over the rounds.
# Needs a running display; starts a private session bus when there is none. The folders hold
# hard links to one short WAV (and to one text file), so thousands of files cost no disk.
set -euo pipefail
mirvo=$(realpath "${1:-build/mirvo}")
frames=${2:-480}
rounds=${3:-3}

if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    exec dbus-run-session -- "$0" "$mirvo" "$frames" "$rounds"
fi

work=$(mktemp -d /tmp/mirvo-frames-loading.XXXXXX)
# The settings of whoever runs it would change what is measured.
export XDG_CONFIG_HOME="$work/config"
trap 'rm -rf "$work"' EXIT
sox -n -r 48000 -c 2 "$work/one.wav" synth 5 sine 440 vol 0.5
echo "not music" >"$work/notes.txt"
mkdir "$work/drop" "$work/queue"
for i in $(seq -w 1 1999); do
    ln "$work/notes.txt" "$work/drop/$i bad.mp3"
done
ln "$work/one.wav" "$work/drop/2000 good.wav"
for i in $(seq 1 30000); do
    ln "$work/one.wav" "$work/queue/$i track.wav"
done

# Frame times in ms from a --log-frames file, one a line, without the first few (start-up).
frame_ms() { awk 'NR > 1 { printf "%.3f\n", ($1 - last) / 1e6 } { last = $1 }' "$1" | tail -n +10; }
# The same for the frames drawn while the player loaded, and the frame that took the loaded
# queue in. The drop comes after the first frame, so the load starts during start-up, whose first
# frames are as slow with one file and no drop: those are left out here too.
loading_ms() {
    awk 'NR > 10 && (before == 1 || $4 == 1) { printf "%.3f\n", ($1 - last) / 1e6 } { last = $1; before = $4 }' "$1"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

run() { "$mirvo" --windowed --frames "$frames" --no-notices --log-frames "$@" 2>/dev/null; }

drop_medians=()
drop_longest=()
drop_slow=()
loading_frames=()
loading_slow=()
one_medians=()
one_slow=()
queue_medians=()
for _ in $(seq 1 "$rounds"); do
    run "$work/drop.log" --test-drop "$work/drop" || true
    m=$(frame_ms "$work/drop.log" | median)
    drop_medians+=("$m")
    drop_longest+=("$(frame_ms "$work/drop.log" | sort -n | tail -1)")
    drop_slow+=("$(frame_ms "$work/drop.log" | awk -v m="$m" '$1 > 2 * m' | wc -l)")
    loading_frames+=("$(loading_ms "$work/drop.log" | wc -l)")
    loading_slow+=("$(loading_ms "$work/drop.log" | awk -v m="$m" '$1 > 2 * m' | wc -l)")
    run "$work/one.log" "$work/one.wav" || true
    m=$(frame_ms "$work/one.log" | median)
    one_medians+=("$m")
    one_slow+=("$(frame_ms "$work/one.log" | awk -v m="$m" '$1 > 2 * m' | wc -l)")
    run "$work/queue.log" "$work/queue" || true
    queue_medians+=("$(frame_ms "$work/queue.log" | median)")
done
of() { printf '%s\n' "$@" | median; }
echo "drop of 2000 files (1999 not audio): median frame $(of "${drop_medians[@]}") ms; while it loaded" \
    "(${loading_frames[*]} frames), frames over twice the median: ${loading_slow[*]} (each round)"
echo "  over the whole run: longest ${drop_longest[*]} ms, frames over twice the median: ${drop_slow[*]}"
echo "the same run with one file and no drop, frames over twice the median: ${one_slow[*]}"
one=$(of "${one_medians[@]}")
queue=$(of "${queue_medians[@]}")
echo "median frame: one file $one ms (${one_medians[*]}), 30000 files queued $queue ms" \
    "(${queue_medians[*]}), $(awk -v a="$queue" -v b="$one" 'BEGIN { printf "%+.1f %%", (a - b) * 100 / b }')"
