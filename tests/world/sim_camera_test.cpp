// The simulated camera as other tests rely on it: replies, read sizes and
// timing on the virtual clock, field integration, delayed reads, the
// delivery orders of models 89 and 90, faults and unplugging.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "clock.h"
#include "sim_camera.h"
#include "win32.h"
#include "world.h"

using cvsim::Clock;
using cvsim::ReadRequest;
using cvsim::SimCamera;
using cvworld::World;
using Bytes = std::vector<uint8_t>;

namespace {

class SimCameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    World::instance().reset();
    Clock::instance().useVirtualTime(1000);
  }
  void TearDown() override {
    World::instance().reset();
    Clock::instance().useRealTime();
  }

  HANDLE Open(const std::string& key, int instance = 0) {
    return CreateFileA(cvsim::CameraDevicePath(key, instance).c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  static bool Write(HANDLE h, const Bytes& b) {
    DWORD done = 0;
    return WriteFile(h, b.data(), static_cast<DWORD>(b.size()), &done, nullptr) != 0;
  }
  // Reads up to n bytes; returns what came.
  static Bytes Read(HANDLE h, size_t n, BOOL* ok = nullptr) {
    Bytes b(n);
    DWORD done = 0;
    BOOL r = ReadFile(h, b.data(), static_cast<DWORD>(n), &done, nullptr);
    if (ok) *ok = r;
    b.resize(done);
    return b;
  }
  static uint64_t Now() { return Clock::instance().nowMs(); }
};

// A scene whose rate is a plain function of the shift, so integrals are exact.
class Linear : public cvsim::Scene {
 public:
  Linear(double base, double perDx) : base_(base), perDx_(perDx) {}
  double rate(int, int, double dx, double) const override { return base_ + perDx_ * dx; }

 private:
  double base_, perDx_;
};

cvsim::NoiseModel Exact() {
  cvsim::NoiseModel n;
  n.enabled = false;
  n.gain = 1.0;
  return n;
}

uint16_t Sample(const Bytes& b, size_t i) { return static_cast<uint16_t>(b[2 * i] | (b[2 * i + 1] << 8)); }

ReadRequest Req(uint8_t field, uint16_t x, uint16_t y, uint16_t w, uint16_t h, uint8_t xb = 1,
                uint8_t yb = 1, uint8_t sensor = 0) {
  ReadRequest r;
  r.field = field;
  r.sensor = sensor;
  r.x = x;
  r.y = y;
  r.widthField = w;
  r.heightField = h;
  r.xBin = xb;
  r.yBin = yb;
  return r;
}

const Bytes kWipe0 = {0x40, 0x01, 0, 0, 0, 0, 0, 0};

}  // namespace

TEST_F(SimCameraTest, RepliesOfTheCommandTable) {
  cvsim::AttachCamera("0A30");  // T21: 1600 x 1200, guide head 752 x 580
  HANDLE h = Open("0A30");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  struct Case {
    const char* what;
    Bytes command;
    size_t readLength;
    Bytes reply;
  } cases[] = {
      {"model", {0xC0, 14, 0, 0, 0, 0, 2, 0}, 2, {16, 0}},
      {"firmware", {0xC0, 255, 0, 0, 0, 0, 0, 0}, 4, {0x03, 0x02, 0x01, 0x00}},
      {"get timer, nothing pending", {0xC0, 5, 0, 0, 0, 0, 0, 0}, 4, {0, 0, 0, 0}},
      {"shutter open", {0xC0, 32, 0, 0x40, 0, 0, 0, 0}, 2, {1, 0}},
      {"shutter close", {0xC0, 32, 0, 0x80, 0, 0, 0, 0}, 2, {0, 0}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Write(h, c.command));
    EXPECT_EQ(Read(h, c.readLength), c.reply);
  }

  ASSERT_TRUE(Write(h, {0x40, 8, 0, 0, 0, 0, 17, 0}));
  Bytes ccd = Read(h, 17);
  ASSERT_EQ(ccd.size(), 17u);
  EXPECT_EQ(ccd[2] | (ccd[3] << 8), 1600);
  EXPECT_EQ(ccd[6] | (ccd[7] << 8), 1200);
  EXPECT_EQ(ccd[14], 16);
  EXPECT_EQ(ccd[16], 0x39);

  ASSERT_TRUE(Write(h, {0x40, 8, 0, 0, 1, 0, 17, 0}));
  Bytes gdr = Read(h, 17);
  ASSERT_EQ(gdr.size(), 17u);
  EXPECT_EQ(gdr[2] | (gdr[3] << 8), 752);
  EXPECT_EQ(gdr[6] | (gdr[7] << 8), 580);
  EXPECT_EQ(gdr[14], 8);

  // Cooler: a setpoint of 5.0 C with the cooler on, then a poll; the
  // temperature starts at ambient (+20 C = count 2930).
  ASSERT_TRUE(Write(h, {0xC0, 30, 0xDC, 0x0A, 1, 1, 0, 0}));
  Bytes cool = Read(h, 3);
  ASSERT_EQ(cool.size(), 3u);
  EXPECT_EQ(cool[0] | (cool[1] << 8), 2930);
  ASSERT_TRUE(Write(h, {0xC0, 31, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Read(h, 3).size(), 3u);
  CloseHandle(h);
}

TEST_F(SimCameraTest, InterlacedSensorReportsTheLinesOfOneField) {
  struct Case {
    const char* key;
    int model, width, height;
  } cases[] = {{"0A12", 69, 752, 290}, {"0C52", 89, 3032, 2016}, {"0C53", 90, 1000, 300}};
  int instance = 0;
  for (auto& c : cases) {
    SCOPED_TRACE(c.key);
    cvsim::AttachCamera(c.key, instance);
    HANDLE h = Open(c.key, instance++);
    ASSERT_TRUE(Write(h, {0xC0, 14, 0, 0, 0, 0, 2, 0}));
    Bytes m = Read(h, 2);
    EXPECT_EQ(m, (Bytes{static_cast<uint8_t>(c.model), 0}));
    ASSERT_TRUE(Write(h, {0x40, 8, 0, 0, 0, 0, 17, 0}));
    Bytes p = Read(h, 17);
    EXPECT_EQ(p[2] | (p[3] << 8), c.width);
    EXPECT_EQ(p[6] | (p[7] << 8), c.height);
    CloseHandle(h);
  }
}

TEST_F(SimCameraTest, CatalogueCoversTheProductTableModels) {
  const int models[] = {5, 133, 9, 137, 16, 144, 18, 35, 181, 36, 182, 69, 132, 71, 199, 72, 200,
                        73, 89, 90, 70, 39, 0, 86, 87, 88, 183, 40, 168, 59, 187, 60, 188, 41,
                        169, 17, 145};
  for (int m : models) {
    const cvsim::SensorSpec* s = cvsim::FindSensorByModel(m);
    ASSERT_NE(s, nullptr) << m;
    const bool interlaced = ((m & 0x40) || m == 132) && !(m >= 86 && m <= 89);
    EXPECT_EQ(s->interlaced, interlaced) << m;
    if (s->capabilities & 0x08) {
      EXPECT_GT(s->guideWidth, 0) << m;
    }
  }
  EXPECT_EQ(cvsim::FindSensor("0a30")->model, 16);  // the first of a shared identifier
}

TEST_F(SimCameraTest, UnreadReplyIsDiscardedByTheNextCommand) {
  cvsim::AttachCamera("0A30");
  HANDLE h = Open("0A30");
  ASSERT_TRUE(Write(h, {0xC0, 255, 0, 0, 0, 0, 0, 0}));  // firmware, never read
  ASSERT_TRUE(Write(h, {0xC0, 14, 0, 0, 0, 0, 2, 0}));
  EXPECT_EQ(Read(h, 4), (Bytes{16, 0}));  // only the model's two bytes
}

TEST_F(SimCameraTest, FullReadHasTheRequestedSizeAndTakesTheTransferTime) {
  auto cam = cvsim::AttachCamera("0A21");  // 1392 x 1040, progressive
  cam->setTestPattern(true);               // timing only; spare the noise model's time
  HANDLE h = Open("0A21");
  const size_t bytes = 1392u * 1040u * 2u;
  ASSERT_TRUE(Write(h, Req(3, 0, 0, 1392, 1040).Encode()));
  const uint64_t t0 = Now();
  Bytes data = Read(h, bytes);
  EXPECT_EQ(data.size(), bytes);
  EXPECT_EQ(Now() - t0, (bytes * 1000 + 40000000 - 1) / 40000000);  // 73 ms at 40 MB/s

  cam->setTransferRate(10e6);
  ASSERT_TRUE(Write(h, Req(3, 0, 0, 1392, 1040, 2, 2).Encode()));
  const uint64_t t1 = Now();
  EXPECT_EQ(Read(h, bytes).size(), bytes / 4);  // a read never runs past its block
  EXPECT_EQ(Now() - t1, 73u);                   // 723,840 bytes at 10 MB/s, rounded up
}

TEST_F(SimCameraTest, PartialReadsKeepTheRestInRequestOrder) {
  auto cam = cvsim::AttachCamera("0A21");
  cam->setTestPattern(true);
  HANDLE h = Open("0A21");
  ReadRequest a = Req(3, 0, 0, 8, 2), b = Req(3, 0, 5, 4, 1);
  ASSERT_TRUE(Write(h, a.Encode()));
  ASSERT_TRUE(Write(h, b.Encode()));
  Bytes first = Read(h, 10);
  Bytes rest = Read(h, 100);
  Bytes second = Read(h, 100);
  first.insert(first.end(), rest.begin(), rest.end());
  EXPECT_EQ(first, cvsim::PatternDelivery(cam->spec(), a));
  EXPECT_EQ(second, cvsim::PatternDelivery(cam->spec(), b));
  EXPECT_EQ(cam->queuedReadouts(), 0u);
}

TEST_F(SimCameraTest, ReadWithNothingQueuedTimesOut) {
  auto cam = cvsim::AttachCamera("0A21");
  HANDLE h = Open("0A21");
  const uint64_t t0 = Now();
  BOOL ok = TRUE;
  EXPECT_TRUE(Read(h, 100, &ok).empty());
  EXPECT_FALSE(ok);
  EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
  EXPECT_EQ(Now() - t0, 5000u);
  cam->setDriverTimeout(250);
  const uint64_t t1 = Now();
  Read(h, 2, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Now() - t1, 250u);
}

TEST_F(SimCameraTest, PatternEncodesFieldRowAndColumn) {
  EXPECT_EQ(cvsim::PatternSample(0, 0, 3031), 3031);
  EXPECT_EQ(cvsim::PatternSample(1, 10, 5), 5 | (2 << 12));
  EXPECT_EQ(cvsim::PatternSample(2, 11, 5), 5 | (3 << 12) | 0x8000);
  EXPECT_EQ(cvsim::GuidePatternByte(0x12, 0x34), 0x24);

  auto rq2 = cvsim::AttachCamera("0A12");  // interlaced 752 x 290 per field, guide head
  rq2->setTestPattern(true);
  const auto& s = rq2->spec();
  struct Case {
    const char* what;
    ReadRequest r;
    int lines, perLine;
    int (*row)(int i);
    int field;
  } cases[] = {
      {"field 1", Req(1, 4, 10, 6, 3), 3, 6, [](int i) { return 2 * (10 + i); }, 1},
      {"field 2", Req(2, 4, 10, 6, 3), 3, 6, [](int i) { return 2 * (10 + i) + 1; }, 2},
      {"both", Req(3, 4, 10, 6, 3), 3, 6, [](int i) { return 2 * (10 + i); }, 0},
      {"field 2 binned", Req(2, 4, 10, 8, 4, 2, 2), 2, 4, [](int i) { return 2 * (5 + i) + 1; }, 2},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes d = cvsim::PatternDelivery(s, c.r);
    ASSERT_EQ(d.size(), size_t(2 * c.lines * c.perLine));
    for (int i = 0; i < c.lines; ++i)
      for (int j = 0; j < c.perLine; ++j)
        EXPECT_EQ(Sample(d, size_t(i) * c.perLine + j),
                  cvsim::PatternSample(c.field, c.row(i), c.r.x / c.r.xBin + j));
  }
  // The guide head: one byte per sample.
  Bytes g = cvsim::PatternDelivery(s, Req(3, 0, 7, 752, 2, 2, 1, 1));
  ASSERT_EQ(g.size(), 376u * 2u);
  EXPECT_EQ(g[0], cvsim::GuidePatternByte(7, 0));
  EXPECT_EQ(g[376 + 9], cvsim::GuidePatternByte(8, 9));

  // And through the device, the same bytes.
  HANDLE h = Open("0A12");
  ASSERT_TRUE(Write(h, cases[1].r.Encode()));
  EXPECT_EQ(Read(h, 36), cvsim::PatternDelivery(s, cases[1].r));
}

// The plug-in's reorderings, restated plainly: delivered line m of model 89
// holds frame rows 2m and 2m + 1 alternating.
static std::vector<uint16_t> R31(const Bytes& src, int w, int h) {
  std::vector<uint16_t> dst(size_t(w) * h);
  for (int m = 0; 2 * m + 1 < h; ++m)
    for (int k = 0; k < w; ++k) {
      dst[size_t(2 * m) * w + k] = Sample(src, size_t(m) * 2 * w + 2 * k);
      dst[size_t(2 * m + 1) * w + k] = Sample(src, size_t(m) * 2 * w + 2 * k + 1);
    }
  return dst;
}

static std::vector<uint16_t> R32(const Bytes& f1, const Bytes& f2, int W, int H) {
  std::vector<uint16_t> work(size_t(W) * H, 0);  // column-major
  const long P = long(W / 2) * H;
  for (int field = 0; field < 2; ++field) {
    const Bytes& src = field == 0 ? f1 : f2;
    long taken = 0;
    for (int k = 0; taken < P; ++k)
      for (int c = field; field == 0 ? c < W - 1 : c < W; c += 2) {
        const int rows[4] = {4 * k, H - 1 - 4 * k, 4 * k + 2, H - 3 - 4 * k};
        for (int q = 0; q < 4; ++q) work[size_t(c) * H + rows[q]] = Sample(src, taken++);
      }
  }
  std::vector<uint16_t> dst(size_t(W) * H);
  for (int r = 0; r < H; ++r)
    for (int c = 0; c < W; ++c) dst[size_t(r) * W + c] = work[size_t(c) * H + r];
  return dst;
}

TEST_F(SimCameraTest, Model89LinePairsInvertToTheFrame) {
  auto cam = cvsim::AttachCamera("0C52");
  cam->setTestPattern(true);
  HANDLE h = Open("0C52");
  // Subframe x 10, y 20 (binned), 100 x 40, bins 1 and 2, as the plug-in asks.
  for (int bin : {1, 2}) {
    SCOPED_TRACE(bin);
    const int x = 10, y = 20, w = 100, hgt = 40;
    ReadRequest r = Req(3, uint16_t(x * bin * 2), uint16_t(bin * (y / 2)), uint16_t(w * bin * 2),
                        uint16_t(bin * (hgt / 2)), uint8_t(bin), uint8_t(bin));
    ASSERT_TRUE(Write(h, r.Encode()));
    Bytes d = Read(h, size_t(2) * w * hgt);
    ASSERT_EQ(d.size(), size_t(2) * w * hgt);
    auto frame = R31(d, w, hgt);
    for (int rr = 0; rr < hgt; ++rr)
      for (int c = 0; c < w; ++c)
        ASSERT_EQ(frame[size_t(rr) * w + c], cvsim::PatternSample(0, y + rr, x + c)) << rr << "," << c;
  }
}

TEST_F(SimCameraTest, Model90FoldedFieldsInvertToTheFrame) {
  auto cam = cvsim::AttachCamera("0C53");
  cam->setTestPattern(true);
  HANDLE h = Open("0C53");
  // Whole frame 1000 x 600 at bins 1: width field 300 x 4, height field 250.
  struct Case {
    int x, y, w, hgt;
  } cases[] = {{0, 0, 1000, 600}, {20, 8, 40, 24}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.w);
    const uint16_t H = uint16_t(c.hgt / 2), W = uint16_t(c.w);
    Bytes f[2];
    for (int field = 1; field <= 2; ++field) {
      ReadRequest r = Req(uint8_t(field), uint16_t(c.x), uint16_t(c.y / 2), uint16_t(H * 4),
                          uint16_t(W / 4));
      ASSERT_TRUE(Write(h, r.Encode()));
      f[field - 1] = Read(h, size_t(W) * H * 2);
      ASSERT_EQ(f[field - 1].size(), size_t(W) * H * 2);
    }
    auto frame = R32(f[0], f[1], c.w, c.hgt);
    for (int rr = 0; rr < c.hgt; ++rr)
      for (int col = 0; col < c.w; ++col)
        ASSERT_EQ(frame[size_t(rr) * c.w + col],
                  cvsim::PatternSample((col & 1) + 1, c.y + rr, c.x + col))
            << rr << "," << col;
  }
}

TEST_F(SimCameraTest, EachFieldIntegratesFromItsOwnWipeOrRead) {
  auto cam = cvsim::AttachCamera("0A12");  // interlaced, shutter
  cam->setNoise(Exact());
  cam->setScene(std::make_shared<Linear>(1000.0, 0.0));
  HANDLE h = Open("0A12");
  ASSERT_TRUE(Write(h, {0xC0, 32, 0, 0x40, 0, 0, 0, 0}));  // open
  Read(h, 2);
  ASSERT_TRUE(Write(h, kWipe0));
  const uint64_t t0 = Now();
  uint16_t last = 0;
  auto readField = [&](uint8_t field, uint8_t bin = 1) {
    ASSERT_TRUE(Write(h, Req(field, 0, 0, 4 * bin, 2 * bin, bin, bin).Encode()));
    Bytes d = Read(h, 16);
    ASSERT_EQ(d.size(), 16u);
    last = Sample(d, 0);
  };
  Clock::instance().advance(500);
  readField(1);
  EXPECT_EQ(last, 500);  // field 1: 0.5 s at 1000 e-/s, gain 1
  Clock::instance().waitUntil(t0 + 800);
  readField(2);
  EXPECT_EQ(last, 800);  // field 2 ran from the wipe
  Clock::instance().waitUntil(t0 + 1500);
  readField(3);          // both: field 1 from 500 (+1000 ms), field 2 from 800 (+700 ms)
  EXPECT_EQ(last, 1700);
  Clock::instance().waitUntil(t0 + 1600);
  readField(1, 2);        // 2 x 2 bin: four pixels of 100 ms
  EXPECT_EQ(last, 400);

  // With the shutter closed only dark current (none, noise off) collects.
  ASSERT_TRUE(Write(h, {0xC0, 32, 0, 0x80, 0, 0, 0, 0}));
  Read(h, 2);
  ASSERT_TRUE(Write(h, kWipe0));
  Clock::instance().advance(1000);
  readField(1);
  EXPECT_EQ(last, 0);

  auto ro = cam->readouts();
  ASSERT_GE(ro.size(), 3u);
  EXPECT_EQ(ro[2].windows.start[0], t0 + 500);
  EXPECT_EQ(ro[2].windows.start[1], t0 + 800);
  EXPECT_EQ(ro[2].windows.end, t0 + 1500);
}

TEST_F(SimCameraTest, DelayedReadCollectsAfterItsTimerAndSetTimerReplacesIt) {
  auto cam = cvsim::AttachCamera("0A12");
  cam->setNoise(Exact());
  cam->setScene(std::make_shared<Linear>(1000.0, 0.0));
  HANDLE h = Open("0A12");
  ASSERT_TRUE(Write(h, {0xC0, 32, 0, 0x40, 0, 0, 0, 0}));
  Read(h, 2);

  ReadRequest r = Req(2, 0, 0, 4, 2);
  r.delayed = true;
  r.delayMs = 1500;
  Bytes msg = r.Encode();
  EXPECT_EQ(Bytes(msg.begin() + 18, msg.end()), (Bytes{0xDC, 0x05, 0, 0}));
  const uint64_t t0 = Now();
  ASSERT_TRUE(Write(h, msg));
  Clock::instance().advance(400);
  ASSERT_TRUE(Write(h, {0xC0, 5, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Read(h, 4), (Bytes{0x4C, 0x04, 0, 0}));  // 1100 ms left
  Bytes d = Read(h, 16);  // blocks until the camera has read the field
  ASSERT_EQ(d.size(), 16u);
  EXPECT_EQ(Sample(d, 0), 1500);  // the field started afresh at the request
  EXPECT_EQ(Now(), t0 + 1500 + 1);

  // A set-timer cuts the wait short.
  const uint64_t t1 = Now();
  ASSERT_TRUE(Write(h, msg));
  Clock::instance().advance(300);
  ASSERT_TRUE(Write(h, {0x40, 4, 0, 0, 0, 0, 4, 0, 200, 0, 0, 0}));
  d = Read(h, 16);
  EXPECT_EQ(Sample(d, 0), 500);
  EXPECT_EQ(cam->readouts().back().readoutTick, t1 + 500);
}

TEST_F(SimCameraTest, GuidePulsesMoveTheSkyForTheirDuration) {
  auto cam = cvsim::AttachCamera("0A21");
  cam->setNoise(Exact());
  cam->setGuideRate(10.0);
  cam->setScene(std::make_shared<Linear>(1000.0, 100.0));  // brighter to the right
  HANDLE h = Open("0A21");
  ASSERT_TRUE(Write(h, {0xC0, 32, 0, 0x40, 0, 0, 0, 0}));
  Read(h, 2);
  ASSERT_TRUE(Write(h, kWipe0));
  ASSERT_TRUE(Write(h, {0x00, 9, 0x08, 0, 0, 0, 0, 0}));  // +x for one second
  Clock::instance().advance(1000);
  ASSERT_TRUE(Write(h, {0x00, 9, 0x00, 0, 0, 0, 0, 0}));
  Clock::instance().advance(1000);
  ASSERT_TRUE(Write(h, Req(3, 0, 0, 2, 1).Encode()));
  Bytes d = Read(h, 4);
  // Shift 0 -> 10 px over the first second (mean 5), then 10 px held.
  EXPECT_NEAR(Sample(d, 0), 1000 + 500 + 1000 + 1000, 1);
  double dx, dy;
  cam->skyShift(Now(), &dx, &dy);
  EXPECT_DOUBLE_EQ(dx, 10.0);
  EXPECT_DOUBLE_EQ(dy, 0.0);
  EXPECT_EQ(cam->relayMask(), 0);
}

TEST_F(SimCameraTest, InjectedFaults) {
  auto cam = cvsim::AttachCamera("0A30");
  HANDLE h = Open("0A30");
  const Bytes model = {0xC0, 14, 0, 0, 0, 0, 2, 0};
  BOOL ok;

  cam->failWrite(2);
  EXPECT_TRUE(Write(h, model));
  EXPECT_EQ(Read(h, 2), (Bytes{16, 0}));
  EXPECT_FALSE(Write(h, model));  // the second write from the call
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
  cam->setDriverTimeout(10);
  Read(h, 2, &ok);
  EXPECT_FALSE(ok);  // the failed command was never acted on

  cam->failRead();
  ASSERT_TRUE(Write(h, model));
  Read(h, 2, &ok);
  EXPECT_FALSE(ok);

  cam->shortenRead(1, 100);
  ASSERT_TRUE(Write(h, Req(3, 0, 0, 100, 2).Encode()));
  EXPECT_EQ(Read(h, 400).size(), 100u);
  EXPECT_EQ(Read(h, 400).size(), 300u);

  cam->stopAnswering(true);
  ASSERT_TRUE(Write(h, model));
  const uint64_t t0 = Now();
  Read(h, 2, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
  EXPECT_EQ(Now() - t0, 10u);
  cam->clearFaults();

  auto reads = cam->reads();
  ASSERT_FALSE(reads.empty());
  EXPECT_EQ(reads.back().error, ERROR_SEM_TIMEOUT);
}

TEST_F(SimCameraTest, UnpluggedCameraFailsEverythingAndOldHandlesStayDead) {
  auto cam = cvsim::AttachCamera("0A30");
  HANDLE h = Open("0A30");
  ASSERT_TRUE(Write(h, Req(3, 0, 0, 10, 10).Encode()));
  const std::string path = cvsim::CameraDevicePath("0A30", 0);
  World::instance().unplug(path);
  BOOL ok;
  Read(h, 200, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(Write(h, {0, 6, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(Open("0A30"), INVALID_HANDLE_VALUE);

  World::instance().replug(path);
  EXPECT_FALSE(Write(h, {0, 6, 0, 0, 0, 0, 0, 0}));
  HANDLE fresh = Open("0A30");
  ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Write(fresh, {0xC0, 14, 0, 0, 0, 0, 2, 0}));
  EXPECT_EQ(Read(fresh, 2), (Bytes{16, 0}));
  EXPECT_EQ(cam->queuedReadouts(), 0u);  // power was lost
}

TEST_F(SimCameraTest, LogTellsTwoHandlesApartAndMarksMalformedBlocks) {
  auto cam = cvsim::AttachCamera("0A30");
  HANDLE imager = Open("0A30"), guider = Open("0A30");
  ASSERT_TRUE(Write(imager, {0x00, 6, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(Write(guider, {0x40, 1, 0, 0, 1, 0, 0, 0}));
  ASSERT_TRUE(Write(guider, {0x40, 8, 0, 0, 1, 0, 0, 0}));  // length field 0: not the table's
  auto w = cam->writes();
  ASSERT_EQ(w.size(), 3u);
  EXPECT_NE(w[0].connection, w[1].connection);
  EXPECT_EQ(w[1].connection, w[2].connection);
  EXPECT_TRUE(w[0].understood);
  EXPECT_TRUE(w[1].understood);
  EXPECT_FALSE(w[2].understood);
  EXPECT_EQ(cam->writes(w[1].connection).size(), 2u);
  EXPECT_EQ(cam->connections().size(), 2u);
}

TEST_F(SimCameraTest, TwoHandlesOnTwoThreads) {
  auto cam = cvsim::AttachCamera("0A30");
  cam->setTestPattern(true);
  HANDLE imager = Open("0A30"), guider = Open("0A30");
  std::atomic<int> bad{0};
  std::thread a([&] {
    for (int i = 0; i < 20; ++i) {
      ReadRequest r = Req(3, 0, uint16_t(i), 64, 4);
      if (!Write(imager, r.Encode())) ++bad;
      if (Read(imager, 512) != cvsim::PatternDelivery(cam->spec(), r)) ++bad;
    }
  });
  std::thread b([&] {
    for (int i = 0; i < 200; ++i) {
      if (!Write(guider, {0xC0, 14, 0, 0, 0, 0, 2, 0})) ++bad;
      if (Read(guider, 2) != Bytes{16, 0}) ++bad;
    }
  });
  a.join();
  b.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST_F(SimCameraTest, GuideHeadSendsTheHighByteOfEachSample) {
  auto cam = cvsim::AttachCamera("0A30");
  cam->setNoise(Exact());
  cam->setScene(nullptr, std::make_shared<Linear>(0x1234, 0.0));
  HANDLE h = Open("0A30");
  ASSERT_TRUE(Write(h, {0x40, 0x01, 0, 0, 1, 0, 0, 0}));  // wipe the guide head
  Clock::instance().advance(1000);
  ASSERT_TRUE(Write(h, Req(3, 0, 0, 8, 2, 2, 1, 1).Encode()));
  // 2 x 1 bins: two pixels of 0x1234 e- each, one byte per sample.
  EXPECT_EQ(Read(h, 100), Bytes(8, 0x24));
}

TEST_F(SimCameraTest, ResetDropsOnlyItsOwnHandlesDataAndUnservableRequestsQueueNothing) {
  auto cam = cvsim::AttachCamera("0A21");  // no guide head
  cam->setTestPattern(true);
  cam->setDriverTimeout(20);
  HANDLE a = Open("0A21"), b = Open("0A21");
  ReadRequest ra = Req(3, 0, 0, 4, 1), rb = Req(3, 0, 1, 4, 1);
  ASSERT_TRUE(Write(a, ra.Encode()));
  ASSERT_TRUE(Write(b, rb.Encode()));
  ASSERT_TRUE(Write(a, {0x00, 6, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Read(b, 8), cvsim::PatternDelivery(cam->spec(), rb));

  struct Case {
    const char* what;
    ReadRequest r;
  } cases[] = {{"guide head on a camera without one", Req(3, 0, 0, 4, 1, 1, 1, 1)},
               {"field selector 0", Req(0, 0, 0, 4, 1)},
               {"8 GB", Req(3, 0, 0, 65535, 65535)}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(Write(a, c.r.Encode()));
    EXPECT_FALSE(cam->writes().back().understood);
    BOOL ok = TRUE;
    Read(a, 8, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
  }
  Bytes truncated = ra.Encode();
  truncated.resize(12);
  EXPECT_FALSE(Write(a, truncated));
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
}
