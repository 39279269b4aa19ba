// A scripted camera for the exposure, shutter, relay and cooler tests: it
// logs every block written (with the virtual tick it arrived at), answers
// reads from a queue of scripted replies, and can be told to fail writes.
// The test object is opened on it the way the link opens a camera.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CCamAPIDll.h"
#include "clock.h"
#include "sim_camera.h"
#include "test_access.h"
#include "world.h"
#include "world_fixture.h"

using Bytes = std::vector<uint8_t>;

class FakeCamera : public cvworld::Device {
 public:
  struct Write {
    uint64_t tick;
    Bytes bytes;
  };

  uint32_t write(uint32_t, const uint8_t* data, uint32_t length, uint32_t* done) override {
    std::function<void(const Bytes&)> hook;
    Bytes b(data, data + length);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (failWrites_) {
        *done = 0;
        return cvworld::err::genFailure;
      }
      writes_.push_back({cvsim::Clock::instance().nowMs(), b});
      hook = onWrite_;
    }
    if (hook) hook(b);
    *done = length;
    return 0;
  }

  // Each read takes from the front of the queue up to `length` bytes; what
  // is left of a reply stays for the next read. An empty queue delivers
  // nothing (and succeeds), as a camera with nothing to say.
  uint32_t read(uint32_t, uint8_t* data, uint32_t length, uint32_t* done) override {
    std::lock_guard<std::mutex> lock(mutex_);
    reads_.push_back(length);
    if (failReads_) {
      *done = 0;
      return cvworld::err::genFailure;
    }
    uint32_t n = 0;
    while (n < length && !replies_.empty()) {
      Bytes& front = replies_.front();
      const uint32_t take = std::min<uint32_t>(length - n, static_cast<uint32_t>(front.size()));
      std::memcpy(data + n, front.data(), take);
      n += take;
      front.erase(front.begin(), front.begin() + take);
      if (front.empty()) replies_.pop_front();
      if (!oneReplyPerRead_) continue;
      break;
    }
    *done = n;
    return 0;
  }

  void queue(const Bytes& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(reply);
  }
  size_t queuedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const Bytes& b : replies_) n += b.size();
    return n;
  }
  void failWrites(bool fail) {
    std::lock_guard<std::mutex> lock(mutex_);
    failWrites_ = fail;
  }
  void failReads(bool fail) {
    std::lock_guard<std::mutex> lock(mutex_);
    failReads_ = fail;
  }
  // Called after each logged write, outside the lock (may queue replies).
  void onWrite(std::function<void(const Bytes&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    onWrite_ = std::move(hook);
  }
  std::vector<Write> writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
  }
  std::vector<uint32_t> reads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
  }
  void clearLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    writes_.clear();
    reads_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Write> writes_;
  std::vector<uint32_t> reads_;
  std::deque<Bytes> replies_;
  bool failWrites_ = false;
  bool failReads_ = false;
  bool oneReplyPerRead_ = true;
  std::function<void(const Bytes&)> onWrite_;
};

// A plug-in object opened on a FakeCamera, serving the imaging CCD of a
// 16-bit camera, with nothing outstanding.
class FakeCameraTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    camera = std::make_shared<FakeCamera>();
    cvworld::World::instance().publish(cvworld::kCameraDriverClass,
                                       cvsim::CameraDevicePath("0A30", 0), camera);
    object.reset(AllocObject());
    ASSERT_NE(object->FindCameras(), 0);
    ASSERT_NE(TA::OpenCamera(*object, 0), 0);
    TA::attachedGuider(*object) = 0;
    TA::imagerParams(*object).bytes[14] = 16;
    camera->clearLog();
  }
  void TearDown() override {
    object.reset();
    camera.reset();
    WorldTest::TearDown();
  }
  cvsim::Clock& clock() { return cvsim::Clock::instance(); }
  std::vector<Bytes> written() const {
    std::vector<Bytes> out;
    for (const FakeCamera::Write& w : camera->writes()) out.push_back(w.bytes);
    return out;
  }

  std::shared_ptr<FakeCamera> camera;
  std::unique_ptr<CCamAPIDll> object;
};
