#!/usr/bin/env bash
# The cross-built host program loads the camera plug-in and lists cameras:
# under Wine there is no camera driver, so it finds none.
set -euo pipefail
dll="$CV_WIN_BUILD/camera_plugin/Corvane KT Plug In.dll"
exe="$CV_WIN_BUILD/host/cvhost.exe"
for f in "$dll" "$exe"; do
  if [ ! -f "$f" ]; then
    echo "missing $f: build the Windows configuration first"
    exit 1
  fi
done
cp "$dll" "$exe" .

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    echo "ok   $what"
    passed=$((passed + 1))
  else
    echo "FAIL $what"
    failed=$((failed + 1))
  fi
}

set +e
"$WINE" ./cvhost.exe --camera-plugin "Corvane KT Plug In.dll" info >info.txt 2>&1
rc=$?
set -e
tr -d '\r' <info.txt >info.clean.txt
sed 's/^/  > /' info.clean.txt

check "cvhost info exits 0 (got $rc)" test "$rc" -eq 0
check "names the plug-in's display name" grep -qx 'Display name Corvane KT Series' info.clean.txt
check "reports device id 10000" grep -qx 'Device id    10000' info.clean.txt
check "reports interface version 5" grep -qx 'Version      5' info.clean.txt
check "finds no camera under Wine" grep -qx 'Cameras published by the driver: 0' info.clean.txt

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
