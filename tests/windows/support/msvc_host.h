// The little runtime of a test host built with Microsoft's C++ ABI (clang
// --target=i686-pc-windows-msvc, linked with lld-link against the MinGW
// import libraries and no C runtime): the few Win32 declarations the hosts
// need, a printf that writes to the console handle, pass/fail counting, and
// readers for the PE export directory of a loaded module.
//
// Include it from exactly one .cpp per host; everything is defined here.
// The entry point is HostEntry (link with /entry:HostEntry); the host
// supplies `int HostMain()` returning the number of failed checks.
#pragma once

#if !defined(_MSC_VER) || !defined(_M_IX86)
#error "msvc_host.h is for a 32-bit host built with Microsoft's ABI"
#endif

typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef long LONG;
typedef int BOOL;
typedef void* HANDLE;
typedef struct HINSTANCE__* HMODULE;
typedef int(__stdcall* FARPROC)();
typedef unsigned int UINT_PTR;

#define CV_WINAPI __declspec(dllimport) __stdcall

extern "C" {
HANDLE CV_WINAPI GetStdHandle(DWORD which);
BOOL CV_WINAPI WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void* overlapped);
HMODULE CV_WINAPI LoadLibraryA(const char* name);
FARPROC CV_WINAPI GetProcAddress(HMODULE module, const char* name);
BOOL CV_WINAPI FreeLibrary(HMODULE module);
DWORD CV_WINAPI GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
DWORD CV_WINAPI GetLastError();
DWORD CV_WINAPI GetTickCount();
__declspec(noreturn) void CV_WINAPI ExitProcess(unsigned code);

// The compiler may call these for copies and zeroing; there is no C runtime
// to supply them. The volatile pointers keep the optimiser from turning the
// loops back into calls to themselves.
void* memset(void* dest, int value, unsigned int count);
void* memcpy(void* dest, const void* src, unsigned int count);
extern int _fltused;  // the linker's sign that floating point is used
}

extern "C" void* memset(void* dest, int value, unsigned int count) {
  volatile unsigned char* d = static_cast<unsigned char*>(dest);
  while (count--) *d++ = static_cast<unsigned char>(value);
  return dest;
}
extern "C" void* memcpy(void* dest, const void* src, unsigned int count) {
  volatile unsigned char* d = static_cast<unsigned char*>(dest);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  while (count--) *d++ = *s++;
  return dest;
}
extern "C" int _fltused = 0;

namespace cvhost {

inline unsigned Length(const char* s) {
  unsigned n = 0;
  while (s && s[n]) ++n;
  return n;
}

inline bool Equal(const char* a, const char* b) {
  if (!a || !b) return a == b;
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

inline FARPROC ByOrdinal(HMODULE module, unsigned ordinal) {
  return GetProcAddress(module, reinterpret_cast<const char*>(static_cast<UINT_PTR>(ordinal)));
}

// ---- Output ----
class Out {
 public:
  void Char(char c) {
    if (used_ == sizeof(buffer_)) Flush();
    buffer_[used_++] = c;
  }
  void Text(const char* s) {
    if (!s) s = "(null)";
    while (*s) Char(*s++);
  }
  void Unsigned(unsigned v, unsigned base, int width, char pad) {
    char digits[24];
    int n = 0;
    do {
      unsigned d = v % base;
      digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
      v /= base;
    } while (v);
    while (width-- > n) Char(pad);
    while (n) Char(digits[--n]);
  }
  void Signed(int v, int width) {
    if (v < 0) {
      Char('-');
      Unsigned(0u - static_cast<unsigned>(v), 10, width - 1, ' ');
    } else {
      Unsigned(static_cast<unsigned>(v), 10, width, ' ');
    }
  }
  // Three decimals are all the checks here need (no 64-bit division
  // without a runtime, so magnitudes stop at four million).
  void Fixed(double v) {
    if (v != v) return Text("nan");
    if (v < 0) Char('-'), v = -v;
    if (v >= 4e6) return Text("huge");
    unsigned milli = static_cast<unsigned>(v * 1000.0 + 0.5);
    Unsigned(milli / 1000, 10, 0, ' ');
    Char('.');
    Unsigned(milli % 1000, 10, 3, '0');
  }
  void Flush() {
    if (!used_) return;
    DWORD written = 0;
    WriteFile(GetStdHandle(static_cast<DWORD>(-11)), buffer_, used_, &written, nullptr);
    used_ = 0;
  }

 private:
  char buffer_[512] = {};
  DWORD used_ = 0;
};

// Globals, not function statics: nothing to construct at run time and no
// initialisation guards, which would need the runtime.
inline Out g_out;
inline Out& Stdout() { return g_out; }

// printf for %d %u %x %s %c %p %f (%f prints three decimals), with an
// optional width and 0 flag, and %% .
inline void Print(const char* format, __builtin_va_list args) {
  Out& out = Stdout();
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      out.Char(*p);
      continue;
    }
    ++p;
    char pad = ' ';
    if (*p == '0') pad = '0', ++p;
    int width = 0;
    while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    switch (*p) {
      case 'd': out.Signed(__builtin_va_arg(args, int), width); break;
      case 'u': out.Unsigned(__builtin_va_arg(args, unsigned), 10, width, pad); break;
      case 'x': out.Unsigned(__builtin_va_arg(args, unsigned), 16, width, pad); break;
      case 'p':
        out.Text("0x");
        out.Unsigned(reinterpret_cast<UINT_PTR>(__builtin_va_arg(args, void*)), 16, 8, '0');
        break;
      case 's': out.Text(__builtin_va_arg(args, const char*)); break;
      case 'c': out.Char(static_cast<char>(__builtin_va_arg(args, int))); break;
      case 'f': out.Fixed(__builtin_va_arg(args, double)); break;
      case '%': out.Char('%'); break;
      case '\0': --p; break;
      default: out.Char('%'); out.Char(*p); break;
    }
  }
  out.Flush();
}

inline void Printf(const char* format, ...) {
  __builtin_va_list args;
  __builtin_va_start(args, format);
  Print(format, args);
  __builtin_va_end(args);
}

// ---- Checks ----
struct Tally {
  int passed = 0;
  int failed = 0;
};

inline Tally g_tally;
inline Tally& Counts() { return g_tally; }

// One line per check: "ok   what" or "FAIL what", then the details when
// it failed.
inline bool Check(bool ok, const char* format, ...) {
  Stdout().Text(ok ? "ok   " : "FAIL ");
  __builtin_va_list args;
  __builtin_va_start(args, format);
  Print(format, args);
  __builtin_va_end(args);
  Stdout().Char('\n');
  Stdout().Flush();
  (ok ? Counts().passed : Counts().failed)++;
  return ok;
}

// ---- PE export directory of a loaded module ----
struct ExportDirectory {
  DWORD characteristics;
  DWORD timeDateStamp;
  WORD majorVersion;
  WORD minorVersion;
  DWORD name;
  DWORD base;
  DWORD numberOfFunctions;
  DWORD numberOfNames;
  DWORD addressOfFunctions;
  DWORD addressOfNames;
  DWORD addressOfNameOrdinals;
};

// The export directory of a module mapped by LoadLibrary, or null.
inline const ExportDirectory* Exports(HMODULE module) {
  const BYTE* base = reinterpret_cast<const BYTE*>(module);
  if (!base || base[0] != 'M' || base[1] != 'Z') return nullptr;
  LONG peOffset = *reinterpret_cast<const LONG*>(base + 0x3c);
  const BYTE* nt = base + peOffset;
  if (nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0) return nullptr;
  const BYTE* optional = nt + 4 + 20;
  if (*reinterpret_cast<const WORD*>(optional) != 0x10b) return nullptr;  // PE32
  DWORD rva = *reinterpret_cast<const DWORD*>(optional + 96);  // data directory 0
  if (!rva) return nullptr;
  return reinterpret_cast<const ExportDirectory*>(base + rva);
}

// The library name stored in the export directory (the .def's LIBRARY).
inline const char* ExportedLibraryName(HMODULE module) {
  const ExportDirectory* dir = Exports(module);
  if (!dir) return nullptr;
  return reinterpret_cast<const char*>(reinterpret_cast<const BYTE*>(module) + dir->name);
}

// The name exported at `ordinal`, or null when it has none.
inline const char* NameOfOrdinal(HMODULE module, unsigned ordinal) {
  const ExportDirectory* dir = Exports(module);
  if (!dir) return nullptr;
  const BYTE* base = reinterpret_cast<const BYTE*>(module);
  const DWORD* names = reinterpret_cast<const DWORD*>(base + dir->addressOfNames);
  const WORD* indices = reinterpret_cast<const WORD*>(base + dir->addressOfNameOrdinals);
  for (DWORD i = 0; i < dir->numberOfNames; ++i)
    if (indices[i] + dir->base == ordinal) return reinterpret_cast<const char*>(base + names[i]);
  return nullptr;
}

}  // namespace cvhost

int HostMain();

// No C runtime: this is the process entry. The exit code is 1 when any
// check failed.
extern "C" void __cdecl HostEntry() {
  int failedBeforeSummary = HostMain();
  cvhost::Tally& t = cvhost::Counts();
  if (failedBeforeSummary > t.failed) t.failed = failedBeforeSummary;
  cvhost::Printf("%d passed, %d failed\n", t.passed, t.failed);
  ExitProcess(t.failed ? 1u : 0u);
}
