// The readout: collects the pixel data of the request that BeforeDownload
// sent (and, in the two-field modes, requests and collects the second field),
// lays the image out in the host's buffer and clears the read state.
//
// Host buffer layout by path (S = stride between row starts; the bytes
// between the end of a row and the next row start are never written):
//   attached guide head   h rows of 2w bytes,            S = pad8(2w)
//   single read           h rows of L = bits*w/8 bytes,  S = pad8(L)
//   two fields            2n rows of B*w bytes,          S = pad8(B*w)
//   two fields, model 90  h rows of 2w bytes,            S = 2w
//   Fast                  h rows of 2w bytes,            S = 2 * pad8(w)
//
// Every size is worked out in 64 bits before anything is obtained. When a
// buffer cannot be had (or a size does not fit 32 bits), the data that the
// camera owes for the outstanding request are still taken off the device and
// thrown away, so that they cannot end up in the next image, and the read
// state is cleared as after any readout. All working buffers are obtained
// before the first read, so such a failure never leaves a second field
// requested and uncollected.
//
// The read lock is given up only by the object that holds it: once this
// object's data are in, the other object may take the lock for a request of
// its own, and the release at the end must not take it away again.
#include <algorithm>
#include <cstring>

#include "CCamAPIDll.h"
#include "module_state.h"
#include "pixel_rows.h"

namespace {

using cvpix::Pad8;

// Reads and throws away `bytes` bytes of pending data, in bounded chunks. Ends
// early at a failed or short read: the camera has nothing more to give.
void DrainDevice(HANDLE device, uint64_t bytes) {
  unsigned char local[8192];
  cvpix::Block chunk;
  unsigned char* buffer = local;
  uint32_t capacity = sizeof local;
  if (bytes > capacity && chunk.Obtain(256 * 1024)) {
    buffer = chunk.data();
    capacity = 256 * 1024;
  }
  while (bytes > 0) {
    const DWORD ask = static_cast<DWORD>(std::min<uint64_t>(bytes, capacity));
    DWORD got = 0;
    if (!ReadFile(device, buffer, ask, &got, nullptr) || got < ask) break;
    bytes -= got;
  }
}

// One device read into `block`; the bytes that a short read did not deliver
// are zeroed so that the image never shows stale heap contents.
int ReadInto(HANDLE device, cvpix::Block& block, uint64_t bytes) {
  DWORD got = 0;
  const BOOL ok = ReadFile(device, block.data(), static_cast<DWORD>(bytes), &got, nullptr);
  const size_t delivered = std::min<size_t>(ok ? got : 0, block.size());
  std::memset(block.data() + delivered, 0, block.size() - delivered);
  return ok ? 1 : 0;
}

// Copies `rows` rows of `rowBytes` bytes, packed in `src`, to `dst` at
// `stride`.
void PlaceRows(const unsigned char* src, unsigned char* dst, size_t rows, size_t rowBytes,
               size_t stride) {
  if (rows == 0 || rowBytes == 0) return;
  if (stride == rowBytes) {
    std::memcpy(dst, src, rows * rowBytes);
    return;
  }
  for (size_t r = 0; r < rows; ++r) std::memcpy(dst + r * stride, src + r * rowBytes, rowBytes);
}

// Guide-head bytes become 16-bit samples with the byte as the high byte
// (sample x 256), stored little-endian: 0x7F -> 00 7F.
void WidenRows(const unsigned char* src, unsigned char* dst, size_t w, size_t h, size_t stride) {
  for (size_t r = 0; r < h; ++r) {
    const unsigned char* in = src + r * w;
    unsigned char* out = dst + r * stride;
    for (size_t k = 0; k < w; ++k) {
      out[2 * k] = 0;
      out[2 * k + 1] = in[k];
    }
  }
}

// Field 1 line i to row 2i, field 2 line i to row 2i + 1.
void InterleaveRows(const unsigned char* field1, const unsigned char* field2, unsigned char* dst,
                    size_t lines, size_t rowBytes, size_t stride) {
  for (size_t i = 0; i < lines; ++i) {
    std::memcpy(dst + 2 * i * stride, field1 + i * rowBytes, rowBytes);
    std::memcpy(dst + (2 * i + 1) * stride, field2 + i * rowBytes, rowBytes);
  }
}

enum class Path { GuideHead, SingleRead, TwoFields, Fast, Nothing };

}  // namespace

int CCamAPIDll::ReadImage(unsigned char* hostBuffer, unsigned long, Exposure& exposure,
                          enumWhichCCD2) {
  const uint64_t w = exposure.width;
  const uint64_t h = exposure.height;
  const uint64_t bits = m_imagerParams.bitsPerPixel();
  const uint64_t B = bits >> 3;
  const bool guideHead = m_attachedGuider != 0;
  const int scale = GetVertScaleFactor(exposure);
  const uint64_t s = scale > 0 ? static_cast<uint64_t>(scale) : 1;
  const uint64_t n = guideHead ? h : h / s;
  const uint64_t N = w * h * B;
  const uint64_t R = guideHead ? 2 * w * h : w * B * n;
  const uint64_t firstRead = guideHead ? R / 2 : R;

  Path path = Path::Nothing;
  if (guideHead)
    path = Path::GuideHead;
  else if (m_progressive || exposure.mode == Progressive)
    path = Path::SingleRead;
  else if (exposure.mode == StaggeredFields || exposure.mode == Interlaced)
    path = Path::TwoFields;
  else if (exposure.mode == Fast)
    path = Path::Fast;
  const bool splitPairs = path == Path::SingleRead && m_model == 89;
  // 16-bit rows that already start at multiples of 8 bytes (w a multiple of
  // 4, as on the full sensor) are split straight into the host's buffer; the
  // scratch buffer is needed only to put gaps between rows.
  const bool splitDirect = splitPairs && bits == 16 && Pad8(2 * w) == 2 * w;
  const bool unfold = path == Path::TwoFields && m_model == 90;
  const bool stretch = path == Path::Fast && exposure.resample != 0;

  // What each path needs. The read and field buffers are at least R bytes
  // (what the camera sends) and at least what the path reads from them, so
  // that pixel sizes other than 16 bits or odd heights never reach past them.
  uint64_t readBytes = R;
  uint64_t scratchBytes = 0;
  uint64_t fieldBytes = 0;
  uint64_t rows = 0, rowBytes = 0, stride = 0;
  const uint64_t L = (bits * w) >> 3;
  switch (path) {
    case Path::GuideHead:
      rows = h;
      rowBytes = 2 * w;
      stride = Pad8(rowBytes);
      break;
    case Path::SingleRead:
      rows = n;
      rowBytes = L;
      stride = Pad8(L);
      readBytes = std::max(R, L * n);
      if (splitPairs && !splitDirect) scratchBytes = std::max({N + N / 10, L * n, 2 * w * h});
      break;
    case Path::TwoFields:
      fieldBytes = R;
      if (unfold) {
        const uint64_t perField = 2 * ((w / 2) * h);
        readBytes = std::max(R, perField);
        fieldBytes = readBytes;
        rows = h;
        rowBytes = 2 * w;
        stride = rowBytes;
      } else {
        rows = 2 * n;
        rowBytes = B * w;
        stride = Pad8(rowBytes);
      }
      break;
    case Path::Fast:
      if (stretch) {
        readBytes = std::max(R, 2 * w * n);
        rows = h;
        rowBytes = 2 * w;
        stride = 2 * Pad8(w);
      }
      break;
    case Path::Nothing:
      break;
  }
  const uint64_t hostExtent = rows && rowBytes ? (rows - 1) * stride + rowBytes : 0;

  cvpix::Block read, scratch, field2;
  bool obtained = cvpix::FitsBuffer(firstRead) && cvpix::FitsBuffer(hostExtent) &&
                  (hostBuffer != nullptr || hostExtent == 0) && read.Obtain(readBytes);
  if (obtained && scratchBytes) obtained = scratch.Obtain(scratchBytes);
  if (obtained && fieldBytes) obtained = field2.Obtain(fieldBytes);

  int result = 0;
  if (!obtained) {
    read.Release();
    scratch.Release();
    DrainDevice(m_device, firstRead);
  } else {
    if (scratchBytes) std::memset(scratch.data(), 0, scratch.size());
    result = ReadInto(m_device, read, firstRead);
    if (g_sharedDevice) ReleaseReadLockHeldBy(this);

    switch (path) {
      case Path::GuideHead:
        WidenRows(read.data(), hostBuffer, w, h, stride);
        break;
      case Path::SingleRead:
        if (splitDirect) {
          AdjustR31(read.data(), hostBuffer, static_cast<int>(w), static_cast<int>(h));
          // An odd last row has no delivered line: it comes out as zeros, as
          // it would from the zeroed scratch buffer.
          if (h % 2) std::memset(hostBuffer + (h - 1) * stride, 0, static_cast<size_t>(rowBytes));
        } else if (splitPairs) {
          AdjustR31(read.data(), scratch.data(), static_cast<int>(w), static_cast<int>(h));
          PlaceRows(scratch.data(), hostBuffer, rows, rowBytes, stride);
        } else {
          PlaceRows(read.data(), hostBuffer, rows, rowBytes, stride);
        }
        break;
      case Path::TwoFields:
        exposure.fieldSelector = 2;
        if (exposure.mode == Interlaced) {
          // The camera times the second field itself; wait the same time,
          // keeping the registers clear while it runs.
          RequestDelayedRead(exposure);
          const uint32_t t = GetTickCount();
          exposure.lastClearTick = t;
          exposure.endTick = t + exposure.exposureMs;
          while (GetTickCount() < exposure.endTick) ClearRegistersIfNeeded(exposure);
        } else {
          RequestReadNow(exposure);
        }
        result = ReadInto(m_device, field2, R);
        if (g_sharedDevice) ReleaseReadLockHeldBy(this);
        if (unfold)
          AdjustR32(hostBuffer, read.data(), field2.data(), static_cast<int>(w),
                    static_cast<int>(h));
        else
          InterleaveRows(read.data(), field2.data(), hostBuffer, n, rowBytes, stride);
        field2.Release();
        break;
      case Path::Fast:
        if (stretch)
          Resample(reinterpret_cast<const unsigned short*>(read.data()), static_cast<int>(w),
                   static_cast<int>(n), reinterpret_cast<unsigned short*>(hostBuffer),
                   static_cast<int>(w), static_cast<int>(h));
        break;
      case Path::Nothing:
        break;
    }
  }

  m_readInProgress = 0;
  m_delayedReadPending = 0;
  if (g_sharedDevice) ReleaseReadLockHeldBy(this);
  return result;
}

int CCamAPIDll::CCReadoutImage(const enumZZCAM2&, const enumWhichCCD2& which, const int&,
                               const int& a, const int& b, unsigned char* buffer) {
  Exposure* exposure = m_mainExposure;
  if (exposure == nullptr) return 1;
  const int64_t length = static_cast<int64_t>(a) * static_cast<int64_t>(b);
  const int result =
      ReadImage(buffer, static_cast<unsigned long>(length), *exposure, which);
  delete exposure;
  m_mainExposure = nullptr;
  return result ? 0 : 1;
}
