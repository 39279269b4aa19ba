// The 8-byte command header, laid out like a USB control-transfer setup
// packet, little-endian.
#pragma once

#include <cstdint>

struct CommandBlock {
  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;

  // Writes the 8 bytes of the block at `out`.
  void encode(unsigned char* out) const {
    out[0] = requestType;
    out[1] = request;
    out[2] = static_cast<unsigned char>(value & 0xFF);
    out[3] = static_cast<unsigned char>(value >> 8);
    out[4] = static_cast<unsigned char>(index & 0xFF);
    out[5] = static_cast<unsigned char>(index >> 8);
    out[6] = static_cast<unsigned char>(length & 0xFF);
    out[7] = static_cast<unsigned char>(length >> 8);
  }
};

// Little-endian stores for payloads.
inline void PutLE16(unsigned char* out, uint16_t v) {
  out[0] = static_cast<unsigned char>(v & 0xFF);
  out[1] = static_cast<unsigned char>(v >> 8);
}
inline void PutLE32(unsigned char* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

// Request codes.
enum : uint8_t {
  kReqRegisters = 1,  // clear registers, wipe pixels
  kReqDelayedRead = 2,
  kReqReadNow = 3,
  kReqSetTimer = 4,
  kReqGetTimer = 5,
  kReqReset = 6,
  kReqParameters = 8,
  kReqRelays = 9,
  kReqModel = 14,
  kReqCoolerSetpoint = 30,
  kReqCoolerPoll = 31,
  kReqShutter = 32,
  kReqFirmware = 255,
};
