#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Zoomreel needs.
# Packages already present are left alone; nothing is downloaded from anywhere else.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config make
    clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev groff-base
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev
    libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
    libjpeg62-turbo-dev libpng-dev libfreetype-dev libfontconfig-dev fonts-liberation
    ffmpeg xvfb xauth
    dpkg-dev file desktop-file-utils mmdebstrap lintian
    slurmctld slurmd slurm-client munge
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all packages are installed"
    exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
