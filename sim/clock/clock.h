// The tick source behind GetTickCount and Sleep in the simulated world.
//
// By default it follows the machine's monotonic clock. A test can switch it to
// virtual time, which moves only when told: explicitly (advance), when a
// simulated device needs time (a USB transfer, a camera's own timer), when a
// plug-in sleeps, and, if a spin step is set, a little on every reading, so
// that a plug-in's busy-wait loop on the tick counter makes progress without
// any real waiting.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace cvsim {

class Clock {
 public:
  static Clock& instance();

  // Real monotonic milliseconds; offset shifts what GetTickCount shows (for
  // example to run close to the 32-bit wrap).
  void useRealTime(uint32_t tickOffset = 0);
  // Virtual milliseconds starting at startTick, advancing only as described.
  void useVirtualTime(uint32_t startTick = 1000);
  bool isVirtual() const { return virtual_.load(); }

  // What GetTickCount returns. Under virtual time, each reading afterwards
  // advances the clock by the spin step (0 by default).
  uint32_t tickCount();
  // 64-bit milliseconds on the same scale as tickCount (no wrap), without the
  // spin step: for simulated devices and tests.
  uint64_t nowMs() const;

  // Virtual time only: move the clock forward.
  void advance(uint64_t ms);
  // Virtual time only: each tickCount() reading advances the clock by this.
  void setSpinStep(uint32_t ms) { spinStep_.store(ms); }
  // Called (outside any lock) with the 64-bit time after every tickCount()
  // reading: lets a test make something happen at a given moment, such as a
  // device vanishing during a busy wait. Pass an empty function to remove.
  void setTickHook(std::function<void(uint64_t)> hook);

  // What Sleep does: virtual time advances by ms, real time sleeps.
  void sleep(uint32_t ms);
  // Device time: block until the clock shows at least `ms` (64-bit scale).
  // Virtual time jumps forward to it if it lies ahead.
  void waitUntil(uint64_t ms);

  // Number of tickCount() readings so far: shows how hard a loop spun.
  uint64_t readings() const { return readings_.load(); }
  void resetReadings() { readings_.store(0); }

 private:
  Clock();
  std::atomic<bool> virtual_{false};
  std::atomic<uint64_t> virtualNow_{0};
  std::atomic<uint32_t> spinStep_{0};
  std::atomic<uint64_t> readings_{0};
  std::atomic<uint64_t> realOffset_{0};
  mutable std::mutex hookMutex_;
  std::function<void(uint64_t)> hook_;
  std::atomic<bool> hasHook_{false};
};

}  // namespace cvsim
