// Name, identifier, version and the motion-mode question.
#include <cstring>

#include "cv_filter_wheel.h"
#include "wheel_internal.h"

namespace {
const char kDeviceName[] = "Corvane Filter Wheel";

// Copies at most size - 1 characters and always terminates. A null buffer
// or a size below 1 has no room even for the terminator: nothing is written.
void CopyTruncated(char* buffer, int size, const char* text) {
  if (buffer == nullptr || size <= 0) return;
  size_t n = std::strlen(text);
  if (n > static_cast<size_t>(size) - 1) n = static_cast<size_t>(size) - 1;
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
}
}  // namespace

extern "C" {

int DynDrvrGetDeviceName(char* buffer, int size) {
  CopyTruncated(buffer, size, kDeviceName);
  return 0;
}

int cfwapiGetDescription(char* buffer, int size) {
  CopyTruncated(buffer, size, kDeviceName);
  return 0;
}

int DynDrvrGetDeviceId(int* id) {
  if (id) *id = 10000;
  return 0;
}

int cfwapiGetDLLVersion(void) { return 200; }

int cfwapiSettings(void) {
  int answer = MessageBoxA(nullptr,
                           "Bidirectional Motion?\n\nSerial Port Interface Under Construction\n"
                           "Beta Test Verion 00.01 Build 0068",
                           "Cv Filter Wheel USB Settings", MB_ICONQUESTION | MB_YESNOCANCEL);
  if (answer == IDYES)
    g_bidirectional = 1;
  else if (answer == IDNO)
    g_bidirectional = 0;
  LogMessage("Direction = %s \n", g_bidirectional == 1 ? "Bidirectional" : "Unidirectional");
  return 0;
}

}  // extern "C"
