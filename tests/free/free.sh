#!/usr/bin/env bash
# tidewatch-ports --free against real process trees in a private pid and network namespace:
# a plain listener freed; one that ignores SIGTERM reported and freed by --force; a shell
# loop, a parent that forks a new child, a wrapper that forks twice and a subreaper whose
# daemon forks away, each named as the supervisor; a free port; nobody on root's listener
# refused and the listener alive; what pkexec may pass; strict port arguments.
#
#   free.sh TOOL
#
# Exit status: 0 passed, 1 failed, 77 skipped (no private namespaces).
set -uo pipefail
tool=$1
if [ -z "${TIDEWATCH_IN_NAMESPACE:-}" ]; then
    unshare --pid --net --fork --mount-proc true 2>/dev/null || {
        echo "SKIP: no private pid and network namespace here (unshare needs root)"
        exit 77
    }
    exec unshare --pid --net --fork --mount-proc env TIDEWATCH_IN_NAMESPACE=1 bash "$0" "$@"
fi
ip link set lo up || exit 1
dir=$(mktemp -d "${TMPDIR:-/tmp}/tidewatch-free.XXXXXX")
chmod 755 "$dir"
trap 'rm -rf "$dir"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

# A TCP listener on 127.0.0.1:PORT as a script ($dir/serve.py): with "stubborn" it ignores
# SIGTERM, with "daemon" it forks twice first. Each start appends "up PID" to $dir/upPORT.
cat >"$dir/serve.py" <<'EOF'
import os, signal, socket, sys, time
port, how = int(sys.argv[1]), sys.argv[2:]
if "daemon" in how:
    if os.fork(): os._exit(0)
    os.setsid()
    if os.fork(): os._exit(0)
if "stubborn" in how:
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
for _ in range(100):
    try:
        s.bind(("127.0.0.1", port)); break
    except OSError:
        time.sleep(0.05)
s.listen()
with open(os.path.join(os.path.dirname(sys.argv[0]), "up%d" % port), "a") as up:
    print("up", os.getpid(), flush=True, file=up)
time.sleep(600)
EOF
# A supervisor that starts its arguments again whenever they and all they left behind have
# ended: a subreaper, so a daemon that forks away is still its child.
cat >"$dir/supervise.py" <<'EOF'
import ctypes, os, sys
ctypes.CDLL(None).prctl(36, 1)  # PR_SET_CHILD_SUBREAPER
while True:
    if os.fork() == 0:
        os.execvp("python3", ["python3"] + sys.argv[1:])
    try:
        while True:
            os.wait()
    except ChildProcessError:
        pass
EOF
# Waits until the listener on PORT has started COUNT times.
started() {
    local deadline=$((SECONDS + 10))
    until [ "$(cat "$dir/up$1" 2>/dev/null | grep -c up)" -ge "${2:-1}" ]; do
        [ "$SECONDS" -lt "$deadline" ] || { fail "listener $1 did not start"; return 1; }
        sleep 0.05
    done
}
serve() { python3 "$dir/serve.py" "$@"; }
listening() { [ -n "$(ss -Htln "sport = :$1")" ]; }
# Runs the tool; its output in $out, its status in $status.
free() {
    out=$("$tool" --free "$@" 2>&1)
    status=$?
}
expect() { # STATUS PATTERN WHAT
    [ "$status" = "$1" ] && grep -qE "$2" <<<"$out" || fail "$3: status $status, \"$out\""
}

serve 4001 &
started 4001
free 4001 4009
expect 0 '^4001: free$' "plain listener"
grep -qx '4009: free' <<<"$out" || fail "a free port: \"$out\""
listening 4001 && fail "4001 still listens"

serve 4002 stubborn &
started 4002
free 4002 --wait 0.3
expect 4 '^4002: still listening: pid [0-9]+ \(python3\) ignored the request; --force ends it$' \
    "stubborn listener"
free 4002 --wait 0.3 --force
expect 0 '^4002: free$' "stubborn listener with --force"

# Supervisors: a shell loop; a parent that forks a new child each time; a shell that runs
# each start in a wrapper shell; a subreaper whose daemon forks twice and leaves it.
bash -c "while :; do python3 '$dir/serve.py' 4003; done" &
loop=$!
python3 "$dir/supervise.py" "$dir/serve.py" 4004 &
forker=$!
bash -c "while :; do sh -c 'python3 \"$dir/serve.py\" 4005; :'; done" &
wrapper=$!
started 4003 && free 4003 --wait 5
expect 4 "^4003: listening again: pid [0-9]+ \(python3\), started by bash \(pid $loop\)$" "shell loop"
started 4004 && free 4004 --wait 5
expect 4 "^4004: listening again: pid [0-9]+ \(python3\), started by supervise.py \(pid $forker\)$" \
    "forking parent"
started 4005 && free 4005 --wait 5
expect 4 "^4005: listening again: pid [0-9]+ \(python3\), started by bash \(pid $wrapper\)$" \
    "wrapper forking twice"
kill "$loop" "$forker" "$wrapper"
python3 "$dir/supervise.py" "$dir/serve.py" 4006 daemon &
reaper=$!
started 4006 && free 4006 --wait 5
expect 4 "^4006: listening again: pid [0-9]+ \(python3\), started by supervise.py \(pid $reaper\)$" \
    "double-forking daemon"
kill "$reaper"
"$tool" --free 4001 4002 4003 4004 4005 4006 --force >/dev/null

# nobody on root's listener: refused, said whose, and nothing ended.
serve 4007 &
root=$!
started 4007
out=$(setpriv --reuid=nobody --regid=nogroup --clear-groups "$tool" --free 4007 2>&1)
status=$?
expect 1 "^4007: not ended: a process of root listens, not one of this user's; nothing was ended$" "nobody on root's"
kill -0 "$root" 2>/dev/null && listening 4007 || fail "root's listener was ended"
kill "$root"

# Run by pkexec: --free and port numbers only, nothing that runs a program or writes a file.
for options in "--lsof /bin/false 4001" "--free 4001 --metrics-file $dir/m" "4001"; do
    out=$(PKEXEC_UID=1000 "$tool" $options 2>&1)
    [ "$?" = 2 ] || fail "run by pkexec with $options: \"$out\""
done

# Strict ports: no sign, no space, nothing out of range.
for port in +80 " 80" 0 65536 0x50 ""; do
    free "$port"
    [ "$status" = 2 ] || fail "port \"$port\": status $status"
done
exit "$failed"
