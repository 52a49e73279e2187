#!/usr/bin/env bash
# A picture of any saver without Windows: runs it under Wine on a virtual display of its own, full
# screen and as a preview, takes frames at a few moments and writes one PNG sheet, each frame
# labelled with its mode, size and moment. A saver with settings gets those rows three times: at
# its defaults, with every setting at its minimum and with every setting at its maximum, each
# stored through its own "/c" dialog as a person would store them.
#
#   scripts/show-effect.sh [options] NAME...
#
# NAME is a saver built with add_screen_saver (saver, rings, new_effect, ...) or the path of a
# .scr. What is missing is built first: the x86-64 image, or the 32-bit one with --win32 (run by
# Wine's 32-bit loader, natively or emulated, as scripts/run.sh runs it). A path is run as the
# image it is.
#
#   --win32            the 32-bit image (build/win32) instead of the x86-64 one (build/win64)
#   --size WxH         the full-screen size (default 1024x768)
#   --moments LIST     when the frames are taken, in seconds after the window shows (default 1,5,20)
#   --out FILE         the sheet (one NAME only; default build/<preset>/show/NAME.png)
#   --build-dir DIR    a configured Windows build folder to take the savers from
#   --check            exit 1 unless every frame shows drawing: not black, more than one colour
#
# The preview is the saver's own "/p" start on a screen of the preview's size, 152 x 112, with
# the desktop window as its parent (show/frames.cpp says why). The frames stay as PNG files in
# build/<preset>/show/NAME/, named by mode, size and moment (full-1024x768-5s.png), and then by
# configuration when there are settings (full-1024x768-5s-minimum.png).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PREVIEW_SIZE=152x112
SHEET_BACKGROUND='#202020'
FONT=DejaVu-Sans

usage() {
    sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}" >&2
    exit 2
}
say() { echo "show-effect: $*"; }
die() {
    echo "show-effect: $*" >&2
    exit 1
}
# 77: nothing could be shown on this machine (a test reports itself skipped).
die_skipped() {
    echo "show-effect: $*" >&2
    exit 77
}

preset=win64
size=1024x768
moments=1,5,20
out=
build=
check=no
names=()
while [ $# -gt 0 ]; do
    case "$1" in
        --win32) preset=win32 ;;
        --size) size="${2:-}"; shift ;;
        --moments) moments="${2:-}"; shift ;;
        --out) out="${2:-}"; shift ;;
        --build-dir) build="$(realpath "${2:-.}")"; shift ;;
        --check) check=yes ;;
        -h | --help) usage ;;
        -*) echo "show-effect: unknown option $1" >&2; usage ;;
        *) names+=("$1") ;;
    esac
    shift
done
[ ${#names[@]} -gt 0 ] || usage
# Wine is given the folder's paths, and takes a relative one from its own working folder.
[ -z "$build" ] || build=$(realpath -m "$build")
[[ "$size" =~ ^[1-9][0-9]*x[1-9][0-9]*$ ]] || die "--size takes WIDTHxHEIGHT, e.g. 1920x1080, not '$size'"
[[ "$moments" =~ ^[0-9]+(\.[0-9]+)?(,[0-9]+(\.[0-9]+)?)*$ ]] ||
    die "--moments takes seconds separated by commas, e.g. 1,5,20, not '$moments'"
tr ',' '\n' <<<"$moments" | awk 'NR > 1 && $1 <= last { exit 1 } { last = $1 }' ||
    die "--moments must rise: each moment later than the one before, not '$moments'"
[ -z "$out" ] || [ ${#names[@]} -eq 1 ] || die "--out names one sheet: give one NAME with it"
# In milliseconds for the frame taker, and as the labels show them.
moments_ms=$(tr ',' '\n' <<<"$moments" | awk '{ printf "%s%d", (NR > 1 ? "," : ""), $1 * 1000 + 0.5 }')
source "$root/tests/wine/wine-prefix.sh"

# The image's machine from its PE header: x86_64 or i686.
image_arch() {
    local offset machine
    offset=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$offset" ] || return 1
    machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$1" | tr -d ' ')
    case "$machine" in
        8664) echo x86_64 ;;
        014c) echo i686 ;;
        *) return 1 ;;
    esac
}

# The build folder of an architecture, configured if need be (its preset's).
build_of() {
    local arch_preset=$1
    if [ -n "$build" ]; then
        [ -f "$build/CMakeCache.txt" ] || die "$build is not a configured build folder"
        echo "$build"
        return
    fi
    if [ ! -f "$root/build/$arch_preset/CMakeCache.txt" ]; then
        say "configuring the $arch_preset preset" >&2
        (cd "$root" && cmake --preset "$arch_preset" >/dev/null)
    fi
    echo "$root/build/$arch_preset"
}

# The loader for an architecture, or why there is none here.
loader_of() {
    if [ "$1" = x86_64 ]; then
        [ -x "$WINE64_LOADER" ] || die_skipped "there is no Wine ($WINE64_LOADER): scripts/setup.sh installs it"
        echo "$WINE64_LOADER"
    elif [ ! -x "$WINE32_LOADER" ]; then
        die_skipped "there is no 32-bit Wine ($WINE32_LOADER; scripts/setup.sh says why)"
    elif [ "$(i386_mode)" = none ]; then
        die_skipped "the kernel runs no 32-bit programs here and no emulator is registered for them (scripts/setup.sh says why)"
    else
        echo "$WINE32_LOADER"
    fi
}

# The configuration the frames are taken in: none for a saver without settings; defaults, minimum
# or maximum for one with them. Frames and labels carry it.
configuration=none
configuration_suffix() {
    [ "$configuration" = none ] || echo "-$configuration"
}
configuration_label() {
    case "$configuration" in
        defaults) echo "every setting at its default" ;;
        minimum) echo "every setting at its minimum" ;;
        maximum) echo "every setting at its maximum" ;;
    esac
}

frame_label() { # frame_label MODE SIZE SECONDS
    local mode="full screen"
    [ "$1" = preview ] && mode=preview
    echo "$mode ${2/x/ x }, ${3} s"
}

frame_file() { # frame_file MODE SIZE SECONDS FOLDER
    echo "$4/$1-$2-${3}s$(configuration_suffix).png"
}

# Wine's errors while the frame taker ran, its own and the saver's (a child shares its output): for
# a run that went wrong, the last lines, or that there were none.
wine_said() { # wine_said LOG
    if [ -s "$1" ]; then
        echo "Wine printed (the end of $1):"
        tail -n 12 "$1" | sed 's/^/    /'
    else
        echo "Wine printed nothing"
    fi
}

# Runs the frame taker with ARGS, Wine's errors (not its notes of what it lacks) into LOG.
run_frame_taker() { # run_frame_taker SECONDS LOG ARGS...
    local limit=$1 log=$2
    shift 2
    WINEDEBUG=fixme-all timeout "$limit" "$loader" "$helper" "$@" </dev/null 2>"$log" | tr -d '\r' || true
}

# Stores a configuration through the saver's own "/c" dialog, on a display of its own. Sets
# has_settings to no when "/c" shows no dialog built from a settings table.
store_configuration() { # store_configuration IMAGE defaults|minimum|maximum
    local output log="$folder/wine-settings-$2.log"
    start_virtual_display "$size" || die "could not start a virtual display"
    output=$(run_frame_taker 90 "$log" "$1" settings "$2")
    stop_wine_and_display
    "$WINE_SERVER" -w 2>/dev/null || true
    if grep -q '^no settings$' <<<"$output"; then
        has_settings=no
        say "$name: no settings table, one configuration"
    elif grep -q '^ended 1$' <<<"$output"; then
        has_settings=yes
        say "$name: $(grep -m1 '^stored ' <<<"$output"), $2, through its own dialog"
    else
        die "$name, settings at the $2: $(grep -m1 '^show_frames: ' <<<"$output" | sed 's/^show_frames: //' || echo "the frame taker ended without a word")
$(wine_said "$log")"
    fi
}

# Runs the frame taker for one mode on a display of its own; leaves the frames as PNG files.
take_frames() { # take_frames MODE SIZE IMAGE FOLDER
    local mode=$1 screen=$2 image=$3 folder=$4 output line seconds
    local last_s=${moments##*,}
    local what="full screen"
    [ "$mode" = preview ] && what=preview
    local heading
    heading=$(configuration_label)
    say "$name: $what ${screen/x/ x }${heading:+, $heading}, on a virtual display of its own: frames at ${moments//,/, } s"
    start_virtual_display "$screen" || die "could not start a virtual display"
    rm -f "$folder/$mode"-*.bmp
    local log="$folder/wine-$mode.log"
    output=$(run_frame_taker $((${last_s%.*} + 90)) "$log" "$image" "$mode" "$moments_ms" "$folder")
    stop_wine_and_display
    "$WINE_SERVER" -w 2>/dev/null || true
    grep -q '^ended 0$' <<<"$output" ||
        die "$name, $mode: $(grep -m1 '^show_frames: ' <<<"$output" | sed 's/^show_frames: //' || echo "the frame taker ended without a word")
$(wine_said "$log")"
    local i=0
    for seconds in ${moments//,/ }; do
        i=$((i + 1))
        local ms
        ms=$(cut -d, -f$i <<<"$moments_ms")
        local png
        png=$(frame_file "$mode" "$screen" "$seconds" "$folder")
        convert "$folder/$mode-$ms.bmp" -alpha off "$png"
        rm -f "$folder/$mode-$ms.bmp"
        say "  $(frame_label "$mode" "$screen" "$seconds"): $png"
    done
}

# One row of the sheet: the frames of one mode, labelled, each enlarged by a whole factor (pixels
# repeated, none made up) when it is small beside the full-screen frames.
sheet_row() { # sheet_row MODE SIZE FOLDER ROW [FACTOR]
    local args=() seconds count=0 factor=${5:-1} note=
    [ "$factor" -gt 1 ] && note=" (shown $factor times as large)"
    for seconds in ${moments//,/ }; do
        args+=(-label "$(frame_label "$1" "$2" "$seconds")$note" "$(frame_file "$1" "$2" "$seconds" "$3")")
        count=$((count + 1))
    done
    montage -font "$FONT" -pointsize 16 -fill white -background "$SHEET_BACKGROUND" "${args[@]}" \
        -scale "$((factor * 100))%" -tile "${count}x1" -geometry +8+8 "$4"
}

# Drawing: more than one colour, so neither black nor any single fill.
check_frames() { # check_frames FOLDER
    local png colours failed=0
    for png in "$1"/*.png; do
        colours=$(convert "$png" -format %k info:)
        if [ "$colours" -gt 1 ]; then
            say "  drawn: $(basename "$png") ($colours colours)"
        else
            say "  NOT DRAWN: $(basename "$png") shows one colour only" >&2
            failed=1
        fi
    done
    return $failed
}

status=0
for name in "${names[@]}"; do
    if [[ "$name" == *.scr || "$name" == */* ]]; then
        image=$(realpath "$name" 2>/dev/null) && [ -f "$image" ] || die "no file $name"
        arch=$(image_arch "$image") || die "$name is not a Windows image for x86 or x86-64"
        if [ "$preset" = win32 ] && [ "$arch" != i686 ]; then
            die "$name is an x86-64 image, not a 32-bit one (--win32)"
        fi
        name=$(basename "$image")
        name=${name%.*}
        arch_preset=win64
        [ "$arch" = i686 ] && arch_preset=win32
        dir=$(build_of "$arch_preset")
        say "building the frame taker in $dir"
        cmake --build "$dir" --target show_frames >/dev/null
    else
        dir=$(build_of "$preset")
        [ -f "$dir/savers/$name.path" ] || die "no saver named $name in $dir (the savers there: $(ls "$dir/savers" 2>/dev/null | sed 's/[.]path$//' | paste -sd ' '))"
        say "building $name and the frame taker in $dir"
        cmake --build "$dir" --target "$name" show_frames >/dev/null
        image=$(cat "$dir/savers/$name.path")
        arch=$(image_arch "$image") || die "$image is not a Windows image for x86 or x86-64"
    fi
    loader=$(loader_of "$arch")
    how=native
    [ "$arch" = i686 ] && how=$(i386_how)
    helper="$dir/show/show_frames.exe"
    say "$name: $image, under $loader, $how"
    wine_prefix_prepare "$dir/show"
    trap stop_wine_and_display EXIT
    folder="$dir/show/$name"
    mkdir -p "$folder"
    rm -f "$folder"/*.png
    # The defaults first, stored so that an earlier run's values do not show; a saver without a
    # settings table has one configuration, none.
    store_configuration "$image" defaults
    configurations=(none)
    [ "$has_settings" = yes ] && configurations=(defaults minimum maximum)
    rows=()
    for configuration in "${configurations[@]}"; do
        [ "$configuration" = none ] || [ "$configuration" = defaults ] || store_configuration "$image" "$configuration"
        take_frames full "$size" "$image" "$folder"
        take_frames preview "$PREVIEW_SIZE" "$image" "$folder"
        sheet_row full "$size" "$folder" "$folder/row-full-$configuration.tmp.png"
        sheet_row preview "$PREVIEW_SIZE" "$folder" "$folder/row-preview-$configuration.tmp.png" \
            $(((${size%x*} / 3 + ${PREVIEW_SIZE%x*} - 1) / ${PREVIEW_SIZE%x*}))
        # Each configuration's rows under a heading that names it.
        [ "$configuration" = none ] || rows+=(label:"  $(configuration_label)")
        rows+=("$folder/row-full-$configuration.tmp.png" "$folder/row-preview-$configuration.tmp.png")
    done
    configuration=none

    sheet=${out:-$dir/show/$name.png}
    mkdir -p "$(dirname "$sheet")"
    title="$name: $(basename "$image"), the $([ "$arch" = i686 ] && echo 32-bit || echo x86-64) image under Wine ($how)"
    convert -background "$SHEET_BACKGROUND" -fill white -font "$FONT" -pointsize 22 label:"  $title" \
        "${rows[@]}" -gravity west -append "$sheet"
    rm -f "$folder"/row-*.tmp.png
    if [ "$check" = yes ]; then
        check_frames "$folder" || status=1
    fi
    say "$name: sheet: $sheet"
done
exit $status
