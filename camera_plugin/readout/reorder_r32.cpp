// Model 90 has its two fields along the frame's columns (field 1 the even
// columns, field 2 the odd ones) and delivers each field folded: every pass
// puts four samples into each column of the field, at rows 4k and 4k + 2
// counted from the top and H - 1 - 4k and H - 3 - 4k counted from the bottom.
// This rebuilds the frame, rows back to back.
//
// In pass k, column 2j takes samples 4(kJ + j) .. 4(kJ + j) + 3 of field 1 and
// column 2j + 1 the same samples of field 2 (J = W / 2 columns per field), so
// a pass fills four whole frame rows. Walking the passes in order therefore
// writes four row streams while reading the two fields straight through,
// which needs no column-major working image at all.
#include <cstring>

#include "CCamAPIDll.h"
#include "pixel_rows.h"

namespace {

// W even and H a multiple of 4: every cell is written exactly once.
void UnfoldRegular(unsigned char* dst, const unsigned char* f1, const unsigned char* f2, size_t W,
                   size_t H) {
  const size_t J = W / 2;
  const size_t rowBytes = 2 * W;
  for (size_t k = 0; k < H / 4; ++k) {
    unsigned char* r0 = dst + (4 * k) * rowBytes;
    unsigned char* r1 = dst + (H - 1 - 4 * k) * rowBytes;
    unsigned char* r2 = dst + (4 * k + 2) * rowBytes;
    unsigned char* r3 = dst + (H - 3 - 4 * k) * rowBytes;
    const unsigned char* a = f1 + k * J * 8;
    const unsigned char* b = f2 + k * J * 8;
    for (size_t j = 0; j < J; ++j) {
      const unsigned char* q = a + 8 * j;
      const unsigned char* p = b + 8 * j;
      unsigned char* c0 = r0 + 4 * j;
      unsigned char* c1 = r1 + 4 * j;
      unsigned char* c2 = r2 + 4 * j;
      unsigned char* c3 = r3 + 4 * j;
      std::memcpy(c0, q, 2);
      std::memcpy(c0 + 2, p, 2);
      std::memcpy(c1, q + 2, 2);
      std::memcpy(c1 + 2, p + 2, 2);
      std::memcpy(c2, q + 4, 2);
      std::memcpy(c2 + 2, p + 4, 2);
      std::memcpy(c3, q + 6, 2);
      std::memcpy(c3 + 2, p + 6, 2);
    }
  }
}

// Any other size. The folded rows then run off the frame, meet each other or
// leave cells empty: the frame starts as zeros, a sample whose row lies
// outside the frame is dropped, a later sample for the same cell wins, and no
// field is read past the (W / 2) * H samples it holds. Column W - 1 of an odd
// width belongs to neither field and stays zero.
void UnfoldIrregular(unsigned char* dst, const unsigned char* f1, const unsigned char* f2,
                     long long W, long long H) {
  std::memset(dst, 0, static_cast<size_t>(2 * W * H));
  const long long P = (W / 2) * H;
  for (int field = 0; field < 2; ++field) {
    const unsigned char* src = field == 0 ? f1 : f2;
    long long taken = 0;
    for (long long k = 0; taken < P; ++k) {
      const long long rows[4] = {4 * k, H - 1 - 4 * k, 4 * k + 2, H - 3 - 4 * k};
      for (long long c = field; c < (field == 0 ? W - 1 : W); c += 2) {
        for (int q = 0; q < 4; ++q, ++taken) {
          if (taken >= P) continue;
          const long long r = rows[q];
          if (r < 0 || r >= H) continue;
          std::memcpy(dst + 2 * (r * W + c), src + 2 * taken, 2);
        }
      }
    }
  }
}

}  // namespace

void CCamAPIDll::AdjustR32(unsigned char* destination, unsigned char* field1, unsigned char* field2,
                           int width, int height) {
  if (destination == nullptr || field1 == nullptr || field2 == nullptr || width <= 0 ||
      height <= 0)
    return;
  if (width % 2 == 0 && height % 4 == 0)
    UnfoldRegular(destination, field1, field2, static_cast<size_t>(width),
                  static_cast<size_t>(height));
  else
    UnfoldIrregular(destination, field1, field2, width, height);
}
