#!/usr/bin/env bash
# The benchmark movies: whole zooms (merge count 5, zoom factor 2, speed 25, 11 key frames) at
# 1280x720 and 1920x1080, plain, with colour cycling and with colour cycling on HSB waves, in
# uncompressed "DIB ", Motion JPEG and Microsoft Video 1 frames, and a merge count of 16.
# Sourced by the benchmark scripts; run on its own it prints the framemd5 digest of every movie,
# so that two builds can be compared frame for frame:
#
#   tools/bench_movies.sh [CLI] [WORK_DIR] > digests.txt
#
# WORK_DIR keeps the key frames between runs.

tab=$'\t'
# name|key frame size|options
bench_cases=(
    "plain-720|1280x720|--codec DIB"
    "cycle-720|1280x720|--codec DIB --set CYCLE=0${tab}1"
    "waves-720|1280x720|--codec DIB --set CYCLE=0${tab}1 --wave-coloring --set WAVES=H${tab}300,S${tab}-80,B${tab}150"
    "plain-1080|1920x1080|--codec DIB"
    "cycle-1080|1920x1080|--codec DIB --set CYCLE=0${tab}1"
    "waves-1080|1920x1080|--codec DIB --set CYCLE=0${tab}1 --wave-coloring --set WAVES=H${tab}300,S${tab}-80,B${tab}150"
    "mjpg-1080|1920x1080|--codec MJPG"
    "msvc-1080|1920x1080|--codec MSVC"
    "merge16-cycle-1080|1920x1080|--codec DIB --set MergeFrames=15 --set CYCLE=0${tab}1"
)

# bench_field CASE N: field N (1 name, 2 size, 3 options) of a case.
bench_field() {
    cut -d'|' -f"$2" <<< "$1"
}

# bench_keyframes WORK SIZE: the folder of 11 key frames of SIZE, made once.
bench_keyframes() {
    local folder="$1/keyframes-$2"
    mkdir -p "$folder"
    if ! ls "$folder"/*.zmb > /dev/null 2>&1; then
        "$cli" make-keyframes "$folder" --count "${KEYFRAMES:-11}" --size "$2" > /dev/null
    fi
    echo "$folder"
}

# bench_render FOLDER OPTIONS...: renders the movie film.avi into FOLDER.
bench_render() {
    local folder=$1
    shift
    # Values hold TABs: the words are split on spaces only. "DIB" stands for "DIB ".
    local words=() word
    IFS=' ' read -r -a words <<< "$*"
    for i in "${!words[@]}"; do
        [ "${words[$i]}" = DIB ] && words[$i]='DIB '
    done
    rm -f "$folder"/film*.avi "$folder"/*.part
    "$cli" render "$folder" --set MergeFrames=4 --set ZOL=0 --set "SPEED=0${tab}25" \
        --set FPM=1000000 "${words[@]}"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    cli=$(realpath "${1:-build/src/app/zoomreel-cli}")
    work=${2:-$(mktemp -d /tmp/zoomreel-movies.XXXXXX)}
    for entry in "${bench_cases[@]}"; do
        name=$(bench_field "$entry" 1)
        folder=$(bench_keyframes "$work" "$(bench_field "$entry" 2)")
        bench_render "$folder" "$(bench_field "$entry" 3)" > /dev/null 2> "$work/$name.log"
        frames=$(ffmpeg -v error -i "$folder/film.avi" -f framemd5 - | grep -v '^#' |
            tee "$work/$name.framemd5" | wc -l)
        echo "$name frames=$frames decoded=$(cut -d, -f6 "$work/$name.framemd5" | md5sum |
            cut -c1-32)"
        rm -f "$folder"/film*.avi
    done
fi
