#!/usr/bin/env bash
# End-to-end checks of `mirvo --render`: render_e2e.sh CASE, with $MIRVO the program. The
# outputs are decoded with ffprobe; the songs are made here with ffmpeg's tone generator.
# Set MIRVO_E2E_KEEP=DIR to keep the videos.
set -uo pipefail

test_case=${1:?which case}
e2e_prefix=mirvo-render-e2e
# shellcheck source=tests/e2e/harness.sh
e2e_dir=$(dirname "${BASH_SOURCE[0]}")
source "$e2e_dir/harness.sh"

command -v ffprobe >/dev/null && command -v ffmpeg >/dev/null || { echo "SKIP: no ffmpeg/ffprobe"; exit 77; }

# make_song NAME SECONDS: a stereo tone of that length at 48 kHz.
make_song() {
    ffmpeg -v error -y -f lavfi -i "sine=f=330:d=$2:r=48000" -ac 2 "$work/$1" || fail "cannot make $1"
}

# probe FILE STREAM ENTRIES: one stream's entries, comma-separated.
probe() {
    ffprobe -v error -select_streams "$2" -count_frames -show_entries "stream=$3" -of csv=p=0 "$1"
}

# mount_small_disk KB: sets $disk to a file system of its own that small, which a render really
# fills: a tmpfs, else an ext4 image on a loop device. Without the right to mount, the case runs
# again as root of a user namespace of its own, where a tmpfs may be mounted; it skips where
# none of these can be had.
mount_small_disk() {
    disk="$work/disk"
    mkdir -p "$disk"
    trap 'umount "$disk" 2>/dev/null; cleanup' EXIT
    mount -t tmpfs -o "size=$1k" tmpfs "$disk" 2>/dev/null && return 0
    if truncate -s "$1k" "$work/disk.img" && mkfs.ext4 -q -F -O ^has_journal "$work/disk.img" 2>/dev/null &&
        mount -o loop "$work/disk.img" "$disk" 2>/dev/null; then
        return 0
    fi
    if [ -z "${MIRVO_E2E_NAMESPACE:-}" ] && unshare --user --map-root-user --mount true 2>/dev/null; then
        trap - EXIT
        cleanup
        MIRVO_E2E_NAMESPACE=1 exec unshare --user --map-root-user --mount "$0" "$test_case"
    fi
    echo "SKIP: no small file system can be mounted here"
    exit 77
}

# Waits (at most a minute) until the render of process $1 has told of its first tenth in
# $work/err, or has ended.
wait_for_progress() {
    for _ in $(seq 1 600); do
        grep -q "10%" "$work/err" 2>/dev/null && return
        kill -0 "$1" 2>/dev/null || return
        sleep 0.1
    done
}
# frame_rgb VIDEO SECONDS: the frame shown at SECONDS as raw RGB in $work/frame.rgb.
frame_rgb() {
    ffmpeg -v error -y -ss "$2" -i "$1" -frames:v 1 -f rawvideo -pix_fmt rgb24 "$work/frame.rgb" ||
        fail "cannot take the frame at $2 s of $1"
}
# pixels WIDTH X0 Y0 X1 Y1: of $work/frame.rgb (WIDTH pixels a row), the mean colour of the box
# and how many of its pixels are bright ("R G B bright").
pixels() {
    python3 - "$work/frame.rgb" "$@" <<'PY'
import sys
path, width, x0, y0, x1, y1 = sys.argv[1], *map(int, sys.argv[2:])
data = open(path, "rb").read()
total, bright, sums = 0, 0, [0, 0, 0]
for y in range(y0, y1):
    row = data[(y * width + x0) * 3:(y * width + x1) * 3]
    for i in range(0, len(row), 3):
        pixel = row[i:i + 3]
        sums = [s + c for s, c in zip(sums, pixel)]
        bright += min(pixel) > 200
        total += 1
print(*(s // total for s in sums), bright)
PY
}
# make_png PATH WIDTH HEIGHT: a real black-and-white PNG of that size, however large, which
# compresses to almost nothing.
make_png() {
    python3 - "$@" <<'PY'
import struct, sys, zlib
path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
row = b"\0" + bytes((width + 7) // 8)
compressor = zlib.compressobj(9)
body = b"".join(compressor.compress(row) for _ in range(height)) + compressor.flush()
with open(path, "wb") as out:
    out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 1, 0, 0, 0, 0)))
    out.write(chunk(b"IDAT", body) + chunk(b"IEND", b""))
PY
}
close_to() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { x = a - b; if (x < 0) x = -x; exit !(x <= d) }'; }

case "$test_case" in
raw_frames_are_exact_and_repeatable)
    # 1.01 s at 30 fps is 30.3 frames: rounded up, 31.
    make_song song.wav 1.01
    run_mirvo --render "$work/a.y4m" --size 320x180 --fps 30 --scene tree "$work/song.wav"
    [ "$status" -eq 0 ] || fail "status $status"
    [ "$(probe "$work/a.y4m" v:0 width,height,r_frame_rate,nb_read_frames)" = "320,180,30/1,31" ] ||
        fail "stream: $(probe "$work/a.y4m" v:0 width,height,r_frame_rate,nb_read_frames)"
    grep -q "wrote '$work/a.y4m': 0:01 of video (31 frames)" "$work/err" || fail "no summary line"
    run_mirvo --render "$work/b.y4m" --size 320x180 --fps 30 --scene tree "$work/song.wav"
    [ "$status" -eq 0 ] || fail "second render: status $status"
    cmp -s "$work/a.y4m" "$work/b.y4m" || fail "two renders of the same song differ"
    ;;
mp4_has_picture_and_sound)
    make_song song.wav 1.5
    run_mirvo --render "$work/out.mp4" --size 256x144 --scene triangles --spectrum "$work/song.wav"
    [ "$status" -eq 0 ] || fail "status $status"
    [ "$(probe "$work/out.mp4" v:0 codec_name,width,height,r_frame_rate,nb_read_frames)" = "h264,256,144,60/1,90" ] ||
        fail "video: $(probe "$work/out.mp4" v:0 codec_name,width,height,r_frame_rate,nb_read_frames)"
    audio=$(probe "$work/out.mp4" a:0 codec_name,duration)
    [ "${audio%%,*}" = aac ] || fail "audio: $audio"
    close_to "${audio#*,}" 1.5 "$(awk 'BEGIN { print 1 / 60 }')" || fail "audio length ${audio#*,}, not 1.5 s"
    # Not a black video: the scene was drawn.
    mean=$(ffprobe -v error -f lavfi "movie=$work/out.mp4,signalstats" -show_entries frame_tags=lavfi.signalstats.YAVG \
        -of csv=p=0 | awk '{ s += $1 } END { print s / NR }')
    awk -v m="$mean" 'BEGIN { exit !(m > 20) }' || fail "the frames are dark (mean luma $mean)"
    ;;
no_display_renders_surfaceless)
    make_song song.wav 0.5
    env -u DISPLAY -u WAYLAND_DISPLAY "$MIRVO" --render "$work/out.mkv" --size 160x90 "$work/song.wav" \
        >"$work/out" 2>"$work/err"
    status=$?
    [ "$status" -eq 0 ] || fail "status $status"
    grep -q "EGL surfaceless" "$work/err" || fail "it did not say how it drew"
    [ "$(probe "$work/out.mkv" v:0 codec_name,nb_read_frames)" = "h264,30" ] ||
        fail "video: $(probe "$work/out.mkv" v:0 codec_name,nb_read_frames)"
    [ "$(probe "$work/out.mkv" a:0 codec_name)" = flac ] || fail "no FLAC track"
    ;;
bad_inputs_say_why)
    make_song song.wav 0.2
    # expect STATUS TEXT ARGS...: one line naming the cause, that status, and no file written.
    expect() {
        local want=$1 text=$2
        shift 2
        run_mirvo "$@"
        [ "$status" -eq "$want" ] || fail "$*: status $status, not $want"
        [ "$(line_count "$work/err")" -eq 1 ] || fail "$*: not one line"
        grep -qF -- "$text" "$work/err" || fail "$*: no '$text'"
    }
    expect 2 "supported: .mp4, .mkv, .webm, .y4m" --render "$work/out.avi" "$work/song.wav"
    expect 2 "bad video size '321x180'" --render "$work/out.mp4" --size 321x180 "$work/song.wav"
    expect 2 "bad video size '7682x4320'" --render "$work/out.mp4" --size 7682x4320 "$work/song.wav"
    expect 2 "bad frame rate '241'" --render "$work/out.mp4" --fps 241 "$work/song.wav"
    expect 2 "--fps needs --render" --fps 30
    expect 1 "the folder '$work/missing' does not exist" --render "$work/missing/out.mp4" "$work/song.wav"
    printf 'not audio' >"$work/noise.mp3"
    expect 1 "cannot play '$work/noise.mp3'" --render "$work/out.mp4" "$work/noise.mp3"
    # No GL at all: no display, and an EGL that finds no driver.
    DISPLAY="" __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json \
        expect 1 "cannot render: no GL" --render "$work/out.mp4" "$work/song.wav"
    [ -e "$work/out.mp4" ] && fail "a file was written for bad input"
    printf 'keep' >"$work/taken.y4m"
    expect 1 "it exists (--overwrite replaces it)" --render "$work/taken.y4m" "$work/song.wav"
    [ "$(cat "$work/taken.y4m")" = keep ] || fail "an existing file was touched"
    run_mirvo --render "$work/taken.y4m" --overwrite --size 64x36 "$work/song.wav"
    [ "$status" -eq 0 ] && [ "$(probe "$work/taken.y4m" v:0 nb_read_frames)" = 12 ] ||
        fail "--overwrite did not replace it (status $status)"
    ;;
output_is_replaced_whole_and_never_the_music)
    # A song that is a video file itself (FLAC in Matroska) is never written over by its own
    # render, whatever name it goes by: the same path, another spelling, a hard link or a
    # symbolic link, as the output or as the song. One line, status 1, the song untouched.
    ffmpeg -v error -y -f lavfi -i "sine=f=330:d=3:r=48000" -ac 2 -c:a flac "$work/song.mkv" ||
        fail "cannot make the song"
    cp "$work/song.mkv" "$work/copy.mkv"
    ln "$work/song.mkv" "$work/hard.mkv"
    ln -s song.mkv "$work/soft.mkv"
    for pair in song:song ./song:song hard:song soft:song song:soft; do
        out="$work/${pair%%:*}.mkv"
        run_mirvo --render "$out" --overwrite --size 64x36 "$work/${pair#*:}.mkv"
        [ "$status" -eq 1 ] || fail "$pair: status $status"
        [ "$(line_count "$work/err")" -eq 1 ] && grep -qF "cannot render to '$out': it is the music" "$work/err" ||
            fail "$pair: no line saying why"
        cmp -s "$work/song.mkv" "$work/copy.mkv" || fail "$pair: the song was changed"
    done
    [ "$(ls -A "$work" | grep -c part)" -eq 0 ] || fail "files were left: $(ls -A "$work" | tr '\n' ' ')"

    # An existing video is replaced whole: while the render runs the old one is there as it was,
    # and once the render is stopped the new one has its name, with nothing left beside it.
    make_song long.wav 60
    printf 'an older video' >"$work/out.mp4"
    "$MIRVO" --render "$work/out.mp4" --overwrite --size 320x180 "$work/long.wav" >"$work/out" 2>"$work/err" &
    pid=$!
    wait_for_progress "$pid"
    [ "$(cat "$work/out.mp4")" = "an older video" ] || fail "the older video was written over during the render"
    kill -INT "$pid" 2>/dev/null || fail "the render ended before it was interrupted"
    wait "$pid"
    status=$?
    pid=""
    [ "$status" -eq 130 ] || fail "status $status after Ctrl+C"
    frames=$(probe "$work/out.mp4" v:0 nb_read_frames)
    [ -n "$frames" ] && [ "$frames" -gt 0 ] || fail "the new video does not play ('$frames' frames)"
    [ "$(ls -A "$work" | grep -c part)" -eq 0 ] || fail "files were left: $(ls -A "$work" | tr '\n' ' ')"
    ;;
stop_signals_leave_a_playable_file)
    # Ctrl+C, a job runner's kill and a closed terminal each stop the render with a file that
    # plays up to its last frame, the sound ending with the picture. The closed terminal also
    # takes away the reader of standard error (`mirvo ... 2>&1 | tee log`): the program must not
    # die writing its last line there.
    make_song song.wav 60
    for signal in INT TERM HUP; do
        rm -f "$work/out.mp4" "$work/err"
        if [ "$signal" = HUP ]; then
            rm -f "$work/pipe" && mkfifo "$work/pipe"
            tee "$work/err" <"$work/pipe" >/dev/null &
            reader=$!
            "$MIRVO" --render "$work/out.mp4" --size 320x180 "$work/song.wav" >"$work/out" 2>"$work/pipe" &
        else
            "$MIRVO" --render "$work/out.mp4" --size 320x180 "$work/song.wav" >"$work/out" 2>"$work/err" &
        fi
        pid=$!
        wait_for_progress "$pid"
        [ "$signal" = HUP ] && { kill "$reader"; wait "$reader"; }
        kill -"$signal" "$pid" 2>/dev/null || fail "$signal: the render ended before the signal"
        wait "$pid"
        status=$?
        pid=""
        want=$((128 + $(kill -l "$signal")))
        [ "$status" -eq "$want" ] || fail "$signal: status $status, not $want"
        [ "$signal" = HUP ] || grep -q "interrupted; wrote '$work/out.mp4'" "$work/err" ||
            fail "$signal: no line saying what it holds"
        frames=$(probe "$work/out.mp4" v:0 nb_read_frames)
        [ -n "$frames" ] && [ "$frames" -gt 0 ] && [ "$frames" -lt 3600 ] || fail "$signal: video frames: '$frames'"
        duration=$(probe "$work/out.mp4" a:0 duration)
        close_to "$duration" "$(awk -v f="$frames" 'BEGIN { print f / 60 }')" 0.05 ||
            fail "$signal: the sound ($duration s) does not end with the picture ($frames frames)"
    done
    ;;
full_disk_leaves_a_playable_file)
    # A small file system of its own that the render fills: the write that finds no room stops
    # it with one line, and what was written plays. The MP4's index goes into room kept at its
    # front, which must already be the file's, not a hole needing blocks when the disk is full.
    ffmpeg -v error -y -f lavfi -i "anoisesrc=d=240:c=pink:r=48000:a=0.3" -ac 2 "$work/song.wav" ||
        fail "cannot make the song"
    mount_small_disk 2048
    for ext in mp4 mkv webm; do
        rm -rf "${disk:?}"/* "$disk"/.[!.]*
        run_mirvo --render "$disk/out.$ext" --size 160x120 --fps 30 "$work/song.wav"
        [ "$status" -eq 1 ] || fail "$ext: status $status when the disk was full"
        [ "$(grep -c "the render stopped: .*No space left on device" "$work/err")" -eq 1 ] ||
            fail "$ext: no one line naming the cause: $(tail -1 "$work/err")"
        frames=$(probe "$disk/out.$ext" v:0 nb_read_frames 2>"$work/probe")
        [[ $frames =~ ^[0-9]+$ ]] && [ "$frames" -gt 30 ] ||
            fail "$ext: what was left does not play ('$frames' frames): $(head -3 "$work/probe")"
        # A file cut off has no length of its own: its packets tell where each stream ends.
        last_packet() {
            ffprobe -v error -select_streams "$1" -show_entries packet=pts_time -of csv=p=0 "$disk/out.$ext" 2>/dev/null |
                grep -v N/A | sort -g | tail -1
        }
        picture=$(last_packet v:0) sound=$(last_packet a:0)
        [ -n "$sound" ] && close_to "$sound" "$picture" 1 ||
            fail "$ext: the sound ends at '$sound' s, the picture at $picture s"
        # A player gets through it to the end.
        ffmpeg -v error -i "$disk/out.$ext" -f null - 2>"$work/play" ||
            fail "$ext: it does not play through: $(head -3 "$work/play")"
        [ "$(ls -A "$disk")" = "out.$ext" ] || fail "$ext: left beside it: $(ls -A "$disk" | tr '\n' ' ')"
    done
    ;;
clicks_show_on_their_frames)
    # Clicks (10 ms of noise) at 1 s and 2 s of a silent song, rendered at 60 fps: the
    # triangles start to move on the frame whose window first holds a click, frame 60 or the
    # one after it (the window ends at the frame's own moment), and likewise at frame 120.
    # Before that the picture stands still. The widest frame comes a few frames after the
    # click, as the triangles ease towards their new form.
    ffmpeg -v error -y -f lavfi \
        -i "aevalsrc='if(between(t,1,1.01)+between(t,2,2.01),0.9*(2*random(0)-1),0)':s=48000:d=3" \
        -ac 2 "$work/clicks.wav" || fail "cannot make the click track"
    run_mirvo --render "$work/clicks.y4m" --size 320x180 --scene triangles --scene-interval 0 "$work/clicks.wav"
    [ "$status" -eq 0 ] || fail "status $status"
    python3 - "$work/clicks.y4m" "$e2e_dir" >"$work/onsets" <<'PY' || fail "cannot read the frames back"
import sys
sys.path.insert(0, sys.argv[2])
from y4m_luma import luma_frames
width, height, frames = luma_frames(sys.argv[1])
luma = width * height
# Pixels whose brightness changed from the frame before: a few edge pixels while the
# triangles settle, thousands when they turn.
def moved(n):
    return sum(1 for a, b in zip(frames[n - 1], frames[n]) if abs(a - b) > 16)
for start in (45, 105):
    print(next((n for n in range(start, start + 30) if moved(n) > luma // 50), -1))
PY
    read -r first second < <(tr '\n' ' ' <"$work/onsets")
    { [ "$first" -ge 59 ] && [ "$first" -le 61 ]; } || fail "the first click shows at frame $first, not 60 +-1"
    { [ "$second" -ge 119 ] && [ "$second" -le 121 ]; } || fail "the second click shows at frame $second, not 120 +-1"
    ;;
edges_are_smoothed_without_samples)
    # Mesa's software renderer draws a video with one sample and the scenes smooth their own
    # edges: the triangles' edges hold many shades between their colours. --msaa 0 asks for
    # the plain edges, only the eight sums of red, green and blue; --msaa 4 for samples.
    make_song song.wav 0.5
    shades() {
        python3 - "$1" "$e2e_dir" <<'PY'
import sys
sys.path.insert(0, sys.argv[2])
from y4m_luma import luma_frames
width, height, frames = luma_frames(sys.argv[1])
luma = width * height
print(len(set(frames[len(frames) // 2])))
PY
    }
    for msaa in default 0 4; do
        run_mirvo --render "$work/$msaa.y4m" --size 320x180 --scene triangles \
            $([ "$msaa" = default ] || echo --msaa "$msaa") "$work/song.wav"
        [ "$status" -eq 0 ] || fail "--msaa $msaa: status $status"
        cp "$work/err" "$work/err.$msaa"
    done
    if ! grep -q "edges smoothed without MSAA" "$work/err.default"; then
        glxinfo -B 2>/dev/null | grep -qiE "llvmpipe|softpipe" || { echo "SKIP: a GPU draws here"; exit 77; }
        fail "no word of the smoothing: $(head -1 "$work/err.default")"
    fi
    grep -q "4x MSAA" "$work/err.4" || fail "--msaa 4 did not multisample: $(head -1 "$work/err.4")"
    smooth=$(shades "$work/default.y4m") plain=$(shades "$work/0.y4m") sampled=$(shades "$work/4.y4m")
    [ "$plain" -le 10 ] || fail "--msaa 0 drew $plain shades, not the plain edges"
    # Four samples give an edge pixel five shades of each colour, coverage many more.
    [ "$smooth" -ge 30 ] && [ "$sampled" -ge 15 ] || fail "smoothed $smooth shades, multisampled $sampled"
    ;;
the_tree_fits_tall_and_square_frames)
    # The tree's ring is laid out for landscape, its trunks reaching in from beyond the top and
    # bottom edges. In a frame for a phone or a feed it must not be cut at the sides as well:
    # no branch may touch the left or right edge.
    make_song song.wav 1
    for size in 540x960 540x540; do
        run_mirvo --render "$work/$size.y4m" --size "$size" --fps 10 --scene tree "$work/song.wav"
        [ "$status" -eq 0 ] || fail "$size: status $status"
        python3 - "$work/$size.y4m" "$e2e_dir" >"$work/extent" <<'PY' || fail "cannot read the frames back"
import sys
sys.path.insert(0, sys.argv[2])
from y4m_luma import luma_frames
width, height, frames = luma_frames(sys.argv[1])
columns = [x for frame in frames for y in range(height) for x in (0, 1, 2, width - 3, width - 2, width - 1)
           if frame[y * width + x] > 60]
print(len(columns))
PY
        [ "$(cat "$work/extent")" -eq 0 ] || fail "$size: $(cat "$work/extent") pixels of branches on the side edges"
    done
    ;;
a_posted_video_shows_title_cover_and_progress)
    # A tagged MP3 with its cover inside (a PNG of one red, as an encoder attaches it), rendered
    # for a phone. At 1080x1920 the safe area starts 54 px in from the sides and 96 px up from
    # the bottom; the cover is 216 px square in its bottom left corner, the title and artist
    # beside it, the bar along the bottom. The triangles stay near the centre, far from them.
    ffmpeg -v error -y -f lavfi -i "color=c=0xff0000:s=600x600" -frames:v 1 "$work/red.png" &&
        ffmpeg -v error -y -f lavfi -i "sine=f=330:d=4:r=48000" -i "$work/red.png" -map 0:a -map 1:v -ac 2 \
            -c:a libmp3lame -c:v png -disposition:v attached_pic -id3v2_version 3 \
            -metadata title="Sông for Tèsts ♫ 漢字" -metadata artist="The Tëst Band" "$work/song.mp3" ||
        fail "cannot make the song"
    run_mirvo --render "$work/out.mp4" --size vertical --fps 30 --title --cover --progress --scene triangles \
        --scene-interval 0 "$work/song.mp3"
    [ "$status" -eq 0 ] || fail "status $status"
    [ "$(program_lines "$work/err")" -le 13 ] && ! grep -qi "cover\|title\|font" "$work/err" ||
        fail "it said more than the render: $(grep -i "cover\|title\|font" "$work/err")"
    [ "$(probe "$work/out.mp4" v:0 codec_name,width,height,nb_read_frames)" = "h264,1080,1920,120" ] ||
        fail "video: $(probe "$work/out.mp4" v:0 codec_name,width,height,nb_read_frames)"
    # Halfway: the cover in full red, text to its right, the bar white up to the middle.
    frame_rgb "$work/out.mp4" 2
    read -r r g b _ < <(pixels 1080 80 1640 240 1800)
    [ "$r" -gt 200 ] && [ "$g" -lt 60 ] && [ "$b" -lt 60 ] || fail "no red cover in the corner: $r $g $b"
    read -r _ _ _ text < <(pixels 1080 300 1620 1026 1824)
    [ "$text" -gt 2000 ] || fail "no title beside the cover ($text bright pixels)"
    read -r _ _ _ elapsed < <(pixels 1080 0 1912 500 1920)
    read -r _ _ _ left < <(pixels 1080 600 1912 1080 1920)
    [ "$elapsed" -gt 2000 ] && [ "$left" -eq 0 ] || fail "the bar: $elapsed bright of the first half, $left of the rest"
    # The first frame: the title and cover have yet to fade in.
    frame_rgb "$work/out.mp4" 0
    read -r r _ _ _ < <(pixels 1080 80 1640 240 1800)
    read -r _ _ _ text < <(pixels 1080 300 1620 1026 1824)
    [ "$r" -lt 40 ] && [ "$text" -eq 0 ] || fail "the first frame shows the cover ($r) or title ($text) at once"
    ;;
a_damaged_or_huge_cover_is_refused)
    # A cover is a claim like any other data: an embedded PNG whose compressed pixels were
    # damaged, and a real PNG of 12000 x 12000 pixels beside a song (a few kilobytes on disk, half
    # a gigabyte decoded). Each is refused in one line and the video is made without it.
    make_song plain.wav 1
    make_png "$work/cover.png" 300 300
    ffmpeg -v error -y -i "$work/plain.wav" -i "$work/cover.png" -map 0:a -map 1:v -c:a libmp3lame -c:v copy \
        -disposition:v attached_pic "$work/damaged.mp3" || fail "cannot make the song"
    python3 - "$work/damaged.mp3" <<'PY' || fail "cannot damage the cover"
import sys
data = bytearray(open(sys.argv[1], "rb").read())
at = data.index(b"IDAT") + 4
data[at:at + 40] = bytes(range(0x90, 0xB8))
open(sys.argv[1], "wb").write(data)
PY
    run_mirvo --render "$work/damaged.mkv" --size 320x180 --cover "$work/damaged.mp3"
    [ "$status" -eq 0 ] || fail "damaged: status $status"
    [ "$(grep -c "cover" "$work/err")" -eq 1 ] &&
        grep -qF "the cover '$work/damaged.mp3' is refused: it is damaged" "$work/err" ||
        fail "damaged: not one line saying so: $(grep cover "$work/err")"
    [ "$(probe "$work/damaged.mkv" v:0 nb_read_frames)" = 60 ] || fail "damaged: the video was not made"

    mkdir "$work/album" && mv "$work/plain.wav" "$work/album/" && make_png "$work/album/Front.png" 12000 12000
    run_mirvo --render "$work/huge.mkv" --size 320x180 --cover=centre "$work/album/plain.wav"
    [ "$status" -eq 0 ] || fail "huge: status $status"
    [ "$(grep -c "cover" "$work/err")" -eq 1 ] &&
        grep -qF "the cover '$work/album/Front.png' is refused: it is too large (12000x12000" "$work/err" ||
        fail "huge: not one line saying so: $(grep cover "$work/err")"
    [ "$(probe "$work/huge.mkv" v:0 nb_read_frames)" = 60 ] || fail "huge: the video was not made"
    ;;
an_album_renders_to_one_chaptered_video)
    # A folder as a release comes: tracks cut from one tone at sample boundaries (FLAC, tagged),
    # named so that only a natural order plays them right, a text file, and a track that does
    # not decode. The video holds the three in that order as chapters named by their titles,
    # and their sound back to back: as long as the three together, with no gap at the joins.
    mkdir -p "$work/album"
    ffmpeg -v error -y -f lavfi -i "sine=f=330:d=3.75:r=48000" -ac 2 "$work/tone.wav" || fail "cannot make the tone"
    cut() {
        ffmpeg -v error -y -i "$work/tone.wav" -af "atrim=start_sample=$2:end_sample=$3" -metadata title="$4" \
            -metadata artist="The Tëst Band" "$work/album/$1" || fail "cannot make $1"
    }
    cut "1 first.flac" 0 48000 "Eins"
    cut "2 second.flac" 48000 120000 "Zwei ♫"
    cut "10 third.flac" 120000 180000 "Drei"
    printf 'liner notes' >"$work/album/notes.txt"
    printf 'not audio at all' >"$work/album/3 broken.flac"
    for ext in mkv mp4; do
        run_mirvo --render "$work/album.$ext" --size 320x180 --fps 30 --title --progress "$work/album"
        [ "$status" -eq 1 ] || fail "$ext: status $status, not 1 for the track that was skipped"
        grep -qF "cannot play '$work/album/3 broken.flac'" "$work/err" && grep -q "1 file of the queue" "$work/err" ||
            fail "$ext: the broken track was not told"
        chapters=$(ffprobe -v error -show_chapters -show_entries chapter=start_time:chapter_tags=title -of csv=p=0 \
            "$work/album.$ext" | tr '\n' '|')
        [ "$chapters" = "0.000000,Eins|1.000000,Zwei ♫|2.500000,Drei|" ] || fail "$ext: chapters '$chapters'"
    done
    ffmpeg -v error -i "$work/album.mkv" -map 0:a -ac 1 -f s16le - >"$work/sound.raw" || fail "cannot decode the sound"
    python3 - "$work/sound.raw" >"$work/joins" <<'PY' || fail "cannot read the sound back"
import array, sys
samples = array.array("h", open(sys.argv[1], "rb").read())
longest = run = 0
for sample in samples:
    run = run + 1 if abs(sample) < 30 else 0
    longest = max(longest, run)
print(len(samples), longest)
PY
    read -r samples silence <"$work/joins"
    [ "$samples" -eq 180000 ] || fail "the sound holds $samples samples, not the 180000 of the three tracks"
    [ "$silence" -le 4 ] || fail "a gap of $silence samples in the sound"
    [ "$(probe "$work/album.mkv" v:0 nb_read_frames)" = 113 ] || fail "video frames: $(probe "$work/album.mkv" v:0 nb_read_frames)"
    ;;
an_album_renders_to_a_folder_of_videos)
    # A folder as a release comes: two tagged tracks (one with its cover inside, one whose title
    # holds a slash), a track without tags and one that does not decode, rendered two at once
    # into a folder that does not exist yet. Each track that plays becomes a video named after
    # it that plays whole; the broken one is told, skipped, and makes the run fail.
    mkdir -p "$work/album"
    ffmpeg -v error -y -f lavfi -i "color=c=0xff0000:s=300x300" -frames:v 1 "$work/red.png" &&
        ffmpeg -v error -y -f lavfi -i "sine=f=330:d=1:r=48000" -ac 2 -metadata title="Eins" \
            -metadata artist="The Tëst Band" "$work/album/1 first.flac" &&
        ffmpeg -v error -y -f lavfi -i "sine=f=440:d=1.5:r=48000" -i "$work/red.png" -map 0:a -map 1:v -ac 2 \
            -c:a libmp3lame -c:v png -disposition:v attached_pic -id3v2_version 3 -metadata title="Zwei/Drei" \
            -metadata artist="The Tëst Band" "$work/album/2 second.mp3" &&
        ffmpeg -v error -y -f lavfi -i "sine=f=550:d=1.25:r=48000" -ac 2 "$work/album/10 third.wav" ||
        fail "cannot make the album"
    printf 'not audio at all' >"$work/album/3 broken.flac"
    run_mirvo --render "$work/videos/" --jobs 2 --size 320x180 --fps 30 --title --cover --progress "$work/album"
    [ "$status" -eq 1 ] || fail "status $status, not 1 for the track that was skipped"
    grep -qF "cannot play '$work/album/3 broken.flac'" "$work/err" &&
        grep -qF "not rendered: '$work/album/3 broken.flac'" "$work/err" || fail "the broken track was not told"
    grep -q "100% 3 of 3 videos done, .*x real time, 0:00 left" "$work/err" || fail "no progress of the whole run"
    listing=$(LC_ALL=C ls -A "$work/videos" | tr '\n' '|')
    [ "$listing" = "10 third.mp4|The Tëst Band - Eins.mp4|The Tëst Band - Zwei_Drei.mp4|" ] ||
        fail "the folder holds: $listing"
    for video in "The Tëst Band - Eins:1:30" "The Tëst Band - Zwei_Drei:1.5:45" "10 third:1.25:38"; do
        IFS=: read -r name seconds frames <<<"$video"
        [ "$(probe "$work/videos/$name.mp4" v:0 width,height,nb_read_frames)" = "320,180,$frames" ] ||
            fail "$name: video $(probe "$work/videos/$name.mp4" v:0 width,height,nb_read_frames)"
        sound=$(probe "$work/videos/$name.mp4" a:0 duration)
        close_to "$sound" "$seconds" 0.05 || fail "$name: the sound lasts $sound s, not $seconds s"
    done
    ;;
a_stopped_folder_render_keeps_what_is_done)
    # Ctrl+C while the second of three tracks renders: the first video stays whole, the second
    # ends where it was and plays, the third is never begun, and nothing else is left behind.
    mkdir -p "$work/album" "$work/videos"
    make_song "album/1 short.wav" 0.5
    make_song "album/2 long.wav" 60
    make_song "album/3 next.wav" 1
    "$MIRVO" --render "$work/videos" --jobs 1 --size 320x180 --fps 30 "$work/album" >"$work/out" 2>"$work/err" &
    pid=$!
    # The run's progress lines come a tenth at a time: the first after the first video is done.
    for _ in $(seq 1 600); do
        grep -q "% 1 of 3 videos done" "$work/err" 2>/dev/null && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -INT "$pid" 2>/dev/null || fail "the render ended before it was interrupted"
    wait "$pid"
    status=$?
    pid=""
    [ "$status" -eq 130 ] || fail "status $status after Ctrl+C"
    grep -q "interrupted; wrote 1 of 3 videos and the first part of 1" "$work/err" || fail "no line saying what is kept"
    [ "$(LC_ALL=C ls -A "$work/videos" | tr '\n' '|')" = "1 short.mp4|2 long.mp4|" ] ||
        fail "the folder holds: $(ls -A "$work/videos" | tr '\n' ' ')"
    [ "$(probe "$work/videos/1 short.mp4" v:0 nb_read_frames)" = 15 ] || fail "the finished video is not whole"
    frames=$(probe "$work/videos/2 long.mp4" v:0 nb_read_frames)
    [ -n "$frames" ] && [ "$frames" -gt 0 ] && [ "$frames" -lt 1800 ] || fail "the cut video: '$frames' frames"
    ;;
*)
    fail "no such case"
    ;;
esac
echo "ok: $test_case"
