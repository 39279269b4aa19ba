#include "cooler_model.h"

namespace cvsim {

CoolerModel::CoolerModel() : CoolerModel(Params{}) {}

CoolerModel::CoolerModel(const Params& params)
    : params_(params), temperatureC_(params.ambientC), setpointC_(params.ambientC) {}

void CoolerModel::advanceTo(uint64_t nowMs) {
  started_ = true;
  lastMs_ = nowMs;
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
  int count = static_cast<int>((temperatureC_ + 273.0) * 10.0);
  out[0] = static_cast<uint8_t>(count & 0xFF);
  out[1] = static_cast<uint8_t>((count >> 8) & 0x7F);
  out[2] = 0;
}

double CoolerModel::temperature(uint64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  advanceTo(nowMs);
  return temperatureC_;
}

bool CoolerModel::on() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return on_;
}

}  // namespace cvsim
