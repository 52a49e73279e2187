#!/usr/bin/env bash
# Checks an effect against the effect contract in seconds, on the simulated Win32 (no Wine, no
# Windows): builds the given sources with the framework and the checker, runs them through the
# checker's sessions and prints one line per broken rule.
#
# Exits 0: every rule holds (and the golden trace, if any, matches). 1: a rule is broken, or the
# calls differ from the golden trace. 2: nothing was checked, and it says why: a wrong command
# line, the Win32 headers missing, the effect does not build (names nothing defines), it calls
# the C runtime, or it calls a Windows function the image check would refuse for another reason
# than rule 6 (one refused for rule 6 is a finding of rule 6: exit 1).
#
# Usage: scripts/check-effect.sh [--golden FILE | --no-golden | --write-golden FILE [--golden-ticks N]]
#                                [--ticks N] [--all] [--hang-after SECONDS]
#                                [--time YYYY-MM-DDTHH:MM:SS] [--seed N] FILE.cpp... [FILE.rc]
#        scripts/check-effect.sh --wine [--image FILE.scr --map FILE.map] [--golden FILE | --no-golden]
#                                [--golden-ticks N] FILE.cpp...
#
# --time, --seed: every session at this local time and seed, as a finding names them, to replay
# it (no golden trace is compared then, unless --golden names one).
# A resource script among the files is compiled into the check, as into the saver: its bitmaps and
# data load there as in the image.
#
# --wine: whether the simulated Win32 the checker runs the effect on and Wine agree, for this
# effect. It builds the effect's x86-64 saver (or takes --image and its link map), runs it full
# screen under wine64 with Wine's relay trace on, and compares the calls the effect made there in
# its first ticks (as many as its golden trace holds, else --golden-ticks, 30 by default) with the
# checker's full-screen session on the NT family, and with the golden trace. It says "the
# simulated Win32 and Wine agree on the first N ticks", or shows the first call that differs, both
# sides, and what Wine returned to the effect before it. Exits 0 when they agree, 1 when they do
# not, 2 when the effect does not build, 77 when there is no Wine here.
#
# --hang-after: the seconds of its own processor time a session may spend without its simulated
# time moving on before it counts as hung (10; more for an effect that is slow on purpose). The
# machine's load does not count: a busy machine slows a session, it does not hang it.
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
replay=
wine=
image=
map=
golden_ticks=
while [ $# -gt 0 ]; do
    case "$1" in
        --time|--seed)
            [ $# -ge 2 ] || usage
            replay=yes
            options+=("$1" "$2")
            shift 2 ;;
        --wine) wine=yes; shift ;;
        --image|--map)
            [ $# -ge 2 ] || usage
            if [ "$1" = --image ]; then image=$(realpath "$2"); else map=$(realpath "$2"); fi
            shift 2 ;;
        --golden|--write-golden|--golden-ticks|--ticks|--hang-after)
            [ $# -ge 2 ] || usage
            case "$1" in
                --golden|--write-golden) golden_given=yes ;;
                --golden-ticks) golden_ticks=$2 ;;
            esac
            options+=("$1" "$2")
            shift 2 ;;
        --no-golden) golden_given=yes; shift ;;
        --all) options+=("$1"); shift ;;
        -*) usage ;;
        *) sources+=("$(realpath "$1")"); shift ;;
    esac
done
[ ${#sources[@]} -gt 0 ] || usage
if [ -n "$image$map" ] && { [ -z "$image" ] || [ -z "$map" ] || [ -z "$wine" ]; }; then usage; fi

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

# Why the import list refuses a function: its own line's reason, or that it does not know it.
refusal() {
    awk -v name="$1" '{ sub(/#.*/, "") } { split($1, at, ":") } at[2] == name && ($2 == "rule6" || $2 == "absent") {
        use = $3; for (i = 4; i <= NF; i++) use = use " " $i
        if ($2 == "rule6") print "not offered to effects because of rule 6 (an effect reads nothing of its own), use " use
        else print "not exported by Windows 95 or NT 4.0" ($3 ? ", " $3 " does the work where the system can" : "")
        found = 1; exit }
        END { if (!found) print "not in the import list, not yet checked for Windows 95 and NT 4.0" }' "$top/$allowed"
}
refused_for_rule_6() { refusal "$1" | grep -q 'rule 6'; }

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
                if refusal "$name" | grep -Eq 'rule 6|not exported'; then
                    echo "  $name: $(refusal "$name")"
                elif [ -f "$top/$allowed" ] && grep -Eq "(^|[^A-Za-z0-9_])$name([^A-Za-z0-9_]|\$)" "$top/$allowed"; then
                    echo "  $name: a Windows call that the saver may import but the simulated Win32 lacks:" \
                         "a gap of this kit, please report it"
                else
                    echo "  $name: a Windows call this kit does not offer: $(refusal "$name"); the calls an" \
                         "effect may make are listed in $allowed"
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
    kit=$(defined_in $(effect_objects) "$build"/libsaver_framework.a "$build"/libsaver_settings.a "$build"/libsaver_world.a \
              "$build"/libwin32_sim.a "$build"/libeffect_checker.a)
    effect_calls | comm -23 - <(echo "$kit") |
        grep -Ev '^(__|_Unwind_|_GLOBAL_OFFSET_TABLE_|_ZTVN10__cxxabiv)' | c++filt | paste -sd ' ' || true
}

# The Windows calls the effect makes that the simulated Win32 has (the framework or the checker
# need them) but that a saver may not import: the host links them, the image check would not.
calls_not_offered() {
    local offered
    offered=$(awk '{ sub(/#.*/, "") } NF == 1 || (NF == 2 && $2 ~ /^(i686|x86_64)$/) {
        sub(/^[^:]*:/, "", $1); print $1 }' "$top/$allowed" | sort -u)
    effect_calls | comm -12 - <(defined_in "$build"/libwin32_sim.a) | comm -23 - <(echo "$offered") |
        grep -E '^[A-Z][A-Za-z0-9]*$' | paste -sd ' ' || true
}

list=$(IFS=';'; echo "${sources[*]}")
if ! { cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
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

# A call refused for rule 6 is a finding of that rule, whether or not a session reaches it; the
# sessions still run, to say where. Any other call off the list stops the check.
rule_6_calls=()
other_calls=()
for call in $(calls_not_offered); do
    if refused_for_rule_6 "$call"; then rule_6_calls+=("$call"); else other_calls+=("$call"); fi
done
if [ ${#other_calls[@]} -gt 0 ]; then
    echo "check-effect.sh: the effect calls Windows functions that a saver may not import, which the image" \
         "check refuses:" >&2
    for call in "${other_calls[@]}"; do echo "  $call: $(refusal "$call")" >&2; done
    echo "check-effect.sh: the calls an effect may make are listed in $allowed" >&2
    exit 2
fi

# A golden trace holds the sessions at the checker's own times and seeds.
if [ -z "$golden_given" ] && [ -z "$replay" ] && [ -s "$build/golden-trace.txt" ]; then
    golden=$(cat "$build/golden-trace.txt")
    echo "check-effect.sh: compared with ${golden#"$top"/}, the golden trace of these sources (--no-golden: not)"
    options+=(--golden "$golden")
fi
if [ -z "$wine" ]; then
    status=0
    "$build/${name}_check" --name "$name" "${options[@]}" || status=$?
    for call in "${rule_6_calls[@]}"; do
        echo "rule 6 (reads the world only through the framework: the same session, the same calls): the effect's" \
             "code calls $call, which the image check refuses: $(refusal "$call")"
    done
    [ ${#rule_6_calls[@]} -eq 0 ] || [ "$status" -ne 0 ] || status=1
    exit "$status"
fi

# ---------------------------------------------------------------------------------------------
# --wine

source "$top/tests/wine/wine-prefix.sh"
if [ ! -x "$WINE64_LOADER" ]; then
    echo "check-effect.sh: there is no Wine ($WINE64_LOADER): scripts/setup.sh installs it" >&2
    exit 77
fi

# The effect's x86-64 image and its link map, built as add_screen_saver builds a saver.
build_image() {
    local windows="$build-win64"
    if ! { cmake -S "$top" -B "$windows" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" \
            -DCMAKE_BUILD_TYPE=MinSizeRel -DSAVER_CHECK_NAME="$name" -DSAVER_CHECK_SOURCES="$list" &&
           cmake --build "$windows" --target "$name" -j "$(nproc)"; } >"$windows.log" 2>&1; then
        grep -E 'error|undefined reference' "$windows.log" >&2 || cat "$windows.log" >&2
        echo "check-effect.sh: the effect's x86-64 saver did not build; the whole log is $windows.log" >&2
        exit 2
    fi
    image="$windows/$name.scr"
    map="$windows/$name.map"
}

DISPLAY_STARTED=
stop_wine() {
    "$WINE_SERVER" -k 2>/dev/null || true
    if [ -n "$DISPLAY_STARTED" ]; then
        kill "$DISPLAY_STARTED" 2>/dev/null || true
        wait "$DISPLAY_STARTED" 2>/dev/null || true
        DISPLAY_STARTED=
    fi
}

# Runs the image full screen (1024 x 768, the checker's screen) under wine64 with the relay trace
# of the calls its own image makes, until the frame procedure has had more WM_TIMER messages than
# the ticks compared.
trace_under_wine() { # trace_under_wine TICKS RELAY
    local ticks=$1 relay=$2 display_file="$build/wine-display" waited wine_pid
    wine_prefix_prepare "$build/wine" >/dev/null
    trap stop_wine EXIT
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    DISPLAY_STARTED=$!
    for waited in $(seq 1 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    [ -s "$display_file" ] || { echo "check-effect.sh: the virtual display did not start" >&2; exit 1; }
    export DISPLAY=":$(head -1 "$display_file")"
    "$WINE64_LOADER" reg add 'HKCU\Software\Wine\Debug' /v RelayFromInclude /d "$(basename "$image")" /f \
        >/dev/null 2>&1
    # The font channel says what a text measured, which the relay trace cannot show.
    WINEDEBUG=+relay,+font "$WINE64_LOADER" "$image" /s </dev/null >/dev/null 2>"$relay" &
    wine_pid=$!
    for waited in $(seq 1 1200); do
        [ "$(grep -c '^[0-9a-f]*:Call window proc .*msg=WM_TIMER' "$relay")" -gt "$ticks" ] && break
        kill -0 "$wine_pid" 2>/dev/null || break
        sleep 0.1
    done
    stop_wine
    wait "$wine_pid" 2>/dev/null || true
}

ticks=${golden_ticks:-30}
for ((i = 0; i < ${#options[@]}; ++i)); do
    if [ "${options[$i]}" = --golden ]; then
        golden=${options[$((i + 1))]}
        ticks=$(sed -n 's/^ticks \([0-9][0-9]*\)$/\1/p' "$golden" | head -1)
    fi
done
[ -n "$image" ] || build_image
objects=()
for source in "${sources[@]}"; do
    case "$source" in *.rc|*.RC) ;; *) objects+=(--effect-object "$(basename "$source").obj") ;; esac
done
relay="$build/wine-relay.txt"
echo "check-effect.sh: $(basename "$image") full screen under wine64, its calls in Wine's relay trace ($relay)"
trace_under_wine "$ticks" "$relay"
"$build/${name}_check" --name "$name" --golden-ticks "$ticks" "${options[@]}" \
    --wine "$relay" --link-map "$map" "${objects[@]}"
