// The imager settings dialog: the imaging mode and which discovered camera
// this object uses. Nothing is sent to a camera; OK stores the choices for
// the next link and exposure set-up.
#include <cstring>

#include "CCamAPIDll.h"
#include "dialog_state.h"
#include "module_state.h"
#include "product_table.h"
#include "resource_ids.h"

namespace {

// Appends the display name of every usable or open slot. Skipped slots shift
// the later ones, so a list position is a slot number only while no slot
// before it was skipped. A slot whose camera has no product row shows a
// text that says so.
void FillCameraList(HWND list, const int* slotState, const int* slotProductIndex) {
  for (int k = 0; k < 4; ++k) {
    if (slotState[k] != 2 && slotState[k] != 3) continue;
    char name[100];
    std::strncpy(name, ProductDisplayName(slotProductIndex[k]), sizeof name - 1);
    name[sizeof name - 1] = '\0';
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  }
}

int Selection(HWND combo) { return static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0)); }

}  // namespace

INT_PTR CALLBACK ImagerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    g_imagerDialogTarget = reinterpret_cast<CCamAPIDll*>(lParam);
    CCamAPIDll* o = g_imagerDialogTarget;
    if (o == nullptr) return FALSE;
    if (o->m_slotState[0] == 0) o->FindCameras();

    HWND modes = GetDlgItem(dialog, IDC_IMAGING_MODE);
    for (UINT id = IDS_MODE_AUTOMATIC; id <= IDS_MODE_INTERLACED; ++id) {
      char text[100];
      LoadStringA(g_moduleInstance, id, text, sizeof text);
      SendMessageA(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    HWND cameras = GetDlgItem(dialog, IDC_CAMERA_LIST);
    FillCameraList(cameras, o->m_slotState, o->m_slotProductIndex);

    SendMessageA(modes, CB_SETCURSEL, static_cast<WPARAM>(o->m_imagingMode), 0);
    SendMessageA(cameras, CB_SETCURSEL, static_cast<WPARAM>(o->m_selectedSlot), 0);
    // The box shows what the last OK stored, so that OK without touching it
    // keeps the choice.
    SendMessageA(GetDlgItem(dialog, IDC_USE_AO), BM_SETCHECK,
                 o->m_useAO ? BST_CHECKED : BST_UNCHECKED, 0);
    SetDlgItemTextA(dialog, IDC_VERSION_TEXT, g_versionText);
    SetDlgItemInt(dialog, IDC_BUILD_TEXT, kBuildNumber, FALSE);
    return FALSE;
  }

  if (message != WM_COMMAND) return FALSE;

  CCamAPIDll* o = g_imagerDialogTarget;
  switch (LOWORD(wParam)) {
    case IDOK:
      // Without an object there is nothing to store; the dialog still closes.
      if (o != nullptr) {
        o->m_useAO =
            SendMessageA(GetDlgItem(dialog, IDC_USE_AO), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
        o->m_selectedSlot = Selection(GetDlgItem(dialog, IDC_CAMERA_LIST));
        g_imagerSlot = o->m_selectedSlot;
        o->m_imagingMode = Selection(GetDlgItem(dialog, IDC_IMAGING_MODE));
      }
      EndDialog(dialog, IDOK);
      break;
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      break;
    case IDC_REFRESH:
      if (o != nullptr) {
        o->FindCameras();
        HWND cameras = GetDlgItem(dialog, IDC_CAMERA_LIST);
        SendMessageA(cameras, CB_RESETCONTENT, 0, 0);
        FillCameraList(cameras, o->m_slotState, o->m_slotProductIndex);
        SendMessageA(cameras, CB_SETCURSEL, 0, 0);
      }
      break;
    default:
      break;
  }
  return TRUE;
}
