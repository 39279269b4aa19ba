// A simulated USB filter wheel behind the Win32 stand-in's HID services.
//
// It is published under cvworld::kHidClass with a HID-like device path and
// reports the maker's vendor and product identifiers. Its protocol:
// - Every output report is one write of exactly 3 bytes: report id (0),
//   action high byte, action low byte. Each is answered by one 4-byte input
//   report (id 0, position 1-based, number of filters, 0) that the next read
//   on the same handle returns. The answer describes the wheel as the
//   request found it.
// - Action 0x0000 asks for status only. Action 0x0001 re-initialises: the
//   wheel homes to position 1 and reports a count of 0 for `reinitMs`, then
//   its count. A low byte of 0 and a high byte T != 0 is a move: to position
//   T & 0x7F, the shortest way round when bit 0x80 is set, otherwise always
//   forward (1, 2, ..., N, 1, ...). A target it does not have is ignored.
// - The wheel turns one position every `slotMs` on cvsim::Clock; a new move
//   starts from wherever it is.
// - A read with no answer waiting blocks for the driver time-out
//   (`readTimeoutMs`) and fails with ERROR_SEM_TIMEOUT, so a wheel that
//   never answers holds the caller for a bounded time only.
// - Unplugged (World::unplug), every write and read fails with
//   ERROR_DEVICE_NOT_CONNECTED, also on handles opened before a replug.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "world.h"

namespace cvsim {

constexpr uint16_t kWheelVendor = 0x5A31;
constexpr uint16_t kWheelProduct = 0x0C5E;

struct WheelConfig {
  int positions = 5;                 // 5 or 7 on real wheels; any 1..127 works
  uint16_t vendor = kWheelVendor;
  uint16_t product = kWheelProduct;
  uint16_t version = 0x0100;
  int startPosition = 1;
  bool countAtPowerUp = true;        // false: reports 0 until re-initialised
  uint64_t reinitMs = 2500;          // count reads 0 this long after action 0x0001
  uint32_t slotMs = 350;             // time to turn by one position
  uint32_t writeMs = 1;              // what a write takes on the clock
  uint32_t readMs = 1;               // what a read of a waiting answer takes
  uint32_t readTimeoutMs = 5000;     // driver time-out of a read with nothing to return
};

// Faults a test can switch on at any moment.
struct WheelFaults {
  uint32_t openError = 0;            // opens are refused with this OS error
  uint32_t writeError = 0;           // writes fail with this OS error
  uint32_t readError = 0;            // reads fail with this OS error (the answer is lost)
  int replyBytes = 4;                // reads deliver only this many bytes (0..4)
  int reportedCount = -1;            // >= 0: report this count instead of the true one
  bool stuck = false;                // move requests are taken but the wheel never turns
  bool silent = false;               // writes are taken but never answered
};

// One report on the wire, as the wheel's log keeps it.
struct WheelReport {
  enum Direction { Out, In };
  Direction direction = Out;
  uint64_t tick = 0;                 // when the write or read started (64-bit clock)
  uint32_t connection = 0;
  std::vector<uint8_t> bytes;        // written, or delivered by the read
  uint32_t error = 0;                // what the call returned (0: success)
};

class SimWheel : public cvworld::Device {
 public:
  explicit SimWheel(const WheelConfig& config = WheelConfig());

  uint32_t open(uint32_t connection) override;
  void close(uint32_t connection) override;
  uint32_t write(uint32_t connection, const uint8_t* data, uint32_t length,
                 uint32_t* done) override;
  uint32_t read(uint32_t connection, uint8_t* data, uint32_t length, uint32_t* done) override;
  bool hidAttributes(uint16_t* vendor, uint16_t* product, uint16_t* version) override;
  void setUnplugged(bool unplugged) override;

  const WheelConfig& config() const { return config_; }
  void setFaults(const WheelFaults& faults);
  WheelFaults faults() const;

  // Where the wheel is now (1-based) and whether it is turning.
  int position() const;
  bool moving() const;
  // The count it would report now (0 while re-initialising).
  int reportedCount() const;
  int openConnections() const;

  std::vector<WheelReport> log() const;
  // Only the output reports, or only the status queries (00 00 00).
  std::vector<WheelReport> outputs() const;
  std::vector<WheelReport> statusQueries() const;
  void clearLog();

 private:
  int PositionAt(uint64_t now) const;  // callers hold mutex_
  int CountAt(uint64_t now) const;
  void Settle(uint64_t now);
  void StartMove(uint8_t targetByte, uint64_t now);

  WheelConfig config_;
  mutable std::mutex mutex_;
  WheelFaults faults_;
  bool unplugged_ = false;
  // Motion: from origin_ at motionStart_, steps_ positions in direction dir_.
  int origin_ = 1;
  int dir_ = 1;
  int steps_ = 0;
  uint64_t motionStart_ = 0;
  bool hasCount_ = true;
  uint64_t reinitUntil_ = 0;
  std::set<uint32_t> open_;
  std::set<uint32_t> dead_;            // opened before an unplug
  std::map<uint32_t, std::deque<std::vector<uint8_t>>> answers_;
  std::vector<WheelReport> log_;
};

// A HID-like device path for a vendor, product and instance number.
std::string HidDevicePath(uint16_t vendor, uint16_t product, int instance);

// Publishes a simulated wheel under the HID class at HidDevicePath(...).
std::shared_ptr<SimWheel> AttachWheel(const WheelConfig& config = WheelConfig(), int instance = 0);

// Another HID device (a keyboard, the maker's other products): it can be
// opened, answers no report, and reports its identifiers unless told not to.
class PlainHidDevice : public cvworld::Device {
 public:
  PlainHidDevice(uint16_t vendor, uint16_t product, bool hasAttributes = true,
                 uint32_t openError = 0)
      : vendor_(vendor), product_(product), hasAttributes_(hasAttributes), openError_(openError) {}
  uint32_t open(uint32_t) override { return openError_; }
  uint32_t write(uint32_t, const uint8_t*, uint32_t, uint32_t* done) override;
  uint32_t read(uint32_t, uint8_t*, uint32_t, uint32_t* done) override;
  bool hidAttributes(uint16_t* vendor, uint16_t* product, uint16_t* version) override;
  int writes() const { return writes_; }

 private:
  uint16_t vendor_;
  uint16_t product_;
  bool hasAttributes_;
  uint32_t openError_;
  int writes_ = 0;
};

std::shared_ptr<PlainHidDevice> AttachPlainHid(uint16_t vendor, uint16_t product, int instance = 0,
                                               bool hasAttributes = true, uint32_t openError = 0);

}  // namespace cvsim
