// Model 89 delivers each pair of frame lines as one line of twice the width,
// the two lines' pixels alternating: sample 2k of a delivered line belongs to
// the upper row, sample 2k + 1 to the lower one. This splits every delivered
// line into its two rows.
#include <cstring>

#include "CCamAPIDll.h"
#include "pixel_rows.h"

namespace {

// Splits one delivered line of 2 * w samples into two rows of w samples.
// Samples are moved as byte pairs, so the byte order never matters.
void SplitLine(const unsigned char* line, unsigned char* upper, unsigned char* lower, size_t w) {
  for (size_t k = 0; k < w; ++k) {
    std::memcpy(upper + 2 * k, line + 4 * k, 2);
    std::memcpy(lower + 2 * k, line + 4 * k + 2, 2);
  }
}

}  // namespace

void CCamAPIDll::AdjustR31(unsigned char* source, unsigned char* destination, int width,
                           int height) {
  if (source == nullptr || destination == nullptr || width <= 0 || height <= 0) return;
  const size_t w = static_cast<size_t>(width);
  const size_t rowBytes = 2 * w;
  // Only whole delivered lines are taken: an odd height would need half of a
  // line that the source does not hold, so its last row is left as it was.
  const size_t pairs = static_cast<size_t>(height) / 2;

  // A delivered line and the two rows it becomes cover the same bytes, so
  // the routine may work in place; then each line goes through a buffer
  // sized from the width first. Separate buffers are split directly.
  const bool inPlace = source == destination;
  cvpix::Block line;
  if (inPlace && !line.Obtain(2 * static_cast<uint64_t>(rowBytes))) return;

  for (size_t m = 0; m < pairs; ++m) {
    const unsigned char* from = source + m * 2 * rowBytes;
    if (inPlace) {
      std::memcpy(line.data(), from, 2 * rowBytes);
      from = line.data();
    }
    unsigned char* upper = destination + 2 * m * rowBytes;
    SplitLine(from, upper, upper + rowBytes, w);
  }
}
