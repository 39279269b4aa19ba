// The four guide relays: a mask of lines switched on, and, when the host
// asks us to, the timing of each line's pulse on the tick counter.
#include <cstdint>

#include "CCamAPIDll.h"

namespace {
// Relay line bits, in argument order.
constexpr unsigned char kLineBits[4] = {0x08, 0x01, 0x04, 0x02};
// Lengths in 10 ms units from 0 up to this keep their millisecond value
// within 32-bit signed range.
constexpr int kMaxPulseUnits = 214748364;
// While the next line is due further ahead than this, the timing loop sleeps
// a millisecond between readings; a sleep can last a whole scheduler tick on
// Windows (about 16 ms), so the last stretch is spun with a yield only.
constexpr int32_t kSleepAboveMs = 20;
}  // namespace

int CCamAPIDll::CCActivateRelays(const int& line1, const int& line2, const int& line3,
                                 const int& line4, const int& wait, const int& stop,
                                 const int&) {
  if (stop) {
    SetTetrel(0);
    return kResultOk;
  }
  const int units[4] = {line1, line2, line3, line4};
  // A negative length would set its line and never time it out, so a timed
  // pulse would never end; one whose milliseconds overflow turns negative the
  // same way. Both are refused before anything is sent, like a pair conflict.
  for (int u : units)
    if (u < 0 || u > kMaxPulseUnits) return kResultMeasureFailed;

  int32_t lengthMs[4];
  unsigned char mask = 0;
  for (int k = 0; k < 4; ++k) {
    lengthMs[k] = units[k] * 10;
    if (units[k] != 0) mask |= kLineBits[k];
  }
  if ((mask & 9) == 9 || (mask & 6) == 6) return kResultMeasureFailed;

  SetTetrel(mask);
  const uint32_t start = GetTickCount();
  if (!wait) return kResultOk;
  if (m_delayedReadPending || m_readInProgress) return kResultReadOutstanding;

  while (mask != 0) {
    bool dropped = false;
    int32_t elapsed = 0;
    for (int k = 0; k < 4; ++k) {
      elapsed = static_cast<int32_t>(GetTickCount() - start);
      if (lengthMs[k] > 0 && lengthMs[k] < elapsed) {
        mask = static_cast<unsigned char>(mask & ~kLineBits[k]);
        lengthMs[k] = 0;
        dropped = true;
      }
    }
    if (dropped) SetTetrel(mask);
    if (mask == 0) break;
    // Time until the next line may drop (it drops once elapsed exceeds it).
    int32_t nextDue = INT32_MAX;
    for (int k = 0; k < 4; ++k)
      if (lengthMs[k] > 0 && lengthMs[k] < nextDue) nextDue = lengthMs[k];
    Sleep(static_cast<int64_t>(nextDue) - elapsed > kSleepAboveMs ? 1 : 0);
  }
  return kResultOk;
}
