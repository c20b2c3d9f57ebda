#!/usr/bin/env bash
# How fast the saver ends while two busy loops keep both cores busy, and how fast it draws on an
# idle display: on a virtual X display (Xvfb), the real executable.
#
#   exit_latency.sh BUILD_DIR [ROUNDS]
#
# For each way to end it (a key in the test window and full screen, SIGTERM in full screen and
# in XScreenSaver's window) it prints, over ROUNDS runs (5 by default), the milliseconds from the
# key or signal until the window left the screen and until the process had ended, as minimum,
# median and maximum. The times include starting xdotool on the busy machine. Then the frame rate
# of the show in the test window over ten seconds on the otherwise idle display (Mesa's llvmpipe where there
# is no GPU). Skips (exit 0) when Xvfb or the X tools are missing.
set -uo pipefail

# shellcheck source=tests/shell/x_helpers.sh
source "$(dirname "$0")/../../tests/shell/x_helpers.sh"

build=${1:-build}
rounds=${2:-5}
saver="$build/shell/halvorine"

if [ -z "${HALV_BENCH_DISPLAY:-}" ]; then
    for tool in xvfb-run xdotool xwininfo xev; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "exit_latency: $tool is not installed (scripts/install-deps installs it); skipped"
            exit 0
        fi
    done
    export HALV_BENCH_DISPLAY=1
    exec xvfb-run -a -n $((200 + RANDOM % 600)) \
        -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" "$@"
fi

work=$(mktemp -d)
started_pids=()
busy_pids=()

trap cleanup EXIT

# min, median and max of the numbers on standard input.
summary() {
    sort -n | awk '{v[NR] = $1} END {
        if (NR == 0) { print "no runs"; exit }
        printf "min %5d  median %5d  max %5d ms", v[1], v[int((NR + 1) / 2)], v[NR] }'
}

# One run: ends the saver (pid $1, window $2) by `$3` ("key" or "term") under load and appends
# the two latencies to $work/gone and $work/ended (-1 for more than 5 s).
measure() {
    local pid=$1 window=$2 how=$3 start gone=-1 ended=-1 deadline
    start_busy_loops
    sleep 0.5
    start=$(now_ms)
    if [ "$how" = key ]; then
        xdotool mousemove 640 512 key Escape
    else
        kill -TERM "$pid"
    fi
    deadline=$((start + 5000))
    while [ "$(now_ms)" -lt "$deadline" ]; do
        if [ "$gone" -lt 0 ] && ! viewable "$window"; then
            gone=$(($(now_ms) - start))
        fi
        if [ "$ended" -lt 0 ] && ! kill -0 "$pid" 2>/dev/null; then
            ended=$(($(now_ms) - start))
        fi
        if [ "$gone" -ge 0 ] && [ "$ended" -ge 0 ]; then
            break
        fi
        sleep 0.005
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    stop_busy_loops
    echo "$gone" >>"$work/gone"
    echo "$ended" >>"$work/ended"
}

report() {
    printf '%-38s window gone: %s   ended: %s\n' "$1" "$(summary <"$work/gone")" \
        "$(summary <"$work/ended")"
    rm -f "$work/gone" "$work/ended"
}

echo "Ending the saver while two busy loops keep both cores busy ($rounds runs each):"
for mode in /t /s; do
    for how in key term; do
        [ "$mode" = /t ] && [ "$how" = term ] && continue
        for _ in $(seq "$rounds"); do
            HALVORINE_RENDERER=null "$saver" "$mode" >/dev/null 2>&1 &
            pid=$!
            started_pids+=("$pid")
            if window=$(wait_for_window "QLX Halvorine" 10000); then
                measure "$pid" "$window" "$how"
            fi
        done
        report "$mode, $([ "$how" = key ] && echo "Escape" || echo "SIGTERM")"
    done
done

xev -name "halv bench host" -geometry 400x300+20+20 >/dev/null 2>&1 &
host_pid=$!
started_pids+=("$host_pid")
if host=$(wait_for_window "halv bench host" 10000); then
    for _ in $(seq "$rounds"); do
        XSCREENSAVER_WINDOW=$host HALVORINE_RENDERER=null "$saver" --root >/dev/null 2>&1 &
        pid=$!
        started_pids+=("$pid")
        sleep 0.5
        # The window is XScreenSaver's and stays: only the end of the process counts.
        measure "$pid" "$host" term
    done
    printf '%-38s ended: %s\n' "XScreenSaver's window, SIGTERM" "$(summary <"$work/ended")"
    rm -f "$work/gone" "$work/ended"
fi
kill "$host_pid" 2>/dev/null

echo "Drawing on the idle display:"
HALVORINE_DEBUG=1 "$saver" /t >/dev/null 2>"$work/frames.err" &
pid=$!
started_pids+=("$pid")
if wait_for_window "QLX Halvorine" 10000 >/dev/null; then
    sleep 10
    xdotool mousemove 640 512 key Escape
    wait "$pid"
    # The last report the saver made (every five seconds and at the end).
    grep "frames in" "$work/frames.err" | tail -n 1 |
        awk '{printf "test window, 1024x768: %d frames in %.1f s: %.1f frames per second\n",
            $2, $5 / 1000, $2 * 1000 / $5}'
fi
