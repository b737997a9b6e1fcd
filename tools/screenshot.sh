#!/usr/bin/env bash
# Takes a picture of the desktop program: makes a few key frames, starts the dialog under a
# virtual X display with them and a settings file, presses Test and saves the dialog with its
# preview as a PNG.
#
#   tools/screenshot.sh build/src/app/zoomreel build/src/app/zoomreel-cli docs/zoomreel.png
set -euo pipefail
gui=${1:?usage: screenshot.sh ZOOMREEL ZOOMREEL-CLI OUT.png}
cli=${2:?usage: screenshot.sh ZOOMREEL ZOOMREEL-CLI OUT.png}
out=${3:?usage: screenshot.sh ZOOMREEL ZOOMREEL-CLI OUT.png}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
keyframes="$work/keyframes"
"$cli" make-keyframes "$keyframes" --count 8 --size 640x360 >/dev/null

# The settings a user would have saved: a few speeds, waves and long waves.
tab=$'\t'
{
    printf 'SPEED: 0%s25,4%s50\r\n' "$tab" "$tab"
    printf 'ROTATE: 2%s0.5\r\n' "$tab"
    printf 'CYCLE: 0%s1.5\r\n' "$tab"
    printf 'WAVES: H%s997,S%s499,B%s1999\r\n' "$tab" "$tab" "$tab"
    printf 'LONGWAVES: 255,0,0%s1000%s50\r\n' "$tab" "$tab"
    printf 'FPS: 30\r\n'
    printf 'MSZ: 1280\r\n'
    printf 'MergeFrames: 5\r\n'
} >"$work/demo.zrs"

mkdir -p "$(dirname "$out")"
if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 2560x1440x24" \
        "$gui" --folder "$keyframes" --settings "$work/demo.zrs" --screenshot "$out"
else
    QT_QPA_PLATFORM=offscreen \
        "$gui" --folder "$keyframes" --settings "$work/demo.zrs" --screenshot "$out"
fi
echo "screenshot: $out"
