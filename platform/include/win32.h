// The Win32 surface the two plug-ins use.
//
// On Windows this header is nothing but the system's own headers, so the
// plug-in code compiles against the real declarations. Everywhere else it
// declares the same names with the same layouts and C linkage; a small
// library of ours (platform/native) implements them over the simulated
// device world, so the plug-in sources are identical on both builds.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#else  // !_WIN32

#include <cstddef>
#include <cstdint>

#if defined(CVWIN32_BUILDING)
#define CVWIN32_API __attribute__((visibility("default")))
#else
#define CVWIN32_API
#endif

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BOOLEAN;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef char CHAR;
typedef uint16_t WCHAR;
typedef uintptr_t ULONG_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef LONG_PTR LRESULT;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef const char* PCSTR;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef void* HANDLE;
typedef HANDLE HLOCAL;

// Window and module handles are distinct pointer types, as in the system's
// STRICT headers, so mixing them up does not compile.
struct HWND__ { int unused; };
typedef HWND__* HWND;
struct HINSTANCE__ { int unused; };
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HMENU__ { int unused; };
typedef HMENU__* HMENU;

#define TRUE 1
#define FALSE 0

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID* LPGUID;

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

// Kernel
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_NO_MORE_ITEMS 259u
#define ERROR_MR_MID_NOT_FOUND 317u
#define ERROR_SEM_TIMEOUT 121u
#define ERROR_DEVICE_NOT_CONNECTED 1167u
#define ERROR_INVALID_USER_BUFFER 1784u

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

#define E_NOTIMPL ((LONG)0x80004001L)
#define E_FAIL ((LONG)0x80004005L)

// Device setup
typedef void* HDEVINFO;
#define DIGCF_DEFAULT 0x00000001u
#define DIGCF_PRESENT 0x00000002u
#define DIGCF_ALLCLASSES 0x00000004u
#define DIGCF_PROFILE 0x00000008u
#define DIGCF_DEVICEINTERFACE 0x00000010u

struct SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
};
typedef SP_DEVINFO_DATA* PSP_DEVINFO_DATA;

struct SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
};
typedef SP_DEVICE_INTERFACE_DATA* PSP_DEVICE_INTERFACE_DATA;

// The system packs this record to 1 byte on 32-bit Windows (size 5) and to
// 8 bytes on 64-bit Windows (size 8); a 64-bit stand-in keeps the latter so
// that sizeof() tells the plug-in the right value on either build.
struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
  DWORD cbSize;
  CHAR DevicePath[1];
};
typedef SP_DEVICE_INTERFACE_DETAIL_DATA_A* PSP_DEVICE_INTERFACE_DETAIL_DATA_A;

// HID
struct HIDD_ATTRIBUTES {
  ULONG Size;
  USHORT VendorID;
  USHORT ProductID;
  USHORT VersionNumber;
};
typedef HIDD_ATTRIBUTES* PHIDD_ATTRIBUTES;

// User interface
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define LOWORD(l) ((WORD)(((DWORD_PTR_CV)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR_CV)(l)) >> 16) & 0xffff))
typedef uintptr_t DWORD_PTR_CV;

#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define WM_CLOSE 0x0010u
#define BN_CLICKED 0
#define BM_GETCHECK 0x00F0u
#define BM_SETCHECK 0x00F1u
#define BM_CLICK 0x00F5u
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define CB_GETCOUNT 0x0146u
#define CB_GETCURSEL 0x0147u
#define CB_GETLBTEXT 0x0148u
#define CB_GETLBTEXTLEN 0x0149u
#define CB_ADDSTRING 0x0143u
#define CB_RESETCONTENT 0x014Bu
#define CB_SETCURSEL 0x014Eu
#define CB_ERR (-1)
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_ICONHAND 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONINFORMATION MB_ICONASTERISK

// Window and control styles, notifications and messages the dialogs and
// their templates use.
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_VSCROLL 0x00200000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define DS_SETFONT 0x40u
#define DS_MODALFRAME 0x80u
#define BS_PUSHBUTTON 0x0u
#define BS_DEFPUSHBUTTON 0x1u
#define BS_CHECKBOX 0x2u
#define BS_AUTOCHECKBOX 0x3u
#define BS_RADIOBUTTON 0x4u
#define BS_3STATE 0x5u
#define BS_AUTO3STATE 0x6u
#define BS_GROUPBOX 0x7u
#define BS_AUTORADIOBUTTON 0x9u
#define BS_TYPEMASK 0xFu
#define BS_LEFTTEXT 0x20u
#define SS_LEFT 0x0u
#define SS_LEFTNOWORDWRAP 0xCu
#define SS_BITMAP 0xEu
#define SS_TYPEMASK 0x1Fu
#define CBS_SIMPLE 0x1u
#define CBS_DROPDOWN 0x2u
#define CBS_DROPDOWNLIST 0x3u
#define CBS_SORT 0x100u
#define CBS_HASSTRINGS 0x200u
#define WM_SETTEXT 0x000Cu
#define WM_GETTEXT 0x000Du
#define WM_GETTEXTLENGTH 0x000Eu
#define CBN_SELCHANGE 1
#define BST_INDETERMINATE 2
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define ERROR_INVALID_WINDOW_HANDLE 1400u
#define ERROR_CONTROL_ID_NOT_FOUND 1421u
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814u
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812u

extern "C" {

// Kernel
CVWIN32_API HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                      LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                      DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                      HANDLE hTemplateFile);
CVWIN32_API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                  LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
CVWIN32_API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                 LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
CVWIN32_API BOOL WINAPI CloseHandle(HANDLE hObject);
CVWIN32_API DWORD WINAPI GetTickCount(void);
CVWIN32_API void WINAPI Sleep(DWORD dwMilliseconds);
CVWIN32_API DWORD WINAPI GetLastError(void);
CVWIN32_API void WINAPI SetLastError(DWORD dwErrCode);
CVWIN32_API DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                        DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                                        void* Arguments);
CVWIN32_API HLOCAL WINAPI LocalFree(HLOCAL hMem);

// Device setup
CVWIN32_API HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator,
                                                 HWND hwndParent, DWORD Flags);
CVWIN32_API BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet,
                                                    PSP_DEVINFO_DATA DeviceInfoData,
                                                    const GUID* InterfaceClassGuid,
                                                    DWORD MemberIndex,
                                                    PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData);
CVWIN32_API BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData, DWORD DeviceInterfaceDetailDataSize,
    PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData);
CVWIN32_API BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);

// HID
CVWIN32_API void WINAPI HidD_GetHidGuid(LPGUID HidGuid);
CVWIN32_API BOOLEAN WINAPI HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes);

// User interface
CVWIN32_API HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName);
CVWIN32_API INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName,
                                           HWND hWndParent, DLGPROC lpDialogFunc,
                                           LPARAM dwInitParam);
CVWIN32_API BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
CVWIN32_API HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
CVWIN32_API LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
CVWIN32_API BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable);
CVWIN32_API BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
CVWIN32_API BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned);
CVWIN32_API int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);
CVWIN32_API int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
CVWIN32_API BOOL WINAPI IsWindowEnabled(HWND hWnd);
CVWIN32_API BOOL WINAPI IsWindowVisible(HWND hWnd);
CVWIN32_API int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
CVWIN32_API UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax);

}  // extern "C"

#endif  // _WIN32
