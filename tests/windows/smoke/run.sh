#!/usr/bin/env bash
# The camera plug-in as a Microsoft-built host sees it (camera_smoke.cpp).
set -euo pipefail
dll="$CV_WIN_BUILD/camera_plugin/Corvane KT Plug In.dll"
if [ ! -f "$dll" ]; then
  echo "missing $dll: build the Windows configuration first"
  exit 1
fi
"$CV_BUILD_MSVC_HOST" camera_smoke.exe "$CV_TEST_DIR/camera_smoke.cpp"
# Loaded by its own file name from the host's directory, as a host does.
cp "$dll" .
"$WINE" ./camera_smoke.exe
