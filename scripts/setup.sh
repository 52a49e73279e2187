#!/usr/bin/env bash
# Installs whatever this project needs that the machine does not have yet. Fast when nothing is
# missing; asks apt only for what is absent.
set -euo pipefail

packages=(
    cmake make g++ googletest libgtest-dev libgmock-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64 libwine-dev xvfb xauth xdotool x11-utils imagemagick
    clang libclang-rt-14-dev valgrind zip
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
