// The two flags with which an imager and an attached guider keep their
// traffic on one camera apart. Waiting yields the processor between readings;
// the wait ends as soon as the other object lets go.
#include <thread>

#include "module_state.h"

void TakeSharedDeviceFlag(std::atomic<int32_t>& flag) {
  for (;;) {
    int32_t expected = 0;
    if (flag.compare_exchange_weak(expected, 1, std::memory_order_acquire,
                                   std::memory_order_relaxed))
      return;
    std::this_thread::yield();
  }
}

void ReleaseSharedDeviceFlag(std::atomic<int32_t>& flag) {
  if (&flag == &g_readLock) g_readLockOwner.store(nullptr, std::memory_order_relaxed);
  flag.store(0, std::memory_order_release);
}

// Only the owner's own thread ever finds itself recorded here: the owner is
// cleared (on the owner's thread, by the read that collects its data) before
// the flag is released, so another object cannot see a stale record of itself.
void TakeReadLockFor(const void* owner) {
  if (g_readLockOwner.load(std::memory_order_relaxed) == owner &&
      g_readLock.load(std::memory_order_acquire) != 0)
    return;
  TakeSharedDeviceFlag(g_readLock);
  g_readLockOwner.store(owner, std::memory_order_relaxed);
}

bool ReleaseReadLockHeldBy(const void* owner) {
  if (owner == nullptr || g_readLockOwner.load(std::memory_order_relaxed) != owner ||
      g_readLock.load(std::memory_order_acquire) == 0)
    return false;
  ReleaseSharedDeviceFlag(g_readLock);
  return true;
}
