// Initial values of the module state: set when the library is loaded and
// never reset by loading or unloading it.
#include "wheel_internal.h"

HANDLE g_wheelHandle = INVALID_HANDLE_VALUE;
int32_t g_connected = 0;
uint8_t g_filterCount = 0;
int32_t g_bidirectional = 1;
FILE* g_debugLog = nullptr;

bool WheelHandleOpen() { return g_wheelHandle != INVALID_HANDLE_VALUE && g_wheelHandle != nullptr; }
