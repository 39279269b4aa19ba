#include <algorithm>
#include <cctype>

#include "sim_camera.h"

namespace cvsim {

namespace {
SensorSpec Make(const char* key, const char* name, int model, uint16_t w, uint16_t h,
                uint8_t caps, uint16_t gw = 0, uint16_t gh = 0) {
  SensorSpec s;
  s.productKey = key;
  s.name = name;
  s.model = model;
  s.width = w;
  s.height = h;
  s.capabilities = caps;
  // Scan type as the cameras have it: bit 0x40 of the model code or the code
  // 132 marks an interlaced sensor, except the codes 86 to 89.
  s.interlaced = ((model & 0x40) != 0 || model == 132) && !(model >= 86 && model <= 89);
  s.guideWidth = gw;
  s.guideHeight = gh;
  return s;
}
}  // namespace

const std::vector<SensorSpec>& Catalogue() {
  static const std::vector<SensorSpec> all = [] {
    const uint8_t full = 0x01 | 0x10 | 0x20;  // guide port, cooler, shutter
    std::vector<SensorSpec> v = {
        Make("0A21", "TQ2", 5, 1392, 1040, full),
        Make("0C21", "TQ2C", 133, 1392, 1040, full),
        Make("0A23", "TQ4", 9, 2048, 2048, full),
        Make("0C23", "TQ4C", 137, 2048, 2048, full),
        Make("0A30", "T21", 16, 1600, 1200, full | 0x08, 752, 580),
        Make("0A32", "T23", 18, 2184, 1472, full | 0x08, 752, 580),
        Make("0A41", "T41", 35, 2048, 2048, full),
        Make("0C41", "T41C", 181, 2048, 2048, full),
        Make("0A43", "T43", 36, 3326, 2504, full),
        Make("0C43", "T43C", 182, 3326, 2504, full),
        Make("0A12", "RQ2", 69, 752, 290, full | 0x08, 752, 580),
        Make("0C12", "RQ2C", 132, 752, 290, full),
        Make("0A13", "RQ3", 71, 1392, 520, full | 0x08, 752, 580),
        Make("0C13", "RQ3C", 199, 1392, 520, full),
        Make("0A14", "RQ4", 72, 1392, 520, full),
        Make("0C14", "RQ4C", 200, 1392, 520, full),
        Make("0A16", "RQ6", 73, 1392, 520, full),
        Make("0C52", "R31", 89, 3032, 2016, full),
        Make("0C53", "R32", 90, 1000, 300, full),
        Make("0E11", "Pellion", 70, 752, 290, 0x01),
        Make("0E12", "Duvane", 39, 1280, 1024, 0x01),
        Make("0D00", "USB2-LK", 0, 640, 480, 0x01),
        Make("0E13", "Skellan", 9, 1280, 960, 0x01 | 0x10),
        Make("0A62", "T512", 86, 1360, 1024, full),
        Make("0A64", "T518", 87, 1360, 1024, full),
        Make("0C62", "512C", 182, 1360, 1024, full),
        Make("0C64", "518C", 183, 1360, 1024, full),
        Make("0A66", "540", 40, 2750, 2200, full),
        Make("0C66", "540C", 168, 2750, 2200, full),
        Make("0A71", "T550", 59, 2448, 2048, full),
        Make("0C71", "T550C", 187, 2448, 2048, full),
        Make("0E15", "Orthane", 60, 1920, 1200, 0x01 | 0x10),
        Make("0A73", "T560", 41, 3072, 2048, full),
        Make("0C73", "T560C", 169, 3072, 2048, full),
        Make("0A25", "T25", 17, 1600, 1200, full),
        // Models that share a product identifier with one above; the
        // plug-in's table never picks them by identifier, but a camera of
        // theirs reports its own model code.
        Make("0A30", "T21C", 144, 1600, 1200, full | 0x08, 752, 580),
        Make("0A43", "T520", 88, 2184, 1472, full),
        Make("0E15", "Orthane-C", 188, 1920, 1200, 0x01 | 0x10),
        Make("0A25", "T25C", 145, 1600, 1200, full),
    };
    return v;
  }();
  return all;
}

const SensorSpec* FindSensor(const std::string& productKey) {
  std::string upper = productKey;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  for (auto& s : Catalogue())
    if (s.productKey == upper) return &s;
  return nullptr;
}

const SensorSpec* FindSensorByModel(int model) {
  for (auto& s : Catalogue())
    if (s.model == model) return &s;
  return nullptr;
}

}  // namespace cvsim
