# Sourced by the end-to-end run and by scripts/run.sh: the Wine environment of this project.
# Prepares a fresh prefix under the build folder once (a stamp marks it ready).
#   wine_prefix_prepare <build folder>
WINE_LOADER=/usr/lib/wine/wine64
WINE_SERVER=/usr/lib/wine/wineserver
# The stamp carries a version: a change in what the prefix must hold makes a new one.
WINE_PREFIX_STAMP_VERSION=1

wine_prefix_prepare() {
    export WINEPREFIX="$1/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    local stamp="$WINEPREFIX/.saver-prefix-ready"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$WINE_PREFIX_STAMP_VERSION" ]; then
        return 0
    fi
    local started=$SECONDS
    rm -rf "$WINEPREFIX"
    mkdir -p "$1"
    "$WINE_LOADER" wineboot -i </dev/null >/dev/null 2>&1 || true
    local reg=("$WINE_LOADER" reg add)
    # Without a window manager every hide or destroy of a top-level window waits 2 s for one,
    # unless Wine manages none of them.
    "${reg[@]}" 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # An unhandled exception must not start Wine's debugger: a debugger that cannot start makes
    # UnhandledExceptionFilter answer "execute the handler" at once.
    "${reg[@]}" 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ \
        /d 'no-such-debugger.exe' /f >/dev/null 2>&1
    "${reg[@]}" 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ \
        /d 1 /f >/dev/null 2>&1
    # The same program under another name runs as the Windows 95 family.
    "${reg[@]}" 'HKCU\Software\Wine\AppDefaults\saver95.scr' /v Version /t REG_SZ /d win95 /f \
        >/dev/null 2>&1
    "$WINE_SERVER" -w
    if "$WINE_LOADER" reg query 'HKCU\Software\Wine\AppDefaults\saver95.scr' /v Version 2>/dev/null \
        | grep -q win95; then
        echo "$WINE_PREFIX_STAMP_VERSION" >"$stamp"
        echo "wine prefix: prepared $WINEPREFIX in $((SECONDS - started)) s"
    else
        echo "wine prefix: could not prepare $WINEPREFIX" >&2
        return 1
    fi
    "$WINE_SERVER" -k 2>/dev/null || true
}

XVFB_PID=

# Ends this prefix's Wine processes and the virtual display, if one was started: for an EXIT trap.
stop_wine_and_display() {
    "$WINE_SERVER" -k 2>/dev/null || true
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
}

# Starts Xvfb on a free display; sets DISPLAY and XVFB_PID.
start_virtual_display() {
    local n
    for n in $(seq 91 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
        XVFB_PID=$!
        local tries
        for tries in $(seq 1 50); do
            if DISPLAY=":$n" xdotool getmouselocation >/dev/null 2>&1; then
                export DISPLAY=":$n"
                return 0
            fi
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    done
    echo "could not start Xvfb" >&2
    return 1
}
