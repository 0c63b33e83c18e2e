#!/usr/bin/env bash
# Time from starting mirvo to its first frame drawn with a folder of many files on the command
# line, against the same with one of those files, median of N runs each (default 7):
#
#   bench/queue-start-time.sh [path/to/mirvo] [runs] [files]      default files: 2000
#
# Needs a running display (the display server's own start is not counted). The folder holds
# hard links to one short WAV under names that need the natural sort (links, so that thousands
# of files cost no disk); the two cases take turns,
# so that a load that comes and goes falls on both alike. Each run is measured as in
# bench/first-frame-time.sh: from just before exec to the wall-clock time that --report-startup
# prints at the end of the first frame's drawing.
set -euo pipefail
mirvo=${1:-build/mirvo}
runs=${2:-7}
files=${3:-2000}

work=$(mktemp -d /tmp/mirvo-queue-start.XXXXXX)
# The settings of whoever runs it would change what is measured.
export XDG_CONFIG_HOME="$work/config"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/album/disc 1" "$work/album/disc 2"
sox -n -r 48000 -c 2 "$work/one.wav" synth 5 sine 440 vol 0.5
for i in $(seq 1 "$files"); do
    ln "$work/one.wav" "$work/album/disc $((i % 2 + 1))/$i track $i.wav"
done

# Milliseconds from exec to the first frame drawn, for one run with the given arguments.
first_frame_ms() {
    local start line drawn
    start=$(date +%s%N)
    line=$("$mirvo" --windowed --frames 2 --report-startup --no-notices "$@" | grep '^first frame drawn at ')
    drawn=${line#first frame drawn at }
    drawn=${drawn%% *}
    echo $(((drawn - start) / 1000000))
}

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

one=()
many=()
for _ in $(seq 1 "$runs"); do
    one+=("$(first_frame_ms "$work/one.wav")")
    many+=("$(first_frame_ms "$work/album")")
done
one_median=$(median "${one[@]}")
many_median=$(median "${many[@]}")
echo "one file, ms:         ${one[*]}"
echo "$files files, ms: ${many[*]}"
echo "median: one file $one_median ms, $files files $many_median ms," \
    "$(awk -v a="$many_median" -v b="$one_median" 'BEGIN { printf "%+.1f %%", (a - b) * 100 / b }')"
