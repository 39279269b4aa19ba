// The thermo-electric cooler: setpoint and on/off out, CCD temperature and a
// regulating flag back, all in one 8-byte command with a 3-byte reply.
#include <cstring>

#include "CCamAPIDll.h"
#include "command_block.h"
#include "module_state.h"

namespace {
constexpr uint16_t kCoolerOnBit = 0x8000;
constexpr uint16_t kCountMask = 0x7FFF;
constexpr double kCountOffsetC = 273.0;
constexpr int kCountOffset = 2730;
constexpr double kMaxReportedC = 45.0;
constexpr double kBandC = 0.5;
constexpr char kIdleText[] = ".....";
const char* const kSpinnerText[8] = {"|....", ".|...", "..|..", "...|.",
                                     "....|", "...|.", "..|..", ".|..."};

// Celsius to the wire's count of tenths of a kelvin. The count has 15 bits;
// anything outside them is held at the nearest end, so that a silly setpoint
// can never reach bit 15, which is the cooler-on bit. Below absolute zero
// that gives count 0, which the camera takes as a poll: the cooler is not
// switched on, just as for a setpoint of exactly -273.0.
uint16_t EncodeSetpoint(double celsius) {
  const double count = (celsius + kCountOffsetC) * 10.0;
  if (!(count >= 0.0)) return 0;  // also NaN
  if (count >= static_cast<double>(kCountMask)) return kCountMask;
  return static_cast<uint16_t>(static_cast<int>(count));
}

double DecodeTemperature(uint16_t word) {
  return (static_cast<int>(word & kCountMask) - kCountOffset) / 10.0;
}

// Copies at most size - 1 characters and always terminates when there is
// room for the terminator; a missing or empty buffer gets nothing.
void CopyStatusText(char* out, int size, const char* text) {
  if (!out || size <= 0) return;
  size_t n = std::strlen(text);
  if (n > static_cast<size_t>(size) - 1) n = static_cast<size_t>(size) - 1;
  std::memcpy(out, text, n);
  out[n] = '\0';
}
}  // namespace

uint16_t CCamAPIDll::ProcessCooler(uint16_t word) {
  const uint16_t count = word & kCountMask;
  const uint16_t on = (count != 0 && (word & kCoolerOnBit)) ? 1 : 0;
  CommandBlock b;
  b.requestType = 0xC0;
  b.request = count ? kReqCoolerSetpoint : kReqCoolerPoll;
  b.value = count;
  b.index = static_cast<uint16_t>(on | (on << 8));
  unsigned char bytes[8];
  b.encode(bytes);
  unsigned char reply[3];
  // A failed write leaves the reply zeroed, which decodes to the word 0; a
  // short reply decodes whatever arrived.
  Exchange(bytes, 8, reply, 3);
  uint16_t result = static_cast<uint16_t>((reply[0] | (reply[1] << 8)) & kCountMask);
  if (reply[2]) result |= kCoolerOnBit;
  return result;
}

int CCamAPIDll::CCRegulateTemp(int& coolerOn, const double& setpoint) {
  m_setpoint = setpoint;
  m_coolerOn = m_attachedGuider ? 0 : coolerOn;
  m_ccdTemperature = 20.0;
  if (!m_hasCooler || m_attachedGuider) {
    m_coolerOn = 0;
    coolerOn = 0;
    return 0;
  }
  // Keep off the camera while image data are outstanding on it.
  if (m_delayedReadPending || m_readInProgress || g_readLock.load()) return 0;
  uint16_t word = EncodeSetpoint(setpoint);
  if (coolerOn) word |= kCoolerOnBit;
  const uint16_t reply = ProcessCooler(word);
  m_coolerStatus = (reply & kCoolerOnBit) ? 1 : 0;
  m_ccdTemperature = DecodeTemperature(reply);
  return 0;
}

int CCamAPIDll::CCQueryTemperature(double& temperature, double& unusedOut, char* statusText,
                                   int statusTextSize, int& status, double& setpoint) {
  temperature = m_ccdTemperature;
  unusedOut = 0.0;
  setpoint = m_setpoint;
  status = m_coolerStatus;
  CopyStatusText(statusText, statusTextSize, kIdleText);
  if (m_delayedReadPending || m_readInProgress || g_readLock.load()) return 0;
  if (m_attachedGuider) return 0;
  if (!m_hasCooler) {
    status = 0;
    return 0;
  }
  const uint16_t setpointWord = EncodeSetpoint(m_setpoint) | kCoolerOnBit;
  const uint16_t reply = ProcessCooler(m_coolerOn ? setpointWord : 0);
  m_coolerStatus = (reply & kCoolerOnBit) ? 1 : 0;
  m_ccdTemperature = DecodeTemperature(reply);
  if (m_ccdTemperature > kMaxReportedC) m_ccdTemperature = kMaxReportedC;
  temperature = m_ccdTemperature;
  status = m_coolerStatus;
  setpoint = m_setpoint;

  m_spinnerPhase = m_spinnerPhase + 1 > 7 ? 0 : m_spinnerPhase + 1;
  if (!m_coolerOn) {
    CopyStatusText(statusText, statusTextSize, kIdleText);
    return 0;
  }
  CopyStatusText(statusText, statusTextSize, kSpinnerText[m_spinnerPhase]);
  // Out of the band around the setpoint: say it again.
  if (m_ccdTemperature > m_setpoint + kBandC || m_ccdTemperature < m_setpoint - kBandC)
    ProcessCooler(setpointWord);
  return 0;
}

int CCamAPIDll::CCGetRecommendedSetpoint(double& setpoint) {
  setpoint = m_attachedGuider ? 100.0 : 5.0;
  return 0;
}
