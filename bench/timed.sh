# Sourced by the render benchmarks, with $work set: `timed NAME LENGTH COMMAND...` runs COMMAND
# and prints one line for it: its wall time, LENGTH seconds of music over that time (its
# multiple of real time), the CPU cores it kept busy on average, and the CPU seconds it spent
# on each second of music. On a busy machine the last is the steadier figure: the whole
# machine's cores over it bound the multiple of real time the command would reach alone.
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
        w = e - s; printf "%-24s %7.1f s  %5.2fx real time  %4.2f cores  %5.2f CPU s/s\n", n, w, len / w, (u + k) / w, (u + k) / len }'
}

# `bench_song PATH SECONDS [BASE_HZ [OPTIONS...]]` writes the benchmarks' music: a chord that
# moves, with noise bursts, so that every scene has something to follow, as Ogg Vorbis.
bench_song() {
    local path=$1 seconds=$2 base=${3:-220}
    shift $(($# < 3 ? $# : 3))
    ffmpeg -v error -f lavfi -i "aevalsrc='0.3*sin(2*PI*($base+110*sin(t/3))*t)+0.2*sin(2*PI*660*t)*gt(mod(t,2),1)+0.2*(random(0)-0.5)*lt(mod(t,0.5),0.05)':s=44100:d=$seconds" \
        -ac 2 -c:a libvorbis "$@" "$path"
}

# `medians LINES LENGTH ROUNDS`: each name's median wall time over the lines `timed` wrote to the
# file LINES, in the order the names first came. The load of a shared machine comes and goes, and
# the median of rounds taken in turn is the figure it moves least.
medians() {
    local lines=$1 length=$2 rounds=$3
    echo "median of $rounds rounds:"
    grep -v ': failed: ' "$lines" |
        awk '{ name = $1; for (i = 2; i <= NF - 10; ++i) name = name " " $i; print name "\t" $(NF - 9) }' \
            >"$lines.figures"
    cut -f1 "$lines.figures" | awk '!seen[$0]++' | while IFS= read -r name; do
        awk -F'\t' -v n="$name" '$1 == n { print $2 }' "$lines.figures" | sort -n |
            awk -v n="$name" -v len="$length" '{ w[NR] = $1 } END {
                m = NR % 2 ? w[(NR + 1) / 2] : (w[NR / 2] + w[NR / 2 + 1]) / 2
                printf "%-24s %7.1f s  %5.2fx real time\n", n, m, len / m }'
    done
}
