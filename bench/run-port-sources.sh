#!/usr/bin/env bash
# Measures the port sources on a loaded machine: starts busy-host (300 processes, each
# holding 100 files and 2 listening sockets), waits for its "ready" line, runs
# bench_port_sources, and stops it again.
#
#   bench/run-port-sources.sh [build-dir] [scans]
#   BUSY_HOST=/path/to/busy-host bench/run-port-sources.sh build 10
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
scans=${2:-10}
busy=${BUSY_HOST:-/work/shared/bench/busy-host}
bench="$build/bench/bench_port_sources"
[ -x "$bench" ] || { echo "no $bench: build the bench_port_sources target first" >&2; exit 1; }
[ -x "$busy" ] || { echo "no busy-host at $busy: set BUSY_HOST" >&2; exit 1; }

coproc BUSY { exec "$busy" 300 100 2; }
busy_pid=$BUSY_PID
# busy-host and its children end when its standard input closes; kill it too, to be sure.
trap 'exec {BUSY[1]}>&- 2>/dev/null || true; kill "$busy_pid" 2>/dev/null || true; wait "$busy_pid" 2>/dev/null || true' EXIT
read -r ready <&"${BUSY[0]}"
echo "busy-host 300 100 2: $ready"
"$bench" "$scans"
