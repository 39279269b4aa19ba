#!/usr/bin/env bash
# The camera plug-in's settings dialogs under Wine, on a virtual desktop
# inside Xvfb (scripts/wine-tests.sh runs this with its environment):
#   run.sh WINDOWS_BUILD_DIR
# Cross-builds dialogs_test.exe into the output directory, runs it next to
# the real DLL through the runner's GUI helper, and leaves the screenshots
# (imager_dialog.png, guider_dialog.png, guider_help.png) there.
set -euo pipefail

build=$(cd "${1:?usage: run.sh WINDOWS_BUILD_DIR}" && pwd)
here=${CV_TEST_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)}
out=${CV_TEST_OUT:-$build/wine-tests/dialogs}
gui=${CV_RUN_GUI:-$here/../support/run-gui.sh}
dll="$build/camera_plugin/Corvane KT Plug In.dll"
mkdir -p "$out"
cd "$out"

if [ ! -f "$dll" ]; then
  echo "dialogs: $dll not built"
  echo "0 passed, 1 failed"
  exit 1
fi

CXX=${CXX_MINGW:-i686-w64-mingw32-g++-win32}
"$CXX" -std=c++17 -O1 -Wall -Wextra -static -static-libgcc -static-libstdc++ \
  -o dialogs_test.exe "$here/dialogs_test.cpp" -luser32 -lgdi32
cp "$dll" .
rm -f ./*.png

# The program runs this (a Unix program, started natively by Wine) while a
# dialog is up; it sees the X display Wine draws on.
cat >shot.sh <<'SHOT'
#!/bin/sh
cd "$(dirname "$0")" || exit 1
sleep 0.5
xwd -root -silent | /usr/bin/convert xwd:- "$1.png"
SHOT
chmod +x shot.sh

bash "$gui" dialogs_test.exe "$out/shot.sh"
