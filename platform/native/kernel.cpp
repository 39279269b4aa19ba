// Kernel services of the stand-in: files on simulated device paths, the tick
// counter, sleeping, and the system's error texts.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "clock.h"
#include "last_error.h"
#include "win32.h"
#include "world.h"

namespace cvwin32 {
namespace {
thread_local uint32_t t_lastError = 0;
}
void setLastError(uint32_t code) { t_lastError = code; }
uint32_t lastError() { return t_lastError; }
}  // namespace cvwin32

using cvwin32::setLastError;
using cvworld::World;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE) {
  if (lpFileName == nullptr) {
    setLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Devices exist already; anything but opening an existing one is refused,
  // as the system refuses to create a device.
  if (dwCreationDisposition != OPEN_EXISTING) {
    setLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  (void)dwDesiredAccess;
  (void)dwShareMode;
  uint32_t error = 0;
  uintptr_t h = World::instance().open(lpFileName, &error);
  if (h == 0) {
    setLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  setLastError(ERROR_SUCCESS);
  return reinterpret_cast<HANDLE>(h);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (lpBuffer == nullptr && nNumberOfBytesToWrite != 0) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint32_t done = 0;
  uint32_t error = World::instance().write(reinterpret_cast<uintptr_t>(hFile),
                                           static_cast<const uint8_t*>(lpBuffer),
                                           nNumberOfBytesToWrite, &done);
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  if (error != 0) {
    setLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (lpBuffer == nullptr && nNumberOfBytesToRead != 0) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint32_t done = 0;
  uint32_t error =
      World::instance().read(reinterpret_cast<uintptr_t>(hFile), static_cast<uint8_t*>(lpBuffer),
                             nNumberOfBytesToRead, &done);
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  if (error != 0) {
    setLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (!World::instance().close(reinterpret_cast<uintptr_t>(hObject))) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetTickCount(void) { return cvsim::Clock::instance().tickCount(); }

void WINAPI Sleep(DWORD dwMilliseconds) { cvsim::Clock::instance().sleep(dwMilliseconds); }

DWORD WINAPI GetLastError(void) { return cvwin32::lastError(); }

void WINAPI SetLastError(DWORD dwErrCode) { cvwin32::setLastError(dwErrCode); }

namespace {
const char* systemText(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS: return "The operation completed successfully.\r\n";
    case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.\r\n";
    case ERROR_ACCESS_DENIED: return "Access is denied.\r\n";
    case ERROR_INVALID_HANDLE: return "The handle is invalid.\r\n";
    case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory resources are available to process this command.\r\n";
    case ERROR_GEN_FAILURE: return "A device attached to the system is not functioning.\r\n";
    case ERROR_SHARING_VIOLATION: return "The process cannot access the file because it is being used by another process.\r\n";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.\r\n";
    case ERROR_SEM_TIMEOUT: return "The semaphore timeout period has expired.\r\n";
    case ERROR_INSUFFICIENT_BUFFER: return "The data area passed to a system call is too small.\r\n";
    case ERROR_NO_MORE_ITEMS: return "No more data is available.\r\n";
    case ERROR_DEVICE_NOT_CONNECTED: return "The device is not connected.\r\n";
    case ERROR_INVALID_USER_BUFFER: return "The supplied user buffer is not valid for the requested operation.\r\n";
    default: return nullptr;
  }
}
}  // namespace

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPSTR lpBuffer,
                            DWORD nSize, void*) {
  const char* text = (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) ? systemText(dwMessageId) : nullptr;
  if (text == nullptr) {
    if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) && lpBuffer)
      *reinterpret_cast<char**>(lpBuffer) = nullptr;
    setLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  size_t len = std::strlen(text);
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    if (lpBuffer == nullptr) {
      setLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    char* copy = static_cast<char*>(std::malloc(len + 1));
    if (copy == nullptr) {
      setLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    std::memcpy(copy, text, len + 1);
    *reinterpret_cast<char**>(lpBuffer) = copy;
    return static_cast<DWORD>(len);
  }
  if (lpBuffer == nullptr || nSize <= len) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpBuffer, text, len + 1);
  return static_cast<DWORD>(len);
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}

}  // extern "C"
