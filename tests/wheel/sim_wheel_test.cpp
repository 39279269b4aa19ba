// The simulated wheel itself: what the plug-in's tests rely on.
#include "wheel_fixture.h"

namespace {

using cvsim::SimWheel;
using cvsim::WheelConfig;
using Bytes = std::vector<uint8_t>;

struct Link {
  cvworld::World& world = cvworld::World::instance();
  uintptr_t handle = 0;
  explicit Link(const std::string& path) {
    uint32_t error = 0;
    handle = world.open(path, &error);
  }
  uint32_t Send(Bytes out, Bytes* in) {
    uint32_t done = 0;
    uint32_t e = world.write(handle, out.data(), static_cast<uint32_t>(out.size()), &done);
    if (e) return e;
    uint8_t buf[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    e = world.read(handle, buf, 4, &done);
    in->assign(buf, buf + done);
    return e;
  }
};

const std::string kPath = cvsim::HidDevicePath(cvsim::kWheelVendor, cvsim::kWheelProduct, 0);

TEST_F(WheelTest, SimulatedWheelTurnsAtItsSpeedAndWrapsForward) {
  WheelConfig config;
  config.positions = 5;
  config.startPosition = 4;
  auto wheel = cvsim::AttachWheel(config);
  Link link(kPath);
  Bytes in;
  ASSERT_EQ(link.Send({0, 0x02, 0}, &in), 0u);  // forward to 2: 4, 5, 1, 2
  EXPECT_EQ(in, (Bytes{0, 4, 5, 0}));
  std::vector<int> seen;
  for (int i = 0; i < 12; ++i) {
    seen.push_back(wheel->position());
    cvsim::Clock::instance().advance(100);
  }
  // Sampled from 2 ms after the request (its exchange), one slot every 350 ms.
  EXPECT_EQ(seen, (std::vector<int>{4, 4, 4, 4, 5, 5, 5, 1, 1, 1, 1, 2}));
  EXPECT_FALSE(wheel->moving());
}

TEST_F(WheelTest, SimulatedWheelReinitialisesWithoutACountForAWhile) {
  WheelConfig config;
  config.positions = 7;
  config.startPosition = 5;
  config.reinitMs = 2000;
  auto wheel = cvsim::AttachWheel(config);
  Link link(kPath);
  Bytes in;
  ASSERT_EQ(link.Send({0, 0, 1}, &in), 0u);
  EXPECT_EQ(in, (Bytes{0, 5, 7, 0}));  // the answer shows the wheel before the request
  ASSERT_EQ(link.Send({0, 0, 0}, &in), 0u);
  EXPECT_EQ(in[2], 0);
  cvsim::Clock::instance().advance(2000);
  ASSERT_EQ(link.Send({0, 0, 0}, &in), 0u);
  EXPECT_EQ(in, (Bytes{0, 1, 7, 0}));  // homed to 1, count back
}

TEST_F(WheelTest, SimulatedWheelRefusesOtherReportSizesAndStaysDeadAfterUnplug) {
  auto wheel = Wheel(5);
  Link link(kPath);
  uint32_t done = 0;
  uint8_t four[4] = {0, 0, 0, 0};
  EXPECT_EQ(link.world.write(link.handle, four, 4, &done), ERROR_INVALID_PARAMETER);
  // Nothing waiting: the read ends after the driver time-out.
  uint64_t t = cvsim::Clock::instance().nowMs();
  EXPECT_EQ(link.world.read(link.handle, four, 4, &done), ERROR_SEM_TIMEOUT);
  EXPECT_EQ(cvsim::Clock::instance().nowMs() - t, wheel->config().readTimeoutMs);

  link.world.unplug(kPath);
  Bytes in;
  EXPECT_EQ(link.Send({0, 0, 0}, &in), ERROR_DEVICE_NOT_CONNECTED);
  link.world.replug(kPath);
  EXPECT_EQ(link.Send({0, 0, 0}, &in), ERROR_DEVICE_NOT_CONNECTED);  // the old handle
  Link fresh(kPath);
  EXPECT_EQ(fresh.Send({0, 0, 0}, &in), 0u);
  EXPECT_EQ(in, (Bytes{0, 1, 5, 0}));
  // The log keeps every report with its tick and result.
  auto log = wheel->log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0].error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(log[1].direction, cvsim::WheelReport::In);
  EXPECT_EQ(log[1].error, ERROR_SEM_TIMEOUT);
}

TEST_F(WheelTest, SimulatedWheelIgnoresPositionsItDoesNotHaveAndStuckMoves) {
  auto wheel = Wheel(5);
  Link link(kPath);
  Bytes in;
  link.Send({0, 0x86, 0}, &in);  // position 6 of 5
  cvsim::Clock::instance().advance(5000);
  EXPECT_EQ(wheel->position(), 1);
  cvsim::WheelFaults f;
  f.stuck = true;
  wheel->setFaults(f);
  link.Send({0, 0x83, 0}, &in);
  cvsim::Clock::instance().advance(5000);
  EXPECT_EQ(wheel->position(), 1);
}

}  // namespace
