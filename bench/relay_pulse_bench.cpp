// How much processor a timed guide pulse takes: a 500 ms pulse on the real
// tick counter, with the processor time the process used over the wall time
// reported as cpu_per_wall. Beside it, for reference, a loop that does nothing
// but read the counter for the same time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>

#include "CCamAPIDll.h"
#include "clock.h"
#include "sim_camera.h"
#include "test_access.h"
#include "world.h"

namespace {

// A camera that takes every block and has nothing to say.
class SilentCamera : public cvworld::Device {
 public:
  uint32_t write(uint32_t, const uint8_t*, uint32_t length, uint32_t* done) override {
    *done = length;
    return 0;
  }
  uint32_t read(uint32_t, uint8_t*, uint32_t, uint32_t* done) override {
    *done = 0;
    return 0;
  }
};

template <typename Fn>
void MeasureCpuOverWall(benchmark::State& state, Fn&& run) {
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const std::clock_t c0 = std::clock();
    const auto w0 = std::chrono::steady_clock::now();
    run();
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    cpu += static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
  }
  state.counters["cpu_per_wall"] = wall > 0 ? cpu / wall : 0;
  state.counters["wall_ms"] = benchmark::Counter(wall * 1000.0 / state.iterations());
}

void BM_TimedRelayPulse500ms(benchmark::State& state) {
  cvworld::World::instance().reset();
  cvsim::Clock::instance().useRealTime();
  cvworld::World::instance().publish(cvworld::kCameraDriverClass,
                                     cvsim::CameraDevicePath("0A30", 0),
                                     std::make_shared<SilentCamera>());
  std::unique_ptr<CCamAPIDll> object(AllocObject());
  object->FindCameras();
  TA::OpenCamera(*object, 0);
  TA::attachedGuider(*object) = 0;
  const int length = 50, zero = 0, wait = 1;
  MeasureCpuOverWall(state, [&] {
    benchmark::DoNotOptimize(object->CCActivateRelays(length, zero, zero, zero, wait, zero, zero));
  });
  object.reset();
  cvworld::World::instance().reset();
}
BENCHMARK(BM_TimedRelayPulse500ms)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SpinOnTheCounter500ms(benchmark::State& state) {
  cvsim::Clock::instance().useRealTime();
  MeasureCpuOverWall(state, [] {
    const uint32_t start = GetTickCount();
    while (GetTickCount() - start <= 500) {
    }
  });
}
BENCHMARK(BM_SpinOnTheCounter500ms)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

