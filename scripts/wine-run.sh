#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix PREFIX, making the prefix
# on first use. CTest and the build call it as the cross-compiling emulator.
#   scripts/wine-run.sh PREFIX WINE PROGRAM [ARGUMENTS...]
set -euo pipefail
export WINEPREFIX=$1 WINE=$2
shift 2
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs, no menu entries in the user's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineserver=$(dirname "$WINE")/wineserver

if [ ! -f "$WINEPREFIX/.gridmint-ready" ]; then
  mkdir -p "$WINEPREFIX"
  # Tests start in parallel; one of them makes the prefix, the others wait.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.gridmint-ready" ]; then
      "$WINE" wineboot --init >/dev/null 2>&1
      "$wineserver" --wait
      touch "$WINEPREFIX/.gridmint-ready"
    fi
  ) 9>"$WINEPREFIX/.lock"
fi
exec "$WINE" "$@"
