#!/usr/bin/env bash
# Time from starting mirvo to its first frame drawn, median of N runs (default 5):
#
#   bench/first-frame-time.sh [path/to/mirvo] [runs]
#
# Needs a running display (the display server's own start is not counted). Each run starts
# the program windowed with --report-startup, which prints the wall-clock time at the end of
# the first frame's drawing; the difference to the moment just before exec is the figure.
set -euo pipefail
mirvo=${1:-build/mirvo}
runs=${2:-5}
times=()
for _ in $(seq 1 "$runs"); do
    start=$(date +%s%N)
    line=$("$mirvo" --no-settings --windowed --frames 2 --report-startup | grep '^first frame drawn at ')
    drawn=${line#first frame drawn at }
    drawn=${drawn%% *}
    times+=($(((drawn - start) / 1000000)))
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
echo "start to first frame, ms: $(echo "$sorted" | tr '\n' ' ')"
echo "median: $(echo "$sorted" | sed -n "$(((runs + 1) / 2))p") ms"
