#!/usr/bin/env bash
# tidewatch-ports --watch against listeners that open and close while it runs, in a private
# network namespace: the current records first, then a "listening" line within 7 s of a
# port opening and a "closed" line within 7 s of it closing; status 0 on SIGINT and on a
# closed pipe, nothing on stderr; a failed scan says why and the watch goes on.
#
#   watch.sh TOOL
#
# Exit status: 0 passed, 1 failed, 77 skipped (no network namespace).
set -uo pipefail
tool=$1
if [ -z "${TIDEWATCH_IN_NAMESPACE:-}" ]; then
    unshare --net true 2>/dev/null || {
        echo "SKIP: no private network namespace here (unshare --net needs root)"
        exit 77
    }
    exec unshare --net env TIDEWATCH_IN_NAMESPACE=1 bash "$0" "$@"
fi
ip link set lo up || exit 1
dir=$(mktemp -d "${TMPDIR:-/tmp}/tidewatch-watch.XXXXXX")
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$dir"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

# Whether FILE gains a line matching PATTERN within SECONDS.
appears() {
    local deadline=$((SECONDS + $3))
    until grep -qE "$2" "$1"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# A listener on 127.0.0.1:PORT, TCP or with "udp" a bound UDP socket; its pid in $listener
# once it listens.
listen() {
    python3 -c 'import socket, sys, time
udp = sys.argv[2:] == ["udp"]
s = socket.socket(type=socket.SOCK_DGRAM if udp else socket.SOCK_STREAM)
s.bind(("127.0.0.1", int(sys.argv[1])))
udp or s.listen()
print("up", flush=True)
time.sleep(600)' "$@" >"$dir/up$1" &
    listener=$!
    pids+=("$listener")
    appears "$dir/up$1" up 10 || fail "listener $1 did not start"
}
# The status PID ends with after SIGNAL; 124 when it is still running 5 s later.
ends() {
    kill "-$2" "$1"
    timeout 5 tail --pid="$1" -f /dev/null || {
        kill -KILL "$1"
        return 124
    }
    wait "$1"
}
event() { echo "\"event\": \"$1\", \"time\": \"[0-9T:.-]+Z\", \"port\": $2, \"pid\": [0-9]+, \"processName\": \"python3"; }

listen 4001
"$tool" --watch --json --interval 1 >"$dir/out" 2>"$dir/err" &
watch=$!
pids+=("$watch")
appears "$dir/out" "$(event listening 4001)" 10 || fail "no initial record"
listen 4002
appears "$dir/out" "$(event listening 4002)" 7 || fail "no listening line within 7 s"
kill "$listener"
appears "$dir/out" "$(event closed 4002)" 7 || fail "no closed line within 7 s"
ends "$watch" INT
status=$?
[ "$status" -eq 0 ] || fail "status $status after SIGINT"
[ "$(grep -cE "$(event listening 4001)" "$dir/out")" = 1 ] && [ "$(wc -l <"$dir/out")" = 3 ] ||
    fail "other lines than the three events"
[ ! -s "$dir/err" ] || fail "stderr: $(cat "$dir/err")"

# Lines for people, read by a reader that leaves: status 0 and no message for the pipe.
# --udp leaves out the TCP listener on the lower port.
listen 4003 udp
timeout 20 env --default-signal=PIPE "$tool" --watch --udp --interval 1 2>"$dir/err" |
    head -n 1 >"$dir/out"
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] || fail "status $status after the reader left"
grep -qE '^[0-9]{2}:[0-9]{2}:[0-9]{2}  \+ 4003/udp  python3 \(pid [0-9]+\)  loopback$' "$dir/out" ||
    fail "human line: $(cat "$dir/out")"
[ ! -s "$dir/err" ] || fail "stderr after the reader left: $(cat "$dir/err")"

# A scan that fails (the stand-in lister writes a byte that is no UTF-8) says why; the
# records stay, and the next scans go on.
printf '%s\n' '#!/bin/sh' '[ -e "$0.fail" ] && printf "\377" && exit 0' \
    'printf "p7\ncweb\nn*:80\n"' '[ -e "$0.more" ] && printf "p8\ncdb\nn*:5432\n"' >"$dir/lister"
chmod 755 "$dir/lister"
"$tool" --watch --json --interval 1 --lsof "$dir/lister" 80 5432 >"$dir/out" 2>"$dir/err" &
watch=$!
pids+=("$watch")
appears "$dir/out" '"event": "listening".*"port": 80,' 10 || fail "lister: no initial record"
touch "$dir/lister.fail"
appears "$dir/err" 'tidewatch-ports: .*UTF-8' 7 || fail "no reason for the failed scan"
touch "$dir/lister.more"
rm "$dir/lister.fail"
appears "$dir/out" '"event": "listening".*"port": 5432,' 7 || fail "the watch did not go on"
ends "$watch" TERM
status=$?
[ "$status" -eq 0 ] || fail "status $status after SIGTERM"
[ "$(wc -l <"$dir/out")" = 2 ] || fail "a failed scan changed the records: $(cat "$dir/out")"
exit $failed
