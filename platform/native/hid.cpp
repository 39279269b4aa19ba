// HID services of the stand-in.
#include <cstring>

#include "last_error.h"
#include "win32.h"
#include "world.h"

extern "C" {

void WINAPI HidD_GetHidGuid(LPGUID HidGuid) {
  if (HidGuid == nullptr) return;
  const cvworld::Guid& g = cvworld::kHidClass;
  HidGuid->Data1 = g.data1;
  HidGuid->Data2 = g.data2;
  HidGuid->Data3 = g.data3;
  std::memcpy(HidGuid->Data4, g.data4, 8);
}

BOOLEAN WINAPI HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
  if (Attributes == nullptr || Attributes->Size != sizeof(HIDD_ATTRIBUTES)) {
    cvwin32::setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint32_t error = 0;
  auto device = cvworld::World::instance().deviceOf(reinterpret_cast<uintptr_t>(HidDeviceObject), &error);
  if (!device) {
    cvwin32::setLastError(error);
    return FALSE;
  }
  uint16_t vid = 0, pid = 0, ver = 0;
  if (!device->hidAttributes(&vid, &pid, &ver)) {
    cvwin32::setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Attributes->VendorID = vid;
  Attributes->ProductID = pid;
  Attributes->VersionNumber = ver;
  return TRUE;
}

}  // extern "C"
