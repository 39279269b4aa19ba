// The cooler: the cooler word on the wire, the reply, the host's poll with
// its status text, the band around the setpoint, when nothing is sent; and
// the simulated cooler behind the simulated camera.
#include <cmath>
#include <cstring>
#include <limits>

#include "cooler_model.h"
#include "fake_camera_device.h"

namespace {

Bytes Cooler(uint16_t count, bool on) {
  return {0xC0, static_cast<uint8_t>(count ? 30 : 31), static_cast<uint8_t>(count & 0xFF),
          static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(on), static_cast<uint8_t>(on),
          0, 0};
}
// The camera's reply for a temperature count and status.
Bytes Reply(uint16_t count, uint8_t status) {
  return {static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(count >> 8), status};
}

class CoolerTest : public FakeCameraTest {
 protected:
  void SetUp() override {
    FakeCameraTest::SetUp();
    TA::hasCooler(*object) = 1;
  }
  int regulate(int on, double setpoint) { return object->CCRegulateTemp(on, setpoint); }
  struct Poll {
    double temperature = -999, second = -999, setpoint = -999;
    int status = -1;
    char text[16];
  };
  Poll poll() {
    Poll p;
    std::memset(p.text, 'x', sizeof p.text);
    EXPECT_EQ(object->CCQueryTemperature(p.temperature, p.second, p.text, 6, p.status,
                                         p.setpoint),
              0);
    return p;
  }
};

TEST_F(CoolerTest, CoolerWordOnTheWire) {
  struct Case {
    uint16_t word;
    Bytes bytes;
  } cases[] = {
      {0x8ADC, {0xC0, 0x1E, 0xDC, 0x0A, 0x01, 0x01, 0x00, 0x00}},
      {0x0ADC, {0xC0, 0x1E, 0xDC, 0x0A, 0x00, 0x00, 0x00, 0x00}},
      {0x0000, {0xC0, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
      // The on bit alone is a poll: no setpoint, cooler not switched on.
      {0x8000, {0xC0, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
      {0xFFFF, {0xC0, 0x1E, 0xFF, 0x7F, 0x01, 0x01, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    camera->clearLog();
    TA::ProcessCooler(*object, c.word);
    EXPECT_EQ(written(), std::vector<Bytes>{c.bytes}) << std::hex << c.word;
    EXPECT_EQ(camera->reads(), std::vector<uint32_t>{3});
  }
}

TEST_F(CoolerTest, ReplyDecoding) {
  struct Case {
    Bytes reply;
    double temperature;
    int status;
  } cases[] = {
      {{0x54, 0x0B, 0x01}, 17.0, 1},
      {{0xAA, 0x8A, 0x00}, 0.0, 0},  // bit 15 of the word is not the status
      {{0xAA, 0x0A, 0x7F}, 0.0, 1},
      {{0x54}, (0x54 - 2730) / 10.0, 0},  // short reply: the rest stays zero
      {{}, -273.0, 0},
  };
  for (const Case& c : cases) {
    if (!c.reply.empty()) camera->queue(c.reply);
    regulate(1, 0.0);
    EXPECT_DOUBLE_EQ(TA::ccdTemperature(*object), c.temperature);
    EXPECT_EQ(TA::coolerStatus(*object), c.status);
  }
}

TEST_F(CoolerTest, FailedWriteReadsNothingAndDecodesAsZero) {
  TA::coolerStatus(*object) = 1;
  camera->failWrites(true);
  camera->queue(Reply(2900, 1));
  regulate(1, -10.0);
  EXPECT_TRUE(camera->reads().empty());
  EXPECT_DOUBLE_EQ(TA::ccdTemperature(*object), -273.0);
  EXPECT_EQ(TA::coolerStatus(*object), 0);
  Poll p = poll();
  EXPECT_DOUBLE_EQ(p.temperature, -273.0);
}

TEST_F(CoolerTest, SetpointEncoding) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double setpoint;
    int on;
    Bytes bytes;
  } cases[] = {
      {-12.25, 1, Cooler(2607, true)},  // 2607.5 truncated
      {-10.0, 1, Cooler(2630, true)},
      {5.0, 1, Cooler(2780, true)},
      {0.0, 1, Cooler(2730, true)},
      {5.0, 0, Cooler(2780, false)},
      {-273.0, 1, Cooler(0, false)},  // count 0: a poll, the cooler is not switched on
      // Counts beyond 15 bits are held at the ends: the sixteenth bit of a
      // huge setpoint must never read as "on".
      {-300.0, 1, Cooler(0, false)},
      {3003.8, 0, Cooler(0x7FFF, false)},
      {3003.8, 1, Cooler(0x7FFF, true)},
      {1e12, 0, Cooler(0x7FFF, false)},
      {inf, 0, Cooler(0x7FFF, false)},
      {-inf, 1, Cooler(0, false)},
      {nan, 1, Cooler(0, false)},
  };
  for (const Case& c : cases) {
    camera->clearLog();
    EXPECT_EQ(regulate(c.on, c.setpoint), 0);
    EXPECT_EQ(written(), std::vector<Bytes>{c.bytes}) << c.setpoint << " on " << c.on;
  }
}

TEST_F(CoolerTest, RegulateResetsTheTemperatureAndStoresTheReplyUnclamped) {
  regulate(1, -10.0);
  EXPECT_DOUBLE_EQ(TA::setpoint(*object), -10.0);
  EXPECT_EQ(TA::coolerOn(*object), 1);
  camera->queue(Reply(3230, 0));  // 50.0
  regulate(1, -10.0);
  EXPECT_DOUBLE_EQ(TA::ccdTemperature(*object), 50.0);
  camera->queue(Reply(3230, 0));
  Poll p = poll();
  EXPECT_DOUBLE_EQ(p.temperature, 45.0);
  EXPECT_DOUBLE_EQ(TA::ccdTemperature(*object), 45.0);
}

TEST_F(CoolerTest, ObjectsThatCannotCoolSendNothing) {
  struct Case {
    const char* what;
    int hasCooler, attachedGuider;
  } cases[] = {{"no cooler", 0, 0}, {"attached guider", 1, 1}, {"guider without cooler", 0, 1}};
  for (const Case& c : cases) {
    TA::hasCooler(*object) = c.hasCooler;
    TA::attachedGuider(*object) = c.attachedGuider;
    TA::coolerOn(*object) = 1;
    camera->clearLog();
    int on = 1;
    double setpoint = -5.0;
    EXPECT_EQ(object->CCRegulateTemp(on, setpoint), 0);
    EXPECT_EQ(on, 0) << c.what;
    EXPECT_EQ(TA::coolerOn(*object), 0) << c.what;
    EXPECT_DOUBLE_EQ(TA::ccdTemperature(*object), 20.0) << c.what;
    EXPECT_TRUE(written().empty()) << c.what;
  }
}

TEST_F(CoolerTest, CameraWithoutCoolerReportsIdle) {
  TA::hasCooler(*object) = 0;
  TA::coolerStatus(*object) = 1;
  Poll p = poll();
  EXPECT_DOUBLE_EQ(p.temperature, 21.0);
  EXPECT_EQ(p.status, 0);
  EXPECT_STREQ(p.text, ".....");
  EXPECT_DOUBLE_EQ(p.second, 0.0);
  EXPECT_DOUBLE_EQ(p.setpoint, 5.0);
  regulate(1, 0.0);
  EXPECT_DOUBLE_EQ(poll().temperature, 20.0);
  EXPECT_TRUE(written().empty());
}

TEST_F(CoolerTest, NothingIsSentWhileAReadIsOutstanding) {
  struct Case {
    int readInProgress, delayedReadPending, readLock;
  } cases[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (const Case& c : cases) {
    TA::readInProgress(*object) = c.readInProgress;
    TA::delayedReadPending(*object) = c.delayedReadPending;
    g_readLock.store(c.readLock);
    TA::coolerStatus(*object) = 1;
    camera->clearLog();
    regulate(1, -10.0);
    EXPECT_DOUBLE_EQ(TA::ccdTemperature(*object), 20.0);
    Poll p = poll();
    EXPECT_DOUBLE_EQ(p.temperature, 20.0);
    EXPECT_EQ(p.status, 1);
    EXPECT_DOUBLE_EQ(p.setpoint, -10.0);
    EXPECT_STREQ(p.text, ".....");
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(TA::spinnerPhase(*object), 0u);
  }
  g_readLock.store(0);
}

TEST_F(CoolerTest, AttachedGuiderPollReportsTheStoredStatus) {
  TA::attachedGuider(*object) = 1;
  TA::coolerStatus(*object) = 1;
  Poll p = poll();
  EXPECT_EQ(p.status, 1);
  EXPECT_STREQ(p.text, ".....");
  EXPECT_TRUE(written().empty());
}

TEST_F(CoolerTest, PollsBeforeAnyRegulationOnlyRead) {
  camera->queue(Reply(2900, 0));
  Poll p = poll();
  EXPECT_EQ(written(), std::vector<Bytes>{Cooler(0, false)});
  EXPECT_DOUBLE_EQ(p.temperature, 17.0);
  EXPECT_STREQ(p.text, ".....");
  EXPECT_EQ(TA::spinnerPhase(*object), 1u);
}

TEST_F(CoolerTest, SpinnerRunsWhileOnAndPhaseAdvancesWhileOff) {
  regulate(1, -10.0);
  const char* expected[] = {".|...", "..|..", "...|.", "....|", "...|.",
                            "..|..", ".|...", "|....", ".|..."};
  for (const char* text : expected) {
    camera->clearLog();
    camera->queue(Reply(2630, 1));
    Poll p = poll();
    EXPECT_STREQ(p.text, text);
    EXPECT_EQ(p.status, 1);
    EXPECT_DOUBLE_EQ(p.temperature, -10.0);
    EXPECT_DOUBLE_EQ(p.setpoint, -10.0);
    EXPECT_EQ(written(), std::vector<Bytes>{Cooler(2630, true)});
  }
  regulate(0, -10.0);
  for (uint32_t phase : {2u, 3u, 4u}) {
    camera->queue(Reply(2630, 0));
    EXPECT_STREQ(poll().text, ".....");
    EXPECT_EQ(TA::spinnerPhase(*object), phase);
  }
}

TEST_F(CoolerTest, SetpointIsSentAgainOnlyOutsideTheBand) {
  struct Case {
    uint16_t reading;  // count
    bool again;
  } cases[] = {{2635, false}, {2625, false}, {2630, false},  // -9.5, -10.5, -10.0
               {2636, true},  {2624, true},  {2900, true}};   // -9.4, -10.6, 17.0
  regulate(1, -10.0);
  for (const Case& c : cases) {
    camera->clearLog();
    camera->queue(Reply(c.reading, 0));
    poll();
    std::vector<Bytes> expected{Cooler(2630, true)};
    if (c.again) expected.push_back(Cooler(2630, true));
    EXPECT_EQ(written(), expected) << c.reading;
  }
  // With the cooler off there is no band to keep.
  regulate(0, -10.0);
  camera->clearLog();
  camera->queue(Reply(2900, 0));
  poll();
  EXPECT_EQ(written(), std::vector<Bytes>{Cooler(0, false)});
}

TEST_F(CoolerTest, StatusTextStaysInsideTheBuffer) {
  regulate(1, -10.0);
  struct Case {
    int size;
    const char* expected;  // null: nothing written
  } cases[] = {{6, ".|..."}, {16, "..|.."}, {4, "..."}, {2, "."}, {1, ""}, {0, nullptr},
               {-3, nullptr}};
  for (const Case& c : cases) {
    char buffer[20];
    std::memset(buffer, 'x', sizeof buffer);
    double t, second, setpoint;
    int status;
    camera->queue(Reply(2630, 1));
    EXPECT_EQ(object->CCQueryTemperature(t, second, buffer + 2, c.size, status, setpoint), 0);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(buffer[1], 'x');
    if (c.expected) {
      EXPECT_STREQ(buffer + 2, c.expected) << c.size;
      for (size_t k = 2 + std::strlen(c.expected) + 1; k < sizeof buffer; ++k)
        EXPECT_EQ(buffer[k], 'x') << "size " << c.size << " wrote at " << k - 2;
    } else {
      for (char ch : buffer) EXPECT_EQ(ch, 'x') << "size " << c.size;
    }
  }
  double t, second, setpoint;
  int status;
  camera->queue(Reply(2630, 1));
  EXPECT_EQ(object->CCQueryTemperature(t, second, nullptr, 6, status, setpoint), 0);
  EXPECT_DOUBLE_EQ(t, -10.0);
}

TEST_F(CoolerTest, RecommendedSetpoint) {
  double s = 0;
  for (int hasCooler : {0, 1}) {
    TA::hasCooler(*object) = hasCooler;
    TA::attachedGuider(*object) = 1;
    object->CCGetRecommendedSetpoint(s);
    EXPECT_DOUBLE_EQ(s, 100.0);
    TA::attachedGuider(*object) = 0;
    object->CCGetRecommendedSetpoint(s);
    EXPECT_DOUBLE_EQ(s, 5.0);
  }
}

// ---- The simulated cooler ----

uint16_t ReplyCount(cvsim::CoolerModel& m, uint64_t now, uint8_t* status = nullptr) {
  uint8_t out[3];
  m.reply(out, now);
  if (status) *status = out[2];
  return static_cast<uint16_t>(out[0] | (out[1] << 8));
}

TEST(CoolerModelTest, CoolsTowardTheSetpointAtItsRateAndRegulatesThere) {
  cvsim::CoolerModel m;  // ambient 20, 0.1 C/s, band 0.3
  m.setpoint(2630, true, 0);  // -10
  EXPECT_NEAR(m.temperature(10000), 19.0, 1e-9);
  EXPECT_NEAR(m.temperature(100000), 10.0, 1e-9);
  uint8_t status = 9;
  ReplyCount(m, 100000, &status);
  EXPECT_EQ(status, 0);
  EXPECT_NEAR(m.temperature(300000), -10.0, 1e-9);
  EXPECT_EQ(ReplyCount(m, 400000, &status), 2630);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(m.regulating(400000));
}

TEST(CoolerModelTest, CannotGoDeeperThanItsDepthBelowAmbient) {
  cvsim::CoolerModel::Params p;
  p.ambientC = 25.0;
  p.maxDepthC = 30.0;
  cvsim::CoolerModel m(p);
  m.setpoint(2230, true, 0);  // -50
  EXPECT_NEAR(m.temperature(10000000), -5.0, 1e-9);
  EXPECT_FALSE(m.regulating(10000000));
}

TEST(CoolerModelTest, DriftsBackToAmbientWhenOff) {
  cvsim::CoolerModel m;
  m.setpoint(2630, true, 0);
  m.temperature(300000);  // at -10
  m.setpoint(2780, false, 300000);
  EXPECT_NEAR(m.temperature(400000), -5.0, 1e-9);  // 0.05 C/s
  EXPECT_NEAR(m.temperature(2000000), 20.0, 1e-9);
  uint8_t status = 9;
  EXPECT_EQ(ReplyCount(m, 2000000, &status), 2930);
  EXPECT_EQ(status, 0);
}

TEST(CoolerModelTest, WarmerSetpointIsApproachedNoFasterThanTheDrift) {
  cvsim::CoolerModel m;
  m.setpoint(2630, true, 0);
  m.temperature(300000);
  m.setpoint(2780, true, 300000);  // 5.0
  EXPECT_NEAR(m.temperature(400000), -5.0, 1e-9);
  EXPECT_NEAR(m.temperature(1000000), 5.0, 1e-9);
  EXPECT_TRUE(m.regulating(1000000));
}

}  // namespace

// ---- Against the simulated camera ----

class SimulatedCoolerTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    camera = cvsim::AttachCamera("0A30", 0);
    object.reset(AllocObject());
    ASSERT_NE(object->FindCameras(), 0);
    ASSERT_NE(TA::OpenCamera(*object, 0), 0);
    TA::attachedGuider(*object) = 0;
    TA::hasCooler(*object) = 1;
  }
  void TearDown() override {
    object.reset();
    camera.reset();
    WorldTest::TearDown();
  }
  std::shared_ptr<cvsim::SimCamera> camera;
  std::unique_ptr<CCamAPIDll> object;
};

TEST_F(SimulatedCoolerTest, ReachesTheSetpointAndReportsRegulation) {
  int on = 1;
  const double setpoint = -10.0;
  object->CCRegulateTemp(on, setpoint);
  EXPECT_TRUE(camera->cooler().on());
  double t = 0, second = 0, sp = 0;
  int status = -1;
  char text[6];
  int polls = 0;
  for (; polls < 900 && status != 1; ++polls) {
    cvsim::Clock::instance().advance(2000);
    object->CCQueryTemperature(t, second, text, sizeof text, status, sp);
    EXPECT_STRNE(text, ".....");
  }
  EXPECT_EQ(status, 1);
  EXPECT_NEAR(t, -10.0, 0.31);
  EXPECT_DOUBLE_EQ(sp, -10.0);
  EXPECT_GT(polls, 100);  // it cannot get there at once
  // Switched off it drifts back up and no longer regulates.
  on = 0;
  object->CCRegulateTemp(on, setpoint);
  EXPECT_FALSE(camera->cooler().on());
  cvsim::Clock::instance().advance(60000);
  object->CCQueryTemperature(t, second, text, sizeof text, status, sp);
  EXPECT_EQ(status, 0);
  EXPECT_GT(t, -10.0);
  EXPECT_STREQ(text, ".....");
}
