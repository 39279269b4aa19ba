#include "sim_camera.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "clock.h"

namespace cvsim {

SimCamera::SimCamera(const SensorSpec& spec) : spec_(spec) {}

void SimCamera::refuseOpen(uint32_t error) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuseOpen_ = error;
}

std::vector<LoggedWrite> SimCamera::writes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writes_;
}

void SimCamera::clearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  writes_.clear();
}

uint32_t SimCamera::open(uint32_t) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (unplugged_) return cvworld::err::fileNotFound;
  return refuseOpen_;
}

void SimCamera::close(uint32_t) {}

uint32_t SimCamera::write(uint32_t connection, const uint8_t* data, uint32_t length,
                          uint32_t* done) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (unplugged_) return cvworld::err::deviceNotConnected;
  writes_.push_back({Clock::instance().nowMs(), connection,
                     std::vector<uint8_t>(data, data + length)});
  *done = length;
  return cvworld::err::ok;
}

uint32_t SimCamera::read(uint32_t, uint8_t*, uint32_t, uint32_t* done) {
  *done = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (unplugged_) return cvworld::err::deviceNotConnected;
  return cvworld::err::genFailure;
}

void SimCamera::setUnplugged(bool unplugged) {
  std::lock_guard<std::mutex> lock(mutex_);
  unplugged_ = unplugged;
}

std::string CameraDevicePath(const std::string& productKey, int instance) {
  std::string pid = productKey;
  std::transform(pid.begin(), pid.end(), pid.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  char buf[128];
  std::snprintf(buf, sizeof buf,
                "\\\\?\\usb#vid_5a31&pid_%s#cv%04d#{3f1a9c27-5b04-4e8d-a2c6-7d19e0b4f3a8}",
                pid.c_str(), instance);
  return buf;
}

std::shared_ptr<SimCamera> AttachCamera(const std::string& productKey, int instance) {
  const SensorSpec* spec = FindSensor(productKey);
  SensorSpec custom;
  if (spec == nullptr) {
    // A product the catalogue does not know: a plain progressive camera.
    custom.productKey = productKey;
    custom.name = "Unknown";
    custom.width = 640;
    custom.height = 480;
    spec = &custom;
  }
  auto camera = std::make_shared<SimCamera>(*spec);
  cvworld::World::instance().publish(cvworld::kCameraDriverClass,
                                     CameraDevicePath(spec->productKey, instance), camera);
  return camera;
}

}  // namespace cvsim
