#include "clock.h"

#include <chrono>
#include <thread>

namespace cvsim {

namespace {
uint64_t steadyMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

Clock& Clock::instance() {
  static Clock clock;
  return clock;
}

Clock::Clock() = default;

void Clock::useRealTime(uint32_t tickOffset) {
  realOffset_.store(tickOffset);
  spinStep_.store(0);
  virtual_.store(false);
}

void Clock::useVirtualTime(uint32_t startTick) {
  virtualNow_.store(startTick);
  spinStep_.store(0);
  virtual_.store(true);
}

uint64_t Clock::nowMs() const {
  if (virtual_.load()) return virtualNow_.load();
  return steadyMs() + realOffset_.load();
}

uint32_t Clock::tickCount() {
  readings_.fetch_add(1, std::memory_order_relaxed);
  uint64_t now;
  if (virtual_.load()) {
    uint32_t step = spinStep_.load();
    now = step ? virtualNow_.fetch_add(step) : virtualNow_.load();
  } else {
    now = steadyMs() + realOffset_.load();
  }
  if (hasHook_.load(std::memory_order_relaxed)) {
    std::function<void(uint64_t)> hook;
    {
      std::lock_guard<std::mutex> lock(hookMutex_);
      hook = hook_;
    }
    if (hook) hook(now);
  }
  return static_cast<uint32_t>(now);
}

void Clock::advance(uint64_t ms) {
  if (virtual_.load()) virtualNow_.fetch_add(ms);
}

void Clock::setTickHook(std::function<void(uint64_t)> hook) {
  std::lock_guard<std::mutex> lock(hookMutex_);
  hook_ = std::move(hook);
  hasHook_.store(static_cast<bool>(hook_));
}

void Clock::sleep(uint32_t ms) {
  if (virtual_.load()) {
    virtualNow_.fetch_add(ms);
    return;
  }
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void Clock::waitUntil(uint64_t ms) {
  if (virtual_.load()) {
    uint64_t cur = virtualNow_.load();
    while (cur < ms && !virtualNow_.compare_exchange_weak(cur, ms)) {
    }
    return;
  }
  uint64_t now = nowMs();
  if (ms > now) std::this_thread::sleep_for(std::chrono::milliseconds(ms - now));
}

}  // namespace cvsim
