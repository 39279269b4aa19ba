// User-interface services of the stand-in. Message boxes go to the world's
// script; the dialog calls answer as a system without a dialog manager would
// until the headless dialog manager takes them over.
#include "last_error.h"
#include "win32.h"
#include "world.h"

extern "C" {

HWND WINAPI FindWindowA(LPCSTR, LPCSTR) { return nullptr; }

INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) {
  cvwin32::setLastError(ERROR_INVALID_PARAMETER);
  return -1;
}

BOOL WINAPI EndDialog(HWND, INT_PTR) { return FALSE; }
HWND WINAPI GetDlgItem(HWND, int) { return nullptr; }
LRESULT WINAPI SendMessageA(HWND, UINT, WPARAM, LPARAM) { return 0; }
BOOL WINAPI EnableWindow(HWND, BOOL) { return FALSE; }
BOOL WINAPI SetDlgItemTextA(HWND, int, LPCSTR) { return FALSE; }
BOOL WINAPI SetDlgItemInt(HWND, int, UINT, BOOL) { return FALSE; }
int WINAPI LoadStringA(HINSTANCE, UINT, LPSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer && cchBufferMax > 0) lpBuffer[0] = '\0';
  return 0;
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  return cvworld::World::instance().showMessageBox(hWnd != nullptr, lpText ? lpText : "",
                                                   lpCaption ? lpCaption : "Error", uType);
}

}  // extern "C"
