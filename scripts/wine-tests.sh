#!/usr/bin/env bash
# Runs every test under tests/windows/<name>/ against the cross-built DLLs:
#   scripts/wine-tests.sh BUILD_DIR        (e.g. build/windows)
#
# Each test directory has a run.sh. It is run with bash, from its output
# directory BUILD_DIR/wine-tests/<name>, with this environment:
#   CV_WIN_BUILD       the Windows build directory (absolute)
#   CV_SOURCE_DIR      the source tree
#   CV_TEST_DIR        the test's own directory in the source tree
#   CV_TEST_OUT        its output directory (created, the working directory)
#   CV_BUILD_MSVC_HOST tests/windows/support/build-msvc-host.sh: builds a
#                      Microsoft-ABI test host (see that script)
#   CV_RUN_GUI         tests/windows/support/run-gui.sh: runs a program under
#                      Wine on a virtual desktop inside Xvfb (for dialogs)
#   WINEPREFIX, WINEDEBUG=-all, WINEDLLOVERRIDES="mscoree,mshtml="
#   WINE               the wine command
# A test passes when run.sh exits 0. Its output goes to
# BUILD_DIR/wine-tests/<name>/output.txt and is shown when it fails.
#
# The Wine prefix is made once, under BUILD_DIR/wine-tests/prefix, and
# reused. Only this prefix's wineserver is ever stopped.
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
if [ ! -d "$1" ]; then
  echo "wine-tests: no build directory $1" >&2
  exit 2
fi
BUILD_DIR="$(cd "$1" && pwd)"
SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TESTS_DIR="$SOURCE_DIR/tests/windows"
OUT_ROOT="$BUILD_DIR/wine-tests"
TEST_TIMEOUT="${CV_WINE_TEST_TIMEOUT:-900}"
# Making a prefix under emulation on a busy machine took over ten minutes.
PREFIX_TIMEOUT="${CV_WINE_PREFIX_TIMEOUT:-2400}"

export WINEPREFIX="$OUT_ROOT/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
export WINE="${WINE:-wine}"
export CV_WIN_BUILD="$BUILD_DIR"
export CV_SOURCE_DIR="$SOURCE_DIR"
export CV_BUILD_MSVC_HOST="$TESTS_DIR/support/build-msvc-host.sh"
export CV_RUN_GUI="$TESTS_DIR/support/run-gui.sh"
# Wine must not try to open a display for console tests.
unset DISPLAY

say() { echo "wine-tests: $*"; }

for tool in "$WINE" wineboot wineserver; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    say "$tool not found (scripts/install-deps.sh installs wine and wine32)"
    exit 1
  fi
done

# 32-bit Wine needs the kernel to run i386 programs. A kernel with its
# IA-32 emulation switched off cannot, and then nothing here can run: say so
# and exit 77 (skipped), so that the caller can tell "not run" from "failed".
# qemu's user-mode emulator can stand in (CV_WINE_EMULATE=1, as root), but
# under it making a prefix alone takes far longer than a test run may.
can_run_i386() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
if ! can_run_i386; then
  qemu=$(command -v qemu-i386-static || true)
  binfmt=/proc/sys/fs/binfmt_misc
  if [ "${CV_WINE_EMULATE:-0}" = 1 ] && [ -n "$qemu" ] && [ "$(id -u)" -eq 0 ]; then
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
    if [ -e "$binfmt/register" ] && [ ! -e "$binfmt/cv-qemu-i386" ]; then
      say "this kernel does not run 32-bit programs; handing them to $qemu"
      printf '%s' ':cv-qemu-i386:M::\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
        > "$binfmt/register" 2>/dev/null || true
    fi
  fi
  if ! can_run_i386; then
    say "SKIPPED: this machine cannot run 32-bit programs (the kernel's IA-32"
    say "emulation is off), so 32-bit Wine cannot start and no Wine test ran."
    say "Boot with ia32_emulation=on, or set CV_WINE_EMULATE=1 to try qemu (slow)."
    exit 77
  fi
  say "32-bit programs run: $(/usr/lib/wine/wine --version 2>/dev/null)"
fi

stop_wineserver() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wineserver EXIT

mkdir -p "$OUT_ROOT"
# The prefix is ready once wineboot went through; a half-made one (an
# interrupted run) is made again.
if [ ! -f "$WINEPREFIX/.cv-prefix-ready" ]; then
  say "preparing the Wine prefix $WINEPREFIX (first run only)"
  stop_wineserver
  rm -rf "$WINEPREFIX"
  start=$(date +%s)
  # Under emulation wine's own wait for the new prefix can run out while the
  # set-up still goes on in the background: wineboot then fails with
  # "could not load kernel32.dll". So wait for every Wine process of the
  # prefix to end and judge the prefix by what it holds.
  timeout "$PREFIX_TIMEOUT" wineboot -i >"$OUT_ROOT/wineboot.log" 2>&1
  boot_rc=$?
  timeout "$PREFIX_TIMEOUT" wineserver -w
  if [ ! -f "$WINEPREFIX/system.reg" ] ||
    [ ! -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
    say "wineboot -i did not make the prefix (exit code $boot_rc); see $OUT_ROOT/wineboot.log"
    tail -n 20 "$OUT_ROOT/wineboot.log" | sed 's/^/    /'
    echo "0 passed, 1 failed"
    exit 1
  fi
  [ $boot_rc -eq 0 ] || say "wineboot -i exited with $boot_rc, but the prefix is complete"
  touch "$WINEPREFIX/.cv-prefix-ready"
  say "prefix ready in $(($(date +%s) - start)) s"
fi

passed=0
failed=0
for dir in "$TESTS_DIR"/*/; do
  name=$(basename "$dir")
  [ -f "$dir/run.sh" ] || continue
  out="$OUT_ROOT/$name"
  mkdir -p "$out"
  start=$(date +%s%N)
  (
    cd "$out" &&
      CV_TEST_DIR="${dir%/}" CV_TEST_OUT="$out" timeout "$TEST_TIMEOUT" bash "$dir/run.sh" "$BUILD_DIR"
  ) >"$out/output.txt" 2>&1 </dev/null
  rc=$?
  # Let the test's Wine processes end before the next one starts.
  timeout 120 wineserver -w >/dev/null 2>&1 || stop_wineserver
  ms=$((($(date +%s%N) - start) / 1000000))
  summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$out/output.txt" | tail -n 1)
  if [ $rc -eq 0 ]; then
    passed=$((passed + 1))
    printf 'PASS %-16s %6d ms  %s\n' "$name" "$ms" "$summary"
  else
    failed=$((failed + 1))
    reason="exit code $rc"
    [ $rc -eq 124 ] && reason="timed out after $TEST_TIMEOUT s"
    printf 'FAIL %-16s %6d ms  %s (%s)\n' "$name" "$ms" "$summary" "$reason"
    sed 's/^/    | /' "$out/output.txt" | tail -n 80
  fi
done

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
