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
"$cli" make-keyframes "$keyframes" --count 24 --size 640x360

# A render goes on past the movie files that exist; the demo starts afresh.
rm -f "$keyframes"/film*.avi
# The movie ends on the deepest key frame ("Stop movie directly on last frame") instead of
# zooming into its pixels.
echo "demo: rendering the movie (Motion JPEG, 25 frames per key frame, 30 frames a second)"
"$cli" render "$keyframes" --codec MJPG --quality 90 --set $'SPEED=0\t25' --set FPS=30 \
    --set SMD=1

echo
echo "demo: the movie is in $keyframes:"
ls -l "$keyframes"/film*.avi
