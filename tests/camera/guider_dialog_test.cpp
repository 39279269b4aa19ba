// The guider selection dialog, driven through the headless dialog manager
// against simulated cameras.
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

const char kNoCamera[] = "ERROR - No Guiders/Imagers present";
const char kNotAvailable[] = "ERROR - Guider not available";
const int kRadios[] = {221, 222, 223, 224};

class GuiderDialogTest : public DialogTest {
 protected:
  std::unique_ptr<CCamAPIDll> object{AllocObject()};
  int guider() { return settings(*object, TrackingCCD, user); }
  std::function<void(Dialog&)> user;

  // Which radios were enabled and which checked, as "221 224" strings.
  static std::string enabledRadios(const DialogSnapshot& s) {
    std::string out;
    for (int id : kRadios)
      if (s.enabled(id)) out += (out.empty() ? "" : " ") + std::to_string(id);
    return out;
  }
  static std::string checkedRadios(const DialogSnapshot& s) {
    std::string out;
    for (int id : kRadios)
      if (s.checked(id)) out += (out.empty() ? "" : " ") + std::to_string(id);
    return out;
  }
  // Unchecks every radio behind the dialog manager's back, as no user can:
  // the only way to reach OK with no acceptable choice.
  static void uncheckAll(Dialog& d) {
    for (int id : kRadios) SendMessageA(GetDlgItem(d.handle(), id), BM_SETCHECK, BST_UNCHECKED, 0);
  }
};

TEST_F(GuiderDialogTest, TemplateHasEveryControlWhereItBelongs) {
  guider();
  ASSERT_EQ(dialogsShown, 1);
  EXPECT_EQ(opened.templateId, 299);
  EXPECT_EQ(opened.caption, "Cv Guider Settings");
  struct Row {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;
  };
  const Row rows[] = {
      {1, ControlKind::DefPushButton, "OK", 255, 15, 50, 14},
      {2, ControlKind::PushButton, "Cancel", 255, 35, 50, 14},
      {210, ControlKind::Picture, "", 284, 85, 21, 18},
      {202, ControlKind::Static, "Corvane Camera Plug In - Version: ", 5, 105, 134, 8},
      {203, ControlKind::Static, "00.08", 143, 105, 19, 8},
      {204, ControlKind::Static, "Build: ", 175, 105, 16, 8},
      {205, ControlKind::Static, "1160", 201, 105, 19, 8},
      {226, ControlKind::ComboBox, "", 174, 26, 57, 66},
      {-1, ControlKind::Static, "Select Other Imager", 166, 10, 64, 8},
      {4, ControlKind::PushButton, "Refresh", 255, 55, 50, 14},
      {230, ControlKind::Static, kNoCamera, 158, 79, 96, 8},
      {6, ControlKind::PushButton, "?", 255, 85, 22, 18},
      {229, ControlKind::GroupBox, "Guider", 25, 11, 118, 82},
      {221, ControlKind::RadioButton, "Other Imager", 69, 30, 57, 8},
      {222, ControlKind::RadioButton, "Pellion", 82, 45, 45, 8},
      {223, ControlKind::RadioButton, "Duvane", 88, 60, 39, 8},
      {224, ControlKind::RadioButton, "Attached to main imager", 35, 75, 92, 8},
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
  EXPECT_FALSE(opened.find(6)->style & WS_TABSTOP);
  EXPECT_TRUE(opened.find(229)->style & WS_GROUP);
  for (int id : kRadios) {
    EXPECT_EQ(opened.find(id)->style & (BS_TYPEMASK | BS_LEFTTEXT), BS_AUTORADIOBUTTON | BS_LEFTTEXT);
    EXPECT_FALSE(opened.find(id)->style & WS_GROUP);
  }
}

TEST_F(GuiderDialogTest, DedicatedGuiderInSlotOneIsTheDefault) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0E11", 1);
  TA::attachedGuider(*object) = 1;
  TA::imagingMode(*object) = 3;
  user = [](Dialog& d) { d.click(IDOK); };
  guider();
  EXPECT_EQ(enabledRadios(opened), "221 222 224");
  EXPECT_EQ(checkedRadios(opened), "222");
  EXPECT_EQ(opened.items(226), (std::vector<std::string>{"T21", "Pellion"}));
  EXPECT_EQ(opened.selection(226), 0);
  EXPECT_FALSE(opened.enabled(226));
  EXPECT_EQ(opened.text(230), "");
  EXPECT_EQ(opened.text(203), "00.08");
  EXPECT_EQ(opened.text(205), "1160");
  EXPECT_EQ(TA::selectedSlot(*object), 1);
  EXPECT_EQ(TA::attachedGuider(*object), 0);
  EXPECT_EQ(TA::imagingMode(*object), 0);
}

// Slot 0 cannot be opened, slot 1 holds a Duvane: the list has only the
// Duvane, at position 0, while the remembered guider slot is 1.
TEST_F(GuiderDialogTest, SlotNumbersAndListPositionsDiffer) {
  struct Case {
    int radio;
    int slot;
    int attached;
  };
  for (Case c : {Case{223, 1, 0}, Case{221, 0, 0}, Case{224, 0, 1}}) {
    SCOPED_TRACE(c.radio);
    World::instance().reset();
    ResetDialogStateForTests();
    object.reset(AllocObject());
    cvsim::AttachCamera("0A30", 0)->refuseOpen(cvworld::err::accessDenied);
    cvsim::AttachCamera("0E12", 1);
    user = [&](Dialog& d) {
      EXPECT_TRUE(d.click(c.radio));
      d.click(IDOK);
    };
    guider();
    EXPECT_EQ(opened.items(226), std::vector<std::string>{"Duvane"});
    EXPECT_EQ(enabledRadios(opened), "221 223 224");
    EXPECT_EQ(checkedRadios(opened), "223");
    EXPECT_EQ(checkedRadios(closed), std::to_string(c.radio));  // one of a group
    EXPECT_FALSE(stillOpen);
    EXPECT_EQ(TA::selectedSlot(*object), c.slot);
    EXPECT_EQ(TA::attachedGuider(*object), c.attached);
  }
}

TEST_F(GuiderDialogTest, LaterOfTwoPellionsIsRemembered) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0E11", 1);
  cvsim::AttachCamera("0E11", 2);
  user = [](Dialog& d) { d.click(IDOK); };
  guider();
  EXPECT_EQ(g_pellionSlot, 2);
  EXPECT_EQ(TA::selectedSlot(*object), 2);
  EXPECT_EQ(opened.items(226).size(), 3u);
}

TEST_F(GuiderDialogTest, NoCameraStillAcceptsTheAttachedGuideHead) {
  TA::attachedGuider(*object) = 0;
  TA::selectedSlot(*object) = 3;
  user = [](Dialog& d) {
    for (int id : kRadios) EXPECT_FALSE(d.click(id));  // all disabled
    d.click(IDOK);
  };
  guider();
  EXPECT_EQ(opened.text(230), kNoCamera);
  EXPECT_EQ(enabledRadios(opened), "");
  EXPECT_EQ(checkedRadios(opened), "224");
  EXPECT_TRUE(opened.items(226).empty());
  EXPECT_FALSE(stillOpen);
  EXPECT_EQ(TA::attachedGuider(*object), 1);
  EXPECT_EQ(TA::selectedSlot(*object), 0);
  EXPECT_EQ(g_otherImagerFound, 0);
}

TEST_F(GuiderDialogTest, RadioClicksSwitchTheListAndClearTheStatusLine) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0E11", 1);
  cvsim::AttachCamera("0E12", 2);
  struct Step {
    int radio;
    bool listEnabled;
  };
  const Step steps[] = {{221, true}, {222, false}, {221, true}, {223, false},
                        {221, true}, {224, false}};
  user = [&](Dialog& d) {
    for (const Step& s : steps) {
      SCOPED_TRACE(s.radio);
      uncheckAll(d);
      d.click(IDOK);  // refused: puts text on the status line
      ASSERT_EQ(d.text(230), kNotAvailable);
      EXPECT_TRUE(d.click(s.radio));
      EXPECT_EQ(d.enabled(226), s.listEnabled);
      EXPECT_EQ(d.text(230), "");
      EXPECT_TRUE(d.checked(s.radio));
    }
    d.click(IDCANCEL);
  };
  guider();
  EXPECT_FALSE(stillOpen);
}

TEST_F(GuiderDialogTest, RefusedOkKeepsTheDialogOpenAndHasClearedTheAttachedFlag) {
  cvsim::AttachCamera("0A30", 0);
  TA::attachedGuider(*object) = 1;
  TA::selectedSlot(*object) = 2;
  TA::imagingMode(*object) = 3;
  user = [](Dialog& d) {
    uncheckAll(d);
    EXPECT_EQ(GuiderDialogProc(d.handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0), FALSE);
    EXPECT_FALSE(d.ended());
    EXPECT_EQ(d.text(230), kNotAvailable);
    d.click(IDCANCEL);
  };
  guider();
  EXPECT_EQ(TA::attachedGuider(*object), 0);
  EXPECT_EQ(TA::selectedSlot(*object), 2);
  EXPECT_EQ(TA::imagingMode(*object), 3);
}

TEST_F(GuiderDialogTest, CancelChangesNothing) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0E11", 1);
  TA::attachedGuider(*object) = 1;
  TA::selectedSlot(*object) = 3;
  TA::imagingMode(*object) = 2;
  user = [](Dialog& d) {
    d.click(221);
    d.choose(226, 1);
    d.click(IDCANCEL);
  };
  guider();
  EXPECT_EQ(TA::attachedGuider(*object), 1);
  EXPECT_EQ(TA::selectedSlot(*object), 3);
  EXPECT_EQ(TA::imagingMode(*object), 2);
}

TEST_F(GuiderDialogTest, OtherImagerStoresTheListPosition) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0A12", 1);
  user = [](Dialog& d) {
    EXPECT_TRUE(d.checked(221));  // no dedicated guider, slot 1 occupied
    EXPECT_TRUE(d.enabled(226));
    d.choose(226, 1);
    d.click(IDOK);
  };
  guider();
  EXPECT_EQ(TA::selectedSlot(*object), 1);
  EXPECT_EQ(TA::attachedGuider(*object), 0);
  EXPECT_EQ(g_otherImagerFound, 1);
}

// "Other Imager" stays the default after the second camera has gone,
// because the plug-in remembers having seen one.
TEST_F(GuiderDialogTest, OtherImagerStaysTheDefaultOnceSeen) {
  cvsim::AttachCamera("0A30", 0);
  auto second = cvsim::AttachCamera("0A12", 1);
  guider();
  EXPECT_EQ(checkedRadios(opened), "221");
  object->CCDisconnect(0);  // forget the slots
  World::instance().unplug(cvsim::CameraDevicePath("0A12", 1));
  user = [](Dialog& d) {
    EXPECT_TRUE(d.click(IDC_REFRESH));
    d.click(IDOK);
  };
  guider();
  for (const DialogSnapshot* s : {&opened, &closed}) {
    EXPECT_EQ(enabledRadios(*s), "224");
    EXPECT_EQ(checkedRadios(*s), "221");
    EXPECT_TRUE(s->enabled(226));
    EXPECT_EQ(s->items(226), std::vector<std::string>{"T21"});
  }
  EXPECT_EQ(TA::selectedSlot(*object), 0);
}

// Without a disconnect, discovery never forgets a slot: the unplugged
// camera keeps its slot, stays listed and keeps "Other Imager" enabled.
TEST_F(GuiderDialogTest, RefreshAfterUnplugKeepsTheOldSlot) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0E11", 1);
  user = [](Dialog& d) {
    World::instance().unplug(cvsim::CameraDevicePath("0E11", 1));
    d.click(IDC_REFRESH);
    d.click(IDCANCEL);
  };
  guider();
  EXPECT_EQ(TA::slotState(*object)[1], 2);
  EXPECT_EQ(closed.items(226), (std::vector<std::string>{"T21", "Pellion"}));
  EXPECT_EQ(enabledRadios(closed), "221 222 224");
}

TEST_F(GuiderDialogTest, FoundFlagsCarryOverUntilRefresh) {
  cvsim::AttachCamera("0A30", 0);
  cvsim::AttachCamera("0E11", 1);
  guider();
  EXPECT_EQ(g_pellionFound, 1);
  // A second object with only the imager in its slots: the opening does not
  // reset the flags, so the Pellion radio is checked though disabled.
  auto other = std::unique_ptr<CCamAPIDll>(AllocObject());
  TA::slotState(*other)[0] = 2;
  TA::slotProductIndex(*other)[0] = 5;  // T21
  user = [](Dialog& d) {
    EXPECT_TRUE(d.checked(222));
    EXPECT_FALSE(d.enabled(222));
    d.click(IDC_REFRESH);  // the other object's discovery finds both again
    d.click(IDCANCEL);
  };
  settings(*other, TrackingCCD, user);
  EXPECT_EQ(g_pellionFound, 1);
  // Refresh clears the flags before its scan: with the Pellion gone from the
  // second object's slots, the flag goes.
  auto third = std::unique_ptr<CCamAPIDll>(AllocObject());
  World::instance().unplug(cvsim::CameraDevicePath("0E11", 1));
  user = [](Dialog& d) {
    EXPECT_TRUE(d.checked(222));  // still carried over at opening
    d.click(IDC_REFRESH);
    EXPECT_FALSE(d.checked(222));
    EXPECT_TRUE(d.checked(221));  // g_otherImagerFound stays set
    d.click(IDCANCEL);
  };
  settings(*third, TrackingCCD, user);
  EXPECT_EQ(g_pellionFound, 0);
  EXPECT_EQ(g_pellionSlot, 1);  // the remembered number is not cleared
}

TEST_F(GuiderDialogTest, HelpShowsItsBoxWithoutOwnerAndKeepsTheDialogOpen) {
  cvsim::AttachCamera("0A30", 0);
  user = [](Dialog& d) {
    EXPECT_EQ(GuiderDialogProc(d.handle(), WM_COMMAND, MAKEWPARAM(IDC_HELP_BUTTON, BN_CLICKED), 0),
              FALSE);
    EXPECT_TRUE(d.click(IDC_HELP_BUTTON));
    EXPECT_FALSE(d.ended());
    d.click(IDCANCEL);
  };
  guider();
  auto boxes = World::instance().messageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_FALSE(boxes[0].hasOwner);
  EXPECT_EQ(boxes[0].caption, "Corvane Guider Selection Information");
  EXPECT_EQ(boxes[0].type, MB_ICONQUESTION | MB_OK);
  EXPECT_EQ(boxes[0].text,
            "The CV dedicated guiders are selected directly\nby using the radio buttons.\n"
            "The Pellion & Duvane buttons will only be enabled\nif this type of guider has been "
            "plugged in\n\nTo add an imager/guider, plug it into a USB port\n& press the Refresh "
            "button.\n\nPress the Other Imager button to select a separate\nCV imager as a guider "
            "from the drop down list\n\nUse the Attached Guider button to select\na guider that is "
            "plugged into the main imager\n");
}

TEST_F(GuiderDialogTest, OnlyOkAndCancelAreReportedAsHandled) {
  cvsim::AttachCamera("0A30", 0);
  user = [](Dialog& d) {
    HWND h = d.handle();
    EXPECT_EQ(GuiderDialogProc(h, WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), 0), FALSE);
    EXPECT_EQ(GuiderDialogProc(h, WM_COMMAND, MAKEWPARAM(226, CBN_SELCHANGE), 0), FALSE);
    EXPECT_EQ(GuiderDialogProc(h, WM_COMMAND, MAKEWPARAM(999, 0), 0), FALSE);
    EXPECT_EQ(GuiderDialogProc(h, WM_CLOSE, 0, 0), FALSE);
    EXPECT_FALSE(d.ended());
    EXPECT_EQ(GuiderDialogProc(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0), TRUE);
    EXPECT_TRUE(d.ended());
  };
  guider();
  EXPECT_EQ(g_guiderDialogTarget, object.get());
}

TEST_F(GuiderDialogTest, RefreshWithNothingPluggedRunsDiscoveryTwiceAndSaysSo) {
  cvsim::AttachCamera("0A30", 0);
  user = [](Dialog& d) {
    d.click(IDC_REFRESH);
    d.click(IDCANCEL);
  };
  guider();
  EXPECT_EQ(opened.text(230), "");
  // Slot 0 known but its camera gone: Refresh finds no interface and so
  // changes no slot; slot 0 keeps its state and the status line stays clear.
  World::instance().unplug(cvsim::CameraDevicePath("0A30", 0));
  guider();
  EXPECT_EQ(closed.text(230), "");
  EXPECT_EQ(closed.items(226), std::vector<std::string>{"T21"});
  // A fresh object with nothing plugged in.
  World::instance().reset();
  object.reset(AllocObject());
  guider();
  EXPECT_EQ(closed.text(230), kNoCamera);
  EXPECT_EQ(enabledRadios(closed), "");
  EXPECT_EQ(checkedRadios(closed), "224");
  // A camera plugged in while the dialog is open shows after Refresh.
  user = [](Dialog& d) {
    cvsim::AttachCamera("0E12", 0);
    d.click(IDC_REFRESH);
  };
  guider();
  EXPECT_EQ(closed.text(230), "");
  EXPECT_EQ(enabledRadios(closed), "223 224");
  EXPECT_EQ(checkedRadios(closed), "223");
  EXPECT_EQ(closed.items(226), std::vector<std::string>{"Duvane"});
}

}  // namespace
