#!/usr/bin/env bash
# Builds the Debian package with `make package`, checks what it holds, installs it and uses the
# installed programs from PATH: make-keyframes and render a short movie (its frames counted with
# ffprobe), the desktop program's --help and a screenshot of its dialog, headless.
#
#   tools/package_test.sh              install into this machine with apt-get, remove it after
#                                      (a zoomreel package installed before is left installed)
#   tools/package_test.sh --fresh      install into a fresh Debian 12 root made by mmdebstrap
#                                      (needs root and the Debian mirror; takes a few minutes)
#
# PACKAGE_BUILD_DIR chooses the build folder (default build-package).
set -euo pipefail
self=$(realpath "$0")

# The checks on the installed programs, as a user would run them. With ROOT they run inside
# that root (chroot), otherwise on this machine.
check_installed() {
    local root=$1
    local work=/tmp/zoomreel-package-test.$$
    local in_root=()
    [ -z "$root" ] || in_root=(chroot "$root")
    run() {
        "${in_root[@]}" env -i HOME=/tmp PATH=/usr/local/bin:/usr/bin:/bin \
            QT_QPA_PLATFORM=offscreen "$@"
    }
    mkdir -p "$root$work"

    local cli gui
    cli=$(run sh -c 'command -v zoomreel-cli')
    gui=$(run sh -c 'command -v zoomreel')
    [ "$cli" = /usr/bin/zoomreel-cli ] && [ "$gui" = /usr/bin/zoomreel ] ||
        fail "the programs on PATH are '$cli' and '$gui', not the installed ones"

    # 4 key frames of 5 movie frames each; the movie stops on the last one: 3 * 5 + 1 frames.
    run zoomreel-cli make-keyframes "$work/keyframes" --count 4 --size 160x90 >/dev/null
    run zoomreel-cli render "$work/keyframes" --codec MJPG --set $'SPEED=0\t5' --set SMD=1 \
        >"$root$work/render.log" 2>&1 || { cat "$root$work/render.log" >&2; fail "render failed"; }
    local frames
    frames=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=nb_read_frames -of csv=p=0 "$root$work/keyframes/film.avi")
    [ "$frames" = 16 ] || fail "the installed zoomreel-cli rendered $frames frames, not 16"

    local help
    help=$(run zoomreel-cli --help) || fail "zoomreel-cli --help failed"
    [[ $help == *"The desktop program is zoomreel: /usr/bin/zoomreel"* ]] ||
        fail "zoomreel-cli --help does not name the installed desktop program"
    run zoomreel-cli --version | grep -q "^zoomreel-cli " || fail "zoomreel-cli --version failed"
    help=$(run zoomreel --help) || fail "zoomreel --help failed"
    [[ $help == *--folder* ]] || fail "zoomreel --help does not list --folder"
    run zoomreel --folder "$work/keyframes" --screenshot "$work/dialog.png" 2>/dev/null &&
        [ -s "$root$work/dialog.png" ] || fail "the installed zoomreel saved no screenshot"
    rm -rf "$root$work"
    echo "package test: the installed programs work (a movie of $frames frames, the dialog)"
}

fail() {
    echo "package test: $*" >&2
    exit 1
}

# Run by mmdebstrap inside the fresh root, once the package is installed there.
if [ "${1:-}" = --check-root ]; then
    check_installed "${2:?}"
    exit 0
fi

fresh=0
[ "${1:-}" = --fresh ] && fresh=1

cd "$(dirname "$self")/.."
build=${PACKAGE_BUILD_DIR:-build-package}
rm -f "$build"/zoomreel_*.deb
make package PACKAGE_BUILD_DIR="$build"
debs=("$build"/zoomreel_*_"$(dpkg --print-architecture)".deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "make package made no single package"
deb=$(realpath "${debs[0]}")

# What the package holds: the programs, the desktop entry, its icons and the documents, and
# dependencies that dpkg-shlibdeps computed from the linked libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in fonts-liberation libavcodec libqt6widgets6 libjpeg62-turbo; do
    [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
unexpected=$(cd "$contents" && find . -type f | grep -v -E '^\./usr/(bin/zoomreel(-cli)?|share/(applications|icons/hicolor|doc/zoomreel|man/man1|bash-completion/completions)/)' || true)
[ -z "$unexpected" ] || fail "unexpected files in the package: $unexpected"
for file in usr/bin/zoomreel usr/bin/zoomreel-cli usr/share/doc/zoomreel/LICENSE \
    usr/share/doc/zoomreel/README.md usr/share/doc/zoomreel/changelog.gz \
    usr/share/man/man1/zoomreel-cli.1.gz \
    usr/share/man/man1/zoomreel.1.gz usr/share/bash-completion/completions/zoomreel-cli; do
    [ -f "$contents/$file" ] || fail "the package lacks /$file"
done
desktop-file-validate "$contents/usr/share/applications/zoomreel.desktop"
# Debian's own checks of a package: no error (a maintainer to write to, a changelog, the
# copyright file, no misspelt word in the programs).
lintian --fail-on error "$deb" || fail "lintian finds errors in $(basename "$deb")"
for size in 16 32 48 64 128 256; do
    icon=$contents/usr/share/icons/hicolor/${size}x$size/apps/zoomreel.png
    file "$icon" | grep -q "PNG image data, $size x $size" || fail "no $size x $size icon"
done
echo "package test: $(basename "$deb") holds what it should; Depends: $depends"

if [ $fresh = 1 ]; then
    command -v mmdebstrap >/dev/null || fail "--fresh needs mmdebstrap (tools/setup.sh installs it)"
    mmdebstrap --variant=apt --mode=root --quiet \
        --customize-hook="copy-in '$deb' /tmp" \
        --customize-hook="chroot \"\$1\" env DEBIAN_FRONTEND=noninteractive apt-get install \
            -y -qq --no-install-recommends /tmp/$(basename "$deb") >/dev/null" \
        --customize-hook="'$self' --check-root \"\$1\"" \
        bookworm /dev/null
    exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
installed_before=0
dpkg-query -W -f='${Status}' zoomreel 2>/dev/null | grep -q "install ok installed" &&
    installed_before=1
if [ $installed_before = 0 ]; then
    trap 'rm -rf "$contents"; "${sudo_cmd[@]}" dpkg -r zoomreel >/dev/null || true' EXIT
fi
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
check_installed ""
