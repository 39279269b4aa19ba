// A simulated camera of the maker's, standing in for the USB camera driver
// and the camera behind it: it is published under the driver's interface
// class with a device path that carries its vendor and product identifiers,
// and it is opened, written and read through the stand-in's handles.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "world.h"

namespace cvsim {

// One camera model, as the simulated firmware describes itself.
struct SensorSpec {
  std::string productKey;  // the 4 hexadecimal digits after PID_
  std::string name;
  int model = 0;           // model code the camera reports
  uint16_t width = 0;      // pixels
  uint16_t height = 0;     // lines of one read: one field's lines when interlaced
  uint8_t bitsPerPixel = 16;
  uint8_t capabilities = 0;  // guide port 0x01, guide head 0x08, cooler 0x10, shutter 0x20
  bool interlaced = false;
  uint16_t guideWidth = 0;   // guide head, when capabilities has 0x08
  uint16_t guideHeight = 0;
  uint32_t firmware = 0x00010203;
};

// Every model of the maker's product table, keyed by product identifier.
const std::vector<SensorSpec>& Catalogue();
// The spec for a product identifier (either letter case), or null.
const SensorSpec* FindSensor(const std::string& productKey);

// One block written to the camera, as its log keeps it.
struct LoggedWrite {
  uint64_t tick;
  uint32_t connection;
  std::vector<uint8_t> bytes;
};

class SimCamera : public cvworld::Device {
 public:
  explicit SimCamera(const SensorSpec& spec);

  const SensorSpec& spec() const { return spec_; }

  // Refuse every open with this OS error code (0 to accept again).
  void refuseOpen(uint32_t error);

  std::vector<LoggedWrite> writes() const;
  void clearLog();

  // cvworld::Device
  uint32_t open(uint32_t connection) override;
  void close(uint32_t connection) override;
  uint32_t write(uint32_t connection, const uint8_t* data, uint32_t length,
                 uint32_t* done) override;
  uint32_t read(uint32_t connection, uint8_t* data, uint32_t length, uint32_t* done) override;
  void setUnplugged(bool unplugged) override;

 private:
  SensorSpec spec_;
  mutable std::mutex mutex_;
  uint32_t refuseOpen_ = 0;
  bool unplugged_ = false;
  std::vector<LoggedWrite> writes_;
};

// The device path a camera of this product gets, in the driver's lower case,
// with `instance` making it unique.
std::string CameraDevicePath(const std::string& productKey, int instance);

// Creates a camera of the given product and publishes it in the world.
std::shared_ptr<SimCamera> AttachCamera(const std::string& productKey, int instance = 0);

}  // namespace cvsim
