#!/usr/bin/env bash
# CPU time of the tray app at rest, panel closed, with 1,000 real listeners from
# busy-host 500 0 2, in a private pid and network namespace, extrapolated to an hour.
# The app scans every 5 s and walks every process at least once a minute, so a few
# minutes hold every kind of scan. Needs Xvfb and trayer; root or user namespaces.
#
#   bench/tray_rest_cpu.sh [BUILD_DIR] [SECONDS]     (default: build 300)
#   AS_USER=nobody bench/tray_rest_cpu.sh            (run the app as that user; as root
#                                                     by default, where it sees every owner)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
seconds=${2:-300}
app="$build/src/app/tidewatch"
[ -x "$app" ] || { echo "no $app: build the tidewatch target first" >&2; exit 1; }

. "$top/bench/common.sh"
enter_private_namespace "$build" "$seconds"
start_scratch
chmod 755 "$work"
start_tray_display

start_busy_host 500 0 2

mkdir -p "$work/home" "$work/rt" && chmod 700 "$work/rt"
run=()
if [ -n "${AS_USER:-}" ]; then
    chown "$AS_USER" "$work/home" "$work/rt"
    run=(setpriv --reuid="$AS_USER" --regid="$(id -g "$AS_USER")" --clear-groups)
fi
HOME="$work/home" XDG_RUNTIME_DIR="$work/rt" "${run[@]}" "$app" >/dev/null 2>&1 &
app_pid=$!
pids+=($app_pid)

tick=$(getconf CLK_TCK)
# user + system ticks of a process or thread: the fields after the name, which may hold
# spaces and parentheses.
ticks() { sed 's/.*) //' "$1" | awk '{print $12 + $13}'; }
sleep 15 # start-up and the first scans out of the way
total0=$(ticks "/proc/$app_pid/stat")
main0=$(ticks "/proc/$app_pid/task/$app_pid/stat")
sleep "$seconds"
total1=$(ticks "/proc/$app_pid/stat")
main1=$(ticks "/proc/$app_pid/task/$app_pid/stat")

per_hour() { awk -v t="$1" -v k="$tick" -v s="$seconds" 'BEGIN {printf "%.2f", t / k * 3600 / s}'; }
total=$(per_hour $((total1 - total0)))
main=$(per_hour $((main1 - main0)))
others=$(per_hour $((total1 - total0 - main1 + main0)))
echo "Tray app at rest, panel closed, $(awk '{print $2}' "$work/busy.out") listeners," \
    "${AS_USER:-root}, ${seconds} s measured; load $(cut -d' ' -f1 /proc/loadavg)"
printf '  %-44s %8s CPU-s/h   goal <= 4   %s\n' "whole process" "$total" \
    "$(awk -v t="$total" 'BEGIN {print (t <= 4 ? "met" : "MISSED")}')"
printf '  %-44s %8s CPU-s/h\n' "main thread (publishing, model, tray)" "$main"
printf '  %-44s %8s CPU-s/h\n' "other threads (the scans)" "$others"
