#!/usr/bin/env bash
# Start-up time and resident memory of the real program in a real tray, next to a bare Qt
# tray icon program. Needs Xvfb, trayer, xdotool and xwininfo (scripts/debian-packages.txt).
#
#   bench/tray_app_bench.sh [BUILD_DIR]      (default: build)
#
# On a private X display with trayer as the tray, with 1,000 real listeners from
# busy-host 500 0 2: each program is started RUNS times; start-up is the time from just
# before the process is spawned until its icon window is embedded in trayer (polled every
# few ms, so the figure is an upper bound). For tidewatch the icon is then clicked, the panel
# checked to be open, and after 7 s at rest (one refresh done) VmRSS is read from
# /proc/PID/status. The peer's VmRSS is read after the same rest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
app="$build/src/app/tidewatch"
peer="$build/bench/bare_tray_peer"
runs=5
. "$top/bench/common.sh"
start_scratch
start_tray_display

# 1,000 listening sockets owned by 500 processes.
start_busy_host 500 0 2
listeners=$(awk '{print $2}' "$work/busy.out")

now_ms() { date +%s%3N; }
# The tray icon of the program with this pid: a window of that pid inside trayer's panel.
icon_shown() {
    xwininfo -root -tree | awk -v class="$1" '
        /\("panel" "trayer"\)/ { depth = match($0, /[^ ]/); inside = 1; next }
        inside && match($0, /[^ ]/) <= depth { inside = 0 }
        inside && index($0, class) { found = 1 }
        END { exit !found }'
}

# start_and_time PROGRAM CLASS -> prints "PID MILLISECONDS"
start_and_time() {
    local program=$1 class=$2 start pid
    mkdir -p "$work/rt" && chmod 700 "$work/rt"
    start=$(now_ms)
    XDG_RUNTIME_DIR="$work/rt" "$program" >/dev/null 2>&1 &
    pid=$!
    local deadline=$((start + 5000))
    while ! icon_shown "$class"; do
        if (($(now_ms) > deadline)); then echo "$pid timeout"; return; fi
        sleep 0.005
    done
    echo "$pid $(($(now_ms) - start))"
}

rss_mib() { awk '/VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

measure() {
    local program=$1 class=$2 open_panel=$3 times=() rss=()
    for _ in $(seq $runs); do
        read -r pid ms < <(start_and_time "$program" "$class")
        times+=("$ms")
        if [ "$open_panel" = yes ]; then
            xdotool mousemove 1268 12 click 1
            sleep 0.5
            # The open popup: a top-level window of the program, 322 pixels wide.
            xwininfo -root -tree | grep -q "$class  322x" || echo "panel did not open" >&2
        fi
        sleep 7
        rss+=("$(rss_mib "$pid")")
        kill "$pid"
        wait "$pid" 2>/dev/null || true
    done
    echo "$(printf '%s\n' "${times[@]}" | median) $(printf '%s\n' "${rss[@]}" | median)"
}

read -r app_ms app_rss < <(measure "$app" '("tidewatch" "Tidewatch")' yes)
read -r peer_ms peer_rss < <(measure "$peer" '("bare_tray_peer"' no)

echo "Tray app on $DISPLAY with trayer, $listeners listening sockets, median of $runs runs"
echo "load average when done: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores (start-up time grows with it)"
printf '%-36s %12s %16s %10s\n' "" "tidewatch" "bare tray peer" "target"
printf '%-36s %12s %16s %10s\n' "start to tray icon shown (ms)" "$app_ms" "$peer_ms" "< 300"
printf '%-36s %12s %16s %10s\n' "resident at rest, panel open (MiB)" "$app_rss" "$peer_rss" "< 40"
