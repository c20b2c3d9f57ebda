#!/usr/bin/env bash
# End-to-end checks of the halvorine executable on a virtual X display (Xvfb, Mesa llvmpipe).
#
#   end_to_end.sh HALVORINE windows   modes, windows, input, signals, hosts (no GL needed: the
#                                     saver runs with HALVORINE_RENDERER=null)
#   end_to_end.sh HALVORINE drawing   the show reaches the screen (needs an OpenGL device)
#   end_to_end.sh HALVORINE busy      prompt ends while two busy loops keep both cores busy
#   end_to_end.sh HALVORINE monitors  two monitors joined by Xinerama
#
# Exits 77 (skipped) when xvfb-run or the X tools are missing, and for "drawing" when the saver
# cannot create its device here. Every wait polls with a deadline; nothing sleeps blindly.
set -uo pipefail

# shellcheck source=tests/shell/x_helpers.sh
source "$(dirname "$0")/x_helpers.sh"

saver=$1
group=$2

if [ -z "${HALV_E2E_DISPLAY:-}" ]; then
    for tool in xvfb-run xdotool xwininfo xprop xmessage xev import; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool is not installed (scripts/install-deps installs it)"
            exit 77
        fi
    done
    export HALV_E2E_DISPLAY=1
    screens="-screen 0 1280x1024x24"
    if [ "$group" = monitors ]; then
        # Xvfb puts every screen's head at the origin: the second monitor is a smaller one
        # showing the top left part of the first, as a mirrored projector would.
        screens="-screen 0 800x600x24 -screen 1 640x480x24 +xinerama"
    fi
    # xvfb-run -a picks the first display number without a lock file, which races with other
    # xvfb-runs starting at the same moment (the default start is 99); start the search
    # somewhere else. Without -noreset the server resets whenever its last client leaves, and a
    # client connecting during the reset is refused.
    exec xvfb-run -a -n $((200 + RANDOM % 600)) -s "$screens -nolisten tcp -noreset" "$0" "$@"
fi

work=$(mktemp -d)
failures=0
started_pids=()
busy_pids=()

trap cleanup EXIT

fail() {
    echo "FAIL [$case_name]: $*"
    failures=$((failures + 1))
}

# True when no window named $1 is left $2 ms from now at the latest: a saver whose orderly end
# took too long is killed, and the server drops its windows a moment after.
no_window_within() {
    local deadline=$(($(now_ms) + $2))
    while [ -n "$(find_window "$1")" ]; do
        if [ "$(now_ms)" -ge "$deadline" ]; then
            return 1
        fi
        sleep 0.02
    done
}

# Waits up to $2 ms for window $1 to be viewable.
wait_for_window_id() {
    local deadline=$(($(now_ms) + $2))
    until viewable "$1"; do
        if [ "$(now_ms)" -ge "$deadline" ]; then
            return 1
        fi
        sleep 0.02
    done
}

geometry() {
    local info
    info=$(xwininfo -id "$1")
    printf '%sx%s+%s+%s\n' \
        "$(awk '/Width:/ {print $2}' <<<"$info")" "$(awk '/Height:/ {print $2}' <<<"$info")" \
        "$(awk '/Absolute upper-left X:/ {print $4}' <<<"$info")" \
        "$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$info")"
}

# Starts the saver in the background: start_saver NAME [env...] -- args...
start_saver() {
    local name=$1
    shift
    local environment=()
    while [ "$1" != "--" ]; do
        environment+=("$1")
        shift
    done
    shift
    env "${environment[@]}" "$saver" "$@" >"$work/$name.out" 2>"$work/$name.err" &
    saver_pid=$!
    saver_err="$work/$name.err"
    started_pids+=("$saver_pid")
}

# Waits up to $2 ms for window $1 to leave the screen (unmapped or destroyed).
wait_gone() {
    local deadline=$(($(now_ms) + $2))
    while viewable "$1"; do
        if [ "$(now_ms)" -ge "$deadline" ]; then
            return 1
        fi
        sleep 0.01
    done
}

# Waits up to $2 ms for process $1 to end and sets exit_code; 124 when it did not end.
wait_exit() {
    local pid=$1 deadline=$(($(now_ms) + $2))
    while kill -0 "$pid" 2>/dev/null; do
        if [ "$(now_ms)" -ge "$deadline" ]; then
            kill -KILL "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
            exit_code=124
            return 1
        fi
        sleep 0.02
    done
    wait "$pid"
    exit_code=$?
}

# True when process $1 is still running $2 ms from now.
stays_running() {
    local pid=$1 deadline=$(($(now_ms) + $2))
    while [ "$(now_ms)" -lt "$deadline" ]; do
        if ! kill -0 "$pid" 2>/dev/null; then
            return 1
        fi
        sleep 0.05
    done
}

# Waits up to $2 ms for process $1 to end with code 0; $3 names its output file, shown on failure.
expect_exit_zero() {
    if ! wait_exit "$1" "$2"; then
        fail "did not end within $2 ms"
    elif [ "$exit_code" -ne 0 ]; then
        fail "exit code $exit_code"
        if [ -n "${3:-}" ]; then
            tail -n 40 "$3"
        fi
    fi
}

# A window of another program, named $1, of size $2 at (20, 20). Sets host_id and host_pid;
# false when it does not appear. A preview host is an xmessage window (its widgets cover it,
# but it lets children map); the XScreenSaver window is xev's, which is bare where the saver
# draws (xev redirects its children's mapping, so it cannot host a preview).
start_host() {
    if [ "$3" = preview ]; then
        xmessage -title "$1" -geometry "$2+20+20" host >/dev/null 2>"$work/host.err" &
    else
        xev -name "$1" -geometry "$2+20+20" >/dev/null 2>"$work/host.err" &
    fi
    host_pid=$!
    started_pids+=("$host_pid")
    host_id=$(wait_for_window "$1" 10000)
}

# The mean grey (0-255, whole number) of the size x size square centred on ($3, $4) of image $1;
# $2 is the square's size.
mean_grey() {
    local half=$(($2 / 2))
    convert "$1" -crop "$2x$2+$(($3 - half))+$(($4 - half))" -colorspace gray \
        -format '%[fx:round(mean*255)]' info: 2>/dev/null
}

# The number of pixels brighter than 35% grey in the w x h rectangle at (x, y) of image $1.
bright_pixels() {
    convert "$1" -crop "$2x$3+$4+$5" -colorspace gray -threshold 35% \
        -format '%[fx:round(mean*w*h)]' info: 2>/dev/null
}

# What the first shot shows in the client area w x h at (x, y) of screenshot $1: the planet
# around where the projection puts (-2, -1, 10), 0.319 of the width across and 0.621 of the
# height down; the station around (9.5, 3.5, 38.8), at 0.722 and 0.391; stars in the empty sky
# at the top left (only where the area is large enough to count them). The sky between them is
# nearly black, the lit bodies clearly brighter. Sets `seen` to what was measured.
shows_first_shot() {
    local file=$1 x=$2 y=$3 w=$4 h=$5 planet station sky stars box
    box=$((w * 41 / 1024 + 1))
    planet=$(mean_grey "$file" "$box" $((x + w * 319 / 1000)) $((y + h * 621 / 1000)))
    station=$(mean_grey "$file" $((box / 2 + 1)) $((x + w * 722 / 1000)) $((y + h * 391 / 1000)))
    sky=$(mean_grey "$file" "$box" $((x + w * 586 / 1000)) $((y + h * 677 / 1000)))
    seen="planet $planet, station $station, sky $sky"
    [ -n "$planet" ] && [ -n "$station" ] && [ -n "$sky" ] || return 1
    [ "$planet" -ge 12 ] && [ "$station" -ge 12 ] && [ "$sky" -le 6 ] || return 1
    if [ "$w" -ge 640 ]; then
        stars=$(bright_pixels "$file" $((w * 3 / 10)) $((h * 2 / 10)) $((x + w / 50)) $((y + h / 40)))
        seen="$seen, stars $stars"
        [ -n "$stars" ] && [ "$stars" -ge 10 ] || return 1
    fi
}

# Waits up to $5 ms for the client area w x h at (x, y) ($1..$4) of the screen to show the
# first shot. On failure the last screenshot is kept as $6 (a path) and `seen` says why.
wait_for_first_shot() {
    local deadline=$(($(now_ms) + $5))
    while [ "$(now_ms)" -lt "$deadline" ]; do
        import -window root "$work/screen.png" 2>/dev/null
        if shows_first_shot "$work/screen.png" "$1" "$2" "$3" "$4"; then
            return 0
        fi
        sleep 0.1
    done
    cp "$work/screen.png" "$6" 2>/dev/null
    return 1
}

windows_cases() {
    local id pid start shown width height x y icon children

    case_name="configure without display"
    env -u DISPLAY -u WAYLAND_DISPLAY "$saver" /c >"$work/c.out" 2>&1
    exit_code=$?
    [ "$exit_code" -eq 0 ] || fail "exit code $exit_code"
    grep -qx "Screen Saver Settings: This screen saver has no options that you can set." \
        "$work/c.out" || fail "configure text: $(cat "$work/c.out")"
    env -u DISPLAY -u WAYLAND_DISPLAY LANG=de_DE.UTF-8 LC_ALL= LC_MESSAGES= "$saver" >"$work/c.out" 2>&1
    grep -qx "Screen Saver Settings: Der Bildschirmschoner verfügt über keine einstellbaren Optionen." \
        "$work/c.out" || fail "German configure text: $(cat "$work/c.out")"

    case_name="configure dialog"
    start_saver configure HALVORINE_DEBUG=1 -- -c 123
    if id=$(wait_for_window "Screen Saver Settings" 10000); then
        # No window manager gives focus: the key goes to the window under the pointer.
        read -r width height x y < <(geometry "$id" | tr 'x+' '  ')
        xdotool mousemove $((x + width / 2)) $((y + height / 2)) key Return
        expect_exit_zero "$saver_pid" 2000 "$saver_err"
    else
        fail "no dialog: $(cat "$work/configure.out" "$work/configure.err")"
    fi

    case_name="test window"
    start_saver test HALVORINE_RENDERER=null -- /t
    if id=$(wait_for_window "QLX Halvorine" 10000); then
        [ "$(geometry "$id")" = "1024x768+128+128" ] || fail "geometry $(geometry "$id")"
        # Read whole first: grep -q would close the pipe early and fail the pipeline.
        icon=$(xprop -id "$id" _NET_WM_ICON)
        grep -q "Icon (48 x 48)" <<<"$icon" || fail "no 48x48 icon"
        xdotool mousemove 640 512 key Escape
        expect_exit_zero "$saver_pid" 2000 "$saver_err"
        no_window_within "QLX Halvorine" 1000 || fail "window left behind"
    else
        fail "no test window"
    fi

    case_name="mouse"
    start_saver mouse HALVORINE_RENDERER=null -- /t
    if wait_for_window "QLX Halvorine" 10000 >/dev/null; then
        xdotool mousemove 300 300
        stays_running "$saver_pid" 500 || fail "one move ended it"
        for step in 1 2 3 4 5; do
            xdotool mousemove $((300 + 10 * step)) 300
            sleep 0.05
        done
        expect_exit_zero "$saver_pid" 2000 "$saver_err"
    else
        fail "no test window"
    fi

    case_name="full screen and SIGTERM"
    start_saver full HALVORINE_RENDERER=null -- /s
    if id=$(wait_for_window "QLX Halvorine" 10000); then
        [ "$(geometry "$id")" = "1280x1024+0+0" ] || fail "geometry $(geometry "$id")"
        kill -TERM "$saver_pid"
        expect_exit_zero "$saver_pid" 2000 "$saver_err"
    else
        fail "no full-screen window"
    fi

    case_name="SIGINT"
    start_saver interrupt HALVORINE_RENDERER=null -- /t
    if wait_for_window "QLX Halvorine" 10000 >/dev/null; then
        kill -INT "$saver_pid"
        expect_exit_zero "$saver_pid" 2000 "$saver_err"
    else
        fail "no test window"
    fi

    case_name="SIGHUP"
    start_saver hangup HALVORINE_RENDERER=null -- /t
    if wait_for_window "QLX Halvorine" 10000 >/dev/null; then
        kill -HUP "$saver_pid"
        expect_exit_zero "$saver_pid" 1000 "$saver_err"
    else
        fail "no test window"
    fi

    case_name="test window destroyed from outside"
    start_saver closed HALVORINE_RENDERER=null -- /t
    if id=$(wait_for_window "QLX Halvorine" 10000); then
        xdotool windowclose "$id"
        expect_exit_zero "$saver_pid" 1000 "$saver_err"
    else
        fail "no test window"
    fi

    case_name="full-screen window destroyed from outside"
    start_saver closedfull HALVORINE_RENDERER=null -- /s
    if id=$(wait_for_window "QLX Halvorine" 10000); then
        xdotool windowclose "$id"
        expect_exit_zero "$saver_pid" 1000 "$saver_err"
    else
        fail "no full-screen window"
    fi

    case_name="SIGTERM while the configure dialog is open"
    start_saver configureterm -- /c
    if wait_for_window "Screen Saver Settings" 10000 >/dev/null; then
        kill -TERM "$saver_pid"
        expect_exit_zero "$saver_pid" 1000 "$saver_err"
        no_window_within "Screen Saver Settings" 1000 || fail "dialog left behind"
    else
        fail "no dialog: $(cat "$work/configureterm.err")"
    fi

    case_name="preview"
    if start_host "halv preview host" 320x240 preview; then
        start=$(now_ms)
        start_saver preview HALVORINE_RENDERER=null -- /p "$((host_id))"
        if wait_for_window "QLX Halvorine" 10000 >/dev/null; then
            shown=$(now_ms)
            [ $((shown - start)) -ge 450 ] || fail "preview shown after $((shown - start)) ms"
            # A child of the host filling its client area.
            children=$(xwininfo -id "$host_id" -children)
            grep -qE '"QLX Halvorine":.* 320x240\+0\+0 ' <<<"$children" ||
                fail "not a 320x240 child at (0, 0): $children"
            kill "$host_pid"
            expect_exit_zero "$saver_pid" 2000 "$saver_err"
        else
            fail "no preview child"
        fi
    else
        fail "no host window"
    fi

    case_name="no window"
    for args in "/p" "/p 12345" "/a 1234"; do
        # shellcheck disable=SC2086
        start_saver nowindow HALVORINE_RENDERER=null -- $args
        expect_exit_zero "$saver_pid" 2000 "$saver_err"
        [ -z "$(find_window "QLX Halvorine")" ] || fail "$args made a window"
    done

    case_name="xscreensaver"
    if start_host "halv xscreensaver host" 400x300 xscreensaver; then
        # As the daemon runs a hack: through /bin/sh, upper-case hex id, --root.
        XSCREENSAVER_WINDOW=$(printf '0x%X' "$host_id") HALVORINE_RENDERER=null \
            /bin/sh -c "exec '$saver' --root" >"$work/xss.out" 2>&1 &
        pid=$!
        started_pids+=("$pid")
        stays_running "$pid" 1000 || fail "ended by itself"
        [ -z "$(find_window "QLX Halvorine")" ] || fail "made a window of its own"
        kill -TERM "$pid"
        expect_exit_zero "$pid" 2000 "$work/xss.out"
        # The settings dialog's preview adds --window-id, which wins over the environment.
        XSCREENSAVER_WINDOW=0x1 HALVORINE_RENDERER=null \
            "$saver" --root --window-id "$(printf '0x%x' "$host_id")" >"$work/xss.out" 2>&1 &
        pid=$!
        started_pids+=("$pid")
        stays_running "$pid" 500 || fail "--window-id: ended by itself"
        kill "$host_pid"
        expect_exit_zero "$pid" 2000 "$work/xss.out"
    else
        fail "no host window"
    fi
}

drawing_cases() {
    local id pid start x y width height
    local keep=${TMPDIR:-/tmp}/halvorine-e2e

    case_name="test window shows the show"
    # Without a device the saver says so on the debug channel and ends; the window shows
    # briefly before that, so wait for the window and then for the picture or the end.
    start=$(now_ms)
    start_saver probe HALVORINE_DEBUG=1 -- /t
    if ! id=$(wait_for_window "QLX Halvorine" 10000); then
        if grep -q "CreateDevice failed" "$work/probe.err"; then
            echo "SKIP: the saver cannot create its device here: $(cat "$work/probe.err")"
            exit 77
        fi
        fail "no test window: $(cat "$work/probe.err")"
        return
    fi
    read -r width height x y < <(geometry "$id" | tr 'x+' '  ')
    if ! wait_for_first_shot "$x" "$y" "$width" "$height" 15000 "$keep-test.png"; then
        if ! kill -0 "$saver_pid" 2>/dev/null && grep -q "CreateDevice failed" "$work/probe.err"; then
            echo "SKIP: the saver cannot create its device here: $(cat "$work/probe.err")"
            exit 77
        fi
        fail "the first shot is not on the screen ($seen); screenshot in $keep-test.png"
    fi
    # Three seconds of the show in all, then a key ends it.
    stays_running "$saver_pid" $((start + 3000 - $(now_ms))) || fail "ended by itself"
    xdotool mousemove $((x + 10)) $((y + 10)) key Escape
    expect_exit_zero "$saver_pid" 3000 "$saver_err"

    case_name="xscreensaver window shows the show"
    if start_host "halv xscreensaver host" 400x300 xscreensaver; then
        XSCREENSAVER_WINDOW=$(printf '0x%X' "$host_id") /bin/sh -c "exec '$saver' --root" \
            >"$work/xss.out" 2>&1 &
        pid=$!
        started_pids+=("$pid")
        read -r width height x y < <(geometry "$host_id" | tr 'x+' '  ')
        wait_for_first_shot "$x" "$y" "$width" "$height" 15000 "$keep-xscreensaver.png" ||
            fail "not in the host window ($seen); screenshot in $keep-xscreensaver.png"
        kill -TERM "$pid"
        expect_exit_zero "$pid" 3000 "$work/xss.out"
        kill "$host_pid"
    else
        fail "no host window"
    fi

    case_name="preview shows the show"
    if start_host "halv preview host" 320x240 preview; then
        start_saver preview -- /p "$((host_id))"
        read -r width height x y < <(geometry "$host_id" | tr 'x+' '  ')
        wait_for_first_shot "$x" "$y" "$width" "$height" 15000 "$keep-preview.png" ||
            fail "not in the preview ($seen); screenshot in $keep-preview.png"
        kill "$host_pid"
        expect_exit_zero "$saver_pid" 3000 "$saver_err"
    else
        fail "no host window: $(cat "$work/host.err"; xwininfo -root -tree | grep -v 'has no name')"
    fi
}

# The figures for a busy machine: the saver's window off the screen and the process ended with
# code 0 within a second of a key press or SIGTERM, while two loops keep both cores busy.
busy_cases() {
    local id pid start mode

    for mode in /t /s; do
        case_name="$mode ends on a key on a busy machine"
        start_saver "busy${mode#/}" HALVORINE_RENDERER=null -- "$mode"
        if id=$(wait_for_window "QLX Halvorine" 10000); then
            start_busy_loops
            start=$(now_ms)
            xdotool mousemove 640 512 key Escape
            wait_gone "$id" 1000 || fail "window still shown after 1000 ms"
            expect_exit_zero "$saver_pid" $((start + 1000 - $(now_ms))) "$saver_err"
            echo "$case_name: ended after $(($(now_ms) - start)) ms"
            stop_busy_loops
        else
            fail "no window"
        fi

        case_name="$mode ends on SIGTERM on a busy machine"
        start_saver "busyterm${mode#/}" HALVORINE_RENDERER=null -- "$mode"
        if id=$(wait_for_window "QLX Halvorine" 10000); then
            start_busy_loops
            start=$(now_ms)
            kill -TERM "$saver_pid"
            expect_exit_zero "$saver_pid" 1000 "$saver_err"
            ! viewable "$id" || fail "window left on the screen"
            stop_busy_loops
        else
            fail "no window"
        fi
    done

    # Mouse movement while the saver itself is starved: only the watcher can see it.
    case_name="/t ends on mouse movement on a busy machine"
    start_busy_loops
    start_saver busymouse HALVORINE_RENDERER=null -- /t
    if id=$(wait_for_window "QLX Halvorine" 20000); then
        start=$(now_ms)
        for step in 1 2 3 4 5 6 7; do
            xdotool mousemove $((300 + 10 * step)) 300
            sleep 0.06
        done
        wait_gone "$id" 1000 || fail "window still shown 1000 ms after the movement began"
        expect_exit_zero "$saver_pid" $((start + 1500 - $(now_ms))) "$saver_err"
    else
        fail "no window"
    fi
    stop_busy_loops

    case_name="XScreenSaver's window: SIGTERM on a busy machine"
    if start_host "halv xscreensaver host" 400x300 xscreensaver; then
        XSCREENSAVER_WINDOW=$(printf '0x%X' "$host_id") HALVORINE_RENDERER=null \
            /bin/sh -c "exec '$saver' --root" >"$work/xss.out" 2>&1 &
        pid=$!
        started_pids+=("$pid")
        stays_running "$pid" 1000 || fail "ended by itself"
        start_busy_loops
        kill -TERM "$pid"
        expect_exit_zero "$pid" 1000 "$work/xss.out"
        viewable "$host_id" || fail "took the host's window off the screen"
        stop_busy_loops
        kill "$host_pid"
    else
        fail "no host window"
    fi
}

# Two monitors whose heads Xinerama places both at the origin: the show on the primary one at
# its size, a black window on the other beneath it, and a key ends both.
monitors_cases() {
    local ids show blank under deadline

    case_name="full screen on two monitors"
    start_saver monitors HALVORINE_RENDERER=null -- /s
    if wait_for_window "QLX Halvorine" 10000 >/dev/null; then
        # Both windows bear the saver's title; the top one is listed first. The black one comes
        # first, so wait for the second.
        deadline=$(($(now_ms) + 10000))
        while ids=$(xwininfo -root -children | awk '/"QLX Halvorine":/ {print $1}') &&
            [ "$(wc -l <<<"$ids")" -lt 2 ] && [ "$(now_ms)" -lt "$deadline" ]; do
            sleep 0.02
        done
        show=$(head -n 1 <<<"$ids")
        blank=$(sed -n 2p <<<"$ids")
        if [ "$(wc -l <<<"$ids")" -ne 2 ] || [ -z "$blank" ]; then
            fail "windows: $ids"
            return
        fi
        wait_for_window_id "$show" 10000 || fail "the show is not shown"
        [ "$(geometry "$show")" = "800x600+0+0" ] || fail "show at $(geometry "$show")"
        [ "$(geometry "$blank")" = "640x480+0+0" ] || fail "black window at $(geometry "$blank")"
        # The pointer's window is the topmost one under it: the show's.
        xdotool mousemove 100 100
        under=$(xdotool getmouselocation --shell | awk -F= '/^WINDOW=/ {print $2}')
        [ "$((under))" -eq "$((show))" ] || fail "window $under is above the show"
        xdotool key Escape
        expect_exit_zero "$saver_pid" 1000 "$saver_err"
        no_window_within "QLX Halvorine" 1000 || fail "window left behind"
    else
        fail "no full-screen window"
    fi
}

case "$group" in
windows) windows_cases ;;
drawing) drawing_cases ;;
busy) busy_cases ;;
monitors) monitors_cases ;;
*)
    echo "unknown group $group"
    exit 2
    ;;
esac

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all $group checks passed"
