// The simulated sky and sensor noise on their own, without a camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "scene.h"

namespace {

using cvsim::Digitize;
using cvsim::MakeSky;
using cvsim::NoiseModel;
using cvsim::SkyCatalogue;
using cvsim::SkyParams;
using cvsim::SkyStar;

constexpr int kW = 400, kH = 300;
// Large enough that a one-star field puts no star in its margin.
constexpr int kSW = 1000, kSH = 1000;

// One star of known flux on a dark sky (on a kSW x kSH sensor).
SkyParams OneStar(double fwhm, double flux = 10000.0) {
  SkyParams p;
  p.seed = 11;
  p.stars = 1;
  p.seeingFwhmPx = fwhm;
  p.backgroundRate = 0.0;
  p.brightestRate = flux;
  p.faintestRate = flux;
  return p;
}

// The shift that puts `star` at sky position (tx, ty) on the sensor.
struct Shift {
  double dx, dy;
};
Shift MoveTo(const SkyStar& star, double tx, double ty) { return {tx - star.x, ty - star.y}; }

TEST(Sky, ProfileIsSymmetricAboutAStarOnAPixelCentre) {
  for (double fwhm : {1.2, 3.0, 6.0}) {
    SCOPED_TRACE(fwhm);
    SkyParams p = OneStar(fwhm);
    SkyStar star = SkyCatalogue(p, kSW, kSH).at(0);
    auto sky = MakeSky(p, kSW, kSH);
    const int cx = 200, cy = 150;
    Shift s = MoveTo(star, cx + 0.5, cy + 0.5);
    double peak = sky->rate(cx, cy, s.dx, s.dy);
    double previous = peak;
    for (int k = 0; k <= 8; ++k) {
      for (int j = 0; j <= 8; ++j) {
        double v = sky->rate(cx + k, cy + j, s.dx, s.dy);
        double tol = 1e-9 * peak;
        EXPECT_NEAR(v, sky->rate(cx - k, cy + j, s.dx, s.dy), tol);
        EXPECT_NEAR(v, sky->rate(cx + k, cy - j, s.dx, s.dy), tol);
        EXPECT_NEAR(v, sky->rate(cx - k, cy - j, s.dx, s.dy), tol);
        EXPECT_NEAR(v, sky->rate(cx + j, cy + k, s.dx, s.dy), tol);
      }
      // Falling away from the centre.
      double along = sky->rate(cx + k, cy, s.dx, s.dy);
      EXPECT_LE(along, previous);
      previous = along;
    }
    EXPECT_GT(peak, 0.0);
  }
}

TEST(Sky, PixelsOfAStarAddUpToItsFluxWhereverItFalls) {
  struct Case {
    double fwhm, fx, fy;
  } cases[] = {{1.0, 0.5, 0.5}, {1.0, 0.0, 0.0}, {1.0, 0.13, 0.71},
               {3.0, 0.5, 0.5}, {3.0, 0.0, 0.0}, {3.0, 0.9, 0.25},
               {6.0, 0.5, 0.5}, {6.0, 0.37, 0.02}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "fwhm " << c.fwhm << " at +" << c.fx << ",+" << c.fy);
    SkyParams p = OneStar(c.fwhm, 50000.0);
    SkyStar star = SkyCatalogue(p, kSW, kSH).at(0);
    auto sky = MakeSky(p, kSW, kSH);
    Shift s = MoveTo(star, 200 + c.fx, 150 + c.fy);
    double sum = 0;
    for (int y = 150 - 60; y <= 150 + 60; ++y)
      for (int x = 200 - 60; x <= 200 + 60; ++x) sum += sky->rate(x, y, s.dx, s.dy);
    EXPECT_NEAR(sum, 50000.0, 50000.0 * 0.01);
  }
}

TEST(Sky, AnUndersampledStarIsIntegratedNotSampledAtTheCentre) {
  // With a sharp star on a pixel corner, the four pixels share its flux
  // equally; sampling at pixel centres would give far less than a quarter.
  SkyParams p = OneStar(0.8, 40000.0);
  SkyStar star = SkyCatalogue(p, kSW, kSH).at(0);
  auto sky = MakeSky(p, kSW, kSH);
  Shift s = MoveTo(star, 100.0, 100.0);
  double quad[] = {sky->rate(99, 99, s.dx, s.dy), sky->rate(100, 99, s.dx, s.dy),
                   sky->rate(99, 100, s.dx, s.dy), sky->rate(100, 100, s.dx, s.dy)};
  for (double q : quad) EXPECT_NEAR(q, quad[0], 1e-9 * quad[0]);
  EXPECT_GT(quad[0] * 4, 0.8 * 40000.0);
}

TEST(Sky, ShiftMovesTheWholeField) {
  SkyParams p;
  p.seed = 5;
  p.stars = 80;
  auto sky = MakeSky(p, kW, kH);
  for (int y = 20; y < kH - 20; y += 7)
    for (int x = 20; x < kW - 20; x += 5) {
      double here = sky->rate(x, y, 0.0, 0.0);
      EXPECT_NEAR(sky->rate(x + 3, y - 2, 3.0, -2.0), here, 1e-9 * here);
    }
}

TEST(Sky, SameSeedSameSkyOtherSeedOtherSky) {
  SkyParams a;
  a.seed = 42;
  SkyParams b = a;
  b.seed = 43;
  auto one = MakeSky(a, kW, kH), two = MakeSky(a, kW, kH), other = MakeSky(b, kW, kH);
  int differ = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      ASSERT_EQ(one->rate(x, y, 0.3, -1.7), two->rate(x, y, 0.3, -1.7));
      if (one->rate(x, y, 0, 0) != other->rate(x, y, 0, 0)) ++differ;
    }
  EXPECT_GT(differ, 100);
}

TEST(Sky, ManyFaintStarsFewBrightOnes) {
  SkyParams p;
  p.stars = 3000;
  p.faintestRate = 100.0;
  p.brightestRate = 1e6;
  std::vector<SkyStar> stars = SkyCatalogue(p, 1000, 1000);
  int onFrame = 0, faintDecade = 0, brightDecades = 0;
  double brightest = 0;
  for (const SkyStar& s : stars) {
    EXPECT_GE(s.rate, 100.0 * (1 - 1e-12));
    EXPECT_LE(s.rate, 1e6 * (1 + 1e-12));
    brightest = std::max(brightest, s.rate);
    if (s.x >= 0 && s.x < 1000 && s.y >= 0 && s.y < 1000) ++onFrame;
    if (s.rate < 1000.0) ++faintDecade;
    if (s.rate >= 1e4) ++brightDecades;
  }
  EXPECT_EQ(onFrame, 3000);  // the margin's stars lie outside the frame
  EXPECT_EQ(stars.at(0).rate, 1e6);
  EXPECT_EQ(brightest, 1e6);
  // N(>F) ~ F^-0.75: the faintest decade holds ~82 %, the top two ~3 %.
  EXPECT_GT(faintDecade, 0.7 * stars.size());
  EXPECT_LT(brightDecades, 0.08 * stars.size());
  EXPECT_GT(brightDecades, 0);
}

TEST(Sky, BackgroundAwayFromStarsAndBeyondTheSkyMargin) {
  SkyParams p = OneStar(3.0);
  p.backgroundRate = 25.0;
  auto sky = MakeSky(p, kSW, kSH);
  SkyStar star = SkyCatalogue(p, kSW, kSH).at(0);
  Shift s = MoveTo(star, 50.5, 50.5);
  EXPECT_DOUBLE_EQ(sky->rate(300, 250, s.dx, s.dy), 25.0);
  // Far outside the simulated sky (a wild shift, pixels off the grid).
  EXPECT_DOUBLE_EQ(sky->rate(10, 10, 1e6, -1e6), 25.0);
  EXPECT_DOUBLE_EQ(sky->rate(-5000, 1 << 30, 0, 0), 25.0);
}

TEST(Sky, NonsenseParametersGiveASkyNotACrash) {
  SkyParams bad;
  bad.stars = -5;
  bad.seeingFwhmPx = 0.0;
  bad.moffatBeta = -1.0;
  bad.faintestRate = -3.0;
  bad.brightestRate = NAN;
  bad.backgroundRate = -1.0;
  for (auto size : {std::pair<int, int>{0, 0}, {-3, 10}, {1, 1}, {kW, kH}}) {
    auto sky = MakeSky(bad, size.first, size.second);
    EXPECT_EQ(sky->rate(0, 0, 0, 0), 0.0);
  }
  SkyParams tiny = OneStar(NAN, 1000.0);
  auto sky = MakeSky(tiny, 2, 2);
  double sum = 0;
  for (int y = -70; y < 72; ++y)
    for (int x = -70; x < 72; ++x) sum += sky->rate(x, y, 0, 0);
  EXPECT_TRUE(std::isfinite(sum));
  EXPECT_GT(sum, 0.0);
}

// ---- Noise ----

NoiseModel Quiet() {
  NoiseModel n;
  n.readNoiseE = 0.0;
  n.darkRateAt20C = 0.0;
  n.hotPixelFraction = 0.0;
  n.biasAdu = 0.0;
  n.gain = 1.0;
  return n;
}

TEST(Noise, DisabledIsElectronsOverGainTruncatedAndClamped) {
  NoiseModel off;
  off.enabled = false;  // bias, dark and hot pixels of the defaults must not show
  off.hotPixelFraction = 1.0;
  struct Case {
    double gain, electrons;
    uint16_t expected;
  } cases[] = {{1.5, 0.0, 0},          {1.5, 15.0, 10},        {1.5, 16.0, 10},
               {1.5, 1.4999, 0},       {1.0, 65534.99, 65534}, {1.0, 65535.0, 65535},
               {1.5, 1e9, 65535},      {1.5, -20.0, 0},        {2.0, 131069.0, 65534},
               {0.0, 7.9, 7} /* no gain: taken as 1 */,       {1.5, NAN, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.electrons << " e- at gain " << c.gain);
    off.gain = c.gain;
    EXPECT_EQ(Digitize(off, c.electrons, 3, 4, 100.0, 30.0, 9), c.expected);
    EXPECT_EQ(Digitize(off, c.electrons, 500, 1, 0.0, -20.0, 1, 4), c.expected);
  }
}

TEST(Noise, SamePixelAndReadSameSampleOtherReadOtherSample) {
  NoiseModel n;
  int differ = 0;
  for (int x = 0; x < 200; ++x) {
    uint16_t a = Digitize(n, 5000.0, x, 17, 10.0, 0.0, 3);
    EXPECT_EQ(a, Digitize(n, 5000.0, x, 17, 10.0, 0.0, 3));
    if (a != Digitize(n, 5000.0, x, 17, 10.0, 0.0, 4)) ++differ;
  }
  EXPECT_GT(differ, 180);
  NoiseModel other = n;
  other.seed = n.seed + 1;
  EXPECT_NE(Digitize(n, 5000.0, 1, 2, 1.0, 0.0, 0), Digitize(other, 5000.0, 1, 2, 1.0, 0.0, 0));
}

struct Stats {
  double mean, variance;
};
template <typename F>
Stats Measure(int count, F sample) {
  double sum = 0, sum2 = 0;
  for (int i = 0; i < count; ++i) {
    double v = sample(i);
    sum += v;
    sum2 += v * v;
  }
  double mean = sum / count;
  return {mean, sum2 / count - mean * mean};
}

TEST(Noise, ShotAndReadNoiseHaveTheRightSpread) {
  struct Case {
    double electrons, gain, readNoise, bias;
    bool whole;  // whole electron counts at gain 1: nothing is truncated
  } cases[] = {{3.0, 1.0, 0.0, 100.0, true},  // exact Poisson counts
               {12.0, 1.0, 0.0, 100.0, true},
               {1000.0, 1.0, 0.0, 100.0, false},  // normal approximation
               {0.0, 1.0, 8.0, 1000.0, false},    // read noise alone
               {1000.0, 1.5, 8.0, 1000.0, false},
               {40000.0, 2.0, 12.0, 500.0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.electrons << " e-, gain " << c.gain << ", read noise "
                                    << c.readNoise);
    NoiseModel n = Quiet();
    n.gain = c.gain;
    n.readNoiseE = c.readNoise;
    n.biasAdu = c.bias;
    Stats s = Measure(40000, [&](int i) {
      return Digitize(n, c.electrons, i % 400, i / 400, 1.0, 20.0, 77);
    });
    // Truncation lowers the mean by half an ADU on average.
    double mean = c.bias + c.electrons / c.gain - (c.whole ? 0.0 : 0.5);
    double variance = (c.electrons + c.readNoise * c.readNoise) / (c.gain * c.gain) +
                      (c.whole ? 0.0 : 1.0 / 12);
    EXPECT_NEAR(s.mean, mean, 0.03 * std::sqrt(variance) + 0.02);
    EXPECT_NEAR(s.variance, variance, 0.05 * variance);
  }
}

TEST(Noise, DarkCurrentDoublesEverySixDegrees) {
  NoiseModel n = Quiet();
  n.darkRateAt20C = 2.0;
  auto darkMean = [&](double temperature) {
    return Measure(20000, [&](int i) {
             return Digitize(n, 0.0, i % 200, i / 200, 300.0, temperature, 1);
           }).mean + 0.5;
  };
  EXPECT_NEAR(darkMean(20.0), 600.0, 6.0);
  EXPECT_NEAR(darkMean(26.0), 1200.0, 12.0);
  EXPECT_NEAR(darkMean(8.0), 150.0, 3.0);
  // No exposure, no dark current; and it scales with the binned pixels.
  EXPECT_EQ(Digitize(n, 0.0, 1, 1, 0.0, 20.0, 1), 0);
  double binned = Measure(20000, [&](int i) {
                    return Digitize(n, 0.0, i % 200, i / 200, 300.0, 20.0, 1, 4);
                  }).mean + 0.5;
  EXPECT_NEAR(binned, 2400.0, 24.0);
}

TEST(Noise, HotPixelsAreFewAndStayHot) {
  NoiseModel n = Quiet();
  n.darkRateAt20C = 0.5;
  n.hotPixelFraction = 0.01;
  std::vector<int> hot;
  const int w = 300, h = 200;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (Digitize(n, 0.0, x, y, 60.0, 20.0, 1) > 1000) hot.push_back(y * w + x);
  double share = static_cast<double>(hot.size()) / (w * h);
  EXPECT_GT(share, 0.007);
  EXPECT_LT(share, 0.013);
  for (int p : hot) EXPECT_GT(Digitize(n, 0.0, p % w, p / w, 60.0, 20.0, 2), 1000) << p;
  n.hotPixelFraction = 0.0;
  for (int p : hot) EXPECT_LT(Digitize(n, 0.0, p % w, p / w, 60.0, 20.0, 2), 100) << p;
}

TEST(Noise, SaturatesAt65535AndNeverWraps) {
  NoiseModel n;
  for (double e : {1e5, 1e6, 1e12, double(INFINITY)})
    EXPECT_EQ(Digitize(n, e, 10, 10, 1.0, 20.0, 0), 65535) << e;
  NoiseModel bias = Quiet();
  bias.biasAdu = 1000.0;
  bias.readNoiseE = 8.0;
  uint16_t v = Digitize(bias, 0.0, 1, 1, 0.0, 20.0, 0);
  EXPECT_GT(v, 950);
  EXPECT_LT(v, 1050);
  bias.biasAdu = 0.0;  // read noise below zero clamps at 0, not 65535
  for (int x = 0; x < 200; ++x) EXPECT_LT(Digitize(bias, 0.0, x, 0, 0.0, 20.0, 0), 100);
}

}  // namespace
