// Loads the real "Cv Filter Wheel Plug In.dll" the way a host built with
// Microsoft's compiler does: the ten exports by ordinal and by plain name at
// one address, every other ordinal empty, the library name in the export
// directory, and the calls that need no wheel (names, version, a connect
// that finds no wheel under Wine).
#include "msvc_host.h"

using cvhost::Check;
using cvhost::Equal;

namespace {

const char kDllName[] = "Cv Filter Wheel Plug In.dll";
const char kDeviceName[] = "Corvane Filter Wheel";

struct Export {
  const char* name;
  unsigned ordinal;
};
const Export kExports[] = {
    {"DynDrvrGetDeviceName", 21}, {"DynDrvrGetDeviceId", 22},   {"cfwapiGetDLLVersion", 30},
    {"cfwapiConnect", 40},        {"cfwapiIsConnected", 50},    {"cfwapiDisconnect", 60},
    {"cfwapiGetNumberFilters", 70}, {"cfwapiMoveTo", 80},       {"cfwapiSettings", 90},
    {"cfwapiGetDescription", 100},
};

typedef int (*NameFn)(char*, int);
typedef int (*IntOutFn)(int*);
typedef int (*NoArgFn)();

bool Listed(unsigned ordinal) {
  for (const Export& e : kExports)
    if (e.ordinal == ordinal) return true;
  return false;
}

void CheckNameExport(NameFn fn, const char* what) {
  struct {
    int size;
    const char* expected;
  } cases[] = {{5, "Corv"}, {21, kDeviceName}, {100, kDeviceName}};
  for (const auto& c : cases) {
    char buffer[128];
    for (char& ch : buffer) ch = '#';
    int r = fn(buffer, c.size);
    bool tailUntouched = true;
    for (int i = c.size; i < static_cast<int>(sizeof(buffer)); ++i)
      if (buffer[i] != '#') tailUntouched = false;
    buffer[sizeof(buffer) - 1] = '\0';
    Check(r == 0 && Equal(buffer, c.expected) && tailUntouched, "%s size %d: \"%s\", returns %d%s",
          what, c.size, buffer, r, tailUntouched ? "" : " [wrote past the size]");
  }
}

}  // namespace

int HostMain() {
  HMODULE dll = LoadLibraryA(kDllName);
  if (!Check(dll != nullptr, "LoadLibraryA(\"%s\") (error %u)", kDllName,
             dll ? 0u : static_cast<unsigned>(GetLastError())))
    return 1;

  const char* libraryName = cvhost::ExportedLibraryName(dll);
  Check(Equal(libraryName, kDllName), "export directory names the library \"%s\" (found \"%s\")",
        kDllName, libraryName);

  for (const Export& e : kExports) {
    FARPROC byName = GetProcAddress(dll, e.name);
    FARPROC byOrdinal = cvhost::ByOrdinal(dll, e.ordinal);
    Check(byName && byName == byOrdinal, "%s at ordinal %u: by name %p, by ordinal %p", e.name,
          e.ordinal, byName, byOrdinal);
  }
  int stray = 0;
  for (unsigned ordinal = 1; ordinal <= 120; ++ordinal)
    if (!Listed(ordinal) && cvhost::ByOrdinal(dll, ordinal)) {
      cvhost::Printf("     ordinal %u is taken by %s\n", ordinal, cvhost::NameOfOrdinal(dll, ordinal));
      ++stray;
    }
  Check(stray == 0, "every other ordinal from 1 to 120 gives NULL (%d taken)", stray);
  const cvhost::ExportDirectory* dir = cvhost::Exports(dll);
  Check(dir && dir->numberOfNames == 10, "the export directory has exactly ten names (%u)",
        dir ? static_cast<unsigned>(dir->numberOfNames) : 0u);

  NameFn getName = reinterpret_cast<NameFn>(GetProcAddress(dll, "DynDrvrGetDeviceName"));
  NameFn getDescription = reinterpret_cast<NameFn>(GetProcAddress(dll, "cfwapiGetDescription"));
  IntOutFn getId = reinterpret_cast<IntOutFn>(GetProcAddress(dll, "DynDrvrGetDeviceId"));
  NoArgFn getVersion = reinterpret_cast<NoArgFn>(GetProcAddress(dll, "cfwapiGetDLLVersion"));
  NoArgFn connect = reinterpret_cast<NoArgFn>(GetProcAddress(dll, "cfwapiConnect"));
  IntOutFn isConnected = reinterpret_cast<IntOutFn>(GetProcAddress(dll, "cfwapiIsConnected"));
  NoArgFn disconnect = reinterpret_cast<NoArgFn>(GetProcAddress(dll, "cfwapiDisconnect"));
  if (!getName || !getDescription || !getId || !getVersion || !connect || !isConnected ||
      !disconnect) {
    Check(false, "the exports needed for the calls are there");
    return 1;
  }

  CheckNameExport(getName, "DynDrvrGetDeviceName");
  CheckNameExport(getDescription, "cfwapiGetDescription");

  int id = 0;
  int r = getId(&id);
  Check(r == 0 && id == 10000, "DynDrvrGetDeviceId: returns %d, id %d", r, id);

  int version = getVersion();
  Check(version == 200, "cfwapiGetDLLVersion: %d", version);

  int connected = -1;
  r = isConnected(&connected);
  Check(r == 0 && connected == 0, "cfwapiIsConnected before connecting: returns %d, %d", r,
        connected);

  // No HID wheel under Wine.
  r = connect();
  Check(r == 1401, "cfwapiConnect with no wheel: %d (1401)", r);
  connected = -1;
  r = isConnected(&connected);
  Check(r == 0 && connected == 0, "cfwapiIsConnected after the failed connect: returns %d, %d", r,
        connected);
  r = disconnect();
  Check(r == 0, "cfwapiDisconnect: %d", r);

  Check(FreeLibrary(dll) != 0, "FreeLibrary");
  return 0;
}
