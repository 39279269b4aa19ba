// The shutter command, and who may send it.
#include "fake_camera_device.h"

namespace {

Bytes Shutter(uint8_t high) { return {0xC0, 0x20, 0x00, high, 0, 0, 0, 0}; }

class ShutterTest : public FakeCameraTest {
 protected:
  void SetUp() override {
    FakeCameraTest::SetUp();
    TA::hasShutter(*object) = 1;
  }
};

TEST_F(ShutterTest, OpenAndCloseValuesAndTheTwoByteReply) {
  struct Case {
    int arg;
    uint8_t high;
  } cases[] = {{1, 0x40}, {7, 0x40}, {-1, 0x40}, {0, 0x80}};
  for (const Case& c : cases) {
    camera->clearLog();
    camera->queue({0x12, 0x34});
    EXPECT_EQ(object->CCSetShutter(c.arg), 0);
    EXPECT_EQ(written(), std::vector<Bytes>{Shutter(c.high)}) << c.arg;
    EXPECT_EQ(camera->reads(), std::vector<uint32_t>{2});
    EXPECT_EQ(camera->queuedBytes(), 0u);
  }
}

TEST_F(ShutterTest, WhoIsHeldBack) {
  struct Case {
    const char* what;
    int hasShutter, attachedGuider, readInProgress, delayedReadPending;
    bool sends;
  } cases[] = {
      {"no shutter", 0, 0, 0, 0, false},
      {"guider reading", 1, 1, 1, 0, false},
      {"guider with a delayed read", 1, 1, 0, 1, false},
      {"guider idle", 1, 1, 0, 0, true},
      {"imager reading", 1, 0, 1, 1, true},
  };
  for (const Case& c : cases) {
    TA::hasShutter(*object) = c.hasShutter;
    TA::attachedGuider(*object) = c.attachedGuider;
    TA::readInProgress(*object) = c.readInProgress;
    TA::delayedReadPending(*object) = c.delayedReadPending;
    camera->clearLog();
    EXPECT_EQ(object->CCSetShutter(1), 0) << c.what;
    EXPECT_EQ(written().size(), c.sends ? 1u : 0u) << c.what;
  }
}

TEST_F(ShutterTest, FailedWriteReadsNoReply) {
  camera->failWrites(true);
  camera->queue({0x12, 0x34});
  EXPECT_EQ(object->CCSetShutter(0), 0);
  EXPECT_TRUE(camera->reads().empty());
  EXPECT_EQ(camera->queuedBytes(), 2u);
}

}  // namespace
