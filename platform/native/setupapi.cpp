// Device-setup services of the stand-in: enumeration sets over the
// simulated world's published interfaces.
#include <cstring>

#include "last_error.h"
#include "win32.h"
#include "world.h"

using cvwin32::setLastError;
using cvworld::World;

namespace {
cvworld::Guid toWorld(const GUID& g) {
  cvworld::Guid w;
  w.data1 = g.Data1;
  w.data2 = g.Data2;
  w.data3 = g.Data3;
  std::memcpy(w.data4, g.Data4, 8);
  return w;
}
GUID fromWorld(const cvworld::Guid& w) {
  GUID g;
  g.Data1 = w.data1;
  g.Data2 = w.data2;
  g.Data3 = w.data3;
  std::memcpy(g.Data4, w.data4, 8);
  return g;
}
}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR, HWND, DWORD Flags) {
  // Only what the plug-ins ask for is offered: present interfaces of a class.
  if (ClassGuid == nullptr || !(Flags & DIGCF_DEVICEINTERFACE)) {
    setLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  uintptr_t set = World::instance().createSet(toWorld(*ClassGuid));
  if (set == 0) {
    setLastError(ERROR_GEN_FAILURE);
    return INVALID_HANDLE_VALUE;
  }
  return reinterpret_cast<HDEVINFO>(set);
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
  if (DeviceInterfaceData == nullptr || InterfaceClassGuid == nullptr ||
      DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    setLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  cvworld::InterfaceInfo info;
  if (!World::instance().setMember(reinterpret_cast<uintptr_t>(DeviceInfoSet), MemberIndex, &info)) {
    setLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  if (!(info.cls == toWorld(*InterfaceClassGuid))) {
    setLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  DeviceInterfaceData->InterfaceClassGuid = fromWorld(info.cls);
  DeviceInterfaceData->Flags = 1;  // SPINT_ACTIVE
  DeviceInterfaceData->Reserved = MemberIndex;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet,
                                             PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A Detail,
                                             DWORD DetailSize, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA) {
  if (DeviceInterfaceData == nullptr) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  cvworld::InterfaceInfo info;
  if (!World::instance().setMember(reinterpret_cast<uintptr_t>(DeviceInfoSet),
                                   static_cast<uint32_t>(DeviceInterfaceData->Reserved), &info)) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD required = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                      info.path.size() + 1);
  if (RequiredSize) *RequiredSize = required;
  if (Detail == nullptr) {
    setLastError(DetailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (Detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    setLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (DetailSize < required) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(Detail->DevicePath, info.path.c_str(), info.path.size() + 1);
  return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  if (!World::instance().destroySet(reinterpret_cast<uintptr_t>(DeviceInfoSet))) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
