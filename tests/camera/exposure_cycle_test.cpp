// The exposure cycle on the virtual clock: start (time conversion, picture
// types, the automatic mode, wipe and shutter, the early read of field 2),
// the completion polls with their register clears, also across the tick
// counter's wrap, the end with and without throwing data away, the frame
// dump and the read request before the download.
#include <cmath>
#include <limits>

#include "fake_camera_device.h"

namespace {

using Exposure = CCamAPIDll::Exposure;

const Bytes kWipeImager{0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kWipeGuider{0x40, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
const Bytes kClearImager{0x40, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kClearGuider{0x40, 0x01, 0x08, 0x00, 0x00, 0x01, 0x00, 0x00};
const Bytes kOpen{0xC0, 0x20, 0x00, 0x40, 0, 0, 0, 0};
const Bytes kClose{0xC0, 0x20, 0x00, 0x80, 0, 0, 0, 0};
const enumZZCAM2 kCam = CorvaneKTCamera;

class ExposureCycleTest : public FakeCameraTest {
 protected:
  void SetUp() override {
    FakeCameraTest::SetUp();
    TA::hasShutter(*object) = 1;
    TA::progressive(*object) = 1;
    record.mode = CCamAPIDll::Progressive;
    record.width = 100;
    record.height = 40;
    TA::mainExposure(*object) = &record;
  }
  void TearDown() override {
    TA::mainExposure(*object) = nullptr;
    FakeCameraTest::TearDown();
  }
  int start(double seconds, int type = LightFrame, int leaveShutter = 0) {
    const int unused = 0;
    return object->CCStartExposure(kCam, ImagingCCD, seconds,
                                   static_cast<enumPictureType2>(type), unused, leaveShutter);
  }
  int isComplete(int initial = 0) {
    int complete = initial;
    object->CCIsExposureComplete(kCam, ImagingCCD, &complete, nullptr);
    return complete;
  }
  int end(int discard, int leaveShutter = 0, enumWhichCCD2 which = ImagingCCD) {
    return object->CCEndExposure(kCam, which, discard, leaveShutter);
  }
  void beforeDownload() { object->BeforeDownload(kCam, ImagingCCD); }
  // Blocks written that are register clears, with their ticks.
  std::vector<uint64_t> clearTicks(const Bytes& clear = kClearImager) const {
    std::vector<uint64_t> out;
    for (const FakeCamera::Write& w : camera->writes())
      if (w.bytes == clear) out.push_back(w.tick);
    return out;
  }
  Exposure record;
};

TEST_F(ExposureCycleTest, SecondsBecomeWholeMilliseconds) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double seconds;
    uint32_t ms;
  } cases[] = {{0.0015, 1},  {2.9999, 2999}, {0.0, 0},       {65.0, 65000},
               // Times the counter cannot hold are held at its ends.
               {-1.0, 0},    {nan, 0},       {1e12, 0xFFFFFFFFu}};
  for (const Case& c : cases) {
    EXPECT_EQ(start(c.seconds), 0);
    EXPECT_EQ(record.exposureMs, c.ms) << c.seconds;
  }
}

TEST_F(ExposureCycleTest, PictureTypeOutsideOneToFiveFailsAfterStoringTheTime) {
  for (int type : {0, 6, -1, 100}) {
    record.mode = CCamAPIDll::Automatic;
    record.endTick = 77;
    EXPECT_EQ(start(1.5, type), static_cast<int>(0x80004005u)) << type;
    EXPECT_EQ(record.exposureMs, 1500u);
    EXPECT_EQ(record.mode, CCamAPIDll::Automatic);
    EXPECT_EQ(record.endTick, 77u);
    EXPECT_TRUE(written().empty());
  }
}

TEST_F(ExposureCycleTest, WipeAndShutterByPictureTypeAndRole) {
  struct Case {
    const char* what;
    int type, leaveShutter, attachedGuider;
    std::vector<Bytes> expected;
  } cases[] = {
      {"light", LightFrame, 0, 0, {kWipeImager, kOpen}},
      {"flat", FlatFieldFrame, 0, 0, {kWipeImager, kOpen}},
      {"dark", DarkFrame, 0, 0, {kWipeImager, kClose}},
      {"bias", BiasFrame, 0, 0, {kWipeImager, kClose}},
      {"dark flat", DarkFlatFrame, 0, 0, {kWipeImager, kClose}},
      {"light, shutter left alone", LightFrame, 1, 0, {kWipeImager}},
      {"guide head", LightFrame, 0, 1, {kWipeGuider}},
      {"guide head, dark", DarkFrame, 0, 1, {kWipeGuider}},
  };
  for (const Case& c : cases) {
    TA::attachedGuider(*object) = c.attachedGuider;
    camera->clearLog();
    EXPECT_EQ(start(1.0, c.type, c.leaveShutter), 0) << c.what;
    EXPECT_EQ(written(), c.expected) << c.what;
  }
}

TEST_F(ExposureCycleTest, StartRecordsEndAndFirstClearTick) {
  clock().useVirtualTime(5000);
  start(2.5);
  EXPECT_EQ(record.endTick, 7500u);
  EXPECT_EQ(record.lastClearTick, 5000u);
}

TEST_F(ExposureCycleTest, AutomaticModeAndFieldSelector) {
  struct Case {
    int progressive;
    int mode;  // before the start
    double seconds;
    int resolved;
    int field;
  } cases[] = {
      {1, CCamAPIDll::Automatic, 0.5, CCamAPIDll::Progressive, 3},
      {1, CCamAPIDll::Automatic, 5000.0, CCamAPIDll::Progressive, 3},
      {0, CCamAPIDll::Automatic, 1.199, CCamAPIDll::Interlaced, 1},
      {0, CCamAPIDll::Automatic, 1.2, CCamAPIDll::StaggeredFields, 1},
      // A resolved mode stands.
      {0, CCamAPIDll::Interlaced, 10.0, CCamAPIDll::Interlaced, 1},
      {0, CCamAPIDll::Fast, 10.0, CCamAPIDll::Fast, 3},
  };
  clock().setSpinStep(1);
  TA::fullReadMs(*object) = 1200;
  for (const Case& c : cases) {
    TA::progressive(*object) = c.progressive;
    record.mode = c.mode;
    record.fieldSelector = 2;
    start(c.seconds);
    EXPECT_EQ(record.mode, c.resolved) << c.seconds;
    EXPECT_EQ(record.fieldSelector, c.field) << c.seconds;
  }
}

TEST_F(ExposureCycleTest, StaggeredFieldsReadsFieldTwoAfterTheSubframeReadTime) {
  for (uint32_t readMs : {150u, 0u}) {
    clock().useVirtualTime(20000);
    clock().setSpinStep(1);
    TA::progressive(*object) = 0;
    TA::subframeReadMs(*object) = readMs;
    record = Exposure{};
    record.mode = CCamAPIDll::StaggeredFields;
    record.width = 100;
    record.height = 40;  // two fields of 20 lines: 20 x 2 x 100 bytes per read
    camera->clearLog();
    camera->queue(Bytes(4000, 0x55));
    EXPECT_EQ(start(10.0), 0);
    const std::vector<FakeCamera::Write> w = camera->writes();
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0].bytes, kWipeImager);
    EXPECT_EQ(w[1].bytes, kOpen);
    const Bytes readNow{0x40, 0x03, 0x02, 0x00, 0x00, 0x00, 0x0A, 0x00, 0, 0, 0, 0,
                        100,  0,    20,   0,    1,    1};
    EXPECT_EQ(w[2].bytes, readNow);
    const uint64_t t = record.endTick - 10000;
    EXPECT_GE(w[2].tick, t + readMs) << readMs;
    EXPECT_LE(w[2].tick, t + readMs + 2) << readMs;
    EXPECT_EQ(w[3].bytes, kClearImager);
    EXPECT_EQ(camera->reads().back(), 4000u);
    EXPECT_EQ(camera->queuedBytes(), 0u);
    EXPECT_EQ(record.dumped, 1);
    EXPECT_EQ(record.fieldSelector, 1);  // only the copy asked for field 2
    EXPECT_EQ(TA::readInProgress(*object), 0);
  }
}

struct PolledCase {
  const char* name;
  uint32_t startTick;
  double seconds;
  uint32_t interval;
  std::vector<uint64_t> clearsAt;  // ms after the start
};

class PolledExposureTest : public ExposureCycleTest,
                           public ::testing::WithParamInterface<PolledCase> {};

TEST_P(PolledExposureTest, RegisterClearsAndCompletion) {
  const PolledCase& c = GetParam();
  clock().useVirtualTime(c.startTick);
  start(c.seconds);
  camera->clearLog();
  const uint64_t t0 = clock().nowMs();
  const uint64_t length = static_cast<uint64_t>(c.seconds * 1000);
  for (uint64_t at = c.interval; at < length; at += c.interval) {
    clock().advance(c.interval);
    ASSERT_EQ(isComplete(), 0) << "complete early, at " << at << " ms";
  }
  clock().useVirtualTime(static_cast<uint32_t>(c.startTick + length - 1));
  EXPECT_EQ(isComplete(), 0);
  clock().advance(1);
  EXPECT_EQ(isComplete(), 1);
  std::vector<uint64_t> clears;
  for (uint64_t tick : clearTicks()) clears.push_back(tick - t0);
  EXPECT_EQ(clears, c.clearsAt);
  EXPECT_EQ(written().size(), c.clearsAt.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cycle, PolledExposureTest,
    ::testing::Values(
        PolledCase{"SixtyFiveSeconds", 1000, 65.0, 500, {30500, 61000, 62500}},
        PolledCase{"SixtyFiveSecondsAcrossTheWrap", 0xFFFFFFFFu - 20000, 65.0, 500,
                   {30500, 61000, 62500}},
        PolledCase{"StartingOnTickZero", 0, 65.0, 500, {30500, 61000, 62500}},
        PolledCase{"ShortExposureAcrossTheWrap", 0xFFFFFFFFu - 1000, 5.0, 250, {2250}},
        PolledCase{"ShorterThanTheFinalWindow", 1000, 2.0, 100, {}},
        PolledCase{"PollsMissTheFinalWindow", 1000, 10.0, 1000, {}}),
    [](const ::testing::TestParamInfo<PolledCase>& info) { return std::string(info.param.name); });

TEST_F(ExposureCycleTest, ZeroSecondsIsCompleteAtTheFirstPoll) {
  start(0.0);
  EXPECT_EQ(isComplete(), 1);
}

TEST_F(ExposureCycleTest, CompleteIsOnlyEverWrittenWithOne) {
  start(10.0);
  EXPECT_EQ(isComplete(1), 1);
  EXPECT_EQ(isComplete(7), 7);
  clock().advance(10000);
  EXPECT_EQ(isComplete(7), 1);
}

TEST_F(ExposureCycleTest, GuideHeadClearsWithItsSelector) {
  TA::attachedGuider(*object) = 1;
  start(40.0);
  clock().advance(30001);
  isComplete();
  EXPECT_EQ(clearTicks(kClearGuider).size(), 1u);
}

TEST_F(ExposureCycleTest, EndClosesTheShutterUnlessToldOtherwise) {
  struct Case {
    int leaveShutter;
    enumWhichCCD2 which;
    bool closes;
  } cases[] = {{0, ImagingCCD, true}, {1, ImagingCCD, false}, {0, TrackingCCD, false}};
  for (const Case& c : cases) {
    camera->clearLog();
    TA::readInProgress(*object) = 1;  // without the discard flag nothing is read
    EXPECT_EQ(end(0, c.leaveShutter, c.which), 0);
    EXPECT_EQ(written(), c.closes ? std::vector<Bytes>{kClose} : std::vector<Bytes>{});
    EXPECT_TRUE(camera->reads().empty() || camera->reads() == std::vector<uint32_t>{2});
    EXPECT_EQ(TA::readInProgress(*object), 1);
  }
}

TEST_F(ExposureCycleTest, DiscardAfterTheReadRequestDrainsTheData) {
  start(1.0);
  clock().advance(1000);
  ASSERT_EQ(isComplete(), 1);
  camera->clearLog();
  beforeDownload();
  const Bytes readNow{0x40, 0x03, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00, 0, 0, 0, 0,
                      100,  0,    40,   0,    1,    1};
  EXPECT_EQ(written(), std::vector<Bytes>{readNow});
  EXPECT_EQ(TA::readInProgress(*object), 1);
  camera->queue(Bytes(8000, 0x11));
  EXPECT_EQ(end(1, 1), 0);
  EXPECT_EQ(camera->reads(), std::vector<uint32_t>{8000});
  EXPECT_EQ(camera->queuedBytes(), 0u);
  EXPECT_EQ(TA::readInProgress(*object), 0);
  EXPECT_EQ(TA::mainExposure(*object), &record);
}

TEST_F(ExposureCycleTest, DiscardWithNothingOutstandingReadsNothing) {
  start(1.0);
  camera->clearLog();
  EXPECT_EQ(end(1, 1), 0);
  EXPECT_TRUE(camera->reads().empty());
}

TEST_F(ExposureCycleTest, DiscardReportsAFailedRead) {
  TA::readInProgress(*object) = 1;
  camera->failReads(true);
  EXPECT_EQ(end(1, 1), 1);
  EXPECT_EQ(TA::readInProgress(*object), 0);
}

TEST_F(ExposureCycleTest, DiscardOfAPendingDelayedReadCutsTheCameraTimer) {
  const Bytes setTimer200{0x40, 0x04, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0xC8, 0x00, 0x00, 0x00};
  struct Case {
    uint32_t startTick;
    uint32_t at;  // ms after the start of a 1000 ms delayed field
    bool cut;
  } cases[] = {{1000, 0, true},   {1000, 699, true},  {1000, 700, false},
               {1000, 1000, false}, {1000, 5000, false},
               {0xFFFFFFFFu - 300, 500, true}};  // the wrap falls inside
  for (const Case& c : cases) {
    clock().useVirtualTime(c.startTick);
    record.exposureMs = 1000;
    record.endTick = c.startTick + 1000;
    TA::readInProgress(*object) = 1;
    TA::delayedReadPending(*object) = 1;
    clock().advance(c.at);
    camera->clearLog();
    camera->queue(Bytes(8000, 0));
    EXPECT_EQ(end(1, 1), 0);
    EXPECT_EQ(written(), c.cut ? std::vector<Bytes>{setTimer200} : std::vector<Bytes>{})
        << c.startTick << " + " << c.at;
    EXPECT_EQ(camera->reads(), std::vector<uint32_t>{8000});
    EXPECT_EQ(record.exposureMs, 1000u);  // only the copy is cut
    EXPECT_EQ(TA::readInProgress(*object), 0);
    EXPECT_EQ(TA::delayedReadPending(*object), 0);
  }
}

TEST_F(ExposureCycleTest, DumpCountsBytesFromTheRecordAndReleasesTheReadLock) {
  struct Case {
    int progressive;
    int mode;
    uint16_t width, height;
    uint8_t bits;
    uint32_t bytes;
  } cases[] = {
      {1, CCamAPIDll::Progressive, 100, 40, 16, 8000},
      {0, CCamAPIDll::Interlaced, 100, 41, 16, 4000},  // 20 lines of one field
      {0, CCamAPIDll::Fast, 10, 10, 8, 50},
      {1, CCamAPIDll::Progressive, 0, 40, 16, 0},
  };
  g_sharedDevice = 1;
  for (const Case& c : cases) {
    TA::progressive(*object) = c.progressive;
    TA::imagerParams(*object).bytes[14] = c.bits;
    record.mode = c.mode;
    record.width = c.width;
    record.height = c.height;
    camera->clearLog();
    TA::RequestReadNow(*object, record);
    EXPECT_EQ(g_readLock.load(), 1);
    if (c.bytes) camera->queue(Bytes(c.bytes, 0));
    EXPECT_EQ(TA::DumpImage(*object, record), 1);
    EXPECT_EQ(camera->reads(), std::vector<uint32_t>{c.bytes});
    EXPECT_EQ(g_readLock.load(), 0);
    EXPECT_EQ(TA::readInProgress(*object), 0);
    EXPECT_EQ(camera->queuedBytes(), 0u);
  }
}

TEST_F(ExposureCycleTest, DumpTooLargeForItsBufferStillTakesTheDataAndTheLock) {
  g_sharedDevice = 1;
  record.width = 65535;
  record.height = 1100;  // 144 MB: more than one buffer is allowed to hold
  TA::RequestReadNow(*object, record);
  TA::delayedReadPending(*object) = 1;
  ASSERT_EQ(g_readLock.load(), 1);
  for (int k = 0; k < 3; ++k) camera->queue(Bytes(30000, 0x22));
  camera->clearLog();
  EXPECT_EQ(TA::DumpImage(*object, record), 0);
  EXPECT_EQ(camera->queuedBytes(), 0u);  // nothing left over for the next image
  EXPECT_GT(camera->reads().size(), 1u);
  EXPECT_EQ(g_readLock.load(), 0);
  EXPECT_EQ(TA::readInProgress(*object), 0);
  EXPECT_EQ(TA::delayedReadPending(*object), 0);
}

TEST_F(ExposureCycleTest, NoRecordIsNoFault) {
  TA::mainExposure(*object) = nullptr;
  EXPECT_EQ(start(1.0), 0);
  EXPECT_EQ(start(1.0, 9), static_cast<int>(0x80004005u));
  EXPECT_EQ(isComplete(5), 5);
  int* none = nullptr;
  EXPECT_EQ(object->CCIsExposureComplete(kCam, ImagingCCD, none, nullptr), 0);
  beforeDownload();
  EXPECT_TRUE(written().empty());
  TA::readInProgress(*object) = 1;
  EXPECT_EQ(end(1, 1), 0);
  EXPECT_TRUE(camera->reads().empty());
}

TEST_F(ExposureCycleTest, BeforeDownloadAsksForFieldOneOfAnInterlacedExposure) {
  TA::progressive(*object) = 0;
  record.mode = CCamAPIDll::Interlaced;
  start(0.5);
  camera->clearLog();
  beforeDownload();
  ASSERT_EQ(written().size(), 1u);
  EXPECT_EQ(written()[0][1], 0x03);
  EXPECT_EQ(written()[0][2], 0x01);
}

}  // namespace
