#!/usr/bin/env bash
# The fastest a scene's video can be made on this machine at the render's H.264 settings: the
# encoder alone, given the scene's own frames and every core.
#
#   bench/encoder-floor.sh [path/to/mirvo] [seconds] [WxH] [fps] [scenes...]
#
# Each scene (default: galaxy tree triangles) is rendered once losslessly (--crf 0), its frames
# are decoded to raw YUV 4:2:0, and FFmpeg's libx264 encodes them at superfast and CRF 20 with
# nothing else to do and no audio: its multiple of real time bounds any render of the scene.
# Beside it, the render at its defaults, in the same run. The raw frames take 1.4 MB each at
# 1280x720 (800 MB for the default 10 s at 60 fps), under /tmp.
set -euo pipefail
mirvo=${1:-build/mirvo}
seconds=${2:-10}
size=${3:-1280x720}
fps=${4:-60}
shift $(($# < 4 ? $# : 4))
scenes=${*:-galaxy tree triangles}
work=$(mktemp -d /tmp/mirvo-encoder-floor.XXXXXX)
trap 'rm -rf "$work"' EXIT

# shellcheck source=bench/timed.sh
source "$(dirname "${BASH_SOURCE[0]}")/timed.sh"

bench_song "$work/song.ogg" "$seconds"
echo "$seconds s song, ${size} at ${fps} fps, H.264 superfast CRF 20, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for scene in $scenes; do
    "$mirvo" --render "$work/lossless.mkv" --overwrite --size "$size" --fps "$fps" --scene "$scene" \
        --scene-interval 0 --crf 0 "$work/song.ogg" 2>/dev/null
    ffmpeg -v error -y -i "$work/lossless.mkv" -f rawvideo -pix_fmt yuv420p "$work/frames.yuv"
    rm "$work/lossless.mkv"
    timed "x264 alone, $scene" "$seconds" ffmpeg -v error -y -f rawvideo -pix_fmt yuv420p -s "$size" -r "$fps" \
        -i "$work/frames.yuv" -c:v libx264 -preset superfast -crf 20 "$work/alone.mp4"
    rm "$work/frames.yuv"
    timed "mirvo $scene" "$seconds" "$mirvo" --render "$work/render.mp4" --overwrite --size "$size" --fps "$fps" \
        --scene "$scene" --scene-interval 0 "$work/song.ogg"
done
