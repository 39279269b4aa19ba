// The dialog manager's side of the stand-in's user-interface calls
// (platform/native/user32.cpp forwards to these).
#pragma once

#include "win32.h"

namespace cvdlg {
namespace internal {

HWND findWindow(const char* className, const char* title);
INT_PTR runDialog(HINSTANCE module, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
BOOL endDialog(HWND dialog, INT_PTR result);
HWND dlgItem(HWND dialog, int id);
LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL enableWindow(HWND window, BOOL enable);
BOOL isWindowEnabled(HWND window);
BOOL isWindowVisible(HWND window);
BOOL setDlgItemText(HWND dialog, int id, const char* text);
int getWindowText(HWND window, char* buffer, int size);
int loadString(HINSTANCE module, UINT id, char* buffer, int size);

}  // namespace internal
}  // namespace cvdlg
