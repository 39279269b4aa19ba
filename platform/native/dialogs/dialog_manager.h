// The stand-in's headless dialog manager.
//
// DialogBoxParamA builds the dialog's controls from the module's template,
// sends the dialog procedure WM_INITDIALOG with the caller's parameter and
// then hands the running dialog to the handler that a test or the host has
// installed. The handler plays the user: it reads what the dialog shows and
// picks entries and clicks buttons, each of which reaches the procedure as
// WM_COMMAND the way a real dialog manager sends it (control id in the low
// word, notification code in the high word, control handle in lParam).
// Automatic radio buttons and check boxes change their state before the
// notification; a click on a disabled or missing control does nothing. The
// dialog ends when the procedure calls EndDialog.
//
// Everything runs on the thread that called DialogBoxParamA: the handler is
// called there, and it drives the dialog from there. Dialogs may nest (a
// handler may run code that opens another dialog).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "win32.h"

namespace cvdlg {

struct Window;

enum class ControlKind { PushButton, DefPushButton, CheckBox, RadioButton, GroupBox, Static,
                         Picture, ComboBox, Other };

// What the dialog shows of one control.
struct ControlView {
  int id;
  ControlKind kind;
  std::string className;
  uint32_t style;
  int x, y, cx, cy;  // dialog units
  std::string text;
  bool enabled;
  int check;         // buttons: BST_UNCHECKED, BST_CHECKED
  std::vector<std::string> items;  // combo boxes
  int selection;     // combo boxes: -1 when nothing is selected
  int bitmap;        // pictures: bitmap resource id
};

// A running dialog, as the user sees and works it.
class Dialog {
 public:
  explicit Dialog(Window* window) : window_(window) {}

  HWND handle() const;
  int templateId() const;
  std::string caption() const;
  HWND owner() const;
  bool ended() const;
  INT_PTR result() const;

  bool has(int id) const;
  std::string text(int id) const;
  bool enabled(int id) const;
  bool checked(int id) const;
  std::vector<std::string> items(int id) const;
  int selection(int id) const;  // -1: none, or no such combo box
  std::vector<ControlView> controls() const;

  // The user's actions. Each returns false, doing nothing, when the dialog
  // has ended or the control is missing, disabled or cannot take the action.
  bool click(int id);             // a button: mouse press and release
  bool choose(int comboId, int index);  // pick an entry of a combo box's list
  bool pressEnter();              // the default push button (IDOK when there is none)
  bool pressEscape();             // IDCANCEL, as the Esc key or the close box

  // A readable picture of the dialog for a terminal.
  std::string render() const;

 private:
  Window* window_;
};

// Called by DialogBoxParamA once the dialog is initialised. When it returns
// with the dialog still open, the dialog is cancelled as if the user closed
// it (IDCANCEL); if the procedure ignores that too, the dialog is ended with
// IDCANCEL, so no dialog ever outlives DialogBoxParamA.
using DialogHandler = std::function<void(Dialog&)>;

// Installs the handler (an empty one: every dialog is cancelled at once) and
// returns the one it replaces.
DialogHandler setDialogHandler(DialogHandler handler);

// A top-level window of some other program, found by FindWindowA by its
// title (the host's main window, for instance).
HWND createTopLevelWindow(const std::string& title);
void destroyTopLevelWindow(HWND window);

// The number of dialogs open right now (0 outside DialogBoxParamA).
int openDialogCount();

}  // namespace cvdlg
