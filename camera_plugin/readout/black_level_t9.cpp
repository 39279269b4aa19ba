// Per-row black level: the first 16 samples of every row are masked
// reference pixels. Their even and odd positions give two levels (sums kept
// in 16 bits, then divided by 8), which are taken off the rest of the row,
// clipping at 0; the reference columns are dropped, so the rows close up to
// w - 16 samples each, written over the buffer from its start.
#include <cstdint>

#include "CCamAPIDll.h"
#include "pixel_rows.h"

void CCamAPIDll::AdjustT9(unsigned char* buffer, int width, int height) {
  if (buffer == nullptr || width <= 0 || height <= 0) return;
  const size_t w = static_cast<size_t>(width);
  const size_t rows = static_cast<size_t>(height);
  size_t out = 0;  // write position in samples, never ahead of the read position
  for (size_t r = 0; r < rows; ++r) {
    const unsigned char* row = buffer + 2 * r * w;
    if (w <= 16) continue;
    uint16_t evenSum = 0;
    uint16_t oddSum = 0;
    for (size_t j = 0; j < 16; j += 2) {
      evenSum = static_cast<uint16_t>(evenSum + cvpix::LoadU16(row + 2 * j));
      oddSum = static_cast<uint16_t>(oddSum + cvpix::LoadU16(row + 2 * j + 2));
    }
    const uint16_t level[2] = {static_cast<uint16_t>(evenSum >> 3),
                               static_cast<uint16_t>(oddSum >> 3)};
    for (size_t j = 16; j < w; ++j) {
      const uint16_t v = cvpix::LoadU16(row + 2 * j);
      const uint16_t l = level[j & 1];
      cvpix::StoreU16(buffer + 2 * out, v > l ? static_cast<uint16_t>(v - l) : 0);
      ++out;
    }
  }
}
