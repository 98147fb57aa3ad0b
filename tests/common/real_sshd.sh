# Sourced by the tests that run a real sshd in private namespaces: skips (77, saying why)
# where sshd, nc or namespaces are missing, runs the sourcing script again in a private
# mount namespace, and sets $sshd. private_home DIR then mounts DIR/home, with its .ssh, over
# the passwd home (ssh reads that one, not $HOME) and sets $home.
sshd=$(PATH=$PATH:/usr/sbin command -v sshd) || {
    echo "SKIP: sshd not installed (openssh-server: only .ci/run installs it)"
    exit 77
}
command -v nc >/dev/null || { echo "SKIP: nc not installed (netcat-openbsd)"; exit 77; }
unshare --mount --net --pid --fork true 2>/dev/null || {
    echo "SKIP: no private namespaces here (they need root)"
    exit 77
}
if [ -z "${TIDEWATCH_PRIVATE_HOME:-}" ]; then
    TIDEWATCH_PRIVATE_HOME=1 exec unshare --mount bash "$0" "$@"
fi

private_home() {
    home=$(getent passwd "$(id -u)" | cut -d: -f6)
    mkdir -m 700 "$1/home" "$1/home/.ssh"
    mount --bind "$1/home" "$home"
}
