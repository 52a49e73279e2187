#!/usr/bin/env bash
# Starts an effect of your own: writes NAME/NAME.cpp from the skeleton (scripts/new-effect.cpp.in,
# a coloured square a tick with one setting), adds its add_screen_saver line to the top-level
# CMakeLists.txt and says what to run next. A NAME that is not a C identifier, or that is taken
# (a file or folder at the top of the tree, a saver or target of the build, a name CMake or
# Windows keeps for itself), is refused, and then nothing changes.
#
# Usage: scripts/new-effect.sh NAME
#        scripts/new-effect.sh --print NAME    the source it would write, on standard output
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
template="$top/scripts/new-effect.cpp.in"
lists="$top/CMakeLists.txt"
# The line of CMakeLists.txt under which the savers of one's own are listed, one line each.
marker="# Savers of your own, one line each"

usage() {
    sed -n '/^# Usage:/,/^[^#]/{/^#/s/^# \{0,1\}//p}' "$0" >&2
    exit 2
}
refuse() {
    echo "new-effect.sh: $*; nothing changed" >&2
    exit 1
}

# The skeleton, named for NAME.
effect_source() { sed "s/@NAME@/$1/g" "$template"; }

is_identifier() {
    [[ "$1" =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || return 1
    case "$1" in
        auto|break|case|char|const|continue|default|do|double|else|enum|extern|float|for|goto|if|\
        inline|int|long|register|restrict|return|short|signed|sizeof|static|struct|switch|typedef|\
        union|unsigned|void|volatile|while|_Bool|_Complex|_Imaginary) return 1 ;;
    esac
}

# Why NAME cannot be had, or nothing when it can.
why_taken() {
    local name="$1" lower entry
    lower=$(echo "$name" | tr '[:upper:]' '[:lower:]')
    for entry in "$top"/* "$top"/.[!.]*; do
        [ -e "$entry" ] || continue
        entry=$(basename "$entry")
        # A Windows file system does not tell Rings/ from rings/.
        if [ "$(echo "$entry" | tr '[:upper:]' '[:lower:]')" = "$lower" ]; then
            echo "$entry is already at the top of the tree"
            return
        fi
    done
    case "$lower" in
        all|clean|help|install|package|package_source|test|edit_cache|rebuild_cache|\
        list_install_components|all_build|zero_check|run_tests|continuous|experimental|nightly)
            echo "CMake keeps the target name $name for itself"; return ;;
        con|prn|aux|nul|com[1-9]|lpt[1-9])
            echo "Windows keeps the file name $name for a device"; return ;;
    esac
    # A saver's contract check is the target NAME_check; a foreach may list target names.
    local target made dir
    for target in "$name" "${name%_check}"; do
        made=$(cd "$top" && grep -rlE --include=CMakeLists.txt --include='*.cmake' --exclude-dir=build \
            -e "(add_screen_saver|add_saver_image|add_effect_check|add_executable|add_library|add_custom_target)\([[:space:]]*$target([[:space:]]|\)|\$)" \
            -e "foreach\([A-Za-z_]+([[:space:]]+[A-Za-z0-9_]+)*[[:space:]]+$target([[:space:]]|\))" \
            . | head -n 1 || true)
        if [ -n "$made" ] && [ "$target" = "$name" ]; then
            echo "the build already has a saver or target $name (${made#./})"
            return
        elif [ -n "$made" ]; then
            echo "$name is the contract check of the saver or target $target (${made#./})"
            return
        fi
    done
    # Targets whose names the build makes up as it goes (a fixture's, a probe's), where a build
    # folder lists them.
    for dir in "$top"/build/*/; do
        [ -f "$dir/Makefile" ] || continue
        if grep -qx "\.\.\. $name" <<<"$(make -s -C "$dir" help 2>/dev/null || true)"; then
            echo "the build already has a target $name (${dir#"$top"/})"
            return
        fi
    done
}

[ $# -ge 1 ] || usage
if [ "$1" = "--print" ]; then
    [ $# -eq 2 ] || usage
    is_identifier "$2" || refuse "\"$2\" is not a C identifier (letters, digits and _, not a digit first)"
    effect_source "$2"
    exit 0
fi
[ $# -eq 1 ] || usage
name="$1"
case "$name" in -*) usage ;; esac
is_identifier "$name" || refuse "\"$name\" is not a C identifier (letters, digits and _, not a digit first)"
taken=$(why_taken "$name")
[ -z "$taken" ] || refuse "the name $name is taken: $taken"
grep -qF "$marker" "$lists" ||
    refuse "CMakeLists.txt has no line \"$marker\" to add the saver under"

# The new saver's line goes after the last line of the list under the marker: its comment, then
# one add_screen_saver line per saver.
line="add_screen_saver($name SOURCES $name/$name.cpp)"
updated=$(mktemp "$top/CMakeLists.txt.XXXXXX")
trap 'rm -f "$updated"' EXIT
awk -v marker="$marker" -v line="$line" '
    !done && listing && !/^(#|add_screen_saver\()/ { print line; done = 1 }
    index($0, marker) == 1 { listing = 1 }
    { print }
    END { if (!done) print line }
' "$lists" >"$updated"

mkdir "$top/$name"
if ! effect_source "$name" >"$top/$name/$name.cpp" ||
   ! chmod --reference="$lists" "$updated" || ! mv "$updated" "$lists"; then
    rm -rf "${top:?}/$name"
    refuse "could not write $name/$name.cpp or CMakeLists.txt"
fi

cat <<EOF
new-effect.sh: wrote $name/$name.cpp and added to CMakeLists.txt:
    $line
Next, from the top of the tree:
  build it (build/win32/$name.scr) and run its image check:
    cmake --preset win32 && cmake --build --preset win32 --target $name && ctest --preset win32 -R '^${name}_'
  see it on a picture sheet, full screen and as a preview (build/win64/show/$name.png):
    scripts/show-effect.sh $name
  check it against the effect contract, in seconds:
    scripts/check-effect.sh $name/$name.cpp
docs/effects.md, the effect author's guide, says what an effect may do and what each of these says.
EOF
