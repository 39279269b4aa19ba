// Bilinear stretch of a source of sw x sh samples (rows back to back) into a
// destination of dw x dh samples whose rows start every pad8(dw) samples.
//
// For destination row i and column j the source position is
// (i / ky, j / kx) with kx = dw / sw and ky = dh / sh in double precision;
// the four neighbours are weighted by the fractional parts, summed left to
// right in double precision and truncated. A neighbour beyond the last source
// row or column stands for the last row or column itself, so nothing outside
// the source is ever read: the last destination rows of a stretch blend the
// last source row with itself.
//
// The readout stretches only vertically (sw == dw). Then every column weight
// is exactly 0, the sum reduces exactly to UL * (1 - ty) + LL * ty, and two
// row weights that occur all the time are computed in integers with the same
// result: ty = 0 copies the row, ty = 0.5 is the truncated mean (both terms
// and their sum are exact in double precision for 16-bit samples).
#include <cmath>
#include <cstdint>
#include <cstring>

#include "CCamAPIDll.h"
#include "pixel_rows.h"

namespace {

uint16_t ToSample(double v) {
  // Truncation toward zero; the weights sum to 1, so v stays within the
  // samples' range, but the low 16 bits are what is kept in any case.
  return static_cast<uint16_t>(static_cast<int64_t>(v) & 0xFFFF);
}

#if defined(_WIN32) || (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)
constexpr bool kLittleEndianHost = true;
#else
constexpr bool kLittleEndianHost = false;
#endif

// dst[j] = (a[j] + b[j]) >> 1 for n samples.
void MeanRow(const unsigned char* a, const unsigned char* b, unsigned char* dst, size_t n) {
  size_t j = 0;
  if (kLittleEndianHost) {
    // Four samples at a time: floor((x + y) / 2) = (x & y) + ((x ^ y) >> 1),
    // with the shifted-in bit of each lane masked off.
    const uint64_t lowBits = 0x7FFF7FFF7FFF7FFFull;
    for (; j + 4 <= n; j += 4) {
      uint64_t x, y;
      std::memcpy(&x, a + 2 * j, 8);
      std::memcpy(&y, b + 2 * j, 8);
      const uint64_t m = (x & y) + (((x ^ y) >> 1) & lowBits);
      std::memcpy(dst + 2 * j, &m, 8);
    }
  }
  for (; j < n; ++j) {
    const unsigned x = cvpix::LoadU16(a + 2 * j);
    const unsigned y = cvpix::LoadU16(b + 2 * j);
    cvpix::StoreU16(dst + 2 * j, static_cast<uint16_t>((x + y) >> 1));
  }
}

// Vertical stretch only (sw == dw).
void StretchRows(const unsigned char* src, int w, int sh, unsigned char* dst, int dh) {
  const double ky = static_cast<double>(dh) / static_cast<double>(sh);
  const size_t rowBytes = 2 * static_cast<size_t>(w);
  const size_t stride = 2 * static_cast<size_t>(cvpix::Pad8(static_cast<uint64_t>(w)));
  for (int i = 0; i < dh; ++i) {
    const double fy = i / ky;
    int y0 = static_cast<int>(fy);
    const double ty = fy - std::floor(fy);
    if (y0 > sh - 1) y0 = sh - 1;
    if (y0 < 0) y0 = 0;
    const int y1 = y0 + 1 < sh ? y0 + 1 : sh - 1;
    const unsigned char* upper = src + static_cast<size_t>(y0) * rowBytes;
    const unsigned char* lower = src + static_cast<size_t>(y1) * rowBytes;
    unsigned char* out = dst + static_cast<size_t>(i) * stride;
    if (ty == 0.0) {
      std::memcpy(out, upper, rowBytes);
    } else if (ty == 0.5) {
      MeanRow(upper, lower, out, static_cast<size_t>(w));
    } else {
      const double wu = 1 - ty;
      for (int j = 0; j < w; ++j) {
        const double ul = cvpix::LoadU16(upper + 2 * j);
        const double ll = cvpix::LoadU16(lower + 2 * j);
        cvpix::StoreU16(out + 2 * j, ToSample(ul * wu + ll * ty));
      }
    }
  }
}

void StretchBoth(const unsigned char* src, int sw, int sh, unsigned char* dst, int dw, int dh) {
  const double kx = static_cast<double>(dw) / static_cast<double>(sw);
  const double ky = static_cast<double>(dh) / static_cast<double>(sh);
  const size_t stride = 2 * static_cast<size_t>(cvpix::Pad8(static_cast<uint64_t>(dw)));
  auto at = [&](int r, int q) {
    if (r > sh - 1) r = sh - 1;
    if (q > sw - 1) q = sw - 1;
    return static_cast<double>(
        cvpix::LoadU16(src + 2 * (static_cast<size_t>(r) * static_cast<size_t>(sw) + q)));
  };
  for (int i = 0; i < dh; ++i) {
    const double fy = i / ky;
    const int y0 = static_cast<int>(fy);
    const double ty = fy - std::floor(fy);
    unsigned char* out = dst + static_cast<size_t>(i) * stride;
    for (int j = 0; j < dw; ++j) {
      const double fx = j / kx;
      const int x0 = static_cast<int>(fx);
      const double tx = fx - std::floor(fx);
      const double v = at(y0, x0) * (1 - tx) * (1 - ty) + at(y0 + 1, x0) * (1 - tx) * ty +
                       at(y0, x0 + 1) * tx * (1 - ty) + at(y0 + 1, x0 + 1) * tx * ty;
      cvpix::StoreU16(out + 2 * j, ToSample(v));
    }
  }
}

}  // namespace

void CCamAPIDll::Resample(const unsigned short* source, int sourceWidth, int sourceHeight,
                          unsigned short* destination, int destinationWidth,
                          int destinationHeight) {
  if (source == nullptr || destination == nullptr || sourceWidth <= 0 || sourceHeight <= 0 ||
      destinationWidth <= 0 || destinationHeight <= 0)
    return;
  const unsigned char* src = reinterpret_cast<const unsigned char*>(source);
  unsigned char* dst = reinterpret_cast<unsigned char*>(destination);
  if (sourceWidth == destinationWidth)
    StretchRows(src, sourceWidth, sourceHeight, dst, destinationHeight);
  else
    StretchBoth(src, sourceWidth, sourceHeight, dst, destinationWidth, destinationHeight);
}
