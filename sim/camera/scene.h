// What light falls on a simulated sensor, and how the sensor turns charge
// into numbers. The camera's readout model (sim_camera) integrates a Scene
// over each field's exposure and passes the charge through the NoiseModel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace cvsim {

// Photo-electrons per second falling on one unbinned pixel at column x and
// frame row y (0 at the top, counting both fields of an interlaced sensor),
// with the sky shifted on the sensor by (dx, dy) pixels, as guiding moves it.
class Scene {
 public:
  virtual ~Scene() = default;
  virtual double rate(int x, int y, double dx, double dy) const = 0;
};

// A deterministic star field: seeded positions and a range of brightness,
// a point-spread function from the seeing, and sky background.
struct SkyParams {
  uint32_t seed = 1;
  int stars = 60;             // stars on the whole frame
  double seeingFwhmPx = 3.0;  // full width at half maximum, pixels
  double backgroundRate = 20.0;     // e-/s per pixel
  double brightestRate = 200000.0;  // e-/s of the brightest star, total flux
  double faintestRate = 500.0;      // e-/s of the faintest star, total flux
  double moffatBeta = 3.0;          // wing index of the Moffat point-spread function
};

// One star of the field, in sky coordinates: with no shift, the pixel at
// column x, row y covers [x, x + 1) x [y, y + 1).
struct SkyStar {
  double x = 0;
  double y = 0;
  double rate = 0;  // e-/s, total flux
};

// The stars MakeSky places: `params.stars` on the frame (the first the
// brightest) and, in proportion, in a margin around it that guiding can
// bring onto the sensor.
std::vector<SkyStar> SkyCatalogue(const SkyParams& params, int width, int frameHeight);

// The sky for a sensor of width x frameHeight pixels.
std::unique_ptr<Scene> MakeSky(const SkyParams& params, int width, int frameHeight);

// How charge becomes a sample: bias, read noise, dark current (which doubles
// every 6 degrees), hot pixels, and saturation at 65535. With `enabled`
// false the sample is exactly electrons / gain, truncated and clamped, so
// that tests can predict images exactly.
struct NoiseModel {
  bool enabled = true;
  double gain = 1.5;              // e- per ADU
  double biasAdu = 1000.0;
  double readNoiseE = 8.0;
  double darkRateAt20C = 1.0;     // e-/s per pixel at +20 C
  double hotPixelFraction = 2e-5; // share of pixels with strong dark current
  uint32_t seed = 7;
};

// The 16-bit sample of one (possibly binned) pixel holding `electrons`,
// read at full-frame column x, frame row y, after `exposureSeconds` at
// `temperatureC`. `readIndex` makes the noise of each read different and
// reproducible.
uint16_t Digitize(const NoiseModel& noise, double electrons, int x, int y, double exposureSeconds,
                  double temperatureC, uint64_t readIndex);
// The same for a binned pixel that sums `binnedPixels` sensor pixels (whose
// top-left one is at x, y): dark current scales with the count, the read
// noise is that of one read.
uint16_t Digitize(const NoiseModel& noise, double electrons, int x, int y, double exposureSeconds,
                  double temperatureC, uint64_t readIndex, int binnedPixels);

}  // namespace cvsim
