#!/usr/bin/env bash
# The filter wheel plug-in's ten exports as a Microsoft-built host sees them
# (wheel_exports.cpp).
set -euo pipefail
dll="$CV_WIN_BUILD/filter_wheel_plugin/Cv Filter Wheel Plug In.dll"
if [ ! -f "$dll" ]; then
  echo "missing $dll: the filter wheel plug-in was not built"
  echo "0 passed, 1 failed"
  exit 1
fi
"$CV_BUILD_MSVC_HOST" wheel_exports.exe "$CV_TEST_DIR/wheel_exports.cpp"
cp "$dll" .
"$WINE" ./wheel_exports.exe
