#include "sim_camera.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "clock.h"

namespace cvsim {

namespace {

// A request larger than this is not one the camera can buffer: it is
// ignored rather than allocated (a 16-bit 65535 x 65535 area would be 8 GB).
constexpr uint64_t kMaxRequestBytes = 256ull << 20;

// Guiding moves the sky continuously while a relay is on; the motion is
// integrated in steps of at most this many pixels, and in at most
// kMaxShiftSamples steps per integration window.
constexpr double kShiftStepPx = 0.25;
constexpr int kMaxShiftSamples = 64;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}

int Bin(uint8_t b) { return b == 0 ? 1 : b; }

}  // namespace

// ---------------------------------------------------------------------------
// Geometry

int FrameHeight(const SensorSpec& spec) {
  return spec.interlaced ? 2 * spec.height : spec.height;
}

bool ReadRequest::Parse(const uint8_t* b, size_t length, ReadRequest* out) {
  if (length < 8 || (b[1] != 2 && b[1] != 3)) return false;
  const bool delayed = b[1] == 2;
  const size_t need = delayed ? 22 : 18;
  if (length < need) return false;
  ReadRequest r;
  r.delayed = delayed;
  r.field = b[2];
  r.sensor = b[4];
  r.x = Le16(b + 8);
  r.y = Le16(b + 10);
  r.widthField = Le16(b + 12);
  r.heightField = Le16(b + 14);
  r.xBin = b[16];
  r.yBin = b[17];
  r.delayMs = delayed ? Le32(b + 18) : 0;
  *out = r;
  return true;
}

std::vector<uint8_t> ReadRequest::Encode() const {
  std::vector<uint8_t> m(delayed ? 22 : 18, 0);
  m[0] = 0x40;
  m[1] = delayed ? 2 : 3;
  m[2] = field;
  m[4] = sensor;
  m[6] = delayed ? 14 : 10;
  Put16(m, 8, x);
  Put16(m, 10, y);
  Put16(m, 12, widthField);
  Put16(m, 14, heightField);
  m[16] = xBin;
  m[17] = yBin;
  if (delayed) {
    m[18] = static_cast<uint8_t>(delayMs);
    m[19] = static_cast<uint8_t>(delayMs >> 8);
    m[20] = static_cast<uint8_t>(delayMs >> 16);
    m[21] = static_cast<uint8_t>(delayMs >> 24);
  }
  return m;
}

// Every request is delivered as widthField / xBin samples per line and
// heightField / yBin lines, for every model: the extents are unbinned, and
// the camera bins them. What the lines hold differs by model (render()).
Delivery DeliveryOf(const SensorSpec& spec, const ReadRequest& r) {
  Delivery d;
  d.samplesPerLine = r.widthField / Bin(r.xBin);
  d.lines = r.heightField / Bin(r.yBin);
  d.bytesPerSample = r.sensor == 1 ? 1 : std::max(1, spec.bitsPerPixel / 8);
  return d;
}

uint16_t PatternSample(int field, int row, int column) {
  return static_cast<uint16_t>((column & 0x0FFF) | ((row & 7) << 12) | (field == 2 ? 0x8000 : 0));
}

uint8_t GuidePatternByte(int row, int column) {
  return static_cast<uint8_t>(((row & 15) << 4) | (column & 15));
}

// ---------------------------------------------------------------------------
// Rendering a readout

namespace {

// What one delivered sample is made of: the frame pixels (field index, frame
// row, column; unbinned) whose charge it sums and the binned frame
// coordinates that the test pattern encodes. The mapping is walked once per
// sample with a visitor so that no per-sample lists are built.
struct SampleSite {
  int patternField;  // 0, 1 or 2 (see PatternSample)
  int row, column;   // binned frame coordinates
  bool empty;        // outside what the request describes: the sample is 0
};

// Calls site(index, SampleSite) and, for a non-empty site,
// pixel(fieldIndex, frameRow, column) for each unbinned pixel in it.
template <typename SiteFn, typename PixelFn>
void WalkRequest(const SensorSpec& spec, const ReadRequest& r, SiteFn&& site, PixelFn&& pixel,
                 bool pixels = true) {
  const Delivery d = DeliveryOf(spec, r);
  const int xb = Bin(r.xBin), yb = Bin(r.yBin);
  const bool guide = r.sensor == 1;
  const bool interlaced = !guide && spec.interlaced;
  const int outW = static_cast<int>(d.samplesPerLine);
  const int lines = static_cast<int>(d.lines);
  size_t idx = 0;

  if (!guide && spec.model == 89) {
    // Model 89: each delivered line holds two frame lines, their pixels
    // alternating (sample 2k of line m is row 2m, column k; sample 2k + 1 is
    // row 2m + 1, column k). The request's X and width field count both
    // lines' pixels (twice the frame's), Y and the height field line pairs
    // (half the frame's), so the frame area starts at column X / 2, row 2Y.
    const int row0 = 2 * (r.y / yb);
    const int col0 = r.x / (2 * xb);
    for (int m = 0; m < lines; ++m)
      for (int s = 0; s < outW; ++s, ++idx) {
        const int R = row0 + 2 * m + (s & 1);
        const int C = col0 + (s >> 1);
        site(idx, SampleSite{0, R, C, false});
        if (pixels)
          for (int a = 0; a < yb; ++a)
          for (int b = 0; b < xb; ++b) pixel(0, R * yb + a, C * xb + b);
      }
    return;
  }

  if (!guide && spec.model == 90) {
    // Model 90: the two fields run along the frame's columns, field 1 the
    // even columns and field 2 the odd columns of the area, each with all of
    // its rows. The request carries the extents exchanged and scaled (width
    // field = 4 x lines of one read, height field = frame width / 4), so the
    // binned frame area is (4 x heightField / xBin) columns by
    // (2 x (widthField / 4) / yBin) rows, starting at column X / xBin and row
    // 2Y / yBin. A field is sent folded, in passes k = 0, 1, ...: in each
    // pass every column of the field, left to right, gets four samples, for
    // rows 4k, H - 1 - 4k, 4k + 2 and H - 3 - 4k. Binning sums xBin columns
    // of the same field and yBin rows. Both fields at once (selector 3) sums
    // each even column with the odd one to its right, in field 1's order.
    const int fw = 4 * r.heightField / xb;
    const int fh = 2 * ((r.widthField / 4) / yb);
    const int ncols = fw / 2;
    const int row0 = 2 * r.y / yb;
    const int col0 = r.x / xb;
    const int field = r.field == 2 ? 2 : (r.field == 1 ? 1 : 3);
    const size_t total = size_t(outW) * lines;
    const size_t perPass = size_t(ncols) * 4;
    const size_t folded = size_t(ncols) * fh;
    for (; idx < total; ++idx) {
      if (idx >= folded || perPass == 0) {
        site(idx, SampleSite{0, 0, 0, true});
        continue;
      }
      const int k = static_cast<int>(idx / perPass);
      const int rem = static_cast<int>(idx % perPass);
      const int ci = rem / 4;
      const int q = rem % 4;
      const int rows[4] = {4 * k, fh - 1 - 4 * k, 4 * k + 2, fh - 3 - 4 * k};
      const int rr = rows[q];
      if (rr < 0 || rr >= fh) {
        site(idx, SampleSite{0, 0, 0, true});
        continue;
      }
      const int c = (field == 2 ? 1 : 0) + 2 * ci;
      const int R = row0 + rr;
      const int C = col0 + c;
      site(idx, SampleSite{field == 3 ? 0 : field, R, C, false});
      const int fieldCol = (col0 >> 1) + ci;  // binned column within the field
      if (pixels)
        for (int a = 0; a < yb; ++a)
          for (int b = 0; b < xb; ++b) {
            const int unbinned = 2 * (fieldCol * xb + b);
            if (field != 2) pixel(0, R * yb + a, unbinned);
            if (field != 1) pixel(1, R * yb + a, unbinned + 1);
          }
    }
    return;
  }

  if (interlaced && (r.field == 1 || r.field == 2)) {
    // One field: field 1 holds the even frame rows, field 2 the odd ones;
    // Y and the height field count lines of the field.
    const int fi = r.field - 1;
    for (int i = 0; i < lines; ++i)
      for (int j = 0; j < outW; ++j, ++idx) {
        const int R = 2 * (r.y / yb + i) + fi;
        const int C = r.x / xb + j;
        site(idx, SampleSite{r.field, R, C, false});
        if (pixels)
          for (int a = 0; a < yb; ++a)
          for (int b = 0; b < xb; ++b)
            pixel(fi, 2 * (r.y + i * yb + a) + fi, r.x + j * xb + b);
      }
    return;
  }

  if (interlaced) {
    // Both fields at once: the camera bins the two fields' lines vertically,
    // so line i carries the sum of frame rows 2L and 2L + 1 for each field
    // line L of the bin.
    for (int i = 0; i < lines; ++i)
      for (int j = 0; j < outW; ++j, ++idx) {
        const int R = 2 * (r.y / yb + i);
        const int C = r.x / xb + j;
        site(idx, SampleSite{0, R, C, false});
        if (pixels)
          for (int a = 0; a < yb; ++a)
          for (int b = 0; b < xb; ++b) {
            const int L = r.y + i * yb + a;
            pixel(0, 2 * L, r.x + j * xb + b);
            pixel(1, 2 * L + 1, r.x + j * xb + b);
          }
      }
    return;
  }

  // Progressive sensor or guide head: every selector reads the whole sensor.
  for (int i = 0; i < lines; ++i)
    for (int j = 0; j < outW; ++j, ++idx) {
      const int R = r.y / yb + i;
      const int C = r.x / xb + j;
      site(idx, SampleSite{0, R, C, false});
      if (pixels)
        for (int a = 0; a < yb; ++a)
          for (int b = 0; b < xb; ++b) pixel(0, r.y + i * yb + a, r.x + j * xb + b);
    }
}

void PutSample(std::vector<uint8_t>& out, size_t idx, uint32_t bps, uint16_t v) {
  if (bps == 1) {
    out[idx] = static_cast<uint8_t>(v >> 8);
  } else {
    out[2 * idx] = static_cast<uint8_t>(v);
    out[2 * idx + 1] = static_cast<uint8_t>(v >> 8);
  }
}

}  // namespace

std::vector<uint8_t> PatternDelivery(const SensorSpec& spec, const ReadRequest& request) {
  const Delivery d = DeliveryOf(spec, request);
  if (d.bytes() > kMaxRequestBytes) return {};
  std::vector<uint8_t> out(static_cast<size_t>(d.bytes()), 0);
  const bool guide = request.sensor == 1;
  WalkRequest(
      spec, request,
      [&](size_t idx, const SampleSite& s) {
        if (s.empty) return;
        const uint16_t v = guide ? static_cast<uint16_t>(GuidePatternByte(s.row, s.column) << 8)
                                 : PatternSample(s.patternField, s.row, s.column);
        PutSample(out, idx, d.bytesPerSample, v);
      },
      [](int, int, int) {}, false);
  return out;
}

std::vector<uint8_t> SimCamera::render(const ReadRequest& request, const FieldWindows& windows,
                                       uint64_t readIndex) const {
  if (testPattern_) return PatternDelivery(spec_, request);
  const Delivery d = DeliveryOf(spec_, request);
  if (d.bytes() > kMaxRequestBytes) return {};
  std::vector<uint8_t> out(static_cast<size_t>(d.bytes()), 0);
  const int sensor = request.sensor == 1 ? 1 : 0;
  const int width = sensor ? spec_.guideWidth : spec_.width;
  const int frameH = sensor ? spec_.guideHeight : FrameHeight(spec_);
  const Scene& scene = sceneFor(sensor);

  std::vector<ShiftSample> samples[2];
  double seconds[2];
  for (int f = 0; f < 2; ++f) {
    samples[f] = samplesFor(sensor, windows.start[f], windows.end);
    seconds[f] = windows.end > windows.start[f] ? (windows.end - windows.start[f]) / 1000.0 : 0.0;
  }
  const double temperature = cooler_.temperature(windows.end);

  // Shifts that hold for a whole window come from the rate maps.
  std::vector<RateMap*> maps[2];
  for (int f = 0; f < 2; ++f)
    if (samples[f].size() <= 2)
      for (const ShiftSample& s : samples[f]) maps[f].push_back(&rateMap(sensor, s.dx, s.dy));

  // Per sample: electrons summed over its pixels, the top-left pixel, the
  // pixel count and the mean integration time (for dark current).
  size_t current = 0;
  bool empty = true;
  double electrons = 0, secondsSum = 0;
  int x0 = 0, y0 = 0, count = 0;
  auto flush = [&]() {
    if (!empty) {
      const double exposure = count ? secondsSum / count : 0.0;
      const uint16_t v =
          Digitize(noise_, electrons, x0, y0, exposure, temperature, readIndex, count);
      PutSample(out, current, d.bytesPerSample, v);
    }
  };
  WalkRequest(
      spec_, request,
      [&](size_t idx, const SampleSite& s) {
        flush();
        current = idx;
        empty = s.empty;
        electrons = 0;
        secondsSum = 0;
        count = 0;
      },
      [&](int fi, int row, int col) {
        if (count == 0) {
          x0 = col;
          y0 = row;
        }
        ++count;
        secondsSum += seconds[fi];
        if (row < 0 || row >= frameH || col < 0 || col >= width) return;
        if (!maps[fi].empty()) {
          const size_t at = size_t(row) * width + col;
          for (size_t k = 0; k < maps[fi].size(); ++k) {
            double& r = maps[fi][k]->rate[at];
            if (std::isnan(r)) r = scene.rate(col, row, samples[fi][k].dx, samples[fi][k].dy);
            electrons += samples[fi][k].seconds * r;
          }
          return;
        }
        for (const ShiftSample& s : samples[fi])
          electrons += s.seconds * scene.rate(col, row, s.dx, s.dy);
      });
  flush();
  return out;
}

std::vector<uint8_t> SimCamera::predict(const ReadRequest& request, const FieldWindows& windows,
                                        uint64_t readIndex) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return render(request, windows, readIndex);
}

// ---------------------------------------------------------------------------
// Light: shutter, guiding, scenes

SimCamera::RateMap& SimCamera::rateMap(int sensor, double dx, double dy) const {
  auto& maps = rateMaps_[sensor];
  for (auto& m : maps)
    if (m.dx == dx && m.dy == dy) return m;
  if (maps.size() >= 2) maps.erase(maps.begin());
  const int w = sensor ? spec_.guideWidth : spec_.width;
  const int h = sensor ? spec_.guideHeight : FrameHeight(spec_);
  maps.push_back({dx, dy, std::vector<double>(size_t(w) * size_t(h), std::nan(""))});
  return maps.back();
}

const Scene& SimCamera::sceneFor(int sensor) const {
  if (!scene_[sensor]) {
    SkyParams p = sky_;
    if (sensor == 1) p.seed += 1;
    const int w = sensor ? spec_.guideWidth : spec_.width;
    const int h = sensor ? spec_.guideHeight : FrameHeight(spec_);
    scene_[sensor] = MakeSky(p, std::max(1, w), std::max(1, h));
  }
  return *scene_[sensor];
}

// The relay lines move the sky on the sensor at the guide rate while they
// are on: 0x08 toward increasing columns, 0x01 toward decreasing columns,
// 0x04 toward increasing rows (down), 0x02 toward decreasing rows. Both
// lines of a pair on at once cancel.
void SimCamera::velocity(uint8_t mask, double* vx, double* vy) const {
  *vx = guideRate_ * (((mask & 0x08) ? 1 : 0) - ((mask & 0x01) ? 1 : 0));
  *vy = guideRate_ * (((mask & 0x04) ? 1 : 0) - ((mask & 0x02) ? 1 : 0));
}

void SimCamera::shiftAt(uint64_t ms, double* dx, double* dy) const {
  *dx = 0;
  *dy = 0;
  auto it = std::upper_bound(relays_.begin(), relays_.end(), ms,
                             [](uint64_t t, const RelayEvent& e) { return t < e.tick; });
  if (it == relays_.begin()) return;
  --it;
  double vx, vy;
  velocity(it->mask, &vx, &vy);
  const double s = (ms - it->tick) / 1000.0;
  *dx = it->dx + vx * s;
  *dy = it->dy + vy * s;
}

bool SimCamera::lightFalls(int sensor, uint64_t tick) const {
  // The guide head sits beside the shutter, not behind it; a camera without
  // a shutter is always open. Otherwise the shutter starts closed.
  if (sensor == 1 || !(spec_.capabilities & 0x20)) return true;
  bool open = false;
  for (auto& e : shutter_) {
    if (e.first > tick) break;
    open = e.second;
  }
  return open;
}

std::vector<SimCamera::ShiftSample> SimCamera::samplesFor(int sensor, uint64_t from,
                                                          uint64_t to) const {
  std::vector<ShiftSample> out;
  if (to <= from) return out;
  std::vector<uint64_t> cuts = {from, to};
  for (auto& e : relays_)
    if (e.tick > from && e.tick < to) cuts.push_back(e.tick);
  if (sensor == 0)
    for (auto& e : shutter_)
      if (e.first > from && e.first < to) cuts.push_back(e.first);
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

  double travel = 0;
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    double ax, ay, bx, by;
    shiftAt(cuts[i], &ax, &ay);
    shiftAt(cuts[i + 1], &bx, &by);
    if (lightFalls(sensor, cuts[i])) travel += std::hypot(bx - ax, by - ay);
  }
  const double step = std::max(kShiftStepPx, travel / kMaxShiftSamples);

  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    const uint64_t a = cuts[i], b = cuts[i + 1];
    if (!lightFalls(sensor, a)) continue;
    double ax, ay, bx, by;
    shiftAt(a, &ax, &ay);
    shiftAt(b, &bx, &by);
    const double dist = std::hypot(bx - ax, by - ay);
    const int n = std::max(1, static_cast<int>(std::ceil(dist / step)));
    const double secs = (b - a) / 1000.0 / n;
    for (int k = 0; k < n; ++k) {
      const double t = (k + 0.5) / n;
      const double dx = ax + t * (bx - ax), dy = ay + t * (by - ay);
      if (!out.empty() && out.back().dx == dx && out.back().dy == dy)
        out.back().seconds += secs;
      else
        out.push_back({dx, dy, secs});
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// The camera

SimCamera::SimCamera(const SensorSpec& spec) : spec_(spec) {
  const uint64_t now = Clock::instance().nowMs();
  relays_.push_back({0, 0, 0.0, 0.0});
  for (auto& s : fieldStart_) s[0] = s[1] = now;
}

void SimCamera::refuseOpen(uint32_t error) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuseOpen_ = error;
}

std::vector<LoggedWrite> SimCamera::writes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writes_;
}

std::vector<LoggedWrite> SimCamera::writes(uint32_t connection) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LoggedWrite> out;
  for (auto& w : writes_)
    if (w.connection == connection) out.push_back(w);
  return out;
}

std::vector<LoggedRead> SimCamera::reads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_;
}

std::vector<Readout> SimCamera::readouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return readouts_;
}

void SimCamera::clearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  writes_.clear();
  reads_.clear();
  readouts_.clear();
}

std::vector<uint32_t> SimCamera::connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connectionOrder_;
}

void SimCamera::setTransferRate(double bytesPerSecond) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (bytesPerSecond > 0) bytesPerSecond_ = bytesPerSecond;
}

void SimCamera::setDriverTimeout(uint32_t ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeoutMs_ = ms;
}

void SimCamera::setGuideRate(double pixelsPerSecond) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Keep the shift continuous: close the running segment at the old rate.
  const uint64_t now = Clock::instance().nowMs();
  double dx, dy;
  shiftAt(now, &dx, &dy);
  const uint8_t mask = relays_.back().mask;
  guideRate_ = pixelsPerSecond;
  relays_.push_back({std::max(now, relays_.back().tick), mask, dx, dy});
}

void SimCamera::setTestPattern(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  testPattern_ = on;
}

void SimCamera::setNoise(const NoiseModel& noise) {
  std::lock_guard<std::mutex> lock(mutex_);
  noise_ = noise;
}

NoiseModel SimCamera::noise() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return noise_;
}

void SimCamera::setSky(const SkyParams& params) {
  std::lock_guard<std::mutex> lock(mutex_);
  sky_ = params;
  scene_[0].reset();
  scene_[1].reset();
  rateMaps_[0].clear();
  rateMaps_[1].clear();
}

void SimCamera::setScene(std::shared_ptr<const Scene> imaging, std::shared_ptr<const Scene> guide) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (imaging) {
    scene_[0] = std::move(imaging);
    rateMaps_[0].clear();
  }
  if (guide) {
    scene_[1] = std::move(guide);
    rateMaps_[1].clear();
  }
}

uint8_t SimCamera::relayMask() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return relays_.back().mask;
}

bool SimCamera::shutterOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !shutter_.empty() && shutter_.back().second;
}

size_t SimCamera::queuedReadouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

void SimCamera::skyShift(uint64_t ms, double* dx, double* dy) const {
  std::lock_guard<std::mutex> lock(mutex_);
  shiftAt(ms, dx, dy);
}

void SimCamera::failWrite(int nth, uint32_t error) {
  std::lock_guard<std::mutex> lock(mutex_);
  failWrites_.push_back({writeCount_ + static_cast<uint64_t>(std::max(1, nth)), error});
}

void SimCamera::failRead(int nth, uint32_t error) {
  std::lock_guard<std::mutex> lock(mutex_);
  failReads_.push_back({readCount_ + static_cast<uint64_t>(std::max(1, nth)), error});
}

void SimCamera::shortenRead(int nth, uint32_t maxBytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  shortReads_.push_back({readCount_ + static_cast<uint64_t>(std::max(1, nth)), maxBytes});
}

void SimCamera::stopAnswering(bool silent) {
  std::lock_guard<std::mutex> lock(mutex_);
  silent_ = silent;
}

void SimCamera::clearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  failWrites_.clear();
  failReads_.clear();
  shortReads_.clear();
  silent_ = false;
}

bool SimCamera::consumeFault(std::vector<Fault>& faults, uint64_t index, uint32_t* value) {
  for (auto it = faults.begin(); it != faults.end(); ++it)
    if (it->at == index) {
      *value = it->value;
      faults.erase(it);
      return true;
    }
  return false;
}

uint32_t SimCamera::open(uint32_t connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (unplugged_) return cvworld::err::fileNotFound;
  if (refuseOpen_ != 0) return refuseOpen_;
  connections_[connection] = Connection{};
  connectionOrder_.push_back(connection);
  return cvworld::err::ok;
}

// A closed handle's unread reply and the data of its requests are dropped.
void SimCamera::close(uint32_t connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  connections_.erase(connection);
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                              [&](const Job& j) { return j.record.connection == connection; }),
               queue_.end());
}

void SimCamera::setUnplugged(bool unplugged) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (unplugged && !unplugged_) {
    for (auto& c : connections_) c.second.dead = true;
    powerLoss();
  }
  unplugged_ = unplugged;
}

void SimCamera::powerLoss() {
  const uint64_t now = Clock::instance().nowMs();
  queue_.clear();
  for (auto& c : connections_) {
    c.second.hasReply = false;
    c.second.reply.clear();
  }
  for (auto& s : fieldStart_) s[0] = s[1] = now;
  double dx, dy;
  shiftAt(now, &dx, &dy);
  relays_.push_back({std::max(now, relays_.back().tick), 0, dx, dy});
  if (spec_.capabilities & 0x20) shutter_.push_back({now, false});
}

void SimCamera::setReply(uint32_t connection, std::vector<uint8_t> bytes) {
  Connection& c = connections_[connection];
  c.hasReply = true;
  c.reply = std::move(bytes);
}

void SimCamera::restartField(int sensor, int fieldIndex, uint64_t tick) {
  fieldStart_[sensor][fieldIndex] = tick;
}

// Which fields a request reads: progressive sensors and the guide head have
// one (index 0); an interlaced sensor field 1 (index 0), 2 (index 1) or both.
namespace {
void FieldsOf(const SensorSpec& spec, const ReadRequest& r, bool* f0, bool* f1) {
  const bool interlaced = r.sensor == 0 && spec.interlaced;
  if (!interlaced) {
    *f0 = true;
    *f1 = false;
    return;
  }
  *f0 = r.field != 2;
  *f1 = r.field != 1;
}
}  // namespace

void SimCamera::collect(Job& job) {
  Readout& rec = job.record;
  const int sensor = rec.request.sensor == 1 ? 1 : 0;
  rec.windows.start[0] = fieldStart_[sensor][0];
  rec.windows.start[1] = fieldStart_[sensor][1];
  rec.windows.end = rec.readoutTick;
  rec.temperatureC = cooler_.temperature(rec.readoutTick);
  job.data = render(rec.request, rec.windows, rec.index);
  rec.bytes = job.data.size();
  bool f0, f1;
  FieldsOf(spec_, rec.request, &f0, &f1);
  if (f0) restartField(sensor, 0, rec.readoutTick);
  if (f1) restartField(sensor, 1, rec.readoutTick);
  job.settled = true;
  readouts_.push_back(rec);
}

// Delayed reads whose timer has run out are read now, earliest first.
void SimCamera::settle(uint64_t now) {
  for (;;) {
    Job* next = nullptr;
    for (auto& j : queue_)
      if (!j.settled && j.record.readoutTick <= now &&
          (next == nullptr || j.record.readoutTick < next->record.readoutTick))
        next = &j;
    if (next == nullptr) break;
    collect(*next);
  }
  prune();
}

// Guiding and shutter history is kept back to the oldest integration start.
void SimCamera::prune() {
  if (relays_.size() < 1024 && shutter_.size() < 1024) return;
  uint64_t oldest = UINT64_MAX;
  for (auto& s : fieldStart_) oldest = std::min({oldest, s[0], s[1]});
  auto r = std::upper_bound(relays_.begin(), relays_.end(), oldest,
                            [](uint64_t t, const RelayEvent& e) { return t < e.tick; });
  if (r != relays_.begin()) relays_.erase(relays_.begin(), r - 1);
  size_t keep = 0;
  while (keep + 1 < shutter_.size() && shutter_[keep + 1].first <= oldest) ++keep;
  shutter_.erase(shutter_.begin(), shutter_.begin() + static_cast<long>(keep));
}

namespace {
uint8_t ExpectedType(uint8_t request) {
  switch (request) {
    case 6: case 9: return 0x00;
    case 1: case 2: case 3: case 4: case 8: return 0x40;
    default: return 0xC0;
  }
}
uint16_t ExpectedLength(uint8_t request) {
  switch (request) {
    case 2: return 14;
    case 3: return 10;
    case 4: return 4;
    case 8: return 17;
    case 14: return 2;
    default: return 0;
  }
}
}  // namespace

void SimCamera::dispatch(uint32_t connection, const uint8_t* d, uint32_t length, uint64_t now,
                         uint32_t* error, bool* understood) {
  *error = cvworld::err::ok;
  if (length < 8) {
    // Not a setup block: the endpoint stalls.
    *understood = false;
    *error = cvworld::err::genFailure;
    return;
  }
  const uint8_t request = d[1];
  const uint16_t value = Le16(d + 2);
  const uint16_t lengthField = Le16(d + 6);
  const bool hasPayload = request == 2 || request == 3 || request == 4;
  *understood = d[0] == ExpectedType(request) && lengthField == ExpectedLength(request) &&
                length == (hasPayload ? 8u + lengthField : 8u);

  // A new command discards a reply that was never read.
  Connection& conn = connections_[connection];
  conn.hasReply = false;
  conn.reply.clear();

  switch (request) {
    case 6:  // reset: forgets what this handle asked for and has not read
      queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                  [&](const Job& j) { return j.record.connection == connection; }),
                   queue_.end());
      break;
    case 1: {
      if (value == 0) {  // wipe pixels: every field of the sensor starts afresh
        const uint8_t sensor = d[4];
        if (sensor > 1) {
          *understood = false;
          break;
        }
        restartField(sensor, 0, now);
        restartField(sensor, 1, now);
      } else if (value == 8) {
        // Clear registers: empties the serial register; no charge moves.
        if (d[5] > 1) *understood = false;
      } else {
        *understood = false;
      }
      break;
    }
    case 2:
    case 3: {
      ReadRequest r;
      if (!ReadRequest::Parse(d, length, &r)) {
        *understood = false;
        *error = cvworld::err::genFailure;
        break;
      }
      const bool guideOk = r.sensor == 0 || (r.sensor == 1 && (spec_.capabilities & 0x08) &&
                                             spec_.guideWidth && spec_.guideHeight);
      const uint64_t bytes = DeliveryOf(spec_, r).bytes();
      if (!guideOk || r.field < 1 || r.field > 3 || bytes > kMaxRequestBytes) {
        // A request the camera cannot serve is ignored: nothing is queued
        // and a read for it times out.
        *understood = false;
        break;
      }
      Job job;
      job.record.index = nextReadout_++;
      job.record.connection = connection;
      job.record.request = r;
      job.record.requestTick = now;
      if (r.delayed) {
        // The field (or fields) start afresh at the request and are read
        // when the camera's timer runs out.
        bool f0, f1;
        FieldsOf(spec_, r, &f0, &f1);
        const int sensor = r.sensor;
        if (f0) restartField(sensor, 0, now);
        if (f1) restartField(sensor, 1, now);
        job.record.readoutTick = now + r.delayMs;
      } else {
        job.record.readoutTick = now;
      }
      queue_.push_back(std::move(job));
      settle(now);
      // An empty area reads (and clears) the CCD but sends nothing.
      if (queue_.back().settled && queue_.back().data.empty()) queue_.pop_back();
      break;
    }
    case 4: {  // set timer: replaces the time left of a pending delayed read
      if (length < 12) {
        *understood = false;
        break;
      }
      const uint32_t ms = Le32(d + 8);
      for (auto& j : queue_)
        if (!j.settled && j.record.request.delayed) {
          j.record.readoutTick = now + ms;
          break;
        }
      settle(now);
      break;
    }
    case 5: {  // get timer: time left of a pending delayed read, else 0
      uint32_t left = 0;
      for (auto& j : queue_)
        if (!j.settled && j.record.request.delayed) {
          left = static_cast<uint32_t>(j.record.readoutTick > now ? j.record.readoutTick - now : 0);
          break;
        }
      setReply(connection, {static_cast<uint8_t>(left), static_cast<uint8_t>(left >> 8),
                            static_cast<uint8_t>(left >> 16), static_cast<uint8_t>(left >> 24)});
      break;
    }
    case 8: {  // sensor parameters
      const uint8_t which = d[4];
      const bool guide = which == 1;
      if (which > 1 || (guide && !(spec_.capabilities & 0x08))) {
        *understood = false;  // no such sensor: no answer
        break;
      }
      std::vector<uint8_t> p(17, 0);
      // Bytes the plug-in does not use carry plausible values of their own:
      // record version, pixel pitch in 0.1 um, readout clock in kHz, gain.
      p[0] = 0x01;
      Put16(p, 2, guide ? spec_.guideWidth : spec_.width);
      Put16(p, 4, guide ? 98 : 64);
      Put16(p, 6, guide ? spec_.guideHeight : spec_.height);
      Put16(p, 8, 10000);
      Put16(p, 10, 0);
      Put16(p, 12, 15);
      p[14] = guide ? 8 : spec_.bitsPerPixel;
      p[15] = guide ? 1 : 0;
      p[16] = spec_.capabilities;
      setReply(connection, std::move(p));
      break;
    }
    case 9: {  // relays
      const uint8_t mask = d[2] & 0x0F;
      double dx, dy;
      shiftAt(now, &dx, &dy);
      if (relays_.back().tick == now)
        relays_.back() = {now, mask, dx, dy};
      else
        relays_.push_back({now, mask, dx, dy});
      if (d[2] & 0xF0) *understood = false;
      break;
    }
    case 14:
      setReply(connection, {static_cast<uint8_t>(spec_.model), static_cast<uint8_t>(spec_.model >> 8)});
      break;
    case 30:
    case 31: {
      if (request == 30 && (spec_.capabilities & 0x10))
        cooler_.setpoint(value & 0x7FFF, d[4] != 0, now);
      std::vector<uint8_t> reply(3, 0);
      cooler_.reply(reply.data(), now);
      setReply(connection, std::move(reply));
      break;
    }
    case 32: {  // shutter: 0x4000 opens, 0x8000 closes; the reply is its state
      bool open = !shutter_.empty() && shutter_.back().second;
      if (value == 0x4000 || value == 0x8000) {
        if (spec_.capabilities & 0x20) {
          open = value == 0x4000;
          shutter_.push_back({now, open});
        }
      } else {
        *understood = false;
      }
      setReply(connection, {static_cast<uint8_t>(open ? 1 : 0), 0});
      break;
    }
    case 255:
      setReply(connection, {static_cast<uint8_t>(spec_.firmware), static_cast<uint8_t>(spec_.firmware >> 8),
                            static_cast<uint8_t>(spec_.firmware >> 16),
                            static_cast<uint8_t>(spec_.firmware >> 24)});
      break;
    default:
      *understood = false;
      break;
  }
}

uint32_t SimCamera::write(uint32_t connection, const uint8_t* data, uint32_t length,
                          uint32_t* done) {
  *done = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t now = Clock::instance().nowMs();
  LoggedWrite entry{now, connection, std::vector<uint8_t>(data, data + length)};
  const uint64_t index = ++writeCount_;
  auto it = connections_.find(connection);
  uint32_t error = cvworld::err::ok;
  if (unplugged_ || (it != connections_.end() && it->second.dead)) {
    error = cvworld::err::deviceNotConnected;
  } else if (consumeFault(failWrites_, index, &error)) {
    // injected: the camera never sees the block
  } else {
    settle(now);
    bool understood = true;
    dispatch(connection, data, length, now, &error, &understood);
    entry.understood = understood;
  }
  entry.error = error;
  writes_.push_back(std::move(entry));
  if (error == cvworld::err::ok) *done = length;
  return error;
}

uint32_t SimCamera::read(uint32_t connection, uint8_t* data, uint32_t length, uint32_t* done) {
  *done = 0;
  Clock& clock = Clock::instance();
  std::unique_lock<std::mutex> lock(mutex_);
  LoggedRead rec;
  rec.tick = clock.nowMs();
  rec.connection = connection;
  rec.asked = length;
  const uint64_t index = ++readCount_;
  auto finish = [&](uint32_t error) {
    rec.endTick = clock.nowMs();
    rec.error = error;
    logRead(rec);
    return error;
  };
  auto gone = [&]() {
    auto it = connections_.find(connection);
    return unplugged_ || (it != connections_.end() && it->second.dead);
  };
  if (gone()) return finish(cvworld::err::deviceNotConnected);
  settle(rec.tick);

  uint32_t limit = length;
  uint32_t faultValue = 0;
  const bool fail = consumeFault(failReads_, index, &faultValue);
  const uint32_t failError = faultValue;
  if (consumeFault(shortReads_, index, &faultValue)) limit = std::min(limit, faultValue);

  if (silent_) {
    const uint64_t deadline = rec.tick + timeoutMs_;
    lock.unlock();
    clock.waitUntil(deadline);
    lock.lock();
    return finish(gone() ? cvworld::err::deviceNotConnected : cvworld::err::semTimeout);
  }

  Connection& conn = connections_[connection];
  if (conn.hasReply) {
    // A reply is one short transfer: what the read does not take is lost.
    rec.source = LoggedRead::Reply;
    std::vector<uint8_t> reply = std::move(conn.reply);
    conn.hasReply = false;
    conn.reply.clear();
    if (fail) return finish(failError);
    const uint32_t n = std::min<uint32_t>(limit, static_cast<uint32_t>(reply.size()));
    if (n) std::memcpy(data, reply.data(), n);
    rec.delivered = n;
    *done = n;
    return finish(cvworld::err::ok);
  }
  if (length == 0) return finish(cvworld::err::ok);

  // Pixel data: wait for the head of the queue to be read off the CCD, or
  // for the driver's time-out when nothing is queued.
  bool waitedEmpty = false;
  for (;;) {
    if (queue_.empty()) {
      if (waitedEmpty) return finish(cvworld::err::semTimeout);
      const uint64_t deadline = clock.nowMs() + timeoutMs_;
      lock.unlock();
      clock.waitUntil(deadline);
      lock.lock();
      if (gone()) return finish(cvworld::err::deviceNotConnected);
      settle(clock.nowMs());
      waitedEmpty = true;
      continue;
    }
    Job& head = queue_.front();
    if (head.settled) break;
    const uint64_t due = head.record.readoutTick;
    lock.unlock();
    clock.waitUntil(due);
    lock.lock();
    if (gone()) return finish(cvworld::err::deviceNotConnected);
    settle(clock.nowMs());
  }

  Job& job = queue_.front();
  rec.source = LoggedRead::Pixels;
  rec.requester = job.record.connection;
  rec.requestIndex = job.record.index;
  if (fail) {
    queue_.pop_front();
    return finish(failError);
  }
  const size_t left = job.data.size() - job.offset;
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(limit, left));
  std::memcpy(data, job.data.data() + job.offset, n);
  job.offset += n;
  if (job.offset >= job.data.size()) queue_.pop_front();

  // The transfer: after the data are ready, and after whatever else the pipe
  // is carrying, at the pipe's rate.
  const uint64_t start = std::max({clock.nowMs(), busUntil_});
  const uint64_t ms = static_cast<uint64_t>(std::ceil(n * 1000.0 / bytesPerSecond_));
  const uint64_t end = start + ms;
  busUntil_ = end;
  lock.unlock();
  clock.waitUntil(end);
  lock.lock();
  if (gone()) return finish(cvworld::err::deviceNotConnected);
  rec.delivered = n;
  *done = n;
  return finish(cvworld::err::ok);
}

// ---------------------------------------------------------------------------

std::string CameraDevicePath(const std::string& productKey, int instance) {
  std::string pid = productKey;
  std::transform(pid.begin(), pid.end(), pid.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  char buf[128];
  std::snprintf(buf, sizeof buf,
                "\\\\?\\usb#vid_5a31&pid_%s#cv%04d#{3f1a9c27-5b04-4e8d-a2c6-7d19e0b4f3a8}",
                pid.c_str(), instance);
  return buf;
}

std::shared_ptr<SimCamera> AttachCamera(const SensorSpec& spec, int instance) {
  auto camera = std::make_shared<SimCamera>(spec);
  cvworld::World::instance().publish(cvworld::kCameraDriverClass,
                                     CameraDevicePath(spec.productKey, instance), camera);
  return camera;
}

std::shared_ptr<SimCamera> AttachCamera(const std::string& productKey, int instance) {
  const SensorSpec* spec = FindSensor(productKey);
  if (spec != nullptr) return AttachCamera(*spec, instance);
  // A product the catalogue does not know: a plain progressive camera.
  SensorSpec custom;
  custom.productKey = productKey;
  custom.name = "Unknown";
  custom.width = 640;
  custom.height = 480;
  return AttachCamera(custom, instance);
}

}  // namespace cvsim
