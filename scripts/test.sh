#!/usr/bin/env bash
# Installs what is missing, builds both configurations and runs every test:
# native (AddressSanitizer + UndefinedBehaviorSanitizer), the two-thread
# tests under ThreadSanitizer, and the real Windows DLLs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

JOBS="${JOBS:-$(nproc)}"

echo "== native build (ASan + UBSan) =="
cmake --preset native >/dev/null
cmake --build --preset native -j "$JOBS"
echo "== native tests =="
ASAN_OPTIONS=detect_leaks=1 ctest --preset native -j "$JOBS"

echo "== ThreadSanitizer build =="
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan -j "$JOBS"
echo "== ThreadSanitizer tests =="
TSAN_OPTIONS="halt_on_error=1" ctest --preset native-tsan -L threads

echo "== Windows build (MinGW-w64 i686) =="
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$JOBS"
if [ -x scripts/wine-tests.sh ]; then
  echo "== Windows tests under Wine =="
  bash scripts/wine-tests.sh build/windows
fi
