#!/usr/bin/env bash
# Prints a fingerprint of everything the command line makes for a fixed set of settings: the
# decoded frames of every movie file (framemd5 of uncompressed "DIB " movies), the plan text and
# preview pictures. Two builds that print the same lines make the same bytes.
#
#   tools/output_fingerprints.sh [CLI] [WORK_DIR] > fingerprints.txt
#   diff <(tools/output_fingerprints.sh old-cli) <(tools/output_fingerprints.sh new-cli)
set -euo pipefail
cli=$(realpath "${1:-build/src/app/zoomreel-cli}")
work=${2:-$(mktemp -d /tmp/zoomreel-fingerprints.XXXXXX)}
keyframes="$work/keyframes"
mkdir -p "$keyframes"

if ! ls "$keyframes"/*.zmb > /dev/null 2>&1; then
    "$cli" make-keyframes "$keyframes" --count 8 --size 320x180 --iterations 1500 > /dev/null
fi
# A texture picture and a folder of them for "Multi".
if [ ! -f "$work/textures/a.jpg" ]; then
    mkdir -p "$work/textures"
    ffmpeg -v error -y -f lavfi -i testsrc=size=200x150:rate=1 -frames:v 1 "$work/textures/a.jpg"
    ffmpeg -v error -y -f lavfi -i mandelbrot=size=200x150:rate=1 -frames:v 1 \
        "$work/textures/b.jpg"
fi

tab=$'\t'
# name, then the options of the run
cases=(
    "plain|--set SPEED=0${tab}10"
    "cycle-count-divide|--set SPEED=0${tab}8 --set CYCLE=0${tab}1.5,4${tab}-3 --set NOC=0${tab}2,3${tab}-1 --set DIVIDE=2${tab}3,5${tab}0.5"
    "rotate-text|--set SPEED=0${tab}9 --set ROTATE=0${tab}2,3${tab}R,5${tab}-4 --set SZT=1 --start-rotation 10"
    "stretched-slopes|--set SPEED=0${tab}7 --set COL=4 --set Slope=1 --set SlopePower=3 --set SlopeRatio=40 --start-iteration 20"
    "distance|--set SPEED=0${tab}7 --set COL=5 --set MergeFrames=2"
    "roots-log|--set SPEED=0${tab}6 --set COL=1 --set SCT=0 --set DIVIDE=0${tab}4"
    "waves|--set SPEED=0${tab}8 --set WAVES=H${tab}100,S${tab}-50,B${tab}37,W${tab}20 --set LONGWAVES=255,0,0${tab}300${tab}40:0,0,255${tab}77${tab}60 --set CYCLE=0${tab}2"
    "texture|--set SPEED=0${tab}8 --set TEXTURE=1 --set TEXTUREFILE=$work/textures/a.jpg --set TEXTUREDEPTH=3 --set TEXTURESTRENGTH=50 --set TEXTUREMERGE=40 --set ROTATE=2${tab}1"
    "texture-multi|--set SPEED=0${tab}8 --set TEXTURE=1 --set TEXTURE_MULTI=1 --set TEXTUREFILE=$work/textures/a.jpg --set FPS=5"
    "time|--set TimeType=1 --set SPEED=0${tab}00:00,3${tab}00:02,7${tab}00:05 --set FPS=12"
    "time-ns|--set TimeType=2 --set SPEED=0${tab}00:00,2${tab}00:01,6${tab}00:04 --set FPS=10"
    "scroll-elliptic|--set SPEED=0${tab}12 --left-scrolling --fixed-cycling --set CYCLE=0${tab}0.7"
    "elliptic-43-zoom4|--set SPEED=0${tab}11 --elliptic --aspect43 --set ZOL=1 --set MergeFrames=3"
    "split-ramp|--set SPEED=0${tab}5,2${tab}15,4${tab}6 --set FPM=17 --set SZT=1"
    "frame-by-frame-stop|--frame-by-frame --set SMD=1 --set MergeFrames=0"
    "start-values|--set SPEED=0${tab}6 --start-frame 2 --start-cycle 33.5 --inside-color 10,200,30 --set BIT=32"
    "custom-zoom|--set SPEED=0${tab}9 --set ZOL=4 --zoom-size 3 --movie-height 200 --set MSZ=352"
)

fingerprint_movies() {  # fingerprint_movies NAME: one md5 per decoded movie file, frames counted
    local name=$1 file
    for file in $(ls "$keyframes"/film*.avi 2> /dev/null | sort); do
        local frames sum
        frames=$(ffmpeg -v error -i "$file" -f framemd5 - | grep -v '^#' | tee "$work/$name-$(basename "$file").md5" | wc -l)
        sum=$(cut -d, -f6 "$work/$name-$(basename "$file").md5" | md5sum | cut -c1-32)
        echo "$name $(basename "$file") frames=$frames decoded=$sum"
    done
}

for entry in "${cases[@]}"; do
    name=${entry%%|*}
    # Values hold TABs: the words are split on spaces only.
    IFS=' ' read -r -a opts <<< "${entry#*|}"
    rm -f "$keyframes"/film*.avi "$keyframes"/*.part
    plan=$("$cli" plan "$keyframes" "${opts[@]}" 2>&1 | grep -v '^# movie folder' | md5sum | cut -c1-32)
    echo "$name plan=$plan"
    "$cli" preview "$keyframes" --frame 3 --output "$work/$name-preview.png" "${opts[@]}" \
        > /dev/null 2>&1 || true
    if [ -f "$work/$name-preview.png" ]; then
        echo "$name preview=$(ffmpeg -v error -i "$work/$name-preview.png" -f rawvideo -pix_fmt bgr24 - | md5sum | cut -c1-32)"
    fi
    if "$cli" render "$keyframes" --codec 'DIB ' "${opts[@]}" > /dev/null 2> "$work/$name.log"; then
        echo "$name render=ok"
    else
        echo "$name render=failed($?)"
    fi
    fingerprint_movies "$name"
done
rm -f "$keyframes"/film*.avi
