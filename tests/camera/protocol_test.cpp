// The command protocol on the wire: every command's bytes, what is read back,
// failed writes, and the write lock between two objects on one camera.
#include <atomic>
#include <cstring>
#include <functional>
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

class ProtocolTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    FakeSpec spec;
    spec.model = 0x1234;
    spec.firmware = 0x0A0B0C0D;
    camera = linktest::PublishFake(spec);
    object.FindCameras();
    ASSERT_EQ(TA::OpenCamera(object, 0), 1);
    camera->clearLog();
  }
  void TearDown() override {
    CloseHandle(TA::device(object));
    WorldTest::TearDown();
  }
  std::shared_ptr<FakeCamera> camera;
  CCamAPIDll object;
};

struct CommandCase {
  const char* name;
  std::function<void(CCamAPIDll&)> send;
  std::vector<uint8_t> bytes;
  uint32_t replyLength;  // 0: nothing is read back
};

const std::vector<CommandCase>& Commands() {
  static const std::vector<CommandCase> cases = {
      {"reset", [](CCamAPIDll& o) { TA::Reset(o); }, {0x00, 0x06, 0, 0, 0, 0, 0, 0}, 0},
      {"clear registers, imaging CCD", [](CCamAPIDll& o) { TA::ClearRegisters(o, 0); },
       {0x40, 0x01, 0x08, 0, 0, 0, 0, 0}, 0},
      {"clear registers, guide head", [](CCamAPIDll& o) { TA::ClearRegisters(o, 1); },
       {0x40, 0x01, 0x08, 0, 0x00, 0x01, 0, 0}, 0},
      {"wipe pixels, guide head", [](CCamAPIDll& o) { TA::WipePixels(o, 1); },
       {0x40, 0x01, 0, 0, 0x01, 0x00, 0, 0}, 0},
      {"set timer 200 ms",
       [](CCamAPIDll& o) {
         CCamAPIDll::Exposure e;
         e.exposureMs = 200;
         TA::SetTimer(o, e);
       },
       {0x40, 0x04, 0, 0, 0, 0, 0x04, 0, 0xC8, 0, 0, 0}, 0},
      {"set timer 0x01020304 ms",
       [](CCamAPIDll& o) {
         CCamAPIDll::Exposure e;
         e.exposureMs = 0x01020304;
         TA::SetTimer(o, e);
       },
       {0x40, 0x04, 0, 0, 0, 0, 0x04, 0, 0x04, 0x03, 0x02, 0x01}, 0},
      {"get timer", [](CCamAPIDll& o) { TA::GetTimer(o); }, {0xC0, 0x05, 0, 0, 0, 0, 0, 0}, 4},
      {"CCD parameters",
       [](CCamAPIDll& o) {
         CVCCDParams p;
         TA::GetCCDParameters(o, p);
       },
       {0x40, 0x08, 0, 0, 0x00, 0, 0x11, 0}, 17},
      {"guide-head parameters",
       [](CCamAPIDll& o) {
         CVCCDParams p;
         TA::GetGDRParameters(o, p);
       },
       {0x40, 0x08, 0, 0, 0x01, 0, 0x11, 0}, 17},
      {"relays 0x05", [](CCamAPIDll& o) { TA::SetTetrel(o, 0x05); },
       {0x00, 0x09, 0x05, 0, 0, 0, 0, 0}, 0},
      {"model", [](CCamAPIDll& o) { TA::GetModel(o); }, {0xC0, 0x0E, 0, 0, 0, 0, 0x02, 0}, 2},
      {"cooler 0x8ADC (on)", [](CCamAPIDll& o) { TA::ProcessCooler(o, 0x8ADC); },
       {0xC0, 0x1E, 0xDC, 0x0A, 0x01, 0x01, 0, 0}, 3},
      {"cooler 0x0ADC (off)", [](CCamAPIDll& o) { TA::ProcessCooler(o, 0x0ADC); },
       {0xC0, 0x1E, 0xDC, 0x0A, 0x00, 0x00, 0, 0}, 3},
      {"cooler poll", [](CCamAPIDll& o) { TA::ProcessCooler(o, 0); },
       {0xC0, 0x1F, 0, 0, 0, 0, 0, 0}, 3},
      {"cooler poll with only bit 15", [](CCamAPIDll& o) { TA::ProcessCooler(o, 0x8000); },
       {0xC0, 0x1F, 0, 0, 0, 0, 0, 0}, 3},
      {"shutter open", [](CCamAPIDll& o) { TA::ProcessShutter(o, 1); },
       {0xC0, 0x20, 0x00, 0x40, 0, 0, 0, 0}, 2},
      {"shutter closed", [](CCamAPIDll& o) { TA::ProcessShutter(o, 0); },
       {0xC0, 0x20, 0x00, 0x80, 0, 0, 0, 0}, 2},
      {"firmware version", [](CCamAPIDll& o) { TA::GetFirmwareVersion(o); },
       {0xC0, 0xFF, 0, 0, 0, 0, 0, 0}, 4},
  };
  return cases;
}

TEST_F(ProtocolTest, EveryCommandWritesItsBytesAndReadsItsReply) {
  for (const CommandCase& c : Commands()) {
    SCOPED_TRACE(c.name);
    camera->clearLog();
    c.send(object);
    std::vector<Event> ev = camera->events();
    ASSERT_GE(ev.size(), 1u);
    EXPECT_EQ(ev[0].kind, Event::Write);
    EXPECT_EQ(ev[0].bytes, c.bytes);
    if (c.replyLength == 0) {
      EXPECT_EQ(ev.size(), 1u) << "nothing is read back";
    } else {
      ASSERT_EQ(ev.size(), 2u);
      EXPECT_EQ(ev[1].kind, Event::ReplyRead);
      EXPECT_EQ(ev[1].length, c.replyLength);
    }
  }
}

TEST_F(ProtocolTest, RepliesAreDecodedLittleEndian) {
  EXPECT_EQ(TA::GetModel(object), 0x1234);
  EXPECT_EQ(TA::GetFirmwareVersion(object), 0x0A0B0C0Du);
  EXPECT_EQ(TA::GetTimer(object), 10000u);
  CVCCDParams p;
  EXPECT_NE(TA::GetCCDParameters(object, p), 0);
  EXPECT_EQ(p.width(), 640u);
  EXPECT_EQ(p.height(), 480u);
  EXPECT_EQ(p.bitsPerPixel(), 16u);
  EXPECT_EQ(p.capabilities(), 0x31u);
}

// A failed write: nothing is read and every reply operation gives 0.
TEST_F(ProtocolTest, FailedWriteReadsNothingAndGivesZero) {
  camera->failWrites = true;
  CVCCDParams p;
  std::memset(p.bytes, 0xEE, sizeof p.bytes);
  EXPECT_EQ(TA::GetModel(object), 0);
  EXPECT_EQ(TA::GetFirmwareVersion(object), 0u);
  EXPECT_EQ(TA::GetTimer(object), 0u);
  EXPECT_EQ(TA::GetCCDParameters(object, p), 0);
  for (uint8_t b : p.bytes) EXPECT_EQ(b, 0) << "the record is cleared before the write";
  EXPECT_EQ(TA::GetGDRParameters(object, p), 0);
  EXPECT_EQ(TA::ProcessCooler(object, 0x8ADC), 0);
  EXPECT_EQ(TA::Reset(object), 0);
  EXPECT_EQ(TA::SetTetrel(object, 1), 0);
  TA::ProcessShutter(object, 1);
  for (const Event& e : camera->events()) EXPECT_EQ(e.kind, Event::Write);
}

// An unanswered parameter request gives the read's own failure and leaves the
// record zero.
TEST_F(ProtocolTest, UnansweredParameterReadLeavesZeros) {
  camera->muteParameters = true;
  CVCCDParams p;
  std::memset(p.bytes, 0xEE, sizeof p.bytes);
  EXPECT_EQ(TA::GetCCDParameters(object, p), 0);  // the fake's read fails
  for (uint8_t b : p.bytes) EXPECT_EQ(b, 0);
}

TEST_F(ProtocolTest, NoLockIsTouchedWithoutASharedDevice) {
  g_sharedDevice = 0;
  g_writeLock.store(1);  // would block forever if Send took it
  EXPECT_EQ(TA::Reset(object), 1);
  EXPECT_EQ(g_writeLock.load(), 1);
  g_writeLock.store(0);
}

TEST_F(ProtocolTest, SendHoldsTheWriteLockForItsWriteOnly) {
  g_sharedDevice = 1;
  EXPECT_EQ(TA::Reset(object), 1);
  std::vector<Event> ev = camera->events();
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_EQ(ev[0].writeLock, 1) << "the lock is held during the write";
  EXPECT_EQ(g_writeLock.load(), 0) << "and released after it";
  // The reply of a command is read under neither lock.
  TA::GetModel(object);
  EXPECT_EQ(g_writeLock.load(), 0);
}

TEST_F(ProtocolTest, SendWaitsForTheOtherObjectsWriteLock) {
  g_sharedDevice = 1;
  g_writeLock.store(1);  // held by the other object
  std::atomic<bool> done{false};
  std::thread t([&] {
    TA::Reset(object);
    done = true;
  });
  for (int i = 0; i < 2000; ++i) std::this_thread::yield();
  EXPECT_FALSE(done.load());
  EXPECT_TRUE(camera->events().empty()) << "nothing written while the other object holds it";
  ReleaseSharedDeviceFlag(g_writeLock);
  t.join();
  std::vector<Event> ev = camera->events();
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_EQ(ev[0].writeLock, 1) << "it took the lock for its own write";
  EXPECT_EQ(g_writeLock.load(), 0);
  g_sharedDevice = 0;
}

}  // namespace
