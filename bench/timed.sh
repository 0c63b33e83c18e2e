# Sourced by the render benchmarks, with $work set: `timed NAME LENGTH COMMAND...` runs COMMAND
# and prints one line for it: its wall time, LENGTH seconds of music over that time (its
# multiple of real time), and the CPU cores it kept busy on average.
timed() {
    local name=$1 length=$2
    shift 2
    local start end user sys
    start=$(date +%s.%N)
    /usr/bin/time -f '%U %S' -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
        echo "$name: failed: $(tail -1 "$work/err")"
        return
    }
    end=$(date +%s.%N)
    read -r user sys <"$work/time"
    awk -v n="$name" -v s="$start" -v e="$end" -v u="$user" -v k="$sys" -v len="$length" 'BEGIN {
        w = e - s; printf "%-22s %7.1f s  %5.2fx real time  %4.1f cores\n", n, w, len / w, (u + k) / w }'
}
