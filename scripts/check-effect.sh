#!/usr/bin/env bash
# Checks an effect against the effect contract in seconds, on the simulated Win32 (no Wine, no
# Windows): builds the given sources with the framework and the checker, runs them through the
# checker's sessions and prints one line per broken rule. Exits 0 when every rule holds, 1 when
# one does not, 2 when the effect does not build (and says what it lacks).
#
# Usage: scripts/check-effect.sh [--golden FILE | --no-golden | --write-golden FILE [--golden-ticks N]]
#                                [--ticks N] [--all] [--hang-after SECONDS] FILE.cpp...
#
# --hang-after: the seconds of real time a session may go without its simulated time moving on
# before it counts as hung (10; more for an effect that is slow on purpose, or a slow machine).
#
# Sources that a saver of this tree is made of (add_screen_saver) are compared with the golden
# trace it names, unless --golden or --no-golden says otherwise.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
usage() {
    sed -n '/^# Usage:/,/^[^#]/{/^#/s/^# \{0,1\}//p}' "$0" >&2
    exit 2
}

options=()
sources=()
golden_given=
while [ $# -gt 0 ]; do
    case "$1" in
        --golden|--write-golden|--golden-ticks|--ticks|--hang-after)
            [ $# -ge 2 ] || usage
            case "$1" in --golden|--write-golden) golden_given=yes ;; esac
            options+=("$1" "$2")
            shift 2 ;;
        --no-golden) golden_given=yes; shift ;;
        --all) options+=("$1"); shift ;;
        -*) usage ;;
        *) sources+=("$(realpath "$1")"); shift ;;
    esac
done
[ ${#sources[@]} -gt 0 ] || usage

if [ ! -f /usr/include/wine/wine/windows/windows.h ]; then
    echo "check-effect.sh: the Win32 headers are missing; scripts/setup.sh installs them (libwine-dev)" >&2
    exit 2
fi

# The effect's name: its first file's, as a target name.
name=$(basename "${sources[0]}")
name=${name%.*}
name=${name//[^A-Za-z0-9_]/_}
build="${CHECK_EFFECT_BUILD:-$top/build/check-effect}"
log="$build/build.log"
allowed="scripts/allowed-imports.txt"
mkdir -p "$build"

# The names a link could not find, each with what it is and what to do.
explain_missing() {
    local name
    for name in "$@"; do
        case "$name" in
            __real_SaverEffectProc|SaverEffectProc)
                echo "  SaverEffectProc: the effect must bind its window procedure, at file level:" \
                     "const WNDPROC SaverEffectProc = MyEffectProc; (framework/saver_effect.h)" ;;
            RegisterConfigClasses|ConfigDialogProc)
                echo "  $name: the effect must define it (framework/saver_effect.h says how;" \
                     "the skeleton scripts/new-effect.sh writes has both), in a file that includes framework/saver_effect.h" ;;
            *[a-z]*[A-Z]*|[A-Z]*)
                if [ -f "$top/$allowed" ] && grep -Eq "(^|[^A-Za-z0-9_])$name([^A-Za-z0-9_]|\$)" "$top/$allowed"; then
                    echo "  $name: a Windows call that the saver may import but the simulated Win32 lacks:" \
                         "a gap of this kit, please report it"
                else
                    echo "  $name: a Windows call this kit does not offer; the calls an effect may make are" \
                         "listed in $allowed"
                fi ;;
            *)
                echo "  $name: not a name of this kit or of Windows: a C runtime function? A saver links none" ;;
        esac
    done
}

# The effect's own objects, and the names they call that they do not define, sorted.
effect_objects() { find "$build/CMakeFiles/${name}_check.dir" -name '*.o'; }
effect_calls() { nm -u --format=posix $(effect_objects) | awk '{print $1}' | sort -u; }
defined_in() { { nm -g --defined-only --format=posix "$@" 2>/dev/null || true; } | awk '{print $1}' | sort -u; }

# The C runtime's functions (and the C++ library's) that the effect's own objects call: the host
# links them without a word, Windows does not link them at all. Compiler support (__...) is left out.
c_runtime_calls() {
    local kit
    kit=$(defined_in $(effect_objects) "$build"/libsaver_framework.a "$build"/libsaver_settings.a \
              "$build"/libwin32_sim.a "$build"/libeffect_checker.a)
    effect_calls | comm -23 - <(echo "$kit") |
        grep -Ev '^(__|_Unwind_|_GLOBAL_OFFSET_TABLE_|_ZTVN10__cxxabiv)' | c++filt | paste -sd ' ' || true
}

# The Windows calls the effect makes that the simulated Win32 has (the framework or the checker
# need them) but that a saver may not import: the host links them, the image check would not.
calls_not_offered() {
    local offered
    offered=$(sed -n 's/^[A-Za-z0-9_]*[.][A-Za-z]*:\([A-Za-z0-9_]*\).*/\1/p' "$top/$allowed" | sort -u)
    effect_calls | comm -12 - <(defined_in "$build"/libwin32_sim.a) | comm -23 - <(echo "$offered") |
        grep -E '^[A-Z][A-Za-z0-9]*$' | paste -sd ' ' || true
}

list=$(IFS=';'; echo "${sources[*]}")
if ! { cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
        -DSAVER_CHECK_NAME="$name" -DSAVER_CHECK_SOURCES="$list" &&
       cmake --build "$build" --target "${name}_check" -j "$(nproc)"; } >"$log" 2>&1; then
    grep -E 'error|undefined reference' "$log" >&2 || cat "$log" >&2
    missing=$(sed -n "s/.*undefined reference to \`\([A-Za-z0-9_]*\)'.*/\1/p" "$log" | sort -u)
    if [ -n "$missing" ]; then
        echo "check-effect.sh: the effect uses names that nothing here defines:" >&2
        explain_missing $missing >&2
    fi
    echo "check-effect.sh: the effect did not build; the whole log is $log" >&2
    exit 2
fi
runtime=$(c_runtime_calls)
if [ -n "$runtime" ]; then
    echo "check-effect.sh: the effect calls the C runtime, which a saver does not link (Windows refuses it): $runtime" >&2
    echo "check-effect.sh: integer arithmetic and GDI and USER calls do the work (the compiler writes memset and" \
         "memcpy itself for large zeroed or copied locals: make them static, or smaller)" >&2
    exit 2
fi

not_offered=$(calls_not_offered)
if [ -n "$not_offered" ]; then
    echo "check-effect.sh: the effect calls Windows functions that a saver may not import, which the image" \
         "check refuses: $not_offered" >&2
    echo "check-effect.sh: the calls an effect may make are listed in $allowed" >&2
    exit 2
fi

if [ -z "$golden_given" ] && [ -s "$build/golden-trace.txt" ]; then
    golden=$(cat "$build/golden-trace.txt")
    echo "check-effect.sh: compared with ${golden#"$top"/}, the golden trace of these sources (--no-golden: not)"
    options+=(--golden "$golden")
fi
exec "$build/${name}_check" --name "$name" "${options[@]}"
