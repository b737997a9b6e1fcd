#!/usr/bin/env bash
# Times a whole zoom movie at 1280x720 (merge count 5, zoom factor 2, speed 25, uncompressed
# "DIB " frames) without and with colour cycling, and FFmpeg's zoompan making the same number of
# 1280x720 frames from one 2560x1440 picture with the same encoder, in the same run.
#
#   tools/bench_render_vs_ffmpeg.sh [CLI] [WORK_DIR]
set -euo pipefail
cli=${1:-build/src/app/zoomreel-cli}
work=${2:-$(mktemp -d /tmp/zoomreel-bench.XXXXXX)}
count=${KEYFRAMES:-11}
keyframes="$work/keyframes"
mkdir -p "$keyframes" "$work/big"

seconds() { date +%s.%N; }
frames_of() { ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$1"; }
rate() { awk -v f="$1" -v s="$2" 'BEGIN { printf "%.1f", f / s }'; }

if ! ls "$keyframes"/*.zmb > /dev/null 2>&1; then
    echo "making $count key frames of 1280x720 in $keyframes"
    "$cli" make-keyframes "$keyframes" --count "$count" --size 1280x720 > /dev/null
fi

render() {  # render LABEL [extra options...]
    local label=$1
    shift
    rm -f "$keyframes"/film*.avi
    local start end
    start=$(seconds)
    "$cli" render "$keyframes" --codec 'DIB ' --set MergeFrames=4 --set ZOL=0 \
        --set $'SPEED=0\t25' --set FPM=100000 "$@" > /dev/null
    end=$(seconds)
    local frames
    frames=$(frames_of "$keyframes/film.avi")
    local elapsed
    elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    echo "$label: $frames frames in ${elapsed}s = $(rate "$frames" "$elapsed") frames/s" >&2
    echo "$frames $elapsed"
}

read -r frames ours < <(render "zoomreel, no colour changes")
read -r _ cycling < <(render "zoomreel, colour cycling" --set $'CYCLE=0\t1')
rm -f "$keyframes"/film*.avi

# The picture FFmpeg zooms into: the widest key frame coloured at 2560x1440.
if [ ! -f "$work/big.png" ]; then
    "$cli" make-keyframes "$work/big" --count 1 --size 2560x1440 > /dev/null
    "$cli" preview "$work/big" --frame 0 --output "$work/big.png" > /dev/null
fi
start=$(seconds)
ffmpeg -v error -y -loop 1 -i "$work/big.png" \
    -vf "zoompan=z='pow(2,mod(on,25)/25)':x='iw/2-iw/zoom/2':y='ih/2-ih/zoom/2':d=$frames:s=1280x720:fps=30" \
    -frames:v "$frames" -c:v rawvideo -pix_fmt bgr24 "$work/ffmpeg.avi"
end=$(seconds)
theirs=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
echo "ffmpeg zoompan: $(frames_of "$work/ffmpeg.avi") frames in ${theirs}s = $(rate "$frames" "$theirs") frames/s" >&2
rm -f "$work/ffmpeg.avi"
awk -v a="$ours" -v b="$theirs" -v c="$cycling" 'BEGIN {
    printf "speed ratio zoomreel / ffmpeg: %.2f (colour cycling: %.2f)\n", b / a, b / c }'
