// Runs the settings dialogs through the stand-in's headless dialog manager:
// a test gives the user's actions as a function of the open dialog, and the
// fixture records what the dialog showed before and after them.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CCamAPIDll.h"
#include "dialog_state.h"
#include "dialogs/dialog_manager.h"
#include "resource_ids.h"
#include "test_access.h"
#include "world_fixture.h"

// What a dialog showed at one moment.
struct DialogSnapshot {
  int templateId = 0;
  std::string caption;
  bool hasOwner = false;
  std::vector<cvdlg::ControlView> controls;

  const cvdlg::ControlView* find(int id) const {
    for (const auto& c : controls)
      if (c.id == id) return &c;
    return nullptr;
  }
  std::string text(int id) const { return find(id) ? find(id)->text : "<missing>"; }
  bool enabled(int id) const { return find(id) && find(id)->enabled; }
  bool checked(int id) const { return find(id) && find(id)->check == BST_CHECKED; }
  std::vector<std::string> items(int id) const {
    return find(id) ? find(id)->items : std::vector<std::string>{};
  }
  int selection(int id) const { return find(id) ? find(id)->selection : -2; }
};

// The which-CCD value last stored, as the 32-bit integer it is.
inline int StoredWhichCcd(CCamAPIDll& o) {
  int v;
  std::memcpy(&v, &TA::whichCcd(o), sizeof v);
  return v;
}

inline DialogSnapshot Snapshot(const cvdlg::Dialog& d) {
  DialogSnapshot s;
  s.templateId = d.templateId();
  s.caption = d.caption();
  s.hasOwner = d.owner() != nullptr;
  s.controls = d.controls();
  return s;
}

class DialogTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    ResetDialogStateForTests();
  }
  void TearDown() override {
    cvdlg::setDialogHandler(nullptr);
    WorldTest::TearDown();
  }

  // Shows the settings of `which` for `object`; `user` acts on the open
  // dialog (nothing: the dialog is closed with Esc). Returns CCSettings'
  // result; `opened` and `closed` receive what the dialog showed when the
  // user first saw it and when the user's actions were done.
  int settings(CCamAPIDll& object, int which, std::function<void(cvdlg::Dialog&)> user = {}) {
    opened = DialogSnapshot{};
    closed = DialogSnapshot{};
    stillOpen = false;
    dialogsShown = 0;
    cvdlg::setDialogHandler([&](cvdlg::Dialog& d) {
      ++dialogsShown;
      opened = Snapshot(d);
      if (user) user(d);
      closed = Snapshot(d);
      stillOpen = !d.ended();
    });
    enumZZCAM2 camera = CorvaneKTCamera;
    // Any 32-bit value, as a host may pass it.
    enumWhichCCD2 w;
    std::memcpy(&w, &which, sizeof w);
    int result = object.CCSettings(camera, w);
    cvdlg::setDialogHandler(nullptr);
    return result;
  }

  DialogSnapshot opened;
  DialogSnapshot closed;
  bool stillOpen = false;  // the dialog was still open when the user's actions were done
  int dialogsShown = 0;
};
