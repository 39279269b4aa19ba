#!/usr/bin/env bash
# Runs a Windows program under Wine on a virtual desktop inside a private
# Xvfb server, for tests that show windows:
#   run-gui.sh PROGRAM.exe [ARGS...]
# The virtual desktop gives dialogs a caption bar and lets them close
# quickly. `explorer /desktop` does not hand on the program's exit code, so
# the verdict is the program's closing "N passed, N failed" line: this
# script fails when that line is missing or counts a failure. Needs
# WINEPREFIX etc. as scripts/wine-tests.sh sets them.
set -uo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
export WINE="${WINE:-wine}"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
xvfb-run -a -s "-screen 0 800x600x24" sh -c '
  "$WINE" explorer /desktop=cvtest,800x600 "$@"
  wineserver -w
' sh "$@" 2>&1 | tee "$log"
summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
if [ -z "$summary" ]; then
  echo "run-gui: $1 printed no closing 'N passed, N failed' line" >&2
  exit 1
fi
case "$summary" in
  *" 0 failed"*) exit 0 ;;
  *) exit 1 ;;
esac
