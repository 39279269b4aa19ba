// The optional debug log: printf-formatted messages, flushed one by one,
// written only while a stream is set.
#include <cstdarg>
#include <cstdio>

#include "cv_filter_wheel.h"
#include "wheel_internal.h"

void LogMessage(const char* format, ...) {
  if (g_debugLog == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(g_debugLog, format, args);
  va_end(args);
  std::fflush(g_debugLog);
}

char* GetSystemErrorText(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                nullptr, code, 0x0400, reinterpret_cast<LPSTR>(&text), 0,
                                nullptr);
  if (length == 0) {
    if (text) LocalFree(text);
    return nullptr;
  }
  return text;
}

void LogErrorLine(const char* what, DWORD code) {
  if (g_debugLog == nullptr) return;
  char* text = GetSystemErrorText(code);
  if (text) {
    LogMessage("%s: %s\n", what, text);
    LocalFree(text);
  } else {
    LogMessage("%s: unknown error %lu\n", what, static_cast<unsigned long>(code));
  }
}

extern "C" void CvWheelSetDebugLog(FILE* stream) {
  if (g_debugLog && g_debugLog != stream) std::fclose(g_debugLog);
  g_debugLog = stream;
}
