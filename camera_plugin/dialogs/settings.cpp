// CCSettings: shows the imager settings dialog for the imaging CCD and the
// guider selection dialog for any other sensor, owned by the host's main
// window when there is one.
#include <cstdint>
#include <cstring>

#include "CCamAPIDll.h"
#include "dialog_state.h"
#include "module_state.h"
#include "resource_ids.h"

CCamAPIDll* g_imagerDialogTarget = nullptr;
CCamAPIDll* g_guiderDialogTarget = nullptr;
int g_pellionFound = 0;
int g_duvaneFound = 0;
int g_otherImagerFound = 0;
int g_pellionSlot = -1;
int g_duvaneSlot = -1;

void ResetDialogStateForTests() {
  g_imagerDialogTarget = nullptr;
  g_guiderDialogTarget = nullptr;
  g_pellionFound = 0;
  g_duvaneFound = 0;
  g_otherImagerFound = 0;
  g_pellionSlot = -1;
  g_duvaneSlot = -1;
}

int CCamAPIDll::CCSettings(const enumZZCAM2&, const enumWhichCCD2& which) {
  // The host may pass any 32-bit value; copy it as bytes rather than load
  // it as an enumeration whose values are only 0 and 1.
  int32_t sensor = 0;
  std::memcpy(&sensor, &which, sizeof sensor);
  std::memcpy(&m_whichCcd, &sensor, sizeof sensor);
  HWND owner = FindWindowA(nullptr, "Camera Control");
  if (sensor == 0) {
    DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_IMAGER_SETTINGS), owner,
                    ImagerDialogProc, reinterpret_cast<LPARAM>(this));
  } else {
    DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_GUIDER_SETTINGS), owner,
                    GuiderDialogProc, reinterpret_cast<LPARAM>(this));
  }
  // How the dialog was closed is not the host's business.
  return 0;
}
