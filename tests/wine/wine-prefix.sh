# Sourced by the end-to-end run, the benchmark and scripts/run.sh: the Wine environment of this
# project. Prepares a fresh 64-bit prefix under the build folder once (a stamp marks it ready); the
# 32-bit loader runs PE32 images in the same prefix.
#   wine_prefix_prepare <build folder>
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/i386-support.sh"
WINE64_LOADER=/usr/lib/wine/wine64
WINE32_LOADER=/usr/lib/wine/wine
WINE_LOADER=$WINE64_LOADER
WINE_SERVER=/usr/lib/wine/wineserver
# The stamp carries a version: a change in what the prefix must hold makes a new one.
WINE_PREFIX_STAMP_VERSION=2

# Program names the prefix gives a Windows version of their own ("name=version"): the 95 family
# for saver95.scr, and one name per version for the version matrix of the end-to-end run.
WINE_VERSION_NAMES=(saver95.scr=win95)
for version in win95 win98 winme nt40 win2k winxp win7 win10; do
    WINE_VERSION_NAMES+=("saver-$version.scr=$version")
done
unset version
# Program names to which the prefix refuses msvcrt.dll, for the end-to-end run's look at what the
# loader needs for each image.
WINE_NO_MSVCRT_NAMES=(crt-canary.exe nocrt-saver.scr)

# What a prefix made now is made with: the stamp's version, and whether 32-bit programs run. One
# made while they could not has no 32-bit system DLLs (C:\windows\syswow64 stays empty) and every
# 32-bit program fails in it ("could not load kernel32.dll"), so it is made again once they run.
wine_prefix_made_with() {
    if [ "$(i386_mode)" = none ]; then
        echo "$WINE_PREFIX_STAMP_VERSION without 32-bit programs"
    else
        echo "$WINE_PREFIX_STAMP_VERSION with 32-bit programs"
    fi
}

wine_prefix_prepare() {
    # Wine takes only an absolute prefix, and regedit reads the settings through a Windows path.
    local folder
    folder=$(realpath -m "$1")
    export WINEPREFIX="$folder/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    local stamp="$WINEPREFIX/.saver-prefix-ready" made
    made=$(wine_prefix_made_with)
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$made" ]; then
        return 0
    fi
    local started=$SECONDS
    rm -rf "$WINEPREFIX"
    mkdir -p "$folder"
    "$WINE64_LOADER" wineboot -i </dev/null >/dev/null 2>&1 || true
    # All settings in one file for regedit: one process instead of one per value.
    local settings="$folder/wineprefix-settings.reg" entry software
    {
        echo 'REGEDIT4'
        # Without a window manager every hide or destroy of a top-level window waits 2 s for one,
        # unless Wine manages none of them.
        printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
        # An unhandled exception must not start Wine's debugger: a debugger that cannot start
        # makes UnhandledExceptionFilter answer "execute the handler" at once. A 32-bit process
        # reads the 32-bit view of the machine's software settings.
        for software in 'Software' 'Software\Wow6432Node'; do
            printf '\n[HKEY_LOCAL_MACHINE\\%s\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug]\n' \
                "$software"
            printf '"Debugger"="no-such-debugger.exe"\n"Auto"="1"\n'
        done
        # The same program under another name runs as another Windows.
        for entry in "${WINE_VERSION_NAMES[@]}"; do
            printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]\n"Version"="%s"\n' \
                "${entry%%=*}" "${entry#*=}"
        done
        # An empty override refuses the DLL.
        for entry in "${WINE_NO_MSVCRT_NAMES[@]}"; do
            printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\DllOverrides]\n"msvcrt"=""\n' \
                "$entry"
        done
    } >"$settings"
    # Whether it took is asked below: a failure here must reach that word, not end the caller.
    "$WINE64_LOADER" regedit /S "$(sed 's|/|\\|g; s|^|Z:|' <<<"$settings")" </dev/null >/dev/null 2>&1 || true
    "$WINE_SERVER" -w
    if "$WINE64_LOADER" reg query 'HKCU\Software\Wine\AppDefaults\saver-win10.scr' /v Version \
        2>/dev/null | grep -q win10; then
        echo "$made" >"$stamp"
        echo "wine prefix: prepared $WINEPREFIX in $((SECONDS - started)) s"
    else
        echo "wine prefix: could not prepare $WINEPREFIX" >&2
        return 1
    fi
    "$WINE_SERVER" -k 2>/dev/null || true
}

XVFB_PID=
XEPHYR_PID=

# Ends this prefix's Wine processes and the virtual display, if one was started: for an EXIT trap,
# or before another display is started.
stop_wine_and_display() {
    "$WINE_SERVER" -k 2>/dev/null || true
    if [ -n "$XEPHYR_PID" ]; then
        kill "$XEPHYR_PID" 2>/dev/null || true
        wait "$XEPHYR_PID" 2>/dev/null || true
        XEPHYR_PID=
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}

# Runs an X server (the command given; -displayfd is added) and waits until it serves clients.
# The server picks a free display number itself and takes its lock atomically, so runs side by
# side never share a display, nor adopt another run's server. Sets the two variables named to
# the server's process and its display (":N").
#   start_x_server PID_VARIABLE DISPLAY_VARIABLE COMMAND...
start_x_server() {
    local pid_variable=$1 display_variable=$2 folder number=
    shift 2
    folder=$(mktemp -d) || return 1
    mkfifo "$folder/display" || { rm -rf "$folder"; return 1; }
    "$@" -displayfd 3 3>"$folder/display" >/dev/null 2>&1 &
    printf -v "$pid_variable" %s "$!"
    # The server writes its number once it listens; it closes the pipe unwritten if it dies.
    read -r -t 20 number <"$folder/display" || true
    rm -rf "$folder"
    if [[ "$number" =~ ^[0-9]+$ ]]; then
        printf -v "$display_variable" %s ":$number"
        return 0
    fi
    kill "${!pid_variable}" 2>/dev/null || true
    wait "${!pid_variable}" 2>/dev/null || true
    printf -v "$pid_variable" %s ""
    return 1
}

# Starts Xvfb on a display it picks, with a screen of the size given (1024x768 by default); sets
# DISPLAY and XVFB_PID.
start_virtual_display() {
    local size=${1:-1024x768}
    if start_x_server XVFB_PID DISPLAY Xvfb -screen 0 "${size}x24" -nolisten tcp -noreset; then
        export DISPLAY
        return 0
    fi
    echo "could not start Xvfb" >&2
    return 1
}

# Two monitors side by side, the primary 1024x768 at 0,0 and a second 640x480 at 1024,0: Xephyr's
# Xinerama heads, inside an Xvfb that holds both (Xvfb's own heads all sit at 0,0). Wine sees two
# only where its X11 driver takes the monitors from Xinerama (wine_prefix_use_xinerama); through
# XRandR it sees Xephyr as one screen of the primary's size. Sets DISPLAY, XVFB_PID, XEPHYR_PID.
TWO_MONITORS_SCREEN=1664x768
start_two_monitor_display() {
    start_virtual_display "$TWO_MONITORS_SCREEN" || return 1
    if start_x_server XEPHYR_PID DISPLAY Xephyr +xinerama -screen 1024x768+0+0 -screen 640x480+1024+0 \
        -nolisten tcp -noreset; then
        export DISPLAY
        return 0
    fi
    echo "could not start Xephyr (scripts/setup.sh installs it)" >&2
    return 1
}

# Makes the prepared prefix's X11 driver take the monitors from Xinerama instead of XRandR.
wine_prefix_use_xinerama() {
    "$WINE64_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f </dev/null >/dev/null 2>&1
    "$WINE_SERVER" -w
}
