// Makes a chosen allocation of the plug-in fail, for tests of what happens
// when memory runs out.
//
// The plug-in obtains its buffers with `new (std::nothrow) T[n]`. Exactly one
// translation unit of a test binary defines CV_ALLOC_FAILURE_IMPLEMENTATION
// before including this header; that replaces the global non-throwing array
// operator new of the whole process (the plug-in's shared library included)
// with one that can be told to fail. Other files include it plainly.
#pragma once

#include <atomic>
#include <cstddef>
#include <new>

namespace cvtest {

struct AllocFailureState {
  std::atomic<long> countdown{0};  // > 0: the allocation that brings it to 0 fails
  std::atomic<long> calls{0};      // non-throwing array allocations seen
  std::atomic<long> failed{0};     // how many were made to fail
};

inline AllocFailureState& AllocFailure() {
  static AllocFailureState state;
  return state;
}

// Fail the nth non-throwing array allocation from now on (1 = the next one).
inline void FailNthAllocation(long nth) { AllocFailure().countdown.store(nth); }
inline void StopFailingAllocations() { AllocFailure().countdown.store(0); }

// Disarms on destruction, so a failed assertion cannot leak the setting into
// the next test.
class ScopedAllocFailure {
 public:
  explicit ScopedAllocFailure(long nth) {
    AllocFailure().failed.store(0);
    FailNthAllocation(nth);
  }
  ~ScopedAllocFailure() { StopFailingAllocations(); }
  long failed() const { return AllocFailure().failed.load(); }
  ScopedAllocFailure(const ScopedAllocFailure&) = delete;
  ScopedAllocFailure& operator=(const ScopedAllocFailure&) = delete;
};

}  // namespace cvtest

#if defined(CV_ALLOC_FAILURE_IMPLEMENTATION)
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  cvtest::AllocFailureState& s = cvtest::AllocFailure();
  s.calls.fetch_add(1);
  long c = s.countdown.load();
  while (c > 0 && !s.countdown.compare_exchange_weak(c, c - 1)) {
  }
  if (c == 1) {
    s.failed.fetch_add(1);
    return nullptr;
  }
  // The throwing form pairs with the delete[] the plug-in calls, whichever
  // allocator (the sanitizers' included) stands behind them.
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}
#endif
