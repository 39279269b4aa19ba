#include "scene.h"

namespace cvsim {

uint16_t Digitize(const NoiseModel& noise, double electrons, int, int, double, double, uint64_t) {
  double adu = electrons / noise.gain + (noise.enabled ? noise.biasAdu : 0.0);
  if (adu <= 0) return 0;
  if (adu >= 65535.0) return 65535;
  return static_cast<uint16_t>(adu);
}

}  // namespace cvsim
