// Two objects, one camera, two threads: the imager and an attached guider
// each run many read cycles (chip size, subframe, read request, the data read
// and the release of the read lock) at the same time on real threads. The
// camera's log must show that no block of one connection is written between
// the other connection's read request and the end of its data read, and the
// whole run must end: a watchdog fails the test instead of hanging.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "../camera/fake_camera.h"
#include "CCamAPIDll.h"
#include "clock.h"
#include "module_state.h"
#include "test_access.h"
#include "world.h"

using linktest::Event;
using linktest::FakeCamera;
using linktest::FakeSpec;

namespace {

constexpr int kCycles = 150;

class SharedCameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cvworld::World::instance().reset();
    cvsim::Clock::instance().useRealTime();
    g_instanceCount = 0;
    g_imagerSlot = 0;
    g_sharedDevice = 0;
    g_writeLock.store(0);
    g_readLock.store(0);
    g_readLockOwner.store(nullptr);
  }
  void TearDown() override {
    cvworld::World::instance().reset();
    g_sharedDevice = 0;
  }
  static int Link(CCamAPIDll& o) {
    int address = 0, status = 0;
    enumZZCAM2 out = CorvaneKTCamera;
    return o.CCEstablishLink(NoLPTPort, address, CorvaneKTCamera, out, 0, status);
  }
};

// Fails the test (and the process) if `done` is not set within the limit,
// rather than letting a deadlock hang the test run.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : thread_([this, limit] {
          std::unique_lock<std::mutex> l(m_);
          if (!cv_.wait_for(l, limit, [this] { return done_; })) {
            std::fprintf(stderr, "watchdog: the two objects did not finish: deadlock\n");
            std::fflush(stderr);
            std::_Exit(3);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> l(m_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

// One exposure-sized cycle, as the readout does it: geometry, the request,
// one read of the expected length, then the read lock goes back.
void RunCycles(CCamAPIDll& o, int bytesPerSample, int cycles, std::atomic<int>* failures) {
  std::vector<unsigned char> buffer;
  for (int i = 0; i < cycles; ++i) {
    const int bin = 1 + (i % 2);
    int width = 0, height = 0, unused = 0;
    o.CCGetChipSize(CorvaneKTCamera, ImagingCCD, bin, bin, unused, width, height, unused);
    const int w = width - (i % 3), h = height - (i % 5);
    o.CCSetBinnedSubFrame(CorvaneKTCamera, ImagingCCD, 0, 0, w, h);
    CCamAPIDll::Exposure* e = TA::mainExposure(o);
    if (e == nullptr) {
      ++*failures;
      return;
    }
    TA::RequestReadNow(o, *e);
    const size_t length = static_cast<size_t>(e->width) * e->height * bytesPerSample;
    buffer.resize(length);
    DWORD got = 0;
    if (!ReadFile(TA::device(o), buffer.data(), static_cast<DWORD>(length), &got, nullptr) ||
        got != length)
      ++*failures;
    if (g_sharedDevice) ReleaseSharedDeviceFlag(g_readLock);
    TA::readInProgress(o) = 0;
  }
  delete TA::mainExposure(o);
  TA::mainExposure(o) = nullptr;
}

TEST_F(SharedCameraTest, ReadsOfTwoObjectsNeverInterleave) {
  FakeSpec spec;
  spec.model = 16;
  spec.width = 64;
  spec.height = 48;
  spec.capabilities = 0x09;  // guide port and guide head
  spec.guideWidth = 32;
  spec.guideHeight = 24;
  auto cam = linktest::PublishFake(spec);
  cam->yieldInReads = true;

  CCamAPIDll imager;  // instance 0
  CCamAPIDll guider;  // instance 1, attached guider by default
  g_imagerSlot = 0;
  ASSERT_EQ(Link(imager), 0);
  ASSERT_EQ(Link(guider), 0);
  ASSERT_EQ(g_sharedDevice, 1);
  ASSERT_EQ(TA::attachedGuider(guider), 1);
  cam->clearLog();

  std::atomic<int> failures{0};
  {
    Watchdog watchdog(std::chrono::seconds(120));
    std::thread a([&] { RunCycles(imager, 2, kCycles, &failures); });
    std::thread b([&] { RunCycles(guider, 1, kCycles, &failures); });
    a.join();
    b.join();
  }
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(g_readLock.load(), 0);
  EXPECT_EQ(g_writeLock.load(), 0);

  // Walk the log: from a connection's read request to the end of its data
  // read, no other connection writes anything.
  std::vector<Event> ev = cam->events();
  std::map<uint32_t, int> requests, reads;
  uint32_t windowOwner = 0;  // 0: no request outstanding
  int violations = 0;
  for (const Event& e : ev) {
    if (e.kind == Event::Write) {
      if (windowOwner != 0 && e.connection != windowOwner) ++violations;
      if (e.bytes.size() == 18 && e.bytes[1] == kReqReadNow) {
        EXPECT_EQ(e.readLock, 1) << "each request is written under the read lock";
        windowOwner = e.connection;
        ++requests[e.connection];
      }
    } else if (e.kind == Event::DataReadEnd) {
      EXPECT_EQ(e.connection, windowOwner) << "data are read by the connection that asked";
      windowOwner = 0;
      ++reads[e.connection];
    }
  }
  EXPECT_EQ(violations, 0);
  ASSERT_EQ(requests.size(), 2u) << "both connections made requests";
  for (const auto& r : requests) {
    EXPECT_EQ(r.second, kCycles);
    EXPECT_EQ(reads[r.first], kCycles);
  }
  imager.CCDisconnect(0);
  guider.CCDisconnect(0);
}

}  // namespace
