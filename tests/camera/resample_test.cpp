// The bilinear stretch: the Fast mode's worked example, bit-identity with the
// double-precision formula (the readout's vertical stretch with even and odd
// heights, and general stretches in both directions), and that nothing is
// read beyond the source or written between destination rows.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "CCamAPIDll.h"
#include "pixel_reference.h"
#include "test_access.h"

namespace {

using ref::Bytes;

class ResampleTest : public ::testing::Test {
 protected:
  // The source is copied into a block of exactly its size (so the sanitizer
  // build sees any read beyond it); the destination starts as 0xAA bytes.
  Bytes Run(const Bytes& src, int sw, int sh, int dw, int dh) {
    std::unique_ptr<unsigned short[]> exact(new unsigned short[src.size() / 2]);
    std::memcpy(exact.get(), src.data(), src.size());
    const size_t stride = (size_t(dw) + 7) & ~size_t(7);
    Bytes dst(2 * (stride * (dh - 1) + dw), 0xAA);
    std::unique_ptr<unsigned short[]> out(new unsigned short[dst.size() / 2]);
    std::memcpy(out.get(), dst.data(), dst.size());
    TA::Resample(*o, exact.get(), sw, sh, out.get(), dw, dh);
    std::memcpy(dst.data(), out.get(), dst.size());
    return dst;
  }
  std::unique_ptr<CCamAPIDll> o{AllocObject()};
};

TEST_F(ResampleTest, FastModeWorkedExample) {
  // Two source rows stretched to four; the row below the last stands for
  // itself, so the last destination row repeats source row 1.
  Bytes dst = Run(ref::Samples({10, 20, 30, 50, 60, 70}), 3, 2, 3, 4);
  const uint16_t expected[4][3] = {{10, 20, 30}, {30, 40, 50}, {50, 60, 70}, {50, 60, 70}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(ref::Get(dst, 8 * i + j), expected[i][j]) << i << "," << j;
  // Rows start every 8 samples; the samples between rows are untouched.
  for (int i = 0; i < 3; ++i)
    for (int j = 3; j < 8; ++j) EXPECT_EQ(ref::Get(dst, 8 * i + j), 0xAAAA);
}

TEST_F(ResampleTest, TruncatedMeanOfOddRows) {
  Bytes dst = Run(ref::Samples({0, 65535, 3, 1, 65535, 4}), 3, 2, 3, 4);
  EXPECT_EQ(ref::Get(dst, 8 + 0), 0);      // (0 + 1) / 2
  EXPECT_EQ(ref::Get(dst, 8 + 1), 65535);  // no carry out of the lane
  EXPECT_EQ(ref::Get(dst, 8 + 2), 3);      // (3 + 4) / 2
}

TEST_F(ResampleTest, VerticalStretchIsBitIdenticalToTheFormula) {
  // The readout's use: sw = dw = w, sh = h / 2, for even and odd h; odd h
  // gives weights that are neither 0 nor 0.5.
  struct Case {
    int w, h;
  } cases[] = {{3, 4}, {1, 2}, {5, 7}, {13, 9}, {1392, 1040}, {1391, 1041}, {8, 3}, {4, 101}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    const int sh = c.h / 2;
    Bytes src = ref::Random(2 * size_t(c.w) * sh, c.w + 17 * c.h);
    EXPECT_EQ(Run(src, c.w, sh, c.w, c.h), ref::Resample(src, c.w, sh, c.w, c.h));
  }
}

TEST_F(ResampleTest, EqualNeighboursFollowTheFormulaExactly) {
  // With weights that do not sum to 1 exactly, v (1 - t) + v t may come out
  // just below v and truncate to v - 1: the result must be the formula's.
  Bytes src(2 * 3 * 40);
  for (size_t i = 0; i < src.size() / 2; ++i) ref::Put(src, i, 65535 - uint16_t(i % 7));
  for (int dh : {41, 57, 79}) EXPECT_EQ(Run(src, 3, 40, 3, dh), ref::Resample(src, 3, 40, 3, dh));
}

TEST_F(ResampleTest, GeneralStretchIsBitIdenticalToTheFormula) {
  struct Case {
    int sw, sh, dw, dh;
  } cases[] = {{3, 2, 6, 4}, {4, 4, 3, 3}, {5, 3, 11, 7}, {1, 1, 9, 5}, {10, 10, 1, 1}, {7, 5, 8, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
    Bytes src = ref::Random(2 * size_t(c.sw) * c.sh, c.sw * 5 + c.dh);
    EXPECT_EQ(Run(src, c.sw, c.sh, c.dw, c.dh), ref::Resample(src, c.sw, c.sh, c.dw, c.dh));
  }
}

TEST_F(ResampleTest, EmptySizesWriteNothing) {
  Bytes src = ref::Samples({1, 2, 3, 4});
  unsigned short dst[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  const unsigned short* s = reinterpret_cast<const unsigned short*>(src.data());
  TA::Resample(*o, s, 2, 0, dst, 2, 2);
  TA::Resample(*o, s, 0, 2, dst, 2, 2);
  TA::Resample(*o, s, 2, 2, dst, 0, 2);
  TA::Resample(*o, s, 2, 2, dst, 2, -1);
  TA::Resample(*o, nullptr, 2, 2, dst, 2, 2);
  for (unsigned short v : dst) EXPECT_EQ(v, 7);
}

}  // namespace
