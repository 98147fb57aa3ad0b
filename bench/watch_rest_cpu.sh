#!/usr/bin/env bash
# CPU time of tidewatch-ports --watch at rest (5 s scans, nothing changing) with 1,000 real
# listeners from busy-host 500 0 2, in a private pid and network namespace, extrapolated to
# an hour: the same steady scans as the tray app at rest (bench/tray_rest_cpu.sh), without
# the app around them. Root or user namespaces.
#
#   bench/watch_rest_cpu.sh [BUILD_DIR] [SECONDS]     (default: build 300)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
seconds=${2:-300}
tool="$build/src/cli/tidewatch-ports"
[ -x "$tool" ] || { echo "no $tool: build the tidewatch-ports target first" >&2; exit 1; }

. "$top/bench/common.sh"
enter_private_namespace "$build" "$seconds"
start_scratch

start_busy_host 500 0 2

"$tool" --watch --json >"$work/events" &
watch_pid=$!
pids+=($watch_pid)

tick=$(getconf CLK_TCK)
ticks() { sed 's/.*) //' "$1" | awk '{print $12 + $13}'; }
sleep 15 # the first list and its container-name query out of the way
before=$(ticks "/proc/$watch_pid/stat")
lines=$(wc -l <"$work/events")
sleep "$seconds"
after=$(ticks "/proc/$watch_pid/stat")
changes=$(($(wc -l <"$work/events") - lines))

total=$(awk -v t=$((after - before)) -v k="$tick" -v s="$seconds" \
    'BEGIN {printf "%.2f", t / k * 3600 / s}')
echo "tidewatch-ports --watch at rest, $lines listeners, ${seconds} s measured" \
    "($changes events meanwhile); load $(cut -d' ' -f1 /proc/loadavg)"
printf '  %-44s %8s CPU-s/h   goal <= 4   %s\n' "whole process" "$total" \
    "$(awk -v t="$total" 'BEGIN {print (t <= 4 ? "met" : "MISSED")}')"
