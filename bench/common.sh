# Shared by the benchmark scripts; sourced, never run, after the script has set $top (its
# checkout).

# The load programs (busy-host, many-connections) from the project's shared folder beside
# the checkout, unless BENCH_BIN names another.
bench_bin=${BENCH_BIN:-$top/../shared/bench}

# Runs the calling script again ("$0" ARGS...) in a private pid and network namespace with
# loopback up, so that other programs' processes and sockets stay out of the figures.
# Needs root, or unprivileged user namespaces (then it maps itself to root in one).
enter_private_namespace() {
    if [ -z "${TIDEWATCH_BENCH_NAMESPACE:-}" ]; then
        local userns=()
        [ "$(id -u)" = 0 ] || userns=(--user --map-root-user)
        exec unshare "${userns[@]}" --pid --net --fork --mount-proc \
            env TIDEWATCH_BENCH_NAMESPACE=1 "$0" "$@"
    fi
    ip link set lo up
}

# A scratch folder in $work and an empty $pids, both cleaned up on exit: every pid added
# to pids is killed, then everything is waited for.
start_scratch() {
    work=$(mktemp -d)
    pids=()
    trap cleanup EXIT
}
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}

# Xvfb on a free display (exported as DISPLAY) with trayer as its tray, ready for icons.
start_tray_display() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    export DISPLAY=:$(cat "$work/display")
    trayer --edge top --align right --widthtype request --height 24 --transparent false \
        >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do xwininfo -root -tree | grep -q '("panel" "trayer")' && break; sleep 0.05; done
}

# busy-host with the given arguments, ready: it ends when this script's pipe (fd 3) closes.
start_busy_host() {
    exec 3> >(exec "${BUSY_HOST:-$bench_bin/busy-host}" "$@" >"$work/busy.out")
    pids+=($!)
    for _ in $(seq 600); do grep -q ready "$work/busy.out" 2>/dev/null && break; sleep 0.1; done
}
