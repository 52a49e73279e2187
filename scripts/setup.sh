#!/usr/bin/env bash
# Installs whatever this project needs that the machine does not have yet. Fast when nothing is
# missing; asks apt only for what is absent. The 32-bit Wine (to run the shipped PE32 image) is
# installed where the machine can have it. Where the kernel runs no 32-bit programs, qemu's
# user-mode emulator from the release's backports runs them, registered with the kernel. Setup
# says in one line each how the 32-bit programs run and whether the 32-bit Wine is there; where
# either cannot be had it says why and goes on, and the 32-bit tests report themselves skipped.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/i386-support.sh"

packages=(
    cmake make g++ googletest libgtest-dev libgmock-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64 libwine libwine-dev xvfb xserver-xephyr xauth xdotool x11-utils imagemagick
    fonts-dejavu-core
    clang libclang-rt-14-dev valgrind zip
)
# The 32-bit Wine, installed together with wine64: asked for on its own, apt removes wine64.
wine32_packages=(wine64 wine32:i386 libwine libwine:i386)
# The emulator must be a recent one: the release's own (7.2) takes about a minute to start one
# Wine program, as Wine's loader probes the address space with a hundred thousand mmap calls and
# that qemu scans its page tables for each; 10.0 from backports takes half a second.
qemu_suite_suffix=-backports
qemu_least_major=10

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
release=$(. /etc/os-release && echo "$VERSION_CODENAME")

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

# --- How 32-bit programs run ---------------------------------------------------------------
# The mirror and key that the machine already uses for the release, from either format of apt's
# sources: "URI KEYRING" (KEYRING may be empty).
release_source() {
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk -v suite="$release" '
            /^$/ { if (match_suite && uri) { print uri, key; exit } uri = ""; key = ""; match_suite = 0 }
            /^URIs:/ { uri = $2 }
            /^Signed-By:/ { key = $2 }
            /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite) match_suite = 1 }
            END { if (match_suite && uri) print uri, key }' "$file"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        sed -n "s/^deb \(\[[^]]*\] \)\?\([^ ]*\) $release .*/\2/p" "$file"
    done
}

add_backports() {
    local list=/etc/apt/sources.list.d/$release$qemu_suite_suffix.list uri key
    grep -rqs "^[^#]* $release$qemu_suite_suffix " /etc/apt/sources.list /etc/apt/sources.list.d/*.list &&
        return 0
    grep -rqs "^Suites:.* $release$qemu_suite_suffix" /etc/apt/sources.list.d/*.sources && return 0
    read -r uri key < <(release_source | head -n 1) || true
    [ -n "${uri:-}" ] || return 1
    echo "deb ${key:+[signed-by=$key] }$uri $release$qemu_suite_suffix main" | $sudo tee "$list" >/dev/null
    apt_update
}

# Sets `why` when it fails.
install_emulator() {
    add_backports || { why="no apt source of $release to take its backports from"; return 1; }
    echo "setup: installing qemu-user from $release$qemu_suite_suffix"
    apt_install -t "$release$qemu_suite_suffix" qemu-user ||
        { why="qemu-user could not be installed from $release$qemu_suite_suffix"; return 1; }
    local qemu
    qemu=$(command -v qemu-i386) || { why="qemu-user brought no qemu-i386"; return 1; }
    $sudo bash -c "source '$root/scripts/i386-support.sh' && i386_register_qemu '$qemu'" ||
        { why="the emulator could not be registered with the kernel (binfmt_misc)"; return 1; }
}

emulator_line() {
    local version
    version=$(i386_emulator_version)
    if [ "${version%%.*}" -lt "$qemu_least_major" ] 2>/dev/null; then
        echo "emulated with qemu $version (older than $qemu_least_major: each start of a program takes up to a minute)"
    else
        echo "emulated with qemu ${version:-of unknown version}"
    fi
}

if i386_runs_natively; then
    if [ -n "$(i386_handler)" ]; then
        echo "setup: 32-bit programs: $(emulator_line) (the kernel runs them natively, but the emulator is registered for them: $I386_BINFMT/$(i386_handler))"
    else
        echo "setup: 32-bit programs: native"
    fi
elif [ -n "$(i386_handler)" ] && i386_runs; then
    echo "setup: 32-bit programs: $(emulator_line)"
elif why= && install_emulator && i386_runs; then
    echo "setup: 32-bit programs: $(emulator_line)"
else
    echo "setup: 32-bit programs: none (the kernel runs none, and ${why:-the registered emulator does not run them}); the 32-bit end-to-end tests will be skipped"
fi

# --- The 32-bit Wine: the 32-bit loader is what runs saver.scr as users get it ---------------
if [ -x /usr/lib/wine/wine ] && installed wine32:i386; then
    echo "setup: 32-bit Wine: installed"
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
pin=$(mktemp)
trap 'rm -f "$pin"' EXIT
printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' "$release" >"$pin"
if apt_install "${wine32_packages[@]}" 2>/dev/null && [ -x /usr/lib/wine/wine ]; then
    echo "setup: 32-bit Wine: installed"
elif apt_install --allow-downgrades -o Dir::Etc::Preferences="$pin" \
        -o Dir::Etc::PreferencesParts=/nonexistent "${wine32_packages[@]}" 2>/dev/null; then
    echo "setup: 32-bit Wine: installed, with the versions of $release itself (an index was missing)"
elif installed wine32:i386; then
    echo "setup: 32-bit Wine: installed, but its loader /usr/lib/wine/wine is missing; the 32-bit end-to-end tests will be skipped"
else
    echo "setup: 32-bit Wine: could not be installed here; the 32-bit end-to-end tests will be skipped"
fi
