#!/usr/bin/env bash
# The Debian package as a distribution checks it: cpack makes the .deb from a built tree
# into a temporary folder, and lintian may report neither an error nor a warning.
#
#   lintian.sh BUILD_DIR
#
# Exit status: 0 passed, 1 failed, 77 skipped (lintian or dpkg-shlibdeps is missing).
set -uo pipefail

build=$1
for tool in lintian dpkg-shlibdeps; do
    command -v "$tool" >/dev/null ||
        { echo "SKIP: $tool is not installed (see scripts/debian-packages.txt)"; exit 77; }
done
out=$(mktemp -d "${TMPDIR:-/tmp}/tidewatch-deb.XXXXXX")
trap 'rm -rf "$out"' EXIT

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
deb=$(ls "$out"/*.deb)
# Info and pedantic tags are advice; errors and warnings are faults. What lintian says of
# itself (running as root, for one) goes to stderr and is no tag.
tags=$(lintian --no-cfg "$deb" 2>"$out/stderr")
echo "$tags"
cat "$out/stderr"
if grep -q '^[EW]: ' <<<"$tags"; then
    echo "FAIL: lintian reports errors or warnings for ${deb##*/}"
    exit 1
fi
echo "PASS: ${deb##*/}"
