// Discovery over the simulated driver's interfaces, and opening a slot.
#include <cstring>
#include <memory>
#include <string>

#include "CCamAPIDll.h"
#include "product_table.h"
#include "sim_camera.h"
#include "test_access.h"
#include "world_fixture.h"

namespace {

using cvworld::World;

// A device of the driver's class that is not a camera of ours.
class ForeignDevice : public cvworld::Device {
 public:
  uint32_t write(uint32_t, const uint8_t*, uint32_t n, uint32_t* done) override {
    *done = n;
    return 0;
  }
  uint32_t read(uint32_t, uint8_t*, uint32_t, uint32_t* done) override {
    *done = 0;
    return 0;
  }
};

class DiscoveryTest : public WorldTest {
 protected:
  std::unique_ptr<CCamAPIDll> object{AllocObject()};
  void publishPath(const std::string& path) {
    World::instance().publish(cvworld::kCameraDriverClass, path,
                              std::make_shared<ForeignDevice>());
  }
  int state(int k) { return TA::slotState(*object)[k]; }
  int row(int k) { return TA::slotProductIndex(*object)[k]; }
  int model(int k) { return TA::slotModelCode(*object)[k]; }
  std::string path(int k) { return TA::slotPath(*object, k); }
};

TEST(ProductTableTest, RowsAsListed) {
  EXPECT_STREQ(ProductTable[0].key, "FFFF");
  EXPECT_STREQ(ProductTable[0].name, "Attached");
  EXPECT_STREQ(ProductTable[19].name, "R31");
  EXPECT_EQ(ProductTable[19].modelCode, 89);
  EXPECT_STREQ(ProductTable[20].name, "R32");
  EXPECT_EQ(ProductTable[20].modelCode, 90);
  EXPECT_STREQ(ProductTable[35].name, "Orthane-C");
  EXPECT_EQ(ProductTable[35].modelCode, 188);
  for (int r = 40; r < 48; ++r) {
    EXPECT_STREQ(ProductTable[r].key, "0000");
    EXPECT_EQ(std::string(ProductTable[r].name), std::to_string(r));
    EXPECT_EQ(ProductTable[r].modelCode, 0);
  }
}

TEST(ProductTableTest, FirstEqualKeyWins) {
  struct Case {
    const char* pid;
    int row;
    int model;
    const char* name;
  } cases[] = {
      {"0A30", 5, 16, "T21"},      {"0E15", 34, 60, "Orthane"}, {"0A43", 10, 36, "T43"},
      {"0A25", 38, 17, "T25"},     {"0000", 40, 0, "40"},       {"FFFF", 0, 0, "Attached"},
      {"0C52", 19, 89, "R31"},     {"0E11", 21, 70, "Pellion"}, {"0E12", 22, 39, "Duvane"},
  };
  for (const Case& c : cases) {
    int r = FindProductRow(c.pid);
    EXPECT_EQ(r, c.row) << c.pid;
    EXPECT_EQ(ProductModelCode(r), c.model) << c.pid;
    EXPECT_STREQ(ProductDisplayName(r), c.name) << c.pid;
  }
  EXPECT_EQ(FindProductRow("1234"), -1);
  EXPECT_EQ(FindProductRow("0A3"), -1);
  EXPECT_STREQ(ProductDisplayName(-1), kUnknownProductName);
}

TEST_F(DiscoveryTest, FillsSlotsAndKeepsThePathsLetterCase) {
  auto t21 = cvsim::AttachCamera("0A30", 0);
  auto rq2 = cvsim::AttachCamera("0A12", 1);
  EXPECT_NE(object->FindCameras(), 0);
  EXPECT_EQ(state(0), 2);
  EXPECT_EQ(row(0), 5);
  EXPECT_EQ(model(0), 16);
  EXPECT_EQ(path(0), cvsim::CameraDevicePath("0A30", 0));
  EXPECT_NE(path(0).find("vid_5a31&pid_0a30"), std::string::npos);
  EXPECT_EQ(state(1), 2);
  EXPECT_EQ(row(1), 12);
  EXPECT_EQ(model(1), 69);
  EXPECT_EQ(state(2), 0);
  EXPECT_EQ(row(2), -1);
  // Discovery's trial opens are closed again; the object holds no device.
  EXPECT_EQ(World::instance().openHandleCount(), 0u);
  EXPECT_EQ(World::instance().openSetCount(), 0u);
  EXPECT_EQ(TA::device(*object), INVALID_HANDLE_VALUE);
}

TEST_F(DiscoveryTest, MarkersAndDigitsInEitherCase) {
  publishPath("\\\\?\\USB#Vid_5a31&PiD_0e15#x#{guid}");
  publishPath("\\\\?\\usb#VID_5A31&PID_0C52#y#{guid}");
  object->FindCameras();
  EXPECT_EQ(row(0), 34);
  EXPECT_EQ(path(0), "\\\\?\\USB#Vid_5a31&PiD_0e15#x#{guid}");
  EXPECT_EQ(row(1), 19);
}

TEST_F(DiscoveryTest, InterfacesThatArePassedOverLeaveTheirSlotAlone) {
  const std::string longPath = "\\\\?\\usb#vid_5a31&pid_0a30#" + std::string(80, 'z') + "#end";
  ASSERT_GE(longPath.size(), 100u);
  publishPath("\\\\?\\usb#vid_1234&pid_0a30#foreign");  // another vendor
  publishPath("\\\\?\\usb#no-markers-here");
  publishPath(longPath);
  publishPath("\\\\?\\usb#vid_5a31&pid_0a");  // product identifier cut short
  TA::slotState(*object)[2] = 2;
  std::strcpy(TA::slotPathMutable(*object, 2), "kept");
  EXPECT_EQ(object->FindCameras(), 0);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(row(k), -1) << k;
  EXPECT_EQ(state(0), 0);
  EXPECT_EQ(state(2), 2);
  EXPECT_EQ(path(2), "kept");
  EXPECT_EQ(World::instance().openHandleCount(), 0u);
}

TEST_F(DiscoveryTest, ForeignInterfaceFirstMakersCameraSecond) {
  publishPath("\\\\?\\usb#vid_04b4&pid_1004#other");
  cvsim::AttachCamera("0A21", 0);
  EXPECT_NE(object->FindCameras(), 0);
  EXPECT_EQ(state(0), 0);
  EXPECT_EQ(row(0), -1);
  EXPECT_EQ(state(1), 2);
  EXPECT_EQ(row(1), 1);
}

TEST_F(DiscoveryTest, OnlyTheFirstFourInterfacesAreExamined) {
  const char* keys[] = {"0A21", "0C21", "0A23", "0C23", "0A30", "0A32"};
  for (int i = 0; i < 6; ++i) cvsim::AttachCamera(keys[i], i);
  object->FindCameras();
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(state(k), 2);
    EXPECT_EQ(row(k), k + 1);
  }
}

TEST_F(DiscoveryTest, CameraThatRefusesToOpenIsMarkedAndNotCounted) {
  auto refused = cvsim::AttachCamera("0A30", 0);
  refused->refuseOpen(cvworld::err::accessDenied);
  EXPECT_EQ(object->FindCameras(), 0);
  EXPECT_EQ(state(0), -1);
  EXPECT_EQ(row(0), 5);
  EXPECT_EQ(TA::OpenCamera(*object, 0), 0);
  refused->refuseOpen(0);
  object->FindCameras();
  EXPECT_EQ(state(0), 2);
}

TEST_F(DiscoveryTest, MakersCameraWithAnUnknownProductGetsItsOwnPath) {
  auto old = cvsim::AttachCamera("0A30", 0);
  object->FindCameras();
  ASSERT_EQ(row(0), 5);
  World::instance().unplug(cvsim::CameraDevicePath("0A30", 0));
  cvsim::AttachCamera("0BEE", 7);
  EXPECT_NE(object->FindCameras(), 0);
  EXPECT_EQ(state(0), 2);
  EXPECT_EQ(row(0), -1);
  EXPECT_EQ(model(0), 0);
  EXPECT_EQ(path(0), cvsim::CameraDevicePath("0BEE", 7));
  EXPECT_EQ(TA::OpenCamera(*object, 0), 1);
  CloseHandle(TA::device(*object));
  TA::device(*object) = INVALID_HANDLE_VALUE;
}

TEST_F(DiscoveryTest, RefreshAfterUnplugKeepsTheOldSlot) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0A12", 1);
  object->FindCameras();
  World::instance().unplug(cvsim::CameraDevicePath("0A12", 1));
  object->FindCameras();
  EXPECT_EQ(state(0), 2);
  EXPECT_EQ(state(1), 2);
  EXPECT_EQ(path(1), cvsim::CameraDevicePath("0A12", 1));
}

TEST_F(DiscoveryTest, NothingPublishedOrNoSetChangesNothing) {
  TA::slotState(*object)[0] = -1;
  EXPECT_EQ(object->FindCameras(), 0);
  EXPECT_EQ(state(0), -1);
  cvsim::AttachCamera("0A30", 0);
  World::instance().failNextSetCreations(1);
  EXPECT_EQ(object->FindCameras(), 0);
  EXPECT_EQ(state(0), -1);
}

TEST_F(DiscoveryTest, OpenCameraTakesOnlyAvailableSlotsInRange) {
  cvsim::AttachCamera("0A30", 0);
  object->FindCameras();
  for (int bad : {-1, 4, 100, -2147483647 - 1}) EXPECT_EQ(TA::OpenCamera(*object, bad), 0) << bad;
  EXPECT_EQ(TA::OpenCamera(*object, 1), 0);  // state 0
  EXPECT_EQ(TA::OpenCamera(*object, 0), 1);
  EXPECT_EQ(state(0), 3);
  EXPECT_NE(TA::device(*object), INVALID_HANDLE_VALUE);
  EXPECT_EQ(TA::OpenCamera(*object, 0), 0);  // already open
  EXPECT_EQ(World::instance().openHandleCount(), 1u);
  CloseHandle(TA::device(*object));
  TA::device(*object) = INVALID_HANDLE_VALUE;
}

TEST_F(DiscoveryTest, OpenOfAVanishedCameraMarksTheSlot) {
  cvsim::AttachCamera("0A30", 0);
  object->FindCameras();
  World::instance().unplug(cvsim::CameraDevicePath("0A30", 0));
  EXPECT_EQ(TA::OpenCamera(*object, 0), 0);
  EXPECT_EQ(state(0), -1);
}

}  // namespace
