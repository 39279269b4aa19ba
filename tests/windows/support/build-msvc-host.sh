#!/usr/bin/env bash
# Builds a 32-bit test host with Microsoft's C++ ABI and no C runtime:
#   build-msvc-host.sh OUT.exe SOURCE.cpp [EXTRA_IMPORT_LIB...]
# clang compiles for i686-pc-windows-msvc (Microsoft's vtable layout,
# thiscall and `delete` through slot 0); lld-link links it against the MinGW
# import libraries of KERNEL32 and USER32 (and any extra ones named, e.g.
# libgdi32.a). The source includes tests/windows/support/msvc_host.h, which
# supplies the entry point HostEntry.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 OUT.exe SOURCE.cpp [EXTRA_IMPORT_LIB...]" >&2
  exit 2
fi
out=$1
src=$2
shift 2

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mingw_lib=/usr/i686-w64-mingw32/lib

pick() {
  for c in "$@"; do
    if command -v "$c" >/dev/null 2>&1; then echo "$c"; return 0; fi
  done
  echo "build-msvc-host: none of $* found (scripts/install-deps.sh installs them)" >&2
  return 1
}
CLANG=$(pick clang-14 clang)
LLD_LINK=$(pick lld-link-14 lld-link)

mkdir -p "$(dirname "$out")"
obj="${out%.exe}.obj"

# -ffreestanding: no C runtime headers or built-in library calls beyond the
# memset/memcpy the support header defines; -mno-stack-arg-probe: no __chkstk.
"$CLANG" --target=i686-pc-windows-msvc -std=c++17 -O1 -g0 \
  -fno-exceptions -fno-rtti -fno-threadsafe-statics -ffreestanding -fno-stack-protector -mno-stack-arg-probe \
  -Wall -Wextra -Werror=return-type -I "$here" \
  -c "$src" -o "$obj"

"$LLD_LINK" /nologo /nodefaultlib /safeseh:no /subsystem:console /entry:HostEntry \
  /libpath:"$mingw_lib" /out:"$out" "$obj" libkernel32.a libuser32.a "$@"
