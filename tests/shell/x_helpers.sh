# Helpers of the end-to-end tests and the exit-latency benchmark: windows on the virtual X
# display, a millisecond clock, busy loops that keep both cores busy, and the clean-up on exit.

# Kills what the script started (started_pids) and removes its scratch folder ($work).
cleanup() {
    local pid
    for pid in "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    rm -rf "$work"
}

now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

viewable() {
    [[ "$(xwininfo -id "$1" 2>/dev/null)" == *"Map State: IsViewable"* ]]
}

# The id of the first window (at any depth) with this exact name, or nothing.
find_window() {
    xwininfo -root -tree 2>/dev/null | awk -v name="\"$1\":" 'index($0, name) && !found {print $1; found = 1}'
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

# Two loops that keep both cores busy at the saver's own priority, each ending by itself after
# 60 s at the latest (and killed on every way out).
start_busy_loops() {
    local i
    for i in 1 2; do
        timeout 60 sh -c 'while :; do :; done' &
        busy_pids+=("$!")
        started_pids+=("$!")
    done
}

stop_busy_loops() {
    kill "${busy_pids[@]}" 2>/dev/null
    wait "${busy_pids[@]}" 2>/dev/null
    busy_pids=()
}
