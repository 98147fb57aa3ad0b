#!/bin/sh
# Stands in for pkexec: prints its arguments, one a line, then acts by the port (the last
# argument): 2126 the authorization is dismissed, 2127 there is no agent to ask, 2003 it never
# ends, 2004 the port is still taken; any other is freed.
for arg in "$@"; do printf 'arg %s\n' "$arg"; done
case "$3" in
2126) exit 126 ;;
2127) exit 127 ;;
2003) exec sleep 600 ;;
2004) echo "2004: still listening: pid 4242 (python3) ignored the request; --force ends it"
      exit 4 ;;
*) echo "$3: free" ;;
esac
