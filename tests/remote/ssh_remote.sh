#!/usr/bin/env bash
# tidewatch-ports --host over the real OpenSSH: an sshd as root in a private network and pid
# namespace (its own host key and authorized key, no PAM) with a listener only there, reached
# through this script's own ssh configuration in a private home (ssh reads the passwd home,
# so a private mount namespace puts one over it, for sshd's side too). Each Host entry gives
# the remote a PATH (through its key) that leads the list command its own way:
# tidewatch-ports, ss or /proc/net, or a stand-in that writes forever or stalls. Failures:
# a refused connection, a host that wants a password, one that never answers, and what ssh
# started ending with it at the deadline or when the tool is ended.
#
#   ssh_remote.sh TOOL
#
# Exit status: 0 passed, 1 failed, 77 skipped (no sshd, nc or namespaces).
set -uo pipefail
tool=$(realpath "$1")
source "$(dirname "${BASH_SOURCE[0]}")/../common/real_sshd.sh"
dir=$(mktemp -d "${TMPDIR:-/tmp}/tidewatch-ssh.XXXXXX")
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

# The remote's PATH comes with the key (sshd sets its own after the client's environment).
ways="tw ss proc endless stall"
for key in host stranger $ways; do ssh-keygen -q -t ed25519 -N '' -f "$dir/key_$key"; done
for way in $ways; do echo "environment=\"PATH=$dir/$way\" $(cat "$dir/key_$way.pub")"; done >"$dir/authorized_keys"
cat >"$dir/sshd_config" <<CONF
ListenAddress 127.0.0.1
HostKey $dir/key_host
AuthorizedKeysFile $dir/authorized_keys
UsePAM no
StrictModes no
PidFile none
PermitUserEnvironment PATH
CONF
# The remote's PATHs: tidewatch-ports itself, ss alone, what the /proc way needs, stand-ins.
mkdir "$dir/tw" "$dir/ss" "$dir/proc" "$dir/endless" "$dir/stall"
ln -s "$tool" "$dir/tw/tidewatch-ports"
ln -s "$(command -v ss)" "$dir/ss/ss"
ln -s "$(command -v od)" "$dir/proc/od"
ln -s "$(command -v cat)" "$dir/proc/cat"
printf '#!/bin/sh\nexec %s\n' "$(command -v yes)" >"$dir/endless/tidewatch-ports"
printf '#!/bin/sh\nexec %s 600\n' "$(command -v sleep)" >"$dir/stall/tidewatch-ports"
# The stalled host's ProxyCommand starts a process that heeds no end of input, to be seen
# gone with ssh.
printf '#!/bin/sh\nsleep 600 & echo $! $$ >%s/proxy.pid\nexec nsenter --target "$1" --net nc "$2" "$3"\n' "$dir" >"$dir/proxy"
chmod 755 "$dir/endless/tidewatch-ports" "$dir/stall/tidewatch-ports" "$dir/proxy"
# The remote listener, under a name with an escape character in it.
cp "$(command -v nc)" "$dir/evil"$'\e'"x"

private_home "$dir"
unshare --net --pid --fork --kill-child --mount-proc bash -c '
    ip link set lo up && mount -t tmpfs tmpfs /run && mkdir /run/sshd || exit 1
    "$3" -lk 127.0.0.1 4711 &
    exec "$1" -D -e -f "$2/sshd_config" 2>"$2/sshd.log"' _ "$sshd" "$dir" "$dir/evil"$'\e'x &
ns=$!
# unshare ignores SIGTERM while it waits; its child (the namespace's first process) goes with it.
trap 'kill $here_PID; kill -KILL $ns; wait 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do
    [ -n "$(nsenter --target $ns --net ss -Hltn 'sport = :22')" ] && break
    sleep 0.1
done

echo "tidewatch-test $(cat "$dir/key_host.pub")" >"$home/.ssh/known_hosts"
{
    for host in $ways; do printf 'Host %s\n  IdentityFile %s\n' "$host" "$dir/key_$host"; done
    echo "Host stall"
    echo "  ProxyCommand $dir/proxy $ns %h %p"
    echo "Host silent"
    echo "  ProxyCommand $(command -v sleep) 600"
    echo "Host refused"
    echo "  ProxyCommand none"
    echo "  Port 1"
    echo "Host locked"
    echo "  IdentityFile $dir/key_stranger"
    echo "Host *"
    echo "  HostName 127.0.0.1"
    echo "  User root"
    echo "  IdentitiesOnly yes"
    echo "  HostKeyAlias tidewatch-test"
    echo "  ProxyCommand nsenter --target $ns --net nc %h %p"
} >"$home/.ssh/config"

# A listener here that the remote lists must not show.
coproc here { exec python3 -c 'import socket, sys
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(); print(s.getsockname()[1], flush=True)
sys.stdin.read()'; }
read -r localport <&"${here[0]}"

for way in tw:tidewatch-ports ss:ss proc:proc; do
    out=$("$tool" --host "${way%%:*}" --json) || fail "${way%%:*}: exited with $?"
    grep -qF "\"host\": \"${way%%:*}\", \"source\": \"${way#*:}\", \"port\": 4711," <<<"$out" ||
        fail "${way%%:*}: the remote listener is not listed the ${way#*:} way: $out"
    ! grep -qF "\"port\": $localport," <<<"$out" || fail "${way%%:*}: a local listener is listed"
done
out=$("$tool" --host ss --host proc 4711) || fail "the table exited with $?"
grep -qF 'evil^[x' <<<"$out" && grep -qxF 'ss (ss):' <<<"$out" && grep -qxF 'proc (proc):' <<<"$out" ||
    fail "the table does not group the hosts or escape the name: $out"

# Failures: the reason on standard error, within the 20 s deadline.
expect_failure() { # HOSTS... -- REASON...
    local hosts=() err
    while [ "$1" != -- ]; do hosts+=(--host "$1"); shift; done
    shift
    SECONDS=0
    err=$("$tool" "${hosts[@]}" 2>&1 >/dev/null) && fail "${hosts[*]}: no failure"
    [ "$SECONDS" -le 22 ] || fail "${hosts[*]}: took $SECONDS s"
    for reason in "$@"; do grep -qF "$reason" <<<"$err" || fail "${hosts[*]}: no \"$reason\" in: $err"; done
}
expect_failure refused -- "tidewatch-ports: refused: ssh: connect to host 127.0.0.1 port 1: Connection refused"
# sshd offers a password too, which BatchMode never asks for, not even through an askpass.
printf '#!/bin/sh\ntouch %s/asked; echo wrong\n' "$dir" >"$dir/askpass" && chmod 755 "$dir/askpass"
SSH_ASKPASS=$dir/askpass SSH_ASKPASS_REQUIRE=force \
    expect_failure locked -- "tidewatch-ports: locked: root@127.0.0.1: Permission denied (publickey,password"
[ ! -e "$dir/asked" ] || fail "locked: ssh asked for a password"
expect_failure endless stall silent -- "endless: the answer is larger than 16 MiB" "stall: no answer in 20 s" \
    "silent: Connection to UNKNOWN port 65535 timed out"
proxy_gone() { # WHEN: what ssh started ended with it (a zombie waits for init only)
    local pid proxy
    read -r pid proxy <"$dir/proxy.pid" && rm "$dir/proxy.pid"
    for _ in $(seq 20); do [[ $(ps -o stat= -p "$pid") == [^Z]* ]] || return; sleep 0.1; done
    fail "stall: ssh's ProxyCommand outlived it $1"
    kill "$pid" "$proxy"
}
proxy_gone "at the deadline"
# Nor when the tool is ended meanwhile, which ends it as the signal would.
"$tool" --host stall &
for _ in $(seq 100); do [ -s "$dir/proxy.pid" ] && break; sleep 0.1; done
kill -TERM $!
wait $!
[ $? -eq 143 ] || fail "stall: not ended by SIGTERM"
proxy_gone "ended by SIGTERM"
[ "$failed" -eq 0 ] || cat "$dir/sshd.log"
exit $failed
