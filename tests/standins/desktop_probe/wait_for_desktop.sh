#!/bin/sh
# Makes the test bed's desktop usable before any suite starts:
#   wait_for_desktop.sh WINE_EXEC PROBE_EXE [SECONDS]
# Wine starts its desktop process on the first window of a fresh prefix, and that first start is
# slow. Every Wine process alive from before it completed - even one without user32 - keeps the
# desktop unusable (MessageBoxW returns -1) for all processes until it exits; once one start has
# completed, later processes are fine. So each try is a separate Wine process started from here.
wine_exec=${1:?wine-exec path}
probe=${2:?probe path}
seconds=${3:-60}
end=$(( $(date +%s) + seconds ))
while [ "$(date +%s)" -lt "$end" ]; do
    "$wine_exec" "$probe" </dev/null >/dev/null 2>&1 && exit 0
    sleep 2  # lets the failed start's desktop process go away first
done
echo "wait_for_desktop: no usable desktop after ${seconds} s" >&2
exit 1
