// Loads the real "Corvane KT Plug In.dll" the way a host built with
// Microsoft's compiler does and checks its face: the export table (every
// export reachable by ordinal and by name at one address, the fixed ordinals,
// nothing at 1..19, the class behind one contiguous run of ordinals), the
// object's virtual table as such a host's own header lays it out (virtual
// destructor first), the trivial slots called as virtual functions, a link
// attempt with no camera, and `delete` through slot 0.
//
// Built by run.sh with clang for i686-pc-windows-msvc; a GCC-built host
// would agree with a GCC-built DLL even where both were wrong.
#include "msvc_host.h"

using cvhost::Check;
using cvhost::Equal;
using cvhost::Printf;

// ---- The class as the host's own header declares it ----
enum enumZZCAM2 { kCorvaneCamera = 10000 };
enum enumWhichCCD2 { kImagingCcd = 0, kTrackingCcd = 1 };
enum enumLPTPort2 { kNoPort = 0 };
enum enumPictureType2 { kLightFrame = 1 };
static_assert(sizeof(enumZZCAM2) == 4 && sizeof(enumWhichCCD2) == 4 && sizeof(long) == 4,
              "the host's enumerations and long are 32-bit");

class CCamAPIDll {
 public:
  virtual ~CCamAPIDll();
  virtual enumZZCAM2 GetCameraId();
  virtual void SetCameraId(enumZZCAM2 id);
  virtual int GetLinked();
  virtual void SetLinked(int linked);
  virtual void GetDisplayName(char* buffer, int size);
  virtual int GetVersion();
  virtual int GetLineReadout();
  virtual int CCSettings(const enumZZCAM2& camera, const enumWhichCCD2& which);
  virtual int CCEstablishLink(enumLPTPort2 port, const int& address, enumZZCAM2 camera,
                              enumZZCAM2& cameraOut, int flags, int& status);
  virtual int CCDisconnect(int switchCoolerOff);
  virtual int CCGetChipSize(const enumZZCAM2& camera, const enumWhichCCD2& which, const int& binX,
                            const int& binY, const int& unused, int& width, int& height,
                            int& unusedOut);
  virtual int CCGetNumBins(const enumZZCAM2& camera, const enumWhichCCD2& which, int& count);
  virtual int CCGetBinSizeFromIndex(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                    const int& index, long& binX, long& binY);
  virtual int CCSetBinnedSubFrame(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                  const int& left, const int& top, const int& right,
                                  const int& bottom);
  virtual void CCMakeExposureState(int* state, enumZZCAM2 camera, int a, int b, int c, int d);
  virtual int CCStartExposure(const enumZZCAM2& camera, enumWhichCCD2 which, const double& seconds,
                              enumPictureType2 pictureType, const int& unused,
                              const int& leaveShutter);
  virtual int CCIsExposureComplete(const enumZZCAM2& camera, enumWhichCCD2 which, int* complete,
                                   unsigned int* unused);
  virtual int CCEndExposure(const enumZZCAM2& camera, enumWhichCCD2 which, const int& discard,
                            const int& leaveShutter);
  virtual int CCReadoutLine(const enumZZCAM2& camera, const enumWhichCCD2& which, const int& a,
                            const int& b, const int& c, unsigned char* buffer);
  virtual int CCDumpLines(const enumZZCAM2& camera, const enumWhichCCD2& which, const int& a,
                          const unsigned int& b);
  virtual int CCReadoutImage(const enumZZCAM2& camera, const enumWhichCCD2& which,
                             const int& unused, const int& a, const int& b, unsigned char* buffer);
  virtual int CCRegulateTemp(int& coolerOn, const double& setpoint);
  virtual int CCQueryTemperature(double& temperature, double& unusedOut, char* statusText,
                                 int statusTextSize, int& status, double& setpoint);
  virtual int CCGetRecommendedSetpoint(double& setpoint);
  virtual int CCSetFan(const int& fan);
  virtual int CCActivateRelays(const int& line1, const int& line2, const int& line3,
                               const int& line4, const int& wait, const int& stop,
                               const int& unused);
  virtual int CCPulseOut(unsigned int a, int b, const enumZZCAM2& camera);
  virtual int CCSetShutter(int open);
  virtual int CCUpdateClock();
  virtual int CCSetImageProps(const enumZZCAM2& camera, const enumWhichCCD2& which, const int& a,
                              void* b);
  virtual int GetFullDynamicRange(const enumZZCAM2& camera, const enumWhichCCD2& which,
                                  unsigned long& range);
  virtual void BeforeDownload(const enumZZCAM2& camera, const enumWhichCCD2& which);
  virtual void AfterDownload(const enumZZCAM2& camera, const enumWhichCCD2& which);
};

typedef int (*GetDisplayNameFn)(char*, int);
typedef int (*GetDeviceIdFn)(enumZZCAM2*);
typedef CCamAPIDll* (*AllocObjectFn)();

namespace {

const char kDllName[] = "Corvane KT Plug In.dll";
const char kFullName[] = "Corvane KT Series";

// The plug-in's exports under the names GCC gives them, slot by slot.
const char* const kSlotSymbols[34] = {
    "_ZN10CCamAPIDll24ScalarDeletingDestructorEj",
    "_ZN10CCamAPIDll11GetCameraIdEv",
    "_ZN10CCamAPIDll11SetCameraIdE10enumZZCAM2",
    "_ZN10CCamAPIDll9GetLinkedEv",
    "_ZN10CCamAPIDll9SetLinkedEi",
    "_ZN10CCamAPIDll14GetDisplayNameEPci",
    "_ZN10CCamAPIDll10GetVersionEv",
    "_ZN10CCamAPIDll14GetLineReadoutEv",
    "_ZN10CCamAPIDll10CCSettingsERK10enumZZCAM2RK13enumWhichCCD2",
    "_ZN10CCamAPIDll15CCEstablishLinkE12enumLPTPort2RKi10enumZZCAM2RS3_iRi",
    "_ZN10CCamAPIDll12CCDisconnectEi",
    "_ZN10CCamAPIDll13CCGetChipSizeERK10enumZZCAM2RK13enumWhichCCD2RKiS7_S7_RiS8_S8_",
    "_ZN10CCamAPIDll12CCGetNumBinsERK10enumZZCAM2RK13enumWhichCCD2Ri",
    "_ZN10CCamAPIDll21CCGetBinSizeFromIndexERK10enumZZCAM2RK13enumWhichCCD2RKiRlS8_",
    "_ZN10CCamAPIDll19CCSetBinnedSubFrameERK10enumZZCAM2RK13enumWhichCCD2RKiS7_S7_S7_",
    "_ZN10CCamAPIDll19CCMakeExposureStateEPi10enumZZCAM2iiii",
    "_ZN10CCamAPIDll15CCStartExposureERK10enumZZCAM213enumWhichCCD2RKd16enumPictureType2RKiS8_",
    "_ZN10CCamAPIDll20CCIsExposureCompleteERK10enumZZCAM213enumWhichCCD2PiPj",
    "_ZN10CCamAPIDll13CCEndExposureERK10enumZZCAM213enumWhichCCD2RKiS5_",
    "_ZN10CCamAPIDll13CCReadoutLineERK10enumZZCAM2RK13enumWhichCCD2RKiS7_S7_Ph",
    "_ZN10CCamAPIDll11CCDumpLinesERK10enumZZCAM2RK13enumWhichCCD2RKiRKj",
    "_ZN10CCamAPIDll14CCReadoutImageERK10enumZZCAM2RK13enumWhichCCD2RKiS7_S7_Ph",
    "_ZN10CCamAPIDll14CCRegulateTempERiRKd",
    "_ZN10CCamAPIDll18CCQueryTemperatureERdS0_PciRiS0_",
    "_ZN10CCamAPIDll24CCGetRecommendedSetpointERd",
    "_ZN10CCamAPIDll8CCSetFanERKi",
    "_ZN10CCamAPIDll16CCActivateRelaysERKiS1_S1_S1_S1_S1_S1_",
    "_ZN10CCamAPIDll10CCPulseOutEjiRK10enumZZCAM2",
    "_ZN10CCamAPIDll12CCSetShutterEi",
    "_ZN10CCamAPIDll13CCUpdateClockEv",
    "_ZN10CCamAPIDll15CCSetImagePropsERK10enumZZCAM2RK13enumWhichCCD2RKiPv",
    "_ZN10CCamAPIDll19GetFullDynamicRangeERK10enumZZCAM2RK13enumWhichCCD2Rm",
    "_ZN10CCamAPIDll14BeforeDownloadERK10enumZZCAM2RK13enumWhichCCD2",
    "_ZN10CCamAPIDll13AfterDownloadERK10enumZZCAM2RK13enumWhichCCD2",
};

// Constructors, destructor, assignment and the virtual table, exactly.
const char* const kSpecialSymbols[] = {
    "_ZN10CCamAPIDllC1Ev",     "_ZN10CCamAPIDllC2Ev",     "_ZN10CCamAPIDllC1ERKS_",
    "_ZN10CCamAPIDllC2ERKS_",  "_ZN10CCamAPIDllD1Ev",     "_ZN10CCamAPIDllD2Ev",
    "_ZN10CCamAPIDllaSERKS_",  "_ZTV10CCamAPIDll",
};

// The non-virtual members, public and private, by name alone: their
// argument lists are the library's own business.
const char* const kMemberNames[] = {
    "FindCameras",       "GetMainExposure",    "SetMainExposure",  "OpenCamera",
    "Send",              "Reset",              "GetModel",         "GetCCDParameters",
    "GetGDRParameters",  "GetFirmwareVersion", "GetTimer",         "SetTimer",
    "ClearRegisters",    "WipePixels",         "SetTetrel",        "GetVertScaleFactor",
    "RequestReadNow",    "RequestDelayedRead", "ClearRegistersIfNeeded", "DumpImage",
    "ReadImage",         "Resample",           "AdjustT9",         "AdjustR31",
    "AdjustR32",         "ProcessCooler",      "ProcessShutter",
};

bool StartsWith(const char* s, const char* prefix) {
  while (*prefix)
    if (*s++ != *prefix++) return false;
  return true;
}

// A symbol of class CCamAPIDll under GCC's mangling.
bool IsClassSymbol(const char* name) {
  return name && (StartsWith(name, "_ZN10CCamAPIDll") || StartsWith(name, "_ZNK10CCamAPIDll") ||
                  StartsWith(name, "_ZTV10CCamAPIDll") || StartsWith(name, "_ZTI10CCamAPIDll") ||
                  StartsWith(name, "_ZTS10CCamAPIDll"));
}

// Byte order, as the .def lists them.
int Compare(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

// Whether some exported name is the member `member` of the class: GCC
// writes it as _ZN10CCamAPIDll<length><member> (or _ZNK for const).
bool MemberExported(HMODULE dll, const char* member) {
  const cvhost::ExportDirectory* dir = cvhost::Exports(dll);
  const BYTE* base = reinterpret_cast<const BYTE*>(dll);
  const DWORD* names = reinterpret_cast<const DWORD*>(base + dir->addressOfNames);
  char prefix[64];
  unsigned n = 0;
  unsigned len = cvhost::Length(member);
  const char* head = "10CCamAPIDll";
  while (*head) prefix[n++] = *head++;
  if (len >= 10) prefix[n++] = static_cast<char>('0' + len / 10);
  prefix[n++] = static_cast<char>('0' + len % 10);
  for (unsigned i = 0; i < len && n < sizeof(prefix) - 1; ++i) prefix[n++] = member[i];
  prefix[n] = '\0';
  for (DWORD i = 0; i < dir->numberOfNames; ++i) {
    const char* name = reinterpret_cast<const char*>(base + names[i]);
    if ((StartsWith(name, "_ZN") && StartsWith(name + 3, prefix)) ||
        (StartsWith(name, "_ZNK") && StartsWith(name + 4, prefix)))
      return true;
  }
  return false;
}

#define READ_ESP(v) __asm__ volatile("movl %%esp, %0" : "=r"(v) : : "memory")
const char* Stack(unsigned before, unsigned after) {
  return before == after ? "" : " [stack pointer moved: wrong argument bytes popped]";
}

// ---- Export table ----
void CheckExports(HMODULE dll) {
  const char* libraryName = cvhost::ExportedLibraryName(dll);
  Check(Equal(libraryName, kDllName), "export directory names the library \"%s\" (found \"%s\")",
        kDllName, libraryName);

  struct Fixed {
    const char* name;
    unsigned ordinal;
  };
  const Fixed fixed[] = {{"DllMain", 20},
                         {"CamAPIGetDisplayName", 21},
                         {"CamAPIGetDeviceId", 22},
                         {"AllocObject", 24}};
  for (const Fixed& f : fixed) {
    FARPROC byName = GetProcAddress(dll, f.name);
    FARPROC byOrdinal = cvhost::ByOrdinal(dll, f.ordinal);
    Check(byName && byName == byOrdinal, "%s at ordinal %u: by name %p, by ordinal %p", f.name,
          f.ordinal, byName, byOrdinal);
  }

  int filledLow = 0;
  for (unsigned ordinal = 1; ordinal <= 19; ++ordinal)
    if (cvhost::ByOrdinal(dll, ordinal)) {
      Printf("     ordinal %u is taken by %s\n", ordinal, cvhost::NameOfOrdinal(dll, ordinal));
      ++filledLow;
    }
  Check(filledLow == 0, "ordinals 1..19 give NULL (%d taken)", filledLow);

  // Every ordinal from 20 up to the last one is filled, by name and by
  // ordinal at the same address; 23 and 25 upward are the class's, in
  // byte order of their names; nothing lies beyond.
  const cvhost::ExportDirectory* dir = cvhost::Exports(dll);
  if (!Check(dir != nullptr, "the module has an export directory")) return;
  unsigned last = dir->base + dir->numberOfFunctions - 1;
  Check(dir->numberOfNames == dir->numberOfFunctions,
        "every one of the %u exports has a name (%u names)", dir->numberOfFunctions,
        dir->numberOfNames);
  int mismatched = 0, unnamed = 0, foreign = 0, unsorted = 0, classCount = 0;
  const char* previous = nullptr;
  for (unsigned ordinal = 20; ordinal <= last; ++ordinal) {
    const char* name = cvhost::NameOfOrdinal(dll, ordinal);
    FARPROC byOrdinal = cvhost::ByOrdinal(dll, ordinal);
    if (!name) {
      Printf("     ordinal %u has no name\n", ordinal);
      ++unnamed;
      continue;
    }
    FARPROC byName = GetProcAddress(dll, name);
    if (!byName || byName != byOrdinal) {
      Printf("     %s: by name %p, by ordinal %u %p\n", name, byName, ordinal, byOrdinal);
      ++mismatched;
    }
    if (ordinal == 20 || ordinal == 21 || ordinal == 22 || ordinal == 24) continue;
    if (!IsClassSymbol(name)) {
      Printf("     ordinal %u is %s, not a member of the class\n", ordinal, name);
      ++foreign;
      continue;
    }
    ++classCount;
    if (previous && Compare(previous, name) >= 0) {
      Printf("     %s (ordinal %u) is out of order after %s\n", name, ordinal, previous);
      ++unsorted;
    }
    previous = name;
  }
  Check(mismatched == 0 && unnamed == 0,
        "ordinals 20..%u: each name and its ordinal give one non-null address (%d differ, %d "
        "unnamed)",
        last, mismatched, unnamed);
  Check(foreign == 0 && classCount > 0,
        "ordinals 23 and 25..%u hold only the class's %d symbols (%d others)", last, classCount,
        foreign);
  Check(unsorted == 0, "the class's symbols are numbered in byte order of their names");
  int beyond = 0;
  for (unsigned ordinal = last + 1; ordinal <= last + 20; ++ordinal)
    if (cvhost::ByOrdinal(dll, ordinal)) ++beyond;
  Check(beyond == 0, "ordinals %u..%u beyond the table give NULL", last + 1, last + 20);

  int missing = 0;
  for (const char* name : kSlotSymbols)
    if (!GetProcAddress(dll, name)) Printf("     missing %s\n", name), ++missing;
  for (const char* name : kSpecialSymbols)
    if (!GetProcAddress(dll, name)) Printf("     missing %s\n", name), ++missing;
  Check(missing == 0,
        "the 34 slot operations, constructors, destructor, assignment and vtable are exported "
        "(%d missing)",
        missing);
  missing = 0;
  for (const char* member : kMemberNames)
    if (!MemberExported(dll, member)) Printf("     no export for member %s\n", member), ++missing;
  Check(missing == 0, "every non-virtual member, public and private, is exported (%d missing)",
        missing);
}

// The object's table is the exported vtable, and slot by slot it holds the
// exported operation of that name.
void CheckVtable(HMODULE dll, CCamAPIDll* object) {
  void** vptr = *reinterpret_cast<void***>(object);
  const BYTE* vtable = reinterpret_cast<const BYTE*>(GetProcAddress(dll, "_ZTV10CCamAPIDll"));
  // GCC's vtable object starts with the offset to top and the type info;
  // the object points past them.
  Check(vtable && reinterpret_cast<const BYTE*>(vptr) == vtable + 8,
        "object's table pointer %p is the exported vtable + 8 (vtable %p)", vptr, vtable);
  int wrong = 0;
  for (int slot = 0; slot < 34; ++slot) {
    void* exported = reinterpret_cast<void*>(GetProcAddress(dll, kSlotSymbols[slot]));
    if (vptr[slot] != exported) {
      Printf("     slot %d holds %p, %s is %p\n", slot, vptr[slot], kSlotSymbols[slot], exported);
      ++wrong;
    }
  }
  Check(wrong == 0, "slots 0..33 hold the exported operations in the host's order (%d wrong)",
        wrong);
}

void CheckTrivialSlots(CCamAPIDll* cam, const char* label) {
  const enumZZCAM2 camera = kCorvaneCamera;
  const enumWhichCCD2 imaging = kImagingCcd;
  unsigned s0, s1;

  READ_ESP(s0);
  enumZZCAM2 id = cam->GetCameraId();
  READ_ESP(s1);
  Check(id == 10000 && s0 == s1, "%s slot 1 GetCameraId on a fresh object: %d%s", label, id,
        Stack(s0, s1));

  READ_ESP(s0);
  cam->SetCameraId(static_cast<enumZZCAM2>(4321));
  id = cam->GetCameraId();
  READ_ESP(s1);
  Check(id == 4321 && s0 == s1, "%s slot 2 SetCameraId(4321), then GetCameraId: %d%s", label, id,
        Stack(s0, s1));

  READ_ESP(s0);
  int linked0 = cam->GetLinked();
  cam->SetLinked(1);
  int linked1 = cam->GetLinked();
  cam->SetLinked(0);
  int linked2 = cam->GetLinked();
  READ_ESP(s1);
  Check(linked0 == 0 && linked1 == 1 && linked2 == 0 && s0 == s1,
        "%s slots 3/4 GetLinked/SetLinked: fresh %d, after 1 %d, after 0 %d%s", label, linked0,
        linked1, linked2, Stack(s0, s1));

  struct {
    int size;
    const char* expected;
  } names[] = {{5, "Corv"}, {100, kFullName}};
  for (const auto& n : names) {
    char buffer[128];
    for (char& c : buffer) c = '#';
    READ_ESP(s0);
    cam->GetDisplayName(buffer, n.size);
    READ_ESP(s1);
    bool tailUntouched = true;
    for (int i = n.size; i < static_cast<int>(sizeof(buffer)); ++i)
      if (buffer[i] != '#') tailUntouched = false;
    buffer[sizeof(buffer) - 1] = '\0';
    Check(Equal(buffer, n.expected) && tailUntouched && s0 == s1,
          "%s slot 5 GetDisplayName size %d: \"%s\"%s%s", label, n.size, buffer,
          tailUntouched ? "" : " [wrote past the size]", Stack(s0, s1));
  }

  READ_ESP(s0);
  int version = cam->GetVersion();
  READ_ESP(s1);
  Check(version == 5 && s0 == s1, "%s slot 6 GetVersion: %d%s", label, version, Stack(s0, s1));

  READ_ESP(s0);
  int lineReadout = cam->GetLineReadout();
  READ_ESP(s1);
  Check(lineReadout == 0 && s0 == s1, "%s slot 7 GetLineReadout: %d%s", label, lineReadout,
        Stack(s0, s1));

  int bins = -1;
  READ_ESP(s0);
  int r = cam->CCGetNumBins(camera, imaging, bins);
  READ_ESP(s1);
  Check(r == 0 && bins == 3 && s0 == s1, "%s slot 12 CCGetNumBins: returns %d, count %d%s", label,
        r, bins, Stack(s0, s1));

  // The slots that do nothing: 0 and no change to the object or buffers.
  id = cam->GetCameraId();
  int linked = cam->GetLinked();
  unsigned char line[16];
  for (unsigned char& b : line) b = 0xA5;
  const int zero = 0, one = 1;
  const unsigned int count = 1;
  READ_ESP(s0);
  int r19 = cam->CCReadoutLine(camera, imaging, zero, one, one, line);
  int r20 = cam->CCDumpLines(camera, imaging, one, count);
  int r25 = cam->CCSetFan(one);
  int r27 = cam->CCPulseOut(10u, 1, camera);
  int r30 = cam->CCSetImageProps(camera, imaging, one, line);
  READ_ESP(s1);
  bool lineUntouched = true;
  for (unsigned char b : line)
    if (b != 0xA5) lineUntouched = false;
  Check(r19 == 0 && r20 == 0 && r25 == 0 && r27 == 0 && r30 == 0 && lineUntouched &&
            cam->GetCameraId() == id && cam->GetLinked() == linked && s0 == s1,
        "%s slots 19/20/25/27/30 return 0 and change nothing: %d %d %d %d %d%s%s", label, r19,
        r20, r25, r27, r30, lineUntouched ? "" : " [buffer written]", Stack(s0, s1));

  READ_ESP(s0);
  int clock = cam->CCUpdateClock();
  READ_ESP(s1);
  Check(static_cast<unsigned>(clock) == 0x80004001u && s0 == s1,
        "%s slot 29 CCUpdateClock: 0x%x (E_NOTIMPL)%s", label, static_cast<unsigned>(clock),
        Stack(s0, s1));

  unsigned long range = 0;
  READ_ESP(s0);
  r = cam->GetFullDynamicRange(camera, imaging, range);
  READ_ESP(s1);
  Check(r == 0 && range == 65535 && s0 == s1, "%s slot 31 GetFullDynamicRange: returns %d, %u%s",
        label, r, static_cast<unsigned>(range), Stack(s0, s1));

  // A fresh object is an attached guider until a dialog says otherwise,
  // and for the guide head the recommendation is 100.
  double setpoint = -1.0;
  READ_ESP(s0);
  r = cam->CCGetRecommendedSetpoint(setpoint);
  READ_ESP(s1);
  Check(r == 0 && setpoint == 100.0 && s0 == s1,
        "%s slot 24 CCGetRecommendedSetpoint on a fresh object: returns %d, %f%s", label, r,
        setpoint, Stack(s0, s1));

  READ_ESP(s0);
  cam->AfterDownload(camera, imaging);
  READ_ESP(s1);
  Check(s0 == s1, "%s slot 33 AfterDownload returns%s", label, Stack(s0, s1));
}

void CheckPlainFunctions(HMODULE dll) {
  GetDisplayNameFn getName =
      reinterpret_cast<GetDisplayNameFn>(GetProcAddress(dll, "CamAPIGetDisplayName"));
  GetDeviceIdFn getId = reinterpret_cast<GetDeviceIdFn>(GetProcAddress(dll, "CamAPIGetDeviceId"));
  if (getName) {
    char small[8] = "xxxxxxx";
    char large[100];
    int r1 = getName(small, 5);
    int r2 = getName(large, sizeof(large));
    Check(r1 == 0 && Equal(small, "Corv") && small[5] == 'x' && r2 == 0 && Equal(large, kFullName),
          "CamAPIGetDisplayName: size 5 \"%s\" (%d), size 100 \"%s\" (%d)", small, r1, large, r2);
  }
  if (getId) {
    enumZZCAM2 id = static_cast<enumZZCAM2>(0);
    int r = getId(&id);
    Check(r == 0 && id == 10000, "CamAPIGetDeviceId: returns %d, id %d", r, id);
  }
}

}  // namespace

int HostMain() {
  DWORD start = GetTickCount();
  HMODULE dll = LoadLibraryA(kDllName);
  if (!Check(dll != nullptr, "LoadLibraryA(\"%s\") (error %u)", kDllName,
             dll ? 0u : static_cast<unsigned>(GetLastError())))
    return 1;

  CheckExports(dll);
  CheckPlainFunctions(dll);

  AllocObjectFn alloc = reinterpret_cast<AllocObjectFn>(GetProcAddress(dll, "AllocObject"));
  if (!Check(alloc != nullptr, "AllocObject found")) return 1;
  CCamAPIDll* imager = alloc();
  CCamAPIDll* guider = alloc();
  if (!Check(imager && guider && imager != guider, "AllocObject gives two objects (%p, %p)",
             imager, guider))
    return 1;

  CheckVtable(dll, imager);
  CheckTrivialSlots(imager, "first: ");
  CheckTrivialSlots(guider, "second:");
  Check(guider->GetCameraId() == 4321 && imager->GetCameraId() == 4321,
        "each object keeps its own camera id");
  imager->SetCameraId(kCorvaneCamera);
  Check(imager->GetCameraId() == 10000 && guider->GetCameraId() == 4321,
        "setting the first object's id leaves the second's");

  // No camera driver under Wine: discovery finds nothing, the link fails.
  const int address = 0;
  enumZZCAM2 cameraOut = kCorvaneCamera;
  int status = 0;
  unsigned s0, s1;
  READ_ESP(s0);
  int link = imager->CCEstablishLink(kNoPort, address, kCorvaneCamera, cameraOut, 0, status);
  READ_ESP(s1);
  Check(link == 203 && s0 == s1, "slot 9 CCEstablishLink with no camera: %d (203)%s", link,
        Stack(s0, s1));
  READ_ESP(s0);
  int disconnect = imager->CCDisconnect(0);
  READ_ESP(s1);
  Check(disconnect == 1 && s0 == s1, "slot 10 CCDisconnect after the failed link: %d (1)%s",
        disconnect, Stack(s0, s1));

  // `delete` on a Microsoft-ABI object: slot 0 with flags 1.
  READ_ESP(s0);
  delete guider;
  delete imager;
  READ_ESP(s1);
  Check(s0 == s1, "delete through slot 0 destroys both objects%s", Stack(s0, s1));

  CCamAPIDll* third = alloc();
  Check(third != nullptr && third->GetVersion() == 5, "a third object after both were deleted");
  delete third;

  Check(FreeLibrary(dll) != 0, "FreeLibrary");
  Printf("(run took %u ms)\n", static_cast<unsigned>(GetTickCount() - start));
  return 0;
}
