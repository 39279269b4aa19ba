// A small scripted camera for the link, protocol and read-request tests: it
// answers the parameter, model, firmware, cooler and shutter requests, serves
// the data of a read request (any length asked, filled with a pattern), and
// keeps one ordered log of every write and every data read, per connection.
// Under the virtual clock a data read takes `msPerByte` per byte.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "clock.h"
#include "command_block.h"
#include "module_state.h"
#include "world.h"

namespace linktest {

struct FakeSpec {
  int model = 16;
  uint16_t width = 640;
  uint16_t height = 480;
  uint8_t bitsPerPixel = 16;
  uint8_t capabilities = 0x31;  // guide port, cooler, shutter
  uint16_t guideWidth = 0;
  uint16_t guideHeight = 0;
  uint32_t firmware = 0x00010203;
};

struct Event {
  enum Kind { Write, DataReadStart, DataReadEnd, ReplyRead } kind;
  uint32_t connection;
  uint64_t tick;
  std::vector<uint8_t> bytes;  // writes only
  uint32_t length;             // reads: the length asked
  int writeLock = 0;           // the shared-device flags as the write found them
  int readLock = 0;
};

class FakeCamera : public cvworld::Device {
 public:
  explicit FakeCamera(const FakeSpec& spec) : spec_(spec) {}

  // Fault injection.
  bool failWrites = false;        // every write fails
  bool failWriteOfRequest = false;  // only writes whose request is `failRequest`
  uint8_t failRequest = 0;
  bool muteParameters = false;    // the CCD parameter request gets no reply
  bool muteGuideParameters = false;
  bool failDataReads = false;     // data reads fail (the time still passes)
  double msPerByte = 0.0;         // virtual time per data byte
  bool yieldInReads = false;      // real threads: widen the window of a data read
  // Called after each write has been logged, outside the camera's lock.
  std::function<void(const uint8_t* data, uint32_t length)> onWrite;

  std::vector<Event> events() const {
    std::lock_guard<std::mutex> l(m_);
    return events_;
  }
  std::vector<std::vector<uint8_t>> writes() const {
    std::lock_guard<std::mutex> l(m_);
    std::vector<std::vector<uint8_t>> out;
    for (const Event& e : events_)
      if (e.kind == Event::Write) out.push_back(e.bytes);
    return out;
  }
  void clearLog() {
    std::lock_guard<std::mutex> l(m_);
    events_.clear();
  }
  int openConnections() const {
    std::lock_guard<std::mutex> l(m_);
    return open_;
  }

  uint32_t open(uint32_t) override {
    std::lock_guard<std::mutex> l(m_);
    ++open_;
    return cvworld::err::ok;
  }
  void close(uint32_t) override {
    std::lock_guard<std::mutex> l(m_);
    --open_;
  }

  uint32_t write(uint32_t c, const uint8_t* data, uint32_t n, uint32_t* done) override {
    const uint32_t r = writeLocked(c, data, n, done);
    if (onWrite) onWrite(data, n);
    return r;
  }

  uint32_t writeLocked(uint32_t c, const uint8_t* data, uint32_t n, uint32_t* done) {
    std::lock_guard<std::mutex> l(m_);
    events_.push_back({Event::Write, c, cvsim::Clock::instance().nowMs(),
                       std::vector<uint8_t>(data, data + n), n, g_writeLock.load(),
                       g_readLock.load()});
    if (failWrites || (failWriteOfRequest && n >= 2 && data[1] == failRequest))
      return cvworld::err::genFailure;
    *done = n;
    if (n < 8) return cvworld::err::ok;
    Conn& k = conns_[c];
    const uint8_t req = data[1];
    const uint16_t index = static_cast<uint16_t>(data[4] | (data[5] << 8));
    switch (req) {
      case kReqParameters: {
        const bool guide = index == 1;
        if ((guide && muteGuideParameters) || (!guide && muteParameters)) break;
        std::vector<uint8_t> p(17, 0);
        const uint16_t w = guide ? spec_.guideWidth : spec_.width;
        const uint16_t h = guide ? spec_.guideHeight : spec_.height;
        p[2] = w & 0xFF;
        p[3] = w >> 8;
        p[6] = h & 0xFF;
        p[7] = h >> 8;
        p[14] = guide ? 8 : spec_.bitsPerPixel;
        p[16] = spec_.capabilities;
        k.reply = p;
        break;
      }
      case kReqModel:
        k.reply = {static_cast<uint8_t>(spec_.model & 0xFF), static_cast<uint8_t>(spec_.model >> 8)};
        break;
      case kReqFirmware:
        k.reply = {static_cast<uint8_t>(spec_.firmware), static_cast<uint8_t>(spec_.firmware >> 8),
                   static_cast<uint8_t>(spec_.firmware >> 16),
                   static_cast<uint8_t>(spec_.firmware >> 24)};
        break;
      case kReqCoolerSetpoint:
      case kReqCoolerPoll: k.reply = {0x00, 0x0A, 0xDC}; break;
      case kReqShutter: k.reply = {0, 0}; break;
      case kReqGetTimer: k.reply = {0x10, 0x27, 0, 0}; break;
      case kReqReadNow:
      case kReqDelayedRead: ++k.pendingData; break;
      default: break;
    }
    return cvworld::err::ok;
  }

  uint32_t read(uint32_t c, uint8_t* data, uint32_t n, uint32_t* done) override {
    *done = 0;
    std::unique_lock<std::mutex> l(m_);
    Conn& k = conns_[c];
    if (!k.reply.empty()) {
      const uint32_t m = n < k.reply.size() ? n : static_cast<uint32_t>(k.reply.size());
      for (uint32_t i = 0; i < m; ++i) data[i] = k.reply[i];
      k.reply.clear();
      events_.push_back({Event::ReplyRead, c, cvsim::Clock::instance().nowMs(), {}, n, 0, 0});
      *done = m;
      return cvworld::err::ok;
    }
    if (k.pendingData == 0) return cvworld::err::semTimeout;  // nothing asked for
    --k.pendingData;
    events_.push_back({Event::DataReadStart, c, cvsim::Clock::instance().nowMs(), {}, n, 0, 0});
    const double ms = msPerByte * n;
    const bool yield = yieldInReads;
    l.unlock();
    if (cvsim::Clock::instance().isVirtual() && ms >= 1.0)
      cvsim::Clock::instance().advance(static_cast<uint64_t>(ms));
    if (yield)
      for (int i = 0; i < 20; ++i) std::this_thread::yield();
    for (uint32_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(i * 7 + c);
    l.lock();
    events_.push_back({Event::DataReadEnd, c, cvsim::Clock::instance().nowMs(), {}, n, 0, 0});
    if (failDataReads) return cvworld::err::genFailure;
    *done = n;
    return cvworld::err::ok;
  }

 private:
  struct Conn {
    std::vector<uint8_t> reply;
    int pendingData = 0;
  };
  FakeSpec spec_;
  mutable std::mutex m_;
  std::vector<Event> events_;
  std::map<uint32_t, Conn> conns_;
  int open_ = 0;
};

// A path the plug-in's discovery accepts for the given product identifier.
inline std::string FakePath(const std::string& pid, int instance) {
  return "\\\\?\\usb#vid_5a31&pid_" + pid + "#fake" + std::to_string(instance) +
         "#{3f1a9c27-5b04-4e8d-a2c6-7d19e0b4f3a8}";
}

inline std::shared_ptr<FakeCamera> PublishFake(const FakeSpec& spec, const std::string& pid = "0a30",
                                               int instance = 0) {
  auto cam = std::make_shared<FakeCamera>(spec);
  cvworld::World::instance().publish(cvworld::kCameraDriverClass, FakePath(pid, instance), cam);
  return cam;
}

}  // namespace linktest
