// The HID link: find and open the wheel, and one request/reply exchange.
#include <cstdint>
#include <cstdlib>

#include "wheel_internal.h"

namespace {
// A handle's value as the log prints it ("%d").
int HandleValue(HANDLE h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)); }

bool IsWheel(HANDLE h) {
  HIDD_ATTRIBUTES attributes = {};
  attributes.Size = sizeof(attributes);
  if (!HidD_GetAttributes(h, &attributes)) return false;
  return attributes.VendorID == kWheelVendorId && attributes.ProductID == kWheelProductId;
}
}  // namespace

bool FindWheel() {
  GUID hidGuid;
  HidD_GetHidGuid(&hidGuid);
  HDEVINFO set = SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    LogErrorLine("Error getting device interfaces", error);
    return false;
  }
  bool found = false;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA iface = {};
    iface.cbSize = sizeof(iface);
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &iface)) break;

    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &iface, nullptr, 0, &required, nullptr);
    // The record needs at least its size field and one character of path.
    if (required <= sizeof(DWORD)) continue;
    size_t bytes = required;
    if (bytes < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
      bytes = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    auto* detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(std::calloc(1, bytes));
    // No memory for this record: the interface is skipped like one whose
    // detail cannot be read.
    if (detail == nullptr) continue;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, required, nullptr, nullptr)) {
      std::free(detail);
      continue;
    }
    LogMessage("Found device path no: %d\n", static_cast<int>(index));

    g_wheelHandle = CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (g_wheelHandle == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      LogErrorLine("Error opening device file", error);
      std::free(detail);
      continue;
    }
    if (IsWheel(g_wheelHandle)) {
      LogMessage("Found the Cv Filter Wheel, Handle = %d\n", HandleValue(g_wheelHandle));
      std::free(detail);
      found = true;
      break;
    }
    CloseHandle(g_wheelHandle);
    g_wheelHandle = INVALID_HANDLE_VALUE;
    std::free(detail);
  }
  // The enumeration set is the search's own: release it whatever was found.
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

bool SendReport(const uint8_t* bytes, DWORD length) {
  DWORD written = 0;
  BOOL ok = FALSE;
  DWORD error = ERROR_INVALID_HANDLE;
  // With no device open nothing is handed to the system; the failure reads
  // as the system's own for a write to an invalid handle.
  if (WheelHandleOpen()) {
    ok = WriteFile(g_wheelHandle, bytes, length, &written, nullptr);
    if (!ok) error = GetLastError();
  }
  if (!ok) {
    LogErrorLine("Error sending command", error);
    return false;
  }
  LogMessage("Sent %ld bytes\n", static_cast<long>(written));
  return true;
}

uint32_t RequestAction(uint16_t action) {
  uint8_t report[3] = {0, static_cast<uint8_t>((action >> 8) & 0xFF),
                       static_cast<uint8_t>(action & 0xFF)};
  uint8_t reply[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  LogMessage("Requesting Action = %#x, - ", static_cast<unsigned>(report[1]));
  if (SendReport(report, sizeof(report))) {
    DWORD got = 0;
    // Neither the result nor the count decides anything: bytes the read
    // leaves unfilled keep 0xFF.
    ReadFile(g_wheelHandle, reply, sizeof(reply), &got, nullptr);
  }
  uint32_t value = static_cast<uint32_t>(reply[0]) | (static_cast<uint32_t>(reply[1]) << 8) |
                   (static_cast<uint32_t>(reply[2]) << 16) |
                   (static_cast<uint32_t>(reply[3]) << 24);
  LogMessage("Report Data = %#x \n", static_cast<unsigned>(value));
  return value;
}
