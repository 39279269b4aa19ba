// The simulated sky: a seeded star field seen through the atmosphere.
//
// Stars follow a power-law luminosity function (many faint, few bright: the
// number brighter than a flux F falls as F^-0.75, about what star counts
// near the galactic plane show per magnitude), each spread by a Moffat
// profile whose width is the seeing. The profile is integrated over the
// pixel's area, not sampled at its centre, so a star's pixels add up to its
// flux wherever it falls on the pixel grid.
//
// rate() is called once per pixel per integration segment by the camera's
// readout model, so the stars are sorted beforehand into a grid of cells:
// every star is listed in each cell its profile reaches, and a pixel only
// looks at the stars of its own cell.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "counter_hash.h"
#include "scene.h"

namespace cvsim {

namespace {


double Uniform(uint64_t seed, uint64_t stream, uint64_t index) {
  uint64_t h = Mix(Mix(seed ^ 0x5C3A9E1D2B47F681ull) ^ Mix(stream * 0x2545F4914F6CDD1Dull) ^ index);
  return static_cast<double>(Mix(h) >> 11) * 0x1.0p-53;  // [0, 1)
}

enum Stream : uint64_t { kPosX = 1, kPosY, kFlux };

constexpr double kPi = 3.14159265358979323846;
constexpr int kMargin = 64;       // sky beyond the frame edges that guiding may bring in
constexpr int kCell = 32;         // pixels per grid cell side
constexpr double kCountSlope = 0.75;
constexpr double kFloorRate = 0.002;  // e-/s per pixel below which a star's wing is dropped
constexpr double kMaxRadius = 128.0;

// Gauss-Legendre nodes and weights on [-1/2, 1/2] (weights sum to 1).
constexpr int kNodes = 4;
constexpr double kNode[kNodes] = {-0.4305681557970263, -0.1699905217924281, 0.1699905217924281,
                                  0.4305681557970263};
constexpr double kWeight[kNodes] = {0.1739274225687269, 0.3260725774312731, 0.3260725774312731,
                                    0.1739274225687269};

struct Params {
  double background, fwhm, beta, brightest, faintest;
  int stars;
};

// Inputs that would make no sky are brought into range rather than refused:
// the simulator has no error path for them.
Params Sanitise(const SkyParams& p) {
  Params q;
  q.background = std::isfinite(p.backgroundRate) && p.backgroundRate > 0 ? p.backgroundRate : 0.0;
  q.fwhm = std::isfinite(p.seeingFwhmPx) && p.seeingFwhmPx >= 0.3 ? std::min(p.seeingFwhmPx, 40.0)
                                                                  : 0.3;
  q.beta = std::isfinite(p.moffatBeta) && p.moffatBeta > 1.2 ? std::min(p.moffatBeta, 50.0) : 1.2;
  double a = std::isfinite(p.brightestRate) && p.brightestRate > 0 ? p.brightestRate : 0.0;
  double b = std::isfinite(p.faintestRate) && p.faintestRate > 0 ? p.faintestRate : 0.0;
  q.brightest = std::max(a, b);
  q.faintest = std::min(a, b);
  if (q.faintest <= 0) q.faintest = q.brightest / 1000.0;
  q.stars = std::clamp(p.stars, 0, 1000000);
  return q;
}

// A flux between faintest and brightest with N(>F) proportional to F^-slope.
double DrawFlux(double u, double faintest, double brightest) {
  if (brightest <= faintest) return brightest;
  double lo = std::pow(faintest, -kCountSlope), hi = std::pow(brightest, -kCountSlope);
  return std::pow(lo - u * (lo - hi), -1.0 / kCountSlope);
}

class StarField : public Scene {
 public:
  StarField(const SkyParams& raw, int width, int height) {
    Params p = Sanitise(raw);
    background_ = p.background;
    beta_ = p.beta;
    // FWHM = 2 alpha sqrt(2^(1/beta) - 1)
    double alpha = p.fwhm / (2.0 * std::sqrt(std::pow(2.0, 1.0 / beta_) - 1.0));
    invAlpha2_ = 1.0 / (alpha * alpha);
    norm_ = (beta_ - 1.0) / (kPi * alpha * alpha);
    // Inside this radius the profile bends too fast for one sample per pixel.
    double core = 2.0 * p.fwhm + 1.5;
    core2_ = core * core;

    if (width <= 0 || height <= 0) return;
    originX_ = -kMargin;
    originY_ = -kMargin;
    cols_ = (width + 2 * kMargin + kCell - 1) / kCell;
    rows_ = (height + 2 * kMargin + kCell - 1) / kCell;

    std::vector<SkyStar> catalogue = SkyCatalogue(raw, width, height);
    stars_.reserve(catalogue.size());
    for (const SkyStar& s : catalogue) {
      Star star{s.x, s.y, s.rate, 0.0};
      // Radius at which the profile falls to the floor rate.
      double peak = s.rate * norm_;
      double r = 0;
      if (peak > kFloorRate)
        r = alpha * std::sqrt(std::max(0.0, std::pow(peak / kFloorRate, 1.0 / beta_) - 1.0));
      r = std::clamp(r, core, kMaxRadius);
      star.radius2 = r * r;
      stars_.push_back(star);
    }

    // Count, then fill: one flat list of star indexes per cell.
    std::vector<uint32_t> count(static_cast<size_t>(cols_) * rows_ + 1, 0);
    auto forCells = [&](const Star& s, auto&& fn) {
      double r = std::sqrt(s.radius2) + 1.0;
      int c0 = std::max(0, static_cast<int>(std::floor((s.x - r - originX_) / kCell)));
      int c1 = std::min(cols_ - 1, static_cast<int>(std::floor((s.x + r - originX_) / kCell)));
      int r0 = std::max(0, static_cast<int>(std::floor((s.y - r - originY_) / kCell)));
      int r1 = std::min(rows_ - 1, static_cast<int>(std::floor((s.y + r - originY_) / kCell)));
      for (int cy = r0; cy <= r1; ++cy)
        for (int cx = c0; cx <= c1; ++cx) fn(static_cast<size_t>(cy) * cols_ + cx);
    };
    for (const Star& s : stars_) forCells(s, [&](size_t cell) { ++count[cell + 1]; });
    for (size_t i = 1; i < count.size(); ++i) count[i] += count[i - 1];
    cellStart_ = count;
    cellStars_.resize(count.back());
    std::vector<uint32_t> fill(count.begin(), count.end() - 1);
    for (uint32_t i = 0; i < stars_.size(); ++i)
      forCells(stars_[i], [&](size_t cell) { cellStars_[fill[cell]++] = i; });
  }

  double rate(int x, int y, double dx, double dy) const override {
    // Centre of the pixel in sky coordinates.
    double sx = x + 0.5 - dx, sy = y + 0.5 - dy;
    double fx = std::floor((sx - originX_) / kCell), fy = std::floor((sy - originY_) / kCell);
    if (!(fx >= 0 && fy >= 0 && fx < cols_ && fy < rows_)) return background_;
    size_t cell = static_cast<size_t>(fy) * cols_ + static_cast<size_t>(fx);
    double total = background_;
    for (uint32_t k = cellStart_[cell]; k < cellStart_[cell + 1]; ++k) {
      const Star& s = stars_[cellStars_[k]];
      double ox = sx - s.x, oy = sy - s.y;
      double r2 = ox * ox + oy * oy;
      if (r2 > s.radius2) continue;
      total += s.rate * PixelIntegral(ox, oy, r2);
    }
    return total;
  }

 private:
  struct Star {
    double x, y, rate, radius2;
  };

  double Profile(double r2) const { return norm_ * std::pow(1.0 + r2 * invAlpha2_, -beta_); }

  // Share of a unit-flux star falling on the pixel whose centre lies at
  // (ox, oy) from the star.
  double PixelIntegral(double ox, double oy, double r2) const {
    if (r2 > core2_) return Profile(r2);  // smooth here: the centre value is the mean
    double sum = 0;
    for (int j = 0; j < kNodes; ++j) {
      double py = oy + kNode[j];
      double row = 0;
      for (int i = 0; i < kNodes; ++i) {
        double px = ox + kNode[i];
        row += kWeight[i] * Profile(px * px + py * py);
      }
      sum += kWeight[j] * row;
    }
    return sum;
  }

  double background_ = 0;
  double beta_ = 3;
  double invAlpha2_ = 1;
  double norm_ = 0;
  double core2_ = 0;
  double originX_ = 0, originY_ = 0;
  int cols_ = 0, rows_ = 0;
  std::vector<Star> stars_;
  std::vector<uint32_t> cellStart_;
  std::vector<uint32_t> cellStars_;
};

}  // namespace

std::vector<SkyStar> SkyCatalogue(const SkyParams& raw, int width, int height) {
  std::vector<SkyStar> out;
  if (width <= 0 || height <= 0) return out;
  Params p = Sanitise(raw);
  const double w = width, h = height, m = kMargin;
  double frameArea = w * h;
  double fullArea = (w + 2 * m) * (h + 2 * m);
  int inFrame = p.stars;
  // A tiny sensor would otherwise get an absurd crowd in its margin.
  double marginStars = std::min(1e5, p.stars * (fullArea - frameArea) / frameArea);
  int inMargin = static_cast<int>(std::lround(marginStars));
  out.reserve(static_cast<size_t>(inFrame) + inMargin);
  const uint64_t seed = raw.seed;
  uint64_t draw = 0;
  for (int i = 0; i < inFrame + inMargin; ++i) {
    SkyStar s;
    if (i < inFrame) {
      s.x = Uniform(seed, kPosX, draw) * w;
      s.y = Uniform(seed, kPosY, draw) * h;
      ++draw;
    } else {
      // Uniform over the margin ring: draw over the whole area until outside.
      do {
        s.x = -m + Uniform(seed, kPosX, draw) * (w + 2 * m);
        s.y = -m + Uniform(seed, kPosY, draw) * (h + 2 * m);
        ++draw;
      } while (s.x >= 0 && s.x < w && s.y >= 0 && s.y < h);
    }
    s.rate = i == 0 ? p.brightest : DrawFlux(Uniform(seed, kFlux, static_cast<uint64_t>(i)),
                                             p.faintest, p.brightest);
    out.push_back(s);
  }
  return out;
}

std::unique_ptr<Scene> MakeSky(const SkyParams& params, int width, int frameHeight) {
  return std::make_unique<StarField>(params, width, frameHeight);
}

}  // namespace cvsim
