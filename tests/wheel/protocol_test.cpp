// Connect, count, move and disconnect against the simulated wheel, on the
// virtual clock.
#include "wheel_fixture.h"

namespace {

using cvsim::WheelConfig;
using cvsim::WheelFaults;
using Bytes = std::vector<uint8_t>;

const Bytes kStatus = {0, 0, 0};
const Bytes kReinit = {0, 0, 1};

std::string Line(const char* format, int a, int b) {
  char buf[96];
  std::snprintf(buf, sizeof buf, format, a, b);
  return buf;
}
std::string FilterTotal(int count, int left) {
  return Line("Filter Total = %d, Timeout = %d\n", count, left);
}
std::string TargetFilter(int target, int left) {
  return Line("Target Filter = %d, Timeout = %d\n", target, left);
}

// Reads the count every status query of a connect gives, in order, then
// keeps the last one: a scripted wheel for the connect loop.
WheelConfig CountScript(int positions, bool atPowerUp, uint64_t reinitMs) {
  WheelConfig c;
  c.positions = positions;
  c.countAtPowerUp = atPowerUp;
  c.reinitMs = reinitMs;
  return c;
}

TEST_F(WheelTest, ConnectWithACountAtOnceMakesOneExchange) {
  auto wheel = cvsim::AttachWheel(CountScript(7, true, 2500));
  CaptureLog();
  EXPECT_EQ(cfwapiConnect(), 0);
  EXPECT_EQ(Outputs(*wheel), (std::vector<Bytes>{kStatus}));
  EXPECT_EQ(LogText(), ConstructedLine() + "Found device path no: 0\n" +
                           "Found the Cv Filter Wheel, Handle = " + std::to_string(HandleValue()) +
                           "\n" + Exchange(0, 0x70100) + FilterTotal(7, 15));
  int connected = 0, count = 0;
  EXPECT_EQ(cfwapiIsConnected(&connected), 0);
  EXPECT_EQ(connected, 1);
  EXPECT_EQ(cfwapiGetNumberFilters(&count), 0);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(wheel->outputs().size(), 1u);  // the count is held: no exchange
}

struct ConnectCase {
  const char* name;
  uint64_t reinitMs;   // count reads 0 this long after the re-initialise request
  int reportedCount;   // >= 0: the wheel reports this count instead
  int result;
  int loggedCount;
  int pollsLeft;
  size_t polls;        // status queries after the re-initialise request
};

class ConnectPolling : public WheelTest, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectPolling, CountsPollsAndResult) {
  const ConnectCase& c = GetParam();
  auto wheel = cvsim::AttachWheel(CountScript(5, false, c.reinitMs));
  if (c.reportedCount >= 0) {
    WheelFaults f;
    f.reportedCount = c.reportedCount;
    wheel->setFaults(f);
  }
  CaptureLog();
  EXPECT_EQ(cfwapiConnect(), c.result);
  auto out = Outputs(*wheel);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[0], kStatus);
  EXPECT_EQ(out[1], kReinit);
  EXPECT_EQ(out.size(), 2 + c.polls);
  for (size_t i = 2; i < out.size(); ++i) EXPECT_EQ(out[i], kStatus);
  std::string log = LogText();
  EXPECT_NE(log.find(FilterTotal(c.loggedCount, c.pollsLeft)), std::string::npos) << log;
  EXPECT_EQ(g_filterCount, c.loggedCount);

  // Poll k is made exactly at its deadline, k seconds after the tick read
  // just before the re-initialise request was written.
  uint64_t start = wheel->outputs()[1].tick;
  auto ticks = QueryTicks(*wheel, 1);
  for (size_t k = 1; k <= ticks.size(); ++k) EXPECT_EQ(ticks[k - 1], start + 1000 * k) << k;

  int connected = 0;
  cfwapiIsConnected(&connected);
  EXPECT_EQ(connected, 1);  // whatever the outcome, once the wheel was found
  EXPECT_EQ(OpenHandles(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectPolling,
    ::testing::Values(
        // Count 0 until between the 2nd and 3rd poll: 5 on the third.
        ConnectCase{"thirdPoll", 2500, -1, 0, 5, 12, 3},
        ConnectCase{"firstPoll", 1000, -1, 0, 5, 14, 1},
        ConnectCase{"fourteenthPoll", 14000, -1, 0, 5, 1, 14},
        // The count comes with the last poll: still a time-out.
        ConnectCase{"fifteenthPoll", 15000, -1, 1402, 5, 0, 15},
        ConnectCase{"never", UINT64_MAX, -1, 1402, 0, 0, 15},
        // A count other than 5 or 7 ends the polling at once.
        ConnectCase{"nine", 2500, 9, 1403, 9, 14, 1}),
    [](const ::testing::TestParamInfo<ConnectCase>& i) { return std::string(i.param.name); });

TEST_F(WheelTest, CountOfTheLastPollIsKeptAfterATimeOut) {
  auto wheel = cvsim::AttachWheel(CountScript(7, false, 15000));
  EXPECT_EQ(cfwapiConnect(), 1402);
  size_t exchanges = wheel->outputs().size();
  int count = 0;
  EXPECT_EQ(cfwapiGetNumberFilters(&count), 0);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(wheel->outputs().size(), exchanges);
}

TEST_F(WheelTest, UnacceptedCountIsReportedAgainWithoutAskingTheWheel) {
  auto wheel = cvsim::AttachWheel(CountScript(5, true, 1000));
  WheelFaults f;
  f.reportedCount = 9;
  wheel->setFaults(f);
  EXPECT_EQ(cfwapiConnect(), 1403);
  size_t exchanges = wheel->outputs().size();
  int count = 0;
  EXPECT_EQ(cfwapiGetNumberFilters(&count), 1403);
  EXPECT_EQ(count, 9);
  EXPECT_EQ(wheel->outputs().size(), exchanges);
}

TEST_F(WheelTest, ConnectWithNoWheelChangesNothing) {
  cvsim::AttachPlainHid(cvsim::kWheelVendor, 0x0C5F, 0);
  CaptureLog();
  EXPECT_EQ(cfwapiConnect(), 1401);
  int connected = -1;
  cfwapiIsConnected(&connected);
  EXPECT_EQ(connected, 0);
  EXPECT_EQ(g_filterCount, 0);
  EXPECT_EQ(OpenHandles(), 0u);
  EXPECT_EQ(LogText(), ConstructedLine() + "Found device path no: 0\n");
}

TEST_F(WheelTest, ConnectToAWheelThatRefusesWritesEndsWithBadCount) {
  auto wheel = Wheel();
  WheelFaults f;
  f.writeError = ERROR_GEN_FAILURE;
  wheel->setFaults(f);
  CaptureLog();
  EXPECT_EQ(cfwapiConnect(), 1403);
  // First query, re-initialise request, one poll: all refused, all 255.
  EXPECT_EQ(wheel->outputs().size(), 3u);
  EXPECT_EQ(g_filterCount, 255);
  EXPECT_NE(LogText().find(FilterTotal(255, 14)), std::string::npos);
}

TEST_F(WheelTest, CountBeforeAnyConnectIsAllOnesAndKept) {
  CaptureLog();
  int count = 0;
  EXPECT_EQ(cfwapiGetNumberFilters(&count), 1403);
  EXPECT_EQ(count, 255);
  std::string once = LogText();
  EXPECT_EQ(once,
            "Requesting Action = 0, - Error sending command: The handle is invalid.\r\n\n"
            "Report Data = 0xffffffff \n");
  count = 0;
  EXPECT_EQ(cfwapiGetNumberFilters(&count), 1403);
  EXPECT_EQ(count, 255);
  EXPECT_EQ(LogText(), once);  // no second exchange
  // A connect that finds the wheel replaces the count.
  Wheel(7);
  EXPECT_EQ(cfwapiConnect(), 0);
  EXPECT_EQ(cfwapiGetNumberFilters(&count), 0);
  EXPECT_EQ(count, 7);
}

TEST_F(WheelTest, DisconnectClosesHandleAndLogButKeepsCountAndMode) {
  auto wheel = Wheel(7);
  CaptureLog();
  ASSERT_EQ(cfwapiConnect(), 0);
  g_bidirectional = 0;
  EXPECT_EQ(cfwapiDisconnect(), 0);
  EXPECT_EQ(OpenHandles(), 0u);
  EXPECT_EQ(g_debugLog, nullptr);
  std::string log = LogText();
  const std::string last = "Corvane Filter Wheel plug-in destroyed.\n\n";
  ASSERT_GE(log.size(), last.size());
  EXPECT_EQ(log.substr(log.size() - last.size()), last);

  int connected = -1, count = 0;
  cfwapiIsConnected(&connected);
  EXPECT_EQ(connected, 0);
  size_t exchanges = wheel->outputs().size();
  EXPECT_EQ(cfwapiGetNumberFilters(&count), 0);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(wheel->outputs().size(), exchanges);
  EXPECT_EQ(g_bidirectional, 0);
  // Nothing more reaches the closed log; a second disconnect is harmless.
  EXPECT_EQ(cfwapiMoveTo(1), 1404);
  EXPECT_EQ(cfwapiDisconnect(), 0);
  EXPECT_EQ(LogText(), log);
}

TEST_F(WheelTest, SecondConnectClosesTheFirstHandle) {
  auto wheel = Wheel();
  ASSERT_EQ(cfwapiConnect(), 0);
  HANDLE first = g_wheelHandle;
  ASSERT_EQ(cfwapiConnect(), 0);
  EXPECT_NE(g_wheelHandle, first);
  EXPECT_EQ(OpenHandles(), 1u);
  EXPECT_EQ(wheel->openConnections(), 1);
  EXPECT_EQ(cvworld::World::instance().handlesOpened(), 2u);
  cfwapiDisconnect();
  EXPECT_EQ(OpenHandles(), 0u);
}

TEST_F(WheelTest, ConnectAfterTheWheelIsGoneReturnsNoWheel) {
  auto wheel = Wheel();
  ASSERT_EQ(cfwapiConnect(), 0);
  cvworld::World::instance().unplug(cvsim::HidDevicePath(cvsim::kWheelVendor,
                                                         cvsim::kWheelProduct, 0));
  EXPECT_EQ(cfwapiConnect(), 1401);
  EXPECT_EQ(OpenHandles(), 0u);  // the old handle was closed, none leaked
  int connected = 0;
  cfwapiIsConnected(&connected);
  EXPECT_EQ(connected, 1);  // a failed search leaves the flag alone
  EXPECT_EQ(cfwapiDisconnect(), 0);
}

// ---- moves ----

struct MoveBytesCase {
  int bidirectional;
  int position;
  Bytes request;
  int expected;  // the position the call waits for
};

class MoveRequest : public WheelTest, public ::testing::WithParamInterface<MoveBytesCase> {};

TEST_P(MoveRequest, TargetByteAndAwaitedPosition) {
  const MoveBytesCase& c = GetParam();
  WheelConfig config;
  config.positions = 7;
  config.startPosition = c.expected == 3 ? 3 : 1;  // already there when it can be
  auto wheel = cvsim::AttachWheel(config);
  ASSERT_EQ(cfwapiConnect(), 0);
  g_bidirectional = c.bidirectional;
  wheel->clearLog();
  CaptureLog();
  int result = cfwapiMoveTo(c.position);
  auto out = Outputs(*wheel);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0], c.request);
  std::string log = LogText();
  if (c.expected == 3) {
    EXPECT_EQ(result, 0);
    EXPECT_NE(log.find(TargetFilter(3, 49)), std::string::npos) << log;
  } else {
    // Position 0 never comes: all 50 polls.
    EXPECT_EQ(result, 1404);
    EXPECT_EQ(out.size(), 51u);
    EXPECT_NE(log.find(TargetFilter(0, 0)), std::string::npos) << log;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MoveRequest,
                         ::testing::Values(MoveBytesCase{0, 2, {0, 0x03, 0}, 3},
                                           MoveBytesCase{1, 2, {0, 0x83, 0}, 3},
                                           MoveBytesCase{0, -1, {0, 0x00, 0}, 0},
                                           MoveBytesCase{1, -1, {0, 0x80, 0}, 0}));

TEST_F(WheelTest, MoveLogsEveryExchangeAndTheTarget) {
  auto wheel = Wheel(5);
  ASSERT_EQ(cfwapiConnect(), 0);
  CaptureLog();
  // From 1 to 3 forward: two slots of 350 ms, reached on poll 7.
  EXPECT_EQ(cfwapiMoveTo(2), 0);
  std::string expected = Exchange(0x83, 0x50100);
  const uint32_t seen[] = {1, 1, 1, 2, 2, 2, 3};
  for (uint32_t p : seen) expected += Exchange(0, 0x50000 | (p << 8));
  expected += TargetFilter(3, 43);
  EXPECT_EQ(LogText(), expected);
}

TEST_F(WheelTest, MovePollsAtItsDeadlinesFromTheEndOfTheMoveExchange) {
  auto wheel = Wheel(7);
  ASSERT_EQ(cfwapiConnect(), 0);
  wheel->clearLog();
  g_bidirectional = 0;
  EXPECT_EQ(cfwapiMoveTo(5), 0);  // five slots forward: 1750 ms
  auto log = wheel->log();
  ASSERT_GE(log.size(), 2u);
  // Start is read when the move request's read has returned.
  uint64_t start = log[1].tick + wheel->config().readMs;
  auto ticks = QueryTicks(*wheel);
  ASSERT_EQ(ticks.size(), 18u);
  for (size_t k = 1; k <= ticks.size(); ++k) EXPECT_EQ(ticks[k - 1], start + 100 * k) << k;
}

TEST_F(WheelTest, SlowExchangesDoNotMoveTheDeadlines) {
  WheelConfig config;
  config.positions = 5;
  config.readMs = 150;  // longer than the poll period
  auto wheel = cvsim::AttachWheel(config);
  ASSERT_EQ(cfwapiConnect(), 0);
  wheel->clearLog();
  EXPECT_EQ(cfwapiMoveTo(-1), 1404);  // bidirectional: waits for 0, never comes
  auto log = wheel->log();
  uint64_t start = log[1].tick + config.readMs;
  auto ticks = QueryTicks(*wheel);
  ASSERT_EQ(ticks.size(), 50u);
  // Each poll is late, so the next follows as soon as the previous returns,
  // and never before its own deadline.
  for (size_t k = 1; k <= ticks.size(); ++k) {
    EXPECT_GE(ticks[k - 1], start + 100 * k) << k;
    if (k > 1) {
      EXPECT_EQ(ticks[k - 1], ticks[k - 2] + config.writeMs + config.readMs) << k;
    }
  }
}

struct ArrivalCase {
  uint32_t slotMs;  // one slot away: the wheel arrives slotMs after the move request
  int result;
  int pollsLeft;
};

class MoveArrival : public WheelTest, public ::testing::WithParamInterface<ArrivalCase> {};

TEST_P(MoveArrival, MatchOnTheLastPollIsATimeOut) {
  const ArrivalCase& c = GetParam();
  WheelConfig config;
  config.positions = 5;
  config.slotMs = c.slotMs;
  auto wheel = cvsim::AttachWheel(config);
  ASSERT_EQ(cfwapiConnect(), 0);
  CaptureLog();
  EXPECT_EQ(cfwapiMoveTo(1), c.result);
  EXPECT_EQ(wheel->position(), 2);
  EXPECT_NE(LogText().find(TargetFilter(2, c.pollsLeft)), std::string::npos);
}

// The move request is written at t, its exchange returns at t + 2, poll k
// is at t + 2 + 100 k.
INSTANTIATE_TEST_SUITE_P(Cases, MoveArrival,
                         ::testing::Values(ArrivalCase{4902, 0, 1},      // on poll 49
                                           ArrivalCase{4903, 1404, 0},   // on poll 50
                                           ArrivalCase{5002, 1404, 0},   // on poll 50, exactly
                                           ArrivalCase{5003, 1404, 0})); // never seen

TEST_F(WheelTest, BidirectionalTakesTheShortWayRound) {
  struct Case {
    int bidirectional;
    size_t polls;
    std::vector<uint32_t> path;
  };
  for (const Case& c : {Case{1, 7, {1, 7, 6}}, Case{0, 18, {1, 2, 3, 4, 5, 6}}}) {
    cvworld::World::instance().reset();
    ResetModuleState();
    auto wheel = Wheel(7);
    ASSERT_EQ(cfwapiConnect(), 0);
    g_bidirectional = c.bidirectional;
    wheel->clearLog();
    EXPECT_EQ(cfwapiMoveTo(5), 0);  // to position 6
    std::vector<uint32_t> path;
    for (const auto& r : wheel->log())
      if (r.direction == cvsim::WheelReport::In && (path.empty() || path.back() != r.bytes[1]))
        path.push_back(r.bytes[1]);
    EXPECT_EQ(path, c.path);
    EXPECT_EQ(wheel->statusQueries().size(), c.polls);
  }
}

TEST_F(WheelTest, SettingsBetweenMovesChangesOnlyBitSeven) {
  auto wheel = Wheel(5);
  ASSERT_EQ(cfwapiConnect(), 0);
  wheel->clearLog();
  EXPECT_EQ(cfwapiMoveTo(3), 0);
  cvworld::World::instance().queueMessageBoxAnswer(IDNO);
  cfwapiSettings();
  EXPECT_EQ(cfwapiMoveTo(3), 0);
  cvworld::World::instance().queueMessageBoxAnswer(IDYES);
  cfwapiSettings();
  EXPECT_EQ(cfwapiMoveTo(3), 0);
  std::vector<Bytes> moves;
  for (auto& b : Outputs(*wheel))
    if (b != kStatus) moves.push_back(b);
  EXPECT_EQ(moves, (std::vector<Bytes>{{0, 0x84, 0}, {0, 0x04, 0}, {0, 0x84, 0}}));
}

TEST_F(WheelTest, MoveToAPositionTheWheelDoesNotHaveTimesOut) {
  auto wheel = Wheel(5);
  ASSERT_EQ(cfwapiConnect(), 0);
  wheel->clearLog();
  EXPECT_EQ(cfwapiMoveTo(6), 1404);  // position 7 on a 5-position wheel
  EXPECT_EQ(wheel->statusQueries().size(), 50u);
  EXPECT_EQ(wheel->position(), 1);
}

TEST_F(WheelTest, ExtremePositionsNeitherOverflowNorCrash) {
  auto wheel = Wheel(5);
  ASSERT_EQ(cfwapiConnect(), 0);
  wheel->clearLog();
  EXPECT_EQ(cfwapiMoveTo(INT32_MAX), 1404);  // target wraps to 0x80: waits for 0
  EXPECT_EQ(Outputs(*wheel)[0], (Bytes{0, 0x80, 0}));
  wheel->clearLog();
  EXPECT_EQ(cfwapiMoveTo(INT32_MIN), 0);  // target 0x81: waits for 1, where the wheel is
  EXPECT_EQ(Outputs(*wheel)[0], (Bytes{0, 0x81, 0}));
}

TEST_F(WheelTest, UnpluggedWheelMakesTheMoveTimeOut) {
  auto wheel = Wheel(5);
  ASSERT_EQ(cfwapiConnect(), 0);
  cvworld::World::instance().unplug(cvsim::HidDevicePath(cvsim::kWheelVendor,
                                                         cvsim::kWheelProduct, 0));
  CaptureLog();
  EXPECT_EQ(cfwapiMoveTo(2), 1404);
  std::string log = LogText();
  EXPECT_NE(log.find("Error sending command: The device is not connected.\r\n\n"),
            std::string::npos);
  EXPECT_NE(log.find(TargetFilter(3, 0)), std::string::npos);
  EXPECT_EQ(log.find("Sent "), std::string::npos);
  cfwapiDisconnect();
  EXPECT_EQ(OpenHandles(), 0u);
}

TEST_F(WheelTest, MovePollingSleepsInsteadOfSpinning) {
  auto wheel = Wheel(5);
  ASSERT_EQ(cfwapiConnect(), 0);
  cvsim::Clock::instance().resetReadings();
  EXPECT_EQ(cfwapiMoveTo(-1), 1404);  // 50 polls, 5 s
  // One reading for the start, then about one per poll.
  EXPECT_LE(cvsim::Clock::instance().readings(), 120u);
}

// ---- the tick counter's wrap ----

class WrapTest : public WheelTest {
 protected:
  void StartNearWrap(uint32_t before) { cvsim::Clock::instance().useVirtualTime(0xFFFFFFFFu - before); }
};

TEST_F(WrapTest, ConnectPollsKeepTheirDeadlinesAcrossTheWrap) {
  StartNearWrap(2500);
  auto wheel = cvsim::AttachWheel(CountScript(7, false, UINT64_MAX));
  EXPECT_EQ(cfwapiConnect(), 1402);
  uint64_t start = wheel->outputs()[1].tick;
  auto ticks = QueryTicks(*wheel, 1);
  ASSERT_EQ(ticks.size(), 15u);
  for (size_t k = 1; k <= 15; ++k) EXPECT_EQ(ticks[k - 1], start + 1000 * k) << k;
  EXPECT_GT(ticks.back(), 0x100000000ull);  // the polls ran past the wrap
}

TEST_F(WrapTest, MovePollsKeepTheirDeadlinesAcrossTheWrap) {
  for (uint32_t before : {0u, 1u, 50u, 101u, 4999u}) {
    cvworld::World::instance().reset();
    ResetModuleState();
    StartNearWrap(before);
    auto wheel = Wheel(5);
    ASSERT_EQ(cfwapiConnect(), 0);
    wheel->clearLog();
    EXPECT_EQ(cfwapiMoveTo(-1), 1404) << before;
    uint64_t start = wheel->log()[1].tick + wheel->config().readMs;
    auto ticks = QueryTicks(*wheel);
    ASSERT_EQ(ticks.size(), 50u) << before;
    for (size_t k = 1; k <= 50; ++k) ASSERT_EQ(ticks[k - 1], start + 100 * k) << before << " " << k;
  }
}

}  // namespace
