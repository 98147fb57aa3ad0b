#!/usr/bin/env bash
# The real program, started as a user starts it, on a private Xvfb display:
#
#   tray_e2e.sh TIDEWATCH SNI_HOST
#
# With no tray host, a window titled "Tidewatch" appears; trayer started later takes the
# icon within 10 s and the window goes. A click on the icon opens the panel, 320 pixels
# wide; Escape closes it; a second copy exits with status 0 while the first, however old its
# lock, keeps running; after the first has crashed, ten copies started together leave
# exactly one; when the tray goes away, its window comes back. Then, on a private session
# bus with a stand-in StatusNotifierItem host (SNI_HOST) that starts late: the icon
# registers within 10 s and the window goes; activating the icon opens the panel and again
# closes it; the menu's "Open at Login" writes the login entry; the window is back while the
# host is away and goes when it returns; the menu's Quit ends the program with status 0. A
# session bus that never answers costs no more than a couple of seconds; a host that Qt does
# not see keeps the window until an X11 tray takes the icon.
# HOME, XDG_* and the runtime folder are temporary. Every wait polls its condition up to a
# deadline; nothing waits a fixed time.
# Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing).
set -uo pipefail

app=$1
sni_host=$2
deadline_s=30 # generous: the sanitizer build on a loaded 2-core machine is slow to start
panel_width=320
popup_border=1 # PanelWindow::borderWidth, drawn inside the popup on every side

dock_s=10 # a tray that starts late has the icon within this time
for tool in Xvfb trayer xdotool xwininfo xprop dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "SKIP: no $tool (see scripts/debian-packages.txt)" && exit 77; }
done
/usr/bin/python3 -c 'import dbus, gi' ||
    { echo "SKIP: no python3-dbus or python3-gi (see scripts/debian-packages.txt)" && exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tidewatch-e2e.XXXXXX")
copies=0

has_exited() { [[ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" =~ ^Z?$ ]]; }

# Ends a child (TERM, then KILL if it lingers) and reaps it. A reaped child is no longer a
# job, so its pid, free for reuse, is never signalled.
stop() {
    local end=$((SECONDS + deadline_s))
    kill "$1" 2>/dev/null
    until has_exited "$1" || ((SECONDS >= end)); do sleep 0.05; done
    has_exited "$1" || kill -KILL "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}
# Newest first: the program copies, then the tray host, then the X server.
trap 'for pid in $(jobs -p | tac); do stop "$pid"; done; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*"
    xwininfo -root -tree 2>&1
    tail -n 20 "$work"/*.log
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
}

window_ids() { awk '$1 ~ /^0x/ { print $1 }'; }

# viewable_of PID WINDOW...: the windows listed that belong to PID and are on screen.
viewable_of() {
    local pid=$1 id
    shift
    for id in "$@"; do
        [ "$(xprop -id "$id" _NET_WM_PID 2>/dev/null | awk '/CARDINAL/ { print $3 }')" = "$pid" ] &&
            xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && echo "$id"
    done
}

# Top-level windows of a process that are on screen (the popup, or the window). Window ids
# are single words.
# shellcheck disable=SC2046
toplevels_of() { viewable_of "$1" $(xwininfo -root -children 2>/dev/null | window_ids); }

# Windows of a process embedded in trayer's panel (its tray icon).
# shellcheck disable=SC2046
tray_icons_of() {
    local panel
    panel=$(xwininfo -root -children 2>/dev/null | awk '/\("panel" "trayer"\)/ { print $1; exit }')
    [ -z "$panel" ] || viewable_of "$1" $(xwininfo -id "$panel" -tree 2>/dev/null | window_ids)
}

has_tray_icon() { [ -n "$(tray_icons_of "$1")" ]; }
has_toplevel() { [ -n "$(toplevels_of "$1")" ]; }
has_no_toplevel() { [ -z "$(toplevels_of "$1")" ]; }
has_titled_window() {
    local id
    for id in $(toplevels_of "$1"); do
        xprop -id "$id" _NET_WM_NAME 2>/dev/null | grep -q '^_NET_WM_NAME(UTF8_STRING) = "Tidewatch"$' && return
    done
    return 1
}
nine_have_exited() { local p n=0; for p in "$@"; do has_exited "$p" && ((++n)); done; ((n >= 9)); }

# Clicks the middle of a window with the first button.
click() {
    local width height
    read -r width height < <(xwininfo -id "$1" | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w, h }')
    xdotool mousemove --window "$1" $((width / 2)) $((height / 2)) click 1
}

# A user's session, but all of it temporary: no D-Bus session until the StatusNotifierItem
# part starts its own, no Wayland, the X11 platform, and none of the caller's scaling or
# theme settings, which would change the widths measured.
# The XDG folders default to ones in the temporary home.
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" DBUS_SESSION_BUS_ADDRESS=disabled:
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME WAYLAND_DISPLAY DBUS_SYSTEM_BUS_ADDRESS
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_FONT_DPI QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
unset QT_AUTO_SCREEN_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING QT_USE_PHYSICAL_DPI
export QT_QPA_PLATFORM=xcb
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
# Leaks are not this test's concern, and a leak report would change a copy's exit status.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

# -displayfd: the server picks a free display number and writes it once it accepts
# connections. -noreset: no reset each time the last client (xprop, xwininfo) leaves.
export DISPLAY=
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x800x24 \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
wait_for "X display from Xvfb" grep -q '^[0-9][0-9]*$' "$work/display"
DISPLAY=":$(cat "$work/display")"
echo "# Xvfb on $DISPLAY"

# No tray host: the panel in an ordinary window.
start_copy
first=$started
wait_for "window titled \"Tidewatch\" without a tray host" has_titled_window "$first"
pass "without a tray host, a window titled \"Tidewatch\" appears"

# A tray host that starts later, as at a login: the icon docks and the window goes.
trayer --edge top --align right --widthtype request --height 24 --transparent false \
    >"$work/trayer.log" 2>&1 &
trayer=$!
deadline_s=$dock_s wait_for "tray icon embedded in trayer that started later" has_tray_icon "$first"
wait_for "window gone once the icon docked" has_no_toplevel "$first"
pass "a tray that starts later takes the icon within $dock_s s, and the window goes"

icon=$(tray_icons_of "$first" | head -n 1)
click "$icon"
wait_for "panel after a click on the icon" has_toplevel "$first"
popup=$(toplevels_of "$first")
[ "$(wc -w <<<"$popup")" -eq 1 ] || fail "more than one window opened: $popup"
width=$(xwininfo -id "$popup" | awk '/^ *Width:/ { print $2 }')
# The popup is the panel plus its border on the left and on the right.
[ "$width" -eq $((panel_width + 2 * popup_border)) ] ||
    fail "popup is $width px wide: panel $((width - 2 * popup_border)) px, not $panel_width"
pass "a click opens the panel, $panel_width px wide (popup $width px with its border)"

# The pointer over the popup: the key reaches the program whether the popup has grabbed
# the keyboard or the focus follows the pointer.
xdotool mousemove --window "$popup" 10 10 key Escape
wait_for "closing of the panel on Escape" has_no_toplevel "$first"
pass "Escape closes the panel"

# However long the first copy has held its lock, the second leaves it be.
locks=("$XDG_RUNTIME_DIR"/*.lock)
touch -d '7 days ago' "${locks[@]}" || fail "no lock file in $XDG_RUNTIME_DIR"
start_copy
wait_for "exit of the second copy" has_exited "$started"
wait "$started" || fail "the second copy exited with status $?"
has_exited "$first" && fail "the first copy ended when the second started"
# Still answering: its icon opens the panel again.
click "$icon"
wait_for "panel after a second click on the icon" has_toplevel "$first"
pass "a second copy exits with status 0 while the first keeps running"

# A crash leaves the lock file behind; it must not block the next start.
kill -KILL "$first"
wait "$first" 2>/dev/null
ten=()
for _ in $(seq 10); do start_copy && ten+=("$started"); done
wait_for "exit of nine of ten copies started together" nine_have_exited "${ten[@]}"
survivors=()
for pid in "${ten[@]}"; do
    has_exited "$pid" || { survivors+=("$pid") && continue; }
    wait "$pid" || fail "a duplicate copy exited with status $?"
done
[ "${#survivors[@]}" -eq 1 ] || fail "${#survivors[@]} of ten copies still run"
wait_for "tray icon of the copy that runs" has_tray_icon "${survivors[0]}"
pass "after a crash, ten copies started together leave exactly one running"

stop "$trayer"
wait_for "window back once the tray went away" has_titled_window "${survivors[0]}"
pass "when the tray goes away, the window comes back"
stop "${survivors[0]}"

# A session bus that takes connections and never answers: Qt would wait 25 s on it, more
# than once. The program finds out within 2 s and starts without it.
/usr/bin/python3 -c 'import socket, sys
bus = socket.socket(socket.AF_UNIX)
bus.bind(sys.argv[1])
bus.listen(16)
held = []
while True:
    held.append(bus.accept())' "$work/silent-bus" >"$work/silent-bus.log" 2>&1 &
wait_for "silent bus socket" test -S "$work/silent-bus"
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/silent-bus" start_copy
deadline_s=8 wait_for "window on a silent session bus" has_titled_window "$started"
grep -q 'session bus does not answer' "$work/tidewatch-$copies.log" ||
    fail "nothing said on standard error about the silent session bus"
stop "$started"
pass "on a session bus that never answers, the window appears at once and the program says why"

# A StatusNotifierItem host on a private session bus, and no X11 tray.
dbus-daemon --session --nofork --print-address=3 3>"$work/bus" >"$work/dbus.log" 2>&1 &
wait_for "session bus address" grep -q . "$work/bus"
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")
start_copy
sni=$started
wait_for "window titled \"Tidewatch\" before the host starts" has_titled_window "$sni"
# start_host LOG: the stand-in host in the background; its pid goes to $host.
start_host() {
    "$sni_host" watch >"$1" 2>&1 &
    host=$!
}
item_of() { awk '$1 == "registered" { print $2; exit }' "$1"; }
start_host "$work/host-1.log"
deadline_s=$dock_s wait_for "icon registered with the host that started later" grep -q '^registered' "$work/host-1.log"
wait_for "window gone once the icon registered" has_no_toplevel "$sni"
item=$(item_of "$work/host-1.log")
pass "a StatusNotifierItem host that starts later takes the icon within $dock_s s ($item)"

# The host does not say where the icon is: the panel opens at the pointer.
xdotool mousemove 600 400
"$sni_host" activate "$item" || fail "Activate failed"
wait_for "panel after activating the icon" has_toplevel "$sni"
read -r x y w h < <(xwininfo -id "$(toplevels_of "$sni")" |
    awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
         /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print x, y, w, h }')
((x <= 600 && 600 <= x + w && y - 1 <= 400 && 400 <= y + h)) ||
    fail "the panel at ${w}x${h}+${x}+${y} is not at the pointer (600, 400)"
"$sni_host" activate "$item" || fail "Activate failed"
wait_for "closing of the panel on a second activation" has_no_toplevel "$sni"
pass "activating the icon opens the panel at the pointer; again, it closes"

"$sni_host" click "$item" "Open at Login" || fail "no \"Open at Login\" in the icon's menu"
wait_for "login entry after \"Open at Login\"" compgen -G "$HOME/.config/autostart/*.desktop"
pass "the menu's \"Open at Login\" writes the login entry"

stop "$host"
wait_for "window back once the host went away" has_titled_window "$sni"
start_host "$work/host-2.log"
wait_for "icon registered again with the host back" grep -q '^registered' "$work/host-2.log"
wait_for "window gone with the host back" has_no_toplevel "$sni"
pass "while the host is away the window is back, and it goes when the host returns"

"$sni_host" click "$(item_of "$work/host-2.log")" Quit || fail "no Quit in the icon's menu"
wait_for "exit after the menu's Quit" has_exited "$sni"
wait "$sni" || fail "the menu's Quit ended the program with status $?"
pass "the menu's Quit ends the program with status 0"

# A host the program sees and Qt does not, as when the host is away for the moment Qt looks:
# Qt makes an X11 icon, which nothing shows, so the window stays (it is checked once the
# program has asked the watcher after making the icon); an X11 tray that starts later
# takes the icon, and then the window goes.
stop "$host"
"$sni_host" watch-unseen >"$work/host-3.log" 2>&1 &
start_copy
unseen=$started
asked_after_icon() { awk '/^introspected/ { i = 1 } i && /^asked/ { a = 1 } END { exit !a }' "$1"; }
wait_for "a look at the watcher after the icon was made" asked_after_icon "$work/host-3.log"
has_titled_window "$unseen" || fail "the window went, though no tray shows the icon"
trayer --edge top --align right --widthtype request --height 24 --transparent false \
    >"$work/trayer-2.log" 2>&1 &
deadline_s=$dock_s wait_for "X11 icon embedded in trayer that started later" has_tray_icon "$unseen"
wait_for "window gone once the icon docked" has_no_toplevel "$unseen"
pass "an icon no tray shows keeps the window; once a tray of its kind shows it, the window goes"

# A sanitizer report ends a copy; make sure none ended that way unseen.
if grep -l -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work"/tidewatch-*.log; then
    fail "a sanitizer reported an error"
fi
