// How the simulated sensor turns charge into a 16-bit sample.
//
// Every random draw comes from a hash of (seed, pixel, read, draw number),
// not from a generator with state: a pixel's noise is the same whichever
// order, or thread, the readout model digitises the frame in.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "counter_hash.h"
#include "scene.h"

namespace cvsim {

namespace {


uint64_t PixelKey(int x, int y) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y);
}

double ToUnit(uint64_t h) { return static_cast<double>(h >> 11) * 0x1.0p-53; }  // [0, 1)

// Draws of one pixel in one read.
class Draws {
 public:
  Draws(uint64_t seed, uint64_t pixel, uint64_t read)
      : base_(Mix(Mix(seed ^ pixel * 0x9FB21C651E98DF25ull) ^ (read * 0xD6E8FEB86659FD93ull))) {}
  double uniform() { return ToUnit(Mix(base_ + 0x632BE59BD9B4E019ull * ++n_)); }
  // A standard normal by Box-Muller (one of the pair; the other is not worth
  // its sine here, where a pixel needs one or two).
  double normal() {
    double u1 = 1.0 - uniform(), u2 = uniform();  // u1 in (0, 1]
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * 3.14159265358979323846 * u2);
  }

 private:
  uint64_t base_;
  uint64_t n_ = 0;
};

// Below this mean the count is drawn exactly; above it the normal
// approximation of the Poisson law is close enough.
constexpr double kExactPoissonBelow = 20.0;

double PoissonSmall(double mean, Draws& d) {
  double limit = std::exp(-mean), product = d.uniform();
  int k = 0;
  while (product > limit && k < 200) {
    product *= d.uniform();
    ++k;
  }
  return k;
}

// Dark current of the pixel in e-/s: doubling every 6 C, and many times the
// usual for the few hot pixels, which are fixed per pixel (not per read).
double DarkRate(const NoiseModel& n, int x, int y, double temperatureC) {
  double rate = n.darkRateAt20C > 0 ? n.darkRateAt20C : 0.0;
  if (rate == 0 && !(n.hotPixelFraction > 0)) return 0.0;
  double t = std::isfinite(temperatureC) ? std::clamp(temperatureC, -100.0, 100.0) : 20.0;
  rate *= std::exp2((t - 20.0) / 6.0);
  if (n.hotPixelFraction > 0) {
    uint64_t h = Mix(Mix(n.seed ^ 0x484F5450495845ull) ^ PixelKey(x, y));
    if (ToUnit(h) < n.hotPixelFraction) {
      // Hot by a factor between 100 and 5000, and at least 20 e-/s at +20 C
      // so that they show on a cold, dark-free sensor too.
      double factor = 100.0 * std::pow(50.0, ToUnit(Mix(h)));
      rate = std::max(rate * factor, 20.0 * std::exp2((t - 20.0) / 6.0));
    }
  }
  return rate;
}

uint16_t Clamp(double adu) {
  if (!(adu > 0)) return 0;  // NaN too
  if (adu >= 65535.0) return 65535;
  return static_cast<uint16_t>(adu);
}

}  // namespace

uint16_t Digitize(const NoiseModel& noise, double electrons, int x, int y, double exposureSeconds,
                  double temperatureC, uint64_t readIndex) {
  return Digitize(noise, electrons, x, y, exposureSeconds, temperatureC, readIndex, 1);
}

uint16_t Digitize(const NoiseModel& noise, double electrons, int x, int y, double exposureSeconds,
                  double temperatureC, uint64_t readIndex, int binnedPixels) {
  double gain = noise.gain > 0 && std::isfinite(noise.gain) ? noise.gain : 1.0;
  if (!noise.enabled) return Clamp(electrons / gain);

  double signal = electrons > 0 ? std::min(electrons, 1e15) : 0.0;  // NaN gives 0
  double seconds = std::isfinite(exposureSeconds) && exposureSeconds > 0 ? exposureSeconds : 0.0;
  double mean = signal + DarkRate(noise, x, y, temperatureC) * seconds * std::max(1, binnedPixels);

  Draws d(noise.seed, PixelKey(x, y), readIndex);
  double readNoise = noise.readNoiseE > 0 ? noise.readNoiseE : 0.0;
  double charge;
  if (mean < kExactPoissonBelow) {
    charge = PoissonSmall(mean, d) + (readNoise > 0 ? readNoise * d.normal() : 0.0);
  } else {
    // Shot and read noise are both normal here: one draw with both variances.
    charge = mean + std::sqrt(mean + readNoise * readNoise) * d.normal();
  }
  return Clamp(charge / gain + noise.biasAdu);
}

}  // namespace cvsim
