// The command transport: one write of a block (and its payload) to the
// camera, under the write lock while two objects share the camera.
#include <cstring>

#include "CCamAPIDll.h"
#include "module_state.h"

int CCamAPIDll::Send(const unsigned char* bytes, unsigned long count) {
  const bool locked = g_sharedDevice != 0;
  if (locked) TakeSharedDeviceFlag(g_writeLock);
  DWORD written = 0;
  BOOL ok = WriteFile(m_device, bytes, static_cast<DWORD>(count), &written, nullptr);
  if (locked) ReleaseSharedDeviceFlag(g_writeLock);
  return ok ? 1 : 0;
}

int CCamAPIDll::Exchange(const unsigned char* block, unsigned long count, void* reply,
                         unsigned long length) {
  std::memset(reply, 0, length);
  if (!Send(block, count)) return 0;
  DWORD got = 0;
  return ReadFile(m_device, reply, static_cast<DWORD>(length), &got, nullptr) ? 1 : 0;
}

// The sensor an object's commands address: the guide head for an attached
// guider, the imaging CCD otherwise.
unsigned char CCamAPIDll::SensorSelector() const { return m_attachedGuider ? 1 : 0; }
