// Linking and unlinking: results and states, what is read from the camera,
// capabilities and scan type, the attached guider, the timed full read of an
// interlaced sensor, and the disconnect.
#include <memory>
#include <string>
#include <vector>

#include "CCamAPIDll.h"
#include "fake_camera.h"
#include "sim_camera.h"
#include "test_access.h"
#include "world_fixture.h"

using linktest::Event;
using linktest::FakeCamera;
using linktest::FakeSpec;

namespace {

const std::vector<uint8_t> kReset = {0x00, 0x06, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kModel = {0xC0, 0x0E, 0, 0, 0, 0, 0x02, 0};
const std::vector<uint8_t> kCcdParams = {0x40, 0x08, 0, 0, 0, 0, 0x11, 0};
const std::vector<uint8_t> kGuideParams = {0x40, 0x08, 0, 0, 1, 0, 0x11, 0};
const std::vector<uint8_t> kFirmware = {0xC0, 0xFF, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kCoolerOff = {0xC0, 0x1E, 0xDC, 0x0A, 0, 0, 0, 0};

class LinkTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    imager = std::make_unique<CCamAPIDll>();  // instance 0
    guider = std::make_unique<CCamAPIDll>();  // instance 1
  }
  void TearDown() override {
    imager->CCDisconnect(0);
    guider->CCDisconnect(0);
    g_readLockOwner.store(nullptr);
    WorldTest::TearDown();
  }
  static int Link(CCamAPIDll& o) {
    int address = 0, status = 0;
    enumZZCAM2 out = CorvaneKTCamera;
    return o.CCEstablishLink(NoLPTPort, address, CorvaneKTCamera, out, 0, status);
  }
  static FakeSpec Interlaced1392() {
    FakeSpec s;
    s.model = 72;
    s.width = 1392;
    s.height = 520;
    s.capabilities = 0x11;
    return s;
  }
  std::unique_ptr<CCamAPIDll> imager, guider;
};

TEST_F(LinkTest, ProgressiveCameraLinks) {
  FakeSpec spec;
  spec.model = 16;
  spec.capabilities = 0x31;
  spec.firmware = 0x01020304;
  auto cam = linktest::PublishFake(spec);
  TA::attachedGuider(*imager) = 1;  // the default: the first object is never a guider
  ASSERT_EQ(Link(*imager), 0);
  EXPECT_EQ(TA::attachedGuider(*imager), 0);
  EXPECT_EQ(g_sharedDevice, 0);
  EXPECT_EQ(TA::connected(*imager), 1);
  EXPECT_EQ(TA::slotState(*imager)[0], 3);
  EXPECT_EQ(TA::model(*imager), 16);
  EXPECT_EQ(TA::firmwareVersion(*imager), 0x01020304u);
  EXPECT_EQ(TA::progressive(*imager), 1);
  EXPECT_EQ(TA::fullFrameBytes(*imager), 640u * 480u * 2u);
  EXPECT_EQ(TA::hasGuidePort(*imager), 1);
  EXPECT_EQ(TA::hasCooler(*imager), 1);
  EXPECT_EQ(TA::hasShutter(*imager), 1);
  EXPECT_EQ(TA::hasGuideHead(*imager), 0);
  EXPECT_EQ(TA::fullReadMs(*imager), 0u) << "a progressive sensor is not timed";
  EXPECT_EQ(cam->writes(), (std::vector<std::vector<uint8_t>>{kReset, kModel, kCcdParams,
                                                               kFirmware}));
  // Linked already: 0, and the camera hears nothing.
  cam->clearLog();
  EXPECT_EQ(Link(*imager), 0);
  EXPECT_TRUE(cam->writes().empty());
}

TEST_F(LinkTest, CameraWithGuideHeadReadsItsParameters) {
  FakeSpec spec;
  spec.capabilities = 0x08;
  spec.guideWidth = 752;
  spec.guideHeight = 582;
  auto cam = linktest::PublishFake(spec);
  ASSERT_EQ(Link(*imager), 0);
  EXPECT_EQ(TA::hasGuideHead(*imager), 1);
  EXPECT_EQ(TA::guiderParams(*imager).width(), 752u);
  EXPECT_EQ(TA::hasCooler(*imager), 0);
  EXPECT_EQ(TA::hasShutter(*imager), 0);
  EXPECT_EQ(TA::hasGuidePort(*imager), 0);
  EXPECT_EQ(cam->writes(), (std::vector<std::vector<uint8_t>>{kReset, kModel, kCcdParams,
                                                               kGuideParams, kFirmware}));
}

// The link's results and the states they leave, scenario by scenario.
TEST_F(LinkTest, ResultsAndStates) {
  struct Case {
    const char* name;
    bool publish;
    void (*arrange)(FakeCamera&);
    int result;
    int connected;
    bool deviceOpen;
    int slotState;
    int relinkResult;  // a second link without a disconnect
  } cases[] = {
      {"no camera", false, [](FakeCamera&) {}, 203, 0, false, 0, 203},
      {"linked", true, [](FakeCamera&) {}, 0, 1, true, 3, 0},
      {"parameters unanswered", true, [](FakeCamera& c) { c.muteParameters = true; }, 203, 0,
       false, 3, 203},
      {"parameter write fails", true,
       [](FakeCamera& c) {
         c.failWriteOfRequest = true;
         c.failRequest = kReqParameters;
       },
       203, 0, false, 3, 203},
      {"model and firmware fail silently", true,
       [](FakeCamera& c) {
         c.failWriteOfRequest = true;
         c.failRequest = kReqModel;
       },
       0, 1, true, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cvworld::World::instance().reset();
    imager = std::make_unique<CCamAPIDll>();
    std::shared_ptr<FakeCamera> cam;
    if (c.publish) {
      cam = linktest::PublishFake(FakeSpec{});
      c.arrange(*cam);
    }
    EXPECT_EQ(Link(*imager), c.result);
    EXPECT_EQ(TA::connected(*imager), c.connected);
    EXPECT_EQ(TA::device(*imager) != INVALID_HANDLE_VALUE, c.deviceOpen);
    EXPECT_EQ(TA::slotState(*imager)[0], c.slotState);
    if (cam) {
      EXPECT_EQ(cam->openConnections(), c.deviceOpen ? 1 : 0);
    }
    EXPECT_EQ(Link(*imager), c.relinkResult);
    EXPECT_EQ(imager->CCDisconnect(0), 1);
    EXPECT_EQ(TA::connected(*imager), 0);
    EXPECT_EQ(TA::device(*imager), INVALID_HANDLE_VALUE);
    if (cam) {
      EXPECT_EQ(cam->openConnections(), 0);
    }
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(TA::slotState(*imager)[k], 0);
      EXPECT_EQ(TA::slotProductIndex(*imager)[k], 0);
      EXPECT_EQ(TA::slotModelCode(*imager)[k], 0);
      EXPECT_STREQ(TA::slotPath(*imager, k), "");
    }
    if (cam && c.result == 203) {
      // After the disconnect the slots are forgotten: the next link discovers
      // the camera again and, now that it answers, links.
      cam->muteParameters = false;
      cam->failWriteOfRequest = false;
      EXPECT_EQ(Link(*imager), 0);
      imager->CCDisconnect(0);
    }
  }
}

TEST_F(LinkTest, GuideHeadUnansweredOnProgressiveSensor) {
  FakeSpec spec;
  spec.capabilities = 0x08;
  auto cam = linktest::PublishFake(spec);
  cam->muteGuideParameters = true;
  EXPECT_EQ(Link(*imager), 203);
  EXPECT_EQ(TA::connected(*imager), 1) << "linked all the same";
  EXPECT_EQ(TA::hasGuideHead(*imager), 0);
  EXPECT_EQ(Link(*imager), 0);
}

TEST_F(LinkTest, ScanTypeByModelCode) {
  const struct {
    int model;
    int progressive;
  } cases[] = {{132, 0}, {89, 1}, {86, 1}, {87, 1}, {88, 1}, {70, 0}, {69, 0}, {73, 0},
               {90, 0},  {199, 0}, {200, 0}, {16, 1}, {0, 1},  {182, 1}, {39, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    cvworld::World::instance().reset();
    imager = std::make_unique<CCamAPIDll>();
    FakeSpec spec;
    spec.model = c.model;
    auto cam = linktest::PublishFake(spec);
    cam->msPerByte = 0.001;
    EXPECT_EQ(Link(*imager), 0);
    EXPECT_EQ(TA::progressive(*imager), c.progressive);
    imager->CCDisconnect(0);
  }
}

TEST_F(LinkTest, InterlacedSensorIsTimed) {
  auto cam = linktest::PublishFake(Interlaced1392());
  cam->msPerByte = 180.5 / 1447680.0;  // one full read: 180 ms of virtual time
  ASSERT_EQ(Link(*imager), 0);
  EXPECT_EQ(TA::progressive(*imager), 0);
  EXPECT_EQ(TA::fullFrameBytes(*imager), 1447680u);
  EXPECT_EQ(TA::fullReadMs(*imager), 180u);
  EXPECT_DOUBLE_EQ(TA::msPerByte(*imager), 180.0 / 1447680.0);
  EXPECT_EQ(TA::readInProgress(*imager), 1) << "left for the next chip-size query";
  EXPECT_EQ(g_readLock.load(), 0);
  // The timing request: field 2 of the whole sensor, mode 2, bins 1 x 1.
  const std::vector<uint8_t> request = {0x40, 0x03, 0x02, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x70, 0x05, 0x08, 0x02, 0x01, 0x01};
  auto w = cam->writes();
  ASSERT_EQ(w.size(), 5u);
  EXPECT_EQ(w[4], request);
  auto ev = cam->events();
  ASSERT_EQ(ev.back().kind, Event::DataReadEnd);
  EXPECT_EQ(ev.back().length, 1447680u) << "the whole field in one read";
}

TEST_F(LinkTest, TimingReadFailures) {
  struct Case {
    const char* name;
    double msPerByte;
    bool failRead;
    uint8_t bits;
    int result;
    bool requestSent;
  } cases[] = {
      {"no time passes", 0.0, false, 16, 206, true},
      {"the read fails", 0.001, true, 16, 203, true},
      {"fewer than 8 bits per pixel: nothing to time", 0.001, false, 7, 206, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cvworld::World::instance().reset();
    imager = std::make_unique<CCamAPIDll>();
    FakeSpec spec = Interlaced1392();
    spec.bitsPerPixel = c.bits;
    auto cam = linktest::PublishFake(spec);
    cam->msPerByte = c.msPerByte;
    cam->failDataReads = c.failRead;
    TA::msPerByte(*imager) = 0.25;
    EXPECT_EQ(Link(*imager), c.result);
    EXPECT_EQ(TA::connected(*imager), 1);
    if (c.result == 206) {
      EXPECT_EQ(TA::msPerByte(*imager), 0.25) << "unchanged";
    }
    EXPECT_EQ(cam->writes().size(), c.requestSent ? 5u : 4u);
    EXPECT_EQ(g_readLock.load(), 0);
    EXPECT_EQ(Link(*imager), 0) << "linked, whatever the timing said";
    imager->CCDisconnect(0);
  }
}

// The other object may link while the timing read runs and so turn
// g_sharedDevice on or off under it: the read releases exactly what its own
// request took.
TEST_F(LinkTest, TimingReadReleasesOnlyItsOwnReadLock) {
  CCamAPIDll other;
  auto cam = linktest::PublishFake(Interlaced1392());
  cam->msPerByte = 0.001;

  // Sharing turned on during the read, with the other object's read out.
  cvsim::Clock::instance().setTickHook([&](uint64_t) {
    if (!g_sharedDevice) {
      g_sharedDevice = 1;
      TakeReadLockFor(&other);
    }
  });
  EXPECT_EQ(Link(*imager), 0);
  cvsim::Clock::instance().setTickHook(nullptr);
  EXPECT_EQ(g_readLock.load(), 1) << "the other object's lock is left alone";
  EXPECT_EQ(g_readLockOwner.load(), &other);
  ReleaseReadLockHeldBy(&other);
  imager->CCDisconnect(0);

  // Sharing turned on before the request and off during the read.
  cam->onWrite = [&](const uint8_t* d, uint32_t n) {
    if (n >= 2 && d[1] == kReqFirmware) g_sharedDevice = 1;
  };
  cvsim::Clock::instance().setTickHook([&](uint64_t) { g_sharedDevice = 0; });
  EXPECT_EQ(Link(*imager), 0);
  cvsim::Clock::instance().setTickHook(nullptr);
  cam->onWrite = nullptr;
  EXPECT_EQ(g_readLock.load(), 0) << "its own lock is never left held";
}

TEST_F(LinkTest, AttachedGuiderOpensTheImagersSlot) {
  FakeSpec spec;
  spec.model = 16;
  spec.capabilities = 0x39;  // guide port, guide head, cooler, shutter
  spec.guideWidth = 752;
  spec.guideHeight = 582;
  linktest::PublishFake(FakeSpec{}, "0a30", 0);
  linktest::PublishFake(FakeSpec{}, "0a30", 1);
  auto cam = linktest::PublishFake(spec, "0a30", 2);
  g_imagerSlot = 2;
  ASSERT_EQ(TA::instanceIndex(*guider), 1);
  ASSERT_EQ(TA::attachedGuider(*guider), 1);
  EXPECT_EQ(Link(*guider), 0);
  EXPECT_EQ(TA::selectedSlot(*guider), 2);
  EXPECT_EQ(TA::slotState(*guider)[2], 3);
  EXPECT_EQ(g_sharedDevice, 1);
  EXPECT_EQ(TA::attachedGuider(*guider), 1);
  EXPECT_EQ(TA::hasGuideHead(*guider), 1);
  EXPECT_EQ(TA::hasGuidePort(*guider), 1);
  EXPECT_EQ(TA::hasCooler(*guider), 0);
  EXPECT_EQ(TA::hasShutter(*guider), 0);
  EXPECT_EQ(TA::progressive(*guider), 1);
  EXPECT_EQ(TA::fullFrameBytes(*guider), 752u * 582u * 2u);
  EXPECT_EQ(cam->writes(), (std::vector<std::vector<uint8_t>>{kReset, kModel, kCcdParams,
                                                               kGuideParams, kFirmware}));
  // Any link call of the imager rewrites the flag.
  EXPECT_EQ(Link(*imager), 0);
  EXPECT_EQ(g_sharedDevice, 0);
  EXPECT_EQ(Link(*guider), 0);
  EXPECT_EQ(g_sharedDevice, 1);
}

TEST_F(LinkTest, GuiderWithOwnCameraIsNotAttached) {
  linktest::PublishFake(FakeSpec{}, "0a30", 0);
  TA::attachedGuider(*guider) = 0;  // the guider dialog chose a camera of its own
  TA::selectedSlot(*guider) = 0;
  g_imagerSlot = 3;
  EXPECT_EQ(Link(*guider), 0);
  EXPECT_EQ(g_sharedDevice, 0);
  EXPECT_EQ(TA::hasCooler(*guider), 1);
}

TEST_F(LinkTest, DisconnectSwitchesTheCoolerOffWhenAllowed) {
  struct Case {
    const char* name;
    int switchOff;
    int hasCooler;
    int readInProgress;
    int delayedPending;
    bool coolerSent;
  } cases[] = {
      {"asked, cooler, idle", 1, 1, 0, 0, true},  {"not asked", 0, 1, 0, 0, false},
      {"no cooler", 1, 0, 0, 0, false},           {"read outstanding", 1, 1, 1, 0, false},
      {"delayed read pending", 1, 1, 0, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cvworld::World::instance().reset();
    imager = std::make_unique<CCamAPIDll>();
    auto cam = linktest::PublishFake(FakeSpec{});
    ASSERT_EQ(Link(*imager), 0);
    TA::hasCooler(*imager) = c.hasCooler;
    TA::readInProgress(*imager) = c.readInProgress;
    TA::delayedReadPending(*imager) = c.delayedPending;
    cam->clearLog();
    EXPECT_EQ(imager->CCDisconnect(c.switchOff), 1);
    auto ev = cam->events();
    if (c.coolerSent) {
      ASSERT_EQ(ev.size(), 2u);
      EXPECT_EQ(ev[0].bytes, kCoolerOff);
      EXPECT_EQ(ev[1].kind, Event::ReplyRead);
      EXPECT_EQ(ev[1].length, 3u);
    } else {
      EXPECT_TRUE(ev.empty());
    }
    EXPECT_EQ(cam->openConnections(), 0);
    EXPECT_EQ(TA::device(*imager), INVALID_HANDLE_VALUE);
    EXPECT_EQ(TA::hasCooler(*imager), c.hasCooler) << "capabilities are kept";
  }
}

TEST_F(LinkTest, DisconnectWithoutLinkAndTwice) {
  EXPECT_EQ(imager->CCDisconnect(1), 1);
  EXPECT_EQ(imager->CCDisconnect(1), 1);
  EXPECT_EQ(TA::slotProductIndex(*imager)[0], 0);
}

TEST_F(LinkTest, DisconnectGivesBackAReadLockItHolds) {
  auto cam = linktest::PublishFake(FakeSpec{});
  ASSERT_EQ(Link(*imager), 0);
  g_sharedDevice = 1;
  CCamAPIDll::Exposure e;
  TA::RequestReadNow(*imager, e);  // data never read
  EXPECT_EQ(g_readLock.load(), 1);
  imager->CCDisconnect(0);
  EXPECT_EQ(g_readLock.load(), 0);
  // A lock held by the other object stays.
  CCamAPIDll other;
  TakeReadLockFor(&other);
  imager->CCDisconnect(0);
  EXPECT_EQ(g_readLock.load(), 1);
  ReleaseReadLockHeldBy(&other);
  g_sharedDevice = 0;
}

// Against the simulated camera: an interlaced model links, its full field is
// timed by the simulator's transfer, and the timing request is on its log.
TEST_F(LinkTest, SimulatedInterlacedCameraLinksAndIsTimed) {
  auto cam = cvsim::AttachCamera("0C12");  // model 132, 752 x 290 per field
  ASSERT_EQ(Link(*imager), 0);
  EXPECT_EQ(TA::model(*imager), 132);
  EXPECT_EQ(TA::progressive(*imager), 0);
  EXPECT_EQ(TA::fullFrameBytes(*imager), 752u * 290u * 2u);
  EXPECT_GT(TA::fullReadMs(*imager), 0u);
  EXPECT_DOUBLE_EQ(TA::msPerByte(*imager),
                   static_cast<double>(TA::fullReadMs(*imager)) / (752.0 * 290.0 * 2.0));
  EXPECT_EQ(g_readLock.load(), 0);
  auto w = cam->writes();
  ASSERT_FALSE(w.empty());
  const std::vector<uint8_t> request = {0x40, 0x03, 0x02, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0xF0, 0x02, 0x22, 0x01, 0x01, 0x01};
  EXPECT_EQ(w.back().bytes, request);
}

}  // namespace
