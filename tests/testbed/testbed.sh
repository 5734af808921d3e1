#!/bin/bash
# The test bed: a throw-away Wine prefix with one long-lived wineserver, and a PulseAudio null
# sink that gives Wine one render and one capture endpoint. Everything lives under DIR and is
# stopped by pid (or by the prefix's own wineserver) on "stop".
#   testbed.sh start DIR | stop DIR
set -euo pipefail
action=${1:?usage: testbed.sh start|stop DIR}
dir=$(realpath -m "${2:?usage: testbed.sh start|stop DIR}")
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

# A caller's own WINEDLLOVERRIDES (set for one test, say) is kept beside the test bed's.
environment() {
    cat <<ENV
export WINEPREFIX='$dir/prefix'
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=\${WINEDLLOVERRIDES:+;\$WINEDLLOVERRIDES}"
export XDG_RUNTIME_DIR='$dir/run'
export HOME='$dir/home'
export WINESERVER='$wineserver'
ENV
}

stop() {
    [ -d "$dir" ] || return 0
    if [ -d "$dir/prefix" ]; then
        WINEPREFIX="$dir/prefix" timeout 20 "$wineserver" -k 2>/dev/null || true
        WINEPREFIX="$dir/prefix" timeout 20 "$wineserver" -w 2>/dev/null || true
    fi
    if [ -f "$dir/run/pulse/pid" ]; then
        local pid
        pid=$(cat "$dir/run/pulse/pid")
        kill "$pid" 2>/dev/null || true
        # A sound server still exiting would hold the socket the next start wants.
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$dir/env"
}

start() {
    stop
    rm -rf "$dir"
    mkdir -p "$dir/home" "$dir/run"
    chmod 700 "$dir/run"
    environment > "$dir/env.pending"
    . "$dir/env.pending"

    pulseaudio -n --daemonize=yes --exit-idle-time=-1 --log-target=file:"$dir/pulseaudio.log" \
        -L "module-null-sink sink_name=headset" -L module-native-protocol-unix \
        </dev/null >>"$dir/pulseaudio.log" 2>&1

    "$wine" wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
    # Null graphics driver: message boxes become real windows that wait for a click. Set before
    # the server restart below, so that no desktop process of the old driver outlives it (one
    # that does makes the first processes of the run fail to create any window, error 1400).
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >>"$dir/wineboot.log" 2>&1
    # wineboot can leave a second service manager behind that never sees services created
    # later: restart the server once, then keep one alive for the whole run.
    "$wineserver" -k || true
    "$wineserver" -w || true
    # Daemons must not hold the caller's output open, or CTest waits for them.
    "$wineserver" -p </dev/null >>"$dir/wineserver.log" 2>&1
    # Bring the desktop process up now, detached from the caller's output: the first program
    # that needs a window would otherwise start it with CTest's pipes inherited.
    "$wine" rundll32.exe user32.dll,GetDesktopWindow </dev/null >>"$dir/wineboot.log" 2>&1 || true
    mv "$dir/env.pending" "$dir/env"
}

# Says which step failed and what the logs said, so a CI log explains a failed start.
report_failure() {
    echo "testbed: start failed at line $1" >&2
    for log in "$dir"/pulseaudio.log "$dir"/wineboot.log "$dir"/wineserver.log; do
        [ -f "$log" ] && { echo "--- $log" >&2; tail -n 15 "$log" >&2; }
    done
}

case "$action" in
    start)
        # One retry in a fresh process: a start can trip over the remains of the previous run.
        bash "$0" start-once "$dir" || { echo "testbed: retrying the start once" >&2; bash "$0" start-once "$dir"; } ;;
    start-once)
        set -E
        trap 'report_failure $LINENO' ERR
        start ;;
    stop) stop ;;
    *) echo "usage: testbed.sh start|stop DIR" >&2; exit 2 ;;
esac
