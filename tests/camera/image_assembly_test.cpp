// The readout into the host's buffer, against a small fake camera: a scripted
// queue of read payloads (one block per request, taken in pieces if asked in
// pieces) and a log of writes. Every layout of the host buffer is checked
// whole, gaps between rows and a guard zone after the image included.
#define CV_ALLOC_FAILURE_IMPLEMENTATION
#include "alloc_failure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "CCamAPIDll.h"
#include "clock.h"
#include "module_state.h"
#include "pixel_reference.h"
#include "test_access.h"
#include "world.h"
#include "world_fixture.h"

namespace {

using ref::Bytes;
using Exposure = CCamAPIDll::Exposure;

const char kPath[] = "\\\\?\\usb#vid_1a2b&pid_0f00#fake#{assembly}";
const enumZZCAM2 kCam = CorvaneKTCamera;
const enumWhichCCD2 kImg = ImagingCCD;

class FakeCamera : public cvworld::Device {
 public:
  struct Payload {
    Bytes bytes;
    bool fail = false;
    size_t taken = 0;
  };
  struct ReadRecord {
    uint32_t length;
    uint64_t tick;
    int32_t readLock;
  };
  std::deque<Payload> queue;
  std::vector<Bytes> writes;
  std::vector<ReadRecord> reads;

  void Queue(const Bytes& b) { queue.push_back({b, false, 0}); }
  void QueueFailure() { queue.push_back({{}, true, 0}); }
  size_t Left() const {
    size_t n = 0;
    for (const Payload& p : queue) n += p.bytes.size() - p.taken;
    return n;
  }

  uint32_t write(uint32_t, const uint8_t* data, uint32_t length, uint32_t* done) override {
    writes.emplace_back(data, data + length);
    *done = length;
    return cvworld::err::ok;
  }
  uint32_t read(uint32_t, uint8_t* data, uint32_t length, uint32_t* done) override {
    reads.push_back({length, cvsim::Clock::instance().nowMs(), g_readLock.load()});
    *done = 0;
    if (queue.empty()) return cvworld::err::semTimeout;
    Payload& p = queue.front();
    if (p.fail) {
      queue.pop_front();
      return cvworld::err::genFailure;
    }
    const size_t n = std::min<size_t>(length, p.bytes.size() - p.taken);
    std::memcpy(data, p.bytes.data() + p.taken, n);
    p.taken += n;
    *done = static_cast<uint32_t>(n);
    if (p.taken == p.bytes.size()) queue.pop_front();
    return cvworld::err::ok;
  }
};

// What kind of camera the object drives.
struct Camera {
  int progressive;
  int model;
  int guideHead;
  int bits;
};
const Camera kProgressive{1, 5, 0, 16};
const Camera kInterlaced{0, 0x41, 0, 16};
const Camera kModel89{1, 89, 0, 16};
const Camera kModel90{0, 90, 0, 16};
const Camera kGuideHead{1, 5, 1, 16};

class AssemblyTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    cam = std::make_shared<FakeCamera>();
    cvworld::World::instance().publish(cvworld::kCameraDriverClass, kPath, cam);
    o.reset(AllocObject());
    HANDLE h = CreateFileA(kPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    TA::device(*o) = h;
    cvsim::Clock::instance().setSpinStep(1);
  }
  void TearDown() override {
    cvsim::Clock::instance().setSpinStep(0);
    cvtest::StopFailingAllocations();
    delete TA::mainExposure(*o);
    TA::mainExposure(*o) = nullptr;
    o.reset();
    WorldTest::TearDown();
  }

  void Use(const Camera& c) {
    TA::progressive(*o) = c.progressive;
    TA::model(*o) = c.model;
    TA::attachedGuider(*o) = c.guideHead;
    TA::imagerParams(*o).bytes[14] = static_cast<uint8_t>(c.bits);
  }
  Exposure& Record(int mode, int w, int h, int resample = 0) {
    delete TA::mainExposure(*o);
    Exposure* e = new Exposure;
    e->mode = mode;
    e->width = static_cast<uint16_t>(w);
    e->height = static_cast<uint16_t>(h);
    e->resample = resample;
    e->model = TA::model(*o);
    e->fieldSelector = (mode == 1 || mode == 3) ? 3 : 1;
    e->exposureMs = 100;
    TA::mainExposure(*o) = e;
    return *e;
  }
  int Readout(unsigned char* buffer) {
    const int unused = 0, a = 1, b = 1;
    return o->CCReadoutImage(kCam, kImg, unused, a, b, buffer);
  }
  void ExpectReadStateCleared() {
    EXPECT_EQ(TA::mainExposure(*o), nullptr);
    EXPECT_EQ(TA::readInProgress(*o), 0);
    EXPECT_EQ(TA::delayedReadPending(*o), 0);
    EXPECT_EQ(g_readLock.load(), 0);
  }

  std::shared_ptr<FakeCamera> cam;
  std::unique_ptr<CCamAPIDll> o;
};

// ---- Layouts ----

enum class Lay { Guide, Rows, Split89, Interleave, Unfold90, Stretch, Untouched };

struct LayoutCase {
  const char* name;
  Camera camera;
  int mode, resample, w, h;
  Lay lay;
  size_t stride;      // bytes between row starts
  size_t rowsWritten;
};

const LayoutCase kLayouts[] = {
    {"single read w=4: rows of 8 every 8", kProgressive, 1, 0, 4, 3, Lay::Rows, 8, 3},
    {"single read w=5: rows of 10 every 16", kProgressive, 1, 0, 5, 3, Lay::Rows, 16, 3},
    {"progressive sensor, mode 4: single read", kProgressive, 4, 0, 5, 3, Lay::Rows, 16, 3},
    {"progressive sensor, mode 3: single read", kProgressive, 3, 1, 3, 2, Lay::Rows, 8, 2},
    {"interlaced sensor, mode 1: single read", kInterlaced, 1, 0, 6, 5, Lay::Rows, 16, 5},
    {"guide head w=5: rows every 16", kGuideHead, 1, 0, 5, 3, Lay::Guide, 16, 3},
    {"guide head w=4", kGuideHead, 1, 0, 4, 2, Lay::Guide, 8, 2},
    {"model 89 w=5 h=4", kModel89, 1, 0, 5, 4, Lay::Split89, 16, 4},
    {"model 89 w=8 h=6", kModel89, 1, 0, 8, 6, Lay::Split89, 16, 6},
    {"model 89 w=8 h=5: odd last row zeros", kModel89, 1, 0, 8, 5, Lay::Split89, 16, 5},
    {"model 89 w=5 h=3: odd last row zeros", kModel89, 1, 0, 5, 3, Lay::Split89, 16, 3},
    {"mode 2 h=7: rows 0-5 only", kInterlaced, 2, 0, 5, 7, Lay::Interleave, 16, 6},
    {"mode 4 w=4 h=6", kInterlaced, 4, 0, 4, 6, Lay::Interleave, 8, 6},
    {"model 90 mode 2 w=6 h=8: no gaps", kModel90, 2, 0, 6, 8, Lay::Unfold90, 12, 8},
    {"model 90 mode 4 w=5 h=8: no gaps", kModel90, 4, 0, 5, 8, Lay::Unfold90, 10, 8},
    {"Fast w=4: rows every 16", kInterlaced, 3, 1, 4, 4, Lay::Stretch, 16, 4},
    {"Fast w=5: rows every 16", kInterlaced, 3, 1, 5, 4, Lay::Stretch, 16, 4},
    {"Fast w=9 h=5", kInterlaced, 3, 1, 9, 5, Lay::Stretch, 32, 5},
    {"Fast with resample off: untouched", kInterlaced, 3, 0, 4, 4, Lay::Untouched, 16, 0},
    {"mode 0: nothing placed", kInterlaced, 0, 0, 4, 4, Lay::Untouched, 8, 0},
};

// The camera's payloads for a case and the host buffer it must produce.
struct Script {
  Bytes first, second;
  size_t extent = 0;       // bytes the image covers in the host buffer
  Bytes expected;          // image bytes over 0xAA, extent long
};

Script MakeScript(const LayoutCase& c, uint32_t seed) {
  Script s;
  const size_t w = c.w, h = c.h;
  const bool two = c.lay == Lay::Interleave || c.lay == Lay::Unfold90;
  const size_t n = (c.camera.progressive || c.mode == 1 || c.camera.guideHead) ? h : h / 2;
  const size_t first = c.camera.guideHead ? w * h : 2 * w * n;
  s.first = ref::Random(first, seed);
  if (two) s.second = ref::Random(2 * w * n, seed + 1);
  const size_t rowBytes = 2 * w;
  s.extent = c.rowsWritten ? (c.rowsWritten - 1) * c.stride + rowBytes : 0;
  s.expected.assign(s.extent, 0xAA);
  auto putRow = [&](size_t r, const uint8_t* src) {
    std::memcpy(s.expected.data() + r * c.stride, src, rowBytes);
  };
  switch (c.lay) {
    case Lay::Guide:
      for (size_t r = 0; r < h; ++r)
        for (size_t k = 0; k < w; ++k) {
          s.expected[r * c.stride + 2 * k] = 0;
          s.expected[r * c.stride + 2 * k + 1] = s.first[r * w + k];
        }
      break;
    case Lay::Rows:
      for (size_t r = 0; r < h; ++r) putRow(r, s.first.data() + r * rowBytes);
      break;
    case Lay::Split89: {
      Bytes rows = ref::R31(s.first, c.w, c.h);
      for (size_t r = 0; r < h; ++r) putRow(r, rows.data() + r * rowBytes);
      break;
    }
    case Lay::Interleave:
      for (size_t i = 0; i < n; ++i) {
        putRow(2 * i, s.first.data() + i * rowBytes);
        putRow(2 * i + 1, s.second.data() + i * rowBytes);
      }
      break;
    case Lay::Unfold90:
      s.expected = ref::R32(s.first, s.second, c.w, c.h);
      break;
    case Lay::Stretch:
      s.expected = ref::Resample(s.first, c.w, int(n), c.w, c.h, 0xAA);
      break;
    case Lay::Untouched:
      break;
  }
  return s;
}

TEST_F(AssemblyTest, EveryPathLaysOutTheHostBufferAsTabled) {
  const size_t kGuard = 32;
  uint32_t seed = 1;
  for (const LayoutCase& c : kLayouts) {
    SCOPED_TRACE(c.name);
    Use(c.camera);
    Script s = MakeScript(c, seed++);
    ASSERT_EQ(s.expected.size(), s.extent);

    // Once with a guard zone after the image, once in a block of exactly the
    // image's length (the sanitizer build reports any byte beyond it).
    for (int exact = 0; exact < 2; ++exact) {
      Record(c.mode, c.w, c.h, c.resample);
      cam->Queue(s.first);
      if (!s.second.empty()) cam->Queue(s.second);
      const size_t size = exact ? s.extent : s.extent + kGuard;
      std::unique_ptr<unsigned char[]> host(new unsigned char[size ? size : 1]);
      std::memset(host.get(), 0xAA, size);
      EXPECT_EQ(Readout(host.get()), 0);
      EXPECT_EQ(Bytes(host.get(), host.get() + s.extent), s.expected);
      if (!exact) {
        EXPECT_EQ(Bytes(host.get() + s.extent, host.get() + size), Bytes(kGuard, 0xAA));
      }
      EXPECT_EQ(cam->Left(), 0u) << "payload not collected";
      ExpectReadStateCleared();
    }
  }
}

TEST_F(AssemblyTest, GuideHeadSampleBecomesTheHighByte) {
  Use(kGuideHead);
  Record(1, 2, 1);
  cam->Queue({0x7F, 0x01});
  unsigned char host[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(Readout(host), 0);
  const unsigned char expected[4] = {0x00, 0x7F, 0x00, 0x01};
  EXPECT_EQ(0, std::memcmp(host, expected, 4));
  ASSERT_EQ(cam->reads.size(), 1u);
  EXPECT_EQ(cam->reads[0].length, 2u);  // one byte per pixel
}

// ---- The second field ----

TEST_F(AssemblyTest, StaggeredFieldsRequestsFieldTwoAtOnce) {
  Use(kInterlaced);
  Exposure& e = Record(2, 4, 4);
  e.x = 1;
  cam->Queue(ref::Random(16, 1));
  cam->Queue(ref::Random(16, 2));
  std::vector<unsigned char> host(64, 0xAA);
  EXPECT_EQ(Readout(host.data()), 0);
  ASSERT_EQ(cam->writes.size(), 1u);
  EXPECT_EQ(cam->writes[0].size(), 18u);
  EXPECT_EQ(cam->writes[0][1], 3);  // read now
  EXPECT_EQ(cam->writes[0][2], 2);  // field 2
  ASSERT_EQ(cam->reads.size(), 2u);
  EXPECT_EQ(cam->reads[1].length, 16u);
}

TEST_F(AssemblyTest, InterlacedWaitsForTheCameraTimedSecondField) {
  Use(kInterlaced);
  Exposure& e = Record(4, 4, 4);
  e.exposureMs = 2500;
  cam->Queue(ref::Random(16, 1));
  cam->Queue(ref::Random(16, 2));
  std::vector<unsigned char> host(64, 0xAA);
  const uint64_t before = cvsim::Clock::instance().nowMs();
  EXPECT_EQ(Readout(host.data()), 0);
  ASSERT_GE(cam->writes.size(), 1u);
  EXPECT_EQ(cam->writes[0].size(), 22u);
  EXPECT_EQ(cam->writes[0][1], 2);  // delayed read
  EXPECT_EQ(cam->writes[0][2], 2);  // field 2
  const unsigned char ms[4] = {0xC4, 0x09, 0, 0};  // 2500
  EXPECT_EQ(0, std::memcmp(cam->writes[0].data() + 18, ms, 4));
  // A 2.5 s wait falls in the window of the final register clear.
  ASSERT_EQ(cam->writes.size(), 2u);
  EXPECT_EQ(cam->writes[1][1], 1);
  ASSERT_EQ(cam->reads.size(), 2u);
  EXPECT_GE(cam->reads[1].tick, before + 2500) << "second field read before its time";
}

TEST_F(AssemblyTest, ResultIsThatOfTheLastRead) {
  struct Case {
    const char* what;
    bool firstFails, secondFails;
    int expected;
  } cases[] = {{"first fails, second succeeds", true, false, 0},
               {"first succeeds, second fails", false, true, 1},
               {"both succeed", false, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Use(kInterlaced);
    Record(2, 4, 4);
    if (c.firstFails) cam->QueueFailure(); else cam->Queue(ref::Random(16, 3));
    if (c.secondFails) cam->QueueFailure(); else cam->Queue(ref::Random(16, 4));
    std::vector<unsigned char> host(64, 0xAA);
    EXPECT_EQ(Readout(host.data()), c.expected);
    ExpectReadStateCleared();
    cam->queue.clear();
  }
}

TEST_F(AssemblyTest, ShortReadLeavesZerosNotStaleMemory) {
  Use(kProgressive);
  Record(1, 4, 2);
  cam->Queue(ref::Samples({1, 2, 3, 4, 5}));  // 5 of 8 samples
  std::vector<unsigned char> host(16, 0xAA);
  EXPECT_EQ(Readout(host.data()), 0);
  EXPECT_EQ(Bytes(host.begin(), host.end()), ref::Samples({1, 2, 3, 4, 5, 0, 0, 0}));
}

// ---- Shared camera: the read lock ----

TEST_F(AssemblyTest, ReadLockIsGivenUpAfterEachReadAndTakenAnewForFieldTwo) {
  g_sharedDevice = 1;
  Use(kInterlaced);
  Exposure& e = Record(2, 4, 4);
  TA::RequestReadNow(*o, e);  // what BeforeDownload sends: takes the lock
  ASSERT_EQ(g_readLock.load(), 1);
  cam->writes.clear();
  cam->Queue(ref::Random(16, 1));
  cam->Queue(ref::Random(16, 2));
  std::vector<unsigned char> host(64, 0xAA);
  EXPECT_EQ(Readout(host.data()), 0);
  ASSERT_EQ(cam->reads.size(), 2u);
  EXPECT_EQ(cam->reads[0].readLock, 1);
  EXPECT_EQ(cam->reads[1].readLock, 1);  // the second request took it again
  ExpectReadStateCleared();
}

TEST_F(AssemblyTest, LockHeldByTheOtherObjectIsNotReleased) {
  g_sharedDevice = 1;
  Use(kProgressive);
  Record(1, 4, 1);
  cam->Queue(ref::Random(8, 1));
  int other = 0;
  TakeReadLockFor(&other);  // the other object's request is outstanding
  std::vector<unsigned char> host(8, 0xAA);
  EXPECT_EQ(Readout(host.data()), 0);
  EXPECT_EQ(g_readLock.load(), 1);
  EXPECT_TRUE(ReleaseReadLockHeldBy(&other));
}

// ---- Buffers that cannot be had ----

TEST_F(AssemblyTest, FailedBufferDrainsTheCameraAndClearsTheReadState) {
  struct Case {
    const char* what;
    Camera camera;
    int mode, w, h;
    int failing;  // which allocation of the readout fails
    size_t requests;  // request writes the readout may send
  } cases[] = {
      {"single read, read buffer", kProgressive, 1, 300, 200, 1, 0},
      {"model 89 w=302, scratch buffer", kModel89, 1, 302, 200, 2, 0},
      {"mode 2, read buffer", kInterlaced, 2, 300, 200, 1, 0},
      {"mode 4, second-field buffer", kInterlaced, 4, 300, 200, 2, 0},
      {"guide head, read buffer", kGuideHead, 1, 300, 200, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_sharedDevice = 1;
    Use(c.camera);
    Exposure& e = Record(c.mode, c.w, c.h);
    TA::RequestReadNow(*o, e);
    cam->writes.clear();
    const size_t n = (c.camera.progressive || c.mode == 1) ? c.h : c.h / 2;
    const size_t bytes = (c.camera.guideHead ? 1 : 2) * size_t(c.w) * n;
    cam->Queue(ref::Random(bytes, 9));  // what the camera owes
    std::vector<unsigned char> host(4 * size_t(c.w) * c.h, 0xAA);
    {
      cvtest::ScopedAllocFailure fail(c.failing);
      EXPECT_EQ(Readout(host.data()), 1);
      EXPECT_EQ(fail.failed(), 1);
    }
    EXPECT_EQ(host, std::vector<unsigned char>(host.size(), 0xAA)) << "host buffer written";
    EXPECT_EQ(cam->Left(), 0u) << "data left in the camera for the next image";
    EXPECT_EQ(cam->writes.size(), c.requests) << "a second field was requested";
    ExpectReadStateCleared();

    // The next readout sees its own data.
    Record(1, 4, 1);
    Use(kProgressive);
    Bytes next = ref::Random(8, 10);
    cam->Queue(next);
    TA::RequestReadNow(*o, *TA::mainExposure(*o));
    std::vector<unsigned char> out(8, 0xAA);
    EXPECT_EQ(Readout(out.data()), 0);
    EXPECT_EQ(Bytes(out.begin(), out.end()), next);
    g_sharedDevice = 0;
    cam->queue.clear();
    cam->writes.clear();
  }
}

TEST_F(AssemblyTest, SizesBeyondThirtyTwoBitsAreRefused) {
  // 65535 x 65535 pixels of 16 bits is 8.6e9 bytes: refused before any
  // buffer is obtained, with nothing written to the host's buffer.
  Use(kProgressive);
  Record(1, 65535, 65535);
  cam->Queue(ref::Random(1000, 1));  // what a camera would begin to send
  unsigned char host[16];
  std::memset(host, 0xAA, sizeof host);
  EXPECT_EQ(Readout(host), 1);
  for (unsigned char b : host) EXPECT_EQ(b, 0xAA);
  EXPECT_EQ(cam->Left(), 0u);
  ExpectReadStateCleared();
}

TEST_F(AssemblyTest, NoHostBufferOrNoRecordIsRefused) {
  Use(kProgressive);
  Record(1, 4, 2);
  cam->Queue(ref::Random(16, 1));
  EXPECT_EQ(Readout(nullptr), 1);
  EXPECT_EQ(cam->Left(), 0u);
  ExpectReadStateCleared();
  unsigned char host[8] = {};
  EXPECT_EQ(Readout(host), 1);  // no record any more
}

}  // namespace
