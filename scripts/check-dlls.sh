#!/usr/bin/env bash
# Checks the cross-built DLLs as a loader sees them, from their files alone:
# the library name in the export directory, every export's name and
# ordinal, that no other ordinal is filled, and that nothing but the
# system's DLLs is imported. Runs anywhere the MinGW binutils are.
#   scripts/check-dlls.sh BUILD_DIR      (e.g. build/windows)
set -uo pipefail
BUILD_DIR="${1:?usage: $0 BUILD_DIR}"
OBJDUMP=i686-w64-mingw32-objdump
passed=0
failed=0

check() {  # check DESCRIPTION CONDITION-EXIT-CODE
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1))
    echo "ok   $1"
  else
    failed=$((failed + 1))
    echo "FAIL $1"
  fi
}

# Prints "ordinal name" for every named export, and "ordinal -" for every
# filled entry of the address table, then "base N" and "library NAME".
exports_of() {
  "$OBJDUMP" -p "$1" | awk '
    /^Name[ \t]+[0-9a-f]+ / { sub(/^Name[ \t]+[0-9a-f]+ /, ""); print "library " $0 }
    /^Ordinal Base/ { base = $3; print "base " base }
    /^\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
    /Export Address Table -- Ordinal Base/ { addresses = 1; next }
    names && /^\t\[/ { gsub(/[\[\]]/, " "); print ($1 + base) " " $2; next }
    names && /^$/ { names = 0 }
    addresses && /\+base\[/ { gsub(/[\[\]]/, " "); print "filled " $3; next }
    addresses && /^$/ { addresses = 0 }'
}

imports_of() { "$OBJDUMP" -p "$1" | awk '/DLL Name:/ { print toupper($3) }' | sort -u; }

only_system_imports() {  # only_system_imports DLL ALLOWED...
  local dll="$1"; shift
  local bad=0
  while read -r imp; do
    local ok=1
    for a in "$@"; do [ "$imp" = "$a" ] && ok=0; done
    if [ $ok -ne 0 ]; then echo "     unexpected import $imp"; bad=1; fi
  done < <(imports_of "$dll")
  return $bad
}

CAM="$BUILD_DIR/camera_plugin/Corvane KT Plug In.dll"
WHEEL="$BUILD_DIR/filter_wheel_plugin/Cv Filter Wheel Plug In.dll"

if [ -f "$CAM" ]; then
  E=$(exports_of "$CAM")
  grep -qx 'library Corvane KT Plug In.dll' <<<"$E"; check "camera DLL names itself \"Corvane KT Plug In.dll\"" $?
  for pair in "20 DllMain" "21 CamAPIGetDisplayName" "22 CamAPIGetDeviceId" "24 AllocObject"; do
    grep -qx "$pair" <<<"$E"; check "camera export $pair" $?
  done
  low=$(awk '$1 == "filled" && $2 < 20' <<<"$E" | wc -l)
  [ "$low" -eq 0 ]; check "camera ordinals 1 to 19 are empty" $?
  cls=$(awk '$1 ~ /^[0-9]+$/ && $1 != 20 && $1 != 21 && $1 != 22 && $1 != 24 { print }' <<<"$E")
  bad=$(awk '$2 !~ /10CCamAPIDll/' <<<"$cls" | wc -l)
  [ "$bad" -eq 0 ] && [ -n "$cls" ]; check "camera ordinals 23 and 25 upward hold only the class's members" $?
  grep -q '^23 ' <<<"$cls"; check "camera ordinal 23 holds a class member" $?
  n=$(wc -l <<<"$cls"); last=$((25 + n - 2))
  gaps=0; for o in 23 $(seq 25 "$last"); do grep -q "^$o " <<<"$cls" || gaps=1; done
  [ $gaps -eq 0 ]; check "camera class exports fill 23 and 25..$last without gaps" $?
  for sym in _ZTV10CCamAPIDll _ZN10CCamAPIDllC1Ev _ZN10CCamAPIDllC1ERKS_ _ZN10CCamAPIDllD1Ev \
      _ZN10CCamAPIDllaSERKS_ _ZN10CCamAPIDll11FindCamerasEv _ZN10CCamAPIDll4SendEPKhm; do
    grep -q " $sym\$" <<<"$cls"; check "camera exports $sym" $?
  done
  only_system_imports "$CAM" KERNEL32.DLL MSVCRT.DLL SETUPAPI.DLL USER32.DLL
  check "camera DLL imports only system DLLs" $?
else
  check "camera DLL $CAM exists" 1
fi

if [ -f "$WHEEL" ]; then
  E=$(exports_of "$WHEEL")
  grep -qx 'library Cv Filter Wheel Plug In.dll' <<<"$E"; check "wheel DLL names itself \"Cv Filter Wheel Plug In.dll\"" $?
  want="21 DynDrvrGetDeviceName
22 DynDrvrGetDeviceId
30 cfwapiGetDLLVersion
40 cfwapiConnect
50 cfwapiIsConnected
60 cfwapiDisconnect
70 cfwapiGetNumberFilters
80 cfwapiMoveTo
90 cfwapiSettings
100 cfwapiGetDescription"
  got=$(awk '$1 ~ /^[0-9]+$/' <<<"$E" | sort -n)
  [ "$got" = "$want" ]; check "wheel exports exactly its ten names at their ordinals" $?
  filled=$(awk '$1 == "filled" { print $2 }' <<<"$E" | sort -n | tr '\n' ' ')
  [ "$filled" = "21 22 30 40 50 60 70 80 90 100 " ]; check "wheel ordinals other than the ten are empty" $?
  only_system_imports "$WHEEL" HID.DLL KERNEL32.DLL MSVCRT.DLL SETUPAPI.DLL USER32.DLL
  check "wheel DLL imports only system DLLs" $?
else
  check "wheel DLL $WHEEL exists" 1
fi

if command -v wrestool >/dev/null 2>&1 && [ -f "$CAM" ]; then
  R=$(wrestool -l "$CAM" 2>/dev/null)
  for want in "--type=5 --name=298" "--type=5 --name=299" "--type=2 --name=119" "--type=16"; do
    grep -q -- "$want" <<<"$R"; check "camera DLL has resource $want" $?
  done
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
