#include "CCamAPIDll.h"
#include "camera_discovery.h"

// Opens a discovered, available slot for the link.
int CCamAPIDll::OpenCamera(int slot) {
  if (static_cast<unsigned>(slot) > 3u) return 0;
  if (m_slotState[slot] != 2) return 0;
  HANDLE h = OpenDevicePath(m_slotPath[slot]);
  if (h == INVALID_HANDLE_VALUE) {
    m_slotState[slot] = -1;
    return 0;
  }
  m_device = h;
  m_slotState[slot] = 3;
  return 1;
}
