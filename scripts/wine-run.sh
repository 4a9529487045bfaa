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
# Starting a Wine program costs about a second when the server and Wine's own
# services have to come up first, a third of that when they still run: keep
# them for a few seconds after the last program, so a test run reuses them.
# They are started here, away from the caller's output: CTest waits for every
# process that holds a test's output to end.
if "$wineserver" -p10 </dev/null >/dev/null 2>&1; then
  "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
fi
exec "$WINE" "$@"
