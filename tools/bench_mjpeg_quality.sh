#!/usr/bin/env bash
# Motion JPEG quality per byte: renders the benchmark zoom (tools/bench_movies.sh, 11 key frames)
# uncompressed once and in Motion JPEG at several qualities with one or two builds, and prints
# for each the file size and the PSNR of the decoded frames against the uncompressed ones (all
# frames, RGB, FFmpeg's decoder).
#
#   tools/bench_mjpeg_quality.sh [CLI] [OTHER_CLI] [WORK_DIR]
#
# SIZE (default 1280x720) and QUALITIES (default "50 75 85 95") choose what runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=$(realpath "${1:-build/src/app/zoomreel-cli}")
other=${2:+$(realpath "$2")}
work=${3:-$(mktemp -d /tmp/zoomreel-mjpeg.XXXXXX)}
size=${SIZE:-1280x720}
qualities=${QUALITIES:-50 75 85 95}
source "$here/bench_movies.sh"
mkdir -p "$work"

folder=$(bench_keyframes "$work" "$size")
bench_render "$folder" "--codec DIB" > /dev/null 2> "$work/dib.log"
mv "$folder/film.avi" "$work/reference.avi"

psnr() {  # psnr MOVIE: the mean PSNR over every frame and channel
    ffmpeg -v info -i "$1" -i "$work/reference.avi" \
        -lavfi "[0:v]format=bgr24[a];[1:v]format=bgr24[b];[a][b]psnr" -f null - 2>&1 |
        sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -1
}

echo "$size, $(ffprobe -v error -count_frames -select_streams v:0 -show_entries \
    stream=nb_read_frames -of csv=p=0 "$work/reference.avi") frames: quality, bytes, PSNR (dB)"
for quality in $qualities; do
    for build in "$cli" ${other:+"$other"}; do
        saved_cli=$cli
        cli=$build
        bench_render "$folder" "--codec MJPG --quality $quality" > /dev/null 2> "$work/mjpg.log"
        cli=$saved_cli
        printf "quality %3d  %-40s %11d bytes  PSNR %s\n" "$quality" "$build" \
            "$(stat -c %s "$folder/film.avi")" "$(psnr "$folder/film.avi")"
    done
done
rm -f "$folder"/film*.avi
