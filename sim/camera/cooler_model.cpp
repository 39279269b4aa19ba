// The simulated thermo-electric cooler. Time is integrated lazily: every
// call first carries the temperature forward from the last call to nowMs.
#include "cooler_model.h"

#include <algorithm>
#include <cmath>

namespace cvsim {

namespace {
int ToCount(double celsius) {
  const double c = (celsius + 273.0) * 10.0;
  if (!(c >= 0.0)) return 0;
  if (c >= 32767.0) return 32767;
  return static_cast<int>(c);
}
}  // namespace

CoolerModel::CoolerModel() : CoolerModel(Params{}) {}

CoolerModel::CoolerModel(const Params& params)
    : params_(params), temperatureC_(params.ambientC), setpointC_(params.ambientC) {}

double CoolerModel::floorC() const { return params_.ambientC - params_.maxDepthC; }

double CoolerModel::targetC() const {
  return on_ ? std::max(setpointC_, floorC()) : params_.ambientC;
}

void CoolerModel::advanceTo(uint64_t nowMs) {
  if (!started_) {
    started_ = true;
    lastMs_ = nowMs;
    return;
  }
  if (nowMs <= lastMs_) return;  // time never runs backward here
  const double seconds = static_cast<double>(nowMs - lastMs_) / 1000.0;
  lastMs_ = nowMs;
  // On, the cooler pulls toward its target (never below what it can reach)
  // and, above ambient, lets the heat in no faster than when off; off, the
  // CCD drifts back to ambient.
  const double target = targetC();
  const double rate = on_ && target < temperatureC_ ? params_.coolRateCPerS
                                                    : params_.warmRateCPerS;
  const double step = rate * seconds;
  if (temperatureC_ > target)
    temperatureC_ = std::max(target, temperatureC_ - step);
  else
    temperatureC_ = std::min(target, temperatureC_ + step);
}

void CoolerModel::setpoint(uint16_t count, bool on, uint64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  advanceTo(nowMs);
  setpointC_ = (static_cast<int>(count & 0x7FFF) - 2730) / 10.0;
  on_ = on;
}

void CoolerModel::reply(uint8_t out[3], uint64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  advanceTo(nowMs);
  const int count = ToCount(temperatureC_);
  out[0] = static_cast<uint8_t>(count & 0xFF);
  out[1] = static_cast<uint8_t>((count >> 8) & 0x7F);
  out[2] = regulatingLocked() ? 1 : 0;
}

bool CoolerModel::regulatingLocked() const {
  return on_ && std::fabs(temperatureC_ - setpointC_) <= params_.regulatedBandC;
}

bool CoolerModel::regulating(uint64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  advanceTo(nowMs);
  return regulatingLocked();
}

double CoolerModel::temperature(uint64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  advanceTo(nowMs);
  return temperatureC_;
}

double CoolerModel::setpointC() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return setpointC_;
}

bool CoolerModel::on() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return on_;
}

}  // namespace cvsim
