// Name, identifier, version and the motion-mode question.
#include <cstring>

#include "wheel_fixture.h"

namespace {

struct CopyCase {
  int size;
  const char* expected;
};

class NameCopy : public WheelTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(NameCopy, BothNameExportsCutToSizeAndTerminate) {
  const CopyCase& c = GetParam();
  using NameFn = int (*)(char*, int);
  for (NameFn fn : {&DynDrvrGetDeviceName, &cfwapiGetDescription}) {
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(fn(buffer, c.size), 0);
    EXPECT_STREQ(buffer, c.expected);
    // Nothing past the terminator is touched.
    for (size_t i = std::strlen(c.expected) + 1; i < sizeof buffer; ++i)
      ASSERT_EQ(buffer[i], 'x') << "byte " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, NameCopy,
                         ::testing::Values(CopyCase{1, ""}, CopyCase{5, "Corv"},
                                           CopyCase{20, "Corvane Filter Whee"},
                                           CopyCase{21, "Corvane Filter Wheel"},
                                           CopyCase{64, "Corvane Filter Wheel"}));

TEST_F(WheelTest, NameExportsWithoutRoomWriteNothing) {
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(DynDrvrGetDeviceName(buffer, 0), 0);
  EXPECT_EQ(cfwapiGetDescription(buffer, -5), 0);
  EXPECT_EQ(std::memcmp(buffer, "xxxx", 4), 0);
  EXPECT_EQ(DynDrvrGetDeviceName(nullptr, 32), 0);
  EXPECT_EQ(cfwapiGetDescription(nullptr, 32), 0);
}

TEST_F(WheelTest, IdentifierVersionAndNullPointers) {
  int id = 0;
  EXPECT_EQ(DynDrvrGetDeviceId(&id), 0);
  EXPECT_EQ(id, 10000);
  EXPECT_EQ(DynDrvrGetDeviceId(nullptr), 0);
  EXPECT_EQ(cfwapiGetDLLVersion(), 200);
  EXPECT_EQ(cfwapiIsConnected(nullptr), 0);
}

struct SettingsCase {
  int before;
  int answer;
  int after;
  const char* logLine;
};

class Settings : public WheelTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(Settings, AnswerSetsOrKeepsTheMode) {
  const SettingsCase& c = GetParam();
  g_bidirectional = c.before;
  CaptureLog();
  cvworld::World::instance().queueMessageBoxAnswer(c.answer);
  EXPECT_EQ(cfwapiSettings(), 0);
  EXPECT_EQ(g_bidirectional, c.after);
  EXPECT_EQ(LogText(), c.logLine);

  auto boxes = cvworld::World::instance().messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_FALSE(boxes[0].hasOwner);
  EXPECT_EQ(boxes[0].caption, "Cv Filter Wheel USB Settings");
  EXPECT_EQ(boxes[0].text,
            "Bidirectional Motion?\n\nSerial Port Interface Under Construction\n"
            "Beta Test Verion 00.01 Build 0068");
  EXPECT_EQ(boxes[0].type, MB_ICONQUESTION | MB_YESNOCANCEL);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Settings,
    ::testing::Values(SettingsCase{1, IDNO, 0, "Direction = Unidirectional \n"},
                      SettingsCase{0, IDYES, 1, "Direction = Bidirectional \n"},
                      SettingsCase{1, IDYES, 1, "Direction = Bidirectional \n"},
                      SettingsCase{1, IDCANCEL, 1, "Direction = Bidirectional \n"},
                      SettingsCase{0, IDCANCEL, 0, "Direction = Unidirectional \n"},
                      // Any answer other than Yes or No, e.g. a box closed another way.
                      SettingsCase{0, IDOK, 0, "Direction = Unidirectional \n"}));

TEST_F(WheelTest, ClosedBoxKeepsTheModeOfAFreshLoad) {
  EXPECT_EQ(g_bidirectional, 1);
  EXPECT_EQ(cfwapiSettings(), 0);  // no script: the world closes the box (Cancel)
  EXPECT_EQ(g_bidirectional, 1);
}

}  // namespace
