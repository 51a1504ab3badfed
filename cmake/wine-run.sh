#!/usr/bin/env bash
# Runs a Windows program under wine in a prefix of the build's own, made on first use, so
# that tests never touch the user's wine setup or the store in the user's APPDATA.
set -eu
# usage: wine-run.sh PREFIX PROGRAM [ARG...]
prefix=$1
shift
for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then wine=$candidate; break; fi
done
: "${wine:?wine64 is not installed (apt-get install wine64)}"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  ( flock 9
    [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1
  ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$@"
