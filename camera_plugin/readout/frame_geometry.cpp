// Frame geometry: the chip size for a binning, the bin factors offered, the
// subframe to read and its estimated read time, all kept in the exposure
// record that the chip-size query creates.
#include <cmath>
#include <cstdint>
#include <new>

#include "CCamAPIDll.h"
#include "module_state.h"

namespace {
// A bin factor below 1 cannot divide a sensor dimension; such a dimension is
// reported as 0 rather than dividing by zero or going negative.
int BinnedExtent(unsigned pixels, long long bin) {
  if (bin < 1) return 0;
  return static_cast<int>(static_cast<long long>(pixels) / bin);
}
}  // namespace

int CCamAPIDll::GetVertScaleFactor(const Exposure& exposure) {
  return (m_progressive != 0 || exposure.mode == Progressive) ? 1 : 2;
}

int CCamAPIDll::CCGetChipSize(const enumZZCAM2&, const enumWhichCCD2&, const int& binX,
                              const int& binY, const int&, int& width, int& height, int&) {
  if (m_mainExposure == nullptr) {
    Exposure* record = new (std::nothrow) Exposure();
    if (record == nullptr) {
      // Without a record nothing of the exposure can follow; say so.
      m_readInProgress = 0;
      m_delayedReadPending = 0;
      width = 0;
      height = 0;
      return kResultNoMemory;
    }
    switch (m_imagingMode) {
      case 1: record->mode = m_progressive ? Progressive : StaggeredFields; break;
      case 2: record->mode = Fast; break;
      case 3: record->mode = Interlaced; break;
      default: record->mode = Automatic; break;
    }
    m_mainExposure = record;
  }
  Exposure& e = *m_mainExposure;

  // A new exposure starts with no read outstanding. A read lock that this
  // object still holds from an abandoned readout would block the other object
  // for good, so it goes too.
  m_readInProgress = 0;
  m_delayedReadPending = 0;
  ReleaseReadLockHeldBy(this);

  e.xBin = static_cast<uint8_t>(binX & 0xFF);
  e.yBin = static_cast<uint8_t>(binY & 0xFF);

  if (m_attachedGuider) {
    width = BinnedExtent(m_guiderParams.width(), binX);
    height = BinnedExtent(m_guiderParams.height(), binY);
    e.mode = Progressive;
    e.resample = 0;
    e.model = 0;
  } else {
    const unsigned s = static_cast<unsigned>(GetVertScaleFactor(e));
    width = BinnedExtent(m_imagerParams.width(), binX);
    height = BinnedExtent(s * m_imagerParams.height(), binY);
    e.model = m_model;
    e.resample = (e.mode == Fast) ? 1 : 0;
  }
  return 0;
}

int CCamAPIDll::CCGetBinSizeFromIndex(const enumZZCAM2&, const enumWhichCCD2&, const int& index,
                                      long& binX, long& binY) {
  switch (index) {
    case 0:
      // The 752-pixel guide head is read with its columns binned in pairs.
      binX = (m_attachedGuider && m_guiderParams.width() == 752) ? 2 : 1;
      binY = 1;
      break;
    case 1: binX = 2; binY = 2; break;
    case 2: binX = 4; binY = 4; break;
    default: binX = 1; binY = 1; break;
  }
  return 0;
}

int CCamAPIDll::CCSetBinnedSubFrame(const enumZZCAM2&, const enumWhichCCD2&, const int& left,
                                    const int& top, const int& right, const int& bottom) {
  if (m_mainExposure == nullptr) return 0;  // the host skipped the chip-size query
  Exposure& e = *m_mainExposure;
  const int s = GetVertScaleFactor(e);

  e.x = static_cast<uint16_t>(left & 0xFFFF);
  e.y = static_cast<uint16_t>((top / s) & 0xFFFF);
  e.width = static_cast<uint16_t>(((right & 0xFFFF) - (left & 0xFFFF)) & 0xFFFF);
  e.height = static_cast<uint16_t>(((bottom & 0xFFFF) - (top & 0xFFFF)) & 0xFFFF);
  // Model 89 delivers lines in pairs: an odd height loses its last line.
  if (e.model == 89) e.height = static_cast<uint16_t>(e.height & ~1u);

  // Estimated time of one read of this subframe, from the rate measured at
  // link time; whole milliseconds, truncated. 64-bit so that a large frame
  // cannot wrap the byte count.
  const uint64_t bytesPerPixel = m_imagerParams.bitsPerPixel() >> 3;
  const uint64_t bytes = static_cast<uint64_t>(e.height / s) * bytesPerPixel * e.width;
  const double ms = static_cast<double>(bytes) * m_msPerByte;
  if (!(ms > 0.0))
    m_subframeReadMs = 0;  // also a NaN rate
  else if (ms >= 4294967295.0)
    m_subframeReadMs = 0xFFFFFFFFu;
  else
    m_subframeReadMs = static_cast<uint32_t>(ms);
  return 0;
}

CCamAPIDll::Exposure* CCamAPIDll::GetMainExposure() { return m_mainExposure; }
void CCamAPIDll::SetMainExposure(Exposure* exposure) { m_mainExposure = exposure; }
