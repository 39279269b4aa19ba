// The plug-in object: exports, construction order, copies, destruction and
// the slots that only answer.
#include <cstring>
#include <memory>

#include "CCamAPIDll.h"
#include "test_access.h"
#include "world_fixture.h"

namespace {

class ObjectTest : public WorldTest {};

const enumZZCAM2 kCam = CorvaneKTCamera;
const enumWhichCCD2 kImg = ImagingCCD;

TEST_F(ObjectTest, DisplayNameIsCutToTheBufferAndAlwaysTerminated) {
  struct Case {
    int size;
    const char* expected;
  } cases[] = {{100, "Corvane KT Series"}, {18, "Corvane KT Series"}, {17, "Corvane KT Serie"},
               {5, "Corv"},                {1, ""}};
  for (const Case& c : cases) {
    char buffer[128];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(CamAPIGetDisplayName(buffer, c.size), 0);
    EXPECT_STREQ(buffer, c.expected) << "size " << c.size;
    EXPECT_EQ(buffer[c.size], 'x') << "wrote past the buffer of size " << c.size;
  }
}

TEST_F(ObjectTest, DisplayNameWithNoBufferWritesNothing) {
  char buffer[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(CamAPIGetDisplayName(nullptr, 100), 0);
  EXPECT_EQ(CamAPIGetDisplayName(buffer, 0), 0);
  EXPECT_EQ(CamAPIGetDisplayName(buffer, -5), 0);
  EXPECT_EQ(std::memcmp(buffer, "abcd", 4), 0);
  std::unique_ptr<CCamAPIDll> o(AllocObject());
  o->GetDisplayName(nullptr, 10);
  o->GetDisplayName(buffer, 3);
  EXPECT_STREQ(buffer, "Co");
}

TEST_F(ObjectTest, DeviceIdIs10000) {
  enumZZCAM2 id = static_cast<enumZZCAM2>(0);
  EXPECT_EQ(CamAPIGetDeviceId(&id), 0);
  EXPECT_EQ(id, 10000);
  EXPECT_EQ(CamAPIGetDeviceId(nullptr), 0);
}

TEST_F(ObjectTest, ConstructorDefaults) {
  std::unique_ptr<CCamAPIDll> o(AllocObject());
  ASSERT_TRUE(o);
  EXPECT_EQ(o->GetCameraId(), 10000);
  EXPECT_EQ(o->GetLinked(), 0);
  EXPECT_EQ(TA::imagingMode(*o), 0);
  EXPECT_EQ(TA::device(*o), INVALID_HANDLE_VALUE);
  EXPECT_EQ(TA::progressive(*o), 0);
  EXPECT_EQ(TA::fullReadMs(*o), 0u);
  EXPECT_EQ(TA::mainExposure(*o), nullptr);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(TA::slotProductIndex(*o)[k], -1);
    EXPECT_EQ(TA::slotState(*o)[k], 0);
    EXPECT_EQ(TA::slotModelCode(*o)[k], 0);
    EXPECT_STREQ(TA::slotPath(*o, k), "");
  }
  EXPECT_EQ(TA::whichCcd(*o), 0);
  EXPECT_EQ(TA::selectedSlot(*o), 0);
  EXPECT_DOUBLE_EQ(TA::ccdTemperature(*o), 21.0);
  EXPECT_DOUBLE_EQ(TA::setpoint(*o), 5.0);
  EXPECT_EQ(TA::coolerStatus(*o), 0);
  EXPECT_EQ(TA::attachedGuider(*o), 1);
  EXPECT_EQ(TA::connected(*o), 0);
  EXPECT_EQ(TA::hasGuideHead(*o) | TA::hasGuidePort(*o) | TA::hasCooler(*o) | TA::hasShutter(*o), 0);
  EXPECT_EQ(TA::readInProgress(*o), 0);
  EXPECT_EQ(TA::delayedReadPending(*o), 0);
  EXPECT_EQ(TA::coolerOn(*o), 0);
  EXPECT_EQ(TA::spinnerPhase(*o), 0u);
  EXPECT_DOUBLE_EQ(TA::msPerByte(*o), 0.0);
  EXPECT_EQ(TA::useAO(*o), 0);
  const CVCCDParams zero{};
  EXPECT_EQ(std::memcmp(&TA::imagerParams(*o), &zero, 17), 0);
  EXPECT_EQ(std::memcmp(&TA::guiderParams(*o), &zero, 17), 0);
}

TEST_F(ObjectTest, InstanceIndexCountsObjectsAndCopiesKeepTheirSourcesIndex) {
  CCamAPIDll* first = AllocObject();
  CCamAPIDll* second = AllocObject();
  EXPECT_EQ(TA::instanceIndex(*first), 0);
  EXPECT_EQ(TA::instanceIndex(*second), 1);
  EXPECT_EQ(g_instanceCount, 2);

  CCamAPIDll copy(*second);
  EXPECT_EQ(TA::instanceIndex(copy), 1);
  EXPECT_EQ(g_instanceCount, 2);

  CCamAPIDll assigned;  // the third object built: no index of its own
  EXPECT_EQ(g_instanceCount, 3);
  EXPECT_EQ(TA::instanceIndex(assigned), 0);
  EXPECT_EQ(&(assigned = *second), &assigned);
  EXPECT_EQ(TA::instanceIndex(assigned), 1);

  first->ScalarDeletingDestructor(1);
  second->ScalarDeletingDestructor(1);
  EXPECT_EQ(g_instanceCount, 3);  // destroying never lowers the count
  std::unique_ptr<CCamAPIDll> later(AllocObject());
  EXPECT_EQ(g_instanceCount, 4);
  EXPECT_EQ(TA::instanceIndex(*later), 0);
}

TEST_F(ObjectTest, CopySharesHandleAndRecord) {
  std::unique_ptr<CCamAPIDll> o(AllocObject());
  CCamAPIDll::Exposure record;
  o->SetMainExposure(&record);
  TA::device(*o) = reinterpret_cast<HANDLE>(0x1234);
  TA::selectedSlot(*o) = 2;
  TA::setpoint(*o) = -12.5;
  std::strcpy(TA::slotPathMutable(*o, 1), "path-one");
  CCamAPIDll copy(*o);
  EXPECT_EQ(copy.GetMainExposure(), &record);
  EXPECT_EQ(TA::device(copy), reinterpret_cast<HANDLE>(0x1234));
  EXPECT_EQ(TA::selectedSlot(copy), 2);
  EXPECT_DOUBLE_EQ(TA::setpoint(copy), -12.5);
  EXPECT_STREQ(TA::slotPath(copy, 1), "path-one");
  // The copy's table is the class's own.
  EXPECT_EQ(*reinterpret_cast<void**>(&copy), *reinterpret_cast<void**>(o.get()));
  TA::device(*o) = INVALID_HANDLE_VALUE;
  TA::device(copy) = INVALID_HANDLE_VALUE;
  o->SetMainExposure(nullptr);
}

TEST_F(ObjectTest, SlotZeroWithoutTheFreeFlagOnlyDestroys) {
  alignas(CCamAPIDll) unsigned char storage[sizeof(CCamAPIDll)];
  CCamAPIDll* o = new (storage) CCamAPIDll();
  EXPECT_EQ(o->ScalarDeletingDestructor(0), static_cast<void*>(storage));
}

TEST_F(ObjectTest, IdentityAndLinkFlagAreStored) {
  std::unique_ptr<CCamAPIDll> o(AllocObject());
  o->SetCameraId(static_cast<enumZZCAM2>(42));
  EXPECT_EQ(o->GetCameraId(), 42);
  o->SetLinked(7);
  EXPECT_EQ(o->GetLinked(), 7);
}

TEST_F(ObjectTest, TrivialSlotsAnswerAndChangeNothing) {
  std::unique_ptr<CCamAPIDll> o(AllocObject());
  EXPECT_EQ(o->GetVersion(), 5);
  EXPECT_EQ(o->GetLineReadout(), 0);
  int bins = 0;
  EXPECT_EQ(o->CCGetNumBins(kCam, kImg, bins), 0);
  EXPECT_EQ(bins, 3);
  unsigned long range = 0;
  EXPECT_EQ(o->GetFullDynamicRange(kCam, kImg, range), 0);
  EXPECT_EQ(range, 65535ul);
  EXPECT_EQ(o->CCUpdateClock(), static_cast<int>(0x80004001u));

  CCamAPIDll before(*o);
  const int i = 3;
  const unsigned u = 9;
  unsigned char line[16] = {};
  EXPECT_EQ(o->CCReadoutLine(kCam, kImg, i, i, i, line), 0);
  EXPECT_EQ(o->CCDumpLines(kCam, kImg, i, u), 0);
  EXPECT_EQ(o->CCSetFan(i), 0);
  EXPECT_EQ(o->CCPulseOut(1u, 2, kCam), 0);
  EXPECT_EQ(o->CCSetImageProps(kCam, kImg, i, nullptr), 0);
  int state = 5;
  o->CCMakeExposureState(&state, kCam, 1, 2, 3, 4);
  o->AfterDownload(kCam, kImg);
  EXPECT_EQ(state, 5);
  for (unsigned char b : line) EXPECT_EQ(b, 0);
  EXPECT_EQ(TA::connected(*o), TA::connected(before));
  EXPECT_EQ(TA::readInProgress(*o), 0);
  EXPECT_EQ(TA::mainExposure(*o), nullptr);
  EXPECT_EQ(TA::device(*o), INVALID_HANDLE_VALUE);
  EXPECT_EQ(TA::selectedSlot(*o), TA::selectedSlot(before));
}

}  // namespace
