#!/usr/bin/env bash
# Installs whatever this project needs that the machine does not have yet. Fast when nothing is
# missing; asks apt only for what is absent. The 32-bit Wine (to run the shipped PE32 image) is
# installed where the machine can have it; where it cannot, setup says so and goes on, and the
# 32-bit tests report themselves skipped.
set -euo pipefail

packages=(
    cmake make g++ googletest libgtest-dev libgmock-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64 libwine libwine-dev xvfb xauth xdotool x11-utils imagemagick
    clang libclang-rt-14-dev valgrind zip
)
# The 32-bit Wine, installed together with wine64: asked for on its own, apt removes wine64.
wine32_packages=(wine64 wine32:i386 libwine libwine:i386)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# An index that fails to download (a mirror in the middle of a sync) makes apt-get update exit
# non-zero although every other index is fresh; whether the install succeeds is what counts.
apt_update() { $sudo apt-get update -qq || echo "setup: apt-get update reported a failure; going on"; }
apt_install() { $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
updated=no
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    apt_update
    updated=yes
    apt_install "${missing[@]}"
fi

# The 32-bit Wine: the 32-bit loader is what runs saver.scr as users get it.
if [ -x /usr/lib/wine/wine ] && installed wine32:i386; then
    exit 0
fi
if ! grep -qx i386 <(dpkg --print-foreign-architectures); then
    $sudo dpkg --add-architecture i386
    updated=no
fi
[ "$updated" = yes ] || apt_update
# A library installed at a security update's version has no i386 twin when the security index
# for i386 could not be read, and the two architectures of a library must match. Taking the
# release's own versions for this one install (a pin above 1000 allows the few downgrades) then
# resolves.
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
pin=$(mktemp)
trap 'rm -f "$pin"' EXIT
printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' "$release" >"$pin"
if apt_install "${wine32_packages[@]}" 2>/dev/null; then
    echo "setup: 32-bit Wine installed"
elif apt_install --allow-downgrades -o Dir::Etc::Preferences="$pin" \
        -o Dir::Etc::PreferencesParts=/nonexistent "${wine32_packages[@]}" 2>/dev/null; then
    echo "setup: 32-bit Wine installed, with the versions of $release itself (an index was missing)"
else
    echo "setup: 32-bit Wine could not be installed here; the 32-bit end-to-end tests will be skipped"
fi
