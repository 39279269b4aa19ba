// Discovery: fills the object's four device slots from the interfaces the
// maker's driver publishes, trying each camera once.
#include <cctype>
#include <cstring>
#include <new>

#include "CCamAPIDll.h"
#include "camera_discovery.h"
#include "product_table.h"

// {3F1A9C27-5B04-4E8D-A2C6-7D19E0B4F3A8}
const GUID kCameraDriverGuid = {0x3F1A9C27, 0x5B04, 0x4E8D,
                                {0xA2, 0xC6, 0x7D, 0x19, 0xE0, 0xB4, 0xF3, 0xA8}};

HANDLE OpenDevicePath(const char* path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

namespace {

constexpr size_t kPathCapacity = 100;

// The 4 characters after the first `marker` in `upper`, or null when the
// marker is missing or fewer than 4 characters follow it.
const char* FieldAfter(const char* upper, const char* marker) {
  const char* at = std::strstr(upper, marker);
  if (at == nullptr) return nullptr;
  at += std::strlen(marker);
  for (int i = 0; i < 4; ++i)
    if (at[i] == '\0') return nullptr;
  return at;
}

}  // namespace

int CCamAPIDll::FindCameras() {
  HDEVINFO set = SetupDiGetClassDevsA(&kCameraDriverGuid, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return 0;

  int result = 0;
  SP_DEVICE_INTERFACE_DATA iface;
  std::memset(&iface, 0, sizeof iface);
  iface.cbSize = sizeof iface;
  if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kCameraDriverGuid, 0, &iface)) {
    SetupDiDestroyDeviceInfoList(set);
    return 0;
  }

  for (DWORD k = 0;;) {
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &iface, nullptr, 0, &required, nullptr);
    unsigned char* storage = nullptr;
    if (required >= sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
      storage = new (std::nothrow) unsigned char[required];
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage);
    bool fetched = false;
    if (detail != nullptr) {
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      fetched = SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, required, nullptr, nullptr);
    }

    // Anything but a maker's device with a path that fits its slot is passed
    // over and leaves the slot as it was.
    const char* path = fetched ? detail->DevicePath : nullptr;
    size_t pathLength = path ? strnlen(path, kPathCapacity) : 0;
    if (path == nullptr || pathLength >= kPathCapacity) {
      result = 0;
    } else {
      char upper[kPathCapacity];
      for (size_t i = 0; i <= pathLength; ++i)
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[i])));
      const char* vid = FieldAfter(upper, "VID_");
      const char* pid = FieldAfter(upper, "PID_");
      if (vid == nullptr || pid == nullptr || std::strncmp(vid, "5A31", 4) != 0) {
        result = 0;
      } else {
        int row = FindProductRow(pid);
        if (row >= 0) {
          m_slotProductIndex[k] = row;
          m_slotModelCode[k] = ProductTable[row].modelCode;
        } else {
          // A maker's camera that no row names: it gets no row, but the slot
          // takes its path, so that linking it opens this camera and not
          // whatever an earlier discovery left in the slot.
          m_slotProductIndex[k] = -1;
          m_slotModelCode[k] = 0;
        }
        m_slotState[k] = 1;
        std::memcpy(m_slotPath[k], path, pathLength + 1);
        result = 1;

        HANDLE trial = OpenDevicePath(path);
        if (trial == INVALID_HANDLE_VALUE) {
          m_slotState[k] = -1;
          result = 0;
        } else {
          CloseHandle(trial);
          m_slotState[k] = 2;
        }
      }
    }

    delete[] storage;
    if (k == 3) break;
    ++k;
    std::memset(&iface, 0, sizeof iface);
    iface.cbSize = sizeof iface;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kCameraDriverGuid, k, &iface)) break;
  }

  SetupDiDestroyDeviceInfoList(set);
  return result;
}
