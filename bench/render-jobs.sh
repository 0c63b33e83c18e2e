#!/usr/bin/env bash
# How many tracks a folder render should render at once: an album rendered to a folder of
# videos with --jobs 1, 2, 3 (and the default), one after another in the same run:
#
#   bench/render-jobs.sh [path/to/mirvo] [tracks] [seconds] [WxH] [fps] [jobs...]
#
# Defaults: build/mirvo, 4 tracks of 15 s, 1280x720, 60 fps, jobs 1 2 3. The tracks are made
# here (a chord that moves, with noise bursts, each track in another key); the scenes change
# every 5 s so that each track shows all three. Each line is one whole render: wall time, the
# album's multiple of real time, and the CPU cores it kept busy on average. MIRVO_BENCH_ARGS
# adds options to every render (e.g. "--title --cover --progress"); MIRVO_BENCH_ROUNDS=N runs
# them all N times in turn and ends with each line's median.
set -euo pipefail
mirvo=${1:-build/mirvo}
tracks=${2:-4}
seconds=${3:-15}
size=${4:-1280x720}
fps=${5:-60}
shift $(($# < 5 ? $# : 5))
jobs_list=${*:-1 2 3}
work=$(mktemp -d /tmp/mirvo-render-jobs.XXXXXX)
trap 'rm -rf "$work"' EXIT

# shellcheck source=bench/timed.sh
source "$(dirname "${BASH_SOURCE[0]}")/timed.sh"

mkdir -p "$work/album"
for track in $(seq 1 "$tracks"); do
    bench_song "$work/album/$track.ogg" "$seconds" $((180 + 40 * track)) -metadata title="Track $track"
done
total=$((tracks * seconds))

# measure NAME ARGS...: one line of figures for a folder render with ARGS.
measure() {
    local name=$1
    shift
    rm -rf "$work/videos"
    timed "$name" "$total" "$mirvo" --render "$work/videos/" --size "$size" --fps "$fps" \
        --scene-interval 5 ${MIRVO_BENCH_ARGS:-} "$@" "$work/album" | tee -a "$work/lines"
}

echo "$tracks tracks of $seconds s, ${size} at ${fps} fps, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for ((round = 1; round <= ${MIRVO_BENCH_ROUNDS:-1}; ++round)); do
    for jobs in $jobs_list; do
        measure "--jobs $jobs" --jobs "$jobs"
    done
    measure "default"
done
if [ "${MIRVO_BENCH_ROUNDS:-1}" -gt 1 ]; then
    medians "$work/lines" "$total" "${MIRVO_BENCH_ROUNDS}"
fi
