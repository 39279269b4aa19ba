// Dropping the link: forget the discovered cameras, optionally leave the
// cooler off, close the device.
#include <cstring>

#include "CCamAPIDll.h"
#include "module_state.h"

int CCamAPIDll::CCDisconnect(int switchCoolerOff) {
  m_connected = 0;
  for (int k = 0; k < 4; ++k) {
    m_slotProductIndex[k] = 0;
    m_slotState[k] = 0;
    m_slotModelCode[k] = 0;
    std::memset(m_slotPath[k], 0, sizeof m_slotPath[k]);
  }
  // Setpoint count 2780 (+5.0 C) with the on bit clear: cooler off.
  if (switchCoolerOff && m_hasCooler && !m_delayedReadPending && !m_readInProgress)
    ProcessCooler(2780);
  // A read lock this object still holds (a request whose data were never
  // read) would keep the other object waiting for good.
  ReleaseReadLockHeldBy(this);
  if (m_device != INVALID_HANDLE_VALUE && m_device != nullptr) {
    CloseHandle(m_device);
    m_device = INVALID_HANDLE_VALUE;
  }
  return 1;
}
