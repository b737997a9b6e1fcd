#!/usr/bin/env bash
# The two programs as a shell sees them: --help, --version and the exit status of each command,
# the manual pages (they format cleanly and name every option --help names) and the bash
# completion's answers.
#
#   cli_programs_test.sh ZOOMREEL-CLI GENERATED-FOLDER [ZOOMREEL]
set -uo pipefail
cli=$1
generated=$2
gui=${3:-}
failures=0
checks=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Runs PROGRAM ARGS... and checks its exit status, that its text went to the one stream named
# (out or err, the other staying empty) and that the text holds EXPECTED.
expect() {
    local status=$1 stream=$2 expected=$3
    shift 3
    checks=$((checks + 1))
    "$@" >"$work/out" 2>"$work/err"
    local got=$?
    local other=err
    [ "$stream" = err ] && other=out
    if [ $got != "$status" ]; then
        fail "$* exits $got, not $status: $(head -c 300 "$work/err")"
    elif ! grep -qF -- "$expected" "$work/$stream"; then
        fail "$*: standard $stream lacks \"$expected\": $(head -c 300 "$work/$stream")"
    elif [ -s "$work/$other" ]; then
        fail "$*: wrote to standard $other too: $(head -c 300 "$work/$other")"
    fi
}

mkdir -p "$work/empty" "$work/keys"
touch "$work/file"
"$cli" make-keyframes "$work/keys" --count 2 --size 32x18 >/dev/null ||
    fail "make-keyframes failed"

# status | stream | what the text holds | arguments
while IFS='|' read -r status stream expected args; do
    read -r -a words <<<"$args"
    expect "$status" "$stream" "${expected//@/$work}" "$cli" "${words[@]//@/$work}"
done <<'EOF'
0|out|zoomreel-cli COMMAND|--help
0|out|usage: zoomreel-cli render|help render
0|out|The desktop program is zoomreel|--help
0|out|libjpeg-turbo|--version
2|err|zoomreel-cli --help|
2|err|unknown command "bogus"|bogus
0|out|usage: zoomreel-cli render FOLDER|render --help
0|out|usage: zoomreel-cli preview FOLDER|preview -h
0|out|usage: zoomreel-cli plan FOLDER|plan @/keys --bogus --help
0|out|usage: zoomreel-cli make-keyframes OUTDIR|make-keyframes --help
0|out|usage: zoomreel-cli join FOLDER|join --help
0|out|usage: zoomreel-cli codecs|codecs --help
2|err|no key frame FOLDER given|render
2|err|unknown option --bogus|preview @/keys --bogus
2|err|option --start-frame needs a value|plan @/keys --start-frame
2|err|option --frame K or --movie-frame is required|preview @/keys --output @/a.png
2|err|--count|make-keyframes @/more --count 0
2|err|--set FPS=1e3: FPS is a whole number of frames a second, 1 to 1000|plan @/keys --set FPS=1e3
2|err|--save-settings: the option is given no value (--save-settings FILE.zrs)|plan @/keys --save-settings=
2|err|unknown option --set|make-keyframes @/keys --set FPS=3
2|err|unexpected argument "x"|codecs x
1|err|the folder "@/none" does not exist|render @/none
1|err|"@/file" is not a folder|plan @/file
1|err|the folder "@/none" does not exist|join @/none
1|err|Could not open file in this directory|preview @/empty --frame 0 --output @/a.png
2|err|--movie-frame wants a frame number|preview @/keys --movie-frame 1:75 --output @/a.png
1|err|the movie has|preview @/keys --movie-frame 99:00 --output @/a.png
0|out|# total frames|plan @/keys
0|out|MJPG|codecs --names
EOF

if [ -n "$gui" ]; then
    # The desktop program answers these without a window system.
    expect 0 out "usage: zoomreel [options]" env -u DISPLAY -u WAYLAND_DISPLAY "$gui" --help
    expect 0 out "Qt " env -u DISPLAY -u WAYLAND_DISPLAY "$gui" --version
    expect 2 err "unknown option --bogus" env QT_QPA_PLATFORM=offscreen "$gui" --bogus
fi

# The manual pages format without a warning and name every option that --help names.
options_in_help() {
    "$@" --help | grep -o -E '^  (-h, )?--[a-z0-9-]+' | sed 's/^ *\(-h, \)\?//'
}
check_manual() {
    local page=$1
    shift
    checks=$((checks + 1))
    [ -s "$page" ] || {
        fail "no manual page $page"
        return
    }
    local warnings
    warnings=$(groff -man -Tascii -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
    local text
    text=$(groff -man -Tascii -P-cbou "$page" 2>/dev/null)
    local option
    while read -r option; do
        grep -qF -- "$option" <<<"$text" || fail "$page does not name $option"
    done < <(for command in "$@"; do options_in_help $command; done | sort -u)
}
check_manual "$generated/zoomreel-cli.1" "$cli" "$cli render" "$cli preview" "$cli plan" \
    "$cli make-keyframes" "$cli join" "$cli codecs"
[ -z "$gui" ] || check_manual "$generated/zoomreel.1" "$gui"

# The completion script's answers for a few words being typed.
answers() {
    bash -c '
        source "$1"
        shift
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        cd "$WORK"
        _zoomreel_cli "$CLI" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        echo "${COMPREPLY[*]}"
    ' answers "$generated/zoomreel-cli" zoomreel-cli "$@"
}
export CLI=$cli WORK=$work
while IFS='|' read -r expected words; do
    checks=$((checks + 1))
    read -r -a typed <<<"$words"
    [ "${words: -1}" = " " ] && typed+=("")
    got=$(answers "${typed[@]}")
    [ "$got" = "$expected" ] || fail "completing \"$words\" gives \"$got\", not \"$expected\""
done <<'EOF'
make-keyframes|ma
--start-frame --start-cycle --start-rotation --start-iteration|render --start-
MJPG|render --codec MJ
MJPG|render --codec = MJ
TEXTUREFILE=|plan --set TEXTUREF
empty keys|preview 
|render --quality 
veryfast veryslow|render --preset very
yuv420p10le|render --pix-fmt yuv420p1
EOF

# plan names the size, folder and container of the movie files; a movie in another container
# than AVI is one file; a soundtrack is refused where render refuses it.
tab=$'\t'
speed=(--set "SPEED=0${tab}6000")
expect 0 out "# frame size${tab}32x18" "$cli" plan "$work/keys"
expect 0 out "# frame size${tab}640x360" "$cli" plan "$work/keys" --set MSZ=640
expect 0 out "# container${tab}AVI${tab}split every 4500 frames" "$cli" plan "$work/keys" \
    --set MSZ=640 "${speed[@]}"
expect 0 out "# movie files${tab}2" "$cli" plan "$work/keys" --set MSZ=640 "${speed[@]}"
expect 0 out "# movie files${tab}1" "$cli" plan "$work/keys" --set MSZ=640 "${speed[@]}" \
    --output "$work/keys/film.mp4"
expect 0 out "# movie files${tab}3" "$cli" plan "$work/keys" --set MSZ=640 "${speed[@]}" \
    --output "$work/keys/film.mp4" --set FPM=2500
expect 0 out "# frame size${tab}16x9${tab}half the movie size 32x18" "$cli" plan "$work/keys" \
    --set "ROTATE=0${tab}5"
ffmpeg -v error -f lavfi -i sine=duration=1 "$work/sound.wav"
expect 1 err "zoomreel-cli plan: " "$cli" plan "$work/keys" --audio "$work/sound.wav"
expect 0 out "# soundtrack" "$cli" plan "$work/keys" --audio "$work/sound.wav" \
    --output "$work/keys/film.mkv"

# A folder of PNG pictures alone is a folder of key frames; --frame colours key frame files only
# and says what the folder holds.
mkdir -p "$work/pictures"
for k in 0 1; do
    "$cli" preview "$work/keys" --frame $k --output "$work/pictures/0000$((2 - k))_1e$k.png" \
        >/dev/null || fail "preview --frame $k failed"
done
expect 0 out "# total frames" "$cli" plan "$work/pictures"
expect 1 err "holds 2 pictures and no key frame file" \
    "$cli" preview "$work/pictures" --frame 5 --output "$work/a.png"
checks=$((checks + 1))
"$cli" render "$work/pictures" --codec MJPG --set "SPEED=0${tab}3" >"$work/out" 2>"$work/err" &&
    grep -q "wrote" "$work/out" || fail "render of a folder of PNG pictures: $(cat "$work/err")"
# The run's status lines only with --verbose, and each error once.
checks=$((checks + 1))
grep -q "Done!" "$work/err" && fail "render shows the status lines without --verbose"
"$cli" render "$work/pictures" --codec MJPG --set "SPEED=0${tab}3" --fresh --verbose \
    >"$work/out" 2>"$work/err"
grep -q "Done!" "$work/err" || fail "render --verbose lacks the last status line: $(cat "$work/err")"

# A key frame that cannot be read is told once, after the run.
checks=$((checks + 1))
mkdir -p "$work/broken"
cp "$work/keys"/*.zmb "$work/broken/"
broken=$(ls "$work/broken"/*.zmb | head -1)
head -c 20 "$work/keys/$(basename "$broken")" >"$broken"
"$cli" render "$work/broken" --codec MJPG >"$work/out" 2>"$work/err"
told=$(grep -c -F "$broken" "$work/err")
[ "$told" = 1 ] || fail "the unreadable key frame is told $told times: $(cat "$work/err")"

echo "$((checks - failures)) passed, $failures failed"
[ $failures = 0 ]
