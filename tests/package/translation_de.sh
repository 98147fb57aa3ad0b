#!/usr/bin/env bash
# The German catalogue loads from the system locale, and English stays the default:
#
#   translation_de.sh TIDEWATCH_PORTS
set -uo pipefail

ports=$1
failed=0
unset LC_ALL LC_MESSAGES LANGUAGE

# "<Pfad>" is our catalogue's word (Qt's own has "Optionen", not this one).
for case in "de_DE.UTF-8:<Pfad>" "de_AT.UTF-8:<Pfad>" "C:<path>" "en_GB.UTF-8:<path>"; do
    lang=${case%%:*}
    word=${case#*:}
    if ! LANG=$lang "$ports" --help | grep -qF -- "--lsof $word"; then
        echo "FAIL: LANG=$lang: --help does not show \"--lsof $word\""
        failed=1
    fi
done
# A usage error in German, still on stderr with status 2.
error=$(LANG=de_DE.UTF-8 "$ports" --repeat 0 2>&1 >/dev/null)
status=$?
if [ "$status" -ne 2 ] || ! grep -qF "braucht eine ganze Zahl" <<<"$error"; then
    echo "FAIL: LANG=de_DE.UTF-8 --repeat 0 gave status $status and: $error"
    failed=1
fi
[ "$failed" -eq 0 ] && echo PASS
exit "$failed"
