// A thermo-electric cooler as the simulated camera has it: with the cooler
// on the CCD moves toward the setpoint at a limited rate and cannot go more
// than a fixed depth below ambient; off, it drifts back to ambient.
#pragma once

#include <cstdint>
#include <mutex>

namespace cvsim {

class CoolerModel {
 public:
  struct Params {
    double ambientC = 20.0;
    double maxDepthC = 40.0;       // coldest reachable: ambient - maxDepth
    double coolRateCPerS = 0.1;    // how fast it moves toward the setpoint
    double warmRateCPerS = 0.05;   // how fast it drifts back when off
    double regulatedBandC = 0.3;   // status byte 1 while within this of the setpoint
  };
  CoolerModel();
  explicit CoolerModel(const Params& params);

  // A request 30 (setpoint count in tenths of a kelvin with offset 273.0,
  // on flag) or a request 31 (poll only), at time nowMs.
  void setpoint(uint16_t count, bool on, uint64_t nowMs);
  // The 3-byte reply: temperature count little-endian, then status.
  void reply(uint8_t out[3], uint64_t nowMs);
  // The CCD temperature at nowMs, degrees Celsius.
  double temperature(uint64_t nowMs);
  bool on() const;
  // Whether the status byte of a reply at nowMs would be 1: on, and within
  // the regulated band of the setpoint.
  bool regulating(uint64_t nowMs);
  // The setpoint last commanded, degrees Celsius (ambient before any).
  double setpointC() const;
  const Params& params() const { return params_; }

 private:
  void advanceTo(uint64_t nowMs);
  double floorC() const;
  double targetC() const;
  bool regulatingLocked() const;
  Params params_;
  mutable std::mutex mutex_;
  double temperatureC_;
  double setpointC_;
  bool on_ = false;
  uint64_t lastMs_ = 0;
  bool started_ = false;
};

}  // namespace cvsim
