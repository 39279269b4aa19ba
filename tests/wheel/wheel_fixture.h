// A clean world on the virtual clock, the wheel plug-in's module state as
// a fresh load leaves it, and the debug log captured in a file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "clock.h"
#include "cv_filter_wheel.h"
#include "sim_wheel.h"
#include "wheel_internal.h"
#include "world.h"

class WheelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cvworld::World::instance().reset();
    cvsim::Clock::instance().useVirtualTime(1000);
    ResetModuleState();
  }
  void TearDown() override {
    CvWheelSetDebugLog(nullptr);
    ResetModuleState();
    cvsim::Clock::instance().setTickHook(nullptr);
    cvworld::World::instance().reset();
    cvsim::Clock::instance().useRealTime();
    if (!logPath_.empty()) std::remove(logPath_.c_str());
  }

  static void ResetModuleState() {
    CvWheelSetDebugLog(nullptr);
    // The world's reset closed every handle; forget ours without closing.
    g_wheelHandle = INVALID_HANDLE_VALUE;
    g_connected = 0;
    g_filterCount = 0;
    g_bidirectional = 1;
  }

  // Hands the plug-in a fresh log file; LogText reads it back, also after
  // cfwapiDisconnect closed the stream.
  void CaptureLog() {
    if (logPath_.empty()) {
      char name[] = "/tmp/wheel-log-XXXXXX";
      int fd = mkstemp(name);
      ASSERT_GE(fd, 0);
      close(fd);
      logPath_ = name;
    }
    FILE* f = std::fopen(logPath_.c_str(), "w+");
    ASSERT_NE(f, nullptr);
    CvWheelSetDebugLog(f);
  }
  std::string LogText() const {
    std::ifstream in(logPath_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  static std::shared_ptr<cvsim::SimWheel> Wheel(int positions = 5, bool countAtPowerUp = true) {
    cvsim::WheelConfig config;
    config.positions = positions;
    config.countAtPowerUp = countAtPowerUp;
    return cvsim::AttachWheel(config);
  }

  static int HandleValue() {
    return static_cast<int>(reinterpret_cast<intptr_t>(g_wheelHandle));
  }
  static size_t OpenHandles() { return cvworld::World::instance().openHandleCount(); }

  // Ticks of the status queries after the first `skip` of them.
  static std::vector<uint64_t> QueryTicks(const cvsim::SimWheel& wheel, size_t skip = 0) {
    std::vector<uint64_t> ticks;
    auto q = wheel.statusQueries();
    for (size_t i = skip; i < q.size(); ++i) ticks.push_back(q[i].tick);
    return ticks;
  }

  // The output report of each exchange, in order.
  static std::vector<std::vector<uint8_t>> Outputs(const cvsim::SimWheel& wheel) {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& r : wheel.outputs()) out.push_back(r.bytes);
    return out;
  }

  // One exchange's log text: request, write and the reply.
  static std::string Exchange(unsigned actionHigh, uint32_t reply) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Requesting Action = %#x, - Sent 3 bytes\nReport Data = %#x \n",
                  actionHigh, reply);
    return buf;
  }

 private:
  std::string logPath_;
};

inline std::string ConstructedLine() {
  return "Corvane Filter Wheel plug-in constructed. Build: 68, Date: 11/11/2009  Time:  0:08:38.17\n";
}
