#!/usr/bin/env bash
# Takes a picture of the desktop program: makes a few key frames, starts the dialog under a
# virtual X display with them and a settings file, presses Test and saves the dialog with its
# preview as a PNG. Given a screen size (and a DPI, 96 by default), the picture is the whole
# screen of that size, with the dialog and the preview where the program put them.
#
#   tools/screenshot.sh build/src/ui/zoomreel build/src/app/zoomreel-cli docs/zoomreel.png
#   tools/screenshot.sh build/src/ui/zoomreel build/src/app/zoomreel-cli docs/screen-1366x768.png 1366x768
#   tools/screenshot.sh build/src/ui/zoomreel build/src/app/zoomreel-cli docs/screen-3840x2160.png 3840x2160 192
#
# MOVIE_FRAME=N (a frame number or a time mm:ss.fff) shows that frame of the movie on the
# timeline instead of pressing Test.
#
#   tools/screenshot.sh --docs build/src/ui/zoomreel build/src/app/zoomreel-cli docs
#
# makes every picture of the README: the dialog, the timeline, and the whole screen at
# 1366 x 768 (96, 120 and 144 DPI), 1920 x 1080 (96 and 192 DPI) and 3840 x 2160 (192 DPI).
set -euo pipefail
if [[ "${1:-}" == "--docs" ]]; then
    self=$(realpath "$0")
    docsUsage="usage: screenshot.sh --docs ZOOMREEL ZOOMREEL-CLI DOCS-FOLDER"
    gui=${2:?$docsUsage}
    cli=${3:?$docsUsage}
    docs=${4:?$docsUsage}
    "$self" "$gui" "$cli" "$docs/zoomreel.png"
    MOVIE_FRAME=00:05.5 "$self" "$gui" "$cli" "$docs/timeline.png"
    "$self" "$gui" "$cli" "$docs/screen-1366x768.png" 1366x768
    "$self" "$gui" "$cli" "$docs/screen-1366x768-120dpi.png" 1366x768 120
    "$self" "$gui" "$cli" "$docs/screen-1366x768-144dpi.png" 1366x768 144
    "$self" "$gui" "$cli" "$docs/screen-1920x1080.png" 1920x1080
    "$self" "$gui" "$cli" "$docs/screen-1920x1080-192dpi.png" 1920x1080 192
    "$self" "$gui" "$cli" "$docs/screen-3840x2160.png" 3840x2160 192
    exit 0
fi
usage="usage: screenshot.sh ZOOMREEL ZOOMREEL-CLI OUT.png [WIDTHxHEIGHT [DPI]]"
gui=${1:?$usage}
cli=${2:?$usage}
out=${3:?$usage}
screen=${4:-}
dpi=${5:-96}
if [[ -n "$screen" && ! "$screen" =~ ^[0-9]+x[0-9]+$ ]]; then
    echo "screenshot: the screen size is WIDTHxHEIGHT, not \"$screen\"" >&2
    exit 2
fi
if [[ ! "$dpi" =~ ^[0-9]+$ ]]; then
    echo "screenshot: the DPI is a whole number, not \"$dpi\"" >&2
    exit 2
fi

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

args=(--folder "$keyframes" --settings "$work/demo.zrs" --screenshot "$out")
if [[ -n "${MOVIE_FRAME:-}" ]]; then
    args+=(--movie-frame "$MOVIE_FRAME")
fi
if [[ -n "$screen" ]]; then
    args+=(--whole-screen)
fi
mkdir -p "$(dirname "$out")"
if command -v xvfb-run >/dev/null; then
    # The window system's DPI, as a desktop sets it; Qt scales the windows by DPI / 96.
    QT_FONT_DPI=$dpi xvfb-run -a -s "-screen 0 ${screen:-2560x1440}x24 -br" "$gui" "${args[@]}"
elif [[ -z "$screen" ]]; then
    QT_QPA_PLATFORM=offscreen "$gui" "${args[@]}"
else
    echo "screenshot: a whole screen needs xvfb-run (apt-get install xvfb)" >&2
    exit 1
fi
echo "screenshot: $out"
