#!/usr/bin/env bash
# Makes demo key frames and renders a zoom movie from them.
set -euo pipefail
cli=${1:?usage: demo.sh CLI DEMO_DIR}
demo=${2:?usage: demo.sh CLI DEMO_DIR}
keyframes="$demo/keyframes"

mkdir -p "$keyframes"
echo "demo: making key frames in $keyframes"
"$cli" make-keyframes "$keyframes"
echo "demo: rendering the movie"
"$cli" render "$keyframes" --codec MJPG
echo "demo: the movie is in $keyframes"
ls -l "$keyframes"/film*.avi 2>/dev/null || true
