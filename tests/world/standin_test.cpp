// The Win32 stand-in over the simulated world, and the tick clock.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "clock.h"
#include "sim_camera.h"
#include "win32.h"
#include "world.h"

using cvsim::Clock;
using cvworld::World;

namespace {

class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    World::instance().reset();
    Clock::instance().useVirtualTime(1000);
  }
  void TearDown() override {
    Clock::instance().setTickHook(nullptr);
    World::instance().reset();
    Clock::instance().useRealTime();
  }
  static GUID CameraClass() {
    GUID g;
    const auto& c = cvworld::kCameraDriverClass;
    g.Data1 = c.data1;
    g.Data2 = c.data2;
    g.Data3 = c.data3;
    std::memcpy(g.Data4, c.data4, 8);
    return g;
  }
};

}  // namespace

TEST_F(StandInTest, EnumerationSetIsASnapshotInPublishOrder) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0A12", 1);
  const GUID cls = CameraClass();
  HDEVINFO set = SetupDiGetClassDevsA(&cls, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  cvsim::AttachCamera("0A21", 2);  // after the set was made: not in it

  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  std::vector<std::string> paths;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &cls, i, &data); ++i) {
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<char> buf(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buf.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required - 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + std::strlen(detail->DevicePath) + 1,
              required);
    paths.push_back(detail->DevicePath);
  }
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(paths, (std::vector<std::string>{cvsim::CameraDevicePath("0A30", 0),
                                             cvsim::CameraDevicePath("0A12", 1)}));
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(World::instance().openSetCount(), 0u);

  data.cbSize = 0;  // a record of the wrong size is refused
  set = SetupDiGetClassDevsA(&cls, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &cls, 0, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  SetupDiDestroyDeviceInfoList(set);

  World::instance().failNextSetCreations(1);
  EXPECT_EQ(SetupDiGetClassDevsA(&cls, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
            INVALID_HANDLE_VALUE);
}

TEST_F(StandInTest, HandlesAndErrorCodes) {
  auto cam = cvsim::AttachCamera("0A30", 0);
  const std::string path = cvsim::CameraDevicePath("0A30", 0);
  EXPECT_EQ(CreateFileA("\\\\?\\nothing", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  cam->refuseOpen(ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  cam->refuseOpen(0);

  HANDLE a = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE b = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  ASSERT_NE(b, INVALID_HANDLE_VALUE);
  EXPECT_NE(a, b);
  EXPECT_EQ(World::instance().openHandleCount(), 2u);
  EXPECT_TRUE(CloseHandle(a));
  EXPECT_FALSE(CloseHandle(a));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  DWORD done = 7;
  uint8_t byte = 0;
  EXPECT_FALSE(WriteFile(a, &byte, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(done, 0u);
  EXPECT_FALSE(ReadFile(a, &byte, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(b);
  EXPECT_EQ(World::instance().openHandleCount(), 0u);
  EXPECT_EQ(World::instance().handlesOpened(), 2u);
}

TEST_F(StandInTest, MessageBoxesUseScriptThenHandlerThenTheClosedAnswer) {
  World::instance().queueMessageBoxAnswer(IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "first", "cap", MB_YESNO), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "second", "cap", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "third", "cap", MB_OK), IDOK);
  World::instance().setMessageBoxHandler([](const cvworld::MessageBoxRecord&) { return IDRETRY; });
  EXPECT_EQ(MessageBoxA(nullptr, "fourth", "cap", MB_OK), IDRETRY);
  auto boxes = World::instance().messageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].text, "first");
  EXPECT_EQ(boxes[1].answer, IDNO);
  EXPECT_EQ(boxes[3].caption, "cap");
}

TEST_F(StandInTest, VirtualClockMovesOnlyWhenTold) {
  Clock& c = Clock::instance();
  EXPECT_EQ(GetTickCount(), 1000u);
  EXPECT_EQ(GetTickCount(), 1000u);
  c.advance(250);
  EXPECT_EQ(GetTickCount(), 1250u);
  Sleep(50);
  EXPECT_EQ(GetTickCount(), 1300u);
  c.waitUntil(1200);  // in the past: no change
  EXPECT_EQ(c.nowMs(), 1300u);
  c.waitUntil(2000);
  EXPECT_EQ(c.nowMs(), 2000u);

  c.setSpinStep(3);
  EXPECT_EQ(GetTickCount(), 2000u);  // each reading moves the clock afterwards
  EXPECT_EQ(GetTickCount(), 2003u);
  c.setSpinStep(0);

  std::vector<uint64_t> seen;
  c.setTickHook([&](uint64_t t) { seen.push_back(t); });
  GetTickCount();
  c.setTickHook(nullptr);
  GetTickCount();
  EXPECT_EQ(seen, (std::vector<uint64_t>{2006}));
}

TEST_F(StandInTest, TickCountWrapsAt32BitsWhileDeviceTimeDoesNot) {
  Clock& c = Clock::instance();
  c.useVirtualTime(0xFFFFFFF0u);
  auto cam = cvsim::AttachCamera("0A21", 0);
  cam->setTestPattern(true);
  HANDLE h = CreateFileA(cvsim::CameraDevicePath("0A21", 0).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  cvsim::ReadRequest r;
  r.widthField = 1392;
  r.heightField = 1040;
  auto msg = r.Encode();
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(h, msg.data(), DWORD(msg.size()), &done, nullptr));
  const DWORD t0 = GetTickCount();
  std::vector<uint8_t> buf(1392u * 1040u * 2u);
  ASSERT_TRUE(ReadFile(h, buf.data(), DWORD(buf.size()), &done, nullptr));
  const DWORD t1 = GetTickCount();
  EXPECT_LT(t1, t0);              // the counter passed through zero
  EXPECT_EQ(DWORD(t1 - t0), 73u);  // and unsigned differences still hold
  EXPECT_EQ(c.nowMs(), 0xFFFFFFF0ull + 73u);
  CloseHandle(h);
}
