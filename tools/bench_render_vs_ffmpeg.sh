#!/usr/bin/env bash
# Times whole zoom movies (merge count 5, zoom factor 2, speed 25, 11 key frames) at 1280x720
# and 1920x1080 against FFmpeg's zoompan making the same number of frames of the same size from
# one picture twice as large with the same encoder:
#
#   plain    uncompressed "DIB " frames, no colour changes
#   cycling  the same with colour cycling (CYCLE=0 1), against zoompan's plain frames
#   waves    colour cycling on HSB waves (Standard, smooth), against zoompan's plain frames
#   MJPG     Motion JPEG at quality 85, against zoompan encoding Motion JPEG at the same quantiser
#   MSVC     Microsoft Video 1, against the ffmpeg program encoding the frames of our "DIB " movie
#   merge16  colour cycling with a merge count of 16 (15 frames merged), against zoompan's plain
#            frames: the case that holds the most memory
#
# The renders and FFmpeg take turns ROUNDS times (default 3), so that other work on the machine
# weighs on both alike; the medians of the wall-clock and processor (user + system) times are
# compared, and the peak memory (largest resident set) of each is shown. SIZES (default
# "1280x720 1920x1080") and CASES (default "plain cycling waves mjpg msvc"; MJPG and MSVC are
# timed at the largest size only) choose what runs; SIZES="3840x2160" CASES="plain merge16" is
# the 4K row.
#
#   tools/bench_render_vs_ffmpeg.sh [CLI] [WORK_DIR]
set -euo pipefail
cli=$(realpath "${1:-build/src/app/zoomreel-cli}")
work=${2:-$(mktemp -d /tmp/zoomreel-bench.XXXXXX)}
count=${KEYFRAMES:-11}
rounds=${ROUNDS:-3}
sizes=${SIZES:-1280x720 1920x1080}
cases=" ${CASES:-plain cycling waves mjpg msvc} "
tab=$'\t'
mkdir -p "$work"
rm -f "$work/log.txt"

timed() {  # timed OUTPUT_FILE command...: appends "wall cpu peak_kb" to OUTPUT_FILE
    local out=$1
    shift
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" > /dev/null 2>> "$work/log.txt"
    awk '{ printf "%.3f %.3f %d\n", $1, $2 + $3, $4 }' "$work/time.txt" >> "$out"
}
median() {  # median COLUMN FILE
    sort -n -k "$1" "$2" | awk -v c="$1" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}
render() {  # render KEYFRAMES OUTPUT_FILE OPTIONS...: renders film.avi, timed
    local folder=$1 out=$2
    shift 2
    rm -f "$folder"/film*.avi "$folder"/*.part
    timed "$out" "$cli" render "$folder" --set MergeFrames=4 --set ZOL=0 --set "SPEED=0${tab}25" \
        --set FPM=1000000 "$@"
}
report() {  # report LABEL FILE [BASELINE_FILE]: medians, and the speed against the baseline
    local wall cpu peak
    wall=$(median 1 "$2")
    cpu=$(median 2 "$2")
    peak=$(median 3 "$2")
    awk -v l="$1" -v f="$frames" -v w="$wall" -v c="$cpu" -v m="$peak" -v n="$(wc -l < "$2")" \
        -v bw="${3:+$(median 1 "${3:-}")}" -v bc="${3:+$(median 2 "${3:-}")}" 'BEGIN {
        printf "%-30s %2d run%s %4d frames  wall %7.2f s %6.1f/s  cpu %7.2f s %6.1f/s  peak %5d MB",
            l, n, n == 1 ? " " : "s", f, w, f / w, c, f / c, m / 1024
        if (bw != "") printf "  x%.2f wall, x%.2f cpu", bw / w, bc / c
        printf "\n" }'
}

largest=${sizes##* }
for size in $sizes; do
    width=${size%x*}
    height=${size#*x}
    keyframes="$work/keyframes-$size"
    mkdir -p "$keyframes" "$work/big-$size"
    if ! ls "$keyframes"/*.zmb > /dev/null 2>&1; then
        echo "making $count key frames of $size in $keyframes"
        "$cli" make-keyframes "$keyframes" --count "$count" --size "$size" > /dev/null
    fi
    # The picture FFmpeg zooms into: the widest view coloured at twice the size.
    big="$work/big-$size.png"
    if [ ! -f "$big" ]; then
        "$cli" make-keyframes "$work/big-$size" --count 1 --size "$((2 * width))x$((2 * height))" \
            > /dev/null
        "$cli" preview "$work/big-$size" --frame 0 --output "$big" > /dev/null
    fi
    t="$work/$size"
    rm -f "$t".*.txt
    render "$keyframes" "$t.plain.txt" --codec 'DIB '
    frames=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 \
        "$keyframes/film.avi")
    zoompan="zoompan=z='pow(2,mod(on,25)/25)':x='iw/2-iw/zoom/2':y='ih/2-ih/zoom/2'"
    zoompan+=":d=$frames:s=${size}:fps=30"
    zoompan_run() {  # zoompan_run OUTPUT_FILE ENCODER_OPTIONS...
        local out=$1
        shift
        timed "$out" ffmpeg -v error -y -loop 1 -i "$big" -vf "$zoompan" -frames:v "$frames" "$@" \
            "$work/ffmpeg.avi"
        rm -f "$work/ffmpeg.avi"
    }
    with_codecs=false
    [ "$size" = "$largest" ] && with_codecs=true
    if $with_codecs && [[ $cases == *" msvc "* ]]; then
        cp "$keyframes/film.avi" "$work/dib.avi"
    fi
    for ((round = 0; round < rounds; round++)); do
        zoompan_run "$t.zoompan.txt" -c:v rawvideo -pix_fmt bgr24
        if ((round > 0)); then
            render "$keyframes" "$t.plain.txt" --codec 'DIB '
        fi
        if [[ $cases == *" cycling "* ]]; then
            render "$keyframes" "$t.cycling.txt" --codec 'DIB ' --set "CYCLE=0${tab}1"
        fi
        if [[ $cases == *" waves "* ]]; then
            render "$keyframes" "$t.waves.txt" --codec 'DIB ' --set "CYCLE=0${tab}1" \
                --wave-coloring --set "WAVES=H${tab}300,S${tab}-80,B${tab}150"
        fi
        if $with_codecs && [[ $cases == *" mjpg "* ]]; then
            zoompan_run "$t.zoompan-mjpg.txt" -c:v mjpeg -q:v 5 -pix_fmt yuvj420p
            render "$keyframes" "$t.mjpg.txt" --codec MJPG
        fi
        if [[ $cases == *" merge16 "* ]]; then
            render "$keyframes" "$t.merge16.txt" --codec 'DIB ' --set "CYCLE=0${tab}1" \
                --set MergeFrames=15
        fi
        if $with_codecs && [[ $cases == *" msvc "* ]]; then
            timed "$t.ffmpeg-msvc.txt" ffmpeg -v error -y -i "$work/dib.avi" -c:v msvideo1 \
                "$work/ffmpeg.avi"
            rm -f "$work/ffmpeg.avi"
            render "$keyframes" "$t.msvc.txt" --codec MSVC
        fi
    done
    rm -f "$keyframes"/film*.avi "$work/dib.avi"

    echo "$size, medians (xN: speed against the line named in brackets):"
    report "ffmpeg zoompan, DIB" "$t.zoompan.txt"
    report "zoomreel plain, DIB [zoompan]" "$t.plain.txt" "$t.zoompan.txt"
    [ -f "$t.cycling.txt" ] && report "zoomreel cycling [zoompan]" "$t.cycling.txt" "$t.zoompan.txt"
    [ -f "$t.waves.txt" ] && report "zoomreel waves [zoompan]" "$t.waves.txt" "$t.zoompan.txt"
    [ -f "$t.merge16.txt" ] && report "zoomreel merge 16 cycling [zp]" "$t.merge16.txt" \
        "$t.zoompan.txt"
    if [ -f "$t.mjpg.txt" ]; then
        report "ffmpeg zoompan, MJPG" "$t.zoompan-mjpg.txt"
        report "zoomreel MJPG [zoompan MJPG]" "$t.mjpg.txt" "$t.zoompan-mjpg.txt"
    fi
    if [ -f "$t.msvc.txt" ]; then
        report "ffmpeg encoding MSVC" "$t.ffmpeg-msvc.txt"
        report "zoomreel MSVC [ffmpeg MSVC]" "$t.msvc.txt" "$t.ffmpeg-msvc.txt"
    fi
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
