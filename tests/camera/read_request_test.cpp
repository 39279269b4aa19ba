// The read-now and delayed-read requests on the wire, the read flags, and the
// read lock taken before the write while two objects share the camera.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "CCamAPIDll.h"
#include "fake_camera.h"
#include "test_access.h"
#include "world_fixture.h"

using linktest::Event;
using linktest::FakeCamera;
using linktest::FakeSpec;

namespace {

class ReadRequestTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    camera = linktest::PublishFake(FakeSpec{});
    object.FindCameras();
    ASSERT_EQ(TA::OpenCamera(object, 0), 1);
    camera->clearLog();
  }
  void TearDown() override {
    CloseHandle(TA::device(object));
    g_readLockOwner.store(nullptr);
    WorldTest::TearDown();
  }
  std::vector<uint8_t> LastWrite() {
    auto w = camera->writes();
    return w.empty() ? std::vector<uint8_t>{} : w.back();
  }
  std::shared_ptr<FakeCamera> camera;
  CCamAPIDll object;
};

CCamAPIDll::Exposure Record(int mode, int model, uint16_t x, uint16_t y, uint16_t w, uint16_t h,
                            uint8_t xBin, uint8_t yBin, uint8_t field = 1, uint32_t ms = 0) {
  CCamAPIDll::Exposure e;
  e.mode = mode;
  e.model = model;
  e.x = x;
  e.y = y;
  e.width = w;
  e.height = h;
  e.xBin = xBin;
  e.yBin = yBin;
  e.fieldSelector = field;
  e.exposureMs = ms;
  return e;
}

struct RequestCase {
  const char* name;
  int progressive;
  int attachedGuider;
  bool delayed;
  CCamAPIDll::Exposure record;
  std::vector<uint8_t> bytes;
};

TEST_F(ReadRequestTest, RequestBytes) {
  const RequestCase cases[] = {
      {"progressive, bins 2x2", 1, 0, false, Record(1, 16, 10, 20, 100, 50, 2, 2),
       {0x40, 0x03, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00,  // block
        0x14, 0x00, 0x28, 0x00, 0xC8, 0x00, 0x64, 0x00, 0x02, 0x02}},
      {"model 89 line pairs", 1, 0, false, Record(1, 89, 10, 20, 100, 480, 1, 1),
       {0x40, 0x03, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00,  //
        0x14, 0x00, 0x0A, 0x00, 0xC8, 0x00, 0xF0, 0x00, 0x01, 0x01}},
      {"model 90 swaps and scales the extents", 0, 0, false, Record(2, 90, 0, 0, 1000, 600, 1, 1),
       {0x40, 0x03, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x00,  //
        0x00, 0x00, 0x00, 0x00, 0xB0, 0x04, 0xFA, 0x00, 0x01, 0x01}},
      {"model 90, H x 4 wraps at 16 bits", 0, 0, false, Record(2, 90, 0, 0, 8, 40000, 1, 1),
       // H = 20000, width field 80000 mod 65536 = 14464, height field 8 / 4
       {0x40, 0x03, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x00,  //
        0x00, 0x00, 0x00, 0x00, 0x80, 0x38, 0x02, 0x00, 0x01, 0x01}},
      {"interlaced delayed read of field 2", 0, 0, true,
       Record(4, 36, 4, 6, 100, 200, 1, 1, 2, 1500),
       {0x40, 0x02, 0x02, 0x00, 0x00, 0x00, 0x0E, 0x00,  //
        0x04, 0x00, 0x06, 0x00, 0x64, 0x00, 0x64, 0x00, 0x01, 0x01, 0xDC, 0x05, 0x00, 0x00}},
      {"interlaced read now, field 1, bins 2x2", 0, 0, false, Record(4, 36, 5, 7, 50, 101, 2, 2),
       // H = 2 * ((101 / 1) / 2) = 100
       {0x40, 0x03, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x00,  //
        0x0A, 0x00, 0x0E, 0x00, 0x64, 0x00, 0x64, 0x00, 0x02, 0x02}},
      {"fast mode asks for both fields", 0, 0, false, Record(3, 36, 0, 0, 10, 10, 1, 1, 2),
       {0x40, 0x03, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00,  //
        0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x05, 0x00, 0x01, 0x01}},
      {"progressive mode ignores the record's field", 0, 0, false,
       Record(1, 36, 0, 0, 10, 10, 1, 1, 2),
       {0x40, 0x03, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00,  //
        0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x0A, 0x00, 0x01, 0x01}},
      {"attached guide head", 1, 1, false, Record(1, 0, 3, 4, 376, 290, 2, 1),
       {0x40, 0x03, 0x03, 0x00, 0x01, 0x00, 0x0A, 0x00,  //
        0x06, 0x00, 0x04, 0x00, 0xF0, 0x02, 0x22, 0x01, 0x02, 0x01}},
      {"width 40000 at bin 2 wraps to 14464", 1, 0, false, Record(1, 16, 0, 0, 40000, 1, 2, 1),
       {0x40, 0x03, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00,  //
        0x00, 0x00, 0x00, 0x00, 0x80, 0x38, 0x01, 0x00, 0x02, 0x01}},
      {"model 89, bins 2x2, odd y", 1, 0, false, Record(1, 89, 1, 3, 5, 9, 2, 2),
       // X = 1*2*2, Y = 2 * (3 / 2), W = 5*2*2, H = 2 * (9 / 2)
       {0x40, 0x03, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00,  //
        0x04, 0x00, 0x02, 0x00, 0x14, 0x00, 0x08, 0x00, 0x02, 0x02}},
      {"delayed read, progressive, exposure 0x01020304", 1, 0, true,
       Record(1, 16, 0, 0, 1, 1, 1, 1, 1, 0x01020304),
       {0x40, 0x02, 0x03, 0x00, 0x00, 0x00, 0x0E, 0x00,  //
        0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x01, 0x04, 0x03, 0x02, 0x01}},
  };
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(c.name);
    camera->clearLog();
    TA::progressive(object) = c.progressive;
    TA::attachedGuider(object) = c.attachedGuider;
    TA::readInProgress(object) = 0;
    TA::delayedReadPending(object) = 0;
    CCamAPIDll::Exposure e = c.record;
    const int r = c.delayed ? TA::RequestDelayedRead(object, e) : TA::RequestReadNow(object, e);
    EXPECT_NE(r, 0);
    ASSERT_EQ(camera->writes().size(), 1u) << "one write of the whole message";
    EXPECT_EQ(LastWrite(), c.bytes);
    EXPECT_EQ(TA::readInProgress(object), 1);
    EXPECT_EQ(TA::delayedReadPending(object), c.delayed ? 1 : 0);
  }
}

TEST_F(ReadRequestTest, NoSharedDeviceLeavesTheReadLockAlone) {
  g_sharedDevice = 0;
  g_readLock.store(1);  // would block forever if the request took it
  CCamAPIDll::Exposure e = Record(1, 16, 0, 0, 10, 10, 1, 1);
  TA::RequestReadNow(object, e);
  EXPECT_EQ(g_readLock.load(), 1);
  g_readLock.store(0);
  TA::RequestDelayedRead(object, e);
  EXPECT_EQ(g_readLock.load(), 0);
  EXPECT_EQ(TA::readInProgress(object), 1);
}

TEST_F(ReadRequestTest, SharedDeviceTakesTheReadLockBeforeTheWrite) {
  g_sharedDevice = 1;
  for (bool delayed : {false, true}) {
    SCOPED_TRACE(delayed ? "delayed read" : "read now");
    camera->clearLog();
    CCamAPIDll::Exposure e = Record(1, 16, 0, 0, 10, 10, 1, 1);
    delayed ? TA::RequestDelayedRead(object, e) : TA::RequestReadNow(object, e);
    std::vector<Event> ev = camera->events();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].readLock, 1) << "held when the block is written";
    EXPECT_EQ(ev[0].writeLock, 1) << "inside the write lock";
    EXPECT_EQ(g_readLock.load(), 1) << "held until the data are read";
    EXPECT_EQ(g_writeLock.load(), 0);
    // A second request of the same object before its data were read (an
    // abandoned readout) does not wait for itself.
    TA::RequestReadNow(object, e);
    EXPECT_EQ(g_readLock.load(), 1);
    ReleaseSharedDeviceFlag(g_readLock);
  }
  g_sharedDevice = 0;
}

TEST_F(ReadRequestTest, FailedWriteKeepsFlagsAndLock) {
  g_sharedDevice = 1;
  camera->failWrites = true;
  CCamAPIDll::Exposure e = Record(4, 36, 0, 0, 10, 10, 1, 1, 2, 100);
  EXPECT_EQ(TA::RequestDelayedRead(object, e), 0);
  EXPECT_EQ(TA::readInProgress(object), 1);
  EXPECT_EQ(TA::delayedReadPending(object), 1);
  EXPECT_EQ(g_readLock.load(), 1);
  ReleaseSharedDeviceFlag(g_readLock);
  g_sharedDevice = 0;
}

TEST_F(ReadRequestTest, WaitsWhileTheOtherObjectHoldsTheReadLock) {
  g_sharedDevice = 1;
  CCamAPIDll other;
  TakeReadLockFor(&other);
  std::atomic<bool> done{false};
  std::thread t([&] {
    CCamAPIDll::Exposure e = Record(1, 16, 0, 0, 10, 10, 1, 1);
    TA::RequestReadNow(object, e);
    done = true;
  });
  for (int i = 0; i < 2000; ++i) std::this_thread::yield();
  EXPECT_FALSE(done.load());
  EXPECT_TRUE(camera->writes().empty()) << "no request while the other's data are unread";
  ASSERT_TRUE(ReleaseReadLockHeldBy(&other));
  t.join();
  ASSERT_EQ(camera->writes().size(), 1u);
  EXPECT_EQ(g_readLock.load(), 1);
  EXPECT_EQ(g_readLockOwner.load(), &object);
  // A new exposure's chip-size query gives the lock back.
  int w, h, u = 0;
  object.CCGetChipSize(CorvaneKTCamera, ImagingCCD, 1, 1, u, w, h, u);
  EXPECT_EQ(g_readLock.load(), 0);
  delete TA::mainExposure(object);
  TA::mainExposure(object) = nullptr;
  g_sharedDevice = 0;
}

}  // namespace
