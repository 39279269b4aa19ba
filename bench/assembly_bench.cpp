// Image assembly on realistic frame sizes, each measured against a plain
// memcpy of the same output bytes in the same run.
//
// Counters: routine_ms and memcpy_ms are the fastest of 15 interleaved
// single runs of each (robust against a busy machine), ratio is their
// quotient. The pure routines are called directly; the whole readout runs
// against a fake camera whose read is either a memcpy from a prepared frame
// ("device copy", what a real readout pays) or no copy at all ("no copy",
// the assembly alone).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "CCamAPIDll.h"
#include "module_state.h"
#include "test_access.h"
#include "world.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;

Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<unsigned char>(gen());
  return b;
}

template <class F>
double MsOnce(F&& f) {
  const auto t0 = Clock::now();
  f();
  benchmark::ClobberMemory();
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Times routine and memcpy of `outputBytes` alternately, keeps the fastest.
template <class F>
void Compare(benchmark::State& state, F&& routine, size_t outputBytes) {
  Bytes from = RandomBytes(outputBytes, 99), to(outputBytes);
  double best = 1e30, bestCopy = 1e30;
  for (int i = 0; i < 15; ++i) {
    best = std::min(best, MsOnce(routine));
    bestCopy = std::min(bestCopy, MsOnce([&] { std::memcpy(to.data(), from.data(), outputBytes); }));
  }
  state.counters["routine_ms"] = best;
  state.counters["memcpy_ms"] = bestCopy;
  state.counters["ratio"] = best / bestCopy;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * outputBytes));
}

// ---- Pure routines ----

void BM_AdjustR31(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::unique_ptr<CCamAPIDll> o(AllocObject());
  Bytes src = RandomBytes(2 * size_t(w) * h, 1), dst(src.size());
  auto run = [&] { TA::AdjustR31(*o, src.data(), dst.data(), w, h); };
  for (auto _ : state) {
    run();
    benchmark::DoNotOptimize(dst.data());
  }
  Compare(state, run, dst.size());
}

void BM_AdjustR32(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::unique_ptr<CCamAPIDll> o(AllocObject());
  Bytes f1 = RandomBytes(size_t(w) * h, 2), f2 = RandomBytes(size_t(w) * h, 3);
  Bytes dst(2 * size_t(w) * h);
  auto run = [&] { TA::AdjustR32(*o, dst.data(), f1.data(), f2.data(), w, h); };
  for (auto _ : state) {
    run();
    benchmark::DoNotOptimize(dst.data());
  }
  Compare(state, run, dst.size());
}

void BM_ResampleFast(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::unique_ptr<CCamAPIDll> o(AllocObject());
  const int n = h / 2;
  std::vector<unsigned short> src(size_t(w) * n);
  std::mt19937 gen(4);
  for (auto& s : src) s = static_cast<unsigned short>(gen());
  const size_t stride = (size_t(w) + 7) & ~size_t(7);
  std::vector<unsigned short> dst(stride * h);
  auto run = [&] { TA::Resample(*o, src.data(), w, n, dst.data(), w, h); };
  for (auto _ : state) {
    run();
    benchmark::DoNotOptimize(dst.data());
  }
  Compare(state, run, 2 * size_t(w) * h);
}

// ---- The whole readout against a fake camera ----

class FrameDevice : public cvworld::Device {
 public:
  Bytes frame;
  bool copy = true;
  uint32_t write(uint32_t, const uint8_t*, uint32_t length, uint32_t* done) override {
    *done = length;
    return 0;
  }
  uint32_t read(uint32_t, uint8_t* data, uint32_t length, uint32_t* done) override {
    if (copy) std::memcpy(data, frame.data(), std::min<size_t>(length, frame.size()));
    *done = length;
    return 0;
  }
};

struct Readout {
  const char* name;
  int progressive, model, guideHead, mode, resample, w, h;
};

const Readout kReadouts[] = {
    {"single_1392x1040", 1, 5, 0, 1, 0, 1392, 1040},
    {"guide_head_1392x1040", 1, 5, 1, 1, 0, 1392, 1040},
    {"guide_head_752x580", 1, 5, 1, 1, 0, 752, 580},
    {"model89_3032x2016", 1, 89, 0, 1, 0, 3032, 2016},
    {"interleave_mode2_1392x1040", 0, 0x41, 0, 2, 0, 1392, 1040},
    {"interleave_mode4_1392x1040", 0, 0x41, 0, 4, 0, 1392, 1040},
    {"model90_mode2_1000x600", 0, 90, 0, 2, 0, 1000, 600},
    {"fast_resample_1392x1040", 0, 0x41, 0, 3, 1, 1392, 1040},
};

void BM_ReadImage(benchmark::State& state, Readout r, bool deviceCopy) {
  static const char kPath[] = "\\\\?\\usb#vid_1a2b&pid_0f00#bench#{frame}";
  cvworld::World::instance().reset();
  auto dev = std::make_shared<FrameDevice>();
  dev->copy = deviceCopy;
  dev->frame = RandomBytes(2 * size_t(r.w) * r.h, 5);
  cvworld::World::instance().publish(cvworld::kCameraDriverClass, kPath, dev);
  std::unique_ptr<CCamAPIDll> o(AllocObject());
  TA::device(*o) = CreateFileA(kPath, GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
  TA::progressive(*o) = r.progressive;
  TA::model(*o) = r.model;
  TA::attachedGuider(*o) = r.guideHead;
  TA::imagerParams(*o).bytes[14] = 16;
  g_sharedDevice = 0;

  CCamAPIDll::Exposure e;
  e.mode = r.mode;
  e.width = static_cast<uint16_t>(r.w);
  e.height = static_cast<uint16_t>(r.h);
  e.resample = r.resample;
  e.model = r.model;
  e.exposureMs = 0;  // the camera-timed field of mode 4 is due at once
  const size_t pixels = size_t(r.w) * r.h;
  Bytes host(2 * (((size_t(r.w) + 7) & ~size_t(7)) * r.h));
  auto run = [&] {
    CCamAPIDll::Exposure copy = e;
    TA::ReadImage(*o, host.data(), 0, copy, ImagingCCD);
  };
  for (auto _ : state) {
    run();
    benchmark::DoNotOptimize(host.data());
  }
  Compare(state, run, 2 * pixels);
  o.reset();
  cvworld::World::instance().reset();
}

void RegisterAll() {
  for (const Readout& r : kReadouts) {
    benchmark::RegisterBenchmark((std::string("ReadImage/no_copy/") + r.name).c_str(),
                                 BM_ReadImage, r, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("ReadImage/device_copy/") + r.name).c_str(),
                                 BM_ReadImage, r, true)
        ->Unit(benchmark::kMillisecond);
  }
}

const int kRegistered = (RegisterAll(), 0);

}  // namespace

BENCHMARK(BM_AdjustR31)->Args({3032, 2016})->Args({3032, 4})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdjustR32)->Args({1000, 600})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleFast)->Args({1392, 1040})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
