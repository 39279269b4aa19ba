#include "device_listing.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "product_table.h"
#include "win32.h"

namespace {
const GUID kDriverGuid = {0x3F1A9C27, 0x5B04, 0x4E8D,
                          {0xA2, 0xC6, 0x7D, 0x19, 0xE0, 0xB4, 0xF3, 0xA8}};

std::string After(const std::string& upper, const char* marker) {
  size_t at = upper.find(marker);
  if (at == std::string::npos) return "";
  return upper.substr(at + std::strlen(marker), 4);
}
}  // namespace

std::vector<ListedCamera> ListDriverInterfaces(std::string* error) {
  std::vector<ListedCamera> out;
  HDEVINFO set =
      SetupDiGetClassDevsA(&kDriverGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    if (error) *error = "the camera driver's interfaces cannot be listed";
    return out;
  }
  for (DWORD i = 0;; ++i) {
    SP_DEVICE_INTERFACE_DATA iface;
    std::memset(&iface, 0, sizeof iface);
    iface.cbSize = sizeof iface;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kDriverGuid, i, &iface)) break;
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &iface, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
    std::vector<unsigned char> storage(required);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, required, nullptr, nullptr))
      continue;
    ListedCamera c;
    c.path = detail->DevicePath;
    std::string upper = c.path;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    c.vendor = After(upper, "VID_");
    c.product = After(upper, "PID_");
    c.makers = c.vendor == "5A31";
    int row = c.product.size() == 4 ? FindProductRow(c.product.c_str()) : -1;
    if (row >= 0) {
      c.name = ProductTable[row].name;
      c.modelCode = ProductTable[row].modelCode;
    }
    HANDLE h = CreateFileA(c.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      c.opens = true;
      CloseHandle(h);
    }
    out.push_back(c);
  }
  SetupDiDestroyDeviceInfoList(set);
  return out;
}
