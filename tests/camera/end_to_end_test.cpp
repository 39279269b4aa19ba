// The whole exposure cycle as the host drives it, from the link to the
// image in the host's buffer, on simulated cameras in test-pattern mode:
// every pixel is predicted from the pattern formula, the bytes between rows
// must stay as the host left them, and after each readout the object must be
// idle again (read flags, read lock, handles, record) so that the next
// exposure gives the same image.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CCamAPIDll.h"
#include "clock.h"
#include "module_state.h"
#include "sim_camera.h"
#include "test_access.h"
#include "world.h"
#include "world_fixture.h"

namespace {

constexpr uint8_t kUntouched = 0xA5;
constexpr int kFull = -1;     // subframe edge: the whole chip
constexpr int kShortMs = -1;  // exposure just under the link's timed full read
constexpr int kLongMs = -2;   // exposure above it

uint32_t Pad8(uint32_t v) { return (v + 7u) & ~7u; }

// Where each host row lies in the buffer and what it must hold.
struct Expected {
  uint32_t rows = 0;        // rows the host allocates (the subframe height)
  uint32_t rowsWritten = 0;
  uint32_t rowBytes = 0;
  uint32_t stride = 0;
  std::vector<uint16_t> pixels;  // rowsWritten x width
  size_t bufferBytes() const {
    return rows == 0 ? 0 : size_t(rows - 1) * stride + rowBytes;
  }
};

// The image a readout must produce, from the pattern formula. `top` and
// `left` are the subframe's binned edges as the host gave them; `mode` is
// the record's mode once resolved.
Expected Predict(const cvsim::SensorSpec& spec, bool guide, int mode, int left, int top, int w,
                 int h) {
  Expected e;
  e.rows = static_cast<uint32_t>(h);
  auto put = [&](uint32_t r, int c, uint16_t v) { e.pixels[size_t(r) * w + c] = v; };
  if (guide) {
    e.rowsWritten = h;
    e.rowBytes = 2 * w;
    e.stride = Pad8(2 * w);
    e.pixels.assign(size_t(w) * h, 0);
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c)
        put(r, c, static_cast<uint16_t>(cvsim::GuidePatternByte(top + r, left + c) << 8));
    return e;
  }
  // Interlaced sensors read lines of one field: the read starts at field
  // line top / 2, so an odd top begins one frame row higher.
  const int fieldTop = 2 * (top / 2);
  if (!spec.interlaced || mode == 1) {
    // Model 89 reads line pairs, so its area starts at an even row too.
    const int row0 = spec.model == 89 ? fieldTop : top;
    const int rows = spec.model == 89 ? (h & ~1) : h;
    e.rows = rows;
    e.rowsWritten = rows;
    e.rowBytes = 2 * w;
    e.stride = Pad8(2 * w);
    e.pixels.assign(size_t(w) * rows, 0);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < w; ++c) put(r, c, cvsim::PatternSample(0, row0 + r, left + c));
    return e;
  }
  if (mode == 2 || mode == 4) {
    if (spec.model == 90) {
      // Fields run along the columns: even columns field 1, odd field 2.
      e.rowsWritten = h;
      e.rowBytes = 2 * w;
      e.stride = 2 * w;
      e.pixels.assign(size_t(w) * h, 0);
      for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
          put(r, c, cvsim::PatternSample((c & 1) ? 2 : 1, fieldTop + r, left + c));
      return e;
    }
    const int n = h / 2;
    e.rowsWritten = 2 * n;
    e.rowBytes = 2 * w;
    e.stride = Pad8(2 * w);
    e.pixels.assign(size_t(w) * 2 * n, 0);
    for (int r = 0; r < 2 * n; ++r)
      for (int c = 0; c < w; ++c)
        put(r, c, cvsim::PatternSample((r & 1) ? 2 : 1, fieldTop + r, left + c));
    return e;
  }
  // Fast: one read of both fields, n line pairs, stretched to h rows; the
  // last row's lower neighbour is the last source row itself.
  const int n = h / 2;
  e.rowsWritten = h;
  e.rowBytes = 2 * w;
  e.stride = 2 * Pad8(w);
  e.pixels.assign(size_t(w) * h, 0);
  auto src = [&](int i, int c) {
    return cvsim::PatternSample(0, 2 * (top / 2 + std::min(i, n - 1)), left + c);
  };
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      if (r % 2 == 0) {
        put(r, c, src(r / 2, c));
      } else {
        put(r, c, static_cast<uint16_t>((uint32_t(src((r - 1) / 2, c)) + src((r + 1) / 2, c)) / 2));
      }
    }
  return e;
}

struct Case {
  const char* name;
  const char* product;
  bool guide;        // drive the attached guide head through a second object
  int imagingMode;   // the imager dialog's index
  int bin;
  int left, top, width, height;  // binned; kFull for the whole chip
  int exposureMs;    // or kShortMs / kLongMs
  int resolvedMode;  // the record's mode once the exposure has started
};

class EndToEndTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    cvsim::Clock::instance().setSpinStep(1);
  }
  void TearDown() override {
    if (guider) guider->CCDisconnect(0);
    if (imager) imager->CCDisconnect(0);
    for (CCamAPIDll* o : {guider.get(), imager.get()})
      if (o) {
        delete TA::mainExposure(*o);
        TA::mainExposure(*o) = nullptr;
      }
    guider.reset();
    imager.reset();
    g_readLockOwner.store(nullptr);
    cvsim::Clock::instance().setSpinStep(0);
    WorldTest::TearDown();
  }

  static int Link(CCamAPIDll& o) {
    int address = 0, status = 0;
    enumZZCAM2 out = CorvaneKTCamera;
    return o.CCEstablishLink(NoLPTPort, address, CorvaneKTCamera, out, 0, status);
  }

  // Attaches the camera and links the object the case drives.
  void Bring(const Case& c) {
    camera = cvsim::AttachCamera(c.product);
    ASSERT_TRUE(camera);
    camera->setTestPattern(true);
    imager.reset(AllocObject());
    TA::imagingMode(*imager) = c.imagingMode;
    ASSERT_EQ(Link(*imager), 0);
    object = imager.get();
    which = ImagingCCD;
    if (c.guide) {
      g_imagerSlot = 0;
      guider.reset(AllocObject());
      TA::attachedGuider(*guider) = 1;
      ASSERT_EQ(Link(*guider), 0);
      ASSERT_EQ(TA::attachedGuider(*guider), 1);
      ASSERT_EQ(g_sharedDevice, 1);
      object = guider.get();
      which = TrackingCCD;
    }
    handlesAfterLink = cvworld::World::instance().openHandleCount();
    camera->clearLog();
  }

  double Seconds(int ms) const {
    if (ms == kShortMs || ms == kLongMs) {
      const int full = static_cast<int>(TA::fullReadMs(*imager));
      ms = ms == kShortMs ? std::max(0, full - 1) : full + 20;
    }
    return (ms + 0.5) / 1000.0;  // whole milliseconds once truncated
  }

  // The host's calls up to and including BeforeDownload; the subframe in
  // binned chip pixels comes back in left/top/w/h.
  void StartToDownload(const Case& c, int* left, int* top, int* w, int* h) {
    const enumZZCAM2 cam = CorvaneKTCamera;
    const int bin = c.bin, unused = 0;
    camera->clearLog();
    int chipW = 0, chipH = 0, unusedOut = 0;
    ASSERT_EQ(object->CCGetChipSize(cam, which, bin, bin, unused, chipW, chipH, unusedOut), 0);
    *left = c.left == kFull ? 0 : c.left;
    *top = c.top == kFull ? 0 : c.top;
    *w = c.width == kFull ? chipW : c.width;
    *h = c.height == kFull ? chipH : c.height;
    ASSERT_LE(*left + *w, chipW);
    ASSERT_LE(*top + *h, chipH);
    const int right = *left + *w, bottom = *top + *h;
    ASSERT_EQ(object->CCSetBinnedSubFrame(cam, which, *left, *top, right, bottom), 0);
    const int leaveShutter = 0;
    ASSERT_EQ(object->CCStartExposure(cam, which, Seconds(c.exposureMs), LightFrame, unused,
                                      leaveShutter),
              0);
    ASSERT_NE(TA::mainExposure(*object), nullptr);
    EXPECT_EQ(TA::mainExposure(*object)->mode, c.resolvedMode);
    int complete = 0;
    for (int polls = 0; !complete; ++polls) {
      ASSERT_LT(polls, 100000) << "the exposure never completes";
      ASSERT_EQ(object->CCIsExposureComplete(cam, which, &complete, nullptr), 0);
      if (!complete) cvsim::Clock::instance().advance(5);
    }
    const int keep = 0;
    ASSERT_EQ(object->CCEndExposure(cam, which, keep, leaveShutter), 0);
    object->BeforeDownload(cam, which);
  }

  // A whole exposure, then the readout checked pixel by pixel.
  void ExposeAndCheck(const Case& c) {
    int left = 0, top = 0, w = 0, h = 0;
    ASSERT_NO_FATAL_FAILURE(StartToDownload(c, &left, &top, &w, &h));
    const int mode = TA::mainExposure(*object)->mode;
    const Expected e = Predict(camera->spec(), c.guide, mode, left, top, w, h);
    ASSERT_GT(e.rowsWritten, 0u);
    // Exactly the host's size, so that a write past it is caught.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[e.bufferBytes()]);
    std::memset(buffer.get(), kUntouched, e.bufferBytes());
    const enumZZCAM2 cam = CorvaneKTCamera;
    const int unused = 0;
    ASSERT_EQ(object->CCReadoutImage(cam, which, unused, w, h, buffer.get()), 0);

    int wrong = 0;
    for (uint32_t r = 0; r < e.rowsWritten && wrong < 5; ++r)
      for (int col = 0; col < w && wrong < 5; ++col) {
        const uint8_t* p = buffer.get() + size_t(r) * e.stride + 2 * size_t(col);
        const uint16_t got = static_cast<uint16_t>(p[0] | (p[1] << 8));
        const uint16_t want = e.pixels[size_t(r) * w + col];
        if (got != want) {
          ++wrong;
          ADD_FAILURE() << "row " << r << " column " << col << ": got 0x" << std::hex << got
                        << ", want 0x" << want;
        }
      }
    EXPECT_EQ(wrong, 0);
    // Gaps between rows, and rows past those written, stay as they were.
    size_t touched = 0;
    for (uint32_t r = 0; r < e.rows; ++r) {
      const size_t from = r < e.rowsWritten ? size_t(r) * e.stride + e.rowBytes : size_t(r) * e.stride;
      const size_t to = std::min(e.bufferBytes(), size_t(r + 1) * e.stride);
      for (size_t i = from; i < to; ++i) touched += buffer[i] != kUntouched;
    }
    EXPECT_EQ(touched, 0u) << "bytes outside the rows were written";

    // The camera read what the mode asks for, in order: the early, thrown
    // away field 2 of the staggered mode; field 1 and then field 2 (timed by
    // the camera in the interlaced mode); or one read of both.
    struct Read {
      bool delayed;
      int field;
      uint32_t delayMs;
      bool operator==(const Read& o) const {
        return delayed == o.delayed && field == o.field && delayMs == o.delayMs;
      }
    };
    std::vector<Read> reads, want;
    const int sensor = c.guide ? 1 : 0;
    for (const cvsim::Readout& r : camera->readouts()) {
      EXPECT_EQ(r.request.sensor, sensor);
      reads.push_back({r.request.delayed, r.request.field, r.request.delayMs});
    }
    const bool interlaced = camera->spec().interlaced && !c.guide;
    const uint32_t ms = static_cast<uint32_t>(Seconds(c.exposureMs) * 1000);
    if (mode == 1 || mode == 3) {
      want = {{false, 3, 0}};
    } else if (!interlaced) {
      want = {{false, 1, 0}};
    } else if (mode == 2) {
      want = {{false, 2, 0}, {false, 1, 0}, {false, 2, 0}};
    } else {
      want = {{false, 1, 0}, {true, 2, ms}};
    }
    EXPECT_TRUE(reads == want) << "the camera saw " << reads.size() << " readouts";

    // Idle again.
    EXPECT_EQ(TA::readInProgress(*object), 0);
    EXPECT_EQ(TA::delayedReadPending(*object), 0);
    EXPECT_EQ(g_readLock.load(), 0);
    EXPECT_EQ(TA::mainExposure(*object), nullptr);
    EXPECT_EQ(cvworld::World::instance().openHandleCount(), handlesAfterLink);
    EXPECT_EQ(camera->queuedReadouts(), 0u) << "data left behind for the next image";
  }

  std::shared_ptr<cvsim::SimCamera> camera;
  std::unique_ptr<CCamAPIDll> imager, guider;
  CCamAPIDll* object = nullptr;
  enumWhichCCD2 which = ImagingCCD;
  size_t handlesAfterLink = 0;
};

// Imaging modes of the dialog: 0 Automatic, 1 Progressive, 2 Fast, 3 Interlaced.
const Case kCases[] = {
    // Progressive sensor: every mode is one read.
    {"T21 bin 1 full", "0A30", false, 0, 1, kFull, kFull, kFull, kFull, 20, 1},
    {"T21 bin 2 full", "0A30", false, 1, 2, kFull, kFull, kFull, kFull, 20, 1},
    {"T21 fast subframe odd width", "0A30", false, 2, 1, 37, 51, 61, 43, 20, 3},
    {"T21 interlaced mode", "0A30", false, 3, 1, 8, 9, 40, 30, 20, 4},
    // Interlaced sensor.
    {"RQ2 automatic short", "0A12", false, 0, 1, 30, 41, 61, 40, kShortMs, 4},
    {"RQ2 automatic long", "0A12", false, 0, 1, 30, 41, 61, 40, kLongMs, 2},
    {"RQ2 automatic bin 2", "0A12", false, 0, 2, kFull, kFull, kFull, kFull, kLongMs, 2},
    {"RQ2 progressive bin 1 full", "0A12", false, 1, 1, kFull, kFull, kFull, kFull, 30, 2},
    {"RQ2 progressive bin 2", "0A12", false, 1, 2, kFull, kFull, kFull, kFull, 30, 2},
    {"RQ2 progressive odd top", "0A12", false, 1, 1, 30, 41, 61, 40, 30, 2},
    {"RQ2 fast bin 1 full", "0A12", false, 2, 1, kFull, kFull, kFull, kFull, 30, 3},
    {"RQ2 fast bin 2", "0A12", false, 2, 2, kFull, kFull, kFull, kFull, 30, 3},
    {"RQ2 fast odd top", "0A12", false, 2, 1, 30, 41, 61, 40, 30, 3},
    {"RQ2 interlaced bin 1 full", "0A12", false, 3, 1, kFull, kFull, kFull, kFull, 30, 4},
    {"RQ2 interlaced bin 2", "0A12", false, 3, 2, kFull, kFull, kFull, kFull, 30, 4},
    {"RQ2 interlaced odd top", "0A12", false, 3, 1, 30, 41, 61, 40, 30, 4},
    {"RQ3 interlaced odd top odd height", "0A13", false, 3, 1, 100, 201, 45, 31, 30, 4},
    {"RQ3 progressive bin 2 subframe", "0A13", false, 1, 2, 10, 21, 100, 60, 30, 2},
    // Model 89: line pairs side by side.
    {"R31 subframe", "0C52", false, 0, 1, 40, 20, 200, 100, 20, 1},
    {"R31 subframe odd height", "0C52", false, 1, 1, 41, 30, 99, 61, 20, 1},
    // Model 90: folded columns.
    {"R32 staggered subframe", "0C53", false, 1, 1, 40, 20, 200, 100, 30, 2},
    {"R32 interlaced subframe", "0C53", false, 3, 1, 40, 20, 200, 100, 30, 4},
    {"R32 interlaced full", "0C53", false, 3, 1, kFull, kFull, kFull, kFull, 30, 4},
    // The guide head of a T21, through a second object.
    {"T21 guide head bin 1 full", "0A30", true, 0, 1, kFull, kFull, kFull, kFull, 20, 1},
    {"T21 guide head bin 2", "0A30", true, 2, 2, kFull, kFull, kFull, kFull, 20, 1},
    {"T21 guide head subframe", "0A30", true, 3, 1, 17, 33, 45, 27, 20, 1},
};

TEST_F(EndToEndTest, EveryModeGivesThePatternTwiceInARow) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(Bring(c));
    {
      SCOPED_TRACE("first exposure");
      ExposeAndCheck(c);
    }
    {
      SCOPED_TRACE("second exposure");
      ExposeAndCheck(c);
    }
    TearDown();
    SetUp();
  }
}

TEST_F(EndToEndTest, DiscardedReadLeavesNothingForTheNextImage) {
  const Case cases[] = {
      {"T21", "0A30", false, 0, 1, 37, 51, 61, 43, 20, 1},
      {"RQ2 staggered", "0A12", false, 1, 1, 30, 41, 61, 40, 30, 2},
      {"RQ2 interlaced", "0A12", false, 3, 1, 30, 41, 61, 40, 30, 4},
      {"RQ2 fast", "0A12", false, 2, 1, 30, 41, 61, 40, 30, 3},
      {"R32 interlaced", "0C53", false, 3, 1, 40, 20, 200, 100, 30, 4},
      {"T21 guide head", "0A30", true, 0, 1, 17, 33, 45, 27, 20, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(Bring(c));
    int left = 0, top = 0, w = 0, h = 0;
    ASSERT_NO_FATAL_FAILURE(StartToDownload(c, &left, &top, &w, &h));
    const enumZZCAM2 cam = CorvaneKTCamera;
    const int discard = 1, leaveShutter = 0;
    EXPECT_EQ(object->CCEndExposure(cam, which, discard, leaveShutter), 0);
    EXPECT_EQ(TA::readInProgress(*object), 0);
    EXPECT_EQ(TA::delayedReadPending(*object), 0);
    EXPECT_EQ(g_readLock.load(), 0);
    EXPECT_EQ(camera->queuedReadouts(), 0u);
    EXPECT_NE(TA::mainExposure(*object), nullptr) << "the record stays for the next exposure";
    ExposeAndCheck(c);
    TearDown();
    SetUp();
  }
}

}  // namespace
