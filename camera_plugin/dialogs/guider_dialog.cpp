// The guider selection dialog: where the guider object takes its images
// from (another camera from the list, one of the two dedicated guide
// cameras, or the guide head of the main imager's camera). Nothing is sent
// to a camera; OK stores the choice for the next link.
#include <cstring>

#include "CCamAPIDll.h"
#include "dialog_state.h"
#include "module_state.h"
#include "product_table.h"
#include "resource_ids.h"

namespace {

const char kNoCameraText[] = "ERROR - No Guiders/Imagers present";
const char kNotAvailableText[] = "ERROR - Guider not available";
const char kHelpCaption[] = "Corvane Guider Selection Information";
const char kHelpText[] =
    "The CV dedicated guiders are selected directly\n"
    "by using the radio buttons.\n"
    "The Pellion & Duvane buttons will only be enabled\n"
    "if this type of guider has been plugged in\n"
    "\n"
    "To add an imager/guider, plug it into a USB port\n"
    "& press the Refresh button.\n"
    "\n"
    "Press the Other Imager button to select a separate\n"
    "CV imager as a guider from the drop down list\n"
    "\n"
    "Use the Attached Guider button to select\n"
    "a guider that is plugged into the main imager\n";

const int kRadios[] = {IDC_OTHER_IMAGER, IDC_ATTACHED_GUIDER, IDC_DUVANE, IDC_PELLION};

void Enable(HWND dialog, int id, BOOL on) { EnableWindow(GetDlgItem(dialog, id), on); }

bool Checked(HWND dialog, int id) {
  return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Check(HWND dialog, int id, int state) {
  SendMessageA(GetDlgItem(dialog, id), BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

void SetStatus(HWND dialog, const char* text) { SetDlgItemTextA(dialog, IDC_STATUS_LINE, text); }

void DisableRadios(HWND dialog) {
  for (int id : kRadios) Enable(dialog, id, FALSE);
}

// After a discovery with a camera in slot 0: the attached guide head can be
// chosen, and another imager once slot 1 has held anything.
void EnableForOccupiedSlots(HWND dialog, const int* slotState) {
  Enable(dialog, IDC_ATTACHED_GUIDER, TRUE);
  if (slotState[1] != 0) {
    Enable(dialog, IDC_OTHER_IMAGER, TRUE);
    g_otherImagerFound = 1;
  }
}

// Lists every usable or open camera and remembers where the dedicated guide
// cameras are; the remembered numbers are slot numbers, not list positions.
void ScanSlots(HWND dialog, const int* slotState, const int* slotProductIndex) {
  HWND list = GetDlgItem(dialog, IDC_OTHER_IMAGER_LIST);
  for (int k = 0; k < 4; ++k) {
    if (slotState[k] != 2 && slotState[k] != 3) continue;
    int model = ProductModelCode(slotProductIndex[k]);
    if (model == kPellionModelCode) {
      g_pellionFound = 1;
      g_pellionSlot = k;
      Enable(dialog, IDC_PELLION, TRUE);
    }
    if (model == kDuvaneModelCode) {
      g_duvaneFound = 1;
      g_duvaneSlot = k;
      Enable(dialog, IDC_DUVANE, TRUE);
    }
    char name[100];
    std::strncpy(name, ProductDisplayName(slotProductIndex[k]), sizeof name - 1);
    name[sizeof name - 1] = '\0';
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  }
}

void ChooseDefaultRadio(HWND dialog) {
  if (g_pellionFound) {
    Check(dialog, IDC_PELLION, BST_CHECKED);
  } else if (g_duvaneFound) {
    Check(dialog, IDC_DUVANE, BST_CHECKED);
  } else if (g_otherImagerFound) {
    Check(dialog, IDC_OTHER_IMAGER, BST_CHECKED);
    Enable(dialog, IDC_OTHER_IMAGER_LIST, TRUE);
  } else {
    Check(dialog, IDC_ATTACHED_GUIDER, BST_CHECKED);
  }
}

}  // namespace

INT_PTR CALLBACK GuiderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    g_guiderDialogTarget = reinterpret_cast<CCamAPIDll*>(lParam);
    CCamAPIDll* o = g_guiderDialogTarget;
    if (o == nullptr) return FALSE;
    DisableRadios(dialog);
    if (o->m_slotState[0] == 0) o->FindCameras();
    if (o->m_slotState[0] == 0)
      SetStatus(dialog, kNoCameraText);
    else
      EnableForOccupiedSlots(dialog, o->m_slotState);
    ScanSlots(dialog, o->m_slotState, o->m_slotProductIndex);
    HWND list = GetDlgItem(dialog, IDC_OTHER_IMAGER_LIST);
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    EnableWindow(list, FALSE);
    ChooseDefaultRadio(dialog);
    SetDlgItemTextA(dialog, IDC_VERSION_TEXT, g_versionText);
    SetDlgItemInt(dialog, IDC_BUILD_TEXT, kBuildNumber, FALSE);
    return FALSE;
  }

  if (message != WM_COMMAND) return FALSE;

  const int id = LOWORD(wParam);
  if (HIWORD(wParam) == BN_CLICKED) {
    if (id == IDC_OTHER_IMAGER && Checked(dialog, id)) {
      Enable(dialog, IDC_OTHER_IMAGER_LIST, TRUE);
      SetStatus(dialog, "");
    } else if ((id == IDC_PELLION || id == IDC_DUVANE || id == IDC_ATTACHED_GUIDER) &&
               Checked(dialog, id)) {
      Enable(dialog, IDC_OTHER_IMAGER_LIST, FALSE);
      SetStatus(dialog, "");
    }
  }

  CCamAPIDll* o = g_guiderDialogTarget;
  switch (id) {
    case IDOK: {
      // Without an object there is nothing to store; the dialog still closes.
      if (o == nullptr) {
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      o->m_attachedGuider = 0;
      if (Checked(dialog, IDC_OTHER_IMAGER)) {
        o->m_selectedSlot = static_cast<int>(
            SendMessageA(GetDlgItem(dialog, IDC_OTHER_IMAGER_LIST), CB_GETCURSEL, 0, 0));
      } else if (Checked(dialog, IDC_PELLION) && g_pellionFound) {
        o->m_selectedSlot = g_pellionSlot;
      } else if (Checked(dialog, IDC_DUVANE) && g_duvaneFound) {
        o->m_selectedSlot = g_duvaneSlot;
      } else if (Checked(dialog, IDC_ATTACHED_GUIDER)) {
        o->m_attachedGuider = 1;
        o->m_selectedSlot = 0;
      } else {
        SetStatus(dialog, kNotAvailableText);
        return FALSE;
      }
      o->m_imagingMode = 0;
      EndDialog(dialog, IDOK);
      return TRUE;
    }
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    case IDC_REFRESH: {
      if (o == nullptr) return FALSE;
      DisableRadios(dialog);
      o->FindCameras();
      if (o->m_slotState[0] == 0) o->FindCameras();
      if (o->m_slotState[0] == 0) {
        SetStatus(dialog, kNoCameraText);
      } else {
        SetStatus(dialog, "");
        EnableForOccupiedSlots(dialog, o->m_slotState);
      }
      g_pellionFound = 0;
      g_duvaneFound = 0;
      HWND list = GetDlgItem(dialog, IDC_OTHER_IMAGER_LIST);
      SendMessageA(list, CB_RESETCONTENT, 0, 0);
      EnableWindow(list, FALSE);
      ScanSlots(dialog, o->m_slotState, o->m_slotProductIndex);
      SendMessageA(list, CB_SETCURSEL, 0, 0);
      for (int radio : kRadios) Check(dialog, radio, BST_UNCHECKED);
      ChooseDefaultRadio(dialog);
      return FALSE;
    }
    case IDC_HELP_BUTTON:
      MessageBoxA(nullptr, kHelpText, kHelpCaption, MB_ICONQUESTION | MB_OK);
      return FALSE;
    default:
      return FALSE;
  }
}
