#!/usr/bin/env bash
# Render speed against FFmpeg's own audio visualizations, in the same run on the same song:
#
#   bench/render-speed.sh [path/to/mirvo] [seconds] [WxH] [fps] [path/to/baseline-mirvo]
#
# Defaults: build/mirvo, a 60 s song, 1280x720, 60 fps; a baseline build, when given, renders
# each scene too (with its own defaults), for a before and after in the same run.
# MIRVO_BENCH_ARGS adds options to the measured build's renders only (the baseline may be the same
# build): `MIRVO_BENCH_ARGS="--title --cover --progress"` measures what they cost, with a cover.jpg
# beside the song. The song is made here (a chord that
# moves, with noise bursts, so every scene has something to follow). Each line is one render into
# H.264 (libx264, CRF 20) and AAC in an .mp4, mirvo at its default preset and FFmpeg's filters
# at that preset and at medium: wall time, its multiple of real time,
# and the CPU cores it kept busy on average. Without a display mirvo draws through EGL
# surfaceless; with one, through a hidden window.
# MIRVO_BENCH_ROUNDS=N measures everything N times over, round after round, so that a machine
# whose load comes and goes weighs on every line alike, and ends with each line's median;
# MIRVO_BENCH_MEDIUM=0 leaves FFmpeg's medium preset out, which takes longest and compares with
# nothing mirvo does by default.
set -euo pipefail
mirvo=${1:-build/mirvo}
seconds=${2:-60}
size=${3:-1280x720}
fps=${4:-60}
baseline=${5:-}
preset=superfast
work=$(mktemp -d /tmp/mirvo-render-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# shellcheck source=bench/timed.sh
source "$(dirname "${BASH_SOURCE[0]}")/timed.sh"

bench_song "$work/song.ogg" "$seconds"
ffmpeg -v error -f lavfi -i "testsrc2=s=1200x1200" -frames:v 1 "$work/cover.jpg"

# measure NAME COMMAND...: one line of figures for COMMAND.
measure() {
    local name=$1
    shift
    timed "$name" "$seconds" "$@" | tee -a "$work/lines"
}

echo "$seconds s song, ${size} at ${fps} fps, H.264 CRF 20 + AAC, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
encodings=("$preset -aac_coder fast")
if [ "${MIRVO_BENCH_MEDIUM:-1}" != 0 ]; then
    encodings+=("medium")
fi
for ((round = 1; round <= ${MIRVO_BENCH_ROUNDS:-1}; ++round)); do
    for scene in ${MIRVO_BENCH_SCENES:-galaxy tree triangles}; do
        measure "mirvo $scene" "$mirvo" --render "$work/$scene.mp4" --overwrite --size "$size" --fps "$fps" \
            --scene "$scene" --scene-interval 0 ${MIRVO_BENCH_ARGS:-} "$work/song.ogg"
        if [ -n "$baseline" ]; then
            measure "baseline $scene" "$baseline" --render "$work/$scene.mp4" --overwrite --size "$size" \
                --fps "$fps" --scene "$scene" --scene-interval 0 "$work/song.ogg"
        fi
    done
    # showspectrum has no rate of its own: its frames are resampled to the rate. The AAC search is
    # mirvo's (fast) at mirvo's preset, FFmpeg's default at medium. MIRVO_BENCH_FFMPEG names the
    # filters to measure (default both; empty for none, when only mirvo's figures are wanted).
    for name in ${MIRVO_BENCH_FFMPEG-showcqt showspectrum}; do
        case "$name" in
        showcqt) filter="showcqt=s=$size:r=$fps" ;;
        showspectrum) filter="showspectrum=s=$size,fps=$fps" ;;
        *) echo "no such filter: $name" >&2; exit 2 ;;
        esac
        for encoding in "${encodings[@]}"; do
            read -r speed coder <<<"$encoding"
            measure "ffmpeg ${filter%%=*} $speed" ffmpeg -v error -y -i "$work/song.ogg" -filter_complex \
                "[0:a]$filter[v]" -map "[v]" -map 0:a -c:v libx264 -preset "$speed" -crf 20 \
                -pix_fmt yuv420p -c:a aac ${coder:+-aac_coder fast} "$work/${filter%%=*}.mp4"
        done
    done
done
if [ "${MIRVO_BENCH_ROUNDS:-1}" -gt 1 ]; then
    medians "$work/lines" "$seconds" "${MIRVO_BENCH_ROUNDS}"
fi
