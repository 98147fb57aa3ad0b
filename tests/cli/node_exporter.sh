#!/usr/bin/env bash
# tidewatch-ports --metrics-file as the node exporter's textfile collector reads it: the
# exporter runs in a private network namespace on loopback with that collector alone, and
# its /metrics must carry the series without a scrape error, a program name with a line
# feed, a double quote and a backslash included. An unwritable folder fails the write and
# leaves the old file as it was.
#
#   node_exporter.sh TOOL
#
# Exit status: 0 passed, 1 failed, 77 skipped (no node exporter, or no network namespace).
set -uo pipefail
tool=$1
exporter=$(command -v prometheus-node-exporter || command -v node_exporter) || {
    echo "SKIP: prometheus-node-exporter is not installed (only .ci/run installs it)"
    exit 77
}
unshare --net true 2>/dev/null || {
    echo "SKIP: no private network namespace here (unshare --net needs root)"
    exit 77
}
dir=$(mktemp -d "${TMPDIR:-/tmp}/tidewatch-metrics.XXXXXX")
trap 'rm -rf "$dir"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

# A stand-in for lsof: a name that held a line feed, written by lsof as "\n".
mkdir -m 755 "$dir/textfile"
chmod 755 "$dir"
printf '%s\n' '#!/bin/sh' \
    "printf 'p7\\nca\"b\\\\c\\\\nd\\nn127.0.0.1:8080\\np8\\ncweb\\nn*:80\\np9\\ncweb\\nn*:80\\n'" \
    >"$dir/lister"
chmod 755 "$dir/lister"
prom=$dir/textfile/tidewatch.prom
"$tool" --lsof "$dir/lister" --metrics-file "$prom" || fail "--metrics-file exited with $?"
# A new file renamed over the old, so the collector never reads one half written.
inode=$(stat -c %i "$prom")
"$tool" --lsof "$dir/lister" --metrics-file "$prom" || fail "--metrics-file exited with $?"
[ "$(stat -c %i "$prom")" != "$inode" ] || fail "the file was written in place"
[ "$(ls "$dir/textfile")" = tidewatch.prom ] || fail "left behind: $(ls "$dir/textfile")"

scrape=$(unshare --net bash -c '
    ip link set lo up || exit 1
    "$1" --collector.disable-defaults --collector.textfile \
        --collector.textfile.directory="$2" --web.listen-address=127.0.0.1:9100 2>/dev/null &
    python3 - <<"PY"
import sys, time, urllib.request
deadline = time.monotonic() + 20
while True:
    try:
        sys.stdout.write(urllib.request.urlopen("http://127.0.0.1:9100/metrics").read().decode())
        break
    except OSError:
        if time.monotonic() > deadline:
            raise
        time.sleep(0.1)
PY
    status=$?
    kill %1
    exit $status' _ "$exporter" "$dir/textfile") || fail "no scrape of the exporter"

for series in 'node_textfile_scrape_error 0' \
    'tidewatch_listening{container="",exposure="loopback",port="8080",program="a\"b\\c\\nd",protocol="tcp",unit="",user=""} 1' \
    'tidewatch_listening{container="",exposure="all",port="80",program="web",protocol="tcp",unit="",user=""} 2' \
    'tidewatch_listening_ports{protocol="tcp"} 3'; do
    grep -qxF "$series" <<<"$scrape" || fail "not scraped: $series"
done
grep -q '^tidewatch_scan_duration_seconds [0-9]' <<<"$scrape" || fail "no scan duration"
[ "$failed" -eq 0 ] || grep tidewatch_ <<<"$scrape"

# An unwritable folder: exit 1 with the reason; the old file stays.
cp "$prom" "$dir/old"
if [ "$(id -u)" -eq 0 ]; then
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
    as=()
    chmod 555 "$dir/textfile"
fi
"${as[@]}" "$tool" --lsof "$dir/lister" --metrics-file "$prom" 2>"$dir/err"
status=$?
[ "$status" -eq 1 ] || fail "unwritable folder: status $status"
grep -q "cannot write $prom: ." "$dir/err" || fail "unwritable folder: $(cat "$dir/err")"
cmp -s "$prom" "$dir/old" || fail "the old file changed"
chmod 755 "$dir/textfile"
exit $failed
