#!/usr/bin/env bash
# Runs a Windows program under the wine named by QRIMAGE_WINE, in
# WINEPREFIX, then ends that prefix's wine server and waits until it has
# exited, so the prefix can be removed at once: a server left to end on its
# own writes its registry files there a few seconds after the program
# returned. Exits with the program's status. Without a program it only ends
# the server (after several runs in one prefix, which share it).
# usage: QRIMAGE_WINE=WINE WINEPREFIX=DIR wine_run.sh [PROGRAM [ARGUMENTS...]]
set -uo pipefail
status=0
if (($#)); then
  "$QRIMAGE_WINE" "$@"
  status=$?
fi
server=$(dirname "$QRIMAGE_WINE")/wineserver
[[ -x $server ]] || server=wineserver
# -k asks the server to end (it fails when there is none), -w waits for it.
"$server" -k 2>/dev/null
"$server" -w
exit $status
