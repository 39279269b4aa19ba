// The guide relays: the mask each argument drives, the refusals, and the
// timing of pulses on the virtual tick counter.
#include <climits>

#include "fake_camera_device.h"

namespace {

Bytes Relay(uint8_t mask) { return {0x00, 0x09, mask, 0, 0, 0, 0, 0}; }

class RelaysTest : public FakeCameraTest {
 protected:
  int activate(int l1, int l2, int l3, int l4, int wait, int stop = 0) {
    const int unused = 0;
    return object->CCActivateRelays(l1, l2, l3, l4, wait, stop, unused);
  }
};

TEST_F(RelaysTest, EachArgumentDrivesItsOwnLine) {
  struct Case {
    int l1, l2, l3, l4;
    uint8_t mask;
  } cases[] = {{1, 0, 0, 0, 0x08}, {0, 1, 0, 0, 0x01}, {0, 0, 1, 0, 0x04}, {0, 0, 0, 1, 0x02},
               {5, 0, 7, 0, 0x0C}, {0, 9, 0, 3, 0x03}, {0, 0, 0, 0, 0x00}};
  for (const Case& c : cases) {
    camera->clearLog();
    EXPECT_EQ(activate(c.l1, c.l2, c.l3, c.l4, 0), 0);
    EXPECT_EQ(written(), std::vector<Bytes>{Relay(c.mask)}) << int(c.mask);
    EXPECT_TRUE(camera->reads().empty());
  }
}

TEST_F(RelaysTest, OppositeLinesAndUntimeableLengthsAreRefusedBeforeSending) {
  struct Case {
    int l1, l2, l3, l4;
  } cases[] = {{1, 1, 0, 0},       {0, 0, 2, 2},         {3, 4, 5, 6},
               // Lengths the timing loop could never time out.
               {-1, 0, 0, 0},      {0, 0, 0, -50},       {INT_MIN, 0, 0, 0},
               {214748365, 0, 0, 0}, {0, INT_MAX, 0, 0}};
  for (const Case& c : cases)
    for (int wait : {0, 1}) {
      camera->clearLog();
      EXPECT_EQ(activate(c.l1, c.l2, c.l3, c.l4, wait), 206)
          << c.l1 << " " << c.l2 << " " << c.l3 << " " << c.l4 << " wait " << wait;
      EXPECT_TRUE(written().empty());
    }
}

TEST_F(RelaysTest, LongestRepresentableLengthIsAccepted) {
  EXPECT_EQ(activate(214748364, 0, 0, 0, 0), 0);
  EXPECT_EQ(written(), std::vector<Bytes>{Relay(0x08)});
}

TEST_F(RelaysTest, StopSwitchesEverythingOffWhateverElseIsAsked) {
  EXPECT_EQ(activate(1, 1, -5, 1, 1, 1), 0);
  EXPECT_EQ(written(), std::vector<Bytes>{Relay(0x00)});
}

TEST_F(RelaysTest, TimedPulseIsRefusedWhileAReadIsOutstandingButTheLinesStayOn) {
  for (int which : {0, 1}) {
    TA::readInProgress(*object) = which == 0;
    TA::delayedReadPending(*object) = which == 1;
    camera->clearLog();
    EXPECT_EQ(activate(10, 0, 0, 0, 1), 219);
    EXPECT_EQ(written(), std::vector<Bytes>{Relay(0x08)});
    // The read test comes before the test for an empty mask.
    camera->clearLog();
    EXPECT_EQ(activate(0, 0, 0, 0, 1), 219);
    EXPECT_EQ(written(), std::vector<Bytes>{Relay(0x00)});
  }
}

TEST_F(RelaysTest, EmptyTimedPulseSendsOffAndReturnsAtOnce) {
  EXPECT_EQ(activate(0, 0, 0, 0, 1), 0);
  EXPECT_EQ(written(), std::vector<Bytes>{Relay(0x00)});
}

// Each line goes off in the first pass after more than its length has
// passed, and never before; the log's ticks are when the camera got it.
struct TimedCase {
  const char* name;
  uint32_t startTick;
  int l1, l2, l3, l4;
  std::vector<std::pair<uint8_t, uint32_t>> expected;  // mask, earliest ms after the start
};

class TimedPulseTest : public RelaysTest, public ::testing::WithParamInterface<TimedCase> {};

TEST_P(TimedPulseTest, LinesDropInOrderAtTheirLengths) {
  const TimedCase& c = GetParam();
  clock().useVirtualTime(c.startTick);
  clock().setSpinStep(1);
  const uint64_t start = clock().nowMs();
  EXPECT_EQ(activate(c.l1, c.l2, c.l3, c.l4, 1), 0);
  const std::vector<FakeCamera::Write> w = camera->writes();
  ASSERT_EQ(w.size(), c.expected.size());
  for (size_t k = 0; k < w.size(); ++k) {
    EXPECT_EQ(w[k].bytes, Relay(c.expected[k].first)) << "command " << k;
    const uint64_t at = w[k].tick - start;
    EXPECT_GE(at, c.expected[k].second) << "command " << k << " too early";
    EXPECT_LE(at, c.expected[k].second + 8) << "command " << k << " late";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pulses, TimedPulseTest,
    ::testing::Values(
        TimedCase{"Line1And4", 1000, 50, 0, 0, 20, {{0x0A, 0}, {0x08, 201}, {0x00, 501}}},
        TimedCase{"EqualLengthsDropTogether", 1000, 0, 30, 30, 0, {{0x05, 0}, {0x00, 301}}},
        TimedCase{"AcrossTheCounterWrap", 0xFFFFFFFFu - 100, 0, 0, 25, 0,
                  {{0x04, 0}, {0x00, 251}}},
        TimedCase{"Line2Alone", 5000, 0, 7, 0, 0, {{0x01, 0}, {0x00, 71}}}),
    [](const ::testing::TestParamInfo<TimedCase>& info) { return std::string(info.param.name); });

TEST_F(RelaysTest, TimedPulseEndsEvenWhenTheCameraRefusesEveryWrite) {
  clock().setSpinStep(1);
  camera->failWrites(true);
  const uint64_t start = clock().nowMs();
  EXPECT_EQ(activate(0, 0, 0, 10, 1), 0);
  EXPECT_GT(clock().nowMs() - start, 100u);
  EXPECT_LT(clock().nowMs() - start, 120u);
}

}  // namespace
