// The library's plain exports: entry point, name, identifier and factory.
#include <cstring>
#include <new>

#include "CCamAPIDll.h"
#include "module_state.h"

namespace {
const char kDisplayName[] = "Corvane KT Series";
}

extern "C" {

#if defined(_WIN32)
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_moduleInstance = instance;
    g_imagerSlot = 0;
  }
  return TRUE;
}
#else
// Shared objects have no DllMain; do the process-attach step when loaded.
__attribute__((constructor)) static void CvCamProcessAttach() {
  g_moduleInstance = reinterpret_cast<HINSTANCE>(&g_moduleInstance);
  g_imagerSlot = 0;
}
#endif

// Copies the name, cut to size - 1 characters and always terminated. A null
// buffer or a size below 1 leaves nothing to write into: nothing is written.
int CamAPIGetDisplayName(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  size_t n = std::strlen(kDisplayName);
  if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
  std::memcpy(buffer, kDisplayName, n);
  buffer[n] = '\0';
  return 0;
}

int CamAPIGetDeviceId(enumZZCAM2* out) {
  if (out) *out = CorvaneKTCamera;
  return 0;
}

CCamAPIDll* AllocObject() { return new (std::nothrow) CCamAPIDll(); }

}  // extern "C"
