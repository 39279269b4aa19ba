// The exposure cycle: start (wipe, shutter, timing, the early read of field 2
// in the staggered mode), completion polls with the register clears of long
// exposures, the end (shutter, throwing data away), and the read request
// before the download.
//
// Ticks are the 32-bit millisecond counter, which wraps every 49.7 days.
// Every test of "has the time come" is made on unsigned differences from the
// exposure's start tick (endTick - exposureMs), never by comparing two tick
// values, so that an exposure that runs across the wrap lasts as long as any
// other.
#include <cstddef>
#include <cstdint>
#include <new>

#include "CCamAPIDll.h"
#include "module_state.h"

namespace {
constexpr uint32_t kClearIntervalMs = 30000;
constexpr uint32_t kFinalClearFromMs = 2001;
constexpr uint32_t kFinalClearSpanMs = 998;
constexpr uint32_t kShortenAboveMs = 300;
constexpr uint32_t kShortenedTimerMs = 200;

// Largest dump read made in one piece; beyond it, and whenever that buffer
// cannot be had, the data are drained through a small buffer instead.
constexpr uint64_t kMaxDumpBuffer = 64ull * 1024 * 1024;
constexpr DWORD kDrainChunk = 16 * 1024;

// lastClearTick 0 means "no more clears", so a clear that happens to fall on
// tick 0 is recorded as tick 1 rather than ending the clears.
uint32_t ClearTick(uint32_t tick) { return tick ? tick : 1u; }

uint32_t StartTick(const CCamAPIDll::Exposure& e) { return e.endTick - e.exposureMs; }

// Seconds to whole milliseconds, truncating; negative and NaN give 0, more
// than the counter holds gives its largest value.
uint32_t ToMilliseconds(double seconds) {
  const double ms = seconds * 1000.0;
  if (!(ms >= 0.0)) return 0;
  if (ms >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(ms);
}
}  // namespace

int CCamAPIDll::CCStartExposure(const enumZZCAM2&, enumWhichCCD2, const double& seconds,
                                enumPictureType2 pictureType, const int&,
                                const int& leaveShutter) {
  Exposure* e = m_mainExposure;
  if (e) e->exposureMs = ToMilliseconds(seconds);
  if (pictureType < 1 || pictureType > 5) return static_cast<int>(E_FAIL);
  if (!e) return 0;  // no chip-size query came first: nothing to expose
  const bool open = pictureType == LightFrame || pictureType == FlatFieldFrame;

  if (e->mode == Automatic) {
    if (m_progressive)
      e->mode = Progressive;
    else
      e->mode = e->exposureMs < m_fullReadMs ? Interlaced : StaggeredFields;
  }
  e->fieldSelector = (e->mode == Progressive || e->mode == Fast) ? 3 : 1;

  if (m_attachedGuider) {
    WipePixels(1);
  } else {
    WipePixels(0);
    if (!leaveShutter) CCSetShutter(open ? 1 : 0);
  }

  const uint32_t t = GetTickCount();
  e->endTick = t + e->exposureMs;
  e->lastClearTick = ClearTick(t);

  if (e->mode == StaggeredFields) {
    // Read field 2 once its lines have been exposed for one subframe read
    // time and throw it away: it then integrates afresh from this moment. The
    // request must go out in the first millisecond at the mark, so the wait
    // spins on the counter.
    Exposure early = *e;
    early.fieldSelector = 2;
    while (GetTickCount() - t < m_subframeReadMs) {
    }
    RequestReadNow(early);
    DumpImage(early);
    ClearRegisters(SensorSelector());
    e->dumped = 1;
  }
  return 0;
}

int CCamAPIDll::CCIsExposureComplete(const enumZZCAM2&, enumWhichCCD2, int* complete,
                                     unsigned int*) {
  Exposure* e = m_mainExposure;
  if (!e) return 0;
  const uint32_t now = GetTickCount();
  if (now - StartTick(*e) >= e->exposureMs) {
    if (complete) *complete = 1;
    return 0;
  }
  ClearRegistersIfNeeded(*e);
  return 0;
}

void CCamAPIDll::ClearRegistersIfNeeded(Exposure& e) {
  const uint32_t now = GetTickCount();
  if (e.lastClearTick == 0) return;
  if (now - e.lastClearTick > kClearIntervalMs) {
    ClearRegisters(SensorSelector());
    e.lastClearTick = ClearTick(GetTickCount());
  } else if (e.endTick - now - kFinalClearFromMs <= kFinalClearSpanMs) {
    ClearRegisters(SensorSelector());
    e.lastClearTick = 0;
  }
}

int CCamAPIDll::CCEndExposure(const enumZZCAM2&, enumWhichCCD2 which, const int& discard,
                              const int& leaveShutter) {
  const uint32_t now = GetTickCount();
  if (!leaveShutter && which == ImagingCCD) CCSetShutter(0);
  if (!discard) return 0;
  if (!m_mainExposure) return 0;
  Exposure copy = *m_mainExposure;
  const uint32_t elapsed = now - StartTick(copy);

  if (m_delayedReadPending) {
    // The camera is still timing the second field; cut its wait short
    // rather than wait it out only to throw the data away.
    if (elapsed < copy.exposureMs && copy.exposureMs - elapsed > kShortenAboveMs) {
      copy.exposureMs = kShortenedTimerMs;
      SetTimer(copy);
    }
    m_readInProgress = 1;
    m_delayedReadPending = 0;
  }
  if (m_readInProgress) return DumpImage(copy) ? 0 : 1;
  return 0;
}

int CCamAPIDll::DumpImage(Exposure& e) {
  const int s = GetVertScaleFactor(e);
  const uint64_t bytesPerPixel = m_imagerParams.bitsPerPixel() >> 3;
  const uint64_t n = static_cast<uint64_t>(s ? e.height / s : 0) * bytesPerPixel * e.width;

  unsigned char* buffer = nullptr;
  if (n <= kMaxDumpBuffer) buffer = new (std::nothrow) unsigned char[static_cast<size_t>(n)];
  int ok = 0;
  if (buffer) {
    DWORD got = 0;
    ok = ReadFile(m_device, buffer, static_cast<DWORD>(n), &got, nullptr) ? 1 : 0;
    delete[] buffer;
  } else {
    // No buffer for the whole image: still take every byte the camera has
    // for this read, so that none of it is mistaken for the next image, and
    // report the failure.
    unsigned char chunk[kDrainChunk];
    uint64_t left = n;
    while (left > 0) {
      const DWORD want = left < kDrainChunk ? static_cast<DWORD>(left) : kDrainChunk;
      DWORD got = 0;
      if (!ReadFile(m_device, chunk, want, &got, nullptr) || got == 0) break;
      left -= got < left ? got : left;
    }
  }
  if (g_sharedDevice) ReleaseReadLockHeldBy(this);
  m_readInProgress = 0;
  m_delayedReadPending = 0;
  return ok;
}

void CCamAPIDll::BeforeDownload(const enumZZCAM2&, const enumWhichCCD2&) {
  if (m_mainExposure) RequestReadNow(*m_mainExposure);
}
