#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build both configurations and
# run every test: the native toolchain and libraries, the MinGW-w64 cross
# compiler, clang/lld for the Microsoft-ABI test host, and 32-bit Wine.
# (Where the kernel cannot run 32-bit programs, scripts/wine-tests.sh can use
# qemu's emulator if qemu-user-static is installed by hand: see there.)
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi

PKGS=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libcfitsio-dev libpng-dev fitsverify
  clang-14 lld-14 libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 xvfb x11-apps imagemagick icoutils
  python3
)

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is already installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
