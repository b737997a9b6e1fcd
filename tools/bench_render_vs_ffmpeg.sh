#!/usr/bin/env bash
# Times a whole zoom movie at 1280x720 (merge count 5, zoom factor 2, speed 25, uncompressed
# "DIB " frames) without and with colour cycling, and FFmpeg's zoompan making the same number of
# 1280x720 frames from one 2560x1440 picture with the same encoder. The two without colour
# changes take turns ROUNDS times (default 3); the medians of the wall-clock and processor
# (user + system) times are compared, so that other work on the machine weighs on both alike.
#
#   tools/bench_render_vs_ffmpeg.sh [CLI] [WORK_DIR]
set -euo pipefail
cli=${1:-build/src/app/zoomreel-cli}
work=${2:-$(mktemp -d /tmp/zoomreel-bench.XXXXXX)}
count=${KEYFRAMES:-11}
rounds=${ROUNDS:-3}
keyframes="$work/keyframes"
mkdir -p "$keyframes" "$work/big"

if ! ls "$keyframes"/*.zmb > /dev/null 2>&1; then
    echo "making $count key frames of 1280x720 in $keyframes"
    "$cli" make-keyframes "$keyframes" --count "$count" --size 1280x720 > /dev/null
fi
# The picture FFmpeg zooms into: the widest view coloured at 2560x1440.
if [ ! -f "$work/big.png" ]; then
    "$cli" make-keyframes "$work/big" --count 1 --size 2560x1440 > /dev/null
    "$cli" preview "$work/big" --frame 0 --output "$work/big.png" > /dev/null
fi

timed() {  # timed OUTPUT_FILE command...: appends "wall cpu" to OUTPUT_FILE
    local out=$1
    shift
    /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "$@" > /dev/null 2>> "$work/log.txt"
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time.txt" >> "$out"
}
render() {
    rm -f "$keyframes"/film*.avi
    timed "$1" "$cli" render "$keyframes" --codec 'DIB ' --set MergeFrames=4 --set ZOL=0 \
        --set $'SPEED=0\t25' --set FPM=1000000 "${@:2}"
}
median() {  # median COLUMN FILE
    sort -n -k "$1" "$2" | awk -v c="$1" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}

rm -f "$work"/ours.txt "$work"/ffmpeg.txt "$work"/cycling.txt "$work/log.txt"
render "$work/ours.txt"
frames=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 \
    "$keyframes/film.avi")
zoompan="zoompan=z='pow(2,mod(on,25)/25)':x='iw/2-iw/zoom/2':y='ih/2-ih/zoom/2'"
zoompan+=":d=$frames:s=1280x720:fps=30"
for ((round = 0; round < rounds; round++)); do
    timed "$work/ffmpeg.txt" ffmpeg -v error -y -loop 1 -i "$work/big.png" -vf "$zoompan" \
        -frames:v "$frames" -c:v rawvideo -pix_fmt bgr24 "$work/ffmpeg.avi"
    rm -f "$work/ffmpeg.avi"
    if ((round + 1 < rounds)); then
        render "$work/ours.txt"
    fi
done
render "$work/cycling.txt" --set $'CYCLE=0\t1'
rm -f "$keyframes"/film*.avi

report() {  # report LABEL FILE
    local wall cpu
    wall=$(median 1 "$2")
    cpu=$(median 2 "$2")
    awk -v l="$1" -v f="$frames" -v w="$wall" -v c="$cpu" 'BEGIN {
        printf "%-34s %4d frames  wall %7.2f s = %6.1f frames/s  cpu %7.2f s = %6.1f frames/s\n",
            l, f, w, f / w, c, f / c }'
}
echo "medians of $rounds runs (colour cycling: 1 run), 1280x720, DIB:"
report "zoomreel, no colour changes" "$work/ours.txt"
report "ffmpeg zoompan" "$work/ffmpeg.txt"
report "zoomreel, colour cycling" "$work/cycling.txt"
awk -v a="$(median 1 "$work/ours.txt")" -v b="$(median 1 "$work/ffmpeg.txt")" \
    -v c="$(median 2 "$work/ours.txt")" -v d="$(median 2 "$work/ffmpeg.txt")" 'BEGIN {
    printf "zoomreel / ffmpeg speed: wall %.2f, cpu %.2f\n", b / a, d / c }'
