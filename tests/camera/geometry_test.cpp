// Frame geometry: chip size by mode and sensor, bin factors, the subframe and
// its read-time estimate, and the record's life across calls.
#include <climits>
#include <cstring>

#include "CCamAPIDll.h"
#include "test_access.h"
#include "world_fixture.h"

namespace {

void SetParams(CVCCDParams& p, unsigned width, unsigned height, unsigned bits = 16) {
  std::memset(p.bytes, 0, sizeof p.bytes);
  p.bytes[2] = width & 0xFF;
  p.bytes[3] = (width >> 8) & 0xFF;
  p.bytes[6] = height & 0xFF;
  p.bytes[7] = (height >> 8) & 0xFF;
  p.bytes[14] = static_cast<uint8_t>(bits);
}

class GeometryTest : public WorldTest {
 protected:
  void TearDown() override {
    delete TA::mainExposure(object);
    TA::mainExposure(object) = nullptr;
    WorldTest::TearDown();
  }
  // An imaging-CCD object (not an attached guider) with the given sensor.
  void Imager(unsigned w, unsigned h, bool progressive, int model = 16) {
    TA::attachedGuider(object) = 0;
    TA::progressive(object) = progressive ? 1 : 0;
    TA::model(object) = model;
    SetParams(TA::imagerParams(object), w, h);
  }
  void ChipSize(int binX, int binY, int* w, int* h) {
    int unused = 0, unusedOut = -7;
    EXPECT_EQ(object.CCGetChipSize(CorvaneKTCamera, ImagingCCD, binX, binY, unused, *w, *h,
                                   unusedOut),
              0);
    EXPECT_EQ(unusedOut, -7) << "the last result is not written";
  }
  int SubFrame(int left, int top, int right, int bottom) {
    return object.CCSetBinnedSubFrame(CorvaneKTCamera, ImagingCCD, left, top, right, bottom);
  }
  CCamAPIDll::Exposure& Record() { return *TA::mainExposure(object); }
  CCamAPIDll object;
};

struct ChipCase {
  const char* name;
  bool progressive;
  int imagingMode;
  int binX, binY;
  int expectMode;
  int expectWidth, expectHeight;
  int expectResample;
};

TEST_F(GeometryTest, ChipSizeByModeAndScanType) {
  const ChipCase cases[] = {
      {"interlaced automatic 1x1", false, 0, 1, 1, 0, 752, 580, 0},
      {"interlaced automatic 2x2", false, 0, 2, 2, 0, 376, 290, 0},
      {"interlaced progressive mode is staggered", false, 1, 1, 1, 2, 752, 580, 0},
      {"interlaced fast", false, 2, 1, 1, 3, 752, 580, 1},
      {"interlaced interlaced", false, 3, 1, 1, 4, 752, 580, 0},
      {"interlaced, mode out of range is automatic", false, 7, 1, 1, 0, 752, 580, 0},
      {"interlaced, negative mode is automatic", false, -1, 1, 1, 0, 752, 580, 0},
      {"progressive automatic", true, 0, 1, 1, 0, 752, 290, 0},
      {"progressive progressive", true, 1, 1, 1, 1, 752, 290, 0},
      {"progressive fast", true, 2, 1, 1, 3, 752, 290, 1},
      {"progressive 4x4", true, 1, 4, 4, 1, 188, 72, 0},
      {"progressive 3x2 truncates", true, 1, 3, 2, 1, 250, 145, 0},
  };
  for (const ChipCase& c : cases) {
    SCOPED_TRACE(c.name);
    delete TA::mainExposure(object);
    TA::mainExposure(object) = nullptr;
    Imager(752, 290, c.progressive, 36);
    TA::imagingMode(object) = c.imagingMode;
    int w = 0, h = 0;
    ChipSize(c.binX, c.binY, &w, &h);
    ASSERT_NE(TA::mainExposure(object), nullptr);
    EXPECT_EQ(Record().mode, c.expectMode);
    EXPECT_EQ(w, c.expectWidth);
    EXPECT_EQ(h, c.expectHeight);
    EXPECT_EQ(Record().resample, c.expectResample);
    EXPECT_EQ(Record().model, 36);
    EXPECT_EQ(Record().xBin, c.binX);
    EXPECT_EQ(Record().yBin, c.binY);
  }
}

TEST_F(GeometryTest, AttachedGuideHeadIsAlwaysProgressive) {
  TA::attachedGuider(object) = 1;
  TA::progressive(object) = 0;
  TA::model(object) = 89;
  TA::imagingMode(object) = 3;
  SetParams(TA::guiderParams(object), 752, 582, 8);
  SetParams(TA::imagerParams(object), 1000, 1000);
  for (int call = 0; call < 2; ++call) {
    int w = 0, h = 0;
    ChipSize(2, 1, &w, &h);
    EXPECT_EQ(w, 376);
    EXPECT_EQ(h, 582);
    EXPECT_EQ(Record().mode, 1);
    EXPECT_EQ(TA::GetVertScaleFactor(object, Record()), 1);
    EXPECT_EQ(Record().resample, 0);
    EXPECT_EQ(Record().model, 0);
  }
}

TEST_F(GeometryTest, ExistingRecordKeepsItsModeAndClearsReadFlags) {
  Imager(752, 290, false);
  TA::imagingMode(object) = 0;
  int w = 0, h = 0;
  ChipSize(1, 1, &w, &h);
  CCamAPIDll::Exposure* first = TA::mainExposure(object);
  Record().mode = 4;  // resolved by the start of an exposure that was never read
  TA::imagingMode(object) = 2;
  TA::readInProgress(object) = 1;
  TA::delayedReadPending(object) = 1;
  ChipSize(2, 2, &w, &h);
  EXPECT_EQ(TA::mainExposure(object), first) << "the record is reused";
  EXPECT_EQ(Record().mode, 4);
  EXPECT_EQ(Record().resample, 0);
  EXPECT_EQ(w, 376);
  EXPECT_EQ(h, 290);
  EXPECT_EQ(TA::readInProgress(object), 0);
  EXPECT_EQ(TA::delayedReadPending(object), 0);
}

// Bin factors the host never gets from the bin table: nothing faults; a
// factor below 1 gives an extent of 0; a factor above 255 keeps its low 8
// bits in the record but divides by its full value.
TEST_F(GeometryTest, OddBinFactorsDoNotFault) {
  Imager(640, 480, true);
  int w = -1, h = -1;
  ChipSize(0, 0, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(Record().xBin, 0);
  ChipSize(-2, 1, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(Record().xBin, 0xFE);
  ChipSize(INT_MIN, INT_MAX, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  ChipSize(257, 1, &w, &h);
  EXPECT_EQ(w, 2);
  EXPECT_EQ(Record().xBin, 1);
  TA::attachedGuider(object) = 1;
  ChipSize(0, 0, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
}

TEST_F(GeometryTest, BinSizeFromIndex) {
  struct Case {
    int attached;
    unsigned guideWidth;
    int index;
    long binX, binY;
  } cases[] = {
      {1, 752, 0, 2, 1}, {1, 751, 0, 1, 1}, {0, 752, 0, 1, 1}, {1, 752, 1, 2, 2},
      {1, 752, 2, 4, 4}, {0, 0, 1, 2, 2},   {0, 0, 2, 4, 4},   {1, 752, 3, 1, 1},
      {0, 0, -1, 1, 1},  {1, 752, INT_MIN, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "attached " << c.attached << " width " << c.guideWidth
                                    << " index " << c.index);
    TA::attachedGuider(object) = c.attached;
    SetParams(TA::guiderParams(object), c.guideWidth, 100);
    long bx = 0, by = 0;
    EXPECT_EQ(object.CCGetBinSizeFromIndex(CorvaneKTCamera, ImagingCCD, c.index, bx, by), 0);
    EXPECT_EQ(bx, c.binX);
    EXPECT_EQ(by, c.binY);
  }
}

struct SubCase {
  const char* name;
  bool progressive;
  int imagingMode;
  int model;
  int left, top, right, bottom;
  uint16_t x, y, width, height;
};

TEST_F(GeometryTest, SubFrameFields) {
  const SubCase cases[] = {
      {"progressive", true, 1, 16, 10, 20, 110, 70, 10, 20, 100, 50},
      {"interlaced staggered halves top only", false, 1, 36, 0, 101, 100, 301, 0, 50, 100, 200},
      {"interlaced fast", false, 2, 36, 0, 101, 100, 301, 0, 50, 100, 200},
      {"interlaced interlaced", false, 3, 36, 0, 101, 100, 301, 0, 50, 100, 200},
      {"model 89 loses an odd last line", true, 1, 89, 0, 0, 10, 481, 0, 0, 10, 480},
      {"model 89 keeps an even height", true, 1, 89, 0, 0, 10, 480, 0, 0, 10, 480},
      {"16-bit wrap of the extents", true, 1, 16, 65536 + 5, 0, 3, 70000, 5, 0, 65534, 4464},
      {"negative top truncates toward zero", false, 1, 36, 0, -3, 10, 1, 0, 0xFFFF, 10, 4},
      {"reversed box wraps", true, 1, 16, 100, 50, 90, 40, 100, 50, 65526, 65526},
  };
  for (const SubCase& c : cases) {
    SCOPED_TRACE(c.name);
    delete TA::mainExposure(object);
    TA::mainExposure(object) = nullptr;
    Imager(1000, 500, c.progressive, c.model);
    TA::imagingMode(object) = c.imagingMode;
    int w = 0, h = 0;
    ChipSize(1, 1, &w, &h);
    EXPECT_EQ(SubFrame(c.left, c.top, c.right, c.bottom), 0);
    EXPECT_EQ(Record().x, c.x);
    EXPECT_EQ(Record().y, c.y);
    EXPECT_EQ(Record().width, c.width);
    EXPECT_EQ(Record().height, c.height);
  }
}

TEST_F(GeometryTest, ReadTimeEstimateIsTruncated) {
  struct Case {
    bool progressive;
    int imagingMode;
    unsigned bits;
    int width, height;
    double msPerByte;
    uint32_t expect;
  } cases[] = {
      {true, 1, 16, 500, 1, 0.0015, 1},      // 1000 bytes * 0.0015 = 1.5
      {true, 1, 16, 500, 1, 0.0019, 1},      // 1.9, not rounded
      {false, 1, 16, 100, 11, 0.01, 10},     // (11 / 2) * 2 * 100 = 1000 bytes
      {false, 1, 8, 100, 10, 0.5, 250},      // one byte per pixel
      {true, 1, 16, 100, 100, 0.0, 0},       // not measured
      {true, 1, 16, 65535, 65535, 1e9, 0xFFFFFFFFu},  // does not fit: the largest value
      {true, 1, 255, 65535, 65535, 1e-9, 133},       // the byte count needs 64 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " rate " << c.msPerByte);
    delete TA::mainExposure(object);
    TA::mainExposure(object) = nullptr;
    Imager(1000, 500, c.progressive);
    SetParams(TA::imagerParams(object), 1000, 500, c.bits);
    TA::imagingMode(object) = c.imagingMode;
    TA::msPerByte(object) = c.msPerByte;
    int w = 0, h = 0;
    ChipSize(1, 1, &w, &h);
    SubFrame(0, 0, c.width, c.height);
    EXPECT_EQ(TA::subframeReadMs(object), c.expect);
  }
}

TEST_F(GeometryTest, SubFrameWithoutRecordIsANoOp) {
  TA::subframeReadMs(object) = 77;
  EXPECT_EQ(SubFrame(0, 0, 100, 100), 0);
  EXPECT_EQ(TA::mainExposure(object), nullptr);
  EXPECT_EQ(TA::subframeReadMs(object), 77u);
}

TEST_F(GeometryTest, VertScaleFactor) {
  CCamAPIDll::Exposure e;
  for (int mode = 0; mode <= 4; ++mode) {
    e.mode = mode;
    TA::progressive(object) = 1;
    EXPECT_EQ(TA::GetVertScaleFactor(object, e), 1);
    TA::progressive(object) = 0;
    EXPECT_EQ(TA::GetVertScaleFactor(object, e), mode == 1 ? 1 : 2);
  }
}

TEST_F(GeometryTest, MainExposureAccessors) {
  CCamAPIDll::Exposure a, b;
  object.SetMainExposure(&a);
  EXPECT_EQ(object.GetMainExposure(), &a);
  object.SetMainExposure(&b);
  EXPECT_EQ(object.GetMainExposure(), &b);
  object.SetMainExposure(nullptr);
  EXPECT_EQ(object.GetMainExposure(), nullptr);
}

}  // namespace
