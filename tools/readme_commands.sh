#!/usr/bin/env bash
# Runs the shell examples of the README (its ```sh blocks) as they are written, each block as a
# script, in a temporary folder with the built command line on PATH (also as
# build/src/app/zoomreel-cli there). A block that fails is printed with what it said.
#
#   tools/readme_commands.sh [ZOOMREEL-CLI] [README]
#
# What the examples expect to find is made first, small so that the run takes seconds: the demo's
# key frames (demo/keyframes, 24 of them) and a soundtrack (music.ogg). Three things differ from a
# reader's run: lines that build the project ("make ...") are left out, paths under /tmp/ are
# taken inside the temporary folder, and make-keyframes without --size makes small key frames.
set -euo pipefail
cli=$(realpath "${1:-build/src/app/zoomreel-cli}")
readme=$(realpath "${2:-README.md}")
work=$(mktemp -d /tmp/zoomreel-readme.XXXXXX)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/bin" "$work/build/src/app" "$work/tmp" "$work/demo"
ln -s "$cli" "$work/bin/zoomreel-cli"
ln -s "$cli" "$work/build/src/app/zoomreel-cli"
small=(--size 64x36 --iterations 300)
"$cli" make-keyframes "$work/demo/keyframes" --count 24 "${small[@]}" >/dev/null
ffmpeg -v error -f lavfi -i sine=frequency=440:duration=31 -c:a libvorbis "$work/music.ogg"

# The ```sh blocks, each followed by a line "@@end".
blocks=$(awk '
    /^ *```sh *$/ { inside = 1; next }
    /^ *```/ { if (inside) print "@@end"; inside = 0; next }
    inside { print }' "$readme")

count=0
failed=0
script=""
while IFS= read -r line; do
    if [ "$line" != "@@end" ]; then
        [[ $line =~ ^make[[:space:]] ]] && continue
        line=${line//\/tmp\//$work\/tmp\/}
        if [[ $line == *"make-keyframes "* && $line != *"--size"* ]]; then
            line="$line ${small[*]}"
        fi
        script+="$line"$'\n'
        continue
    fi
    if [ -n "$script" ]; then
        count=$((count + 1))
        if ! (cd "$work" && PATH="$work/bin:$PATH" bash -euo pipefail -c "$script") \
            >"$work/log" 2>&1; then
            failed=$((failed + 1))
            echo "FAIL: README block $count:"
            sed 's/^/    /' <<<"$script"
            echo "  said:"
            sed 's/^/    /' "$work/log"
        fi
    fi
    script=""
done <<<"$blocks"

echo "README: $((count - failed)) of $count shell blocks ran as written"
[ "$count" -gt 0 ] && [ "$failed" = 0 ]
