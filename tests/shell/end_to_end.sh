#!/usr/bin/env bash
# End-to-end checks of the halvorine executable on a virtual X display (Xvfb, Mesa llvmpipe).
#
#   end_to_end.sh HALVORINE windows   modes, windows, input, signals, hosts (no GL needed: the
#                                     saver runs with HALVORINE_RENDERER=null)
#   end_to_end.sh HALVORINE drawing   frames reach the screen (needs an OpenGL device)
#
# Exits 77 (skipped) when xvfb-run or the X tools are missing, and for "drawing" when the saver
# cannot create its device here. Every wait polls with a deadline; nothing sleeps blindly.
set -uo pipefail

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
    # xvfb-run -a picks the first display number without a lock file, which races with other
    # xvfb-runs starting at the same moment (the default start is 99); start the search
    # somewhere else. Without -noreset the server resets whenever its last client leaves, and a
    # client connecting during the reset is refused.
    exec xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" \
        "$0" "$@"
fi

work=$(mktemp -d)
failures=0
started_pids=()

cleanup() {
    for pid in "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL [$case_name]: $*"
    failures=$((failures + 1))
}

now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

# The id of the first window (at any depth) with this exact name, or nothing.
find_window() {
    xwininfo -root -tree 2>/dev/null | awk -v name="\"$1\":" 'index($0, name) && !found {print $1; found = 1}'
}

viewable() {
    [[ "$(xwininfo -id "$1" 2>/dev/null)" == *"Map State: IsViewable"* ]]
}

# Waits up to $2 ms for a viewable window named $1 and prints its id.
wait_for_window() {
    local name=$1 deadline=$(($(now_ms) + $2)) id
    while [ "$(now_ms)" -lt "$deadline" ]; do
        id=$(find_window "$name")
        if [ -n "$id" ] && viewable "$id"; then
            echo "$id"
            return 0
        fi
        sleep 0.02
    done
    return 1
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

pixel_at() {
    import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}'
}

# Waits up to $3 ms for the screen pixel at ($1, $2) to be the dark blue the saver clears to.
wait_for_dark_blue() {
    local deadline=$(($(now_ms) + $3)) seen
    while [ "$(now_ms)" -lt "$deadline" ]; do
        seen=$(pixel_at "$1" "$2")
        if [ "$seen" = "#000064" ]; then
            return 0
        fi
        sleep 0.05
    done
    echo "pixel at $1,$2 is $seen" >&2
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
        [ -z "$(find_window "QLX Halvorine")" ] || fail "window left behind"
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
    local deadline pid

    case_name="test window draws dark blue"
    # The stand-in scene reports a device it cannot create on the debug channel; the window
    # shows briefly before that, so wait for either the colour or the end.
    start_saver probe HALVORINE_DEBUG=1 -- /t
    deadline=$(($(now_ms) + 5000))
    until [ "$(pixel_at 640 512)" = "#000064" ]; do
        if ! kill -0 "$saver_pid" 2>/dev/null; then
            wait "$saver_pid"
            if grep -q "CreateDevice failed" "$work/probe.err"; then
                echo "SKIP: the saver cannot create its device here: $(cat "$work/probe.err")"
                exit 77
            fi
            fail "ended without drawing: $(cat "$work/probe.err")"
            return
        fi
        if [ "$(now_ms)" -ge "$deadline" ]; then
            fail "no dark blue in the window (pixel $(pixel_at 640 512))"
            break
        fi
        sleep 0.05
    done
    kill -TERM "$saver_pid"
    expect_exit_zero "$saver_pid" 2000 "$saver_err"

    case_name="xscreensaver window draws dark blue"
    if start_host "halv xscreensaver host" 400x300 xscreensaver; then
        XSCREENSAVER_WINDOW=$(printf '0x%X' "$host_id") /bin/sh -c "exec '$saver' --root" \
            >"$work/xss.out" 2>&1 &
        pid=$!
        started_pids+=("$pid")
        wait_for_dark_blue 220 170 5000 || fail "no dark blue in the host window"
        kill -TERM "$pid"
        expect_exit_zero "$pid" 2000 "$work/xss.out"
        kill "$host_pid"
    else
        fail "no host window"
    fi

    case_name="preview draws dark blue"
    if start_host "halv preview host" 320x240 preview; then
        start_saver preview -- /p "$((host_id))"
        wait_for_dark_blue 180 140 5000 || fail "no dark blue in the preview"
        kill "$host_pid"
        expect_exit_zero "$saver_pid" 2000 "$saver_err"
    else
        fail "no host window: $(cat "$work/host.err"; xwininfo -root -tree | grep -v 'has no name')"
    fi
}

case "$group" in
windows) windows_cases ;;
drawing) drawing_cases ;;
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
