// The model-specific reorderings and the per-row black level, against the
// worked examples and against plain restatements of their formulas on random
// data of regular and awkward sizes. Buffers are allocated at their exact
// sizes so that the sanitizer build catches any access beyond them.
#include <gtest/gtest.h>

#include <memory>

#include "CCamAPIDll.h"
#include "pixel_reference.h"
#include "test_access.h"

namespace {

using ref::Bytes;

class ReorderTest : public ::testing::Test {
 protected:
  std::unique_ptr<CCamAPIDll> o{AllocObject()};
};

TEST_F(ReorderTest, R31SplitsEachDeliveredLineIntoTwoRows) {
  Bytes src = ref::Samples({1, 2, 3, 4});
  Bytes dst(8, 0xEE);
  TA::AdjustR31(*o, src.data(), dst.data(), 2, 2);
  EXPECT_EQ(dst, ref::Samples({1, 3, 2, 4}));
}

TEST_F(ReorderTest, R31MatchesTheFormulaForAnyWidthAndHeight) {
  struct Case {
    int w, h;
  } cases[] = {{1, 2}, {3, 4}, {5, 6}, {3032, 4}, {4000, 6}, {3, 1}, {7, 5}, {3033, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    // The source holds only the whole delivered lines.
    Bytes src = ref::Random(size_t(c.h / 2) * 4 * c.w, c.w * 31 + c.h);
    Bytes dst(2 * size_t(c.w) * c.h, 0xEE);
    TA::AdjustR31(*o, src.data(), dst.data(), c.w, c.h);
    // An odd last row has no source line: it is left as it was.
    EXPECT_EQ(dst, ref::R31(src, c.w, c.h, 0xEE));
  }
}

TEST_F(ReorderTest, R31WorksInPlace) {
  const int w = 3100, h = 6;
  Bytes src = ref::Random(2 * size_t(w) * h, 7);
  Bytes expected = ref::R31(src, w, h);
  TA::AdjustR31(*o, src.data(), src.data(), w, h);
  EXPECT_EQ(src, expected);
}

TEST_F(ReorderTest, R31IgnoresEmptyOrNegativeSizes) {
  Bytes src = ref::Samples({1, 2, 3, 4});
  Bytes dst(8, 0xEE);
  for (auto wh : {std::pair<int, int>{0, 2}, {2, 0}, {-2, 2}, {2, -2}}) {
    TA::AdjustR31(*o, src.data(), dst.data(), wh.first, wh.second);
    EXPECT_EQ(dst, Bytes(8, 0xEE));
  }
  TA::AdjustR31(*o, nullptr, dst.data(), 2, 2);
  TA::AdjustR31(*o, src.data(), nullptr, 2, 2);
}

TEST_F(ReorderTest, R32UnfoldsTheWorkedExamples) {
  // W = 2, H = 4: column 0 = a0 a3 a2 a1, column 1 = b0 b3 b2 b1.
  {
    Bytes f1 = ref::Samples({10, 11, 12, 13});
    Bytes f2 = ref::Samples({20, 21, 22, 23});
    Bytes dst(16, 0xEE);
    TA::AdjustR32(*o, dst.data(), f1.data(), f2.data(), 2, 4);
    EXPECT_EQ(dst, ref::Samples({10, 20, 13, 23, 12, 22, 11, 21}));
  }
  // W = 4, H = 8: field 1 samples 0-3 to column 0 rows 0, 7, 2, 5; samples
  // 4-7 to column 2, same rows; samples 8-15 to rows 4, 3, 6, 1.
  {
    Bytes f1(2 * 16), f2(2 * 16);
    for (int i = 0; i < 16; ++i) {
      ref::Put(f1, i, uint16_t(100 + i));
      ref::Put(f2, i, uint16_t(200 + i));
    }
    Bytes dst(2 * 32, 0xEE);
    TA::AdjustR32(*o, dst.data(), f1.data(), f2.data(), 4, 8);
    auto px = [&](int r, int c) { return ref::Get(dst, size_t(r) * 4 + c); };
    const int rows[8] = {0, 7, 2, 5, 4, 3, 6, 1};
    for (int q = 0; q < 4; ++q) {
      EXPECT_EQ(px(rows[q], 0), 100 + q);
      EXPECT_EQ(px(rows[q], 2), 104 + q);
      EXPECT_EQ(px(rows[q], 1), 200 + q);
      EXPECT_EQ(px(rows[4 + q], 0), 108 + q);
      EXPECT_EQ(px(rows[4 + q], 2), 112 + q);
      EXPECT_EQ(px(rows[4 + q], 3), 212 + q);
    }
  }
}

TEST_F(ReorderTest, R32MatchesTheFormulaAndStaysInsideForAwkwardSizes) {
  struct Case {
    int W, H;
  } cases[] = {{2, 4},  {4, 8},  {1000, 600}, {6, 12}, {3, 8}, {5, 6},
               {4, 5},  {4, 7},  {2, 1},      {1, 4},  {1, 1}, {7, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << " x " << c.H);
    // Each field holds exactly the (W / 2) * H samples it contributes.
    const size_t P = size_t(c.W / 2) * c.H;
    Bytes f1 = ref::Random(2 * P, c.W * 7 + c.H);
    Bytes f2 = ref::Random(2 * P, c.W * 11 + c.H);
    f1.reserve(f1.size() + 1);  // keep data() valid for an empty field
    f2.reserve(f2.size() + 1);
    Bytes dst(2 * size_t(c.W) * c.H, 0xEE);
    TA::AdjustR32(*o, dst.data(), f1.data(), f2.data(), c.W, c.H);
    EXPECT_EQ(dst, ref::R32(f1, f2, c.W, c.H));
  }
}

TEST_F(ReorderTest, T9TakesTheReferenceLevelsOffEachRow) {
  struct Case {
    const char* what;
    uint16_t evenRef, oddRef;
    uint16_t at16, at17;
    uint16_t out16, out17;
  } cases[] = {
      {"levels 100 and 108", 100, 108, 150, 100, 50, 0},
      {"even sum 72000 wraps to 6464, level 808", 9000, 0, 900, 5, 92, 5},
      {"equal to the level gives 0", 100, 100, 100, 101, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes row(2 * 18 * 2);
    for (int r = 0; r < 2; ++r) {
      for (int j = 0; j < 16; ++j) ref::Put(row, r * 18 + j, j % 2 ? c.oddRef : c.evenRef);
      ref::Put(row, r * 18 + 16, c.at16);
      ref::Put(row, r * 18 + 17, c.at17);
    }
    TA::AdjustT9(*o, row.data(), 18, 2);
    EXPECT_EQ(ref::Get(row, 0), c.out16);
    EXPECT_EQ(ref::Get(row, 1), c.out17);
    EXPECT_EQ(ref::Get(row, 2), c.out16);  // the second row closes up behind
    EXPECT_EQ(ref::Get(row, 3), c.out17);
  }
}

TEST_F(ReorderTest, T9MatchesTheFormula) {
  for (int w : {1, 16, 17, 18, 33, 1392}) {
    for (int h : {1, 3}) {
      SCOPED_TRACE(testing::Message() << w << " x " << h);
      Bytes in = ref::Random(2 * size_t(w) * h, w * 3 + h);
      Bytes buf = in;
      TA::AdjustT9(*o, buf.data(), w, h);
      Bytes out = ref::T9(in, w, h);
      ASSERT_LE(out.size(), buf.size());
      EXPECT_EQ(Bytes(buf.begin(), buf.begin() + out.size()), out);
      // Beyond the output the buffer holds what it held.
      EXPECT_EQ(Bytes(buf.begin() + out.size(), buf.end()),
                Bytes(in.begin() + out.size(), in.end()));
    }
  }
}

}  // namespace
