#!/usr/bin/env bash
# The camera plug-in's settings dialogs under Wine, on a virtual X display:
#   run.sh WINDOWS_BUILD_DIR
# Cross-builds dialogs_test.exe, runs it next to the real DLL inside a Wine
# virtual desktop under Xvfb and answers its screenshot requests with xwd.
# Artefacts (the program, its output, the PNG screenshots) go to
# WINDOWS_BUILD_DIR/tests/windows/dialogs/.
set -euo pipefail

build=$(cd "${1:?usage: run.sh WINDOWS_BUILD_DIR}" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out="$build/tests/windows/dialogs"
dll="$build/camera_plugin/Corvane KT Plug In.dll"
mkdir -p "$out"

if [ ! -f "$dll" ]; then
  echo "dialogs: $dll not built" >&2
  exit 1
fi

# The runner prepares the Wine environment; alone, use a prefix of our own.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPREFIX="${WINEPREFIX:-$build/wine-prefix}"
if [ ! -d "$WINEPREFIX" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi

CXX=${CXX_MINGW:-i686-w64-mingw32-g++-win32}
"$CXX" -std=c++17 -O1 -Wall -Wextra -static -static-libgcc -static-libstdc++ \
  -o "$out/dialogs_test.exe" "$here/dialogs_test.cpp" -luser32 -lgdi32
cp "$dll" "$out/"
rm -f "$out"/*.request "$out"/*.done "$out"/*.png

# Inside the X session: start the program in a virtual desktop, take a
# screenshot whenever it asks for one, then wait for Wine to finish.
session() {
  cd "$out"
  wine explorer /desktop=cvdialogs,800x600 dialogs_test.exe >"$out/dialogs_test.log" 2>&1 &
  local wine_pid=$!
  local deadline=$((SECONDS + 120))
  while kill -0 "$wine_pid" 2>/dev/null; do
    for req in "$out"/*.request; do
      [ -e "$req" ] || continue
      local name
      name=$(basename "$req" .request)
      sleep 0.5  # let the window finish painting
      xwd -root -silent | /usr/bin/convert xwd:- "$out/$name.png" || true
      touch "$out/$name.done"
      rm -f "$req"
    done
    if [ $SECONDS -gt $deadline ]; then
      echo "dialogs: timed out" >>"$out/dialogs_test.log"
      kill "$wine_pid" 2>/dev/null || true
      break
    fi
    sleep 0.1
  done
  wait "$wine_pid" 2>/dev/null || true
  wineserver -w
}
export -f session
export out

xvfb-run -a -s "-screen 0 800x600x24" bash -c session
# explorer /desktop does not pass the program's console output through on
# every Wine version; the program's own output is in the log.
tr -d '\r' <"$out/dialogs_test.log" | grep -E '^(PASS|FAIL|note|dialogs:)|passed, ' || true
tail -n 5 "$out/dialogs_test.log" | tr -d '\r' | grep -qE '^[0-9]+ passed, 0 failed$'
