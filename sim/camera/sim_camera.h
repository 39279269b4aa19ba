// A simulated camera of the maker's, standing in for the USB camera driver
// and the camera behind it: it is published under the driver's interface
// class with a device path that carries its vendor and product identifiers,
// and it is opened, written and read through the stand-in's handles.
//
// What the camera does, in short (details beside the code):
// - Commands are 8-byte setup blocks, some with a payload in the same write.
//   Commands with a reply (model, parameters, firmware, timer, cooler,
//   shutter) leave it for the next read on the same handle; a new command on
//   that handle discards a reply that was never read.
// - Read requests (2: delayed, 3: now) queue pixel data. The data come out
//   of one bulk pipe shared by all handles, in request order, each request's
//   data as one block: a read returns at most what is left of the block at
//   the head of the queue and never runs into the next one. The transfer
//   takes bytes / rate (40 MB/s by default), rounded up to whole
//   milliseconds, on cvsim::Clock; transfers on the pipe do not overlap.
// - A read with nothing to return waits the driver time-out (5000 ms by
//   default) on the clock and fails with ERROR_SEM_TIMEOUT.
// - Charge: each field (or the whole sensor when progressive, and the guide
//   head) integrates from its last wipe or read. Light comes from a Scene,
//   through the shutter (imaging CCD of a camera with a shutter only) and
//   moved by the guide relays; the sample is Digitize(NoiseModel, ...).
//   A read now collects the charge at the request; a delayed read restarts
//   its field(s) at the request and collects them when the camera's timer
//   runs out (request + delay; a set-timer replaces the time left of the
//   oldest pending delayed read). Field selectors 1 and 2 read one field of
//   an interlaced sensor, 3 both at once (each delivered line the sum of a
//   line pair); on a progressive sensor and the guide head every selector
//   reads the whole sensor.
// - Guiding: while relay 0x08 is on the sky moves toward increasing columns
//   at the guide rate, 0x01 toward decreasing columns, 0x04 toward
//   increasing rows, 0x02 toward decreasing rows; opposite lines cancel.
// - Reset (request 6) drops the unread data of the handle that sends it,
//   not the other handle's; closing a handle does the same. Requests the
//   camera cannot serve (no guide head, a bad field selector, more than
//   256 MiB) are accepted but queue nothing, and are logged as not
//   understood; a write shorter than a setup block, or a read request
//   without its payload, fails with ERROR_GEN_FAILURE.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cooler_model.h"
#include "scene.h"
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

// Every model of the maker's product table. Several models share a product
// identifier; FindSensor gives the first of them, as the plug-in's table does.
const std::vector<SensorSpec>& Catalogue();
// The sensor of a product identifier (either letter case), or null.
const SensorSpec* FindSensor(const std::string& productKey);
// The first spec reporting this model code, or null.
const SensorSpec* FindSensorByModel(int model);

// Frame rows of the imaging CCD: twice the reported lines when interlaced.
int FrameHeight(const SensorSpec& spec);

// A read request as the camera decodes it (requests 2 and 3).
struct ReadRequest {
  bool delayed = false;     // request 2
  uint8_t field = 3;        // 1, 2 or 3 (value, low byte)
  uint8_t sensor = 0;       // 0 imaging CCD, 1 guide head (index, low byte)
  uint16_t x = 0;           // left edge, unbinned pixels
  uint16_t y = 0;           // top edge, unbinned lines of one read
  uint16_t widthField = 0;  // unbinned extent as sent (model 89 and 90: see below)
  uint16_t heightField = 0;
  uint8_t xBin = 1;
  uint8_t yBin = 1;
  uint32_t delayMs = 0;     // request 2 only

  // Decodes a whole message (block and payload); false when it is not one.
  static bool Parse(const uint8_t* bytes, size_t length, ReadRequest* out);
  // The message the plug-in writes for this request (18 or 22 bytes).
  std::vector<uint8_t> Encode() const;
};

// How a request is delivered on a given camera: samples per line, lines,
// bytes per sample. Bins of 0 count as 1.
struct Delivery {
  uint32_t samplesPerLine = 0;  // widthField / xBin
  uint32_t lines = 0;           // heightField / yBin
  uint32_t bytesPerSample = 2;  // 1 for the guide head
  uint64_t bytes() const { return uint64_t(samplesPerLine) * lines * bytesPerSample; }
};
Delivery DeliveryOf(const SensorSpec& spec, const ReadRequest& request);

// Test pattern. Each delivered sample of the imaging CCD is
//   PatternSample(field, R, C) = (C & 0x0FFF) | ((R & 7) << 12) | (field == 2 ? 0x8000 : 0)
// where (R, C) are the sample's binned coordinates in the frame that the host
// sees (rows counting both fields, 0 at the top; C = x / xBin + column of the
// delivered area), and field is 1 or 2 for a read of one field of an
// interlaced sensor, 0 otherwise (progressive sensors, the guide head, and a
// read of both fields at once, where R is the first row of the line pair).
// So the column is decodable up to 4095 (a 3032-wide sensor fits) and the
// row modulo 8. The guide head delivers one byte per sample:
//   GuidePatternByte(R, C) = ((R & 15) << 4) | (C & 15).
uint16_t PatternSample(int field, int row, int column);
uint8_t GuidePatternByte(int row, int column);

// The bytes a request delivers in test-pattern mode. Depends only on the
// camera's geometry, so tests can predict every byte.
std::vector<uint8_t> PatternDelivery(const SensorSpec& spec, const ReadRequest& request);

// Integration windows of a readout, on the 64-bit clock scale: field f
// (index 0 for field 1 or a progressive sensor, 1 for field 2) collected
// light from start[f] to end.
struct FieldWindows {
  uint64_t start[2] = {0, 0};
  uint64_t end = 0;
};

// One block written to the camera, as its log keeps it.
struct LoggedWrite {
  uint64_t tick;
  uint32_t connection;
  std::vector<uint8_t> bytes;
  uint32_t error = 0;      // what the write returned (0: accepted)
  bool understood = true;  // a command of the table with its proper layout
};

// One read of the camera.
struct LoggedRead {
  enum Source { Nothing, Reply, Pixels };
  uint64_t tick = 0;        // when the read was made
  uint64_t endTick = 0;     // when it returned
  uint32_t connection = 0;
  uint32_t asked = 0;
  uint32_t delivered = 0;
  uint32_t error = 0;
  Source source = Nothing;
  uint32_t requester = 0;   // connection that wrote the request of these pixels
  uint64_t requestIndex = 0;  // Readout::index of these pixels
};

// One readout of the CCD: a read request whose charge was collected.
struct Readout {
  uint64_t index = 0;        // 1, 2, ... in request order
  uint32_t connection = 0;   // who wrote the request
  ReadRequest request;
  uint64_t requestTick = 0;
  uint64_t readoutTick = 0;  // when the charge was collected (request + delay for request 2)
  FieldWindows windows;
  uint64_t bytes = 0;
  double temperatureC = 0;
};

class SimCamera : public cvworld::Device {
 public:
  explicit SimCamera(const SensorSpec& spec);

  const SensorSpec& spec() const { return spec_; }

  // Refuse every open with this OS error code (0 to accept again).
  void refuseOpen(uint32_t error);

  // Logs.
  std::vector<LoggedWrite> writes() const;
  std::vector<LoggedWrite> writes(uint32_t connection) const;
  std::vector<LoggedRead> reads() const;
  std::vector<Readout> readouts() const;
  void clearLog();
  // Connections (handles) ever opened on this camera, in order.
  std::vector<uint32_t> connections() const;

  // Transport and sensor settings.
  void setTransferRate(double bytesPerSecond);  // default 40e6
  void setDriverTimeout(uint32_t ms);           // default 5000
  void setGuideRate(double pixelsPerSecond);    // default 5 pixels per second per line
  void setTestPattern(bool on);                 // pattern instead of sky and noise
  void setNoise(const NoiseModel& noise);       // enabled = false: "sky without noise"
  NoiseModel noise() const;
  void setSky(const SkyParams& params);         // MakeSky for both sensors (guide head: seed + 1)
  // Replace the scenes; a null guide scene keeps the guide head's.
  void setScene(std::shared_ptr<const Scene> imaging, std::shared_ptr<const Scene> guide = nullptr);
  CoolerModel& cooler() { return cooler_; }

  // State as the camera has it now.
  uint8_t relayMask() const;
  bool shutterOpen() const;
  size_t queuedReadouts() const;  // requests whose data have not been read whole
  // Where guiding has moved the sky on the sensor at time ms, in pixels.
  void skyShift(uint64_t ms, double* dx, double* dy) const;

  // What a request returns when its fields collected light over `windows`,
  // with the camera's present scene, noise, shutter and relay history, and
  // the cooler's temperature at windows.end; in test-pattern mode the
  // pattern. This is how the camera itself makes the data of a readout.
  std::vector<uint8_t> predict(const ReadRequest& request, const FieldWindows& windows,
                               uint64_t readIndex = 0) const;

  // Fault injection. `nth` counts from now: 1 is the next write or read.
  // A failed write is not acted on. A failed read returns nothing, and the
  // block it was reading (reply or pixel data) is dropped, as a driver
  // flushes its pipe after a failed transfer.
  void failWrite(int nth = 1, uint32_t error = cvworld::err::genFailure);
  void failRead(int nth = 1, uint32_t error = cvworld::err::genFailure);
  // The nth read from now delivers at most maxBytes; the rest stays queued.
  void shortenRead(int nth, uint32_t maxBytes);
  // A silent camera accepts writes but every read waits the driver time-out
  // and fails with ERROR_SEM_TIMEOUT.
  void stopAnswering(bool silent);
  void clearFaults();

  // cvworld::Device
  uint32_t open(uint32_t connection) override;
  void close(uint32_t connection) override;
  uint32_t write(uint32_t connection, const uint8_t* data, uint32_t length,
                 uint32_t* done) override;
  uint32_t read(uint32_t connection, uint8_t* data, uint32_t length, uint32_t* done) override;
  // Unplugged, every I/O fails with ERROR_DEVICE_NOT_CONNECTED and opens are
  // refused; the camera loses power, so queued data and replies are gone.
  // Handles that were open stay dead after a replug: only new opens work.
  void setUnplugged(bool unplugged) override;

 private:
  struct Connection {
    bool dead = false;
    bool hasReply = false;
    std::vector<uint8_t> reply;
  };
  struct Job {
    Readout record;
    bool settled = false;       // charge collected, data made
    std::vector<uint8_t> data;
    size_t offset = 0;          // bytes already delivered
  };
  struct RelayEvent {
    uint64_t tick;
    uint8_t mask;
    double dx, dy;  // sky shift at tick
  };
  struct ShiftSample {
    double dx, dy, seconds;
  };
  struct Fault {
    uint64_t at;
    uint32_t value;
  };

  // All private members below run with mutex_ held.
  void settle(uint64_t now);
  void collect(Job& job);
  void restartField(int sensor, int fieldIndex, uint64_t tick);
  void dispatch(uint32_t connection, const uint8_t* data, uint32_t length, uint64_t now,
                uint32_t* error, bool* understood);
  void setReply(uint32_t connection, std::vector<uint8_t> bytes);
  void powerLoss();
  std::vector<uint8_t> render(const ReadRequest& request, const FieldWindows& windows,
                              uint64_t readIndex) const;
  std::vector<ShiftSample> samplesFor(int sensor, uint64_t from, uint64_t to) const;
  bool lightFalls(int sensor, uint64_t tick) const;
  void shiftAt(uint64_t ms, double* dx, double* dy) const;
  void velocity(uint8_t mask, double* vx, double* vy) const;
  const Scene& sceneFor(int sensor) const;
  bool consumeFault(std::vector<Fault>& faults, uint64_t index, uint32_t* value);
  void prune();
  void logRead(const LoggedRead& r) { reads_.push_back(r); }

  SensorSpec spec_;
  mutable std::mutex mutex_;
  uint32_t refuseOpen_ = 0;
  bool unplugged_ = false;
  std::vector<LoggedWrite> writes_;
  std::vector<LoggedRead> reads_;
  std::vector<Readout> readouts_;
  std::vector<uint32_t> connectionOrder_;
  std::map<uint32_t, Connection> connections_;
  std::deque<Job> queue_;
  uint64_t nextReadout_ = 1;
  uint64_t busUntil_ = 0;

  double bytesPerSecond_ = 40e6;
  uint32_t timeoutMs_ = 5000;
  double guideRate_ = 5.0;
  bool testPattern_ = false;
  NoiseModel noise_;
  SkyParams sky_;
  mutable std::shared_ptr<const Scene> scene_[2];  // made on first use
  // The scene's rate per unbinned pixel at a fixed shift, filled as pixels
  // are asked for (NaN: not yet), so that unguided readouts ask the scene
  // once per pixel and camera.
  struct RateMap {
    double dx, dy;
    std::vector<double> rate;
  };
  mutable std::vector<RateMap> rateMaps_[2];
  RateMap& rateMap(int sensor, double dx, double dy) const;

  // Field integration starts: [sensor][field index].
  uint64_t fieldStart_[2][2] = {{0, 0}, {0, 0}};
  std::vector<RelayEvent> relays_;
  std::vector<std::pair<uint64_t, bool>> shutter_;  // (tick, open)

  uint64_t writeCount_ = 0;
  uint64_t readCount_ = 0;
  std::vector<Fault> failWrites_, failReads_, shortReads_;
  bool silent_ = false;

  mutable CoolerModel cooler_;  // locks itself
};

// The device path a camera of this product gets, in the driver's lower case,
// with `instance` making it unique.
std::string CameraDevicePath(const std::string& productKey, int instance);

// Creates a camera of the given product and publishes it in the world.
std::shared_ptr<SimCamera> AttachCamera(const std::string& productKey, int instance = 0);
// The same for a given spec (a model the catalogue lists under a shared
// product identifier, or a custom geometry).
std::shared_ptr<SimCamera> AttachCamera(const SensorSpec& spec, int instance);

}  // namespace cvsim
