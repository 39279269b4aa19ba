// The mechanical shutter: one command with a 2-byte reply that nobody needs.
#include "CCamAPIDll.h"
#include "command_block.h"

// Only the object working the attached guide head is held back by its own
// reads; the imager's shutter must move even while its data are on the way.
int CCamAPIDll::CCSetShutter(int open) {
  if (m_attachedGuider && (m_readInProgress || m_delayedReadPending)) return 0;
  if (!m_hasShutter) return 0;
  ProcessShutter(open);
  return 0;
}

void CCamAPIDll::ProcessShutter(int open) {
  CommandBlock b;
  b.requestType = 0xC0;
  b.request = kReqShutter;
  b.value = open ? 0x4000 : 0x8000;
  unsigned char bytes[8];
  b.encode(bytes);
  unsigned char reply[2];
  Exchange(bytes, 8, reply, 2);
}
