#include "sim_wheel.h"

#include <algorithm>
#include <cstdio>

#include "clock.h"

namespace cvsim {

namespace {
// OS error codes, as the system defines them.
constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kSemTimeout = 121;
constexpr uint32_t kDeviceNotConnected = 1167;
// Input reports a handle buffers before the oldest is dropped, as the HID
// driver's ring buffer does.
constexpr size_t kAnswerQueue = 32;

uint64_t Now() { return Clock::instance().nowMs(); }
}  // namespace

SimWheel::SimWheel(const WheelConfig& config) : config_(config) {
  if (config_.positions < 1) config_.positions = 1;
  if (config_.positions > 127) config_.positions = 127;
  origin_ = std::clamp(config_.startPosition, 1, config_.positions);
  hasCount_ = config_.countAtPowerUp;
}

int SimWheel::PositionAt(uint64_t now) const {
  if (now < reinitUntil_ || steps_ == 0 || now < motionStart_) return origin_;
  uint64_t k = config_.slotMs ? (now - motionStart_) / config_.slotMs : uint64_t(steps_);
  k = std::min<uint64_t>(k, static_cast<uint64_t>(steps_));
  int n = config_.positions;
  return ((origin_ - 1 + dir_ * static_cast<int>(k)) % n + n) % n + 1;
}

int SimWheel::CountAt(uint64_t now) const {
  if (faults_.reportedCount >= 0) return faults_.reportedCount & 0xFF;
  if (!hasCount_ || now < reinitUntil_) return 0;
  return config_.positions;
}

// Makes the wheel's present position its new origin, ending a finished move
// or stopping one in progress at the position it has reached.
void SimWheel::Settle(uint64_t now) {
  if (now < reinitUntil_) return;
  origin_ = PositionAt(now);
  steps_ = 0;
  motionStart_ = now;
}

void SimWheel::StartMove(uint8_t targetByte, uint64_t now) {
  int goal = targetByte & 0x7F;
  int n = config_.positions;
  if (goal < 1 || goal > n || faults_.stuck || now < reinitUntil_) return;
  Settle(now);
  int forward = (goal - origin_ + n) % n;
  if ((targetByte & 0x80) && forward > n / 2) {
    dir_ = -1;
    steps_ = n - forward;
  } else {
    dir_ = 1;
    steps_ = forward;
  }
  motionStart_ = now;
}

uint32_t SimWheel::open(uint32_t connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (unplugged_) return kDeviceNotConnected;
  if (faults_.openError) return faults_.openError;
  open_.insert(connection);
  return 0;
}

void SimWheel::close(uint32_t connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  open_.erase(connection);
  dead_.erase(connection);
  answers_.erase(connection);
}

uint32_t SimWheel::write(uint32_t connection, const uint8_t* data, uint32_t length,
                         uint32_t* done) {
  *done = 0;
  uint64_t start = Now();
  uint32_t error = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    WheelReport entry;
    entry.direction = WheelReport::Out;
    entry.tick = start;
    entry.connection = connection;
    if (data) entry.bytes.assign(data, data + length);
    if (unplugged_ || dead_.count(connection)) {
      error = kDeviceNotConnected;
    } else if (faults_.writeError) {
      error = faults_.writeError;
    } else if (length != 3 || data == nullptr) {
      // The output report is 3 bytes long; the driver refuses other sizes.
      error = kInvalidParameter;
    } else {
      uint16_t action = static_cast<uint16_t>((data[1] << 8) | data[2]);
      // The answer shows the wheel as the request found it.
      std::vector<uint8_t> answer = {0, static_cast<uint8_t>(PositionAt(start)),
                                     static_cast<uint8_t>(CountAt(start)), 0};
      if (action == 0x0001) {
        Settle(start);
        origin_ = 1;
        hasCount_ = true;
        reinitUntil_ = start + config_.reinitMs;
        if (reinitUntil_ < start) reinitUntil_ = UINT64_MAX;
      } else if (data[2] == 0 && data[1] != 0) {
        StartMove(data[1], start);
      }
      if (!faults_.silent) {
        auto& queue = answers_[connection];
        queue.push_back(answer);
        while (queue.size() > kAnswerQueue) queue.pop_front();
      }
      *done = 3;
    }
    entry.error = error;
    log_.push_back(entry);
  }
  if (error == 0 && config_.writeMs) Clock::instance().waitUntil(start + config_.writeMs);
  return error;
}

uint32_t SimWheel::read(uint32_t connection, uint8_t* data, uint32_t length, uint32_t* done) {
  *done = 0;
  uint64_t start = Now();
  uint32_t error = 0;
  uint64_t until = start;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    WheelReport entry;
    entry.direction = WheelReport::In;
    entry.tick = start;
    entry.connection = connection;
    auto it = answers_.find(connection);
    if (unplugged_ || dead_.count(connection)) {
      error = kDeviceNotConnected;
    } else if (it == answers_.end() || it->second.empty()) {
      error = kSemTimeout;
      until = start + config_.readTimeoutMs;
    } else {
      std::vector<uint8_t> answer = it->second.front();
      it->second.pop_front();
      until = start + config_.readMs;
      if (faults_.readError) {
        error = faults_.readError;
      } else {
        uint32_t n = static_cast<uint32_t>(std::clamp(faults_.replyBytes, 0, 4));
        n = std::min(n, length);
        if (data == nullptr) n = 0;
        std::copy(answer.begin(), answer.begin() + n, data);
        entry.bytes.assign(answer.begin(), answer.begin() + n);
        *done = n;
      }
    }
    entry.error = error;
    log_.push_back(entry);
  }
  if (until > start) Clock::instance().waitUntil(until);
  return error;
}

bool SimWheel::hidAttributes(uint16_t* vendor, uint16_t* product, uint16_t* version) {
  *vendor = config_.vendor;
  *product = config_.product;
  *version = config_.version;
  return true;
}

void SimWheel::setUnplugged(bool unplugged) {
  std::lock_guard<std::mutex> lock(mutex_);
  unplugged_ = unplugged;
  if (unplugged) {
    // Handles of the old plug-in session never work again.
    dead_.insert(open_.begin(), open_.end());
    answers_.clear();
  }
}

void SimWheel::setFaults(const WheelFaults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_ = faults;
}

WheelFaults SimWheel::faults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

int SimWheel::position() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return PositionAt(Now());
}

bool SimWheel::moving() const {
  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t now = Now();
  if (now < reinitUntil_) return true;
  if (steps_ == 0 || config_.slotMs == 0) return false;
  return now < motionStart_ || (now - motionStart_) / config_.slotMs < uint64_t(steps_);
}

int SimWheel::reportedCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return CountAt(Now());
}

int SimWheel::openConnections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(open_.size());
}

std::vector<WheelReport> SimWheel::log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

std::vector<WheelReport> SimWheel::outputs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<WheelReport> out;
  for (const auto& r : log_)
    if (r.direction == WheelReport::Out) out.push_back(r);
  return out;
}

std::vector<WheelReport> SimWheel::statusQueries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<WheelReport> out;
  for (const auto& r : log_)
    if (r.direction == WheelReport::Out && r.bytes == std::vector<uint8_t>{0, 0, 0})
      out.push_back(r);
  return out;
}

void SimWheel::clearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.clear();
}

std::string HidDevicePath(uint16_t vendor, uint16_t product, int instance) {
  char path[160];
  std::snprintf(path, sizeof path,
                "\\\\?\\hid#vid_%04x&pid_%04x#7&2b4c91e&0&%04d#"
                "{4d1e55b2-f16f-11cf-88cb-001111000030}",
                vendor, product, instance);
  return path;
}

std::shared_ptr<SimWheel> AttachWheel(const WheelConfig& config, int instance) {
  auto wheel = std::make_shared<SimWheel>(config);
  cvworld::World::instance().publish(cvworld::kHidClass,
                                     HidDevicePath(config.vendor, config.product, instance), wheel);
  return wheel;
}

uint32_t PlainHidDevice::write(uint32_t, const uint8_t*, uint32_t length, uint32_t* done) {
  ++writes_;
  *done = length;
  return 0;
}

uint32_t PlainHidDevice::read(uint32_t, uint8_t*, uint32_t, uint32_t* done) {
  *done = 0;
  return kSemTimeout;
}

bool PlainHidDevice::hidAttributes(uint16_t* vendor, uint16_t* product, uint16_t* version) {
  if (!hasAttributes_) return false;
  *vendor = vendor_;
  *product = product_;
  *version = 0x0001;
  return true;
}

std::shared_ptr<PlainHidDevice> AttachPlainHid(uint16_t vendor, uint16_t product, int instance,
                                               bool hasAttributes, uint32_t openError) {
  auto device = std::make_shared<PlainHidDevice>(vendor, product, hasAttributes, openError);
  cvworld::World::instance().publish(cvworld::kHidClass, HidDevicePath(vendor, product, instance),
                                     device);
  return device;
}

}  // namespace cvsim
