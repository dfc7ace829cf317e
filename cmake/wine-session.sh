#!/usr/bin/env bash
# A Wine session for one build tree: its own prefix, a virtual X display and a persistent
# wineserver, so that Windows test programs start in a fraction of a second.
#
#   wine-session.sh up   BUILD_DIR                 create the prefix once, start display and server
#   wine-session.sh run  BUILD_DIR PROGRAM [ARGS]  run a Windows program in that session
#   wine-session.sh down BUILD_DIR                 stop what `up` started
#
# With QUILLRUN_SERVER_TRACE=FILE, `up` starts a server that traces every request into FILE.
#
# The prefix shows every window inside one Wine virtual desktop, where Wine itself manages
# focus and activation as Windows does, independent of any X window manager.
set -euo pipefail

command=${1:?usage: wine-session.sh up|run|down BUILD_DIR [PROGRAM ARGS...]}
build=$(cd "${2:?build folder}" && pwd)
shift 2

state="$build/wine-session"
export WINEPREFIX="$build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installers: nothing here needs .NET or HTML.
export WINEDLLOVERRIDES="mscoree=;mshtml="
desktop_size=1280x800

wait_for() {  # wait_for SECONDS COMMAND...: polls until COMMAND succeeds
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

# The server's socket lives in a folder named after the prefix's device and inode, in hex, under
# /tmp/.wine-UID (Debian: a /tmp/wine-XXXXXX of the user's).
server_listening() {
    local folder
    folder="server-$(printf '%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")"
    compgen -G "/tmp/*wine-*/$folder/socket" >/dev/null
}

display_ready() { [[ -s "$state/display" ]] && [[ "$(tail -c1 "$state/display" | od -An -c)" == *'\n'* ]]; }

# Debian's Wine does not load the fonts of its own fonts-wine package, so that Tahoma (the
# dialog font) and Marlett (the caption buttons) are missing; copy them into the prefix. Then
# give Tahoma's font links a Japanese font, so that the browse button's caption renders: Windows
# finds glyphs a user-interface font lacks in the fonts linked to it. Wine rewrites those links
# whenever a program starts in another code page (the Japanese-locale tests do), always to a
# list that begins with "MSGOTHIC.TTC,MS UI Gothic"; so the Japanese font goes into the prefix
# under that file name, and the name "MS UI Gothic" is made to stand for it by a replacement,
# which Wine leaves alone.
install_fonts() {
    local fonts="$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
    local japanese=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
    [[ -f "$japanese" ]] || return 0
    cp "$japanese" "$fonts/MSGOTHIC.TTC"
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAGothic /f \
        >/dev/null 2>&1
}

create_prefix() {
    local ready="$WINEPREFIX/.quillrun-ready-3"  # bumped whenever the prefix's set-up changes
    [[ -f "$ready" ]] && return 0
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$desktop_size" /f >/dev/null 2>&1
    install_fonts
    wineserver -w
    touch "$ready"
}

up() {
    down_quietly
    mkdir -p "$state"
    create_prefix
    : >"$state/display"
    setsid Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$state/display" \
        </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    wait_for 30 display_ready || { echo "Xvfb did not start" >&2; cat "$state/xvfb.log" >&2; exit 1; }
    export DISPLAY=":$(head -n1 "$state/display")"
    # Persistent for the whole test run. Its output must not hold the test runner's pipes open.
    if [[ -n "${QUILLRUN_SERVER_TRACE:-}" ]]; then
        # Every request to the server, by thread, written to that file (the benchmark's counts).
        # In the foreground (-f) the server does not detach, so it is put in the background,
        # and wine must not start a server of its own before this one is listening.
        setsid wineserver -f -d1 -p </dev/null >/dev/null 2>"$QUILLRUN_SERVER_TRACE" &
        wait_for 30 server_listening || { echo "the traced wineserver did not start" >&2; exit 1; }
    else
        wineserver -p </dev/null >/dev/null 2>&1
    fi
    # The first program of a session starts the virtual desktop, which then lives on with that
    # program's output: start it here, and keep it up for the whole session.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    local keeper="$build/bin/qr_driver.exe"
    if [[ -f "$keeper" ]]; then
        setsid wine "$keeper" keep-desktop </dev/null >/dev/null 2>&1 &
    fi
    echo "wine session ready on display $DISPLAY"
}

down_quietly() {
    if [[ -d "$WINEPREFIX" ]]; then
        wineserver -k >/dev/null 2>&1 || true
    fi
    if [[ -f "$state/xvfb.pid" ]]; then
        kill "$(cat "$state/xvfb.pid")" >/dev/null 2>&1 || true
        rm -f "$state/xvfb.pid"
    fi
}

case "$command" in
    up) up ;;
    down) down_quietly; echo "wine session stopped" ;;
    run)
        [[ -f "$state/display" ]] || { echo "no wine session: run '$0 up $build' first" >&2; exit 1; }
        export DISPLAY=":$(head -n1 "$state/display")"
        exec wine "$@"
        ;;
    *) echo "unknown command: $command" >&2; exit 2 ;;
esac
