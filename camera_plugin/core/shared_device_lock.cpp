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
  flag.store(0, std::memory_order_release);
}
