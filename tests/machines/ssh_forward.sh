#!/usr/bin/env bash
# The panel's machines over the real OpenSSH: an sshd as root in a private network and pid
# namespace (its own keys, no PAM) with a web server only there, reached through this
# script's ssh configuration in a private home (ssh reads the passwd home, so a private
# mount namespace puts one over it). tst_hostwatch's realSsh lists the machine over a kept
# connection, fetches a page through a forward of its port and ends as the app quits; then
# no ssh of it may be left, neither the forward nor the kept connection.
#
#   ssh_forward.sh TST_HOSTWATCH
#
# Exit status: 0 passed, 1 failed, 77 skipped (no sshd, nc or namespaces).
set -uo pipefail
test=$(realpath "$1")
source "$(dirname "${BASH_SOURCE[0]}")/../common/real_sshd.sh"
dir=$(mktemp -d "${TMPDIR:-/tmp}/tidewatch-forward.XXXXXX")
for key in host me; do ssh-keygen -q -t ed25519 -N '' -f "$dir/key_$key"; done
cp "$dir/key_me.pub" "$dir/authorized_keys"
printf '%s\n' 'ListenAddress 127.0.0.1' "HostKey $dir/key_host" "AuthorizedKeysFile $dir/authorized_keys" \
    'UsePAM no' 'StrictModes no' 'PidFile none' >"$dir/sshd_config"
mkdir "$dir/www" "$dir/control" && chmod 700 "$dir/control"
echo "through the forward" >"$dir/www/index.html"
private_home "$dir"
unshare --net --pid --fork --kill-child --mount-proc bash -c '
    ip link set lo up && mount -t tmpfs tmpfs /run && mkdir /run/sshd && cd "$2/www" || exit 1
    python3 -m http.server --bind 127.0.0.1 8000 >/dev/null 2>&1 &
    exec "$1" -D -e -f "$2/sshd_config" 2>"$2/sshd.log"' _ "$sshd" "$dir" &
ns=$!
# unshare ignores SIGTERM while it waits; its child (the namespace's first process) goes with it.
trap 'kill -KILL $ns; wait 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do
    [ "$(nsenter --target $ns --net ss -Hltn 'sport = :22 or sport = :8000' | wc -l)" = 2 ] && break
    sleep 0.1
done
echo "tidewatch-test $(cat "$dir/key_host.pub")" >"$home/.ssh/known_hosts"
printf '%s\n' 'Host tidewatch-forward-test' '  HostName 127.0.0.1' '  User root' \
    "  IdentityFile $dir/key_me" '  IdentitiesOnly yes' '  HostKeyAlias tidewatch-test' \
    "  ProxyCommand nsenter --target $ns --net nc %h %p" >"$home/.ssh/config"

REAL_SSH_HOST=tidewatch-forward-test REAL_SSH_CONTROL="$dir/control" "$test" realSsh || {
    cat "$dir/sshd.log"
    exit 1
}
# The kept connection goes once it has answered "ssh -O exit"; a moment at most.
for _ in $(seq 50); do
    left=$(pgrep -af -- "$dir/control/|-- tidewatch-forward-test") || exit 0
    sleep 0.1
done
echo "FAIL: ssh left behind: $left"
exit 1
