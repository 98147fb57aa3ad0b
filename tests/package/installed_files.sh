#!/usr/bin/env bash
# What the package carries, installed from a built tree into a temporary root and checked
# with the tools a distribution checks it with:
#
#   installed_files.sh BUILD_DIR APP_ID
#
# Every file in place, the 48x48 icon really 48x48, the desktop entry (without even a hint)
# and the AppStream metadata valid (and naming each other), the man pages free of groff
# warnings, the bash completion parsed and completing an option.
# Exit status: 0 passed, 1 failed, 77 skipped (a checking tool is missing, nothing failed).
set -uo pipefail

build=$1
id=$2
root=$(mktemp -d "${TMPDIR:-/tmp}/tidewatch-package.XXXXXX")
trap 'rm -rf "$root"' EXIT
failed=0
missing=()

fail() {
    echo "FAIL: $*"
    failed=1
}

# Runs a check when its tool is there; a check passes when it exits 0 and says nothing on
# stderr (groff and man warn there with status 0).
check() {
    local tool=$1
    shift
    if ! command -v "$tool" >/dev/null; then
        missing+=("$tool")
        return
    fi
    local output
    if ! output=$("$@" 2>"$root/stderr") || [ -s "$root/stderr" ]; then
        fail "$*"
        echo "$output"
        cat "$root/stderr"
    fi
}

cmake --install "$build" --prefix "$root/usr" >/dev/null || {
    echo "FAIL: cmake --install"
    exit 1
}
share=$root/usr/share
desktop=$share/applications/$id.desktop
metainfo=$share/metainfo/$id.metainfo.xml
png=$share/icons/hicolor/48x48/apps/$id.png
mans=("$share/man/man1/tidewatch.1.gz" "$share/man/man1/tidewatch-ports.1.gz")
completion=$share/bash-completion/completions/tidewatch-ports
for file in "$root/usr/bin/tidewatch" "$root/usr/bin/tidewatch-ports" "$desktop" "$metainfo" \
    "$share/icons/hicolor/scalable/apps/$id.svg" "$png" "${mans[@]}" "$completion" \
    "$share/doc/tidewatch/copyright" "$share/doc/tidewatch/changelog.gz" \
    "$root/usr/lib/systemd/system/tidewatch-metrics."{service,timer} \
    "$share/polkit-1/actions/com.kestrel.tidewatch.free-port.policy"; do
    [ -f "$file" ] || fail "not installed: ${file#"$root"}"
done
[ "$failed" -eq 0 ] || exit 1

# A PNG's width and height are the big-endian words at bytes 16 and 20.
size=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ')
[ "$size" = " 0 0 0 48 0 0 0 48" ] || fail "$png is not 48x48: bytes$size"

check desktop-file-validate desktop-file-validate "$desktop"
# Hints go to stdout with status 0; a second main category lists the app twice in menus.
if command -v desktop-file-validate >/dev/null; then
    hints=$(desktop-file-validate "$desktop")
    [ -z "$hints" ] || fail "desktop-file-validate: $hints"
fi
check appstreamcli appstreamcli validate --no-net "$metainfo"
# The tree as a software centre reads it: the metadata's launchable names the desktop file.
check appstreamcli appstreamcli validate-tree --no-net "$root"
for man in "${mans[@]}"; do
    check man env LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$man"
done

check xmllint xmllint --noout "$share/polkit-1/actions/com.kestrel.tidewatch.free-port.policy"
check bash bash -n "$completion"
if command -v bash >/dev/null; then
    words=$(bash -c 'source "$1"
        function=$(complete -p tidewatch-ports | sed -n "s/.*-F \([^ ]*\).*/\1/p")
        COMP_WORDS=(tidewatch-ports --js) COMP_CWORD=1
        "$function" && echo "${COMPREPLY[*]}"' _ "$completion" 2>&1)
    [ "$words" = --json ] || fail "completing \"--js\" gave \"$words\", not \"--json\""
fi

[ "$failed" -eq 0 ] || exit 1
if [ ${#missing[@]} -gt 0 ]; then
    echo "SKIP: not installed: ${missing[*]} (see scripts/debian-packages.txt)"
    exit 77
fi
echo "PASS"
