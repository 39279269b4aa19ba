// Connect, count, move and disconnect: every wait polls the wheel with a
// status query at fixed deadlines measured from a start tick.
#include "cv_filter_wheel.h"
#include "wheel_internal.h"

namespace {
constexpr int kConnectPolls = 15;
constexpr DWORD kConnectPeriodMs = 1000;
constexpr int kMovePolls = 50;
constexpr DWORD kMovePeriodMs = 100;

bool AcceptedCount(unsigned count) { return count == 5 || count == 7; }
uint8_t CountOf(uint32_t reply) { return static_cast<uint8_t>((reply >> 16) & 0xFF); }
uint8_t PositionOf(uint32_t reply) { return static_cast<uint8_t>((reply >> 8) & 0xFF); }
}  // namespace

void WaitForElapsed(DWORD start, DWORD elapsed) {
  for (;;) {
    DWORD passed = GetTickCount() - start;
    if (passed >= elapsed) return;
    Sleep(elapsed - passed);
  }
}

extern "C" {

int cfwapiConnect(void) {
  LogMessage("Corvane Filter Wheel plug-in constructed. Build: %d, Date: %s  Time: %s\n", 68,
             "11/11/2009", " 0:08:38.17");
  // The search always opens the device anew; a handle left from an earlier
  // connect is closed first so that it cannot leak.
  if (WheelHandleOpen()) {
    CloseHandle(g_wheelHandle);
    g_wheelHandle = INVALID_HANDLE_VALUE;
  }
  if (!FindWheel()) return kCfwNoWheel;
  g_connected = 1;

  g_filterCount = CountOf(RequestAction(kActionStatus));
  int pollsLeft = kConnectPolls;
  if (!AcceptedCount(g_filterCount)) {
    g_filterCount = 0;
    DWORD start = GetTickCount();
    RequestAction(kActionReinitialise);
    for (DWORD poll = 1;; ++poll) {
      WaitForElapsed(start, poll * kConnectPeriodMs);
      g_filterCount = CountOf(RequestAction(kActionStatus));
      --pollsLeft;
      if (g_filterCount != 0 || pollsLeft == 0) break;
    }
  }
  LogMessage("Filter Total = %d, Timeout = %d\n", static_cast<int>(g_filterCount), pollsLeft);
  if (pollsLeft == 0) return kCfwConnectTimeout;
  return AcceptedCount(g_filterCount) ? kCfwOk : kCfwBadCount;
}

int cfwapiIsConnected(int* connected) {
  if (connected) *connected = g_connected;
  return 0;
}

int cfwapiGetNumberFilters(int* count) {
  if (g_filterCount == 0) g_filterCount = CountOf(RequestAction(kActionStatus));
  if (count) *count = g_filterCount;
  return AcceptedCount(g_filterCount) ? kCfwOk : kCfwBadCount;
}

int cfwapiMoveTo(int position) {
  // Unsigned, so that no position the host passes can overflow.
  uint32_t target = static_cast<uint32_t>(position) + 1u + (g_bidirectional == 1 ? 0x80u : 0u);
  RequestAction(static_cast<uint16_t>((target & 0xFF) << 8));
  DWORD start = GetTickCount();
  int pollsLeft = kMovePolls;
  const uint8_t expected = static_cast<uint8_t>(target & 0x7F);
  for (DWORD poll = 1;; ++poll) {
    WaitForElapsed(start, poll * kMovePeriodMs);
    --pollsLeft;
    uint32_t reply = RequestAction(kActionStatus);
    if (PositionOf(reply) == expected || pollsLeft == 0) break;
  }
  // Only a match with polls to spare counts: one on the last poll is a time-out.
  int result = pollsLeft != 0 ? kCfwOk : kCfwMoveTimeout;
  LogMessage("Target Filter = %d, Timeout = %d\n", static_cast<int>(expected), pollsLeft);
  return result;
}

int cfwapiDisconnect(void) {
  if (g_debugLog) {
    LogMessage("Corvane Filter Wheel plug-in destroyed.\n\n");
    std::fclose(g_debugLog);
    g_debugLog = nullptr;
  }
  if (WheelHandleOpen()) {
    CloseHandle(g_wheelHandle);
    g_wheelHandle = INVALID_HANDLE_VALUE;
  }
  g_connected = 0;
  return 0;
}

}  // extern "C"
