// The wheel search, the report exchange and the debug log's lines.
#include "wheel_fixture.h"

namespace {

using cvsim::AttachPlainHid;
using cvsim::WheelFaults;

TEST_F(WheelTest, SearchWithNoHidDevicesFindsNothingAndLogsNothing) {
  CaptureLog();
  EXPECT_FALSE(FindWheel());
  EXPECT_FALSE(WheelHandleOpen());
  EXPECT_EQ(LogText(), "");
  EXPECT_EQ(cvworld::World::instance().openSetCount(), 0u);
}

TEST_F(WheelTest, SearchSkipsEveryOtherHidDeviceAndClosesIt) {
  auto keyboard = AttachPlainHid(0x046D, 0xC31C, 0);
  auto sibling = AttachPlainHid(cvsim::kWheelVendor, 0x0C5F, 1);  // the maker's other product
  auto mute = AttachPlainHid(cvsim::kWheelVendor, cvsim::kWheelProduct, 2, /*attrs*/ false);
  auto locked = AttachPlainHid(0x1234, 0x5678, 3, true, ERROR_ACCESS_DENIED);
  auto wheel = Wheel();
  CaptureLog();

  ASSERT_TRUE(FindWheel());
  EXPECT_EQ(OpenHandles(), 1u);
  EXPECT_EQ(wheel->openConnections(), 1);
  EXPECT_EQ(cvworld::World::instance().handlesOpened(), 4u);  // three opened and closed, the wheel
  EXPECT_EQ(cvworld::World::instance().openSetCount(), 0u);
  EXPECT_EQ(keyboard->writes() + sibling->writes() + mute->writes(), 0);
  EXPECT_EQ(LogText(),
            "Found device path no: 0\n"
            "Found device path no: 1\n"
            "Found device path no: 2\n"
            "Found device path no: 3\n"
            "Error opening device file: Access is denied.\r\n\n"
            "Found device path no: 4\n"
            "Found the Cv Filter Wheel, Handle = " +
                std::to_string(HandleValue()) + "\n");
}

TEST_F(WheelTest, OnlyTheFirstOfTwoWheelsIsOpened) {
  auto first = cvsim::AttachWheel(cvsim::WheelConfig(), 0);
  auto second = cvsim::AttachWheel(cvsim::WheelConfig(), 1);
  ASSERT_TRUE(FindWheel());
  EXPECT_EQ(first->openConnections(), 1);
  EXPECT_EQ(second->openConnections(), 0);
  EXPECT_EQ(cvworld::World::instance().handlesOpened(), 1u);
}

TEST_F(WheelTest, SearchWithNoMatchLeavesNoHandleOpen) {
  AttachPlainHid(cvsim::kWheelVendor, 0x0C5F, 0);
  AttachPlainHid(0x0001, cvsim::kWheelProduct, 1);
  EXPECT_FALSE(FindWheel());
  EXPECT_FALSE(WheelHandleOpen());
  EXPECT_EQ(OpenHandles(), 0u);
}

TEST_F(WheelTest, FailedEnumerationWritesTheErrorLine) {
  Wheel();
  cvworld::World::instance().failNextSetCreations(1);
  CaptureLog();
  EXPECT_FALSE(FindWheel());
  EXPECT_EQ(LogText(),
            "Error getting device interfaces: A device attached to the system is not "
            "functioning.\r\n\n");
}

TEST_F(WheelTest, ReplyBytesBecomeOneLittleEndianValue) {
  cvsim::WheelConfig config;
  config.positions = 7;
  config.startPosition = 3;
  auto wheel = cvsim::AttachWheel(config);
  ASSERT_TRUE(FindWheel());
  CaptureLog();
  EXPECT_EQ(RequestAction(kActionStatus), 0x70300u);  // bytes 00 03 07 00
  EXPECT_EQ(LogText(), Exchange(0, 0x70300));
  ASSERT_EQ(wheel->log().size(), 2u);
  EXPECT_EQ(wheel->log()[0].bytes, (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(wheel->log()[1].bytes, (std::vector<uint8_t>{0, 3, 7, 0}));
}

TEST_F(WheelTest, ActionWordTravelsHighByteFirst) {
  auto wheel = Wheel();
  ASSERT_TRUE(FindWheel());
  CaptureLog();
  RequestAction(0x8300);
  RequestAction(0x0001);
  EXPECT_EQ(Outputs(*wheel), (std::vector<std::vector<uint8_t>>{{0, 0x83, 0}, {0, 0, 1}}));
  // The log shows the high byte only: the re-initialise request reads as 0.
  EXPECT_EQ(LogText(), Exchange(0x83, 0x50100) + Exchange(0, 0x50100));
}

TEST_F(WheelTest, ExchangeWithNoDeviceMakesNoReadAndReadsAllOnes) {
  auto wheel = Wheel();
  CaptureLog();
  EXPECT_EQ(RequestAction(kActionStatus), 0xFFFFFFFFu);
  EXPECT_TRUE(wheel->log().empty());
  EXPECT_EQ(LogText(),
            "Requesting Action = 0, - Error sending command: The handle is invalid.\r\n\n"
            "Report Data = 0xffffffff \n");
}

struct FaultCase {
  const char* name;
  WheelFaults faults;
  uint32_t reply;
  bool readMade;
  const char* errorLine;  // after "Requesting Action = 0, - ", or null for "Sent 3 bytes"
};

class ExchangeFaults : public WheelTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ExchangeFaults, BytesNotReceivedStayAllOnes) {
  const FaultCase& c = GetParam();
  auto wheel = Wheel(7);
  ASSERT_TRUE(FindWheel());
  wheel->setFaults(c.faults);
  CaptureLog();
  EXPECT_EQ(RequestAction(kActionStatus), c.reply);
  size_t reads = 0;
  for (const auto& r : wheel->log()) reads += r.direction == cvsim::WheelReport::In;
  EXPECT_EQ(reads, c.readMade ? 1u : 0u);
  char data[64];
  std::snprintf(data, sizeof data, "Report Data = %#x \n", c.reply);
  std::string expected = std::string("Requesting Action = 0, - ") +
                         (c.errorLine ? c.errorLine : "Sent 3 bytes\n") + data;
  EXPECT_EQ(LogText(), expected);
}

WheelFaults Faults(uint32_t writeError, uint32_t readError, int replyBytes, bool silent = false) {
  WheelFaults f;
  f.writeError = writeError;
  f.readError = readError;
  f.replyBytes = replyBytes;
  f.silent = silent;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ExchangeFaults,
    ::testing::Values(
        FaultCase{"refused", Faults(ERROR_GEN_FAILURE, 0, 4), 0xFFFFFFFFu, false,
                  "Error sending command: A device attached to the system is not "
                  "functioning.\r\n\n"},
        // A code the system has no text for.
        FaultCase{"unknown", Faults(1234, 0, 4), 0xFFFFFFFFu, false,
                  "Error sending command: unknown error 1234\n"},
        FaultCase{"readFails", Faults(0, ERROR_GEN_FAILURE, 4), 0xFFFFFFFFu, true, nullptr},
        FaultCase{"silent", Faults(0, 0, 4, true), 0xFFFFFFFFu, true, nullptr},
        FaultCase{"twoBytes", Faults(0, 0, 2), 0xFFFF0100u, true, nullptr},
        FaultCase{"threeBytes", Faults(0, 0, 3), 0xFF070100u, true, nullptr},
        FaultCase{"none", Faults(0, 0, 0), 0xFFFFFFFFu, true, nullptr}),
    [](const ::testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.name); });

TEST_F(WheelTest, SilentWheelHoldsTheReadOnlyForTheDriverTimeOut) {
  auto wheel = Wheel();
  ASSERT_TRUE(FindWheel());
  wheel->setFaults(Faults(0, 0, 4, true));
  uint64_t before = cvsim::Clock::instance().nowMs();
  EXPECT_EQ(RequestAction(kActionStatus), 0xFFFFFFFFu);
  EXPECT_EQ(cvsim::Clock::instance().nowMs() - before,
            wheel->config().writeMs + wheel->config().readTimeoutMs);
}

TEST_F(WheelTest, SystemErrorTextComesFromTheSystemOrIsNull) {
  char* text = GetSystemErrorText(ERROR_ACCESS_DENIED);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "Access is denied.\r\n");
  LocalFree(text);
  EXPECT_EQ(GetSystemErrorText(1234), nullptr);
}

TEST_F(WheelTest, NoStreamNoLogAndAReplacedStreamGetsNothingMore) {
  auto wheel = Wheel();
  CaptureLog();
  CvWheelSetDebugLog(nullptr);  // closes the captured file
  EXPECT_EQ(cfwapiConnect(), 0);
  EXPECT_EQ(cfwapiMoveTo(1), 0);
  EXPECT_EQ(cfwapiDisconnect(), 0);
  EXPECT_EQ(LogText(), "");
}

}  // namespace
