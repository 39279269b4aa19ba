// The imager settings dialog and CCSettings, driven through the headless
// dialog manager against simulated cameras.
#include <memory>
#include <string>
#include <vector>

#include "dialog_fixture.h"
#include "module_state.h"
#include "product_table.h"
#include "sim_camera.h"

namespace {

using cvdlg::ControlKind;
using cvdlg::Dialog;
using cvworld::World;

const std::vector<std::string> kModeTexts = {"Automatic   (Any)", "Progressive (P & IL)",
                                             "Fast        (IL)", "Interlaced  (IL)"};

class ImagerDialogTest : public DialogTest {
 protected:
  std::unique_ptr<CCamAPIDll> object{AllocObject()};
  int imager() { return settings(*object, ImagingCCD, user); }
  std::function<void(Dialog&)> user;
};

// Template 298 as the native build sees it: what the resource script
// compiles into the DLL comes from the same file.
TEST_F(ImagerDialogTest, TemplateHasEveryControlWhereItBelongs) {
  imager();
  ASSERT_EQ(dialogsShown, 1);
  EXPECT_EQ(opened.templateId, 298);
  EXPECT_EQ(opened.caption, "Cv Imager Settings      Beta Test Version");
  struct Row {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;
  };
  const Row rows[] = {
      {200, ControlKind::ComboBox, "Automatic   (Any)", 7, 14, 110, 62},
      {1, ControlKind::PushButton, "OK", 207, 4, 56, 14},
      {2, ControlKind::PushButton, "Cancel", 207, 23, 56, 14},
      {201, ControlKind::Static, "Imaging Mode", 35, 4, 46, 8},
      {202, ControlKind::Static, "Corvane Camera Plug In - Version: ", 9, 100, 134, 8},
      {203, ControlKind::Static, "00.08", 145, 100, 19, 8},
      {204, ControlKind::Static, "Build: ", 168, 100, 16, 8},
      {205, ControlKind::Static, "1160", 190, 100, 19, 8},
      {206, ControlKind::ComboBox, "", 132, 14, 55, 66},
      {208, ControlKind::Static, "Camera ", 145, 4, 27, 8},
      {210, ControlKind::Picture, "", 228, 83, 21, 18},
      {4, ControlKind::PushButton, "Refresh", 207, 42, 56, 14},
      {211, ControlKind::CheckBox, "Use AO", 217, 64, 41, 8},
  };
  ASSERT_EQ(opened.controls.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const auto& c = opened.controls[i];
    SCOPED_TRACE("control " + std::to_string(rows[i].id));
    EXPECT_EQ(c.id, rows[i].id);
    EXPECT_EQ(c.kind, rows[i].kind);
    EXPECT_EQ(c.text, rows[i].text);
    EXPECT_EQ(c.x, rows[i].x);
    EXPECT_EQ(c.y, rows[i].y);
    EXPECT_EQ(c.cx, rows[i].cx);
    EXPECT_EQ(c.cy, rows[i].cy);
  }
  EXPECT_EQ(opened.find(210)->bitmap, 119);
  EXPECT_EQ(opened.find(200)->style & 0xFFFF, CBS_DROPDOWN | CBS_HASSTRINGS);
  EXPECT_TRUE(opened.find(200)->style & WS_VSCROLL);
  EXPECT_TRUE(opened.find(1)->style & WS_TABSTOP);
  EXPECT_TRUE(opened.find(211)->style & WS_TABSTOP);
  EXPECT_EQ(opened.find(203)->style & SS_TYPEMASK, SS_LEFTNOWORDWRAP);
}

TEST_F(ImagerDialogTest, ModesComeFromTheStringResources) {
  char text[100];
  for (UINT id = 0; id < 4; ++id) {
    EXPECT_EQ(LoadStringA(g_moduleInstance, id, text, sizeof text),
              static_cast<int>(kModeTexts[id].size()));
    EXPECT_EQ(text, kModeTexts[id]);
  }
  // Cut to the buffer and terminated, as the system does.
  EXPECT_EQ(LoadStringA(g_moduleInstance, 1, text, 5), 4);
  EXPECT_STREQ(text, "Prog");
  EXPECT_EQ(LoadStringA(g_moduleInstance, 4, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
}

TEST_F(ImagerDialogTest, NoCameraGivesAnEmptyListAndOkStoresMinusOne) {
  TA::imagingMode(*object) = 1;
  user = [](Dialog& d) { d.click(IDOK); };
  EXPECT_EQ(imager(), 0);
  EXPECT_EQ(opened.items(200), kModeTexts);
  EXPECT_EQ(opened.selection(200), 1);
  EXPECT_TRUE(opened.items(206).empty());
  EXPECT_EQ(opened.selection(206), -1);
  EXPECT_FALSE(stillOpen);
  EXPECT_EQ(TA::selectedSlot(*object), -1);
  EXPECT_EQ(g_imagerSlot, -1);
  EXPECT_EQ(TA::imagingMode(*object), 1);
  EXPECT_EQ(TA::whichCcd(*object), ImagingCCD);
}

TEST_F(ImagerDialogTest, UnopenableSlotIsSkippedSoPositionsShift) {
  cvsim::AttachCamera("0A30", 0)->refuseOpen(cvworld::err::accessDenied);
  cvsim::AttachCamera("0A12", 1);
  user = [](Dialog& d) { d.click(IDOK); };
  imager();
  EXPECT_EQ(TA::slotState(*object)[0], -1);
  EXPECT_EQ(opened.items(206), std::vector<std::string>{"RQ2"});
  EXPECT_EQ(opened.selection(206), 0);
  EXPECT_EQ(TA::selectedSlot(*object), 0);
  EXPECT_EQ(g_imagerSlot, 0);
}

TEST_F(ImagerDialogTest, OkStoresTheChoices) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0E12", 1);
  user = [](Dialog& d) {
    EXPECT_TRUE(d.choose(200, 3));
    EXPECT_TRUE(d.choose(206, 1));
    EXPECT_TRUE(d.click(211));
    EXPECT_TRUE(d.click(IDOK));
  };
  imager();
  EXPECT_EQ(opened.items(206), (std::vector<std::string>{"T21", "Duvane"}));
  EXPECT_EQ(opened.text(206), "T21");  // the edit field shows the selection
  EXPECT_EQ(closed.text(206), "Duvane");
  EXPECT_EQ(TA::imagingMode(*object), 3);
  EXPECT_EQ(TA::selectedSlot(*object), 1);
  EXPECT_EQ(g_imagerSlot, 1);
  EXPECT_EQ(TA::useAO(*object), 1);
}

TEST_F(ImagerDialogTest, CancelStoresNothing) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0A12", 1);
  TA::imagingMode(*object) = 2;
  TA::selectedSlot(*object) = 0;
  TA::useAO(*object) = 1;
  g_imagerSlot = 3;
  struct Case {
    const char* name;
    std::function<void(Dialog&)> close;
  };
  const Case cases[] = {
      {"Cancel button", [](Dialog& d) { d.click(IDCANCEL); }},
      {"Esc", [](Dialog& d) { d.pressEscape(); }},
      {"user walks away", [](Dialog&) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    user = [&](Dialog& d) {
      d.choose(200, 0);
      d.choose(206, 1);
      d.click(211);
      c.close(d);
    };
    imager();
    EXPECT_FALSE(stillOpen && std::string(c.name) != "user walks away");
    EXPECT_EQ(TA::imagingMode(*object), 2);
    EXPECT_EQ(TA::selectedSlot(*object), 0);
    EXPECT_EQ(TA::useAO(*object), 1);
    EXPECT_EQ(g_imagerSlot, 3);
  }
  EXPECT_EQ(cvdlg::openDialogCount(), 0);
}

TEST_F(ImagerDialogTest, RefreshSelectsTheFirstCameraButStoresNothingUntilOk) {
  cvsim::AttachCamera("0A30", 0);
  TA::selectedSlot(*object) = 2;  // no such entry: the list opens without selection
  user = [](Dialog& d) {
    EXPECT_EQ(d.selection(206), -1);
    cvsim::AttachCamera("0E11", 1);  // plugged in while the dialog is open
    EXPECT_TRUE(d.click(IDC_REFRESH));
    EXPECT_EQ(d.items(206), (std::vector<std::string>{"T21", "Pellion"}));
    EXPECT_EQ(d.selection(206), 0);
    d.choose(206, 1);
    EXPECT_TRUE(d.click(IDC_REFRESH));  // whatever was selected before
    EXPECT_EQ(d.selection(206), 0);
    EXPECT_EQ(d.items(206).size(), 2u);  // emptied before being filled again
    d.click(IDCANCEL);
  };
  imager();
  EXPECT_FALSE(stillOpen);
  EXPECT_EQ(TA::selectedSlot(*object), 2);
}

TEST_F(ImagerDialogTest, DiscoveryRunsAtOpeningOnlyWhileSlotZeroIsEmpty) {
  // No camera: every opening discovers again, so a camera plugged in
  // between two openings shows at the second.
  imager();
  EXPECT_TRUE(opened.items(206).empty());
  cvsim::AttachCamera("0A30", 0);
  imager();
  EXPECT_EQ(opened.items(206), std::vector<std::string>{"T21"});
  // Slot 0 is known now: the next opening lists the same slots without a
  // discovery, so a camera added since is not seen until Refresh.
  cvsim::AttachCamera("0A12", 1);
  uint64_t opens = World::instance().handlesOpened();
  imager();
  EXPECT_EQ(World::instance().handlesOpened(), opens);
  EXPECT_EQ(opened.items(206), std::vector<std::string>{"T21"});
  user = [](Dialog& d) { d.click(IDC_REFRESH); };
  imager();
  EXPECT_EQ(closed.items(206), (std::vector<std::string>{"T21", "RQ2"}));
  // After a disconnect slot 0 is empty again and the opening discovers.
  object->CCDisconnect(0);
  user = {};
  imager();
  EXPECT_EQ(opened.items(206), (std::vector<std::string>{"T21", "RQ2"}));
}

TEST_F(ImagerDialogTest, CameraWithoutProductRowIsListedUnderAClearName) {
  cvsim::AttachCamera("0FFF", 0);  // the maker's vendor id, a product in no row
  cvsim::AttachCamera("0A30", 1);
  imager();
  EXPECT_EQ(TA::slotProductIndex(*object)[0], -1);
  EXPECT_EQ(opened.items(206), (std::vector<std::string>{kUnknownProductName, "T21"}));
}

TEST_F(ImagerDialogTest, UseAoBoxShowsTheStoredChoice) {
  struct Case {
    int stored;
    bool toggle;
    bool shown;
    int after;
  };
  const Case cases[] = {{0, false, false, 0}, {1, false, true, 1}, {1, true, true, 0},
                        {0, true, false, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "stored " << c.stored << " toggle " << c.toggle);
    TA::useAO(*object) = c.stored;
    user = [&](Dialog& d) {
      if (c.toggle) d.click(211);
      d.click(IDOK);
    };
    imager();
    EXPECT_EQ(opened.checked(211), c.shown);
    EXPECT_EQ(TA::useAO(*object), c.after);
  }
}

TEST_F(ImagerDialogTest, ImagingModeOutsideTheListOpensWithoutSelectionAndOkStoresMinusOne) {
  for (int mode : {-1, 4, 1000}) {
    SCOPED_TRACE(mode);
    TA::imagingMode(*object) = mode;
    user = [](Dialog& d) { d.click(IDOK); };
    imager();
    EXPECT_EQ(opened.selection(200), -1);
    EXPECT_EQ(TA::imagingMode(*object), -1);
  }
}

TEST_F(ImagerDialogTest, CommandsAreHandledAndOtherMessagesAreNot) {
  user = [](Dialog& d) {
    HWND h = d.handle();
    HWND list = GetDlgItem(h, 206);
    EXPECT_EQ(ImagerDialogProc(h, WM_COMMAND, MAKEWPARAM(206, CBN_SELCHANGE),
                               reinterpret_cast<LPARAM>(list)),
              TRUE);
    EXPECT_EQ(ImagerDialogProc(h, WM_COMMAND, MAKEWPARAM(999, 0), 0), TRUE);
    EXPECT_EQ(ImagerDialogProc(h, WM_CLOSE, 0, 0), FALSE);
    EXPECT_FALSE(d.ended());
    // The notification code is not looked at: OK arriving as anything closes.
    EXPECT_EQ(ImagerDialogProc(h, WM_COMMAND, MAKEWPARAM(IDOK, 5), 0), TRUE);
    EXPECT_TRUE(d.ended());
  };
  imager();
  EXPECT_EQ(g_imagerDialogTarget, object.get());
}

TEST_F(ImagerDialogTest, DisabledControlsIgnoreClicks) {
  user = [](Dialog& d) {
    EnableWindow(GetDlgItem(d.handle(), IDOK), FALSE);
    EXPECT_FALSE(d.click(IDOK));
    EXPECT_FALSE(d.ended());
    EXPECT_FALSE(d.click(12345));  // no such control
    EXPECT_FALSE(d.choose(200, 9));  // no such entry
    EnableWindow(GetDlgItem(d.handle(), IDOK), TRUE);
    EXPECT_TRUE(d.click(IDOK));
    EXPECT_FALSE(d.click(IDCANCEL));  // the dialog has ended
  };
  TA::selectedSlot(*object) = 3;
  imager();
  EXPECT_EQ(TA::selectedSlot(*object), -1);
}

TEST_F(ImagerDialogTest, OwnedByTheHostWindowWhenThereIsOne) {
  imager();
  EXPECT_FALSE(opened.hasOwner);
  HWND host = cvdlg::createTopLevelWindow("Camera Control");
  HWND owner = nullptr;
  cvdlg::setDialogHandler([&](Dialog& d) { owner = d.owner(); });
  enumZZCAM2 camera = CorvaneKTCamera;
  enumWhichCCD2 which = ImagingCCD;
  EXPECT_EQ(object->CCSettings(camera, which), 0);
  EXPECT_EQ(owner, host);
  cvdlg::destroyTopLevelWindow(host);
}

TEST_F(ImagerDialogTest, WhichCcdSelectsTheDialog) {
  struct Case {
    int which;
    int templateId;
  };
  for (Case c : {Case{0, 298}, Case{1, 299}, Case{7, 299}, Case{-1, 299}}) {
    SCOPED_TRACE(c.which);
    settings(*object, c.which);
    EXPECT_EQ(opened.templateId, c.templateId);
    EXPECT_EQ(StoredWhichCcd(*object), c.which);
  }
}

// A dialog started without an object stays a dialog that can be closed.
TEST_F(ImagerDialogTest, NullObjectIsSafe) {
  for (DLGPROC proc : {&ImagerDialogProc, &GuiderDialogProc}) {
    for (int button : {IDOK, IDCANCEL, IDC_REFRESH}) {
      cvdlg::setDialogHandler([&](Dialog& d) {
        d.click(button);
        if (!d.ended()) d.click(IDOK);
        EXPECT_TRUE(d.ended());
      });
      INT_PTR r = DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(proc == &ImagerDialogProc ? 298 : 299),
                                  nullptr, proc, 0);
      EXPECT_EQ(r, button == IDCANCEL ? IDCANCEL : IDOK);
    }
  }
  EXPECT_EQ(g_imagerDialogTarget, nullptr);
}

TEST_F(ImagerDialogTest, MissingTemplateFailsTheCall) {
  EXPECT_EQ(DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(297), nullptr, ImagerDialogProc, 0),
            -1);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(298), nullptr, ImagerDialogProc, 0), -1);
}

}  // namespace
