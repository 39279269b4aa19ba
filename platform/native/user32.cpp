// User-interface services of the stand-in. Message boxes go to the world's
// script; dialogs run in the headless dialog manager (platform/native/dialogs),
// where a test or the host plays the user.
#include <cstdio>

#include "dialogs/dialog_internal.h"
#include "last_error.h"
#include "win32.h"
#include "world.h"

using namespace cvdlg::internal;

extern "C" {

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
  return findWindow(lpClassName, lpWindowName);
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  return runDialog(hInstance, lpTemplateName, hWndParent, lpDialogFunc, dwInitParam);
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) { return endDialog(hDlg, nResult); }
HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) { return dlgItem(hDlg, nIDDlgItem); }
LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return sendMessage(hWnd, Msg, wParam, lParam);
}
BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) { return enableWindow(hWnd, bEnable); }
BOOL WINAPI IsWindowEnabled(HWND hWnd) { return isWindowEnabled(hWnd); }
BOOL WINAPI IsWindowVisible(HWND hWnd) { return isWindowVisible(hWnd); }
int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  return getWindowText(hWnd, lpString, nMaxCount);
}
UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
  HWND item = dlgItem(hDlg, nIDDlgItem);
  if (!item) {
    if (lpString && cchMax > 0) lpString[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(getWindowText(item, lpString, cchMax));
}
BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
  return setDlgItemText(hDlg, nIDDlgItem, lpString);
}
BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned) {
  char text[16];
  if (bSigned)
    std::snprintf(text, sizeof text, "%d", static_cast<int>(uValue));
  else
    std::snprintf(text, sizeof text, "%u", uValue);
  return setDlgItemText(hDlg, nIDDlgItem, text);
}
int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  return loadString(hInstance, uID, lpBuffer, cchBufferMax);
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  return cvworld::World::instance().showMessageBox(hWnd != nullptr, lpText ? lpText : "",
                                                   lpCaption ? lpCaption : "Error", uType);
}

}  // extern "C"
