// The two read requests: a command block with the area, binning and field(s)
// to read, translated from the host's binned frame into the camera's terms.
// While two objects share the camera the request takes the read lock, which
// stays taken until the requested data have been read.
#include <cstdint>

#include "CCamAPIDll.h"
#include "command_block.h"
#include "module_state.h"

namespace {
struct RequestArea {
  uint8_t field;
  uint16_t x, y, widthField, heightField;
};
}  // namespace

// Fills bytes 0..17 of a request: the block (with request code and payload
// length given) and the area. Shared by both requests.
static void FillRequest(unsigned char* out, uint8_t request, uint16_t payloadLength,
                        uint8_t sensor, const RequestArea& a, const CCamAPIDll::Exposure& e) {
  CommandBlock b;
  b.requestType = 0x40;
  b.request = request;
  b.value = a.field;
  b.index = sensor;
  b.length = payloadLength;
  b.encode(out);
  PutLE16(out + 8, a.x);
  PutLE16(out + 10, a.y);
  PutLE16(out + 12, a.widthField);
  PutLE16(out + 14, a.heightField);
  out[16] = e.xBin;
  out[17] = e.yBin;
}

static RequestArea ComputeArea(const CCamAPIDll::Exposure& e, int s) {
  const uint32_t f = (e.model == 89) ? 2 : 1;
  const uint32_t xBin = e.xBin, yBin = e.yBin;
  const uint32_t X = (e.x * xBin * f) & 0xFFFF;
  const uint32_t Y = (yBin * (e.y / f)) & 0xFFFF;
  const uint32_t W = (e.width * xBin * f) & 0xFFFF;
  const uint32_t H = (yBin * ((e.height / f) / static_cast<uint32_t>(s))) & 0xFFFF;
  RequestArea a;
  a.field = (e.mode == CCamAPIDll::Progressive || e.mode == CCamAPIDll::Fast) ? 3
                                                                              : e.fieldSelector;
  a.x = static_cast<uint16_t>(X);
  a.y = static_cast<uint16_t>(Y);
  if (e.model == 90) {
    // Model 90's fields run along the frame's columns: the extents swap.
    a.widthField = static_cast<uint16_t>((H * 4) & 0xFFFF);
    a.heightField = static_cast<uint16_t>(W / 4);
  } else {
    a.widthField = static_cast<uint16_t>(W);
    a.heightField = static_cast<uint16_t>(H);
  }
  return a;
}

int CCamAPIDll::RequestReadNow(Exposure& exposure) {
  m_readInProgress = 1;
  // The read lock first, the write lock (inside Send) second.
  if (g_sharedDevice) TakeReadLockFor(this);
  const RequestArea a = ComputeArea(exposure, GetVertScaleFactor(exposure));
  unsigned char msg[18];
  FillRequest(msg, kReqReadNow, 10, SensorSelector(), a, exposure);
  return Send(msg, sizeof msg);
}

int CCamAPIDll::RequestDelayedRead(Exposure& exposure) {
  m_readInProgress = 1;
  if (g_sharedDevice) TakeReadLockFor(this);
  const RequestArea a = ComputeArea(exposure, GetVertScaleFactor(exposure));
  unsigned char msg[22];
  FillRequest(msg, kReqDelayedRead, 14, SensorSelector(), a, exposure);
  PutLE32(msg + 18, exposure.exposureMs);
  m_delayedReadPending = 1;
  return Send(msg, sizeof msg);
}
