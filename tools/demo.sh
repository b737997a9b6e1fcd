#!/usr/bin/env bash
# Makes demo key frames and renders a zoom movie from them.
#
#   tools/demo.sh CLI DEMO_DIR
set -euo pipefail
cli=${1:?usage: demo.sh CLI DEMO_DIR}
demo=${2:?usage: demo.sh CLI DEMO_DIR}
keyframes="$demo/keyframes"

mkdir -p "$keyframes"
echo "demo: making 24 key frames of 640x360 in $keyframes"
# The folder is the demo's own: a second demo makes its key frames again over the first's.
"$cli" make-keyframes "$keyframes" --count 24 --size 640x360 --force

# A render goes on past the movie files that exist; the demo starts afresh.
rm -f "$keyframes"/film*.avi "$keyframes"/film*.mp4
# The movie ends on the deepest key frame ("Stop movie directly on last frame") instead of
# zooming into its pixels.
movie=(--set $'SPEED=0\t25' --set FPS=30 --set SMD=1)
echo "demo: rendering the movie (Motion JPEG, 25 frames per key frame, 30 frames a second)"
"$cli" render "$keyframes" --codec MJPG --quality 90 "${movie[@]}"

# A soundtrack made here: an A minor chord with a click where each key frame begins, the
# times taken from the plan of the movie.
soundtrack="$demo/soundtrack.flac"
fps=30
plan=$("$cli" plan "$keyframes" "${movie[@]}")
seconds=$(awk -F'\t' '$1 == "# total frames" { print $2 / '$fps' }' <<<"$plan")
clicks=$(awk -F'\t' '$1 ~ /^[0-9]+$/ { t = $2 / '$fps'; printf "+between(t\\,%.4f\\,%.4f)", t, t + 0.02 }' <<<"$plan")
chord="0.12*sin(2*PI*220*t)+0.09*sin(2*PI*261.63*t)+0.09*sin(2*PI*329.63*t)"
echo "demo: making a soundtrack of $seconds seconds whose clicks mark the key frames"
ffmpeg -v error -y -f lavfi \
    -i "aevalsrc=$chord+0.4*sin(2*PI*1760*t)*(0$clicks):s=48000:d=$seconds" "$soundtrack"

echo "demo: rendering the movie again as MP4 (H.264) with the soundtrack"
"$cli" render "$keyframes" --output "$keyframes/film.mp4" --audio "$soundtrack" "${movie[@]}"

echo
echo "demo: the movies are in $keyframes:"
ls -l "$keyframes"/film*.avi "$keyframes"/film*.mp4
