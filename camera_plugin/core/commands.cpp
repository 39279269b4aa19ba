// The simple camera commands: each sends one block and reads its reply, if
// it has one, into a zeroed buffer.
#include <cstring>

#include "CCamAPIDll.h"
#include "command_block.h"

namespace {
void Encode(unsigned char* out, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
            uint16_t length) {
  CommandBlock b;
  b.requestType = type;
  b.request = request;
  b.value = value;
  b.index = index;
  b.length = length;
  b.encode(out);
}

uint32_t LE32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

int CCamAPIDll::Reset() {
  unsigned char b[8];
  Encode(b, 0x00, kReqReset, 0, 0, 0);
  return Send(b, 8);
}

// The clear-registers command carries the sensor selector in the index's
// high byte; every other command with a selector carries it in the low byte.
int CCamAPIDll::ClearRegisters(unsigned char sel) {
  unsigned char b[8];
  Encode(b, 0x40, kReqRegisters, 8, static_cast<uint16_t>(sel << 8), 0);
  return Send(b, 8);
}

int CCamAPIDll::WipePixels(unsigned char sel) {
  unsigned char b[8];
  Encode(b, 0x40, kReqRegisters, 0, sel, 0);
  return Send(b, 8);
}

void CCamAPIDll::SetTimer(Exposure& exposure) {
  unsigned char b[12];
  Encode(b, 0x40, kReqSetTimer, 0, 0, 4);
  PutLE32(b + 8, exposure.exposureMs);
  Send(b, 12);
}

uint32_t CCamAPIDll::GetTimer() {
  unsigned char b[8];
  Encode(b, 0xC0, kReqGetTimer, 0, 0, 0);
  unsigned char reply[4];
  Exchange(b, 8, reply, 4);
  return LE32(reply);
}

int CCamAPIDll::GetCCDParameters(CVCCDParams& out) {
  unsigned char b[8];
  Encode(b, 0x40, kReqParameters, 0, 0, 17);
  return Exchange(b, 8, out.bytes, 17);
}

int CCamAPIDll::GetGDRParameters(CVCCDParams& out) {
  unsigned char b[8];
  Encode(b, 0x40, kReqParameters, 0, 1, 17);
  return Exchange(b, 8, out.bytes, 17);
}

int CCamAPIDll::SetTetrel(unsigned char bits) {
  unsigned char b[8];
  Encode(b, 0x00, kReqRelays, bits, 0, 0);
  return Send(b, 8);
}

uint16_t CCamAPIDll::GetModel() {
  unsigned char b[8];
  Encode(b, 0xC0, kReqModel, 0, 0, 2);
  unsigned char reply[2];
  Exchange(b, 8, reply, 2);
  return static_cast<uint16_t>(reply[0] | (reply[1] << 8));
}

uint32_t CCamAPIDll::GetFirmwareVersion() {
  unsigned char b[8];
  Encode(b, 0xC0, kReqFirmware, 0, 0, 0);
  unsigned char reply[4];
  Exchange(b, 8, reply, 4);
  return LE32(reply);
}
