#!/usr/bin/env bash
# Makes the program's icon with our own renderer: the key frame of the default zoom where the
# seahorse valley shows its black bulbs and first spiral (key frame 8 of make-keyframes' default
# series), computed and coloured at 1024 x 1024 and area-averaged down to each size the
# desktops ask for. The output is committed (packaging/icons), so building needs none of this.
#
#   tools/make_icons.sh build/src/app/zoomreel-cli packaging/icons
set -euo pipefail
cli=${1:?usage: make_icons.sh ZOOMREEL-CLI OUTDIR}
out=${2:?usage: make_icons.sh ZOOMREEL-CLI OUTDIR}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cli" make-keyframes "$work/keyframes" --count 9 --size 1024x1024 >/dev/null
"$cli" preview "$work/keyframes" --frame 8 --output "$work/icon.png" >/dev/null

mkdir -p "$out"
for size in 16 32 48 64 128 256; do
    ffmpeg -loglevel error -y -i "$work/icon.png" -vf "scale=$size:$size:flags=area" \
        -pix_fmt rgb24 -frames:v 1 "$out/zoomreel-$size.png"
done
ls -l "$out"/zoomreel-*.png
