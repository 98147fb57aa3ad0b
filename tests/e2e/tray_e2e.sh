#!/usr/bin/env bash
# The real program, started as a user starts it, on a private Xvfb display:
#
#   tray_e2e.sh TIDEWATCH TRAYAVAILABLE
#
# With no tray host, a window titled "Tidewatch" appears. With trayer as the tray host: the
# icon is embedded in the tray; a click on it opens the panel, 320 pixels wide; Escape
# closes it; a second copy exits with status 0 while the first keeps running; ten copies
# started together leave exactly one. HOME, XDG_* and the runtime folder are temporary.
# Every wait polls its condition up to a deadline; nothing waits a fixed time.
# Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing).
set -uo pipefail

app=$1
trayavailable=$2
deadline_s=30 # generous: the sanitizer build on a loaded 2-core machine is slow to start
panel_width=320
popup_border=1 # PanelWindow::borderWidth, drawn inside the popup on every side

for tool in Xvfb trayer xdotool xwininfo xprop; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (see scripts/debian-packages.txt)"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tidewatch-e2e.XXXXXX")
children=() # every process started here and not yet reaped
copies=0

has_exited() {
    local state
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)
    [ -z "$state" ] || [ "$state" = Z ]
}

# Ends a child (TERM, then KILL if it lingers) and reaps it.
stop() {
    local pid=$1 end=$((SECONDS + deadline_s))
    kill "$pid" 2>/dev/null
    until has_exited "$pid"; do
        if ((SECONDS >= end)); then
            kill -KILL "$pid" 2>/dev/null
            break
        fi
        sleep 0.05
    done
    wait "$pid" 2>/dev/null
    forget "$pid"
}

# Drops a reaped child from the list, so its pid, free for reuse, is never signalled.
forget() {
    local other kept=()
    for other in "${children[@]}"; do [ "$other" = "$1" ] || kept+=("$other"); done
    children=("${kept[@]}")
}

cleanup() {
    local i
    # Newest first: the program copies, then the tray host, then the X server.
    for ((i = ${#children[@]} - 1; i >= 0; i--)); do stop "${children[i]}"; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

diagnose() {
    echo "--- windows on $DISPLAY"
    xwininfo -root -tree 2>&1
    local log
    for log in "$work"/*.log; do
        [ -s "$log" ] || continue
        echo "--- ${log##*/}"
        tail -n 20 "$log"
    done
}

fail() {
    echo "FAIL: $*"
    diagnose
    exit 1
}

pass() { echo "ok - $*"; }

# wait_for WHAT COMMAND...: polls COMMAND until it succeeds; fails after the deadline.
wait_for() {
    local what=$1 end=$((SECONDS + deadline_s))
    shift
    until "$@"; do
        ((SECONDS < end)) || fail "no $what within ${deadline_s} s"
        sleep 0.05
    done
}

# Starts one copy in the background as a user would; its pid goes to $started.
start_copy() {
    copies=$((copies + 1))
    "$app" >"$work/tidewatch-$copies.log" 2>&1 &
    started=$!
    children+=("$started")
}

window_pid() { xprop -id "$1" _NET_WM_PID 2>/dev/null | awk '/CARDINAL/ { print $3 }'; }
is_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
window_width() { xwininfo -id "$1" 2>/dev/null | awk '/^ *Width:/ { print $2 }'; }
window_title() { xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = //p'; }

# viewable_of PID WINDOW...: the windows listed that belong to PID and are on screen.
viewable_of() {
    local pid=$1 id
    shift
    for id in "$@"; do
        if [ "$(window_pid "$id")" = "$pid" ] && is_viewable "$id"; then echo "$id"; fi
    done
}

# Top-level windows of a process that are on screen (the popup, or the window).
toplevels_of() {
    local ids
    mapfile -t ids < <(xwininfo -root -children 2>/dev/null | awk '$1 ~ /^0x/ { print $1 }')
    viewable_of "$1" "${ids[@]}"
}

# Windows of a process embedded in trayer's panel (its tray icon).
tray_icons_of() {
    local panel ids
    panel=$(xwininfo -root -children 2>/dev/null | awk '/\("panel" "trayer"\)/ { print $1; exit }')
    [ -n "$panel" ] || return 0
    mapfile -t ids < <(xwininfo -id "$panel" -tree 2>/dev/null | awk '$1 ~ /^0x/ { print $1 }')
    viewable_of "$1" "${ids[@]}"
}

has_tray_icon() { [ -n "$(tray_icons_of "$1")" ]; }
has_toplevel() { [ -n "$(toplevels_of "$1")" ]; }
has_no_toplevel() { [ -z "$(toplevels_of "$1")" ]; }
has_titled_window() {
    local id
    for id in $(toplevels_of "$1"); do
        [ "$(window_title "$id")" = '"Tidewatch"' ] && return 0
    done
    return 1
}
tray_is_available() { "$trayavailable" >>"$work/trayavailable.log" 2>&1; }
count_exited() {
    local pid n=0
    for pid in "$@"; do has_exited "$pid" && n=$((n + 1)); done
    echo "$n"
}
at_least_exited() {
    local wanted=$1
    shift
    (($(count_exited "$@") >= wanted))
}

# Clicks the middle of a window with the first button.
click() {
    local width height
    read -r width height < <(xwininfo -id "$1" | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w, h }')
    xdotool mousemove --window "$1" $((width / 2)) $((height / 2)) click 1
}

# A user's session, but all of it temporary: no D-Bus session (so no StatusNotifier host
# stands in for trayer), no Wayland, the X11 platform, and none of the caller's scaling or
# theme settings, which would change the widths measured.
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_STATE_HOME="$HOME/.local/state"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export DBUS_SESSION_BUS_ADDRESS=disabled:
unset WAYLAND_DISPLAY DBUS_SYSTEM_BUS_ADDRESS QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_FONT_DPI
unset QT_ENABLE_HIGHDPI_SCALING QT_USE_PHYSICAL_DPI
export QT_QPA_PLATFORM=xcb
# Leaks are not this test's concern, and a leak report would change a copy's exit status.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

# -displayfd: the server picks a free display number and writes it once it accepts
# connections. -noreset: no reset each time the last client (xprop, xwininfo) leaves.
export DISPLAY=
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x800x24 \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
children+=($!)
display_ready() { grep -q '^[0-9][0-9]*$' "$work/display"; }
wait_for "X display from Xvfb" display_ready
DISPLAY=":$(cat "$work/display")"
echo "# Xvfb on $DISPLAY"

# No tray host: the panel in an ordinary window.
tray_is_available && fail "a system tray is already available on $DISPLAY"
start_copy
alone=$started
wait_for "window titled \"Tidewatch\" without a tray host" has_titled_window "$alone"
pass "without a tray host, a window titled \"Tidewatch\" appears"
stop "$alone"

# With trayer as the tray host. It may map its panel before it owns the tray; the
# program asks once, at start-up, so wait until the answer is yes.
trayer --edge top --align right --widthtype request --height 24 --transparent false \
    >"$work/trayer.log" 2>&1 &
children+=($!)
wait_for "system tray from trayer" tray_is_available

start_copy
first=$started
wait_for "tray icon embedded in trayer" has_tray_icon "$first"
has_no_toplevel "$first" || fail "a window is open before the icon was clicked"
pass "the icon appears in the tray"

icon=$(tray_icons_of "$first" | head -n 1)
click "$icon"
wait_for "panel after a click on the icon" has_toplevel "$first"
popup=$(toplevels_of "$first")
[ "$(wc -w <<<"$popup")" -eq 1 ] || fail "more than one window opened: $popup"
width=$(window_width "$popup")
# The popup is the panel plus its border on the left and on the right.
[ "$width" -eq $((panel_width + 2 * popup_border)) ] ||
    fail "popup is $width px wide: panel $((width - 2 * popup_border)) px, not $panel_width"
pass "a click opens the panel, $panel_width px wide (popup $width px with its border)"

# The pointer over the popup: the key reaches the program whether the popup has grabbed
# the keyboard or the focus follows the pointer.
xdotool mousemove --window "$popup" 10 10 key Escape
wait_for "closing of the panel on Escape" has_no_toplevel "$first"
pass "Escape closes the panel"

start_copy
second=$started
wait_for "exit of the second copy" has_exited "$second"
wait "$second"
status=$?
forget "$second"
[ "$status" -eq 0 ] || fail "the second copy exited with status $status"
has_exited "$first" && fail "the first copy ended when the second started"
has_tray_icon "$first" || fail "the first copy's icon left the tray"
# Still answering: its icon opens the panel again.
click "$icon"
wait_for "panel after a second click on the icon" has_toplevel "$first"
xdotool mousemove --window "$(toplevels_of "$first")" 10 10 key Escape
wait_for "closing of the panel on Escape" has_no_toplevel "$first"
pass "a second copy exits with status 0 while the first keeps running"

stop "$first"
tenCopies=()
for _ in $(seq 10); do
    start_copy
    tenCopies+=("$started")
done
wait_for "exit of nine of ten copies started together" at_least_exited 9 "${tenCopies[@]}"
survivors=()
for pid in "${tenCopies[@]}"; do
    if has_exited "$pid"; then
        wait "$pid"
        status=$?
        forget "$pid"
        [ "$status" -eq 0 ] || fail "a duplicate copy exited with status $status"
    else
        survivors+=("$pid")
    fi
done
[ "${#survivors[@]}" -eq 1 ] || fail "${#survivors[@]} of ten copies still run"
wait_for "tray icon of the copy that runs" has_tray_icon "${survivors[0]}"
pass "ten copies started together leave exactly one running"

# A sanitizer report ends a copy; make sure none ended that way unseen.
if grep -l -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work"/tidewatch-*.log; then
    fail "a sanitizer reported an error"
fi
