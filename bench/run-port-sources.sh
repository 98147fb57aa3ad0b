#!/usr/bin/env bash
# The native source (UDP listed, connections counted) against `ss -ltunp` under each load
# it is judged on, in a private pid and network namespace (so that other programs'
# processes and sockets stay out), with loopback up. For each load it starts the load, waits for its "ready" lines, runs
# bench_port_sources, and stops the load again.
#
#   bench/run-port-sources.sh [build-dir] [scans]      (default: build 10; ~3 minutes)
#   BENCH_BIN=/path/to/bench bench/run-port-sources.sh   (default: ../shared/bench beside
#                                                        the checkout)
#
# Needs root, or unprivileged user namespaces (then it maps itself to root in one).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
scans=${2:-10}
. "$top/bench/common.sh"
bin=$bench_bin
bench="$build/bench/bench_port_sources"
[ -x "$bench" ] || { echo "no $bench: build the bench_port_sources target first" >&2; exit 1; }
[ -x "$bin/busy-host" ] && [ -x "$bin/many-connections" ] && [ -x "$bin/many-udp" ] ||
    { echo "no busy-host, many-connections or many-udp in $bin: set BENCH_BIN" >&2; exit 1; }

enter_private_namespace "$build" "$scans"
start_scratch

# run_load LABEL "PROGRAM ARGS" ...: every load ends when its standard input closes.
run_load() {
    local label=$1 fds=() pids=() i=0
    shift
    for spec in "$@"; do
        exec {fd}> >(exec "$bin/"$spec >"$work/ready.$i")
        fds+=("$fd") pids+=("$!")
        i=$((i + 1))
    done
    for _ in $(seq 1200); do
        [ "$(cat "$work"/ready.* 2>/dev/null | grep -c ready)" -ge $# ] && break
        sleep 0.1
    done
    "$bench" "$label" "$scans"
    for fd in "${fds[@]}"; do exec {fd}>&-; done
    # Each load reaps its own processes before it exits.
    wait "${pids[@]}" 2>/dev/null || true
    rm -f "$work"/ready.*
}

echo "Native source against ss -ltunp, CPU time (user + system), private namespace;"
echo "$scans runs of ss and first scans, $((20 * scans)) steady scans; load $(cut -d' ' -f1 /proc/loadavg)"
run_load "idle (one listener)" "busy-host 1 0 1"
run_load "busy-host 300 100 2" "busy-host 300 100 2"
run_load "many-connections 4 5000 (20,000 established pairs)" "many-connections 4 5000"
run_load "busy-host 2000 5 0 plus busy-host 3 0 2" "busy-host 2000 5 0" "busy-host 3 0 2"
run_load "many-udp 50 40 (2,000 bound UDP sockets, 50 connected)" "many-udp 50 40"
